#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace termload {

// String-table ids of the download's texts.
inline constexpr int kTextSourceFile = 62;  // "Source file: "
inline constexpr int kTextNotExist = 63;    // " not exist! "
inline constexpr int kTextDestinationOver50 = 64;
inline constexpr int kTextDestinationOver14 = 65;
inline constexpr int kTextPortOpenFailed = 105;  // "Port open failed!"
inline constexpr int kTextFileReadError = 106;   // " File read error"
inline constexpr int kTextFileOpenFailed = 108;
inline constexpr int kTextFileTooLarge = 109;
inline constexpr int kTextUndefinedError = 110;
inline constexpr int kTextDownloading = 116;  // "DownLoad.."

// The USB bulk pipe and the BIOS, kernel and root rows.
inline constexpr int kTextUsbOpenFailed = 66;     // "Open USB Equipment failed,..."
inline constexpr int kTextOpenFile = 67;          // "Open file：" + name + ...
inline constexpr int kTextFailed = 68;            // ... "Failed"
inline constexpr int kTextMemoryFailed = 69;      // "Memory distribute failed"
inline constexpr int kTextReadFileFailed = 70;    // "Read file Failed"
inline constexpr int kTextUsbDownloading = 71;    // "Downloading " + name + "(sK/sK)"
inline constexpr int kTextUsbConnectFailed = 72;  // "Connect USB equipment failed, ..."
inline constexpr int kTextUsbConnected = 73;      // "Connect USB equipment Success"
inline constexpr int kTextDownloadBios = 89;      // then 90 failed, 91 solidify failed, 92 OK
inline constexpr int kTextErasingKernel = 93;     // then 94 erase failed, 95 ... 98 as for BIOS
inline constexpr int kTextErasingRoot = 99;       // then 100 erase failed, 101 ... 104

// "Downloading " + name + "(sentK/sizeK)", both in whole KiB (no plus one).
std::string UsbProgressText(int langBase, std::string_view fileName, std::uint64_t sentBytes,
                            std::uint64_t size);

// prefix + "DownLoad.." + two blanks + name + "(sentK/sizeK)", both in whole KiB plus one.
std::string BlockProgressText(std::string_view prefix, int langBase, std::string_view fileName,
                              std::uint64_t sentBytes, std::uint64_t size);

// "[" + prefix + "]" + name + "...OK": the port shows in double brackets.
std::string FileOkText(std::string_view prefix, std::string_view fileName);

// prefix + " File read error" + the failure's code digit.
std::string FrameFailureText(std::string_view prefix, int langBase, char code);

// The address file's own texts, which the terminals' tool has always shown in Chinese.
std::string AddressFileStartText(std::string_view prefix, std::string_view shownName);
std::string AddressFileProgressText(std::string_view prefix, std::string_view shownName,
                                    std::uint64_t sentBytes, std::uint64_t length);
std::string AddressFileOkText(std::string_view prefix, std::string_view shownName);

// Why a download cannot start with the choices made; the texts name the cause.
enum class StartRefusal {
    NoModel,              // no model selected
    ModelNameTooLong,     // 30 bytes or more
    NoPort,               // no port or port count selected
    KernelModeMultiPort,  // kernel mode serves one port
    ConsoleNotSerial,     // kernel mode and boot-loader rows need the serial boot console
    SameDevice,           // two COM numbers of the run name one device
    NotSerialDevice,      // a port's device is no serial line (a file, /dev/null, a pty master)
    CcidNotConnected,     // USB-CCID without an open reader connection
    // A BIOS, kernel or root row on more than one port: their images share one USB device.
    UsbPipeRowMultiPort,
};
std::string StartRefusalText(int langBase, StartRefusal refusal, std::string_view detail = {});

// The warnings of a row (or of RootDir) that cannot reach the terminal as it stands.
std::string EmptySourceText(int langBase, std::string_view sourcePath);
std::string NameNotGbkText(int langBase, std::string_view name);
// `wireName` is RootDir and the destination, as the frame would carry them.
std::string WireNameTooLongText(int langBase, std::size_t limit, std::string_view wireName);
std::string EmptyDestinationText(int langBase);
// A checked row that refuses the start: its place in the list (from 0) and source file name, then
// why.
std::string RowRefusalText(int langBase, int row, std::string_view sourceName,
                           std::string_view reason);
// `keys` names the settings, as the configuration file's keys.
std::string SerialSettingsText(int langBase, std::string_view keys);

}  // namespace termload
