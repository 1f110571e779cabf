#include "lib/system/workstation.h"

#include <vector>

#include "platform/os/sysinfo.h"
#include "platform/os/wnet.h"

namespace lib {

std::string QZGetComputerName() {
    char buffer[16] = {};
    os::DWORD size = sizeof buffer;
    if (!os::GetComputerNameA(buffer, &size)) return "";
    return std::string(buffer, size);
}

rt::Usual MapDrive(const std::string& localDevice, const std::string& shareName, const std::string& userName,
                   const std::string& password) {
    std::vector<char> local(localDevice.begin(), localDevice.end()), remote(shareName.begin(), shareName.end());
    local.push_back('\0');
    remote.push_back('\0');
    os::NETRESOURCEA resource;
    resource.dwType = os::RESOURCETYPE_DISK;
    resource.lpLocalName = local.data();
    resource.lpRemoteName = remote.data();
    resource.lpProvider = nullptr;
    // An empty password or user name goes as an empty text, not a null.
    os::DWORD result =
        os::WNetAddConnection2A(&resource, password.c_str(), userName.c_str(), os::CONNECT_UPDATE_PROFILE);
    bool mapped = result == os::ERROR_SUCCESS || result == os::ERROR_DEVICE_ALREADY_REMEMBERED;
    return rt::Usual::Array(
        {rt::Usual(mapped),
         rt::Usual(mapped ? std::string() : "Failed to map " + shareName + " to " + localDevice + ".")});
}

}  // namespace lib
