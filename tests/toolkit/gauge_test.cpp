// Gauges fed from long loops: values paced, none lost.
#include "platform/toolkit/TGauge.h"

#include <QProgressBar>

#include <gtest/gtest.h>

#include <thread>

TEST(GaugePacer, ShowsTheFirstValueHoldsBackTheRestAndLosesNone)
{
    QProgressBar Total, Cruise;
    {
        TGaugePacer Pacer;
        Pacer.Set(&Total, 10);
        EXPECT_EQ(Total.value(), 10); // nothing shown yet: shown at once
        Pacer.Set(&Total, 20);
        Pacer.Set(&Cruise, 5);
        Pacer.Set(nullptr, 7); // an engine without a window has no gauges
        EXPECT_EQ(Total.value(), 10) << "within the pace the value waits";
        EXPECT_EQ(Cruise.value(), -1);
        std::this_thread::sleep_for(TGaugePacer::Pace + std::chrono::milliseconds(5));
        Pacer.Tick();
        EXPECT_EQ(Total.value(), 20);
        EXPECT_EQ(Cruise.value(), 5);
        Pacer.Set(&Cruise, 90);
        EXPECT_EQ(Cruise.value(), 5);
    }
    EXPECT_EQ(Cruise.value(), 90) << "a loop left early still ends with its gauges right";
}
