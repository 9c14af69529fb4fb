#pragma once
// The CCID reader channel: a terminal that shows itself as a USB smart-card reader, reached
// through PC/SC without a card. The tool connects to the reader in direct share mode and talks
// to the terminal with reader escape requests (SCardControl). One CcidReader is owned by the
// host (window or CLI) and handed to a run; every call is safe from any thread, and calls are
// serialised piece by piece: the window's stop request goes out between two pieces of a frame,
// and a Close waits for at most the one exchange in flight.
//
// Results follow the channel convention: 1 done, 0 a valid "no" from the terminal, -1 failure.
// Nothing throws across this header. Replies come from outside: their lengths are checked before
// any byte of them is read.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace termload {

// The control code of PC/SC control function `function` on this platform: pcsc-lite numbers
// them 0x42000000 + function, Windows as CTL_CODE(FILE_DEVICE_SMARTCARD, function, buffered,
// any access). The platform's numbering lives in its backend, ccid_control_*.cpp.
uint32_t CcidControlCode(uint32_t function);

inline constexpr uint32_t kCcidFeatureFunction = 3400;  // the feature list request
inline constexpr uint32_t kCcidEscapeFunction = 3500;   // escape where no feature names one
inline constexpr uint8_t kFeatureCcidEscCommand = 0x13;

inline constexpr size_t kCcidPieceSize = 255;   // data bytes of one data request at most
inline constexpr size_t kCcidReplySize = 10;    // reply buffer of every request but the version
inline constexpr size_t kCcidMaxReply = 4174;   // the version read's reply buffer
inline constexpr size_t kCcidMaxRequest = 260;  // 5 header bytes and 255 data bytes

// The escape requests, byte for byte.
inline constexpr uint8_t kCcidProbe[] = {0xFF, 0x60, 0x00, 0x00, 0x00, 0x00};
inline constexpr uint8_t kCcidReboot[] = {0xFF, 0x66, 0x00, 0x11, 0x06, 'R',
                                          'E',  'B',  'O',  'O',  'T'};
// What an end-of-pass request returns when the caller had stopped and nothing was sent.
inline constexpr int kCcidStopped = -2;
inline constexpr uint8_t kCcidPassPoll[] = {0xFF, 0x63, 0x00, 0x00, 0x00};
inline constexpr uint8_t kCcidStop[] = {0xFF, 0x64, 0x00, 0x00, 0x00};
inline constexpr uint8_t kCcidPassResult[] = {0xFF, 0x65, 0x00, 0x00, 0x00};
inline constexpr uint8_t kCcidDataHeader[] = {0xFF, 0x62, 0x00, 0x00};
inline constexpr uint8_t kCcidAccepted = 0x90;

// The PC/SC calls the channel makes, so tests can stand in for the resource manager. Results are
// PC/SC codes (0 is success). Handles are opaque numbers.
class PcscApi {
  public:
    virtual ~PcscApi() = default;
    virtual long EstablishContext(uintptr_t& context) = 0;
    virtual long ReleaseContext(uintptr_t context) = 0;
    // Fills `names` with the multi-string of reader names (each ends in NUL, an empty name last).
    virtual long ListReaders(uintptr_t context, std::vector<char>& names) = 0;
    // Direct share mode, no preferred protocol: no card is needed.
    virtual long ConnectDirect(uintptr_t context, const std::string& reader, uintptr_t& card) = 0;
    virtual long Disconnect(uintptr_t card) = 0;
    virtual long Control(uintptr_t card, uint32_t code, std::span<const uint8_t> in,
                         std::span<uint8_t> out, size_t& returned) = 0;
};

// The system's PC/SC library (pcsc-lite, or winscard on Windows).
std::unique_ptr<PcscApi> MakeSystemPcsc();

// The escape code named by a feature list (tag, length, big-endian value entries); 0 when the
// list names none or is malformed.
uint32_t EscapeCodeFromFeatures(std::span<const uint8_t> features);

