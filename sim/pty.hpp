#pragma once
// Pseudo-terminals as the simulator's serial lines, the stable links that name them, and the
// watch that tells when another process opens or closes a line's device.
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>

#include "event_loop.hpp"
#include "unique_fd.hpp"

namespace termsim {

// A pty pair. The simulator keeps its own descriptor of the device side open, so the master never
// reports a hang-up while the tool has the port closed (which would wake epoll without end).
struct Pty {
    UniqueFd master;  // non-blocking
    UniqueFd device;  // raw mode, 8 bits, no echo
    std::string devicePath;
};

// Throws std::system_error.
Pty OpenPty();

// Points `link` at `target`, replacing an existing link in one step.
void PointLink(const std::filesystem::path& link, const std::string& target);

// inotify IN_OPEN / IN_CLOSE on device paths, delivered through the event loop.
class OpenWatcher {
  public:
    using Callback = std::function<void(bool opened)>;

    explicit OpenWatcher(EventLoop& loop);
    ~OpenWatcher();
    OpenWatcher(const OpenWatcher&) = delete;
    OpenWatcher& operator=(const OpenWatcher&) = delete;

    int Watch(const std::string& path, Callback callback);
    void Unwatch(int watch);

  private:
    void OnReadable();

    EventLoop& loop_;
    UniqueFd inotify_;
    std::unordered_map<int, Callback> callbacks_;
};

}  // namespace termsim
