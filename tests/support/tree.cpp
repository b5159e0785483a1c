// Scratch folders and trees for the tests, through the Win32 calls only.
#include "tree.h"
#include <algorithm>
#include <cstdio>
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

// ---- names that code page 932 cannot hold ----
// In layouts and in what ReadTree shows, "{E9}" stands for the character U+00E9: a name written
// with such escapes is made through the wide calls, as files from other systems are.
typedef std::basic_string<WCHAR> WideText;

WideText LayoutWide(const std::string &text) {
    WideText out;
    size_t i = 0;
    while (i < text.size()) {
        size_t open = text.find('{', i);
        std::string plain = text.substr(i, open == std::string::npos ? std::string::npos : open - i);
        if (!plain.empty()) {
            WCHAR buffer[2 * MAX_PATH];
            int n = MultiByteToWideChar(CP_ACP, 0, plain.data(), (int)plain.size(), buffer, 2 * MAX_PATH);
            out.append(buffer, n > 0 ? (size_t)n : 0);
        }
        if (open == std::string::npos) break;
        size_t close = text.find('}', open);
        unsigned long code = std::stoul(text.substr(open + 1, close - open - 1), nullptr, 16);
        if (code >= 0x10000) {
            out += (WCHAR)(0xD800 + ((code - 0x10000) >> 10));
            out += (WCHAR)(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += (WCHAR)code;
        }
        i = close + 1;
    }
    return out;
}

// A full path for the wide calls with no limit on its length ("\\?\" first): the trees of the
// path-length tests are deeper than the ANSI calls can reach.
static WideText LongWide(const std::string &path) {
    WideText wide = LayoutWide(path);
    if (path.size() > 2 && path[1] == ':') wide = LayoutWide("\\\\?\\") + wide;
    return wide;
}

// A wide name in code page 932, each character that the code page lacks as "{hex}".
std::string LayoutText(const WCHAR *name) {
    std::string out;
    for (const WCHAR *p = name; *p; p++) {
        int units = (*p >= 0xD800 && *p < 0xDC00 && p[1]) ? 2 : 1;
        char bytes[8];
        BOOL usedDefault = FALSE;
        int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, p, units, bytes, sizeof bytes, nullptr, &usedDefault);
        if (n > 0 && !usedDefault) {
            out.append(bytes, (size_t)n);
        } else {
            unsigned long code = units == 2 ? 0x10000 + (((unsigned long)p[0] - 0xD800) << 10) + (p[1] - 0xDC00) : *p;
            char hex[16];
            snprintf(hex, sizeof hex, "{%lX}", code);
            out += hex;
        }
        p += units - 1;
    }
    return out;
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
    HANDLE h = CreateFileW(LongWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
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
        // CreateDirectoryA takes a folder of at most 247 units.
        size_t folderLength = folder ? path.size() - 1 : path.rfind('\\');
        if (rel.find('{') != std::string::npos || path.size() >= MAX_PATH || folderLength >= MAX_PATH - 12) {
            // A name that code page 932 lacks, or a path longer than the ANSI calls take: every
            // folder on the way and the entry itself are made through the wide calls (an empty
            // file, or its text).
            WideText wide = LongWide(path);
            bool made = true;
            for (size_t i = wide.size() - LayoutWide(path).size() + 3; i < wide.size() && made; i++)
                if (wide[i] == '\\' && i + 1 < wide.size()) {
                    WideText folderPath = wide.substr(0, i);
                    if (GetFileAttributesW(folderPath.c_str()) == INVALID_FILE_ATTRIBUTES)
                        made = CreateDirectoryW(folderPath.c_str(), nullptr) != FALSE;
                }
            if (made && folder) {
                wide.pop_back();
                made = CreateDirectoryW(wide.c_str(), nullptr) != FALSE;
            } else if (made) {
                HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
                DWORD written = 0;
                Option(line, "text", v) ? (void)0 : v.clear();
                made = h != INVALID_HANDLE_VALUE && (v.empty() || WriteFile(h, v.data(), (DWORD)v.size(), &written, nullptr));
                if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
            }
            if (!made) problems += "cannot make " + rel + "; ";
            continue;
        }
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
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(LongWide(root + rel + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string shown = LayoutText(fd.cFileName);
        if (shown == "." || shown == "..") continue;
        std::string name = rel + shown;
        bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        DWORD bits = fd.dwFileAttributes & ~(ignore | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
        std::string line = name + (folder ? "\\" : "") + " attr=" + AttributeLetters(bits);
        if (!folder) {
            uint64_t size = ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
            line += " size=" + std::to_string(size);
            if (size > 0 && size <= 64) line += " text=\"" + ReadWholeFile(root + name) + "\"";
        }
        out.push_back({UpperAscii(name), line});
        if (folder) ReadFolder(root, name + "\\", ignore, out);
    } while (FindNextFileW(h, &fd));
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

// Through the wide calls, so that names that code page 932 lacks go too.
static bool DeleteWideTree(const WideText &path) {
    DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return true;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(path.c_str()) != FALSE;
    WIN32_FIND_DATAW fd;
    WideText pattern = path;
    pattern += (WCHAR)'\\';
    pattern += (WCHAR)'*';
    HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            WideText name = fd.cFileName;
            if (name == LayoutWide(".") || name == LayoutWide("..")) continue;
            WideText child = path;
            child += (WCHAR)'\\';
            DeleteWideTree(child + name);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

bool DeleteTree(const std::string &path) { return DeleteWideTree(LongWide(path)); }

// Every entry below `folder` (ending in "\\"), one line each in the order of a depth-first listing:
// relative path, attribute word, size, last-write time in 100 ns units, and a file's bytes.
std::string TreeSnapshot(const std::string &folder, const std::string &relative) {
    std::string lines;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + relative + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return lines;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = relative + name;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA((folder + path).c_str(), GetFileExInfoStandard, &data)) {
            lines += path + " unreadable\n";
            continue;
        }
        char facts[96];
        snprintf(facts, sizeof facts, " attr=%04lx size=%lu time=%08lx%08lx", (unsigned long)data.dwFileAttributes,
                 (unsigned long)data.nFileSizeLow, (unsigned long)data.ftLastWriteTime.dwHighDateTime,
                 (unsigned long)data.ftLastWriteTime.dwLowDateTime);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            lines += path + "\\" + facts + "\n" + TreeSnapshot(folder, path + "\\");
        } else {
            lines += path + facts + " bytes=\"" + ReadWholeFile(folder + path) + "\"\n";
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return lines;
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
