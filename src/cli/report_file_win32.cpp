#include <windows.h>

#include <stdexcept>

#include "cli/report_file.h"
#include "config/paths.h"

namespace termload::cli {

namespace {

std::string SystemMessage(DWORD error) {
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text != nullptr ? text : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return message;
}

}  // namespace

ReportFile::ReportFile(const std::filesystem::path& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot write the report " + PathToUtf8(path) + ": " +
                                 SystemMessage(GetLastError()));
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        throw std::runtime_error("cannot write the report " + PathToUtf8(path) +
                                 ": it is no regular file");
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

ReportFile::~ReportFile() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::string ReportFile::AppendWhole(std::string_view line) {
    const HANDLE file = reinterpret_cast<HANDLE>(handle_);
    // Writing at the end rather than in append mode: a cut line is taken back by moving the end.
    LARGE_INTEGER before{};
    const bool sized = SetFilePointerEx(file, LARGE_INTEGER{}, &before, FILE_END) != 0;
    DWORD written = 0;
    if (WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
        written == line.size()) {
        return {};
    }
    const std::string reason = SystemMessage(GetLastError());
    if (written > 0 && sized) {
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile = before;
        SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
    }
    return reason;
}

}  // namespace termload::cli
