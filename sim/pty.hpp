#pragma once
// Pseudo-terminals as the simulator's serial lines, the stable links that name them, and the
// watch that tells when another process opens or closes a line's device.
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

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
// A new pty under the device name `wanted` when the system hands that name out again, as a
// terminal re-created behind the same device node; else under another name.
Pty OpenPtyNamed(const std::string& wanted);

// Points `link` at `target`, replacing an existing link in one step.
void PointLink(const std::filesystem::path& link, const std::string& target);

// inotify IN_OPEN / IN_CLOSE on device paths. Each event is handed to its watch's `note`
// function; after a batch read from the event loop, `service` runs once for each watch that got
// events. A port also polls before it reads, so that an open is known before the bytes after it.
class OpenWatcher {
  public:
    using Note = std::function<void(bool opened)>;
    using Service = std::function<void()>;

    explicit OpenWatcher(EventLoop& loop);
    ~OpenWatcher();
    OpenWatcher(const OpenWatcher&) = delete;
    OpenWatcher& operator=(const OpenWatcher&) = delete;

    int Watch(const std::string& path, Note note, Service service);
    void Unwatch(int watch);
    // Hands every pending event to its note function. The watches that got some are served
    // right after the current event handler, so no event waits for the next wake-up.
    void Poll();

  private:
    struct Entry {
        Note note;
        Service service;
    };
    void ServeTouched();

    EventLoop& loop_;
    std::vector<int> touched_;
    bool serveScheduled_ = false;
    UniqueFd inotify_;
    std::unordered_map<int, Entry> entries_;
};

}  // namespace termsim
