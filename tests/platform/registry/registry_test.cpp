#include "qvregistry.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

class Registry : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    qvtest::ScopedEnv env{"QV_REGISTRY", dir.file("registry.db")};

    void TearDown() override { qv::RegistryReset(); }

    static HKEY Create(HKEY root, LPCWSTR path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                  disposition),
                  ERROR_SUCCESS);
        return key;
    }
    static LONG SetString(HKEY key, LPCWSTR name, const std::wstring& text) {
        return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              DWORD((text.size() + 1) * sizeof(wchar_t)));
    }
    static LONG SetDword(HKEY key, LPCWSTR name, DWORD v) {
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    }
    static std::wstring GetString(HKEY key, LPCWSTR name) {
        wchar_t buf[256] = {};
        DWORD cb = sizeof buf, type = 0;
        LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buf), &cb);
        if (rc != ERROR_SUCCESS) return L"<error " + std::to_wstring(rc) + L">";
        EXPECT_EQ(type, REG_SZ);
        return buf;
    }
    static DWORD GetDword(HKEY key, LPCWSTR name) {
        DWORD v = 0xDEADBEEF, cb = sizeof v, type = 0;
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&v), &cb), ERROR_SUCCESS);
        EXPECT_EQ(type, REG_DWORD);
        return v;
    }
    static std::vector<std::wstring> SubKeys(HKEY key) {
        std::vector<std::wstring> out;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD cch = 256;
            LONG rc = RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(rc, ERROR_SUCCESS);
            if (rc != ERROR_SUCCESS) break;
            EXPECT_EQ(cch, std::wcslen(name));
            out.emplace_back(name);
        }
        return out;
    }
};

TEST_F(Registry, KeysAreFoundWhateverTheCaseAndKeepTheirFirstSpelling) {
    DWORD disp = 0;
    HKEY a = Create(HKEY_CURRENT_USER, L"Software\\Qovaro\\NQ2\\KursView", &disp);
    EXPECT_EQ(disp, REG_CREATED_NEW_KEY);
    ASSERT_EQ(SetString(a, L"TabList", L"Kursdaten"), ERROR_SUCCESS);
    HKEY b = Create(HKEY_CURRENT_USER, L"SOFTWARE\\qovaro\\nq2\\KURSVIEW", &disp);
    EXPECT_EQ(disp, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(GetString(b, L"tablist"), L"Kursdaten");

    // Writing under another spelling replaces the value but keeps the name it was created with.
    ASSERT_EQ(SetString(b, L"TABLIST", L"Teilnehmer"), ERROR_SUCCESS);
    wchar_t name[64];
    DWORD cch = 64;
    ASSERT_EQ(RegEnumValueW(a, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, L"TabList");
    EXPECT_EQ(GetString(a, L"TabList"), L"Teilnehmer");

    HKEY sw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"software\\QOVARO", 0, KEY_READ, &sw), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(sw), std::vector<std::wstring>{L"NQ2"});

    // Umlauts fold too; the roots are separate trees.
    HKEY u = Create(HKEY_LOCAL_MACHINE, L"Software\\Übungen");
    HKEY u2 = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\üBUNGEN", 0, KEY_READ, &u2), ERROR_SUCCESS);
    HKEY none = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Übungen", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
    for (HKEY k : {a, b, sw, u, u2}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
}

TEST_F(Registry, MissingKeysValuesAndBadHandlesGiveCodes) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Nowhere", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, L"Nowhere", &key), ERROR_FILE_NOT_FOUND);

    key = Create(HKEY_CURRENT_USER, L"Software\\Here");
    DWORD cb = 0, type = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"Missing", nullptr, &type, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, L"Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(key, L"Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeW(key, L"Missing"), ERROR_FILE_NOT_FOUND);
    BYTE buf[8];
    EXPECT_EQ(RegQueryValueExW(key, L"Missing", nullptr, nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);

    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(key, L"x", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);  // predefined keys are never closed
    int notAKey = 0;
    EXPECT_EQ(RegQueryValueExW(reinterpret_cast<HKEY>(&notAKey), L"x", nullptr, nullptr, nullptr, &cb),
              ERROR_INVALID_HANDLE);
}

