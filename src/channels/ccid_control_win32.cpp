// Windows' numbering of reader control functions: SCARD_CTL_CODE(function), that is
// CTL_CODE(FILE_DEVICE_SMARTCARD, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
#include "channels/ccid_reader.h"

namespace termload {

uint32_t CcidControlCode(uint32_t function) {
    return 0x310000u | (function << 2);
}

}  // namespace termload
