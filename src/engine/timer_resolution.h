// The system timer's resolution for the length of a download. Every pause of a download is a
// timed wait; Windows ends such a wait only on a tick of its timer, 15.6 ms apart unless a process
// asks for 1 ms, which would stretch every 10 ms pause of the pacing to about 15.6 ms. Elsewhere
// timed waits end on time and there is nothing to ask.
#pragma once

namespace termload {

class FineTimerResolution {
  public:
    FineTimerResolution();   // asks for 1 ms ticks (Windows: timeBeginPeriod(1))
    ~FineTimerResolution();  // gives them back
    FineTimerResolution(const FineTimerResolution&) = delete;
    FineTimerResolution& operator=(const FineTimerResolution&) = delete;

    // The timer ticks every millisecond while this lives (where the system has such a setting:
    // the request was granted).
    bool Held() const { return held_; }

  private:
    bool held_ = false;
};

}  // namespace termload
