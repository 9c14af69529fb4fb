// The identity of a device node from its status, shared by the path lookup and the open port.
#pragma once

#include <sys/stat.h>

#include <string>

namespace termload {

std::string IdentityOfStat(const struct stat& status);

}  // namespace termload
