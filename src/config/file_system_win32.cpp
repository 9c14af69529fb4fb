#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "config/file_system.h"

namespace termload {

namespace {

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    bool Close() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != 0;
    }

  private:
    HANDLE handle_;
};

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// A name beside the target that no other writer picks: process id and a counter.
std::filesystem::path TemporaryNameFor(const std::filesystem::path& target) {
    static std::atomic<unsigned> counter{0};
    const std::wstring suffix = L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                                std::to_wstring(counter.fetch_add(1)) + L".tmp";
    return target.parent_path() / (L"." + target.filename().native() + suffix);
}

}  // namespace

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
    std::wstring wideMode;
    for (const char* c = mode; *c != '\0'; ++c) {
        wideMode += static_cast<wchar_t>(*c);
    }
    wideMode += L'N';  // not inherited
    return _wfopen(path.c_str(), wideMode.c_str());
}

char NativeSeparator() {
    return '\\';
}

// Directory ACLs decide this, which no attribute tells: create a file that goes away when closed.
bool IsWritableDirectory(const std::filesystem::path& dir) {
    std::error_code error;
    if (!std::filesystem::is_directory(dir, error)) {
        return false;
    }
    const std::filesystem::path probe = TemporaryNameFor(dir / L"termload-probe");
    FileHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.Valid();
}

bool IsReadOnlyFile(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return true;
    }
    // An ACL may still refuse us; a file another program has open is not read-only for that.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file.Valid() && GetLastError() == ERROR_ACCESS_DENIED;
}

bool ReplaceFileWith(const std::filesystem::path& target, std::string_view bytes) {
    const std::filesystem::path temp = TemporaryNameFor(target);
    // The new file takes the old one's attributes (hidden, archive, ...).
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        attributes = FILE_ATTRIBUTE_NORMAL;
    }
    attributes &= FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FileHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes, nullptr));
    if (!file.Valid()) {
        return false;
    }
    const bool written = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get()) != 0;
    if (!file.Close() || !written ||
        !MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

bool OverwriteFileWith(const std::filesystem::path& target, std::string_view bytes) {
    FileHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid() && WriteAll(file.Get(), bytes) && SetEndOfFile(file.Get()) != 0 &&
           FlushFileBuffers(file.Get()) != 0 && file.Close();
}

}  // namespace termload
