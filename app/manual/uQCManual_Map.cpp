// The editor's map panel: the overlay painted over the coast image, the
// "MAP STATUS" read-out, picking a station with the mouse, the rubber-band
// zoom and the blinking of the track segments that failed the velocity check.
//
// Everything is drawn on PaintBox1's backing image and then shown with
// update(); the station marks that SelectHotStation moves and the rubber
// band are drawn onto that image between repaints, as the map has always
// done, and vanish at the next repaint.
#include "app/manual/uQCManual.h"

#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTimer.h"

#include <QGroupBox>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

namespace {

const std::string Degree = "\xC2\xB0";
// The read-out's line break (the carriage return of the original texts is
// a line feed on this platform's labels).
const std::string CR = "\n";

// Stations west of this longitude are not checked and cannot be picked.
constexpr double WestLimit = -5.6;

bool HasStationError(int i) { return LocationErrors.Bits(i) || VelocityErrors.Bits(i) || DepthErrors.Bits(i); }

} // namespace

void TForm2::RedrawMap()
{
    DrawCoast(Image1->Canvas());
    Image1->update();
    PaintBox1->Repaint();
}

void TForm2::PaintBox1Paint()
{
    TCanvas &C = PaintBox1->Canvas();
    // Lines, tracks and stations of a zoomed map reach past it; the margins
    // keep only the axes.
    C.SetClipRect(ClipWithEdges(MapScreenRect));
    if (QCContBtn->isChecked() && !ExtraLinesFile.empty()) {
        try {
            DrawExtraLines(C);
        } catch (const EInOutError &) {
            // A missing extra-line file leaves the map without its lines;
            // the main window reported it when the file was chosen.
        }
    }
    const auto Cruise = [&](bool Track) {
        DrawTrack = Track;
        DrawStations(CruiseStationPos, CruiseStationPts, clYellow, C);
    };
    const auto Dupl = [&] {
        DrawTrack = false;
        DrawStations(DuplStationPos, DuplStationPts, clGray, C);
    };
    if (!SpeedButton2->isChecked()) {
        Cruise(true);
    } else if (SpeedButton12->isChecked()) {
        Cruise(true);
        Dupl();
    } else {
        Dupl();
        Cruise(true);
    }
    DrawTrack = true;

    C.ClearClipRect();
    const TRect &M = MapScreenRect;
    const int W = PaintBox1->width(), H = PaintBox1->height();
    C.Brush.Style = bsSolid;
    C.Brush.Color = clWhite;
    C.FillRect(Rect(1, 1, M.Left, M.Bottom + 1));
    C.FillRect(Rect(1, 1, W, M.Top));
    C.FillRect(Rect(M.Right + 1, 1, W, H));
    C.FillRect(Rect(1, M.Bottom + 1, W, H));
    if (AxesBtn->isChecked()) {
        AxesWorldRect = CurrentZoomRect();
        AxesScreenRect = MapScreenRect;
        InitGeoAxes();
        DrawGeoAxes(C);
    }
    // The squares, and the marks that the mouse and the blink draw between
    // paints, stay on the map too.
    C.SetClipRect(ClipWithEdges(MapScreenRect));
    if (QuadrSelBtn->isChecked())
        DrawSquares(C);
    if (SelectionRect.Left != SelectionRect.Right)
        DrawRubberRect(C, SelectionRect);
}

