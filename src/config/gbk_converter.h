// The system's GBK (code page 936) conversion, one direction per object: iconv on POSIX,
// the code-page functions on Windows. Strict in both: a piece that holds anything without a
// form in the other encoding converts to nothing, so callers can tell GBK from UTF-8 and
// replace exactly the bad characters.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace termload {

class GbkConverter {
  public:
    enum class Direction { kGbkToUtf8, kUtf8ToGbk };

    explicit GbkConverter(Direction direction);
    ~GbkConverter();
    GbkConverter(const GbkConverter&) = delete;
    GbkConverter& operator=(const GbkConverter&) = delete;

    // False when the system has no GBK conversion.
    bool Available() const;

    // Appends the whole piece converted to `out`; false, with `out` unchanged, when any part of
    // it is invalid or has no form in the target encoding.
    bool Convert(std::string_view piece, std::string& out);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace termload
