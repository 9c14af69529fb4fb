// A resource manager that stands in for PC/SC: escape calls are answered from a script (then by
// `answer`, else 90 00) and recorded. Calls may come from any thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "channels/ccid_reader.h"

namespace termload::test {

struct Reply {
    long result = 0;
    std::vector<uint8_t> bytes = {0x90, 0x00};
    size_t claimed = SIZE_MAX;  // bytes the call says it returned; SIZE_MAX: bytes.size()
};

struct Call {
    uint32_t code;
    std::vector<uint8_t> request;
};

class FakePcsc : public PcscApi {
  public:
    std::vector<uint8_t> features;  // the feature list; empty: the feature request fails
    std::string names;              // the multi-string of readers
    int listFailures = 0;           // list calls that say the service has gone
    long connectResult = 0;         // for every connect
    std::deque<Reply> script;
    // Answers when the script has run out; `index` counts the escape calls from 0.
    std::function<Reply(const std::vector<uint8_t>& request, size_t index)> answer;
    std::vector<Call> calls;  // escape calls only; read it through Calls() while others call
    int contexts = 0;
    int connects = 0;
    int disconnects = 0;

    std::vector<Call> Calls() const {
        const std::lock_guard lock(mutex_);
        return calls;
    }

    long EstablishContext(uintptr_t& context) override {
        context = static_cast<uintptr_t>(++contexts);
        return 0;
    }
    long ReleaseContext(uintptr_t) override { return 0; }
    long ListReaders(uintptr_t, std::vector<char>& out) override {
        if (listFailures > 0) {
            --listFailures;
            return static_cast<long>(0x8010001D);
        }
        out.assign(names.begin(), names.end());
        return 0;
    }
    long ConnectDirect(uintptr_t, const std::string&, uintptr_t& card) override {
        ++connects;
        card = 7;
        return connectResult;
    }
    long Disconnect(uintptr_t) override {
        ++disconnects;
        return 0;
    }
    long Control(uintptr_t, uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                 size_t& returned) override {
        if (code == CcidControlCode(kCcidFeatureFunction)) {
            std::copy(features.begin(), features.end(), out.begin());
            returned = features.size();
            return features.empty() ? static_cast<long>(0x80100022) : 0;
        }
        Reply reply;
        {
            const std::lock_guard lock(mutex_);
            const std::vector<uint8_t> request(in.begin(), in.end());
            calls.push_back({code, request});
            if (!script.empty()) {
                reply = script.front();
                script.pop_front();
            } else if (answer) {
                reply = answer(request, calls.size() - 1);
            }
        }
        std::copy_n(reply.bytes.begin(), std::min(reply.bytes.size(), out.size()), out.begin());
        returned = reply.claimed != SIZE_MAX ? reply.claimed : reply.bytes.size();
        return reply.result;
    }

  private:
    mutable std::mutex mutex_;
};

}  // namespace termload::test
