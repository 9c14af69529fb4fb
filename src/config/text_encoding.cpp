#include "config/text_encoding.h"

#include "config/gbk_converter.h"

namespace termload {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

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

// Bytes of the GBK character starting at `pos`: one for ASCII and for a byte that leads no
// pair, else two.
std::size_t GbkUnitLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    return lead >= 0x81 && lead <= 0xFE && pos + 1 < text.size() ? 2 : 1;
}

// Converts the whole input; when some of it cannot be converted, goes character by character
// (`unit` gives each one's length), putting `replacement` for each bad one and skipping
// `skip(input, pos)` bytes past it.
template <typename Unit, typename Skip>
std::string ConvertLeniently(GbkConverter& converter, std::string_view input,
                             std::string_view replacement, Unit unit, Skip skip) {
    std::string output;
    output.reserve(input.size() * 3 / 2 + 16);
    if (converter.Convert(input, output)) {
        return output;
    }
    for (std::size_t pos = 0; pos < input.size();) {
        const std::size_t length = unit(input, pos);
        if (converter.Convert(input.substr(pos, length), output)) {
            pos += length;
        } else {
            output.append(replacement);
            pos += skip(input, pos);
        }
    }
    return output;
}

std::size_t CharacterBytes(std::string_view text, std::size_t pos) {
    return NextCharacter(text, pos).bytes;
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
    GbkConverter converter(GbkConverter::Direction::kGbkToUtf8);
    if (!converter.Available()) {
        return std::string(gbk);
    }
    return ConvertLeniently(converter, gbk, kReplacementUtf8, GbkUnitLength,
                            [](std::string_view, std::size_t) { return std::size_t{1}; });
}

std::string Utf8ToGbk(std::string_view utf8) {
    GbkConverter converter(GbkConverter::Direction::kUtf8ToGbk);
    if (!converter.Available()) {
        return std::string(utf8);
    }
    return ConvertLeniently(converter, utf8, "?", CharacterBytes, CharacterBytes);
}

std::optional<std::string> Utf8ToGbkExact(std::string_view utf8) {
    GbkConverter converter(GbkConverter::Direction::kUtf8ToGbk);
    std::string gbk;
    if (!IsValidUtf8(utf8) || !converter.Convert(utf8, gbk)) {
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
