#include "channels/ccid_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace termload {

namespace {

// PC/SC codes the channel reacts to (the same numbers in pcsc-lite and winscard).
constexpr long kNoService = static_cast<long>(0x8010001D);       // SCARD_E_NO_SERVICE
constexpr long kServiceStopped = static_cast<long>(0x8010001E);  // SCARD_E_SERVICE_STOPPED
constexpr long kInvalidHandle = static_cast<long>(0x80100003);   // SCARD_E_INVALID_HANDLE

constexpr size_t kFeatureReplySize = 256;

bool ServiceGone(long result) {
    return result == kNoService || result == kServiceStopped || result == kInvalidHandle;
}

}  // namespace

uint32_t EscapeCodeFromFeatures(std::span<const uint8_t> features) {
    size_t at = 0;
    while (at + 2 <= features.size()) {
        const uint8_t tag = features[at];
        const size_t length = features[at + 1];
        if (at + 2 + length > features.size()) {
            return 0;  // an entry runs past the reply: trust none of it
        }
        if (tag == kFeatureCcidEscCommand && length == 4) {
            const uint8_t* value = &features[at + 2];
            return uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 | uint32_t{value[2]} << 8 |
                   uint32_t{value[3]};
        }
        at += 2 + length;
    }
    return 0;
}

CcidReader::CcidReader(std::unique_ptr<PcscApi> api) : api_(std::move(api)) {}

CcidReader::~CcidReader() {
    Close();
}

bool CcidReader::EnsureContextLocked() {
    if (!hasContext_) {
        uintptr_t context = 0;
        if (api_->EstablishContext(context) != 0) {
            return false;
        }
        context_ = context;
        hasContext_ = true;
    }
    return true;
}

std::vector<std::string> CcidReader::ListReaders() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> readers;
    std::vector<char> names;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!EnsureContextLocked()) {
            return readers;
        }
        const long result = api_->ListReaders(context_, names);
        if (result == 0) {
            break;
        }
        names.clear();
        if (!ServiceGone(result)) {
            return readers;  // no readers, or an error the list cannot get past
        }
        // The resource manager was restarted: its old context is worthless, make a new one.
        api_->ReleaseContext(context_);
        hasContext_ = false;
    }
    // Each name ends in NUL; an empty name (or the end of the buffer) ends the list.
    size_t at = 0;
    while (at < names.size()) {
        const auto end = std::find(names.begin() + static_cast<long>(at), names.end(), '\0');
        const size_t length = static_cast<size_t>(end - names.begin()) - at;
        if (length == 0) {
            break;
        }
        readers.emplace_back(names.data() + at, length);
        at += length + 1;
    }
    return readers;
}

bool CcidReader::Connect(const std::string& reader) {
    std::lock_guard lock(mutex_);
    return ConnectLocked(reader);
}

bool CcidReader::ConnectLocked(const std::string& reader) {
    DisconnectLocked();
    if (reader.empty() || !EnsureContextLocked()) {
        return false;
    }
    uintptr_t card = 0;
    long result = api_->ConnectDirect(context_, reader, card);
    if (ServiceGone(result)) {
        api_->ReleaseContext(context_);
        hasContext_ = false;
        if (!EnsureContextLocked()) {
            return false;
        }
        result = api_->ConnectDirect(context_, reader, card);
    }
    if (result != 0) {
        return false;
    }
    card_ = card;
    hasCard_ = true;
    // A reader driver that takes escapes names their code in its feature list (libccid does, with
    // its own number); the Windows in-box driver lists none and takes function 3500.
    std::array<uint8_t, kFeatureReplySize> features{};
    size_t returned = 0;
    uint32_t code = 0;
    if (api_->Control(card_, CcidControlCode(kCcidFeatureFunction), {}, features, returned) == 0 &&
        returned <= features.size()) {
        code = EscapeCodeFromFeatures(std::span<const uint8_t>(features.data(), returned));
    }
    escapeCode_ = code != 0 ? code : CcidControlCode(kCcidEscapeFunction);
    return true;
}

void CcidReader::DisconnectLocked() {
    if (hasCard_) {
        api_->Disconnect(card_);
        hasCard_ = false;
        card_ = 0;
        escapeCode_ = 0;
    }
}

void CcidReader::Close() {
    std::lock_guard lock(mutex_);
    DisconnectLocked();
    if (hasContext_) {
        api_->ReleaseContext(context_);
        hasContext_ = false;
        context_ = 0;
    }
}

