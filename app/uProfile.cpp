// The floating profile window: hosts the editor's plot panel and gives it
// back when it closes.
#include "app/uProfile.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QPointer>
#include <QVBoxLayout>

QWidget *ProfilePanel = nullptr;
int ProfilePanelWidth = 0;
QWidget *ProfileUndockButton = nullptr;

TfmProfile::TfmProfile(QWidget *AOwner) : TForm(AOwner, "fmProfile")
{
    auto *Layout = new QVBoxLayout(this); // owned by the form
    Layout->setContentsMargins(0, 0, 0, 0);
    // The close action frees the window.
    setAttribute(Qt::WA_DeleteOnClose);
}

void TfmProfile::HostPanel(QWidget *APanel)
{
    if (!APanel)
        return;
    APanel->setParent(this);
    APanel->setMinimumWidth(0);
    APanel->setMaximumWidth(QWIDGETSIZE_MAX);
    layout()->addWidget(APanel);
    APanel->show();
}

QWidget *TfmProfile::FirstControl() const
{
    QLayoutItem *Item = layout() ? layout()->itemAt(0) : nullptr;
    return Item ? Item->widget() : nullptr;
}

void TfmProfile::FormClose()
{
    QWidget *Panel = FirstControl();
    if (Panel && ProfilePanel) {
        layout()->removeWidget(Panel);
        Panel->setParent(ProfilePanel);
        Panel->setFixedWidth(ProfilePanelWidth);
        // Aligned right: the last place of the host's row, or its right edge.
        if (auto *Box = qobject_cast<QBoxLayout *>(ProfilePanel->layout()))
            Box->addWidget(Panel);
        else
            Panel->setGeometry(ProfilePanel->width() - ProfilePanelWidth, 0, ProfilePanelWidth,
                               ProfilePanel->height());
        Panel->show();
    }
    if (ProfileUndockButton)
        ProfileUndockButton->show();
}

void TfmProfile::done(int AResult)
{
    // A dialog's done hides it without a close event; the window still
    // frees itself, and the panel must not go with it.
    FormClose();
    TForm::done(AResult);
}

void TfmProfile::closeEvent(QCloseEvent *AEvent)
{
    FormClose();
    AEvent->accept();
}

