// What the fuzz targets share: a check that names its line before it stops
// the run, and the private folder of a target's files, so that a target
// writes nowhere else and leaves nothing behind.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

// Stops the run (a finding) when `ok` is false, saying which check failed.
#define FUZZ_CHECK(ok)                                                                  \
    do {                                                                                \
        if (!(ok)) {                                                                    \
            std::fprintf(stderr, "check failed: %s:%d: %s\n", __FILE__, __LINE__, #ok); \
            __builtin_trap();                                                           \
        }                                                                               \
    } while (0)

namespace fuzz {

// The folder is /tmp/qzfuzz.PID. A fuzzing job may end without running
// destructors (libFuzzer's fork mode), so the folders of processes that are
// gone are removed when a new one is made.
inline const std::string& Folder() {
    struct Made {
        std::string path = "/tmp/qzfuzz." + std::to_string(::getpid());
        Made() {
            std::error_code ec;
            for (const auto& e : std::filesystem::directory_iterator("/tmp", ec)) {
                const std::string name = e.path().filename().string();
                if (name.rfind("qzfuzz.", 0) != 0) continue;
                const long pid = std::strtol(name.c_str() + 7, nullptr, 10);
                if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                    std::filesystem::remove_all(e.path(), ec);
            }
            std::filesystem::remove_all(path, ec);
            if (::mkdir(path.c_str(), 0700) != 0) std::abort();
        }
        ~Made() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Made made;
    return made.path;
}

inline std::string PathOf(const std::string& name) { return Folder() + "/" + name; }

// Replaces the file `name` in the folder with the bytes given.
inline void PutFile(const std::string& name, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(PathOf(name).c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

// Empties the folder (the files of the previous input).
inline void ClearFolder() {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(Folder(), ec)) std::filesystem::remove_all(e.path(), ec);
}

}  // namespace fuzz
