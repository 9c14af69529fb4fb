// Enumeration of the serial ports of Windows through SetupAPI: the devices of the COM port
// interface and of the Ports class, each with the port name from its device key and the USB ids
// from its hardware id. Windows has no console on a serial port.
#include "config/win32_text.h"
// SetupAPI after windows.h.
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "channels/port_map.h"
#include "channels/windows_names.h"

namespace termload {
namespace {

// GUID_DEVINTERFACE_COMPORT and GUID_DEVCLASS_PORTS, written out so that no header needs
// INITGUID.
constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

class DeviceList {
  public:
    explicit DeviceList(HDEVINFO list) : list_(list) {}
    ~DeviceList() {
        if (list_ != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(list_);
        }
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    HDEVINFO Get() const { return list_; }

  private:
    HDEVINFO list_;
};

// A text property of the device; for a list (the hardware ids) its first entry.
std::string TextProperty(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer), sizeof(buffer) - 2,
                                           nullptr) ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    return Utf8FromWide(std::wstring_view(buffer, wcsnlen(buffer, std::size(buffer))));
}

std::optional<std::string> PortNameOf(HDEVINFO list, SP_DEVINFO_DATA& device) {
    const HKEY key = SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    auto name = ReadRegistryText(key, L"PortName");
    RegCloseKey(key);
    return name;
}

void AddPorts(const GUID& guid, DWORD flags, std::vector<DetectedSerialPort>& ports) {
    const DeviceList list(SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags | DIGCF_PRESENT));
    if (list.Get() == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(list.Get(), index, &device); ++index) {
        const auto name = PortNameOf(list.Get(), device);
        const auto number = name ? ComNumberFromPortName(*name) : std::nullopt;
        if (!number) {
            continue;  // a printer port of the Ports class, or no name yet
        }
        DetectedSerialPort port;
        port.device = "\\\\.\\COM" + std::to_string(*number);
        if (std::any_of(ports.begin(), ports.end(),
                        [&port](const auto& known) { return known.device == port.device; })) {
            continue;
        }
        port.description = TextProperty(list.Get(), device, SPDRP_FRIENDLYNAME);
        if (port.description.empty()) {
            port.description = TextProperty(list.Get(), device, SPDRP_DEVICEDESC);
        }
        const std::string hardwareId = TextProperty(list.Get(), device, SPDRP_HARDWAREID);
        if (const auto ids = UsbIdsFromHardwareId(hardwareId)) {
            port.usb = true;
            port.usbVendorId = ids->vendor;
            port.usbProductId = ids->product;
        }
        ports.push_back(std::move(port));
    }
}

}  // namespace

std::vector<DetectedSerialPort> DetectSerialPorts() {
    std::vector<DetectedSerialPort> ports;
    AddPorts(kComPortInterface, DIGCF_DEVICEINTERFACE, ports);
    AddPorts(kPortsClass, 0, ports);
    return ports;
}

std::vector<std::string> ConsoleDevices() {
    return {};
}

}  // namespace termload
