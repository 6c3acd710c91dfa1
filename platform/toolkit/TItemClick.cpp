// The list boxes' click over Qt's item views.
//
// Qt tells that the current item moved (the selection model's
// currentChanged) but not why. The filter below watches the operator's input
// to the view: a key press on the view, a press, double click or drag on
// its viewport (a release moves nothing; the click it makes is Qt's clicked). It arms itself for that one event; a move of the
// current item while it is armed came from the operator. It disarms at the
// next event the view or its viewport receives and once the event loop has
// finished with the armed event, so that a later change made in code finds
// it disarmed.
#include "platform/toolkit/TItemClick.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QItemSelectionModel>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPointer>

namespace {

// The object's name, by which a second installation finds the first.
const char *const Name = "marlin_ItemClick";

class TItemClick : public QObject {
public:
    TItemClick(QAbstractItemView &AView, std::function<void()> AOnClick)
        : QObject(&AView), FView(&AView), FOnClick(std::move(AOnClick))
    {
        setObjectName(QLatin1String(Name));
        AView.installEventFilter(this);
        AView.viewport()->installEventFilter(this);
        connect(&AView, &QAbstractItemView::clicked, this, [this] { Clicked(); });
        Follow();
    }

    void SetOnClick(std::function<void()> AOnClick) { FOnClick = std::move(AOnClick); }

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        // Qt makes each event afresh, often where the last one was: the
        // release of a key may come at its press's address.
        if (Event == FArmed && Event->type() == FArmedType)
            return false;
        FArmed = nullptr;
        if (IsOperatorInput(Watched, Event)) {
            FArmed = Event;
            FArmedType = Event->type();
            if (Event->type() == QEvent::MouseButtonPress)
                FPressMoved = false;
            // Disarmed once the loop is done with this event, should nothing
            // else reach the view before a change made in code.
            const unsigned Generation = ++FGeneration;
            QMetaObject::invokeMethod(this, [this, Generation] {
                if (Generation == FGeneration)
                    FArmed = nullptr;
            }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool IsOperatorInput(QObject *Watched, QEvent *Event) const
    {
        if (Watched == FView)
            return Event->type() == QEvent::KeyPress;
        switch (Event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return true;
        case QEvent::MouseMove:
            return static_cast<QMouseEvent *>(Event)->buttons() != Qt::NoButton;
        default:
            return false;
        }
    }

    // A view may be given another model and with it another selection model.
    void Follow()
    {
        QItemSelectionModel *Selection = FView->selectionModel();
        if (Selection == FSelection)
            return;
        if (FSelection)
            disconnect(FSelection, nullptr, this, nullptr);
        FSelection = Selection;
        if (Selection)
            connect(Selection, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &Current) {
                if (FArmed && Current.isValid()) {
                    FArmed = nullptr;
                    FPressMoved = true;
                    Run();
                }
            });
    }

    void Clicked()
    {
        // A press that moved the highlight has run the click already.
        const bool Moved = FPressMoved;
        FPressMoved = false;
        if (!Moved)
            Run();
    }

    void Run()
    {
        if (FRunning || !FOnClick)
            return;
        FRunning = true;
        QPointer<TItemClick> Alive(this);
        const std::function<void()> Handler = FOnClick; // the handler may replace itself
        struct TReset {
            QPointer<TItemClick> &Self;
            ~TReset()
            {
                if (Self)
                    Self->FRunning = false;
            }
        } Reset{Alive};
        Handler();
        if (Alive)
            Follow();
    }

    QAbstractItemView *FView; // our parent
    QPointer<QItemSelectionModel> FSelection;
    std::function<void()> FOnClick;
    const QEvent *FArmed = nullptr; // the operator's event being delivered, compared only
    QEvent::Type FArmedType = QEvent::None;
    unsigned FGeneration = 0;
    bool FPressMoved = false;
    bool FRunning = false;
};

} // namespace

void InstallItemClick(QAbstractItemView &View, std::function<void()> OnClick)
{
    if (QObject *Existing = View.findChild<QObject *>(QLatin1String(Name), Qt::FindDirectChildrenOnly)) {
        static_cast<TItemClick *>(Existing)->SetOnClick(std::move(OnClick));
        return;
    }
    new TItemClick(View, std::move(OnClick)); // owned by the view
}