class CcidReader {
  public:
    explicit CcidReader(std::unique_ptr<PcscApi> api = MakeSystemPcsc());
    ~CcidReader();  // disconnects and releases the context
    CcidReader(const CcidReader&) = delete;
    CcidReader& operator=(const CcidReader&) = delete;

    // The readers the resource manager knows, in its order; empty when there are none or PC/SC
    // is not available. One context is kept and made again when the service went away.
    std::vector<std::string> ListReaders();

    // Connects to `reader` (a connection held before is ended first) and finds the escape code:
    // the one the reader's feature list names, else the platform's function 3500.
    // True when connected.
    bool Connect(const std::string& reader);
    // Ends the connection and the context (CloseCCID). Safe to call when closed.
    void Close();
    bool connected() const;
    uint32_t escapeCode() const;  // 0 when not connected

    // One escape exchange: `request` (1 to kCcidMaxRequest bytes, or the version request) out,
    // up to reply.size() (at most kCcidMaxReply) bytes back. Returns the bytes returned, or -1
    // when not connected, the sizes are out of bounds or the call failed.
    int Exchange(std::span<const uint8_t> request, std::span<uint8_t> reply);

    // Readiness probe: 1 ready (reply byte 0 is 0x00), 0 not ready, -1 the call failed or
    // returned nothing (a failed probe is never taken for a ready terminal).
    int Probe();
    // Asks the terminal to restart; true when the call went through.
    bool RequestReboot();
    // One data request of 1 to 255 bytes: true when the call succeeded and reply byte 0 is 0x90.
    bool SendData(std::span<const uint8_t> piece);
    // `bytes` as data requests of 255 bytes and a shorter last one (a 4173-byte frame: 16 of 255
    // and one of 93). After each accepted piece `afterPiece` runs (the pacing delay, the stop
    // check); when it returns false no further piece goes. 1 all accepted, 0 stopped, -1 a piece
    // was refused (the rest are not sent).
    int SendPieces(std::span<const uint8_t> bytes, const std::function<bool()>& afterPiece);
    // The end-of-pass requests go only while `stopped` returns false. It is asked under the
    // connection's lock, which the stop request takes too: a caller that raises its stop before
    // SendStop never has a poll or a result request follow the stop.
    //
    // End-of-pass poll: 1 writing finished (byte 1 is 0x90, byte 0 is 0), 0 still writing
    // (byte 1 is 0x90, byte 0 is not 0), -1 the call failed or byte 1 is not 0x90,
    // kCcidStopped nothing was sent.
    int PollPass(const std::function<bool()>& stopped);
    // End-of-pass result: true when the call succeeded and reply byte 0 is 0x90 (false when
    // stopped: nothing was sent).
    bool PassResult(const std::function<bool()>& stopped);
    // The operator's stop; true when the call went through.
    bool SendStop();

    // Probe, and on a terminal that is not ready the reboot request and `pause` (3000 ms is the
    // terminal's restart time), reconnecting for each of `attempts` tries. 1 ready, 0 no ready
    // reply in any attempt, -1 the connect failed. The connection stays open only when ready.
    // `pause` returns false to give up early.
    int OpenAndProbe(const std::string& reader, int attempts, const std::function<bool()>& pause);

  private:
    bool EnsureContextLocked();
    void DisconnectLocked();
    int ExchangeLocked(std::span<const uint8_t> request, std::span<uint8_t> reply);
    // Exchange, or kCcidStopped without a call when `stopped` returns true.
    int ExchangeUnlessStopped(const std::function<bool()>& stopped,
                              std::span<const uint8_t> request, std::span<uint8_t> reply);
    bool ConnectLocked(const std::string& reader);
    int ProbeLocked();

    std::unique_ptr<PcscApi> api_;
    mutable std::mutex mutex_;
    bool hasContext_ = false;
    uintptr_t context_ = 0;
    bool hasCard_ = false;
    uintptr_t card_ = 0;
    uint32_t escapeCode_ = 0;
};

}  // namespace termload
