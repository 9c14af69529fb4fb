#include "app/port_tally.h"

#include <utility>

namespace termload {

void PassOutcomes::Add(bool ok, std::optional<FailureNote> failure) {
    if (ok) {
        ++done;
        failedSinceDone = 0;
        return;
    }
    ++failed;
    ++failedSinceDone;
    if (failure) {
        lastFailure = std::move(failure);
    }
}

void PortTally::Apply(const PassOutcomes& outcomes) {
    done_ += outcomes.done;
    failed_ += outcomes.failed;
    // A success within the batch ends the run of failures before it.
    failedInARow_ =
        outcomes.done > 0 ? outcomes.failedSinceDone : failedInARow_ + outcomes.failedSinceDone;
    if (outcomes.lastFailure) {
        lastFailure_ = outcomes.lastFailure;
    }
}

}  // namespace termload
