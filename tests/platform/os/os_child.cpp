// A second process for the OS-service tests: writes registry values or INI
// entries at the same time as another copy, watches the registry for
// another process's writes, or records its own arguments.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/os/profile.h"
#include "platform/os/registry.h"

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "regwrite") == 0) {
        // regwrite PREFIX COUNT: one value per transaction under HKCU\Software\Concurrent.
        int n = std::atoi(argv[3]);
        os::HKEY key = 0;
        if (os::RegCreateKeyExA(os::HKEY_CURRENT_USER, "Software\\Concurrent", 0, nullptr, 0, os::KEY_ALL_ACCESS,
                                nullptr, &key, nullptr) != 0)
            return 2;
        for (int i = 0; i < n; ++i) {
            std::string name = std::string(argv[2]) + std::to_string(i);
            uint32_t v = static_cast<uint32_t>(i);
            if (os::LONG rc =
                    os::RegSetValueExA(key, name.c_str(), 0, os::REG_DWORD, reinterpret_cast<os::BYTE*>(&v), 4)) {
                std::fprintf(stderr, "regwrite %s: value %d failed with %d\n", argv[2], i, static_cast<int>(rc));
                return 3;
            }
        }
        os::RegCloseKey(key);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "regwatch") == 0) {
        // regwatch: prints HKLM\SOFTWARE\Watch "v", then reads on until it is
        // "two" and the subkey New exists (exit 0), ten seconds at most.
        auto read = [] {
            char buf[64] = "";
            os::DWORD size = sizeof buf - 1;
            os::HKEY k = 0, sub = 0;
            if (os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE, "SOFTWARE\\Watch", 0, os::KEY_READ, &k) != 0 ||
                os::RegQueryValueExA(k, "v", nullptr, nullptr, reinterpret_cast<os::BYTE*>(buf), &size) != 0)
                return std::string();
            bool added = os::RegOpenKeyExA(k, "New", 0, os::KEY_READ, &sub) == 0;
            os::RegCloseKey(sub), os::RegCloseKey(k);
            return std::string(buf) + (added ? "+New" : "");
        };
        std::printf("%s\n", read().c_str());
        std::fflush(stdout);
        for (int i = 0; i < 10000 && read() != "two+New"; ++i) ::usleep(1000);
        return read() == "two+New" ? 0 : 4;
    }
    if (argc >= 5 && std::strcmp(argv[1], "iniwrite") == 0) {
        // iniwrite FILE PREFIX COUNT: entries PREFIXi=i in section [Shared];
        // a failure exits with the Win32 error (255 when it does not fit).
        int n = std::atoi(argv[4]);
        for (int i = 0; i < n; ++i) {
            std::string key = std::string(argv[3]) + std::to_string(i);
            if (!os::WritePrivateProfileStringA("Shared", key.c_str(), std::to_string(i).c_str(), argv[2])) {
                os::DWORD err = os::GetLastError();
                return err > 0 && err < 255 ? static_cast<int>(err) : 255;
            }
        }
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "argv") == 0) {
        // argv OUTFILE ARGS...: writes each argument and a line feed.
        FILE* f = std::fopen(argv[2], "wb");
        if (f == nullptr) return 2;
        for (int i = 3; i < argc; ++i) std::fprintf(f, "%s\n", argv[i]);
        std::fclose(f);
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "fds") == 0) {
        // fds OUTFILE: the open descriptors above 2 other than the file itself.
        FILE* f = std::fopen(argv[2], "wb");
        if (f == nullptr) return 2;
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != fileno(f) && fcntl(fd, F_GETFD) != -1) std::fprintf(f, "%d\n", fd);
        std::fclose(f);
        return 0;
    }
    return 1;
}
