// A device node's identity on POSIX: the node (file system and inode number), the device it
// stands for, and the number of this process's inotify watch on it. Neither the inode number nor
// the times set a node made again under the same name apart from one that was only touched:
// devpts gives a reused pty its old inode number and new times, and a chmod, chown or touch
// (udev sets permissions and times again on every "change" event) sets the change time too. A
// watch belongs to the inode itself: the kernel hands out the same number for as long as the node
// lives, removes the watch when the node goes, and never gives a new node an old number.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "channels/serial_identity.h"
#include "channels/serial_identity_posix.h"

namespace termload {
namespace {

// The process's one inotify descriptor, made when the program loads and never closed, so that
// no port's open or close changes the descriptors a process holds. Its events are never needed:
// they are read away only so that they do not pile up.
class NodeWatches {
  public:
    NodeWatches() : descriptor_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    NodeWatches(const NodeWatches&) = delete;
    NodeWatches& operator=(const NodeWatches&) = delete;

    bool Available() const { return descriptor_ >= 0; }

    // The watch on the node at `path`; -1 when it cannot be had (no read permission, the
    // system's limit of watches reached, no /proc for a descriptor's node).
    int WatchOf(const std::string& path) const {
        char events[4096];
        while (::read(descriptor_, events, sizeof events) > 0) {
        }
        return ::inotify_add_watch(descriptor_, path.c_str(), IN_DELETE_SELF);
    }

  private:
    int descriptor_;
};

const NodeWatches watches;

// Without inotify in the system the node's numbers alone: a touched node is still the same
// device, at the cost of not telling a reused pty number apart. A watch that cannot be had for
// this one node tells nothing (empty), rather than an identity that differs from the watched one.
std::string IdentityOf(const struct stat& status, const std::string& nodePath) {
    std::string identity = std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) +
                           ":" + std::to_string(status.st_rdev);
    if (!watches.Available()) {
        return identity;
    }
    const int watch = watches.WatchOf(nodePath);
    return watch >= 0 ? identity + "#" + std::to_string(watch) : std::string{};
}

}  // namespace

std::string IdentityOfOpenDevice(int descriptor) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        return {};
    }
    // The open descriptor's own inode, even when its node has gone since.
    return IdentityOf(status, "/proc/self/fd/" + std::to_string(descriptor));
}

std::string SerialDeviceIdentityOf(const std::string& devicePath) {
    struct stat status {};
    // Links are followed: the identity is the device's, not the link's.
    if (::stat(devicePath.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) {
        return {};
    }
    return IdentityOf(status, devicePath);
}

}  // namespace termload
