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
// is. Names are matched ignoring case.
#pragma once

#include <string>

#include "platform/os/comm.h"

namespace os {

struct PortTarget {
    enum Kind { None, Device, Queue } kind = None;
    std::string path;  // the device path or the queue name
};

PortTarget ResolvePort(const std::string& name);

// CopyFileA with a port as target: sends the file's bytes unchanged to the
// port's device, or to its CUPS queue as a raw job (lp -d QUEUE -o raw).
// A device must exist; it is not created; one another handle holds (the
// exclusive lock of CreateFileA) is refused with ERROR_ACCESS_DENIED, and a
// terminal gets the bytes without output processing. The copy never waits
// for good: a FIFO without a reader fails after 2 s (ERROR_NOT_READY), a
// device that takes nothing for 30 s with ERROR_SEM_TIMEOUT. FALSE with GetLastError on
// failure (ERROR_FILE_NOT_FOUND for a name that maps to nothing or a device
// that is not there, ERROR_GEN_FAILURE when lp refuses the job).
[[nodiscard]] BOOL CopyFileToPort(const std::string& source, const std::string& port);

}  // namespace os
