// Timers that tests can drive.
//
// A TTimer calls OnTimer every Interval milliseconds while Enabled. In the
// program it runs on the event loop's clock. A test switches every timer to
// the manual clock (SetManualClock(true)) and then moves time on with
// AdvanceTimers, which fires each enabled timer as often as its interval
// fits into the time that passed, in order of due time.
#pragma once

#include <functional>
#include <memory>

class QTimer;

class TTimer {
public:
    TTimer();
    ~TTimer();
    TTimer(const TTimer &) = delete;
    TTimer &operator=(const TTimer &) = delete;

    int Interval() const { return FInterval; }
    void SetInterval(int Milliseconds);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool AValue);
    std::function<void()> OnTimer;

    static void SetManualClock(bool Manual);
    static bool ManualClock();
    static void AdvanceTimers(int Milliseconds);

private:
    void Restart();
    void Fire();

    int FInterval = 1000;
    bool FEnabled = true;
    long long FDue = 0; // manual clock: time of the next firing
    std::unique_ptr<QTimer> FTimer;
};
