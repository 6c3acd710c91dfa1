// Progress gauges fed from long loops.
//
// A progress bar paints itself at once on every change of value. A loop that
// moves it per station or per cast would paint hundreds of times a second,
// while an operator reads a gauge a few times a second. A TGaugePacer shows
// new values at most ten times a second; a value held back goes up with the next
// Set or Tick after that, and Flush shows what waits. The pacer flushes when
// it goes out of scope, so a loop left early still ends with its gauges
// right; the gauges must outlive it.
#pragma once

#include <chrono>
#include <utility>
#include <vector>

class QProgressBar;

class TGaugePacer {
public:
    // The shortest time between two values shown.
    static constexpr std::chrono::milliseconds Pace{100};

    TGaugePacer() = default;
    ~TGaugePacer();
    TGaugePacer(const TGaugePacer &) = delete;
    TGaugePacer &operator=(const TGaugePacer &) = delete;

    // A null gauge is passed over.
    void Set(QProgressBar *AGauge, int AValue);
    // Called at every step of a loop: costs a clock read only while a value waits.
    void Tick();
    void Flush();

private:
    using TClock = std::chrono::steady_clock;
    std::vector<std::pair<QProgressBar *, int>> FPending;
    TClock::time_point FShown;
};
