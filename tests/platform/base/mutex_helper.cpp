// A second process for the named-mutex tests.
//   qvbase_mutex_helper NAME try    exit 0 when the mutex could be taken at once, 1 when not
//   qvbase_mutex_helper NAME hold   takes it, prints "locked", holds it until stdin ends
#include "sync.h"
#include "utf.h"
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) return 3;
    const std::wstring name = qv::FromUtf8(argv[1]);
    HANDLE m = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!m) return 2;
    if (std::strcmp(argv[2], "try") == 0) {
        const DWORD r = WaitForSingleObject(m, 0);
        if (r == WAIT_OBJECT_0) {
            ReleaseMutex(m);
            return 0;
        }
        return r == WAIT_TIMEOUT ? 1 : 2;
    }
    if (std::strcmp(argv[2], "hold") == 0) {
        if (WaitForSingleObject(m, 20000) != WAIT_OBJECT_0) {
            std::printf("timeout\n");  // the test fails instead of waiting for us forever
            return 2;
        }
        std::printf("locked\n");
        std::fflush(stdout);
        while (std::fgetc(stdin) != EOF) {
        }
        ReleaseMutex(m);
        CloseHandle(m);
        return 0;
    }
    return 3;
}
