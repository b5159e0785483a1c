// Scratch folders and trees for the tests, through the Win32 calls only.
#include "tree.h"
#include <algorithm>
#include <cstring>
#include <sstream>
#include <vector>

static const struct {
    char letter;
    DWORD bit;
} LETTERS[] = {
    {'R', FILE_ATTRIBUTE_READONLY},   {'H', FILE_ATTRIBUTE_HIDDEN},    {'S', FILE_ATTRIBUTE_SYSTEM},
    {'D', FILE_ATTRIBUTE_DIRECTORY},  {'A', FILE_ATTRIBUTE_ARCHIVE},   {'T', FILE_ATTRIBUTE_TEMPORARY},
    {'C', FILE_ATTRIBUTE_COMPRESSED}, {'N', FILE_ATTRIBUTE_NOT_CONTENT_INDEXED}, {'E', FILE_ATTRIBUTE_ENCRYPTED},
    {'O', FILE_ATTRIBUTE_OFFLINE},
};

std::string AttributeLetters(DWORD attributes) {
    std::string s;
    for (auto &l : LETTERS)
        if (attributes & l.bit) s += l.letter;
    return s;
}

static DWORD ParseLetters(const std::string &s) {
    DWORD a = 0;
    for (char c : s)
        for (auto &l : LETTERS)
            if (l.letter == c) a |= l.bit;
    return a;
}

static const int64_t EPOCH_SECONDS_1601 = 11644473600LL;

static FILETIME ToFileTime(int64_t unixSeconds) {
    uint64_t t = (uint64_t)(unixSeconds + EPOCH_SECONDS_1601) * 10000000ull;
    FILETIME ft = {(DWORD)t, (DWORD)(t >> 32)};
    return ft;
}

bool SetWriteTime(const std::string &path, int64_t unixSeconds) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME ft = ToFileTime(unixSeconds);
    BOOL ok = SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    return ok != FALSE;
}

bool WriteWholeFile(const std::string &path, const std::string &data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = data.empty() || WriteFile(h, data.data(), (DWORD)data.size(), &written, nullptr);
    CloseHandle(h);
    return ok && written == data.size();
}

static bool SetFileLength(const std::string &path, uint64_t size) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)size;
    BOOL ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    return ok != FALSE;
}

std::string ReadWholeFile(const std::string &path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<cannot open>";
    std::string data;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) data.append(buf, got);
    CloseHandle(h);
    return data;
}

// Creates every missing folder on the way to `path` (which ends in "\\" when it is a folder).
static bool MakeParents(const std::string &path) {
    for (size_t i = 3; i < path.size(); i++) {
        unsigned char b = (unsigned char)path[i];
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            i++;
            continue;
        }
        if (b == '\\') {
            std::string folder = path.substr(0, i);
            if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES &&
                !CreateDirectoryA(folder.c_str(), nullptr))
                return false;
        }
    }
    return true;
}

// The value after "key=" in a line: up to the next blank, or a quoted text.
static bool Option(const std::string &line, const char *key, std::string &value) {
    std::string k = std::string(" ") + key + "=";
    size_t at = line.find(k);
    if (at == std::string::npos) return false;
    at += k.size();
    if (at < line.size() && line[at] == '"') {
        size_t end = line.rfind('"');
        value = line.substr(at + 1, end - at - 1);
        return true;
    }
    size_t end = line.find(' ', at);
    value = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    return true;
}

std::string BuildTree(const std::string &root, const char *layout) {
    std::istringstream in(layout);
    std::string line, problems;
    while (std::getline(in, line)) {
        size_t b = line.find_first_not_of(" \t");
        if (b == std::string::npos) continue;
        line = " " + line.substr(b);
        size_t end = line.find(' ', 1);
        std::string rel = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        std::string path = root + rel;
        bool folder = !rel.empty() && rel.back() == '\\';
        std::string v;
        if (!MakeParents(path)) {
            problems += "cannot create the folders of " + rel + "; ";
            continue;
        }
        if (folder) {
            path.pop_back();
            if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryA(path.c_str(), nullptr))
                problems += "cannot create " + rel + "; ";
        } else if (Option(line, "text", v)) {
            if (!WriteWholeFile(path, v)) problems += "cannot write " + rel + "; ";
        } else {
            uint64_t size = Option(line, "size", v) ? std::stoull(v) : 0;
            bool ok = SetFileLength(path, size);
#ifdef KESTREL_SIM
            if (ok && size > 0xFFFFFFFFull) ok = SimSetSize(path.c_str(), size);
#endif
            if (!ok) problems += "cannot write " + rel + "; ";
        }
        if (Option(line, "time", v) && !SetWriteTime(path, std::stoll(v))) problems += "cannot date " + rel + "; ";
#ifdef KESTREL_SIM
        if (Option(line, "short", v)) SimSetShortName(path.c_str(), v.c_str());
#endif
        if (Option(line, "attr", v)) {
            DWORD want = ParseLetters(v);
#ifdef KESTREL_SIM
            SimSetRawAttributes(path.c_str(), want | (folder ? FILE_ATTRIBUTE_DIRECTORY : 0));
#else
            if (!SetFileAttributesA(path.c_str(), want ? want : FILE_ATTRIBUTE_NORMAL))
                problems += "cannot set the attributes of " + rel + "; ";
#endif
        }
    }
    return problems;
}

static std::string UpperAscii(std::string s) {
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = (char)(c - 32);
    return s;
}

static void ReadFolder(const std::string &root, const std::string &rel, DWORD ignore,
                       std::vector<std::pair<std::string, std::string>> &out) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((root + rel + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
        std::string name = rel + fd.cFileName;
        bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        DWORD shown = fd.dwFileAttributes & ~(ignore | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
        std::string line = name + (folder ? "\\" : "") + " attr=" + AttributeLetters(shown);
        if (!folder) {
            uint64_t size = ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
            line += " size=" + std::to_string(size);
            if (size > 0 && size <= 64) line += " text=\"" + ReadWholeFile(root + name) + "\"";
        }
        out.push_back({UpperAscii(name), line});
        if (folder) ReadFolder(root, name + "\\", ignore, out);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

std::string ReadTree(const std::string &root, DWORD ignore) {
    std::vector<std::pair<std::string, std::string>> entries;
    ReadFolder(root, "", ignore, entries);
    std::sort(entries.begin(), entries.end());
    std::string text;
    for (auto &e : entries) text += e.second + "\n";
    return text;
}

bool DeleteTree(const std::string &path) {
    DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return true;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileA(path.c_str()) != FALSE;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, "..")) DeleteTree(path + "\\" + fd.cFileName);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    return RemoveDirectoryA(path.c_str()) != FALSE;
}

void PlatformTest::SetUp() {
#ifdef KESTREL_SIM
    SimReset();
#endif
    static int counter = 0;
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    root = std::string(temp) + "kt" + std::to_string(GetTickCount() % 100000) + "_" + std::to_string(++counter) +
           "_" + info->name();
    for (size_t i = strlen(temp); i < root.size(); i++)
        if (!isalnum((unsigned char)root[i])) root[i] = '_';
    if (root.size() > 120) root.resize(120);
    DeleteTree(root);
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr)) << root << " error " << GetLastError();
    root += "\\";
}

void PlatformTest::TearDown() {
    if (!root.empty()) {
        std::string folder = root.substr(0, root.size() - 1);
        EXPECT_TRUE(DeleteTree(folder)) << "scratch folder left behind: " << folder;
    }
}
