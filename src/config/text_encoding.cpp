#include "config/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace termload {

namespace {

// Windows' code page 936, the encoding of configurations written there.
constexpr const char* kGbkName = "CP936";
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

struct IconvCloser {
    void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
    iconv_t handle = iconv_open(to, from);
    // iconv_open reports failure as (iconv_t)-1.
    if (handle == reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
        return nullptr;
    }
    return IconvHandle(handle);
}

// Length of the UTF-8 sequence starting at `pos` when it is valid, else 0.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    char32_t minimum = 0;
    char32_t value = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        minimum = 0x10000;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - pos < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (next & 0x3F);
    }
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    if (value < minimum || value > 0x10FFFF || surrogate) {
        return 0;
    }
    return length;
}

// One character of a UTF-8 text; a byte that starts no valid sequence counts as one
// character of one column, as it becomes one '?' in GBK.
struct Character {
    std::size_t bytes;
    std::size_t columns;
};

Character NextCharacter(std::string_view text, std::size_t pos) {
    const std::size_t length = Utf8SequenceLength(text, pos);
    if (length == 0) {
        return {1, 1};
    }
    return {length, length == 1 ? std::size_t{1} : std::size_t{2}};
}

// Runs the whole input through iconv; at a sequence it cannot convert, appends `replacement`
// and skips `skip(input, pos)` bytes.
template <typename Skip>
std::string Convert(iconv_t handle, std::string_view input, std::string_view replacement,
                    Skip skip) {
    std::string output;
    output.reserve(input.size() * 3 / 2 + 16);
    std::size_t pos = 0;
    char buffer[1024];
    while (pos < input.size()) {
        char* in = const_cast<char*>(input.data() + pos);
        std::size_t inLeft = input.size() - pos;
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(handle, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        output.append(buffer, out);
        pos = input.size() - inLeft;
        if (result != static_cast<std::size_t>(-1) || error == E2BIG) {
            continue;
        }
        // EILSEQ or EINVAL (a sequence cut off at the end): replace it and go on.
        output.append(replacement);
        pos += skip(input, pos);
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
    }
    return output;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, pos);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

std::string GbkToUtf8(std::string_view gbk) {
    IconvHandle handle = OpenIconv("UTF-8", kGbkName);
    if (!handle) {
        return std::string(gbk);
    }
    return Convert(static_cast<iconv_t>(handle.get()), gbk, kReplacementUtf8,
                   [](std::string_view, std::size_t) { return std::size_t{1}; });
}

std::string Utf8ToGbk(std::string_view utf8) {
    IconvHandle handle = OpenIconv(kGbkName, "UTF-8");
    if (!handle) {
        return std::string(utf8);
    }
    return Convert(
        static_cast<iconv_t>(handle.get()), utf8, "?",
        [](std::string_view text, std::size_t pos) { return NextCharacter(text, pos).bytes; });
}

std::optional<std::string> Utf8ToGbkExact(std::string_view utf8) {
    bool lossless = IsValidUtf8(utf8);
    IconvHandle handle = OpenIconv(kGbkName, "UTF-8");
    if (!lossless || !handle) {
        return std::nullopt;
    }
    std::string gbk = Convert(static_cast<iconv_t>(handle.get()), utf8, "?",
                              [&lossless](std::string_view text, std::size_t pos) {
                                  lossless = false;
                                  return NextCharacter(text, pos).bytes;
                              });
    if (!lossless) {
        return std::nullopt;
    }
    return gbk;
}

std::size_t DisplayWidth(std::string_view utf8) {
    std::size_t width = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const Character character = NextCharacter(utf8, pos);
        width += character.columns;
        pos += character.bytes;
    }
    return width;
}

std::string_view CutToDisplayWidth(std::string_view utf8, std::size_t width) {
    std::size_t used = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const Character character = NextCharacter(utf8, pos);
        if (used + character.columns > width) {
            break;
        }
        used += character.columns;
        pos += character.bytes;
    }
    return utf8.substr(0, pos);
}

std::string_view SkipCharacters(std::string_view utf8, std::size_t count) {
    std::size_t pos = 0;
    for (; count > 0 && pos < utf8.size(); --count) {
        pos += NextCharacter(utf8, pos).bytes;
    }
    return utf8.substr(pos);
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view CutToBytes(std::string_view utf8, std::size_t maxBytes) {
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t step = NextCharacter(utf8, pos).bytes;
        if (pos + step > maxBytes) {
            break;
        }
        pos += step;
    }
    return utf8.substr(0, pos);
}

}  // namespace termload
