// qzreg: the registry from the command line, with the verbs, options and
// output of the Windows "reg" command: query, add, delete, export, import.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"
#include "regtext.h"
#include "regtree.h"

namespace {

using qzreg::KeyName;
using qzreg::OpenChild;
using qzreg::Subkeys;
using qzreg::Value;
using qzreg::Values;

constexpr const char* kNotFound = "ERROR: The system was unable to find the specified registry key or value.";
constexpr const char* kDone = "The operation completed successfully.";
constexpr const char* kCancelled = "The operation was cancelled by the user.";

int Fail(const std::string& message) {
    std::fprintf(stderr, "ERROR: %s\n", message.c_str());
    return 1;
}

int Win32Fail(os::LONG code) {
    if (code == os::ERROR_FILE_NOT_FOUND) {
        std::fprintf(stderr, "%s\n", kNotFound);
        return 1;
    }
    return Fail(rt::DosErrString(code));
}

void Usage(FILE* to) {
    std::fputs(
        "QZREG Operation [Parameter List]\n"
        "\n"
        "  QZREG QUERY KeyName [/v ValueName | /ve] [/s]\n"
        "  QZREG ADD KeyName [/v ValueName | /ve] [/t Type] [/s Separator] [/d Data] [/f]\n"
        "  QZREG DELETE KeyName [/v ValueName | /ve | /va] [/f]\n"
        "  QZREG EXPORT KeyName FileName [/y]\n"
        "  QZREG IMPORT FileName\n"
        "\n"
        "  KeyName  ROOTKEY\\SubKey, ROOTKEY one of HKLM, HKCU, HKCR, HKU, HKCC\n"
        "           (or the full names HKEY_LOCAL_MACHINE, ...).\n"
        "  Type     REG_SZ, REG_MULTI_SZ, REG_EXPAND_SZ, REG_DWORD, REG_QWORD,\n"
        "           REG_DWORD_BIG_ENDIAN, REG_BINARY, REG_NONE (default REG_SZ).\n"
        "  Data     numbers are decimal, or hexadecimal after 0x.\n"
        "\n"
        "The stores: QZ_REGISTRY_DIR, when set, holds machine.db and user.db.\n"
        "\n"
        "  --help, /?  shows this help\n"
        "  --version   shows the version\n",
        to);
}

bool Confirm(const std::string& question) {
    std::printf("%s", question.c_str());
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::printf("\n");
        return false;
    }
    std::string a = rt::Upper(rt::AllTrim(answer));
    return a == "Y" || a == "YES";
}

struct Options {
    std::vector<std::string> positional;
    std::optional<std::string> valueName;  // /v or /ve ("")
    bool allValues = false;                // /va
    bool recurse = false;                  // /s without an argument (query)
    std::string separator;                 // /s Separator (add)
    std::string type = "REG_SZ";
    std::string data;
    bool force = false;
};

std::optional<Options> ParseOptions(const std::string& verb, int argc, char** argv, std::string* error) {
    Options o;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        // Options are the known letters after "/" or "-"; anything else
        // (a path such as /tmp/x.reg) is a positional argument.
        std::string low = a.size() > 1 && (a[0] == '/' || a[0] == '-') ? rt::Lower(a.substr(1)) : "";
        static const char* const kKnown[] = {"v", "ve", "va", "s", "t", "d", "f", "y"};
        if (std::find(std::begin(kKnown), std::end(kKnown), low) == std::end(kKnown)) low.clear();
        auto next = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        if (low == "v") {
            auto v = next();
            if (!v) return *error = "/v needs a value name.", std::nullopt;
            o.valueName = *v;
        } else if (low == "ve") {
            o.valueName = "";
        } else if (low == "va" && verb == "DELETE") {
            o.allValues = true;
        } else if (low == "s" && verb == "ADD") {
            auto v = next();
            if (!v) return *error = "/s needs a separator.", std::nullopt;
            o.separator = *v;
        } else if (low == "s" && verb == "QUERY") {
            o.recurse = true;
        } else if (low == "t" && verb == "ADD") {
            auto v = next();
            if (!v) return *error = "/t needs a type.", std::nullopt;
            o.type = *v;
        } else if (low == "d" && verb == "ADD") {
            auto v = next();
            if (!v) return *error = "/d needs data.", std::nullopt;
            o.data = *v;
        } else if ((low == "f" && verb != "EXPORT") || (low == "y" && verb == "EXPORT")) {
            o.force = true;
        } else if (!low.empty()) {
            return *error = "Invalid syntax: option " + a + " does not belong to " + verb + ".", std::nullopt;
        } else {
            o.positional.push_back(a);
        }
    }
    return o;
}

