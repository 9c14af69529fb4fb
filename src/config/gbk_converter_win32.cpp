#include <windows.h>

#include <climits>

#include "config/gbk_converter.h"

namespace termload {

namespace {

constexpr UINT kGbkCodePage = 936;

// Text in `codePage` to UTF-16; false for any byte sequence invalid there.
bool ToWide(UINT codePage, std::string_view text, std::wstring& wide) {
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    wide.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(),
                               length) == length;
}

// UTF-16 to `codePage`; false for a character the code page cannot hold (no best-fit
// look-alikes: a name must reach the terminal as it is or not at all).
bool FromWide(UINT codePage, const std::wstring& wide, std::string& text) {
    const int size = static_cast<int>(wide.size());
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int length = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr,
                                           usedDefaultOut);
    if (length <= 0 || usedDefault) {
        return false;
    }
    text.resize(static_cast<std::size_t>(length));
    return WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), length, nullptr,
                               usedDefaultOut) == length &&
           !usedDefault;
}

}  // namespace

struct GbkConverter::State {
    bool toUtf8;
};

GbkConverter::GbkConverter(Direction direction) {
    if (IsValidCodePage(kGbkCodePage)) {
        state_ = std::make_unique<State>(State{direction == Direction::kGbkToUtf8});
    }
}

GbkConverter::~GbkConverter() = default;

bool GbkConverter::Available() const {
    return state_ != nullptr;
}

bool GbkConverter::Convert(std::string_view piece, std::string& out) {
    if (!state_ || piece.size() > INT_MAX / 2) {
        return false;
    }
    if (piece.empty()) {
        return true;
    }
    std::wstring wide;
    std::string converted;
    const UINT from = state_->toUtf8 ? kGbkCodePage : CP_UTF8;
    const UINT to = state_->toUtf8 ? CP_UTF8 : kGbkCodePage;
    if (!ToWide(from, piece, wide) || !FromWide(to, wide, converted)) {
        return false;
    }
    out += converted;
    return true;
}

}  // namespace termload
