// Images and paint boxes over persistent bitmaps.
#include "platform/toolkit/TPaintBox.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace {

TMouseButton ButtonOf(const QMouseEvent *E)
{
    switch (E->button()) {
    case Qt::RightButton: return mbRight;
    case Qt::MiddleButton: return mbMiddle;
    default: return mbLeft;
    }
}

} // namespace

TGraphicControl::TGraphicControl(QWidget *Parent) : QWidget(Parent)
{
    setMouseTracking(true);
}

void TGraphicControl::paintEvent(QPaintEvent *)
{
    QPainter P(this);
    P.drawImage(0, 0, FBitmap.Image());
}

void TGraphicControl::mousePressEvent(QMouseEvent *Event)
{
    if (OnMouseDown)
        OnMouseDown(ButtonOf(Event), Event->position().toPoint().x(), Event->position().toPoint().y());
}

void TGraphicControl::mouseMoveEvent(QMouseEvent *Event)
{
    if (OnMouseMove)
        OnMouseMove(Event->position().toPoint().x(), Event->position().toPoint().y());
}

void TGraphicControl::mouseReleaseEvent(QMouseEvent *Event)
{
    if (OnMouseUp)
        OnMouseUp(ButtonOf(Event), Event->position().toPoint().x(), Event->position().toPoint().y());
}

TImage::TImage(QWidget *Parent) : TGraphicControl(Parent) {}

TPaintBox::TPaintBox(QWidget *Parent) : TGraphicControl(Parent) {}

void TPaintBox::Repaint()
{
    FBitmap.SetSize(width(), height());
    if (FBackground) {
        FBitmap.Image().fill(ColorToPixel(Color));
        QPainter P(&FBitmap.Image());
        P.drawImage(FBackground->x() - x(), FBackground->y() - y(), FBackground->Bitmap().Image());
    } else {
        FBitmap.Image().fill(ColorToPixel(Color));
    }
    if (OnPaint)
        OnPaint();
    update();
}

void TPaintBox::resizeEvent(QResizeEvent *Event)
{
    QWidget::resizeEvent(Event);
    Repaint();
}
