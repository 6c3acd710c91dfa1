// Check list box over QListWidget.
#include "platform/toolkit/TCheckListBox.h"

#include <QFont>

namespace {
// Where a header keeps its tick: headers show no check box, so the tick
// cannot live in the check-state role.
constexpr int HeaderTickRole = Qt::UserRole + 1;
constexpr int HeaderRole = Qt::UserRole + 2;
} // namespace

TCheckListBox::TCheckListBox(QWidget *Parent) : QListWidget(Parent)
{
    connect(this, &QListWidget::itemChanged, this, [this](QListWidgetItem *) {
        if (!FUpdating && OnClickCheck)
            OnClickCheck(*this);
    });
}

int TCheckListBox::AddItem(const std::string &Text)
{
    FUpdating = true;
    auto *Item = new QListWidgetItem(QString::fromStdString(Text), this); // owned by the list
    Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable);
    Item->setCheckState(Qt::Unchecked);
    FUpdating = false;
    return count() - 1;
}

std::string TCheckListBox::ItemText(int Index) const
{
    const QListWidgetItem *I = item(Index);
    return I ? I->text().toStdString() : std::string();
}

bool TCheckListBox::Checked(int Index) const
{
    const QListWidgetItem *I = item(Index);
    if (!I)
        return false;
    return Header(Index) ? I->data(HeaderTickRole).toBool() : I->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int Index, bool AValue)
{
    QListWidgetItem *I = item(Index);
    if (!I)
        return;
    FUpdating = true;
    if (Header(Index))
        I->setData(HeaderTickRole, AValue);
    else
        I->setCheckState(AValue ? Qt::Checked : Qt::Unchecked);
    FUpdating = false;
}

bool TCheckListBox::Header(int Index) const
{
    const QListWidgetItem *I = item(Index);
    return I && I->data(HeaderRole).toBool();
}

void TCheckListBox::SetHeader(int Index, bool AValue)
{
    QListWidgetItem *I = item(Index);
    if (!I || Header(Index) == AValue)
        return;
    const bool Tick = Checked(Index);
    FUpdating = true;
    I->setData(HeaderRole, AValue);
    QFont F = I->font();
    F.setBold(AValue);
    I->setFont(F);
    if (AValue) {
        I->setData(HeaderTickRole, Tick);
        I->setData(Qt::CheckStateRole, QVariant());
        I->setFlags(I->flags() & ~(Qt::ItemIsUserCheckable | Qt::ItemIsSelectable));
    } else {
        I->setFlags(I->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        I->setCheckState(Tick ? Qt::Checked : Qt::Unchecked);
    }
    FUpdating = false;
}

bool TCheckListBox::Selected(int Index) const
{
    const QListWidgetItem *I = item(Index);
    return I && I->isSelected();
}

void TCheckListBox::SetSelected(int Index, bool AValue)
{
    if (QListWidgetItem *I = item(Index))
        I->setSelected(AValue);
}

void TCheckListBox::SetMultiSelect(bool AValue)
{
    setSelectionMode(AValue ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}
