// Application-wide services of the toolkit: pumping pending messages, the
// Esc hook, the screen's size and the screen cursor (hourglass).
#pragma once

#include <QApplication>

#include <exception>
#include <functional>

// The application object of the program: an exception that leaves an event
// handler is caught here and shown through the dialog seam instead of ending
// the program.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *Receiver, QEvent *Event) override;
};

// True while the application delivers an operator's key press, mouse
// press, double click or drag (a move with a button held) to AReceiver: what
// happens meanwhile to that control happens by the operator's hand.
bool DeliveringOperatorInput(const QObject *AReceiver);

// The operator's gestures so far: each key press, mouse press, double
// click or close of a window by the window system counts once, when its
// delivery begins (a drag and a release belong to the press before them,
// and input a message box takes while the gesture's delivery has not ended
// belongs to that gesture). Work that the same gesture starts twice (a
// focus leaving a cell, then the click that took it) can tell so by an
// unchanged count.
unsigned OperatorGesture();

// Shows an exception that reached the application: its message in an error
// box captioned with the application title, a full stop added when the text
// does not end in one; the silent abort shows nothing.
void HandleException(const std::exception &E);
// Runs a handler, handing any exception to HandleException; false when one
// was raised.
bool RunGuarded(const std::function<void()> &Handler);

// Handles every event already queued, then returns (the toolkit's
// "process pending messages"). Events posted within the program go out on
// every call; the window system and timers are asked at most once a
// millisecond, so that a loop may call it at every step.
void ProcessMessages();

// Calls OnEsc for every Esc key press that reaches any window of the
// application while interruptible work runs (see TInterruptible) and that
// no control there takes for itself, once its delivery is over (a cell
// editor cancelling its typing, a drop-down list closing or a Cancel button
// keep their Esc). One hook at a time; installing a new one replaces the
// old, an empty function removes it.
void InstallEscHook(std::function<void()> OnEsc);

// Work that an Esc interrupts runs while one of these lives (they nest):
// only then does the Esc hook hear an Esc. An Esc on a window where nothing
// runs interrupts nothing.
class TInterruptible {
public:
    TInterruptible();
    ~TInterruptible();
    TInterruptible(const TInterruptible &) = delete;
    TInterruptible &operator=(const TInterruptible &) = delete;
};

// The screen size in pixels: the primary screen's, unless a test or the
// program fixed it with SetScreenSize (0, 0 returns to the real screen).
int ScreenWidth();
int ScreenHeight();
void SetScreenSize(int Width, int Height);
// The part of the screen a window may take: the primary screen's without
// the desktop's panels and docks. A fixed screen size (or area) stands in
// for it as for the size.
QRect ScreenWorkArea();
void SetScreenWorkArea(const QRect &AArea);
// Gives a window all of the work area: its size and place, and the
// maximised state, which makes the window manager put the title bar and
// frame inside the area too.
void FitToWorkArea(QWidget &AWindow);
// Keeps a window, its frame included, within the work area: one larger is
// made as large as the area (its controls then make do with less than they
// ask for), one reaching past an edge is moved back inside.
void KeepInWorkArea(QWidget &AWindow);

enum TCursor { crDefault = 0, crArrow = -2, crHourGlass = -11, crHandPoint = -21 };

// The cursor of the whole application (an override cursor while it is not
// crDefault).
void SetScreenCursor(TCursor Cursor);
TCursor ScreenCursor();

// Shows the hourglass for its lifetime and puts back the cursor it found.
class THourglass {
public:
    THourglass();
    ~THourglass();
    THourglass(const THourglass &) = delete;
    THourglass &operator=(const THourglass &) = delete;

private:
    TCursor FSaved;
};
