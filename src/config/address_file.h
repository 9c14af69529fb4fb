// The address file "file.adr" that tells an M868 terminal where each downloaded file goes, and
// the built-in tables behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/user_addr_file.h"

namespace termload {

inline constexpr std::string_view kAddressFileName = "file.adr";
// The text, as sent, never passes this many bytes; entries that would not fit are left out.
inline constexpr std::size_t kAddressTextMax = 4095;

struct MemoryMapRow {
    std::string_view name;
    std::string_view startAddr;
    std::string_view endAddr;
};

struct FileTypeRow {
    std::string_view type;  // one digit
    std::string_view name;
    std::string_view application;  // "1" for applications; "0" or empty otherwise
};

std::span<const MemoryMapRow> ModelMemoryMap();
std::span<const FileTypeRow> FileTypeTable();

// The type digit of the first FileTypeTable row with exactly this name; -1 when there is none.
std::int32_t FileTypeOf(std::string_view name);

// The names the address file lists: the given destination names (of the checked rows, in row
// order) without "qtv.pk", "boot.bin" and "core.bin".
std::vector<std::string> AddressFileNames(std::span<const std::string> destinations);

// The address text as sent to the terminal (GBK bytes, lines ending in CR CR LF). With
// `isUseLogalAddr` 1 the addresses come from the user table only, else from ModelMemoryMap().
// When `traceCopyDir` is not empty the text is also written to file.adr there; a failure to
// write it is ignored.
std::string BuildAddressText(std::span<const std::string> names, int isUseLogalAddr,
                             const UserAddressTable& userTable,
                             const std::filesystem::path& traceCopyDir = {});

}  // namespace termload
