// Child process of the registry tests: waits until its stdin closes (so that both children start
// together), then writes <count> DWORD values named <prefix><i> = i under one shared key, opening
// and closing the key for every write as independent callers would.
#include "qvregistry.h"
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string prefix = argv[1];
    const int count = std::atoi(argv[2]);
    char c;
    while (read(0, &c, 1) > 0) {
    }
    for (int i = 0; i < count; ++i) {
        HKEY key = nullptr;
        LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QvTest\\Shared", 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr);
        if (rc != ERROR_SUCCESS) {
            std::fprintf(stderr, "create failed: %d\n", int(rc));
            return 1;
        }
        std::wstring name(prefix.begin(), prefix.end());
        name += std::to_wstring(i);
        DWORD v = DWORD(i);
        rc = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) {
            std::fprintf(stderr, "set failed: %d\n", int(rc));
            return 1;
        }
    }
    return 0;
}
