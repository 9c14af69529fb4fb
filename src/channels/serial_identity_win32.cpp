// A COM port's identity on Windows: "\\.\COMn" never changes, so it is the device instance that
// holds the name now, with the time that instance last arrived. A terminal replugged in the
// same socket keeps its instance and COM number but arrives anew. Where the system has no
// device instance for the port (a virtual port, Wine's ports on ptys) the identity is empty;
// the open port's own state still tells when its device went away.
#include <windows.h>
// windows.h first: SetupAPI builds on it.
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <setupapi.h>

#include <cwchar>
#include <optional>
#include <string>

#include "channels/serial_identity.h"
#include "config/win32_text.h"

namespace termload {
namespace {

// GUID_DEVCLASS_PORTS and DEVPKEY_Device_LastArrivalDate, written out so that no header needs
// INITGUID.
constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const DEVPROPKEY kLastArrivalDate = {
    {0x83DA6326, 0x97A6, 0x4088, {0x94, 0x53, 0xA1, 0x92, 0x3F, 0x57, 0x3B, 0x29}}, 102};

class DeviceSet {
  public:
    DeviceSet() : set_(SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT)) {}
    ~DeviceSet() {
        if (set_ != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(set_);
        }
    }
    DeviceSet(const DeviceSet&) = delete;
    DeviceSet& operator=(const DeviceSet&) = delete;
    HDEVINFO Get() const { return set_; }

  private:
    HDEVINFO set_;
};

bool HoldsPortName(HDEVINFO set, SP_DEVINFO_DATA& device, const std::wstring& portName) {
    const HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::optional<std::string> name = ReadRegistryText(key, L"PortName");
    RegCloseKey(key);
    return name && _wcsicmp(WideFromUtf8(*name).c_str(), portName.c_str()) == 0;
}

}  // namespace

std::string SerialDeviceIdentityOf(const std::string& devicePath) {
    const std::size_t slash = devicePath.find_last_of("\\/");
    const std::wstring portName =
        WideFromUtf8(slash == std::string::npos ? devicePath : devicePath.substr(slash + 1));
    const DeviceSet set;
    if (portName.empty() || set.Get() == INVALID_HANDLE_VALUE) {
        return {};
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set.Get(), index, &device); ++index) {
        if (!HoldsPortName(set.Get(), device, portName)) {
            continue;
        }
        wchar_t instance[MAX_DEVICE_ID_LEN + 1] = {};
        if (!SetupDiGetDeviceInstanceIdW(set.Get(), &device, instance, MAX_DEVICE_ID_LEN + 1,
                                         nullptr)) {
            return {};
        }
        std::string identity = Utf8FromWide(instance);
        FILETIME arrival{};
        DEVPROPTYPE type = 0;
        if (SetupDiGetDevicePropertyW(set.Get(), &device, &kLastArrivalDate, &type,
                                      reinterpret_cast<BYTE*>(&arrival), sizeof arrival, nullptr,
                                      0) &&
            type == DEVPROP_TYPE_FILETIME) {
            identity += "@" + std::to_string(
                                  (static_cast<unsigned long long>(arrival.dwHighDateTime) << 32) |
                                  arrival.dwLowDateTime);
        }
        return identity;
    }
    return {};
}

}  // namespace termload
