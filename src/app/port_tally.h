// What a port has done since the operator last reset its tally: passes done and failed, the last
// failure, and how many passes in a row have failed. Nothing of it is saved.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

namespace termload {

// A port whose last this many passes failed is marked until a pass on it succeeds.
inline constexpr int kFailuresToMark = 3;

struct FailureNote {
    QString text;  // the slot's last red status text of the failed pass
    QDateTime at;  // when that text was shown
};

// The outcomes of one slot that arrived between two flushes of the host sink, in their order,
// folded into a fixed size however many came.
struct PassOutcomes {
    std::int64_t done = 0;
    std::int64_t failed = 0;
    std::int64_t failedSinceDone = 0;  // failures after the batch's last success
    std::optional<FailureNote> lastFailure;

    void Add(bool ok, std::optional<FailureNote> failure);
    bool Empty() const { return done == 0 && failed == 0; }
};

class PortTally {
  public:
    void Apply(const PassOutcomes& outcomes);
    void Reset() { *this = PortTally(); }

    std::int64_t Done() const { return done_; }
    std::int64_t Failed() const { return failed_; }
    std::int64_t FailedInARow() const { return failedInARow_; }
    bool Marked() const { return failedInARow_ >= kFailuresToMark; }
    bool Empty() const { return done_ == 0 && failed_ == 0; }
    const std::optional<FailureNote>& LastFailure() const { return lastFailure_; }

  private:
    std::int64_t done_ = 0;
    std::int64_t failed_ = 0;
    std::int64_t failedInARow_ = 0;
    std::optional<FailureNote> lastFailure_;
};

}  // namespace termload
