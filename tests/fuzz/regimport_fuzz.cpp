// libFuzzer target for qzreg's import: any bytes as a .reg file, imported
// into private registry stores (QZ_REGISTRY_DIR set to a folder of the
// target's own, the stores removed before each input and the folder at
// exit). The import must succeed or say why, naming the line; when it
// succeeds, the stores exported, imported afresh and exported again must
// give the same text.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/os/registry.h"
#include "regtree.h"

namespace {

std::string gDir;

void RemoveStores() {
    os::RegCloseStores();
    for (const char* name : {"machine.db", "user.db"})
        for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((gDir + "/" + name + suffix).c_str());
}

void RemoveFolder() {
    RemoveStores();
    ::rmdir(gDir.c_str());
}

// Every root the stores hold, as one .reg text; false when a name cannot be
// written in one.
bool ExportAll(std::string* text) {
    *text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (auto [root, name] :
         {std::pair{os::HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
          std::pair{os::HKEY_CURRENT_USER, "HKEY_CURRENT_USER"}, std::pair{os::HKEY_USERS, "HKEY_USERS"}}) {
        std::string refused;
        const os::LONG e = qzreg::ExportTree(root, name, *text, &refused);
        if (!refused.empty()) return false;
        if (e != 0 && e != os::ERROR_FILE_NOT_FOUND) __builtin_trap();  // a store it just wrote
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/dev/shm/regimport_fuzz.XXXXXX";
    char fallback[] = "/tmp/regimport_fuzz.XXXXXX";
    const char* made = ::mkdtemp(dir);
    if (made == nullptr) made = ::mkdtemp(fallback);
    if (made == nullptr) std::abort();
    gDir = made;
    ::setenv("QZ_REGISTRY_DIR", made, 1);
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RemoveStores();
    std::string error;
    if (!qzreg::ImportRegFile(std::string(reinterpret_cast<const char*>(data), size), &error)) {
        if (error.rfind("Line ", 0) != 0) __builtin_trap();  // a refusal names its line
        return 0;
    }
    std::string first, second;
    if (!ExportAll(&first)) return 0;
    RemoveStores();
    if (!qzreg::ImportRegFile(first, &error)) __builtin_trap();  // its own export is refused
    if (!ExportAll(&second) || second != first) __builtin_trap();
    return 0;
}
