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
        case StartRefusal::KernelModeMultiPort:
            text = english ? "Kernel-mode models download on a single port only: "
                           : "内核模式机型只能单端口下载: ";
            break;
        case StartRefusal::ConsoleNotSerial:
            text = english ? "Kernel mode and kernel, BIOS and root files need the boot loader's "
                             "console on a serial port: "
                           : "内核模式和内核、BIOS及根文件需要串口上的BIOS控制台: ";
            break;
        case StartRefusal::DroppedRows:
            text = english
                       ? "Rows of the file list were not loaded (over 32 rows, or a source path "
                         "of 255 bytes or more): "
                       : "文件列表中有未载入的行(超过32行或源文件路径达255字节): ";
            break;
        case StartRefusal::SameDevice:
            text = english ? "Two ports name the same device: " : "两个端口指向同一设备: ";
            break;
        case StartRefusal::CcidNotConnected:
            text = english ? "No USB-CCID device is connected: open the device first."
                           : "未连接USB-CCID设备，请先打开设备。";
            break;
        case StartRefusal::UsbPipeRowMultiPort:
            text = english ? "BIOS, kernel and root files go through the one USB download "
                             "device: they are downloaded on a single port only: "
                           : "BIOS、内核和根文件经唯一的USB下载设备传送，只能单端口下载: ";
            break;
    }
    return text.append(detail);
}

std::string UsbProgressText(int langBase, std::string_view fileName, std::uint64_t sentBytes,
                            std::uint64_t size) {
    return std::string(TextOf(langBase, kTextUsbDownloading))
        .append(fileName)
        .append("(")
        .append(std::to_string(sentBytes / 1024))
        .append("K/")
        .append(std::to_string(size / 1024))
        .append("K)");
}

std::string EmptySourceText(int langBase, std::string_view sourcePath) {
    return std::string(langBase == kLangEnglish ? "Source file is empty: " : "源文件为空: ")
        .append(sourcePath);
}

std::string NameNotGbkText(int langBase, std::string_view name) {
    return std::string(langBase == kLangEnglish ? "Name has characters GBK cannot carry: "
                                                : "名称含有GBK无法表示的字符: ")
        .append(name);
}

std::string WireNameTooLongText(int langBase, std::size_t limit, std::string_view wireName) {
    const std::string bytes = std::to_string(limit);
    return (langBase == kLangEnglish
                ? "Destination name with RootDir longer than " + bytes + " bytes: "
                : "加上RootDir后目标文件名超过" + bytes + "字节: ")
        .append(wireName);
}

}  // namespace termload
