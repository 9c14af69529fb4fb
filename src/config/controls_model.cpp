#include "config/controls_model.h"

#include <array>
#include <charconv>

#include "config/string_table.h"

namespace termload {

namespace {

constexpr std::array<std::string_view, 15> kBaudRates = {
    "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",  "14400",
    "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<std::string_view, 5> kDataBits = {"8", "7", "6", "5", "4"};
constexpr std::array<std::string_view, 3> kStopBits = {"1", "1.5", "2"};
constexpr std::array<std::string_view, 3> kPortNums = {"9", "18", "27"};

constexpr int kFirstParityText = 130;
constexpr int kParityItemCount = 5;
constexpr int kFirstFlowCtrlText = 135;
constexpr int kFlowCtrlItemCount = 3;

std::vector<std::string_view> TextsOf(int langBase, int firstId, int count) {
    std::vector<std::string_view> texts;
    for (int id = firstId; id < firstId + count; ++id) {
        texts.push_back(TextOf(langBase, id));
    }
    return texts;
}

bool IsIndexOf(int index, std::size_t size) {
    return index >= 0 && static_cast<std::size_t>(index) < size;
}

int NumberOf(std::string_view text) {
    int number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

}  // namespace

std::span<const std::string_view> BaudRateItems() {
    return kBaudRates;
}

std::span<const std::string_view> DataBitItems() {
    return kDataBits;
}

std::span<const std::string_view> StopBitItems() {
    return kStopBits;
}

std::span<const std::string_view> PortNumItems() {
    return kPortNums;
}

std::vector<std::string> PortItems() {
    std::vector<std::string> items;
    for (int port = 1; port <= kPortCount; ++port) {
        items.push_back("COM" + std::to_string(port));
    }
    return items;
}

std::vector<std::string_view> ParityItems(int langBase) {
    return TextsOf(langBase, kFirstParityText, kParityItemCount);
}

std::vector<std::string_view> FlowCtrlItems(int langBase) {
    return TextsOf(langBase, kFirstFlowCtrlText, kFlowCtrlItemCount);
}

std::string ModelText(const ControlsModel& controls) {
    if (!IsIndexOf(controls.modelIndex, controls.modelItems.size())) {
        return {};
    }
    return controls.modelItems[static_cast<std::size_t>(controls.modelIndex)];
}

int SelectedPortNumber(const ControlsModel& controls) {
    return IsIndexOf(controls.portIndex, kPortCount) ? controls.portIndex + 1 : 0;
}

int SelectedPortCount(const ControlsModel& controls) {
    if (!IsIndexOf(controls.portNumIndex, kPortNums.size())) {
        return 0;
    }
    return NumberOf(kPortNums[static_cast<std::size_t>(controls.portNumIndex)]);
}

int SelectedBaudRate(const ControlsModel& controls) {
    if (!IsIndexOf(controls.baudRateIndex, kBaudRates.size())) {
        return 0;
    }
    return NumberOf(kBaudRates[static_cast<std::size_t>(controls.baudRateIndex)]);
}

int SelectedDataBits(const ControlsModel& controls) {
    if (!IsIndexOf(controls.dataBitIndex, kDataBits.size())) {
        return 0;
    }
    return NumberOf(kDataBits[static_cast<std::size_t>(controls.dataBitIndex)]);
}

}  // namespace termload
