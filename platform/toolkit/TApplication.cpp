// Message pumping, Esc hook, screen size and cursor over QApplication.
#include "platform/toolkit/TApplication.h"

#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TDialogs.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QObject>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

int InterruptibleRunning = 0; // work under way that an Esc interrupts (TInterruptible)

// An application event filter sees each key press once per receiver on its
// way up the parent chain, from the window to the focused control and on to
// its parents; only the first delivery of an event counts. The hook is
// called when that delivery is over, interruptible work runs and no control
// took the key: a cell editor that cancels its typing or a drop-down list
// that closes keeps its Esc. Qt makes each press's event afresh, often at the address of the one
// before, so the remembered event is forgotten once its delivery is over.
class TEscFilter : public QObject {
public:
    std::function<void()> OnEsc;
    void Delivered(const QEvent *Event)
    {
        if (Event != FLast)
            return;
        FLast = nullptr;
        if (!Event->isAccepted() && OnEsc && InterruptibleRunning > 0)
            OnEsc();
    }
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        if (Event->type() == QEvent::KeyPress && OnEsc) {
            auto *Key = static_cast<QKeyEvent *>(Event);
            if (Key->key() == Qt::Key_Escape)
                FLast = Key;
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    const QKeyEvent *FLast = nullptr;
};

TEscFilter *EscFilter = nullptr; // owned by the application object once installed
// The receiver of the operator's input being delivered, innermost first
// (compared only).
std::vector<const QObject *> InputReceivers;

unsigned GestureCount = 0;

bool IsOperatorInput(const QEvent *Event)
{
    switch (Event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return true;
    case QEvent::MouseMove:
        return static_cast<const QMouseEvent *>(Event)->buttons() != Qt::NoButton;
    default:
        return false;
    }
}
int FixedWidth = 0, FixedHeight = 0;
QRect FixedArea; // invalid: the screen's own
TCursor CurrentCursor = crDefault;

Qt::CursorShape ShapeOf(TCursor C)
{
    switch (C) {
    case crHourGlass: return Qt::WaitCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    default: return Qt::ArrowCursor;
    }
}

} // namespace

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *Receiver, QEvent *Event)
{
    bool Result = false;
    const bool Input = IsOperatorInput(Event);
    // A window closed by the window system (its title bar's button) is a
    // gesture of the operator too, though no key or button reaches the
    // program: work refused before it is tried again.
    const bool Closing = Event->type() == QEvent::Close && Event->spontaneous();
    if (((Input && Event->type() != QEvent::MouseMove) || Closing) && InputReceivers.empty())
        ++GestureCount;
    if (Input)
        InputReceivers.push_back(Receiver);
    RunGuarded([&] { Result = QApplication::notify(Receiver, Event); });
    if (Input)
        InputReceivers.pop_back();
    if (EscFilter)
        EscFilter->Delivered(Event);
    return Result;
}

bool DeliveringOperatorInput(const QObject *AReceiver)
{
    return std::find(InputReceivers.begin(), InputReceivers.end(), AReceiver) != InputReceivers.end();
}

unsigned OperatorGesture() { return GestureCount; }

void HandleException(const std::exception &E)
{
    if (dynamic_cast<const rtl::EAbort *>(&E))
        return;
    std::string Text = E.what();
    if (!Text.empty() && static_cast<unsigned char>(Text.back()) > '.')
        Text += '.';
    MessageBox(Text, ApplicationTitle(), mtError, mbOK);
}

bool RunGuarded(const std::function<void()> &Handler)
{
    try {
        Handler();
        return true;
    } catch (const std::exception &E) {
        HandleException(E);
    }
    return false;
}

void ProcessMessages()
{
    // Long loops pump at every step (a write-back: every level) so that Esc
    // is seen at once. What the program posts to itself (an Esc sent to a
    // window among it) is delivered by every call; a full round, which also
    // asks the window system and runs due timers and costs a poll of its own,
    // is made at most once a millisecond.
    using TClock = std::chrono::steady_clock;
    static TClock::time_point LastFull;
    const TClock::time_point Now = TClock::now();
    if (Now - LastFull >= std::chrono::milliseconds(1)) {
        QCoreApplication::processEvents();
        LastFull = TClock::now();
    } else {
        QCoreApplication::sendPostedEvents();
    }
}

void InstallEscHook(std::function<void()> OnEsc)
{
    QCoreApplication *App = QCoreApplication::instance();
    if (!App)
        return;
    if (!EscFilter) {
        EscFilter = new TEscFilter;
        EscFilter->setParent(App);
        App->installEventFilter(EscFilter);
    }
    EscFilter->OnEsc = std::move(OnEsc);
}

