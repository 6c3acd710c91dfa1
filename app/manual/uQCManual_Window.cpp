// The manual QC editor's profile plot in a window of its own: the plot
// panel moves into a floating TfmProfile and comes back when that closes.
#include "app/manual/uQCManual.h"

#include "app/uProfile.h"
#include "platform/toolkit/TPaintBox.h"

#include <QFrame>
#include <QToolButton>

void TForm2::SpeedButton14Click()
{
    LevelMarkerX = LevelMarkerY = 0;
    auto *Window = new TfmProfile(this); // owned by the editor; frees itself on close
    Window->setWindowFlag(Qt::Window);
    Window->setWindowTitle(QStringLiteral("Profile"));
    ProfilePanel = this;
    ProfilePanelWidth = Panel4->width();
    ProfileUndockButton = SpeedButton14;
    const QSize Size = Panel4->size();
    Window->HostPanel(Panel4);
    Window->resize(Size);
    ProfileWindow = Window;
    // Back in the editor the panel takes its place in the layout again.
    QObject::connect(Window, &QObject::destroyed, this, [this] {
        ProfileWindow = nullptr;
        if (Panel4->parentWidget() == this) {
            Panel4->setMinimumWidth(0);
            Panel4->setMaximumWidth(QWIDGETSIZE_MAX);
            LayoutForm(width(), height());
            PaintBox2->Repaint();
        }
    });
    Window->show();
    SpeedButton14->hide();
    PaintBox2->Repaint();
}

void TForm2::DockProfileBack()
{
    if (!ProfileWindow)
        return;
    QWidget *Window = ProfileWindow;
    ProfileWindow = nullptr;
    QObject::disconnect(Window, nullptr, this, nullptr);
    static_cast<TfmProfile *>(Window)->FormClose();
    delete Window;
    Panel4->setMinimumWidth(0);
    Panel4->setMaximumWidth(QWIDGETSIZE_MAX);
}
