// The system's PC/SC library behind PcscApi: pcsc-lite here, winscard on Windows (same calls).
#include <winscard.h>

#include "channels/ccid_reader.h"

namespace termload {

namespace {

// The narrow-text calls: pcsc-lite has only those, and Windows' headers name them so as long
// as UNICODE is not defined (with it, the wide calls do not compile here).
constexpr auto ListReadersNarrow = SCardListReaders;
constexpr auto ConnectNarrow = SCardConnect;

constexpr DWORD kMaxNamesSize = 64 * 1024;  // bound on the reader list a service may report

class SystemPcsc final : public PcscApi {
  public:
    long EstablishContext(uintptr_t& context) override {
        SCARDCONTEXT handle = 0;
        const LONG result = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &handle);
        context = static_cast<uintptr_t>(handle);
        return result;
    }
    long ReleaseContext(uintptr_t context) override {
        return SCardReleaseContext(static_cast<SCARDCONTEXT>(context));
    }
    long ListReaders(uintptr_t context, std::vector<char>& names) override {
        DWORD size = 0;
        LONG result =
            ListReadersNarrow(static_cast<SCARDCONTEXT>(context), nullptr, nullptr, &size);
        if (result != SCARD_S_SUCCESS) {
            return result;
        }
        if (size > kMaxNamesSize) {
            size = kMaxNamesSize;
        }
        names.assign(size + 1, '\0');  // one more NUL: the list ends even if the reply does not
        result =
            ListReadersNarrow(static_cast<SCARDCONTEXT>(context), nullptr, names.data(), &size);
        if (result != SCARD_S_SUCCESS) {
            names.clear();
        }
        return result;
    }
    long ConnectDirect(uintptr_t context, const std::string& reader, uintptr_t& card) override {
        SCARDHANDLE handle = 0;
        DWORD protocol = 0;
        const LONG result = ConnectNarrow(static_cast<SCARDCONTEXT>(context), reader.c_str(),
                                          SCARD_SHARE_DIRECT, 0, &handle, &protocol);
        card = static_cast<uintptr_t>(handle);
        return result;
    }
    long Disconnect(uintptr_t card) override {
        return SCardDisconnect(static_cast<SCARDHANDLE>(card), SCARD_LEAVE_CARD);
    }
    long Control(uintptr_t card, uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                 size_t& returned) override {
        DWORD got = 0;
        const LONG result = SCardControl(static_cast<SCARDHANDLE>(card), code, in.data(),
                                         static_cast<DWORD>(in.size()), out.data(),
                                         static_cast<DWORD>(out.size()), &got);
        returned = result == SCARD_S_SUCCESS ? static_cast<size_t>(got) : 0;
        return result;
    }
};

}  // namespace

std::unique_ptr<PcscApi> MakeSystemPcsc() {
    return std::make_unique<SystemPcsc>();
}

}  // namespace termload