void TForm2::PaintBox1MouseMove(int X, int Y)
{
    const TRect &M = MapScreenRect;
    MapMouseX = X;
    MapMouseY = Y;
    // Left of the map the position is read one pixel inside its edge.
    if (MapMouseX < M.Left)
        MapMouseX = M.Left + 1;
    if (MapMouseY < M.Top)
        MapMouseY = M.Top;
    if (MapMouseX > M.Right)
        MapMouseX = M.Right;
    if (MapMouseY > M.Bottom)
        MapMouseY = M.Bottom;
    const TRealPoint p = ScreenToWorld(Point(MapMouseX, MapMouseY), CurrentZoomRect(), M, false, true);
    std::string Square;
    if (QuadrSelBtn->isChecked())
        Square = FindSquare(p.x, p.y);

    if (PointInRect(M, X, Y)) {
        GroupBox2->show();
        std::string Text = "Latitude: " + rtl::FloatToStrF(p.y, rtl::ffFixed, 7, 3) + Degree + "N; " + CR +
                           "Longitude: " + rtl::FloatToStrF(p.x, rtl::ffFixed, 7, 3) + Degree + "E " + CR;
        if (QuadrSelBtn->isChecked())
            Text += "QCSquare: " + Square + CR;
        // The cell that holds the position, as the depth check looks it up.
        TGridCell Cell;
        if (FindGridCell(p.x, p.y, Cell)) {
            const int z = RoundPixel(GridCellValue(Cell));
            Text += z > 0 ? "Elevation estimation: " + std::to_string(z) : "Depth estimation: " + std::to_string(-z);
        }
        Label6->setText(QString::fromStdString(Text));
    } else {
        GroupBox2->hide();
    }

    if (StatSelBtn->isChecked()) {
        HotStationIndex = -1;
        for (size_t i = 0; i < CruiseStationPos.size(); ++i) {
            // A station the zoom puts outside the frame is not drawn: the
            // margin over it picks nothing; nor does a station without a place.
            if (!HasPlace(CruiseStationPos[i]))
                continue;
            const TPoint q = WorldToScreen(CruiseStationPos[i], CurrentZoomRect(), M, false, true);
            if (PointInRect(Rect(q.X - 3, q.Y - 3, q.X + 3, q.Y + 3), X, Y) && PointInRect(M, q.X, q.Y) &&
                CruiseStationPos[i].x > WestLimit)
                HotStationIndex = int(i);
        }
        PaintBox1->setCursor(HotStationIndex != -1 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }

    if (RubberActive && RctSelBtn->isChecked()) {
        TCanvas &C = PaintBox1->Canvas();
        DrawRubberRect(C, RubberRect);
        RubberRect.Right = MapMouseX;
        RubberRect.Bottom = MapMouseY;
        DrawRubberRect(C, RubberRect);
        PaintBox1->update();
    }
}

void TForm2::PaintBox1MouseDown(int X, int Y)
{
    PaintBox1MouseMove(X, Y);
    if (RctSelBtn->isChecked()) {
        RubberActive = true;
        TCanvas &C = PaintBox1->Canvas();
        C.Pen.Mode = pmNotXor;
        C.Pen.Color = clYellow;
        C.Brush.Style = bsClear;
        RubberRect = Rect(MapMouseX, MapMouseY, MapMouseX, MapMouseY);
    }
    // The station list moves first: a value the data grid cannot store yet
    // keeps the station shown, and the map with it.
    if (HotStationIndex != -1 && size_t(HotStationIndex) < CruiseStationIds.size() && tmpStatTbl->Active())
        tmpStatTbl->Locate("ID_Cast", rtl::Variant(CruiseStationIds[size_t(HotStationIndex)]));
    SelectHotStation();
}

void TForm2::SelectHotStation()
{
    if (CruiseStationPos.empty() || HotStationIndex == -1)
        return;
    TCanvas &C = PaintBox1->Canvas();
    const auto PointOf = [&](int i) {
        return WorldToScreen(CruiseStationPos[size_t(i)], CurrentZoomRect(), MapScreenRect, false, true);
    };
    if (PrevStationIndex != -1 && size_t(PrevStationIndex) < CruiseStationPos.size() &&
        HasPlace(CruiseStationPos[size_t(PrevStationIndex)])) {
        DrawStationMark(C, PointOf(PrevStationIndex), HasStationError(PrevStationIndex) ? clRed : clYellow);
    }
    CurStationIndex = HotStationIndex;
    if (HasPlace(CruiseStationPos[size_t(CurStationIndex)]))
        DrawStationMark(C, PointOf(CurStationIndex), HasStationError(CurStationIndex) ? clMaroon : clLime);
    PrevStationIndex = CurStationIndex;
    PaintBox1->update();
}

void TForm2::PaintBox1MouseUp(int X, int Y)
{
    if (!RubberActive || !RctSelBtn->isChecked())
        return;
    PaintBox1MouseMove(X, Y);
    RubberActive = false;
    TCanvas &C = PaintBox1->Canvas();
    C.Brush.Style = bsSolid;
    C.Pen.Mode = pmCopy;
    C.Pen.Color = clBlack;
    TRect R = RubberRect;
    if (R.Right == R.Left || R.Bottom == R.Top)
        return; // a click without a drag leaves the zoom as it was
    if (R.Left > R.Right)
        std::swap(R.Left, R.Right);
    if (R.Top > R.Bottom)
        std::swap(R.Top, R.Bottom);
    SelectionRect = R;
    // Shifted back inside the map, keeping its size.
    RubberRect = ShiftRectInside(FitRectToAspect(R, double(Image1->height() - 50) / double(Image1->width() - 100)),
                                 MapScreenRect);
    ZoomInBtn->setEnabled(true);
    RctSelBtn->setChecked(false);
}

void TForm2::ZoomInBtnClick()
{
    ZoomStackIn(ZoomStack, ZoomIndex, RubberRect, MapScreenRect);
    SelectionRect = Rect(-5, -5, -5, -5);
    RedrawMap();
    ZoomInBtn->setEnabled(false);
    ZoomOutBtn->setEnabled(true);
    ActSizeBtn->setEnabled(true);
}

void TForm2::ZoomOutBtnClick()
{
    ZoomStackOut(ZoomIndex);
    RedrawMap();
    ZoomOutBtn->setEnabled(ZoomIndex > 0);
    ActSizeBtn->setEnabled(ZoomIndex > 0);
}

void TForm2::ActSizeBtnClick()
{
    ZoomStackFull(ZoomIndex);
    RedrawMap();
    ZoomOutBtn->setEnabled(ZoomIndex > 0);
    ActSizeBtn->setEnabled(ZoomIndex > 0);
}

void TForm2::QuadrSelBtnClick() { PaintBox1->Repaint(); }

void TForm2::SpeedButton12Click()
{
    SpeedButton12->setText(SpeedButton12->isChecked() ? QStringLiteral("SEND TO BACK") : QStringLiteral("BRING TO FRONT"));
    PaintBox1->Repaint();
}

void TForm2::Timer1Timer()
{
    DrawBlinkStep(PaintBox1->Canvas());
    PaintBox1->update();
}

void TForm2::Label10MouseEnter() { GroupBox2->show(); }

void TForm2::Label10MouseLeave() { GroupBox2->hide(); }
