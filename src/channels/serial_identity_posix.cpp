// A device node's identity on POSIX: the node itself (file system and inode), the device it
// stands for, and when the node was made. A node re-created under the same name, even with the
// same number (devpts gives a reused pty its old inode number), has a new change time.
#include <sys/stat.h>

#include <string>

#include "channels/serial_identity.h"
#include "channels/serial_identity_posix.h"

namespace termload {

std::string IdentityOfStat(const struct stat& status) {
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) + ":" +
           std::to_string(status.st_rdev) + ":" + std::to_string(status.st_ctim.tv_sec) + "." +
           std::to_string(status.st_ctim.tv_nsec);
}

std::string SerialDeviceIdentityOf(const std::string& devicePath) {
    struct stat status {};
    // Links are followed: the identity is the device's, not the link's.
    if (::stat(devicePath.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) {
        return {};
    }
    return IdentityOfStat(status);
}

}  // namespace termload