TInterruptible::TInterruptible() { ++InterruptibleRunning; }

TInterruptible::~TInterruptible() { --InterruptibleRunning; }

int ScreenWidth()
{
    if (FixedWidth > 0)
        return FixedWidth;
    const QScreen *S = QGuiApplication::primaryScreen();
    return S ? S->size().width() : 1024;
}

int ScreenHeight()
{
    if (FixedHeight > 0)
        return FixedHeight;
    const QScreen *S = QGuiApplication::primaryScreen();
    return S ? S->size().height() : 768;
}

void SetScreenSize(int Width, int Height)
{
    FixedWidth = Width;
    FixedHeight = Height;
    FixedArea = QRect();
}

QRect ScreenWorkArea()
{
    if (FixedArea.isValid())
        return FixedArea;
    if (FixedWidth > 0 && FixedHeight > 0)
        return QRect(0, 0, FixedWidth, FixedHeight);
    const QScreen *S = QGuiApplication::primaryScreen();
    return S ? S->availableGeometry() : QRect(0, 0, ScreenWidth(), ScreenHeight());
}

void SetScreenWorkArea(const QRect &AArea) { FixedArea = AArea; }

// A window given the whole work area: the window manager fits its frame.
constexpr char WholeArea[] = "marlinWholeWorkArea";

void FitToWorkArea(QWidget &AWindow)
{
    AWindow.setProperty(WholeArea, true);
    const QRect Area = ScreenWorkArea();
    AWindow.resize(Area.size());
    AWindow.move(Area.topLeft());
    // The window manager knows the frame it puts about the window only once
    // the window shows: the maximised state leaves the fit to it. A fixed
    // screen is none the platform knows: it would maximise to its own.
    if (FixedWidth <= 0 && !FixedArea.isValid())
        AWindow.setWindowState(AWindow.windowState() | Qt::WindowMaximized);
}

namespace {

// The frame the window manager puts about a window: known once the window
// shows, and until then taken to be that of the program's windows shown.
QMargins FrameMargins(const QWidget &AWindow)
{
    const auto Of = [](const QWidget &W) {
        const QRect F = W.frameGeometry(), G = W.geometry();
        return QMargins(G.left() - F.left(), G.top() - F.top(), F.right() - G.right(), F.bottom() - G.bottom());
    };
    QMargins Margins = Of(AWindow);
    for (const QWidget *W : QApplication::topLevelWidgets())
        if (Margins.isNull() && !(AWindow.windowFlags() & Qt::FramelessWindowHint) && W != &AWindow && W->isVisible() &&
            !W->isMaximized())
            Margins = Of(*W);
    return Margins;
}

} // namespace

void KeepInWorkArea(QWidget &AWindow)
{
    if (AWindow.property(WholeArea).toBool() || (AWindow.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QRect Area = ScreenWorkArea();
    const QMargins Margins = FrameMargins(AWindow);
    const QRect Frame = AWindow.geometry().marginsAdded(Margins);
    const QSize Edges(Margins.left() + Margins.right(), Margins.top() + Margins.bottom());
    const QSize Most = (Area.size() - Edges).expandedTo(QSize(1, 1));
    if (AWindow.width() > Most.width() || AWindow.height() > Most.height()) {
        AWindow.setMinimumSize(AWindow.minimumSize().boundedTo(Most));
        AWindow.resize(AWindow.size().boundedTo(Most));
    }
    const QSize Size = AWindow.size() + Edges;
    const QPoint At(std::clamp(Frame.left(), Area.left(), std::max(Area.left(), Area.right() + 1 - Size.width())),
                    std::clamp(Frame.top(), Area.top(), std::max(Area.top(), Area.bottom() + 1 - Size.height())));
    if (At != Frame.topLeft())
        AWindow.move(At);
}

void SetScreenCursor(TCursor Cursor)
{
    if (Cursor == CurrentCursor)
        return;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        if (CurrentCursor != crDefault)
            QGuiApplication::restoreOverrideCursor();
        if (Cursor != crDefault)
            QGuiApplication::setOverrideCursor(QCursor(ShapeOf(Cursor)));
    }
    CurrentCursor = Cursor;
}

TCursor ScreenCursor() { return CurrentCursor; }

THourglass::THourglass() : FSaved(ScreenCursor()) { SetScreenCursor(crHourGlass); }

THourglass::~THourglass() { SetScreenCursor(FSaved); }
