#include "regtree.h"

#include "platform/runtime/oserror.h"

namespace qzreg {

os::LONG Values(os::HKEY key, std::vector<Value>* out) {
    out->clear();
    std::vector<char> name(os::kMaxValueNameLength + 1);
    for (os::DWORD i = 0;; ++i) {
        os::DWORD nameLength = 0, type = 0, size = 0;
        std::string data;
        os::LONG e = os::ERROR_MORE_DATA;
        // The size first, then the data; a value another process makes
        // longer meanwhile is asked for again with the size it has now.
        for (int tries = 0; e == os::ERROR_MORE_DATA && tries < 10; ++tries) {
            data.resize(size);
            nameLength = static_cast<os::DWORD>(name.size());
            e = os::RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type,
                                  tries == 0 ? nullptr : reinterpret_cast<os::BYTE*>(data.data()), &size);
            if (tries == 0 && e == 0) e = os::ERROR_MORE_DATA;
        }
        if (e == os::ERROR_NO_MORE_ITEMS) return 0;
        if (e != 0) return e;
        data.resize(size);
        out->push_back(Value{std::string(name.data(), nameLength), type, data});
    }
}

os::LONG Subkeys(os::HKEY key, std::vector<std::string>* out) {
    out->clear();
    char name[os::kMaxKeyNameLength + 1];
    for (os::DWORD i = 0;; ++i) {
        os::DWORD length = sizeof name;
        os::LONG e = os::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (e == os::ERROR_NO_MORE_ITEMS) return 0;
        if (e != 0) return e;
        out->emplace_back(name, length);
    }
}

os::LONG OpenChild(os::HKEY key, const std::string& sub, os::HKEY* child) {
    *child = 0;
    os::LONG e = os::RegOpenKeyExA(key, sub.c_str(), 0, os::KEY_READ, child);
    return e == os::ERROR_FILE_NOT_FOUND || e == os::ERROR_KEY_DELETED ? 0 : e;
}

os::LONG DeleteTree(os::HKEY parent, const std::string& path) {
    os::HKEY key = 0;
    if (os::LONG e = os::RegOpenKeyExA(parent, path.c_str(), 0, os::KEY_ALL_ACCESS, &key)) return e;
    std::vector<std::string> subkeys;
    os::LONG listed = Subkeys(key, &subkeys);
    if (listed != 0) {
        os::RegCloseKey(key);
        return listed;
    }
    for (const std::string& sub : subkeys) {
        if (os::LONG e = DeleteTree(key, sub)) {
            os::RegCloseKey(key);
            return e;
        }
    }
    os::RegCloseKey(key);
    return os::RegDeleteKeyA(parent, path.c_str());
}

os::LONG ExportTree(os::HKEY key, const std::string& full, std::string& out, std::string* refused) {
    std::vector<Value> values;
    std::vector<std::string> subkeys;
    if (os::LONG e = Values(key, &values)) return e;
    if (os::LONG e = Subkeys(key, &subkeys)) return e;
    auto lineEnd = [](const std::string& name) { return name.find_first_of("\r\n") != std::string::npos; };
    auto refuse = [&](const std::string& what) {
        *refused = what + " holds a line end, which a .reg file cannot hold.";
        return os::ERROR_INVALID_PARAMETER;
    };
    if (lineEnd(full)) return refuse("The key name " + full);
    out += "[" + full + "]\r\n";
    for (const Value& v : values) {
        if (lineEnd(v.name)) return refuse("A value name under " + full);
        out += ValueLine(v) + "\r\n";
    }
    out += "\r\n";
    for (const std::string& sub : subkeys) {
        os::HKEY child = 0;
        if (os::LONG e = OpenChild(key, sub, &child)) return e;
        if (child == 0) continue;
        os::LONG e = ExportTree(child, full + "\\" + sub, out, refused);
        os::RegCloseKey(child);
        if (e != 0) return e;
    }
    return 0;
}

os::LONG ExportKey(const KeyName& k, std::string* text, std::string* refused) {
    os::HKEY key = 0;
    if (os::LONG e = os::RegOpenKeyExA(k.root, k.path.c_str(), 0, os::KEY_READ, &key)) return e;
    *text = "Windows Registry Editor Version 5.00\r\n\r\n";
    os::LONG e = ExportTree(key, k.Full(), *text, refused);
    os::RegCloseKey(key);
    return e;
}

namespace {

std::string AtLine(size_t line, const std::string& what) { return "Line " + std::to_string(line) + ": " + what; }

bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

// Why a key of the file cannot be imported as it stands, or "".
std::string KeyFault(const FileKey& fk) {
    auto k = ParseKeyName(fk.name);
    if (!k) return AtLine(fk.line, "invalid key name " + fk.name + ".");
    // The names go to the registry as C strings: a NUL would cut them short.
    if (HasNul(fk.name)) return AtLine(fk.line, "a key name holds a NUL character.");
    for (const FileValue& v : fk.values)
        if (HasNul(v.value.name)) return AtLine(v.line, "a value name holds a NUL character.");
    if (fk.remove && k->path.empty()) return AtLine(fk.line, "a root key cannot be deleted.");
    return "";
}

}  // namespace

bool ImportRegFile(const std::string& bytes, std::string* error) {
    auto keys = ParseRegFile(bytes, error);
    if (!keys) return false;
    for (const FileKey& fk : *keys)
        if (std::string fault = KeyFault(fk); !fault.empty()) return *error = fault, false;
    for (const FileKey& fk : *keys) {
        auto k = ParseKeyName(fk.name);
        if (fk.remove) {
            os::LONG e = DeleteTree(k->root, k->path);
            if (e != 0 && e != os::ERROR_FILE_NOT_FOUND) return *error = AtLine(fk.line, rt::DosErrString(e)), false;
            continue;
        }
        os::HKEY key = 0;
        if (os::LONG e =
                os::RegCreateKeyExA(k->root, k->path.c_str(), 0, "", 0, os::KEY_ALL_ACCESS, nullptr, &key, nullptr))
            return *error = AtLine(fk.line, rt::DosErrString(e)), false;
        // In the file's order: a value removed and then set again is set.
        os::LONG e = 0;
        size_t line = fk.line;
        for (const FileValue& fv : fk.values) {
            const Value& v = fv.value;
            line = fv.line;
            if (fv.remove) {
                // A value to remove that is not there is removed already.
                if ((e = os::RegDeleteValueA(key, v.name.c_str())) == os::ERROR_FILE_NOT_FOUND) e = 0;
            } else {
                e = os::RegSetValueExA(key, v.name.c_str(), 0, v.type, reinterpret_cast<const os::BYTE*>(v.data.data()),
                                       static_cast<os::DWORD>(v.data.size()));
            }
            if (e != 0) break;
        }
        os::RegCloseKey(key);
        if (e != 0) return *error = AtLine(line, rt::DosErrString(e)), false;
    }
    for (os::HKEY root : {os::HKEY_LOCAL_MACHINE, os::HKEY_CURRENT_USER})
        if (os::LONG e = os::RegFlushKey(root)) return *error = rt::DosErrString(e), false;
    return true;
}

}  // namespace qzreg
