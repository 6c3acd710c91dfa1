// Controls that show a persistent image: TImage (a picture that keeps what
// was drawn on it) and TPaintBox (an overlay redrawn by its OnPaint handler).
//
// Both keep their TBitmap between paints, so drawing done outside a paint
// (a rubber band in not-xor mode, a marker moved by the mouse) stays until
// the next repaint, as on the toolkit's canvas. A paint box may lie over an
// image: each Repaint starts from that image's picture, then runs OnPaint.
#pragma once

#include "platform/toolkit/TCanvas.h"

#include <QWidget>

#include <functional>

enum TMouseButton { mbLeft, mbRight, mbMiddle };

class TGraphicControl : public QWidget {
public:
    explicit TGraphicControl(QWidget *Parent = nullptr);

    TCanvas &Canvas() { return FBitmap.Canvas(); }
    TBitmap &Bitmap() { return FBitmap; }
    const TBitmap &Bitmap() const { return FBitmap; }

    std::function<void(TMouseButton Button, int X, int Y)> OnMouseDown;
    std::function<void(int X, int Y)> OnMouseMove;
    std::function<void(TMouseButton Button, int X, int Y)> OnMouseUp;

protected:
    void paintEvent(QPaintEvent *Event) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseMoveEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;

    TBitmap FBitmap;
};

class TImage : public TGraphicControl {
public:
    explicit TImage(QWidget *Parent = nullptr);
};

class TPaintBox : public TGraphicControl {
public:
    explicit TPaintBox(QWidget *Parent = nullptr);

    std::function<void()> OnPaint;
    // The picture that shows through where OnPaint draws nothing (not owned;
    // the form keeps both controls); without one the box starts from Color.
    void SetBackground(TImage *Image) { FBackground = Image; }
    TColor Color = clBtnFace;

    // Rebuilds the image: background, then OnPaint; then shows it.
    void Repaint();

protected:
    void resizeEvent(QResizeEvent *Event) override;

private:
    TImage *FBackground = nullptr;
};
