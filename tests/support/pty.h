// A pseudo-terminal standing in for a terminal: the code under test opens the slave by its path,
// the test reads and writes the master as the terminal would.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace termload::test {

class Pty {
  public:
    enum class Line { AsIs, Raw };

    // Raw: the slave starts without echo or line editing, for programs that take the line as
    // they find it.
    explicit Pty(Line line = Line::AsIs);
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // The test's own descriptor of the slave: it keeps the pty alive between opens and shows the
    // line settings the code under test applied.
    int SlaveFd() const { return slave_; }

    // Writes every byte; a slave side that takes nothing for a minute fails the test.
    void Write(std::string_view bytes);
    // Writes what the slave side takes within `limit`; false when it did not take every byte.
    bool WriteWithin(std::string_view bytes, std::chrono::milliseconds limit);
    // Reads until `count` bytes are in or `limit` has passed.
    std::string Read(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Reads whatever arrives until nothing has come for `quiet`.
    std::string ReadUntilQuiet(std::chrono::milliseconds quiet = std::chrono::milliseconds(300));
    // The terminal goes away: the slave's side sees a hang-up.
    void HangUp();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace termload::test