void PrintValue(const Value& v) {
    std::printf("    %s    %s    %s\n", v.name.empty() ? "(Default)" : v.name.c_str(), qzreg::TypeName(v.type).c_str(),
                qzreg::DataText(v.type, v.data).c_str());
}

os::LONG QueryTree(os::HKEY key, const std::string& full, bool recurse) {
    std::vector<Value> values;
    std::vector<std::string> subkeys;
    if (os::LONG e = Values(key, &values)) return e;
    if (os::LONG e = Subkeys(key, &subkeys)) return e;
    std::printf("%s\n", full.c_str());
    for (const Value& v : values) PrintValue(v);
    std::printf("\n");
    for (const std::string& sub : subkeys) {
        if (!recurse) {
            std::printf("%s\\%s\n", full.c_str(), sub.c_str());
            continue;
        }
        os::HKEY child = 0;
        if (os::LONG e = OpenChild(key, sub, &child)) return e;
        if (child == 0) continue;
        os::LONG e = QueryTree(child, full + "\\" + sub, true);
        os::RegCloseKey(child);
        if (e != 0) return e;
    }
    return 0;
}

int Query(const KeyName& k, const Options& o) {
    os::HKEY key = 0;
    if (os::LONG e = os::RegOpenKeyExA(k.root, k.path.c_str(), 0, os::KEY_READ, &key)) return Win32Fail(e);
    if (o.valueName) {
        os::DWORD type = 0, size = 0;
        os::LONG e = os::RegQueryValueExA(key, o.valueName->c_str(), nullptr, &type, nullptr, &size);
        std::string data(size, '\0');
        if (e == 0)
            e = os::RegQueryValueExA(key, o.valueName->c_str(), nullptr, &type,
                                     reinterpret_cast<os::BYTE*>(data.data()), &size);
        os::RegCloseKey(key);
        // A key without a default value shows it as not set, as reg does.
        bool unset = e == os::ERROR_FILE_NOT_FOUND && o.valueName->empty();
        if (e != 0 && !unset) return Win32Fail(e);
        std::printf("\n%s\n", k.Full().c_str());
        if (unset) std::printf("    (Default)    REG_SZ    (value not set)\n");
        else PrintValue(Value{*o.valueName, type, data.substr(0, size)});
        std::printf("\n");
        return 0;
    }
    std::printf("\n");
    os::LONG e = QueryTree(key, k.Full(), o.recurse);
    os::RegCloseKey(key);
    return e == 0 ? 0 : Win32Fail(e);
}

int Add(const KeyName& k, const Options& o) {
    auto type = qzreg::TypeFromName(o.type);
    if (!type) return Fail("Invalid type " + o.type + ".");
    auto data = qzreg::DataFromText(*type, o.data, o.separator);
    if (!data) return Fail("Invalid data for type " + qzreg::TypeName(*type) + ": " + o.data);
    os::HKEY key = 0;
    os::DWORD how = 0;
    if (os::LONG e = os::RegCreateKeyExA(k.root, k.path.c_str(), 0, "", 0, os::KEY_ALL_ACCESS, nullptr, &key, &how))
        return Fail(rt::DosErrString(e));
    if (!o.valueName) {
        os::RegCloseKey(key);
        std::printf("%s\n", kDone);
        return 0;
    }
    os::DWORD oldType = 0;
    if (!o.force && os::RegQueryValueExA(key, o.valueName->c_str(), nullptr, &oldType, nullptr, nullptr) == 0 &&
        !Confirm("Value " + (o.valueName->empty() ? std::string("(Default)") : *o.valueName) +
                 " exists, overwrite(Yes/No)? ")) {
        os::RegCloseKey(key);
        std::printf("%s\n", kCancelled);
        return 0;
    }
    os::LONG e = os::RegSetValueExA(key, o.valueName->c_str(), 0, *type,
                                    reinterpret_cast<const os::BYTE*>(data->data()),
                                    static_cast<os::DWORD>(data->size()));
    os::RegCloseKey(key);
    if (e != 0) return Fail(rt::DosErrString(e));
    std::printf("%s\n", kDone);
    return 0;
}

