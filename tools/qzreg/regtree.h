// The registry walks of qzreg over the os registry functions: a key's
// values and subkeys, a tree deleted, exported as .reg text, and a .reg
// file imported. A library of its own, so that the tool and the import's
// fuzz target run the same code.
#pragma once

#include <string>
#include <vector>

#include "platform/os/registry.h"
#include "regtext.h"

namespace qzreg {

// The values of an open key into *out: 0, or the code that stopped the
// enumeration (a damaged store is not taken for the end of the list).
os::LONG Values(os::HKEY key, std::vector<Value>* out);
os::LONG Subkeys(os::HKEY key, std::vector<std::string>* out);
// Opens a subkey met while walking a tree: 0, or the code that stopped the
// walk. A subkey deleted meanwhile is left out (*child stays 0).
os::LONG OpenChild(os::HKEY key, const std::string& sub, os::HKEY* child);
// Deletes a key with everything below it.
os::LONG DeleteTree(os::HKEY parent, const std::string& path);

// Appends a key and everything below it in .reg form: 0, or the code that
// stopped the walk. A name the format cannot hold (one with a line end) is
// refused, with the reason in *refused, rather than written into a file that
// cannot be read back.
os::LONG ExportTree(os::HKEY key, const std::string& full, std::string& out, std::string* refused);
// The text of a .reg file (before its encoding as UTF-16) for a key and
// everything below it; 0 or the code that stopped it, *refused as above.
os::LONG ExportKey(const KeyName& k, std::string* text, std::string* refused);

// Imports a .reg file's bytes and flushes the stores: true, or false with
// the reason in *error, which names the file's line where one is at fault.
// Every key name is checked before anything changes; a failure of the store
// part way leaves the keys before it imported.
bool ImportRegFile(const std::string& bytes, std::string* error);

}  // namespace qzreg
