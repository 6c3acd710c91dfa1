// The wait cursor: one steady cursor over a run of short commands, hidden
// 50 ms after the last stop on a clock and timer the test drives, nothing
// from other threads or for gcrOther, suspend and restore.
#include <gtest/gtest.h>

#include <thread>

#include "dataaccess/comp/qxZqGUIxFormsWait.h"

namespace {

using namespace ZqCursors;

class WaitCursor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZqSetGUIMainThread(std::this_thread::get_id());
        ZqGUISilent = false;
        TZqGUIxScreenHooks H;
        H.HasScreen = [] { return true; };
        H.GetCursor = [this] { return Cursor; };
        H.SetCursor = [this](int C) { Cursor = C; ++Sets; };
        H.StartTimer = [this](uint32_t, std::function<void()> CB) { Timer = std::move(CB); return uintptr_t(7); };
        H.KillTimer = [this](uintptr_t) { Timer = nullptr; };
        H.Tick = [this] { return Now; };
        ZqSetGUIxScreenHooks(H);
        Impl = TZqIntfPtr<TZqGUIxWaitCursorImpl>(new TZqGUIxWaitCursorImpl());
        Impl->SetOnShow([this](TZqGUIxWaitCursorImpl *) { ++Shows; });
        Impl->SetOnHide([this](TZqGUIxWaitCursorImpl *) { ++Hides; });
    }
    void TearDown() override
    {
        Impl.Reset();
        ZqSetGUIxScreenHooks({});
    }
    void Fire() { if (Timer) Timer(); }

    int Cursor = crDefault;
    int Sets = 0, Shows = 0, Hides = 0;
    uint32_t Now = 1000;
    std::function<void()> Timer;
    TZqIntfPtr<TZqGUIxWaitCursorImpl> Impl;
};

TEST_F(WaitCursor, TwoCommandsTenMsApartShowOneCursorHiddenFiftyMsAfterTheLast)
{
    Impl->StartWait();
    EXPECT_EQ(Cursor, crSQLWait);
    Impl->StopWait();
    Now += 10;
    Fire();
    EXPECT_EQ(Cursor, crSQLWait);
    Impl->StartWait();
    Impl->StopWait();
    Now += 49;
    Fire();
    EXPECT_EQ(Cursor, crSQLWait);
    Now += 1;
    Fire();
    EXPECT_EQ(Cursor, crDefault);
    EXPECT_EQ(Shows, 1);
    EXPECT_EQ(Hides, 1);
    EXPECT_FALSE(Timer);
}

TEST_F(WaitCursor, StartFromAWorkerThreadLeavesTheCursorAlone)
{
    std::thread([this] { Impl->StartWait(); }).join();
    EXPECT_EQ(Cursor, crDefault);
    EXPECT_EQ(Sets, 0);
}

TEST_F(WaitCursor, SilentFlagAndOtherCursorShowNothing)
{
    ZqGUISilent = true;
    Impl->StartWait();
    EXPECT_EQ(Sets, 0);
    ZqGUISilent = false;
    Impl->SetScreenCursor(gcrOther);
    Impl->StartWait();
    EXPECT_EQ(Sets, 0);
    EXPECT_EQ(Shows, 0);
}

TEST_F(WaitCursor, SuspendAfterAnotherCursorWasSetRestoresNothing)
{
    Impl->StartWait();
    Cursor = 5; // another part of the program set its own cursor
    Impl->SuspendWait();
    Cursor = crDefault;
    Impl->RestoreWait();
    EXPECT_EQ(Cursor, crDefault);
}

TEST_F(WaitCursor, SuspendWithAPendingStopRestoresShownAndPending)
{
    Impl->SetScreenCursor(gcrHourGlass);
    Impl->StartWait();
    Impl->StopWait();
    Impl->SuspendWait();
    EXPECT_EQ(Cursor, crDefault);
    Impl->RestoreWait();
    EXPECT_EQ(Cursor, crHourGlass);
    Now += 50;
    Fire();
    EXPECT_EQ(Cursor, crDefault);
}

} // namespace
