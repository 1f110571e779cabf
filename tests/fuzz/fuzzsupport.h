// What the fuzz targets share: a check that names its line before it stops
// the run, and the private folder of a target's files (made at the first
// use, removed with everything in it when the process ends, so that a
// target writes nowhere else and leaves nothing behind).
#pragma once

#include <stdlib.h>

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

inline const std::string& Folder() {
    struct Made {
        std::string path;
        Made() {
            char tmpl[] = "/tmp/qzfuzz.XXXXXX";
            if (!::mkdtemp(tmpl)) std::abort();
            path = tmpl;
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
