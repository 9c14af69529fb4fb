// A port map put in force for a test's span: the map in force before comes back at its end, so a
// test's ptys never leak into the next test's COM numbers.
#pragma once

#include <filesystem>

#include "channels/port_map.h"

namespace termload::test {

class PortMapInForce {
  public:
    explicit PortMapInForce(const std::filesystem::path& map) { SetPortMapFile(map); }
    ~PortMapInForce() { SetPortMapFile(previous_); }
    PortMapInForce(const PortMapInForce&) = delete;
    PortMapInForce& operator=(const PortMapInForce&) = delete;

  private:
    std::filesystem::path previous_ = PortMapFile();
};

}  // namespace termload::test
