// The emulator's COM number on Windows: the port name the USB serial driver gave the emulator's
// first instance, from its device key (only read).
#include "channels/usb_serial_emulator.h"
#include "config/win32_text.h"
#include "channels/windows_names.h"

namespace termload {

std::optional<int> FindUsbEmulatorComNumber() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SYSTEM\\ControlSet001\\Enum\\USB\\Vid_0525&Pid_a4a7\\0\\Device Parameters",
                      0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const auto name = ReadRegistryText(key, L"PortName");
    RegCloseKey(key);
    return name ? ComNumberFromPortName(*name) : std::nullopt;
}

}  // namespace termload
