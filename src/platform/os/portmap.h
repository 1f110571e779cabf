// The port map: which Linux device or print queue a Win32 port name
// ("COM1", "\\.\COM10", "LPT1", "PRN") stands for.
//
// Entries come from the environment variable QZ_PORTMAP ("COM1=/dev/ttyUSB0;
// LPT1=cups:office"), else from the file named by QZ_PORTMAP_FILE, else from
// /etc/qzscan/portmap (one NAME=TARGET a line, '#' starts a comment). A
// target "cups:QUEUE" is a CUPS queue, anything else a device path. Names
// the map does not list take the defaults: COMn is /dev/ttyS(n-1), LPTn
// (1..9) /dev/usb/lp(n-1) when that exists, else /dev/lp(n-1), and PRN is
// whatever LPT1 is. A name holding a '/' is a device path and is used as it
// is. Names are matched ignoring case. A target may end in ",utf-8", ",437"
// or ",850": the code page text is printed in on that port.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/os/comm.h"

namespace os {

// The code pages a print port can take: 0 is the OEM code page of the
// regional settings (437 or 850), kCodePageUtf8 sends text as it is.
inline constexpr int kCodePageUtf8 = 65001;

struct PortTarget {
    enum Kind { None, Device, Queue } kind = None;
    std::string path;  // the device path or the queue name
    int codePage = 0;  // from ",utf-8", ",437", ",850" after the map target
    bool operator==(const PortTarget&) const = default;
};

// One entry of a port map: the port name (trimmed, in upper case, without
// a trailing ':') and what it stands for.
struct PortMapping {
    std::string name;
    PortTarget target;
    bool operator==(const PortMapping&) const = default;
};

// The entries of a port map text in order, entries separated by any of
// separators (";" in QZ_PORTMAP, CR and LF in a file); '#' starts a
// comment that runs to the end of the entry, and a UTF-8 byte-order mark
// at the start is skipped. An entry without '=', with an empty name or
// target, or with a control character in either is left out.
std::vector<PortMapping> ParsePortMap(std::string_view text, std::string_view separators);

PortTarget ResolvePort(const std::string& name);

// CopyFileA with a port as target, the bytes given: a device gets them
// unchanged, a CUPS queue as a raw job (lp -d QUEUE -o raw), a regular file
// (or a path outside /dev that is not there yet) is replaced by them
// through the file layer's AtomicReplace. Every wait is bounded: a FIFO
// without a reader fails after 2 s (ERROR_NOT_READY), a device that takes
// nothing for 5 s with ERROR_SEM_TIMEOUT, lp that has not finished after
// 5 s (and 1 s a MiB) is stopped with ERROR_SEM_TIMEOUT. FALSE with
// GetLastError on failure (ERROR_FILE_NOT_FOUND for a name that maps to
// nothing or a device that is not there, ERROR_ACCESS_DENIED for a port
// another handle holds, ERROR_GEN_FAILURE when lp refuses the job); what lp
// said on its standard error goes to *programText (never to ours).
[[nodiscard]] BOOL SendToPort(std::string_view bytes, const PortTarget& target, std::string* programText = nullptr);

}  // namespace os
