// qxZqGUIxFormsWait: the silent flag and the wait-cursor service; see the header.
#include "dataaccess/comp/qxZqGUIxFormsWait.h"

#include <mutex>

#include "dataaccess/stan/qxZqStanUtil.h"

std::atomic<bool> ZqGUISilent{false};

using namespace ZqCursors;

namespace {

// How long the cursor stays after the last stop.
constexpr uint32_t CHideDelay = 50;

std::mutex GHooksLock;
TZqGUIxScreenHooks GHooks;
std::atomic<std::thread::id> GMainThread{std::this_thread::get_id()};

TZqGUIxScreenHooks Hooks()
{
    std::lock_guard L(GHooksLock);
    return GHooks;
}

bool HasScreen(const TZqGUIxScreenHooks &H) { return H.HasScreen && H.HasScreen() && H.GetCursor && H.SetCursor; }

} // namespace

bool ZqIsGUISilent() { return ZqGUISilent.load() || std::this_thread::get_id() != GMainThread.load(); }

void ZqSetGUIMainThread(std::thread::id AThread) { GMainThread.store(AThread); }

void ZqSetGUIxScreenHooks(TZqGUIxScreenHooks AHooks)
{
    std::lock_guard L(GHooksLock);
    GHooks = std::move(AHooks);
}

TZqGUIxWaitCursorImpl::TZqGUIxWaitCursorImpl() = default;

TZqGUIxWaitCursorImpl::~TZqGUIxWaitCursorImpl()
{
    Hide();
    KillTimer();
}

int TZqGUIxWaitCursorImpl::ToolkitCursor() const
{
    switch (FScreenCursor) {
    case gcrHourGlass: return crHourGlass;
    case gcrSQLWait: return crSQLWait;
    default: return crDefault;
    }
}

void TZqGUIxWaitCursorImpl::Show()
{
    if (FScreenCursor == gcrOther) return;
    TZqGUIxScreenHooks H = Hooks();
    if (!HasScreen(H) || H.GetCursor() == ToolkitCursor()) return;
    if (FOnShow) FOnShow(this);
    H.SetCursor(ToolkitCursor());
}

void TZqGUIxWaitCursorImpl::Hide()
{
    TZqGUIxScreenHooks H = Hooks();
    if (!HasScreen(H)) return;
    H.SetCursor(crDefault);
    if (FOnHide) FOnHide(this);
}

void TZqGUIxWaitCursorImpl::StartTimer()
{
    if (FTimer != 0) return;
    TZqGUIxScreenHooks H = Hooks();
    if (H.StartTimer) FTimer = H.StartTimer(CHideDelay, [this] { TimerTick(); });
}

void TZqGUIxWaitCursorImpl::KillTimer()
{
    if (FTimer == 0) return;
    TZqGUIxScreenHooks H = Hooks();
    if (H.KillTimer) H.KillTimer(FTimer);
    FTimer = 0;
}

static uint32_t NowTick()
{
    TZqGUIxScreenHooks H = Hooks();
    return H.Tick ? H.Tick() : 0;
}

void TZqGUIxWaitCursorImpl::StartWait()
{
    if (ZqIsGUISilent()) return;
    KillTimer();
    FStopTick = 0;
    Show();
}

void TZqGUIxWaitCursorImpl::StopWait()
{
    if (ZqIsGUISilent()) return;
    StartTimer();
    FStopTick = NowTick();
}

void TZqGUIxWaitCursorImpl::SuspendWait()
{
    if (ZqIsGUISilent()) return;
    TZqGUIxScreenHooks H = Hooks();
    if (!HasScreen(H) || FScreenCursor == gcrOther || H.GetCursor() != ToolkitCursor()) FSavedState = 0;
    else FSavedState = FTimer != 0 ? 2 : 1;
    Hide();
    KillTimer();
}

void TZqGUIxWaitCursorImpl::RestoreWait()
{
    if (ZqIsGUISilent()) return;
    if (FSavedState == 0) return;
    Show();
    if (FSavedState == 2) {
        StartTimer();
        FStopTick = NowTick();
    }
}

void TZqGUIxWaitCursorImpl::TimerTick()
{
    if (FTimer == 0) return;
    if (!ZqTimeoutElapsed(FStopTick, CHideDelay, NowTick())) return;
    Hide();
    KillTimer();
    FStopTick = 0;
}

void RegisterGUIxFormsWait()
{
    ZqSetGUIMainThread(std::this_thread::get_id());
    ZqRegisterSingleton<TZqGUIxWaitCursorImpl>(IID_IZqGUIxWaitCursor);
    ZqSetGUISilentHook(&ZqIsGUISilent);
}

// ---- the component ------------------------------------------------------------------

TZqGUIxWaitCursor::TZqGUIxWaitCursor(rtl::TComponent *AOwner) : TZqComponent(AOwner) {}

TZqGUIxWaitCursor::~TZqGUIxWaitCursor()
{
    // The service outlives the component: it must not call into a freed one.
    if (FOnShow)
        SetOnShow(nullptr);
    if (FOnHide)
        SetOnHide(nullptr);
}

TZqGUIxWaitCursorImpl *TZqGUIxWaitCursor::Service()
{
    TZqIntfPtr<IZqGUIxWaitCursor> Cursor;
    ZqCreateInterface(Cursor, false);
    return dynamic_cast<TZqGUIxWaitCursorImpl *>(Cursor.Get());
}

TZqGUIxScreenCursor TZqGUIxWaitCursor::ScreenCursor() const
{
    TZqGUIxWaitCursorImpl *S = Service();
    return S ? S->GetScreenCursor() : gcrSQLWait;
}

void TZqGUIxWaitCursor::SetScreenCursor(TZqGUIxScreenCursor AValue)
{
    if (TZqGUIxWaitCursorImpl *S = Service())
        S->SetScreenCursor(AValue);
}

void TZqGUIxWaitCursor::SetOnShow(rtl::TNotifyEvent AValue)
{
    FOnShow = std::move(AValue);
    if (TZqGUIxWaitCursorImpl *S = Service())
        S->SetOnShow(FOnShow ? TZqGUIxWaitCursorImpl::TEvent([this](TZqGUIxWaitCursorImpl *) { FOnShow(this); })
                             : TZqGUIxWaitCursorImpl::TEvent());
}

void TZqGUIxWaitCursor::SetOnHide(rtl::TNotifyEvent AValue)
{
    FOnHide = std::move(AValue);
    if (TZqGUIxWaitCursorImpl *S = Service())
        S->SetOnHide(FOnHide ? TZqGUIxWaitCursorImpl::TEvent([this](TZqGUIxWaitCursorImpl *) { FOnHide(this); })
                             : TZqGUIxWaitCursorImpl::TEvent());
}

void TZqGUIxWaitCursor::StartWait()
{
    if (TZqGUIxWaitCursorImpl *S = Service())
        S->StartWait();
}

void TZqGUIxWaitCursor::StopWait()
{
    if (TZqGUIxWaitCursorImpl *S = Service())
        S->StopWait();
}

void TZqGUIxWaitCursor::RestoreWait()
{
    if (TZqGUIxWaitCursorImpl *S = Service())
        S->RestoreWait();
}

void TZqGUIxWaitCursor::SuspendWait()
{
    if (TZqGUIxWaitCursorImpl *S = Service())
        S->SuspendWait();
}
