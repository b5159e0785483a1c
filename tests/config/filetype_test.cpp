// The script file-type registration over the simulated registry (every step failing in turn) and
// the entries written under Wine's HKEY_CLASSES_ROOT with test names.
#include "filetype.h"
#include "registry.h"
#include "sim_api.h"
#include "tree.h"
#include <cstring>
#include <string>

static std::string DefaultText(const char *key) {
    char text[600];
    memset(text, 0xdd, sizeof text);
    DWORD size = sizeof text - 1, type = 0;
    if (RegistryQueryValue(HKEY_CLASSES_ROOT, key, nullptr, &type, text, &size) != 0) return "<absent>";
    if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
    return std::string(text, size);
}

static bool KeyExists(const char *key) { return RegistryKeyExists(HKEY_CLASSES_ROOT, key) == 1; }

static void DeleteTypeKeys(const char *extension, const char *typeName) {
    std::string t = typeName;
    for (std::string k : {t + "\\shell\\open\\command", t + "\\shell\\open", t + "\\shell", t + "\\DefaultIcon", t})
        RegDeleteKeyA(HKEY_CLASSES_ROOT, k.c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, extension);
}

// The entries as the user's shell would read them; each value with its terminating zero.
static std::string Entries(const char *extension, const char *typeName) {
    std::string t = typeName, out;
    for (std::string k : {std::string(extension), t, t + "\\DefaultIcon", t + "\\shell", t + "\\shell\\open",
                          t + "\\shell\\open\\command"})
        out += k + (KeyExists(k.c_str()) ? " = " + DefaultText(k.c_str()) : " <no key>") + "\n";
    return out;
}

// Written with test names on both platforms, so that Wine's own registry shows the same entries.
TEST(FileTypeEntries, WrittenAndRewritten) {
#ifdef KESTREL_SIM
    SimReset();
#endif
    DeleteTypeKeys(".kjbtest", "KESTRELScriptTest");
    EXPECT_EQ(0, WriteFileTypeEntries(".kjbtest", "KESTRELScriptTest", "KESTREL Script", "C:\\K\\kestrel.exe", 0,
                                      "\"C:\\K\\kestrel.exe\" /script \"%1\""));
    std::string zero(1, '\0');
    EXPECT_EQ(".kjbtest = KESTRELScriptTest" + zero + "\n" +
                  "KESTRELScriptTest = KESTREL Script" + zero + "\n" +
                  "KESTRELScriptTest\\DefaultIcon = C:\\K\\kestrel.exe,0" + zero + "\n" +
                  "KESTRELScriptTest\\shell = <absent>\n" +
                  "KESTRELScriptTest\\shell\\open = <absent>\n" +
                  "KESTRELScriptTest\\shell\\open\\command = \"C:\\K\\kestrel.exe\" /script \"%1\"" + zero + "\n",
              Entries(".kjbtest", "KESTRELScriptTest"));
    // Again from another place: the extension is ours already, the values follow the new path.
    EXPECT_EQ(0, WriteFileTypeEntries(".kjbtest", "KESTRELScriptTest", "KESTREL Script", "D:\\New\\kestrel.exe", 0,
                                      "\"D:\\New\\kestrel.exe\" /script \"%1\""));
    EXPECT_EQ("D:\\New\\kestrel.exe,0" + zero, DefaultText("KESTRELScriptTest\\DefaultIcon"));
    EXPECT_EQ("\"D:\\New\\kestrel.exe\" /script \"%1\"" + zero, DefaultText("KESTRELScriptTest\\shell\\open\\command"));
    DeleteTypeKeys(".kjbtest", "KESTRELScriptTest");
}

// What the registration relies on: a program path that does not fit is cut without a terminator
// and the result is the buffer's size, never a shorter length.
TEST(FileTypeEntries, ProgramPathCutToTheBuffer) {
    char path[8];
    memset(path, 0xdd, sizeof path);
    SetLastError(0xdeadbeef);
    EXPECT_EQ((DWORD)sizeof path, GetModuleFileNameA(nullptr, path, sizeof path));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_NE('\0', path[sizeof path - 1]);
}

