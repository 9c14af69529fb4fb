// User address files of any content: records stay within their fields, and the address text
// built from them never passes its buffer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config/address_file.h"
#include "config/user_addr_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace termload;
    UserAddressTable table;
    ParseUserAddrText(std::string_view(reinterpret_cast<const char*>(data), size), table);
    std::vector<std::string> names = {"telpay.bin", "phone.bin"};
    for (const UserAddressRecord& record : table) {
        if (record.name.empty() || record.startAddr.empty() || record.endAddr.empty() ||
            record.name.size() > 2 * kUserAddrNameMax ||
            record.startAddr.size() > 2 * kUserAddrAddressMax ||
            record.endAddr.size() > 2 * kUserAddrAddressMax) {
            std::abort();
        }
        names.push_back(record.name);
    }
    for (const int isUseLogalAddr : {0, 1}) {
        if (BuildAddressText(names, isUseLogalAddr, table).size() > kAddressTextMax) {
            std::abort();
        }
    }
    return 0;
}
