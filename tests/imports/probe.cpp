// A program that calls the attribute transfer, so that its import table shows what the engine
// it links (kestrel's or kestrel-nt's) needs from the platform.
#include "attributes.h"

int main(int argc, char **argv) {
    if (argc < 2) return 0;
    LONG r = TransferAttributes(argv[1], FILE_ATTRIBUTE_ARCHIVE);
    return r < 0 || SetCompression(argv[1], 0) < 0 ? 1 : 0;
}
