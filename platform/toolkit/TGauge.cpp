// Progress gauges fed from long loops: values shown at a reader's pace.
#include "platform/toolkit/TGauge.h"

#include <QProgressBar>

TGaugePacer::~TGaugePacer() { Flush(); }

void TGaugePacer::Set(QProgressBar *AGauge, int AValue)
{
    if (!AGauge)
        return;
    bool Found = false;
    for (auto &P : FPending)
        if (P.first == AGauge) {
            P.second = AValue;
            Found = true;
        }
    if (!Found)
        FPending.emplace_back(AGauge, AValue);
    Tick();
}

void TGaugePacer::Tick()
{
    if (FPending.empty())
        return;
    const TClock::time_point Now = TClock::now();
    if (Now - FShown < Pace)
        return;
    Flush();
    FShown = Now;
}

void TGaugePacer::Flush()
{
    for (const auto &P : FPending)
        P.first->setValue(P.second); // the bar itself repaints only on a change
    FPending.clear();
}
