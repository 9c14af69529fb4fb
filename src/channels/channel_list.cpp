#include "channels/channel_list.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

namespace termload {
namespace {

struct ChannelList {
    std::mutex mutex;
    // Newest first, as lookups favour recent opens; a handful of entries at most.
    std::vector<std::shared_ptr<ChannelRecord>> records;
};

ChannelList& List() {
    static ChannelList list;
    return list;
}

std::atomic<ChannelHandle> lastHandle{0};

}  // namespace

ChannelHandle NewChannelHandle() {
    return lastHandle.fetch_add(1) + 1;
}

void RegisterChannel(std::shared_ptr<ChannelRecord> record) {
    auto& list = List();
    std::lock_guard lock(list.mutex);
    list.records.insert(list.records.begin(), std::move(record));
}

std::shared_ptr<ChannelRecord> FindChannel(ChannelHandle handle) {
    auto& list = List();
    std::lock_guard lock(list.mutex);
    const auto found = std::find_if(list.records.begin(), list.records.end(),
                                    [handle](const auto& r) { return r->Handle() == handle; });
    return found == list.records.end() ? nullptr : *found;
}

std::shared_ptr<ChannelRecord> UnregisterChannel(ChannelHandle handle) {
    auto& list = List();
    std::lock_guard lock(list.mutex);
    const auto found = std::find_if(list.records.begin(), list.records.end(),
                                    [handle](const auto& r) { return r->Handle() == handle; });
    if (found == list.records.end()) {
        return nullptr;
    }
    auto record = std::move(*found);
    list.records.erase(found);
    return record;
}

std::vector<std::shared_ptr<ChannelRecord>> UnregisterAllChannels() {
    auto& list = List();
    std::lock_guard lock(list.mutex);
    return std::exchange(list.records, {});
}

std::size_t RegisteredChannelCount() {
    auto& list = List();
    std::lock_guard lock(list.mutex);
    return list.records.size();
}

}  // namespace termload
