#include <windows.h>

#include "cli/port_device.h"
#include "config/paths.h"

namespace termload::cli {

// "\\.\COM3" is a device, not a file: the file-system queries know nothing of it. An open with no
// access rights asks the system without taking the port.
bool PortDeviceExists(const std::string& device) {
    const std::wstring name = PathFromUtf8(device).native();
    const HANDLE handle = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return true;
    }
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
           error != ERROR_INVALID_NAME && error != ERROR_BAD_PATHNAME;
}

}  // namespace termload::cli
