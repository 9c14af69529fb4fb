#include <iconv.h>

#include <cerrno>

#include "config/gbk_converter.h"

namespace termload {

namespace {

// Windows' code page 936, the encoding of configurations written there.
constexpr const char* kGbkName = "CP936";

}  // namespace

struct GbkConverter::State {
    iconv_t handle;
};

GbkConverter::GbkConverter(Direction direction) {
    const bool toUtf8 = direction == Direction::kGbkToUtf8;
    iconv_t handle = iconv_open(toUtf8 ? "UTF-8" : kGbkName, toUtf8 ? kGbkName : "UTF-8");
    // iconv_open reports failure as (iconv_t)-1.
    if (handle != reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
        state_ = std::make_unique<State>(State{handle});
    }
}

GbkConverter::~GbkConverter() {
    if (state_) {
        iconv_close(state_->handle);
    }
}

bool GbkConverter::Available() const {
    return state_ != nullptr;
}

bool GbkConverter::Convert(std::string_view piece, std::string& out) {
    if (!state_) {
        return false;
    }
    iconv(state_->handle, nullptr, nullptr, nullptr, nullptr);
    const std::size_t start = out.size();
    char* in = const_cast<char*>(piece.data());
    std::size_t inLeft = piece.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* next = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(state_->handle, &in, &inLeft, &next, &outLeft);
        const int error = errno;
        out.append(buffer, next);
        if (result == static_cast<std::size_t>(-1) && error != E2BIG) {
            // EILSEQ, or EINVAL for a sequence cut off at the end.
            out.resize(start);
            return false;
        }
    }
    return true;
}

}  // namespace termload
