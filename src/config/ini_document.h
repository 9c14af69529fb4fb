// One INI file in memory, read and written the way the configuration needs it: sections and
// keys without regard to letter case, values trimmed, integers as the private-profile functions
// read them, and a save that keeps comments, key order, unknown keys, the file's encoding
// (UTF-8 or GBK), its byte-order mark and its line ends.
#pragma once

// Only the narrow-character document is used; text conversion is done by text_encoding.h.
#ifndef SI_NO_CONVERSION
#define SI_NO_CONVERSION
#endif
#include <SimpleIni.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace termload {

class IniDocument {
  public:
    // Files larger than this are not read: no configuration comes near it.
    static constexpr std::uintmax_t kMaxFileBytes = 4u << 20;
    // Values are cut to this many bytes, as the private-profile functions' buffer does.
    static constexpr std::size_t kMaxValueBytes = 2047;

    enum class LoadStatus { Ok, Missing, TooLarge, Unreadable };

    IniDocument();

    // Replaces the content with the file's; any status but Ok leaves the document empty.
    LoadStatus Load(const std::filesystem::path& path);
    // Replaces the content with these bytes, detecting encoding and line ends.
    void LoadBytes(std::string_view bytes);

    // The document as file bytes in the encoding and line ends it was read with.
    std::string ToBytes() const;
    // Writes ToBytes() to the path through a temporary file in the same directory, so that a
    // failed write leaves the old file whole. Keeps the file's permissions.
    bool Save(const std::filesystem::path& path) const;

    // False when the bytes read held something a rewrite could not reproduce (NUL bytes or
    // invalid multi-byte sequences).
    bool Rewritable() const { return rewritable_; }
    bool IsGbk() const { return gbk_; }
    // The offset in the file of a NUL byte that ends what was read while more text follows it
    // (the INI layer reads up to the first NUL only); nothing when all was read.
    std::optional<std::size_t> CutAtNul() const { return cutAtNul_; }

    // The value, trimmed and cut; `fallback` when the key is missing.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // The value's bytes as the file holds them (the same as ReadString for a UTF-8 file): a
    // name of a file on disk that is neither UTF-8 nor GBK survives only in this form.
    std::string ReadStoredBytes(std::string_view section, std::string_view key,
                                std::string_view fallback) const;
    // The whole value as held, not cut; nothing when the key is missing.
    std::optional<std::string> ReadWholeValue(std::string_view section, std::string_view key) const;
    // Decimal, or hexadecimal with "0x" or "$"; `fallback` when missing, malformed or beyond
    // the range of int.
    int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
    // An integer, non-zero meaning true.
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

    // The section's keys in file order, each once.
    std::vector<std::string> Keys(std::string_view section) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    // Every line of the key goes.
    void DeleteKey(std::string_view section, std::string_view key);

  private:
    CSimpleIniA ini_;
    // The file's text before it was converted from GBK; empty for a UTF-8 file.
    CSimpleIniA stored_;
    // Comment lines before the first section, which the INI layer would write back with a blank
    // line added; written back as is.
    std::string head_;
    // Comment lines after the last entry, which the INI layer would drop; written back as is.
    std::string tail_;
    bool gbk_ = false;
    bool bom_ = false;
    bool crlf_ = false;
    bool rewritable_ = true;
    std::optional<std::size_t> cutAtNul_;
};

}  // namespace termload
