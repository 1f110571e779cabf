// The SQLite file system the registry store opens its files through: the
// default one, with every write, sync and truncate first asking the file
// layer's fault injection (platform/runtime/posixfile.h), so that tests can
// fail a registry write at any step as they fail the other stored files.
#pragma once

namespace os::reg {

// The name to hand sqlite3_open_v2; registered on first use. nullptr (the
// default file system) where it cannot be registered.
const char* FaultAwareVfsName();

}  // namespace os::reg
