#include "config/last_configuration.h"

namespace termload {

LastConfiguration LoadUserLastConfiguration(const std::filesystem::path& store) {
    return ReadLastConfiguration(store);
}

bool SaveUserLastConfiguration(const LastConfiguration& last, const std::filesystem::path& store) {
    return WriteLastConfiguration(last, store);
}

}  // namespace termload
