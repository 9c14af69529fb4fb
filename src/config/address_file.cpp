#include "config/address_file.h"

#include <algorithm>
#include <fstream>

#include "config/text_encoding.h"

namespace termload {

namespace {

constexpr std::string_view kLineEnd = "\r\r\n";

// Where the M868's files go. The letter case of the digits is part of each text.
constexpr MemoryMapRow kModelMemoryMap[] = {
    {"phone.bin", "0x20080000", "0x20080000"},        {"sdk.bin", "0x20010000", "0x20010000"},
    {"t9py.bin", "0x10380000", "0x10380000"},         {"file.bin", "0x101a0000", "0x101a0000"},
    {"asc24x24.bin", "0x10196000", "0x10196000"},     {"asc12x12.bin", "0x10192000", "0x10192000"},
    {"boot_congfig.bin", "0x10190000", "0x10190000"}, {"ringsg.bin", "0x10140000", "0x10140000"},
    {"l20x20.bin", "0x1013b000", "0x1013b000"},       {"prnziku.bin", "0x100aa000", "0x100aa000"},
    {"dispziku.bin", "0x10002000", "0x10002000"},     {"logo1.bmp", "0x10001000", "0x10001000"},
    {"logo0.bmp", "0x10000000", "0x10000000"},        {"M31App.bin", "0x00080000", "0x00080000"},
    {"telpay.bin", "0x0003b000", "0x0003b000"},       {"bios_core.bin", "0x00000000", "0x00000000"},
    {"spiflash_src.ini", "0x103D0000", "0x103D0000"}, {"template.bin", "0x10392000", "0x10392000"},
    {"paramcfg.ini", "0x10390000", "0x10390000"},
};

constexpr FileTypeRow kFileTypeTable[] = {
    {"0", "boot.bin", "0"},     {"1", "core.bin", "0"},         {"2", "telpay.bin", "1"},
    {"4", "t9py.bin", "0"},     {"4", "ringsg.bin", "0"},       {"4", "prnziku.bin", "0"},
    {"4", "dispziku.bin", "0"}, {"4", "logo1.bmp", "0"},        {"4", "logo0.bmp", "0"},
    {"7", "file.bin", "0"},     {"7", "sdk.bin", ""},           {"7", "asc24x24.bin", "0"},
    {"7", "asc12x12.bin", ""},  {"7", "boot_congfig.bin", "0"}, {"7", "l20x20.bin", "0"},
    {"7", "M31App.bin", ""},    {"7", "bios_core.bin", "0"},    {"4", "qtv.pk", "0"},
    {"7", "phone.bin", "0"},    {"4", "spiflash_src.ini", "0"}, {"4", "template.bin", "0"},
    {"4", "paramcfg.ini", "0"},
};

// Files the terminal places itself; the address file leaves them out.
constexpr std::string_view kSelfPlacedFiles[] = {"qtv.pk", "boot.bin", "core.bin"};

const FileTypeRow* FindFileType(std::string_view name) {
    const auto found = std::find_if(std::begin(kFileTypeTable), std::end(kFileTypeTable),
                                    [&](const FileTypeRow& row) { return row.name == name; });
    return found == std::end(kFileTypeTable) ? nullptr : found;
}

// Start and end address texts of a name; empty when its table has no such name.
std::pair<std::string, std::string> AddressesOf(std::string_view name, int isUseLogalAddr,
                                                const UserAddressTable& userTable) {
    if (isUseLogalAddr == 1) {
        for (const UserAddressRecord& record : userTable) {
            if (record.name == name) {
                return {record.startAddr, record.endAddr};
            }
        }
        return {};
    }
    for (const MemoryMapRow& row : kModelMemoryMap) {
        if (row.name == name) {
            return {std::string(row.startAddr), std::string(row.endAddr)};
        }
    }
    return {};
}

std::string EntryOf(const std::string& name, int isUseLogalAddr,
                    const UserAddressTable& userTable) {
    const auto [start, end] = AddressesOf(name, isUseLogalAddr, userTable);
    std::string entry = "[ADDR]";
    entry.append(kLineEnd).append("Name=").append(name).append(kLineEnd);
    entry.append("StartAddr=").append(start).append(kLineEnd);
    entry.append("EndAddr=").append(end).append(kLineEnd);
    const FileTypeRow* type = FindFileType(name);
    if (type != nullptr && type->application == "1") {
        const std::size_t dot = name.find('.');
        entry.append("App=")
            .append(dot == std::string::npos ? std::string_view{}
                                             : std::string_view(name).substr(0, dot))
            .append(kLineEnd);
    }
    return Utf8ToGbk(entry);
}

}  // namespace

std::span<const MemoryMapRow> ModelMemoryMap() {
    return kModelMemoryMap;
}

std::span<const FileTypeRow> FileTypeTable() {
    return kFileTypeTable;
}

std::int32_t FileTypeOf(std::string_view name) {
    const FileTypeRow* row = FindFileType(name);
    return row == nullptr ? -1 : row->type.front() - '0';
}

std::vector<std::string> AddressFileNames(std::span<const std::string> destinations) {
    std::vector<std::string> names;
    for (const std::string& name : destinations) {
        if (std::find(std::begin(kSelfPlacedFiles), std::end(kSelfPlacedFiles), name) ==
            std::end(kSelfPlacedFiles)) {
            names.push_back(name);
        }
    }
    return names;
}

std::string BuildAddressText(std::span<const std::string> names, int isUseLogalAddr,
                             const UserAddressTable& userTable,
                             const std::filesystem::path& traceCopyDir) {
    std::string text;
    for (const std::string& name : names) {
        const std::string entry = EntryOf(name, isUseLogalAddr, userTable);
        // The text goes out as one file of at most 4095 bytes: the list is cut before the first
        // entry that would pass that, never inside one.
        if (text.size() + entry.size() > kAddressTextMax) {
            break;
        }
        text += entry;
    }
    if (!traceCopyDir.empty()) {
        std::ofstream copy(traceCopyDir / kAddressFileName, std::ios::binary | std::ios::trunc);
        copy.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    return text;
}

}  // namespace termload
