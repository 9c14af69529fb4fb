#include "engine/download_texts.h"

#include "config/string_table.h"

namespace termload {

namespace {

std::string KiB(std::uint64_t bytes) {
    return std::to_string(bytes / 1024 + 1) + "K";
}

}  // namespace

std::string BlockProgressText(std::string_view prefix, int langBase, std::string_view fileName,
                              std::uint64_t sentBytes, std::uint64_t size) {
    std::string text(prefix);
    text.append(TextOf(langBase, kTextDownloading)).append("  ").append(fileName);
    return text.append("(").append(KiB(sentBytes)).append("/").append(KiB(size)).append(")");
}

std::string FileOkText(std::string_view prefix, std::string_view fileName) {
    return std::string("[").append(prefix).append("]").append(fileName).append("...OK");
}

std::string FrameFailureText(std::string_view prefix, int langBase, char code) {
    return std::string(prefix).append(TextOf(langBase, kTextFileReadError)).append(1, code);
}

std::string AddressFileStartText(std::string_view prefix, std::string_view shownName) {
    return std::string(prefix).append("正下载: ").append(shownName).append("...");
}

std::string AddressFileProgressText(std::string_view prefix, std::string_view shownName,
                                    std::uint64_t sentBytes, std::uint64_t length) {
    return std::string(prefix)
        .append("正下载: ")
        .append(shownName)
        .append("(")
        .append(KiB(sentBytes))
        .append("/")
        .append(KiB(length))
        .append(")");
}

std::string AddressFileOkText(std::string_view prefix, std::string_view shownName) {
    return std::string(prefix).append("下载: ").append(shownName).append("...OK");
}

std::string StartRefusalText(int langBase, StartRefusal refusal, std::string_view detail) {
    const bool english = langBase == kLangEnglish;
    std::string text;
    switch (refusal) {
        case StartRefusal::NoModel:
            text = english ? "No model is selected." : "未选择机型。";
            break;
        case StartRefusal::ModelNameTooLong:
            text = english ? "Model name longer than 29 bytes: " : "机型名称超过29字节: ";
            break;
        case StartRefusal::NoPort:
            text = english ? "No port is selected." : "未选择端口。";
            break;
        case StartRefusal::KernelMode:
            text = english ? "Kernel-mode models cannot be downloaded by this version: "
                           : "此版本不支持内核模式机型下载: ";
            break;
        case StartRefusal::BootLoaderRow:
            text = english ? "Kernel image, BIOS, kernel and root files cannot be downloaded by "
                             "this version: "
                           : "此版本不支持内核映像、BIOS、内核和根文件下载: ";
            break;
        case StartRefusal::UsbTransport:
            text = english ? "USB-HID and USB-CCID downloads are not available in this version."
                           : "此版本不支持USB-HID和USB-CCID下载。";
            break;
    }
    return text.append(detail);
}

}  // namespace termload
