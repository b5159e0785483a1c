// The missing-in-source check: a depth-first walk of a source's counterpart in the destination
// that lists what the source lacks.
#include "missing.h"
#include "copyjob.h"
#include "copylog.h"
#include "runstate.h"
#include <string.h>
#include <string>

static const char MSG_NO_DEST_ACCESS[] = "コピー先にアクセスできません。";
static const char MSG_CHECKING[] = "コピー元に無いファイルの確認中";

// Lists the destination entry when its source counterpart does not exist. Existence only: a
// source entry of the other kind (a file where the destination has a folder) counts as present.
static void ListWhenMissingInSource(const std::string &relative, const std::string &sourcePath,
                                    const std::string &destinationPath, bool folder) {
    if (GetFileAttributesA(sourcePath.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        CopyLogRecord(relative.c_str(), MSG_SOURCE_ATTRIBUTES_FAILED, LOG_LEVEL_ERROR);
        return;
    }
    std::string line = (folder ? "D " : "F ") + destinationPath;
    MissingListLine(folder ? 1 : 0, line.c_str());
}

int CheckMissingInSource(ProgressLine *progress, const char *relative, const char *sourceParent, const char *destination) {
    if (g_stopRequest.load()) return -1;

    std::string destinationPath = std::string(destination) + relative;
    std::string sourcePath = std::string(sourceParent) + relative;
    DWORD attributes = GetFileAttributesA(destinationPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CopyLogRecord(relative, MSG_DEST_ATTRIBUTES_FAILED, LOG_LEVEL_ERROR);
        return 0;
    }
    PublishProgress(progress, MSG_CHECKING);

    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ListWhenMissingInSource(relative, sourcePath, destinationPath, false);
        return 0;
    }

    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((destinationPath + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        // Only a folder without even "." and ".." (a root) lists nothing: it counts as empty.
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            CopyLogRecord(relative, MSG_NO_DEST_ACCESS, LOG_LEVEL_ERROR);
            return 0;
        }
    } else {
        for (;;) {
            if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) {
                std::string child = std::string(relative) + "\\" + found.cFileName;
                if (CheckMissingInSource(progress, child.c_str(), sourceParent, destination) < 0) {
                    // A stop ends the whole walk; the listing is closed on the way out.
                    FindClose(find);
                    return -1;
                }
            }
            if (!FindNextFileA(find, &found)) {
                DWORD error = GetLastError();
                FindClose(find);
                if (error != ERROR_NO_MORE_FILES) {
                    CopyLogRecord(relative, MSG_NO_DEST_ACCESS, LOG_LEVEL_ERROR);
                    return 0;
                }
                break;
            }
        }
    }
    // The folder's own line comes after the lines of its contents.
    ListWhenMissingInSource(relative, sourcePath, destinationPath, true);
    return 0;
}