int Delete(const KeyName& k, const Options& o) {
    os::HKEY key = 0;
    if (os::LONG e = os::RegOpenKeyExA(k.root, k.path.c_str(), 0, os::KEY_ALL_ACCESS, &key)) return Win32Fail(e);
    os::LONG e = 0;
    if (o.valueName || o.allValues) {
        std::string what = o.allValues ? "all values under " + k.Full()
                                       : "the registry value " + (o.valueName->empty() ? "(Default)" : *o.valueName);
        if (!o.force && !Confirm("Delete " + what + " (Yes/No)? ")) {
            os::RegCloseKey(key);
            std::printf("%s\n", kCancelled);
            return 0;
        }
        if (o.allValues) {
            std::vector<Value> values;
            e = Values(key, &values);
            for (const Value& v : values)
                if (e == 0) e = os::RegDeleteValueA(key, v.name.c_str());
        } else {
            e = os::RegDeleteValueA(key, o.valueName->c_str());
        }
        os::RegCloseKey(key);
    } else {
        os::RegCloseKey(key);
        if (!o.force && !Confirm("Permanently delete the registry key " + k.Full() + " (Yes/No)? ")) {
            std::printf("%s\n", kCancelled);
            return 0;
        }
        e = k.path.empty() ? os::ERROR_ACCESS_DENIED : qzreg::DeleteTree(k.root, k.path);
    }
    if (e != 0) return Win32Fail(e);
    std::printf("%s\n", kDone);
    return 0;
}

int Export(const KeyName& k, const std::string& file, const Options& o) {
    std::string text, refused;
    os::LONG e = qzreg::ExportKey(k, &text, &refused);
    if (!refused.empty()) return Fail(refused);
    if (e != 0) return Win32Fail(e);
    if (!o.force && ::access(file.c_str(), F_OK) == 0 &&
        !Confirm("File " + file + " already exists. Overwrite(Yes/No)? ")) {
        std::printf("%s\n", kCancelled);
        return 0;
    }
    rt::ReplaceResult written = rt::AtomicReplace(file, {"\xFF\xFE", qzreg::ToUtf16(text)});
    if (!written.Ok()) return Fail("The file " + file + " cannot be written: " + std::strerror(written.err) + ".");
    std::printf("%s\n", kDone);
    return 0;
}

int Import(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return Fail("The file " + file + " cannot be read.");
    std::stringstream buf;
    buf << in.rdbuf();
    std::string error;
    if (!qzreg::ImportRegFile(buf.str(), &error)) return Fail(error);
    std::printf("%s\n", kDone);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("qzreg " QZ_VERSION);
        return 0;
    }
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "/?") == 0) {
        Usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 1 : 0;
    }
    std::string verb = rt::Upper(argv[1]);
    if (verb != "QUERY" && verb != "ADD" && verb != "DELETE" && verb != "EXPORT" && verb != "IMPORT") {
        Usage(stderr);
        return Fail("Invalid syntax: unknown operation " + std::string(argv[1]) + ".");
    }
    std::string error;
    auto o = ParseOptions(verb, argc, argv, &error);
    if (!o) return Fail(error);
    size_t wanted = verb == "EXPORT" ? 2 : 1;
    if (o->positional.size() != wanted) return Fail("Invalid syntax. Type \"QZREG " + verb + " /?\" for usage.");
    if (verb == "IMPORT") return Import(o->positional[0]);
    auto k = qzreg::ParseKeyName(o->positional[0]);
    if (!k) return Fail("Invalid key name.");
    int rc = 0;
    if (verb == "QUERY") rc = Query(*k, *o);
    if (verb == "ADD") rc = Add(*k, *o);
    if (verb == "DELETE") rc = Delete(*k, *o);
    if (verb == "EXPORT") rc = Export(*k, o->positional[1], *o);
    // A change that cannot be made durable is reported, not taken as done.
    if (rc == 0 && (verb == "ADD" || verb == "DELETE"))
        if (os::LONG e = os::RegFlushKey(k->root)) return Fail(rt::DosErrString(e));
    return rc;
}