// An extension that another program owns is never taken over, whatever its value looks like.
TEST(FileTypeEntries, ExtensionOwnedByAnotherType) {
#ifdef KESTREL_SIM
    SimReset();
#endif
    static const struct {
        std::string value;
        DWORD type;
        int code;
    } rows[] = {
        {std::string("OtherType") + '\0', REG_SZ, (int)0x80000003},
        {std::string("kestrelscripttest") + '\0', REG_SZ, (int)0x80000003}, // compared with case
        {std::string("KESTRELScriptTestX") + '\0', REG_SZ, (int)0x80000003},
        {std::string(300, 'L') + '\0', REG_SZ, (int)0x80000003}, // does not fit the buffer
        {std::string("KESTRELScriptTest") + '\0', REG_SZ, 0},
        {std::string("KESTRELScriptTest"), REG_SZ, 0}, // stored without its terminator
        {std::string(""), REG_SZ, (int)0x80000003},     // an empty value exists too
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.value);
        DeleteTypeKeys(".kjbtest", "KESTRELScriptTest");
        ASSERT_EQ(0, RegistryCreateKey(HKEY_CLASSES_ROOT, "", ".kjbtest"));
        ASSERT_EQ(0, RegistrySetValue(HKEY_CLASSES_ROOT, ".kjbtest", nullptr, row.type, row.value.data(),
                                      (DWORD)row.value.size()));
        EXPECT_EQ(row.code, WriteFileTypeEntries(".kjbtest", "KESTRELScriptTest", "KESTREL Script", "C:\\k.exe", 0,
                                                 "\"C:\\k.exe\" /script \"%1\""));
        EXPECT_EQ(row.code == 0, KeyExists("KESTRELScriptTest")) << "written although another type owns it";
    }
    DeleteTypeKeys(".kjbtest", "KESTRELScriptTest");
}

#ifdef KESTREL_SIM
#include "simwin_app.h"
#include <shlobj.h>

class RegisterTest : public ::testing::Test {
  protected:
    void SetUp() override { SimReset(); }
    void TearDown() override {
        SimSetModuleFileName(nullptr);
        EXPECT_EQ(0, SimOpenRegistryKeys()) << "a registry key was left open";
    }
};

TEST_F(RegisterTest, FirstRegistration) {
    SimSetModuleFileName("C:\\Program Files\\KESTREL\\kestrel.exe");
    int notices = SimShellNotifyCount();
    EXPECT_EQ(0, RegisterScriptFileType());
    std::string zero(1, '\0');
    EXPECT_EQ(".kjb = KESTRELScript" + zero + "\n" + "KESTRELScript = KESTREL Script" + zero + "\n" +
                  "KESTRELScript\\DefaultIcon = C:\\Program Files\\KESTREL\\kestrel.exe,0" + zero + "\n" +
                  "KESTRELScript\\shell = <absent>\n" + "KESTRELScript\\shell\\open = <absent>\n" +
                  "KESTRELScript\\shell\\open\\command = \"C:\\Program Files\\KESTREL\\kestrel.exe\" /script \"%1\"" +
                  zero + "\n",
              Entries(".kjb", "KESTRELScript"));
    EXPECT_EQ(notices + 1, SimShellNotifyCount());
    EXPECT_EQ(SHCNE_ASSOCCHANGED, SimLastShellNotifyEvent());
}

