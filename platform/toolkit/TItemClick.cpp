// The list boxes' click over Qt's item views.
//
// Qt tells that the current item moved (the selection model's
// currentChanged) but not why. The application object knows when it is
// delivering the operator's key press or mouse press to the view or its
// viewport (DeliveringOperatorInput): a move of the current item meanwhile
// came from the operator, any other from code.
#include "platform/toolkit/TItemClick.h"

#include "platform/toolkit/TApplication.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QPointer>
#include <QTreeWidget>

namespace {

// The object's name, by which a second installation finds the first.
const char *const Name = "marlin_ItemClick";

class TItemClick : public QObject {
public:
    TItemClick(QAbstractItemView &AView, std::function<void()> AOnClick)
        : QObject(&AView), FView(&AView), FOnClick(std::move(AOnClick))
    {
        setObjectName(QLatin1String(Name));
        // The item widgets tell a click by their item as well; what reacts
        // to either reacts to both.
        if (auto *List = qobject_cast<QListWidget *>(&AView))
            connect(List, &QListWidget::itemClicked, this, [this] { Clicked(); });
        else if (auto *Tree = qobject_cast<QTreeWidget *>(&AView))
            connect(Tree, &QTreeWidget::itemClicked, this, [this] { Clicked(); });
        else
            connect(&AView, &QAbstractItemView::clicked, this, [this] { Clicked(); });
        connect(AView.selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &Current) {
            if (!Current.isValid() || !ByOperator())
                return;
            // The click that ends a press which moved the highlight has run
            // already.
            FPressMoved = DeliveringOperatorInput(FView->viewport());
            Run();
        });
    }

    void SetOnClick(std::function<void()> AOnClick) { FOnClick = std::move(AOnClick); }

private:
    bool ByOperator() const
    {
        return DeliveringOperatorInput(FView) || DeliveringOperatorInput(FView->viewport());
    }

    void Clicked()
    {
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
    }

    QAbstractItemView *FView; // our parent
    std::function<void()> FOnClick;
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
