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
    int id = kTextNoModel;
    switch (refusal) {
        case StartRefusal::NoModel:
            id = kTextNoModel;
            break;
        case StartRefusal::ModelNameTooLong:
            id = kTextModelNameTooLong;
            break;
        case StartRefusal::NoPort:
            id = kTextNoPort;
            break;
        case StartRefusal::KernelModeMultiPort:
            id = kTextKernelModeMultiPort;
            break;
        case StartRefusal::ConsoleNotSerial:
            id = kTextConsoleNotSerial;
            break;
        case StartRefusal::SameDevice:
            id = kTextSameDevice;
            break;
        case StartRefusal::NotSerialDevice:
            id = kTextNotSerialDevice;
            break;
        case StartRefusal::CcidNotConnected:
            id = kTextCcidNotConnected;
            break;
        case StartRefusal::UsbPipeRowMultiPort:
            id = kTextUsbPipeRowMultiPort;
            break;
    }
    return std::string(TextOf(langBase, id)).append(detail);
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
    return std::string(TextOf(langBase, kTextEmptySource)).append(sourcePath);
}

std::string NameNotGbkText(int langBase, std::string_view name) {
    return std::string(TextOf(langBase, kTextNameNotGbk)).append(name);
}

std::string WireNameTooLongText(int langBase, std::size_t limit, std::string_view wireName) {
    return std::string(TextOf(langBase, kTextWireNameLongerThan))
        .append(std::to_string(limit))
        .append(TextOf(langBase, kTextBytesColon))
        .append(wireName);
}

std::string EmptyDestinationText(int langBase) {
    return std::string(TextOf(langBase, kTextEmptyDestination));
}

std::string RowRefusalText(int langBase, int row, std::string_view sourceName,
                           std::string_view reason) {
    return std::string(TextOf(langBase, kTextRowRefused))
        .append(std::to_string(row + 1))
        .append(TextOf(langBase, kTextRowRefusedAfterNumber))
        .append(" (")
        .append(sourceName)
        .append("): ")
        .append(reason);
}

std::string SerialSettingsText(int langBase, std::string_view keys) {
    return std::string(TextOf(langBase, kTextSerialSettingsNoPortTakes)).append(keys);
}

}  // namespace termload