// Each step failing in turn: its code, and what was written before it stays (so the order shows).
TEST_F(RegisterTest, EachStepFailing) {
    static const struct {
        const char *op;
        const char *path;
        DWORD code;
        int entriesBefore; // of the six, in order
    } rows[] = {
        {"RegCreateKeyExA", "HKCR\\.kjb", 0x80000212, 0},
        {"RegSetValueExA", "HKCR\\.kjb\\", 0x80000222, 1},
        {"RegCreateKeyExA", "HKCR\\KESTRELScript", 0x80000242, 1},
        {"RegSetValueExA", "HKCR\\KESTRELScript\\", 0x80000252, 2},
        {"RegCreateKeyExA", "HKCR\\KESTRELScript\\DefaultIcon", 0x80000262, 2},
        {"RegOpenKeyExA", "HKCR\\KESTRELScript\\DefaultIcon", 0x80000172, 3}, // the Part's example
        {"RegSetValueExA", "HKCR\\KESTRELScript\\DefaultIcon\\", 0x80000272, 3},
        {"RegCreateKeyExA", "HKCR\\KESTRELScript\\shell", 0x80000282, 3},
        {"RegCreateKeyExA", "HKCR\\KESTRELScript\\shell\\open", 0x80000292, 4},
        {"RegCreateKeyExA", "HKCR\\KESTRELScript\\shell\\open\\command", 0x800002A2, 5},
        {"RegSetValueExA", "HKCR\\KESTRELScript\\shell\\open\\command\\", 0x800002B2, 5},
        {"RegCloseKey", "HKCR\\KESTRELScript\\shell\\open\\command", 0x800004A2, 5},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(std::string(row.op) + " " + row.path);
        SimReset();
        int notices = SimShellNotifyCount();
        SimInjectFault(row.op, row.path, ERROR_ACCESS_DENIED);
        EXPECT_EQ(row.code, (DWORD)RegisterScriptFileType());
        EXPECT_EQ(1, SimFaultsFired());
        EXPECT_EQ(notices, SimShellNotifyCount()) << "the shell was told of a failed registration";
        const char *keys[] = {".kjb", "KESTRELScript", "KESTRELScript\\DefaultIcon", "KESTRELScript\\shell",
                              "KESTRELScript\\shell\\open", "KESTRELScript\\shell\\open\\command"};
        int present = 0;
        while (present < 6 && KeyExists(keys[present])) present++;
        // A key created before its value failed counts with the value's step.
        EXPECT_GE(present, row.entriesBefore);
        EXPECT_LE(present, row.entriesBefore + 1);
        for (int k = present; k < 6; k++) EXPECT_FALSE(KeyExists(keys[k])) << keys[k];
    }
}

// A value that exists but cannot be read is not an absent one: nothing at all is written.
TEST_F(RegisterTest, ExtensionThatCannotBeRead) {
    static const struct {
        const char *op;
        const char *path;
        DWORD code;
    } rows[] = {
        {"RegOpenKeyExA", "HKCR\\.kjb", 0x800001C2},
        {"RegQueryValueExA", "HKCR\\.kjb\\", 0x800002C2},
        {"RegCloseKey", "HKCR\\.kjb", 0x800003C2},
    };
    for (auto &row : rows) {
        SCOPED_TRACE(row.op);
        SimReset();
        ASSERT_EQ(0, RegistryCreateKey(HKEY_CLASSES_ROOT, "", ".kjb"));
        ASSERT_EQ(0, RegistrySetValue(HKEY_CLASSES_ROOT, ".kjb", nullptr, REG_SZ, "KESTRELScript", 14));
        SimInjectFault(row.op, row.path, ERROR_ACCESS_DENIED);
        EXPECT_EQ(row.code, (DWORD)RegisterScriptFileType());
        EXPECT_EQ(1, SimFaultsFired());
        EXPECT_FALSE(KeyExists("KESTRELScript"));
    }
}

TEST_F(RegisterTest, AnotherTypeOwnsTheExtension) {
    ASSERT_EQ(0, RegistryCreateKey(HKEY_CLASSES_ROOT, "", ".kjb"));
    ASSERT_EQ(0, RegistrySetValue(HKEY_CLASSES_ROOT, ".kjb", nullptr, REG_SZ, "OtherScript", 12));
    EXPECT_EQ(0x80000032u, (DWORD)RegisterScriptFileType());
    EXPECT_FALSE(KeyExists("KESTRELScript"));
    EXPECT_EQ(std::string("OtherScript") + '\0', DefaultText(".kjb"));
}

TEST_F(RegisterTest, ProgramPathThatDoesNotFit) {
    std::string path = "C:\\" + std::string(252, 'p') + ".exe"; // 259 bytes: fits
    SimSetModuleFileName(path.c_str());
    EXPECT_EQ(0, RegisterScriptFileType());
    EXPECT_EQ("\"" + path + "\" /script \"%1\"" + std::string(1, '\0'), DefaultText("KESTRELScript\\shell\\open\\command"));
    EXPECT_EQ(path + ",0" + std::string(1, '\0'), DefaultText("KESTRELScript\\DefaultIcon"));
    SimReset();
    path += "x"; // 260 bytes: the platform cuts it, which would register a program that is not there
    SimSetModuleFileName(path.c_str());
    EXPECT_EQ(0x80000001u, (DWORD)RegisterScriptFileType());
    EXPECT_FALSE(KeyExists(".kjb"));
}
#endif
