// Timers on the event loop's clock or on a manual clock for tests.
#include "platform/toolkit/TTimer.h"

#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

bool Manual = false;
long long ManualNow = 0;
std::vector<TTimer *> &Timers()
{
    static std::vector<TTimer *> List;
    return List;
}

} // namespace

TTimer::TTimer() : FTimer(std::make_unique<QTimer>())
{
    QObject::connect(FTimer.get(), &QTimer::timeout, [this] { Fire(); });
    Timers().push_back(this);
    Restart();
}

TTimer::~TTimer()
{
    auto &L = Timers();
    L.erase(std::remove(L.begin(), L.end(), this), L.end());
}

void TTimer::SetInterval(int Milliseconds)
{
    FInterval = std::max(0, Milliseconds);
    Restart();
}

void TTimer::SetEnabled(bool AValue)
{
    FEnabled = AValue;
    Restart();
}

// As with the toolkit's timer, changing the interval or enabling restarts the
// count; an interval of 0 never fires.
void TTimer::Restart()
{
    FTimer->stop();
    FDue = ManualNow + FInterval;
    if (FEnabled && FInterval > 0 && !Manual)
        FTimer->start(FInterval);
}

void TTimer::Fire()
{
    if (FEnabled && OnTimer)
        OnTimer();
}

void TTimer::SetManualClock(bool AManual)
{
    Manual = AManual;
    for (TTimer *T : Timers())
        T->Restart();
}

bool TTimer::ManualClock() { return Manual; }

void TTimer::AdvanceTimers(int Milliseconds)
{
    const long long End = ManualNow + std::max(0, Milliseconds);
    for (;;) {
        // The next due timer; a handler may create, stop or restart timers.
        TTimer *Next = nullptr;
        for (TTimer *T : Timers())
            if (T->FEnabled && T->FInterval > 0 && T->FDue <= End && (!Next || T->FDue < Next->FDue))
                Next = T;
        if (!Next)
            break;
        ManualNow = Next->FDue;
        Next->FDue += Next->FInterval;
        Next->Fire();
    }
    ManualNow = End;
}