bool CcidReader::connected() const {
    std::lock_guard lock(mutex_);
    return hasCard_;
}

uint32_t CcidReader::escapeCode() const {
    std::lock_guard lock(mutex_);
    return escapeCode_;
}

int CcidReader::Exchange(std::span<const uint8_t> request, std::span<uint8_t> reply) {
    std::lock_guard lock(mutex_);
    return ExchangeLocked(request, reply);
}

int CcidReader::ExchangeUnlessStopped(const std::function<bool()>& stopped,
                                      std::span<const uint8_t> request, std::span<uint8_t> reply) {
    std::lock_guard lock(mutex_);
    if (stopped()) {
        return kCcidStopped;
    }
    return ExchangeLocked(request, reply);
}

int CcidReader::ExchangeLocked(std::span<const uint8_t> request, std::span<uint8_t> reply) {
    if (!hasCard_ || request.empty() || request.size() > kCcidMaxRequest || reply.empty() ||
        reply.size() > kCcidMaxReply) {
        return -1;
    }
    size_t returned = 0;
    if (api_->Control(card_, escapeCode_, request, reply, returned) != 0 ||
        returned > reply.size()) {
        return -1;
    }
    return static_cast<int>(returned);
}

int CcidReader::Probe() {
    std::lock_guard lock(mutex_);
    return ProbeLocked();
}

int CcidReader::ProbeLocked() {
    std::array<uint8_t, kCcidReplySize> reply{};
    const int n = ExchangeLocked(kCcidProbe, reply);
    if (n < 1) {
        return -1;
    }
    return reply[0] == 0x00 ? 1 : 0;
}

bool CcidReader::RequestReboot() {
    std::array<uint8_t, kCcidReplySize> reply{};
    return Exchange(kCcidReboot, reply) >= 0;
}

bool CcidReader::SendData(std::span<const uint8_t> piece) {
    if (piece.empty() || piece.size() > kCcidPieceSize) {
        return false;
    }
    std::array<uint8_t, kCcidMaxRequest> request{};
    std::copy(std::begin(kCcidDataHeader), std::end(kCcidDataHeader), request.begin());
    request[4] = static_cast<uint8_t>(piece.size());
    std::copy(piece.begin(), piece.end(), request.begin() + 5);
    std::array<uint8_t, kCcidReplySize> reply{};
    const int n = Exchange(std::span<const uint8_t>(request.data(), 5 + piece.size()), reply);
    return n >= 1 && reply[0] == kCcidAccepted;
}

int CcidReader::SendPieces(std::span<const uint8_t> bytes,
                           const std::function<bool()>& afterPiece) {
    for (size_t at = 0; at < bytes.size(); at += kCcidPieceSize) {
        if (!SendData(bytes.subspan(at, std::min(kCcidPieceSize, bytes.size() - at)))) {
            return -1;
        }
        if (afterPiece && !afterPiece()) {
            return at + kCcidPieceSize >= bytes.size() ? 1 : 0;
        }
    }
    return 1;
}

int CcidReader::PollPass(const std::function<bool()>& stopped) {
    std::array<uint8_t, kCcidReplySize> reply{};
    const int n = ExchangeUnlessStopped(stopped, kCcidPassPoll, reply);
    if (n == kCcidStopped) {
        return kCcidStopped;
    }
    if (n < 2 || reply[1] != kCcidAccepted) {
        return -1;
    }
    return reply[0] == 0 ? 1 : 0;
}

bool CcidReader::PassResult(const std::function<bool()>& stopped) {
    std::array<uint8_t, kCcidReplySize> reply{};
    return ExchangeUnlessStopped(stopped, kCcidPassResult, reply) >= 1 && reply[0] == kCcidAccepted;
}

bool CcidReader::SendStop() {
    std::array<uint8_t, kCcidReplySize> reply{};
    return Exchange(kCcidStop, reply) >= 0;
}

int CcidReader::OpenAndProbe(const std::string& reader, int attempts,
                             const std::function<bool()>& pause) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        {
            std::lock_guard lock(mutex_);
            // A terminal that restarted comes back as a new reader connection.
            if (!ConnectLocked(reader)) {
                return -1;
            }
            if (ProbeLocked() == 1) {
                return 1;
            }
            std::array<uint8_t, kCcidReplySize> reply{};
            ExchangeLocked(kCcidReboot, reply);
        }
        if (pause && !pause()) {
            break;
        }
    }
    std::lock_guard lock(mutex_);
    DisconnectLocked();
    return 0;
}

}  // namespace termload