TEST_F(Registry, ValueSizesFollowTheWin32Rules) {
    HKEY key = Create(HKEY_CURRENT_USER, L"Software\\Sizes");
    const std::wstring text = L"Hauptmodule";
    ASSERT_EQ(SetString(key, L"Group", text), ERROR_SUCCESS);
    const DWORD need = DWORD((text.size() + 1) * sizeof(wchar_t));

    DWORD cb = 0, type = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"Group", nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(cb, need);

    std::vector<wchar_t> buf(text.size() + 1, L'#');
    cb = need - sizeof(wchar_t);
    EXPECT_EQ(RegQueryValueExW(key, L"Group", nullptr, &type, reinterpret_cast<LPBYTE>(buf.data()), &cb),
              ERROR_MORE_DATA);
    EXPECT_EQ(cb, need);
    cb = need;
    ASSERT_EQ(RegQueryValueExW(key, L"Group", nullptr, &type, reinterpret_cast<LPBYTE>(buf.data()), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(cb, need);
    EXPECT_EQ(std::wstring(buf.data()), text);

    // Written without its terminator, a string still reads back terminated.
    ASSERT_EQ(RegSetValueExW(key, L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abc"), 3 * sizeof(wchar_t)),
              ERROR_SUCCESS);
    cb = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"Bare", nullptr, nullptr, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(cb, 4 * sizeof(wchar_t));
    EXPECT_EQ(GetString(key, L"Bare"), L"abc");

    // The default value has the empty name; null and "" both reach it.
    ASSERT_EQ(SetString(key, nullptr, L"Standard"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, L""), L"Standard");

    ASSERT_EQ(SetDword(key, L"Count", 0x12345678), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, L"Count"), 0x12345678u);
    ASSERT_EQ(SetString(key, L"Count", L"now text"), ERROR_SUCCESS);  // a value may change its type
    EXPECT_EQ(GetString(key, L"Count"), L"now text");

    const BYTE blob[] = {0, 1, 2, 0, 255};
    ASSERT_EQ(RegSetValueExW(key, L"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    BYTE back[16];
    cb = sizeof back;
    ASSERT_EQ(RegQueryValueExW(key, L"Blob", nullptr, &type, back, &cb), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(cb, sizeof blob);
    EXPECT_EQ(std::memcmp(back, blob, sizeof blob), 0);
    ASSERT_EQ(RegSetValueExW(key, L"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    cb = 99;
    ASSERT_EQ(RegQueryValueExW(key, L"Empty", nullptr, nullptr, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(cb, 0u);

    const wchar_t multi[] = L"DE\0FR\0Ärger\0";  // the array adds the final terminator
    ASSERT_EQ(RegSetValueExW(key, L"Langs", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi),
              ERROR_SUCCESS);
    wchar_t mb[32];
    cb = sizeof mb;
    ASSERT_EQ(RegQueryValueExW(key, L"Langs", nullptr, &type, reinterpret_cast<LPBYTE>(mb), &cb), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_MULTI_SZ);
    ASSERT_EQ(cb, sizeof multi);
    EXPECT_EQ(std::memcmp(mb, multi, sizeof multi), 0);

    const std::wstring path = L"%HOME%\\x";
    ASSERT_EQ(RegSetValueExW(key, L"Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                             DWORD((path.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    wchar_t pb[32];
    cb = sizeof pb;
    ASSERT_EQ(RegQueryValueExW(key, L"Path", nullptr, &type, reinterpret_cast<LPBYTE>(pb), &cb), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(std::wstring(pb), path);
    RegCloseKey(key);
}

TEST_F(Registry, DefaultValueOfASubkey) {
    ASSERT_EQ(RegSetValueW(HKEY_CLASSES_ROOT, L"Qovaro.NQ2.KursView\\CLSID", REG_SZ,
                           L"{99F1AB30-CB96-4DF2-99A9-0EDA0892C25B}", 0),
              ERROR_SUCCESS);
    wchar_t buf[64];
    LONG cb = sizeof buf;
    ASSERT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, L"qovaro.nq2.kursview\\clsid", buf, &cb), ERROR_SUCCESS);
    EXPECT_STREQ(buf, L"{99F1AB30-CB96-4DF2-99A9-0EDA0892C25B}");
    EXPECT_EQ(cb, LONG(39 * sizeof(wchar_t)));

    LONG small = 10 * sizeof(wchar_t);
    EXPECT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, L"Qovaro.NQ2.KursView\\CLSID", buf, &small), ERROR_MORE_DATA);
    EXPECT_EQ(small, LONG(39 * sizeof(wchar_t)));
    LONG size = 0;
    EXPECT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, L"Qovaro.NQ2.KursView\\CLSID", nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, LONG(39 * sizeof(wchar_t)));

    // A key without a default value, and a missing key, are errors.
    cb = sizeof buf;
    EXPECT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, L"Qovaro.NQ2.KursView", buf, &cb), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, L"Qovaro.NQ2.Nothing", buf, &cb), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueW(HKEY_CLASSES_ROOT, L"X", REG_DWORD, L"1", 0), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, EnumerationAndKeyInformation) {
    HKEY root = Create(HKEY_CURRENT_USER, L"Software\\Enum");
    for (LPCWSTR sub : {L"beta", L"Alpha", L"gamma", L"Delta-Long-Name"}) RegCloseKey(Create(root, sub));
    EXPECT_EQ(SubKeys(root), (std::vector<std::wstring>{L"Alpha", L"beta", L"Delta-Long-Name", L"gamma"}));

    ASSERT_EQ(SetString(root, L"zeta", L"1234567"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(root, L"Alpha", 5), ERROR_SUCCESS);
    ASSERT_EQ(SetString(root, L"LongestValueName", L""), ERROR_SUCCESS);

    // Values come in the order they were created.
    std::vector<std::wstring> names;
    std::vector<DWORD> types;
    for (DWORD i = 0;; ++i) {
        wchar_t name[64];
        DWORD cch = 64, type = 0, cb = 0;
        LONG rc = RegEnumValueW(root, i, name, &cch, nullptr, &type, nullptr, &cb);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(rc, ERROR_SUCCESS);
        names.emplace_back(name);
        types.push_back(type);
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"zeta", L"Alpha", L"LongestValueName"}));
    EXPECT_EQ(types, (std::vector<DWORD>{REG_SZ, REG_DWORD, REG_SZ}));

    // Value data through enumeration, with a buffer that is too small.
    wchar_t name[64];
    DWORD cch = 64, cb = 4;
    BYTE data[64];
    EXPECT_EQ(RegEnumValueW(root, 0, name, &cch, nullptr, nullptr, data, &cb), ERROR_MORE_DATA);
    EXPECT_EQ(cb, 8 * sizeof(wchar_t));
    cch = 64;
    cb = sizeof data;
    ASSERT_EQ(RegEnumValueW(root, 0, name, &cch, nullptr, nullptr, data, &cb), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<wchar_t*>(data), L"1234567");

    // A name buffer without room for the terminator is too small.
    cch = 5;
    EXPECT_EQ(RegEnumKeyExW(root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    cch = 6;
    EXPECT_EQ(RegEnumKeyExW(root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(cch, 5u);
    cch = 4;
    EXPECT_EQ(RegEnumValueW(root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);

    DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values, &maxName,
                               &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 4u);
    EXPECT_EQ(maxSub, std::wcslen(L"Delta-Long-Name"));
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(maxName, std::wcslen(L"LongestValueName"));
    EXPECT_EQ(maxData, 8 * sizeof(wchar_t));

    HKEY empty = Create(root, L"Alpha");
    ASSERT_EQ(RegQueryInfoKeyW(empty, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values, &maxName,
                               &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys + maxSub + values + maxName + maxData, 0u);
    cch = 64;
    EXPECT_EQ(RegEnumKeyExW(empty, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(empty);
    RegCloseKey(root);
}

TEST_F(Registry, DeletingKeysAndTrees) {
    HKEY clsid = Create(HKEY_CLASSES_ROOT, L"CLSID\\{1}");
    HKEY inproc = Create(clsid, L"InProcServer32");
    ASSERT_EQ(SetString(inproc, L"ThreadingModel", L"Both"), ERROR_SUCCESS);
    RegCloseKey(Create(HKEY_CLASSES_ROOT, L"CLSID\\{2}"));

    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, L"CLSID\\{1}"), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"clsid\\{1}"), ERROR_SUCCESS);
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{1}\\InProcServer32", 0, KEY_READ, &probe),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{2}", 0, KEY_READ, &probe), ERROR_SUCCESS);
    RegCloseKey(probe);

    // Handles to deleted keys stay safe to use and to close.
    DWORD cb = 0;
    EXPECT_EQ(RegQueryValueExW(inproc, L"ThreadingModel", nullptr, nullptr, nullptr, &cb), ERROR_KEY_DELETED);
    EXPECT_EQ(SetString(clsid, L"x", L"y"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(inproc), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(clsid), ERROR_SUCCESS);

    // A recreated key is a new key, not the old one come back.
    HKEY again = Create(HKEY_CLASSES_ROOT, L"CLSID\\{1}");
    cb = 0;
    EXPECT_EQ(RegQueryValueExW(again, L"x", nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    RegCloseKey(again);

    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, L"CLSID\\{2}"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, L"CLSID\\{2}"), ERROR_FILE_NOT_FOUND);

    // A null subkey empties the key but keeps it.
    HKEY box = Create(HKEY_CURRENT_USER, L"Software\\Box");
    RegCloseKey(Create(box, L"a\\b\\c"));
    ASSERT_EQ(SetDword(box, L"v", 1), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTreeW(box, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(SubKeys(box).empty());
    EXPECT_EQ(RegQueryValueExW(box, L"v", nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(box, L"w", 2), ERROR_SUCCESS);
    RegCloseKey(box);

    // The roots themselves cannot be deleted.
    EXPECT_EQ(RegDeleteKeyW(HKEY_USERS, L""), ERROR_ACCESS_DENIED);
}

TEST_F(Registry, StoreFollowsTheEnvironment) {
    HKEY key = Create(HKEY_CURRENT_USER, L"Software\\Where");
    ASSERT_EQ(SetString(key, L"file", L"first"), ERROR_SUCCESS);
    {
        qvtest::TempDir other;
        qvtest::ScopedEnv second("QV_REGISTRY", other.file("nested/deeper/registry.db"));
        HKEY probe = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Where", 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND);
        EXPECT_TRUE(std::filesystem::exists(other.file("nested/deeper/registry.db")));
        // A handle into the other file must not read this one's rows.
        DWORD cb = 0;
        EXPECT_EQ(RegQueryValueExW(key, L"file", nullptr, nullptr, nullptr, &cb), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
    HKEY back = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Where", 0, KEY_READ, &back), ERROR_SUCCESS);
    EXPECT_EQ(GetString(back, L"file"), L"first");
    RegCloseKey(back);

    qvtest::TempDir xdg;
    qvtest::ScopedEnv noOverride("QV_REGISTRY", "");
    qvtest::ScopedEnv config("XDG_CONFIG_HOME", xdg.path());
    EXPECT_EQ(qv::RegistryPath(), xdg.path() + "/qovaro/registry.db");
    RegCloseKey(Create(HKEY_CURRENT_USER, L"Software\\Xdg"));
    EXPECT_TRUE(std::filesystem::exists(xdg.file("qovaro/registry.db")));
    qvtest::ScopedEnv noXdg("XDG_CONFIG_HOME", "");
    qvtest::ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(qv::RegistryPath(), "/home/someone/.config/qovaro/registry.db");
}

pid_t SpawnWriter(const char* prefix, int count, int stdinFd) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, stdinFd, 0);
    std::string n = std::to_string(count);
    char* argv[] = {const_cast<char*>(QV_REG_WRITER), const_cast<char*>(prefix), n.data(), nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, QV_REG_WRITER, &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

int WaitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(Registry, TwoProcessesWritingOneKeyLoseNothing) {
    // The parent holds the key open throughout; its handle must survive the children's writes.
    HKEY key = Create(HKEY_CURRENT_USER, L"Software\\QvTest\\Shared");
    ASSERT_EQ(SetString(key, L"parent", L"here"), ERROR_SUCCESS);

    int gate[2];
    ASSERT_EQ(pipe2(gate, O_CLOEXEC), 0);  // only the dup2 copy reaches the children
    constexpr int kWrites = 1000;  // enough for the two to collide on every run
    pid_t a = SpawnWriter("a", kWrites, gate[0]);
    pid_t b = SpawnWriter("b", kWrites, gate[0]);
    close(gate[0]);
    close(gate[1]);  // both children start writing now
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(WaitExit(a), 0);
    EXPECT_EQ(WaitExit(b), 0);

    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 2u * kWrites + 1);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(GetDword(key, (L"a" + std::to_wstring(i)).c_str()), DWORD(i));
        EXPECT_EQ(GetDword(key, (L"b" + std::to_wstring(i)).c_str()), DWORD(i));
    }
    EXPECT_EQ(GetString(key, L"parent"), L"here");
    RegCloseKey(key);
}

TEST_F(Registry, ThreadsOfOneProcessShareTheStore) {
    constexpr int kThreads = 4, kWrites = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kWrites; ++i) {
                HKEY key = Create(HKEY_CURRENT_USER, (L"Software\\Threads\\T" + std::to_wstring(t)).c_str());
                EXPECT_EQ(SetDword(key, std::to_wstring(i).c_str(), DWORD(t * 1000 + i)), ERROR_SUCCESS);
                EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
            }
        });
    for (auto& th : threads) th.join();
    HKEY root = Create(HKEY_CURRENT_USER, L"Software\\Threads");
    EXPECT_EQ(SubKeys(root).size(), size_t(kThreads));
    for (int t = 0; t < kThreads; ++t) {
        HKEY key = Create(root, (L"T" + std::to_wstring(t)).c_str());
        for (int i = 0; i < kWrites; ++i) EXPECT_EQ(GetDword(key, std::to_wstring(i).c_str()), DWORD(t * 1000 + i));
        RegCloseKey(key);
    }
    RegCloseKey(root);
}

}  // namespace
