// The values of the main window's controls, without a window: combo items and indexes, the
// version text and the port mode, so that the window and the CLI share them.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace termload {

enum class PortMode { Single, Multi, UsbHid, UsbCcid };

inline constexpr int kPortCount = 27;  // cmbPort: COM1 ... COM27

struct ControlsModel {
    std::vector<std::string> modelItems;  // cmbMode, parallel to Settings::modeCodes
    int modelIndex = -1;                  // -1: no selection, as for every index below
    std::string hardVersion = "00";       // edVersion, two hexadecimal digits
    int portIndex = 0;                    // cmbPort, 0 = COM1
    int portNumIndex = 0;                 // cmbPortNum, 0 = 9, 1 = 18, 2 = 27 ports
    int baudRateIndex = 12;               // cmbBuardRate, 12 = 115200
    int dataBitIndex = 0;                 // cmbDataBit, 0 = 8
    int stopBitIndex = 0;                 // cmbStopBit, 0 = 1
    int parityIndex = 0;                  // cmbParityBit, 0 = none
    int flowCtrlIndex = 0;                // cmbFlowCtrl, 0 = none
    PortMode portMode = PortMode::Single;

    bool operator==(const ControlsModel&) const = default;
};

std::span<const std::string_view> BaudRateItems();          // "110" ... "256000"
std::span<const std::string_view> DataBitItems();           // "8", "7", "6", "5", "4"
std::span<const std::string_view> StopBitItems();           // "1", "1.5", "2"
std::span<const std::string_view> PortNumItems();           // "9", "18", "27"
std::vector<std::string> PortItems();                       // "COM1" ... "COM27"
std::vector<std::string_view> ParityItems(int langBase);    // strings 130-134
std::vector<std::string_view> FlowCtrlItems(int langBase);  // strings 135-137

// The selected model's text; empty without a selection.
std::string ModelText(const ControlsModel& controls);
// COM number of cmbPort (index + 1); 0 without a selection.
int SelectedPortNumber(const ControlsModel& controls);
// Ports of a multi-port download (9, 18 or 27); 0 without a selection.
int SelectedPortCount(const ControlsModel& controls);
// Bits per second of cmbBuardRate; 0 without a selection.
int SelectedBaudRate(const ControlsModel& controls);
// Data bits of cmbDataBit (8 down to 4); 0 without a selection.
int SelectedDataBits(const ControlsModel& controls);

}  // namespace termload
