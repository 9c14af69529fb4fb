// The user address file "UserAddrFile.ini": named address ranges that replace the built-in
// memory map for terminals of the model M868.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace termload {

inline constexpr std::string_view kUserAddrFileName = "UserAddrFile.ini";
// Longest texts a record holds, in bytes; longer values are cut.
inline constexpr std::size_t kUserAddrNameMax = 19;
inline constexpr std::size_t kUserAddrAddressMax = 14;

struct UserAddressRecord {
    std::string name;
    std::string startAddr;
    std::string endAddr;
};

using UserAddressTable = std::vector<UserAddressRecord>;

// Empties the table and fills it from the file, read in groups of four lines (a heading line,
// then name, start and end, each taken after its first "="). Returns true when the file exists
// and could be read; a group with an empty value is left out.
bool ReadUserAddrFile(const std::filesystem::path& path, UserAddressTable& table);

// The same from the file's bytes (UTF-8, or GBK when they are no valid UTF-8).
void ParseUserAddrText(std::string_view bytes, UserAddressTable& table);

}  // namespace termload
