// pcsc-lite's numbering of reader control functions (SCARD_CTL_CODE of its reader.h).
#include "channels/ccid_reader.h"

namespace termload {

uint32_t CcidControlCode(uint32_t function) {
    return 0x42000000u + function;
}

}  // namespace termload
