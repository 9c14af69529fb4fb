#include <windows.h>

#include "channels/serial_device_kind.h"
#include "config/paths.h"

namespace termload {

// "\\.\COM3" is a device, not a file. An open with no access rights asks the system without
// taking the port; a file, a directory or a pipe is no character device.
SerialDeviceKind KindOfSerialDevice(const std::string& utf8Path) {
    const std::wstring name = PathFromUtf8(utf8Path).native();
    const HANDLE handle = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? SerialDeviceKind::Missing
                   : SerialDeviceKind::Unknown;
    }
    // A character device is taken as a port: with no access rights asked, the comm queries
    // answer differently across drivers (and Wine), so NUL is let through to fail at its open.
    const SerialDeviceKind kind = GetFileType(handle) == FILE_TYPE_CHAR
                                      ? SerialDeviceKind::Serial
                                      : SerialDeviceKind::NotTerminal;
    CloseHandle(handle);
    return kind;
}

}  // namespace termload
