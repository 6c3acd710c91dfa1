// qxZqGUIxFormsWait: the library's silent flag and its one wait-cursor
// service. Before the data-access layer shows anything (a cursor, a login
// dialog) it asks ZqIsGUISilent; while it works it runs StartWait/StopWait
// on the service registered here. The cursor is hidden 50 ms after the last
// stop, so that a run of short commands shows one steady cursor instead of
// a flicker.
//
// The library never includes the window toolkit: the program installs the
// screen hooks (read and set the screen cursor, a periodic timer on its
// message loop, a millisecond tick). Without hooks there is no screen, and
// nothing is shown.
//
// Cursor states: hidden -> StartWait -> shown -> StopWait -> stop pending
// -> (50 ms without StartWait) hidden; SuspendWait saves the state and
// hides, RestoreWait shows again from the saved state.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanFactory.h"

enum TZqGUIxScreenCursor : uint8_t { gcrDefault, gcrHourGlass, gcrSQLWait, gcrOther };

// The toolkit's screen cursor values, as the screen hooks take them. They
// have a namespace of their own because a form includes the toolkit's
// cursor names beside the client components.
namespace ZqCursors {
constexpr int crDefault = 0;
constexpr int crHourGlass = -11;
constexpr int crSQLWait = -17;
} // namespace ZqCursors

// The library-wide silent flag (the manager component's SilentMode).
extern std::atomic<bool> ZqGUISilent;
// True when the flag is set or the caller is not the main thread.
bool ZqIsGUISilent();
// The thread that counts as the main thread (the one that registered the
// unit, unless the program says otherwise).
void ZqSetGUIMainThread(std::thread::id AThread);

struct TZqGUIxScreenHooks {
    std::function<bool()> HasScreen;
    std::function<int()> GetCursor;
    std::function<void(int)> SetCursor;
    // A periodic timer whose callback runs on the main thread's loop; the
    // answer identifies it for KillTimer (0 = none).
    std::function<uintptr_t(uint32_t AIntervalMs, std::function<void()> ACallback)> StartTimer;
    std::function<void(uintptr_t)> KillTimer;
    std::function<uint32_t()> Tick;
};
void ZqSetGUIxScreenHooks(TZqGUIxScreenHooks AHooks);

class TZqGUIxWaitCursorImpl : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    using TEvent = std::function<void(TZqGUIxWaitCursorImpl *ASender)>;
    TZqGUIxWaitCursorImpl();
    ~TZqGUIxWaitCursorImpl() override;
    std::string ClassName() const override { return "TZqGUIxWaitCursorImpl"; }

    TZqGUIxScreenCursor GetScreenCursor() const { return FScreenCursor; }
    void SetScreenCursor(TZqGUIxScreenCursor AValue) { FScreenCursor = AValue; }
    TEvent GetOnShow() const { return FOnShow; }
    void SetOnShow(TEvent AValue) { FOnShow = std::move(AValue); }
    TEvent GetOnHide() const { return FOnHide; }
    void SetOnHide(TEvent AValue) { FOnHide = std::move(AValue); }

    void StartWait() override;
    void StopWait() override;
    void RestoreWait() override;
    void SuspendWait() override;

    // The timer's callback: hides the cursor once 50 ms have passed since
    // the last stop.
    void TimerTick();

private:
    void Show();
    void Hide();
    void StartTimer();
    void KillTimer();
    int ToolkitCursor() const;

    uintptr_t FTimer = 0;
    uint32_t FStopTick = 0;
    TZqGUIxScreenCursor FScreenCursor = gcrSQLWait;
    uint8_t FSavedState = 0;
    TEvent FOnShow;
    TEvent FOnHide;
};

// The wait-cursor component a form carries: it chooses the cursor the one
// service shows and hooks the show and hide moments (the sender is the
// component). As a wait cursor it passes every call to the service.
class TZqGUIxWaitCursor : public TZqComponent, public virtual IZqGUIxWaitCursor {
public:
    explicit TZqGUIxWaitCursor(rtl::TComponent *AOwner = nullptr);
    ~TZqGUIxWaitCursor() override;
    std::string ClassName() const override { return "TZqGUIxWaitCursor"; }
    // A component is not counted: its owner frees it.
    int32_t _AddRef() override { return -1; }
    int32_t _Release() override { return -1; }

    TZqGUIxScreenCursor ScreenCursor() const;
    void SetScreenCursor(TZqGUIxScreenCursor AValue);
    const rtl::TNotifyEvent &OnShow() const { return FOnShow; }
    void SetOnShow(rtl::TNotifyEvent AValue);
    const rtl::TNotifyEvent &OnHide() const { return FOnHide; }
    void SetOnHide(rtl::TNotifyEvent AValue);

    void StartWait() override;
    void StopWait() override;
    void RestoreWait() override;
    void SuspendWait() override;

private:
    // The service, nil when none is registered (or it is not ours).
    static TZqGUIxWaitCursorImpl *Service();
    rtl::TNotifyEvent FOnShow;
    rtl::TNotifyEvent FOnHide;
};

// Registers the wait-cursor service (interface 2201, one instance) and
// makes ZqIsGUISilent the answer of the asynchronous executor's silent test.
void RegisterGUIxFormsWait();
