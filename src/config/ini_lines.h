// Edits of an INI file's bytes that touch only the lines they name: every other byte (comments,
// blank lines, spacing around "=", the encoding and the line ends) stays as it was. For changes
// that must leave the rest of an operator's file exactly as written; IniDocument rewrites it.
#pragma once

#include <string>
#include <string_view>

namespace termload {

class IniLines {
  public:
    explicit IniLines(std::string bytes) : bytes_(std::move(bytes)) {}

    // Sections and keys are matched without regard to ASCII letter case and surrounding blanks,
    // as the configuration reads them; each call acts on every line of that key in every
    // section of that name. False when there is no such line.

    // The text after the line's first "=" and the blanks after it becomes `value`; the key and
    // the line end stay.
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);
    // The key is written as `newKey`; the value and the line end stay.
    bool RenameKey(std::string_view section, std::string_view key, std::string_view newKey);
    // The whole line goes.
    bool DeleteKey(std::string_view section, std::string_view key);

    const std::string& bytes() const { return bytes_; }

  private:
    enum class Edit { SetValue, Rename, Delete };
    bool Apply(std::string_view section, std::string_view key, Edit edit, std::string_view text);

    std::string bytes_;
};

}  // namespace termload
