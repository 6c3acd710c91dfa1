// The manual QC editor's profile plot: the profile of the shown parameter
// against pressure (downwards), the climatic mean and its band, the other
// profiles of the square and month in grey, the flag markers, the decimal
// axes; the read-out, the rubber-band zoom with one stack per parameter,
// and the picking of flagged levels.
#include "app/manual/uQCManual.h"

#include "app/ReinRoss.h"
#include "app/UQC.h"
#include "app/manual/StoredEdit.h"
#include "app/manual/map.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TNumberEntry.h"
#include "platform/toolkit/TPaintBox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

constexpr double NoValue = 9999.0;
const TPoint NoPixel{9999, 9999};

void Widen(TRealRect &R, bool &Set, double x, double y)
{
    if (!Set) {
        R = MakeWorldRect(x, y, x, y);
        Set = true;
        return;
    }
    R.xmin = std::min(R.xmin, x);
    R.xmax = std::max(R.xmax, x);
    R.ymin = std::min(R.ymin, y);
    R.ymax = std::max(R.ymax, y);
}

// One level, a constant value or no value at all give an extent without
// width or height; the transforms need both, so such an axis is opened
// about its centre.
void PadExtent(TRealRect &R)
{
    auto Pad = [](double &Lo, double &Hi) {
        if (!(Hi > Lo) || !std::isfinite(Hi - Lo)) {
            const double c = std::isfinite(Lo) ? Lo : 0.0;
            const double h = std::max(std::fabs(c) * 0.05, 0.5);
            Lo = c - h;
            Hi = c + h;
        }
    };
    Pad(R.xmin, R.xmax);
    Pad(R.ymin, R.ymax);
}

bool HasExtent(const TRealRect &R) { return R.xmax > R.xmin && R.ymax > R.ymin; }

// Restores a flag on leaving a scope, whatever the way out.
class TFlagRestore {
public:
    TFlagRestore(bool &AFlag, bool During) : FFlag(AFlag), FSaved(AFlag) { FFlag = During; }
    ~TFlagRestore() { FFlag = FSaved; }
    TFlagRestore(const TFlagRestore &) = delete;
    TFlagRestore &operator=(const TFlagRestore &) = delete;

private:
    bool &FFlag;
    bool FSaved;
};

} // namespace

void TForm2::ClimaticLines(const TRealPointArr &APoints, TRealPointArr &AMean, TRealPointArr &ALower,
                           TRealPointArr &AUpper) const
{
    // Within the climatology's pressures.
    const bool WantMean = SpeedButton16->isChecked(), WantBand = SpeedButton17->isChecked();
    if (!(WantMean || WantBand) || ClimLevels.size() < 2 || !ClimQry || !ClimQry->Active())
        return;
    const double Lo = std::min(std::fabs(ClimLevels.front()), std::fabs(ClimLevels.back()));
    const double Hi = std::max(std::fabs(ClimLevels.front()), std::fabs(ClimLevels.back()));
    const uint16_t N = uint16_t(std::min<size_t>(ClimLevels.size() - 1, 65535));
    for (const TRealPoint &P : APoints) {
        const double Pr = -P.y;
        if (!(std::fabs(Pr) >= Lo && std::fabs(Pr) <= Hi))
            continue;
        const double M = InterpolateReinRoss(ClimLevels, ClimMeans, N, Pr);
        if (!std::isfinite(M))
            continue;
        if (WantMean)
            AMean.push_back(MakeRealPoint(M, P.y));
        if (WantBand) {
            const double Sd = InterpolateReinRoss(ClimLevels, ClimStds, N, Pr);
            if (!std::isfinite(Sd))
                continue;
            ALower.push_back(MakeRealPoint(M - NStdDev * Sd, P.y));
            AUpper.push_back(MakeRealPoint(M + NStdDev * Sd, P.y));
        }
    }
}

TRealRect TForm2::FullPlotView(const TRealPointArr &APoints, const TRealPointArr &AMean, const TRealPointArr &ALower,
                               const TRealPointArr &AUpper, const TRealRect *AOthers) const
{
    TRealRect Full = AOthers ? *AOthers : TRealRect{};
    bool Set = AOthers && HasExtent(*AOthers);
    // With no other profile to frame (a station outside both seas, or without
    // a place), the plot frames the station's own profile and its lines.
    if (!Set)
        for (const TRealPointArr *Line : {&APoints, &AMean, &ALower, &AUpper})
            for (const TRealPoint &P : *Line)
                if (P.x != NoValue && !std::isnan(P.y))
                    Widen(Full, Set, P.x, P.y);
    PadExtent(Full);
    return Full;
}

double TForm2::SpikeSpanOf(const std::string &AParam, const TRealPointArr &APoints)
{
    if (!FullCruiseCheckRunning && CurParamIndex >= 0 && CurParamIndex < ParamList.Count() &&
        ParamList.Strings(CurParamIndex) == AParam)
        return PlotExtents.xmax - PlotExtents.xmin;
    // The grey profiles are those of the profile's own square and month,
    // read once a walk of "Check full Cruise" for each.
    TRealRect Others;
    if (ShowOtherProfiles) {
        int Y = 0, M = 0, D = 0;
        rtl::DecodeDate(tmpStatTbl->FieldByName("Date_Cast")->AsFloat(), Y, M, D);
        const std::string Key = SeaCode + "|" + CastSquareName + "|" + std::to_string(M) + "|" + AParam;
        auto Known = WalkOtherExtents.find(Key);
        if (!FullCruiseCheckRunning || Known == WalkOtherExtents.end()) {
            SelectOtherProfiles();
            Known = WalkOtherExtents.insert_or_assign(Key, OtherProfilesExtent).first;
        }
        Others = Known->second;
    }
    // The station's own profile and climatic lines frame the plot only when
    // no other profile does.
    TRealPointArr Mean, Lower, Upper;
    if (!(ShowOtherProfiles && HasExtent(Others)))
        ClimaticLines(APoints, Mean, Lower, Upper);
    const TRealRect View = FullPlotView(APoints, Mean, Lower, Upper, ShowOtherProfiles ? &Others : nullptr);
    return View.xmax - View.xmin;
}

void TForm2::PaintBox2Paint()
{
    TFlagRestore Busy(ProfileGridReady, false);
    TCanvas &C = PaintBox2->Canvas();
    C.ClearClipRect();
    C.Pen.Mode = pmCopy;
    ReadoutMarkerShown = false;
    LevelMarkerX = LevelMarkerY = 0;
    const size_t k = size_t(CurParamIndex);
    ProfilePoints.clear();
    ProfilePts.clear();
    if (k >= ProfileZoomStacks.size() || k >= ProfileZoomIndex.size() || !ZqQuery2->Active() || !ParamTbl ||
        !ParamTbl->Active() || ProfileZoomStacks[k].empty())
        return;
    TRealRectArr &Stack = ProfileZoomStacks[k];
    int &Index = ProfileZoomIndex[k];
    Index = std::clamp(Index, 0, int(Stack.size()) - 1);

    const int n = ParamTbl->RecordCount();
    ClimErrorPoints.SetSize(n);
    SpikePoints.SetSize(n);
    DensInversionPoints.SetSize(n);
    PlotScreenRect = Rect(40, 5, PaintBox2->width() - 5, PaintBox2->height() - 40);
    C.Brush.Style = bsClear;
    C.Pen.Color = clBlack;
    C.Pen.Width = 1;
    C.Rectangle(PlotScreenRect);
    // Lines of a zoomed plot, the climatic band and the markers reach past
    // the frame: the data is drawn within it only.
    C.SetClipRect(ClipWithEdges(PlotScreenRect));

    const bool Chem = !IsPtsParam(CurParamName);
    const std::string ValueName = ProfileValueField(CurParamName);
    const std::string FlagName = ProfileFlagField(CurParamName);
    // The levels, walked without moving the grid.
    const int RecNo = ParamTbl->RecNo();
    ParamTbl->DisableControls();
    {
        TField *Pres = ParamTbl->FieldByName("PRES"), *Val = ParamTbl->FindField(ValueName),
               *Flag = ParamTbl->FindField(FlagName), *T = ParamTbl->FindField("TEMP"),
               *S = ParamTbl->FindField("PSAL");
        const bool HasDens = ParamTbl->FindField("FDENS") != nullptr;
        double PrevDens = 0;
        bool PrevValid = false;
        int i = 0;
        for (ParamTbl->First(); !ParamTbl->Eof() && i < n; ParamTbl->Next(), ++i) {
            // A level without a pressure has no place on the pressure axis.
            const bool Empty = !Val || Val->IsNull() || Pres->IsNull();
            const TRealPoint P = MakeRealPoint(Empty ? NoValue : Val->AsFloat(),
                                               Pres->IsNull() ? std::nan("") : -Pres->AsFloat());
            ProfilePoints.push_back(P);
            const int F = Flag && !Flag->IsNull() ? Flag->AsInteger() : 0;
            ClimErrorPoints.SetBit(i, F == 2);
            SpikePoints.SetBit(i, Chem ? F == 3 : F == 4);
            DensInversionPoints.SetBit(i, false);
            if (!Chem && HasDens && T && S) {
                if (!T->IsNull() && !S->IsNull()) {
                    const double D = CalcSeaWaterDensity(T->AsFloat(), S->AsFloat());
                    DensInversionPoints.SetBit(i, PrevValid && D - PrevDens < -0.01);
                    PrevDens = D;
                    PrevValid = true;
                } else {
                    PrevValid = false;
                }
            }
        }
    }
    if (RecNo > 0)
        ParamTbl->SetRecNoValue(RecNo);
    ParamTbl->EnableControls();
    // Values and pressures typed next to the plot are drawn where they were
    // typed; the line follows the levels in the order of their pressures.
    std::vector<int> LineOrder;
    if (InPlotChanged && CurCastId == InPlotCastId && CurParamName == InPlotParam &&
        size_t(ZqQuery2->RecordCount()) == InPlotRows.size()) {
        const int Rec = ZqQuery2->RecNo();
        const std::string Column = InPlotValueColumn();
        TField *Pres = ZqQuery2->FindField("PRES"), *Val = Column.empty() ? nullptr : ZqQuery2->FindField(Column);
        size_t r = 0;
        for (ZqQuery2->First(); !ZqQuery2->Eof() && r < InPlotRows.size(); ZqQuery2->Next(), ++r) {
            const size_t L = size_t(InPlotRows[r].Level);
            if (L >= ProfilePoints.size())
                continue;
            if (Val)
                ProfilePoints[L].x = Val->IsNull() ? NoValue : Val->AsFloat();
            if (!Pres->IsNull())
                ProfilePoints[L].y = -Pres->AsFloat();
            LineOrder.push_back(int(L));
        }
        if (Rec > 0)
            ZqQuery2->SetRecNoValue(Rec);
    }
    TRealPointArr Mean, Lower, Upper;
    ClimaticLines(ProfilePoints, Mean, Lower, Upper);
    const bool WantMean = SpeedButton16->isChecked(), WantBand = SpeedButton17->isChecked();
    if (Index == 0)
        Stack[0] = FullPlotView(ProfilePoints, Mean, Lower, Upper, ShowOtherProfiles ? &OtherProfilesExtent : nullptr);
    PlotExtents = Stack[size_t(Index)];
    PadExtent(PlotExtents);

    auto ToScreen = [&](const TRealPoint &P) {
        return P.x == NoValue || std::isnan(P.y) ? NoPixel : WorldToScreen(P, PlotExtents, PlotScreenRect, false, true);
    };
    auto Line = [&](const TRealPointArr &Pts) {
        TPointArr Px;
        Px.reserve(Pts.size());
        for (const TRealPoint &P : Pts)
            Px.push_back(ToScreen(P));
        if (Px.size() >= 2)
            C.Polyline(Px);
    };

    C.Brush.Style = bsClear;
    if (ShowOtherProfiles) {
        C.Pen.Color = TColor(0x808080);
        C.Pen.Width = 2;
        for (const TRealPointArr &Other : OtherProfiles)
            Line(Other);
    }
    C.Pen.Color = TColor(0xFF0000);
    C.Pen.Width = 2;
    if (WantMean)
        Line(Mean);
    if (WantBand) {
        Line(Lower);
        Line(Upper);
    }

    for (const TRealPoint &P : ProfilePoints)
        ProfilePts.push_back(ToScreen(P));
    C.Pen.Color = clRed;
    C.Pen.Width = 2;
    if (ProfilePts.size() == 1 && ProfilePts[0] != NoPixel)
        C.Ellipse(ProfilePts[0].X - 3, ProfilePts[0].Y - 3, ProfilePts[0].X + 3, ProfilePts[0].Y + 3);
    {
        TPointArr Valid;
        auto Take = [&](const TPoint &P) {
            if (P != NoPixel)
                Valid.push_back(P);
        };
        if (LineOrder.size() == ProfilePts.size())
            for (int L : LineOrder)
                Take(ProfilePts[size_t(L)]);
        else
            for (const TPoint &P : ProfilePts)
                Take(P);
        if (Valid.size() >= 2)
            C.Polyline(Valid);
    }

    if (SpeedButton10->isChecked()) {
        C.Pen.Width = 1;
        C.Brush.Style = bsSolid;
        C.Brush.Color = clWhite;
        const bool Dens = CurParamName == "DENS";
        for (int i = 0; i < int(ProfilePts.size()); ++i) {
            const TPoint P = ProfilePts[size_t(i)];
            if (P == NoPixel)
                continue;
            if (DensInversionPoints.Bits(i)) {
                if (Dens && i > 0 && ProfilePts[size_t(i) - 1] != NoPixel) {
                    C.Pen.Color = clNavy;
                    C.Pen.Width = 2;
                    C.Brush.Style = bsClear;
                    C.Ellipse(InversionBox(i));
                    C.Pen.Width = 1;
                    C.Brush.Style = bsSolid;
                } else {
                    C.Pen.Color = clRed;
                    C.Ellipse(P.X - 3, P.Y - 3, P.X + 3, P.Y + 3);
                }
            }
            if (ClimErrorPoints.Bits(i) || SpikePoints.Bits(i)) {
                C.Pen.Color = clRed;
                C.Ellipse(P.X - 3, P.Y - 3, P.X + 3, P.Y + 3);
            }
        }
    }

    C.ClearClipRect();
    if (SpeedButton7->isChecked()) {
        AxesWorldRect = PlotExtents;
        AxesScreenRect = PlotScreenRect;
        C.Pen.Width = 1;
        C.Brush.Style = bsSolid;
        C.Brush.Color = clWhite;
        const int W = PaintBox2->width(), H = PaintBox2->height();
        const TRect &R = PlotScreenRect;
        C.FillRect(Rect(0, 0, W, R.Top));
        C.FillRect(Rect(0, R.Bottom + 1, W, H));
        C.FillRect(Rect(0, R.Top, R.Left, R.Bottom + 1));
        C.FillRect(Rect(R.Right + 1, R.Top, W, R.Bottom + 1));
        C.Pen.Color = clMaroon;
        DrawPlotAxes(C);
    }
    C.Pen.Color = clBlack;
    C.Pen.Width = 1;
    C.Brush.Style = bsSolid;
    // The markers the mouse moves between paints stay within the frame too.
    C.SetClipRect(ClipWithEdges(PlotScreenRect));
}

TRect TForm2::InversionBox(int i) const
{
    const TPoint P = ProfilePts[size_t(i)], Q = ProfilePts[size_t(i) - 1];
    return Rect(std::min(P.X, Q.X) - 7, Q.Y - 7, std::max(P.X, Q.X) + 7, P.Y + 7);
}

void TForm2::PaintBox2MouseMove(int X, int Y)
{
    const TRect &R = PlotScreenRect;
    PlotMouseX = std::clamp(X, R.Left + 6, std::max(R.Left + 6, R.Right - 6));
    PlotMouseY = std::clamp(Y, R.Top + 6, std::max(R.Top + 6, R.Bottom - 6));
    if (!HasExtent(PlotExtents))
        return;
    const TRealPoint World = ScreenToWorld(MakePoint(PlotMouseX, PlotMouseY), PlotExtents, R, false, true);
    TCanvas &C = PaintBox2->Canvas();
    if (PlotRubberActive && SpeedButton1->isChecked()) {
        DrawRubberRect(C, PlotRubberRect);
        PlotRubberRect.Right = PlotMouseX;
        PlotRubberRect.Bottom = PlotMouseY;
        DrawRubberRect(C, PlotRubberRect);
        PaintBox2->update();
        return;
    }
    if (SpeedButton10->isChecked()) {
        PlotHotPoint = -1;
        const bool Dens = CurParamName == "DENS";
        for (int i = 0; i < int(ProfilePts.size()); ++i) {
            const TPoint P = ProfilePts[size_t(i)];
            if (P.X == NoPixel.X)
                continue;
            TRect Box = Rect(P.X - 3, P.Y - 3, P.X + 3, P.Y + 3);
            if (Dens && DensInversionPoints.Bits(i) && i > 0 && ProfilePts[size_t(i) - 1].X != NoPixel.X)
                Box = InversionBox(i);
            else if (!ClimErrorPoints.Bits(i) && !SpikePoints.Bits(i) && !DensInversionPoints.Bits(i))
                continue;
            if (PointInRect(Box, X, Y)) {
                PlotHotPoint = i;
                break;
            }
        }
        PaintBox2->setCursor(PlotHotPoint >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        return;
    }
    if (ReadoutFrozen || InPlotEditing || !PointInRect(R, X, Y) || ProfilePoints.empty() || !ProfileQry || !ProfileQry->Active())
        return;
    int Best = -1;
    double BestDist = 0;
    for (int i = 0; i < int(ProfilePoints.size()); ++i) {
        const double d = std::fabs(World.y - ProfilePoints[size_t(i)].y);
        if (std::isnan(d)) // a level without a pressure is nowhere on the axis
            continue;
        if (Best < 0 || d < BestDist) {
            Best = i;
            BestDist = d;
        }
    }
    if (Best < 0 || Best + 1 > ProfileQry->RecordCount())
        return;
    ProfileQry->SetRecNoValue(Best + 1);
    auto Text = [](TField *F) { return F && !F->IsNull() ? F->AsString() : std::string(); };
    auto Number = [](TField *F) {
        return F && !F->IsNull() ? rtl::FloatToStrF(F->AsFloat(), rtl::ffGeneral, 5, 0) : std::string();
    };
    // The boxes edit ZqQuery2's row of the level: the pressure and value
    // shown are that row's, typed changes included.
    TDataSet *Source = ProfileQry;
    std::string ValueName = ProfileValueField(CurParamName);
    int Row = -1;
    if (CurCastId == InPlotCastId && CurParamName == InPlotParam && ZqQuery2->Active() &&
        size_t(ZqQuery2->RecordCount()) == InPlotRows.size())
        for (size_t r = 0; r < InPlotRows.size() && Row < 0; ++r)
            if (InPlotRows[r].Level == Best)
                Row = int(r);
    if (Row >= 0 && !InPlotValueColumn().empty()) {
        ZqQuery2->SetRecNoValue(Row + 1);
        Source = ZqQuery2;
        ValueName = InPlotValueColumn();
    }
    InPlotBoxes = {CurCastId, CurParamName, Row};
    Edit1->setText(QString::fromStdString(Number(Source->FindField("PRES"))));
    Edit2->setText(QString::fromStdString(Number(Source->FindField(ValueName))));
    Edit3->setText(QString::fromStdString(Text(ProfileQry->FindField("FPRES"))));
    Edit4->setText(QString::fromStdString(Text(ProfileQry->FindField(ProfileFlagField(CurParamName)))));
    C.Pen.Mode = pmNotXor;
    C.Pen.Width = 1;
    C.Pen.Color = clBlack;
    C.Brush.Style = bsClear;
    if (ReadoutMarkerShown)
        C.Ellipse(ReadoutMarker.X - 5, ReadoutMarker.Y - 5, ReadoutMarker.X + 5, ReadoutMarker.Y + 5);
    ReadoutMarkerShown = false;
    const TPoint P = ProfilePts.size() > size_t(Best) ? ProfilePts[size_t(Best)] : NoPixel;
    if (P != NoPixel) {
        C.Ellipse(P.X - 5, P.Y - 5, P.X + 5, P.Y + 5);
        ReadoutMarker = P;
        ReadoutMarkerShown = true;
    }
    C.Pen.Mode = pmCopy;
    C.Brush.Style = bsSolid;
    PaintBox2->update();
}

void TForm2::PaintBox2MouseDown(int X, int Y)
{
    PaintBox2MouseMove(X, Y);
    if (SpeedButton1->isChecked()) {
        PlotRubberActive = true;
        TCanvas &C = PaintBox2->Canvas();
        C.Pen.Mode = pmNotXor;
        C.Pen.Color = clYellow;
        C.Brush.Style = bsClear;
        PlotRubberRect = Rect(PlotMouseX, PlotMouseY, PlotMouseX, PlotMouseY);
        return;
    }
    if (!SpeedButton10->isChecked()) {
        ReadoutFrozen = !ReadoutFrozen;
        return;
    }
    if (PlotHotPoint >= 0 && ParamTbl && ParamTbl->Active()) {
        SelectedLevelIndex = PlotHotPoint;
        ParamTbl->SetRecNoValue(SelectedLevelIndex + 1);
        DrawLevelMarker();
    }
}

void TForm2::PaintBox2MouseUp(int X, int Y)
{
    if (!PlotRubberActive || !SpeedButton1->isChecked())
        return;
    PaintBox2MouseMove(X, Y);
    PlotRubberActive = false;
    TRect R = PlotRubberRect;
    if (R.Right == R.Left || R.Bottom == R.Top)
        return;
    if (R.Left > R.Right)
        std::swap(R.Left, R.Right);
    if (R.Top > R.Bottom)
        std::swap(R.Top, R.Bottom);
    PlotSelectionRect = R;
    PlotRubberRect =
        ShiftRectInside(FitRectToAspect(R, double(PaintBox2->height()) / double(std::max(1, PaintBox2->width()))),
                        PlotScreenRect);
    SpeedButton4->setEnabled(true);
    SpeedButton1->setChecked(false);
}

void TForm2::SpeedButton4Click()
{
    const size_t k = size_t(CurParamIndex);
    if (k >= ProfileZoomStacks.size() || !HasExtent(PlotExtents))
        return;
    ZoomStackIn(ProfileZoomStacks[k], ProfileZoomIndex[k], PlotRubberRect, PlotScreenRect, false, true);
    PlotExtents = ProfileZoomStacks[k][size_t(ProfileZoomIndex[k])];
    SpeedButton4->setEnabled(false);
    SpeedButton5->setEnabled(true);
    SpeedButton6->setEnabled(true);
    PaintBox2->Repaint();
}

void TForm2::SpeedButton5Click()
{
    const size_t k = size_t(CurParamIndex);
    if (k >= ProfileZoomStacks.size())
        return;
    int &Index = ProfileZoomIndex[k];
    if (Index > 0) {
        --Index;
        ProfileZoomStacks[k].resize(size_t(Index) + 1);
        PlotExtents = ProfileZoomStacks[k][size_t(Index)];
    }
    SpeedButton5->setEnabled(Index > 0);
    SpeedButton6->setEnabled(Index > 0);
    PaintBox2->Repaint();
}

void TForm2::SpeedButton6Click()
{
    const size_t k = size_t(CurParamIndex);
    if (k >= ProfileZoomStacks.size())
        return;
    ProfileZoomIndex[k] = 0;
    PlotExtents = ProfileZoomStacks[k][0];
    SpeedButton5->setEnabled(false);
    SpeedButton6->setEnabled(false);
    PaintBox2->Repaint();
}

void TForm2::SpeedButton11Click()
{
    const bool Down = SpeedButton11->isChecked();
    for (QToolButton *B : {SpeedButton8, SpeedButton9, SpeedButton10, SpeedButton16, SpeedButton17})
        B->setEnabled(!Down);
    Panel11->setVisible(Down);
}

// The axes, point picking, the climatic mean and band only change what the
// plot shows.
void TForm2::SpeedButton7Click() { PaintBox2->Repaint(); }
void TForm2::SpeedButton10Click() { PaintBox2->Repaint(); }
void TForm2::SpeedButton16Click() { PaintBox2->Repaint(); }
void TForm2::SpeedButton17Click() { PaintBox2->Repaint(); }

// ---- in-plot editing -------------------------------------------------------------
// A value or pressure typed next to the plot changes ZqQuery2's cached row
// of the level and the plot, not the grid. Nothing typed is lost: before the
// profile is selected again (another station or parameter, a re-check,
// closing) the typed changes go to the station database as level edits,
// each with its undo value; under AUTO QC that is at once, with the check
// that follows every edit. What is typed goes to the level the boxes show
// (InPlotBoxes), never to another.

std::string TForm2::InPlotValueColumn() const
{
    // Density is computed from temperature and salinity: the query has no
    // column to take a typed value.
    if (InPlotParam == "DENS")
        return "";
    return InPlotParam;
}

void TForm2::BuildInPlotRows()
{
    InPlotRows.clear();
    InPlotChanged = false;
    InPlotCastId = CurCastId;
    InPlotParam = CurParamName;
    if (!ZqQuery2->Active())
        return;
    TField *Pres = ZqQuery2->FindField("PRES");
    const std::string Column = InPlotValueColumn();
    TField *Val = Column.empty() ? nullptr : ZqQuery2->FindField(Column);
    int Level = 0;
    for (ZqQuery2->First(); !ZqQuery2->Eof(); ZqQuery2->Next(), ++Level)
        InPlotRows.push_back({Level, TStoredEdit::StoredPres(*Pres), TStoredEdit::UnreadPres(*ZqQuery2),
                              Pres->AsString(), Val ? Val->AsString() : std::string()});
    ZqQuery2->First();
}

bool TForm2::ApplyInPlotEdits()
{
    if (!InPlotChanged)
        return false;
    InPlotChanged = false;
    if (!ZqQuery2->Active() || size_t(ZqQuery2->RecordCount()) != InPlotRows.size())
        return false;
    // Every value before any pressure: each level is found by the pressure
    // it is stored at, and a level typed onto another level's pressure
    // would leave that one's value two rows to match.
    struct TTyped {
        size_t Row;
        TStoredChange Change;
        double NewPres = 0; // of a pressure typed
    };
    std::vector<TTyped> Typed, Pressures;
    const std::string Column = InPlotValueColumn();
    TField *Pres = ZqQuery2->FindField("PRES");
    TField *Val = Column.empty() ? nullptr : ZqQuery2->FindField(Column);
    size_t r = 0;
    for (ZqQuery2->First(); !ZqQuery2->Eof() && r < InPlotRows.size(); ZqQuery2->Next(), ++r) {
        const TInPlotRow &Row = InPlotRows[r];
        // A value the driver could not read is kept in its undo row as the
        // driver quoted it, never as empty.
        const std::string Words =
            Val && Row.Value.empty() ? UnreadLevelWords(UnreadLevelValues(*ZqQuery2), Column) : std::string();
        if (Val && Val->AsString() != Row.Value)
            Typed.push_back({r,
                             {ProfileValueField(InPlotParam), Val->IsNull() ? "NULL" : SqlFloat(Val->AsFloat()),
                              Words.empty() ? Row.Value : TStoredEdit::UnreadUndoText(Words), Val->AsString()}});
        if (Pres->AsString() != Row.Pres && !Pres->IsNull())
            Pressures.push_back({r, {"PRES", SqlFloat(Pres->AsFloat()), Row.Pres, Pres->AsString()}, Pres->AsFloat()});
    }
    Typed.insert(Typed.end(), Pressures.begin(), Pressures.end());
    TStoredEdit Stored(*ZqEditCmmnd, *ZqEditQry, *undoqry);
    std::string Failures;
    bool Locked = false;
    for (const auto &[Row, Change, NewPres] : Typed) {
        TInPlotRow &Level = InPlotRows[Row];
        std::string Failure = Stored.SetLevel(InPlotParam, InPlotCastId, Level.StoredPres, Level.PresUnread, Change);
        if (Stored.Locked()) {
            // Another program writes: the rest would each wait as long.
            Failures += (Failures.empty() ? "" : "\n") + Failure;
            Locked = true;
            break;
        }
        Failure += Stored.WorkFailure();
        if (!Failure.empty())
            Failures += (Failures.empty() ? "" : "\n") + Failure;
        // What is stored is no longer typed.
        else if (Change.Column == "PRES")
            Level.StoredPres = NewPres, Level.Pres = Change.After;
        else
            Level.Value = Change.After;
    }
    if (Locked) {
        // What was not stored stays typed, for the next load or check to
        // write; what was to follow waits with it.
        InPlotChanged = true;
        MessageDlg(Failures, mtError, mbOK);
        rtl::Abort();
    }
    // The rows now hold what the database holds; the reload that follows
    // selects them again.
    ZqQuery2->CancelUpdates();
    InPlotRows.clear();
    if (!Failures.empty())
        MessageDlg(Failures, mtError, mbOK);
    return !Typed.empty();
}

void TForm2::FollowGridEditInPlot(double StoredPres, const std::string &Field, const TField &F)
{
    if (CurCastId != InPlotCastId || CurParamName != InPlotParam || !ZqQuery2->Active() ||
        size_t(ZqQuery2->RecordCount()) != InPlotRows.size())
        return;
    const bool IsPres = rtl::SameText(Field, "PRES");
    const std::string Column = InPlotValueColumn();
    if (!IsPres && (Column.empty() || !rtl::SameText(Field, ProfileValueField(InPlotParam))))
        return;
    for (size_t r = 0; r < InPlotRows.size(); ++r) {
        // An edit of a level whose pressure cannot be read is refused: the
        // one followed is of the level stored at StoredPres.
        TInPlotRow &Row = InPlotRows[r];
        if (!Row.PresUnread.empty() || !TStoredEdit::SamePres(Row.StoredPres, StoredPres))
            continue;
        const int Rec = ZqQuery2->RecNo();
        ZqQuery2->SetRecNoValue(int(r) + 1);
        TField *Target = ZqQuery2->FieldByName(IsPres ? std::string("PRES") : Column);
        ZqQuery2->Edit();
        if (F.IsNull())
            Target->Clear();
        else
            Target->SetAsString(F.AsString());
        ZqQuery2->Post();
        if (IsPres) {
            Row.StoredPres = TStoredEdit::StoredPres(*Target);
            Row.Pres = Target->AsString();
        } else {
            Row.Value = Target->AsString();
        }
        if (Rec > 0)
            ZqQuery2->SetRecNoValue(Rec);
        return;
    }
}

namespace {

// A typed number, or an empty box; false (reported) for anything else.
bool TypedNumber(const QLineEdit &Box, std::string &Text, bool EmptyAllowed)
{
    Text = rtl::Trim(Box.text().toStdString());
    double Value = 0;
    if ((Text.empty() && EmptyAllowed) || (!Text.empty() && rtl::TryStrToFloat(Text, Value)))
        return true;
    MessageDlg(WithDecimalPointHint("'" + Text + "' is not a valid floating point value", Text), mtError, mbOK);
    return false;
}

} // namespace

void TForm2::ClearInPlotBoxes()
{
    // Only Enter stores what is typed; a load that empties the boxes before
    // says so, and the read-out follows the mouse again.
    const bool Typed = InPlotEditing && !(Edit1->text().isEmpty() && Edit2->text().isEmpty());
    for (QLineEdit *E : {Edit1, Edit2, Edit3, Edit4})
        E->clear();
    InPlotBoxes = {};
    InPlotEditing = false;
    if (Typed)
        MessageDlg("What was typed next to the plot was not stored: Enter stores it.", mtWarning, mbOK);
}

bool TForm2::GoToInPlotBoxesLevel(const QLineEdit &Box)
{
    const TInPlotBoxes &B = InPlotBoxes;
    if (B.Row >= 0 && B.CastId == CurCastId && B.Param == CurParamName && CurCastId == InPlotCastId &&
        CurParamName == InPlotParam && ZqQuery2->Active() && size_t(ZqQuery2->RecordCount()) == InPlotRows.size() &&
        size_t(B.Row) < InPlotRows.size()) {
        ZqQuery2->SetRecNoValue(B.Row + 1);
        return true;
    }
    if (!rtl::Trim(Box.text().toStdString()).empty())
        MessageDlg("The value was not stored: the boxes show no level of this profile. Point at the level on the "
                   "plot, then type its value.",
                   mtWarning, mbOK);
    return false;
}

void TForm2::AfterLevelEdit()
{
    // "Check Current profile" writes the values typed next to the plot
    // before it checks, and loads the profile again; a parameter the run
    // does not check keeps them until the next load, drawn where typed.
    if (CheckBox1->isChecked() && CurParamIndex >= 0 && CurParamIndex < ParamList.Count() &&
        ParamsToCheck.Bits(CurParamIndex)) {
        BitBtn5Click(); // draws the profile loaded again
        return;
    }
    PaintBox2->Repaint();
    // A flag typed or put back stands as the checks' would: the tree follows.
    if (CurCastId >= 0)
        RenewDataErrorNodes(std::to_string(CurCastId));
}

void TForm2::ApplyInPlotValue()
{
    const std::string Column = InPlotValueColumn();
    if (Column.empty() || FullCruiseCheckRunning || !GoToInPlotBoxesLevel(*Edit2))
        return;
    std::string Text;
    if (!TypedNumber(*Edit2, Text, true))
        return;
    LevelMarkerX = LevelMarkerY = 0;
    ReadoutMarkerShown = false;
    TField *F = ZqQuery2->FieldByName(Column);
    ZqQuery2->Edit();
    if (Text.empty())
        F->Clear();
    else
        F->SetAsString(Text);
    ZqQuery2->Post();
    InPlotChanged = true;
    AfterLevelEdit();
}

void TForm2::ApplyInPlotPressure()
{
    if (FullCruiseCheckRunning || !GoToInPlotBoxesLevel(*Edit1))
        return;
    std::string Text;
    if (!TypedNumber(*Edit1, Text, false))
        return;
    const double NewPres = rtl::StrToFloat(Text);
    std::vector<std::string> Texts;
    std::vector<bool> Nulls;
    for (int i = 0; i < ZqQuery2->FieldCount(); ++i) {
        Texts.push_back(ZqQuery2->Fields()[i]->AsString());
        Nulls.push_back(ZqQuery2->Fields()[i]->IsNull());
    }
    TField *PresField = ZqQuery2->FieldByName("PRES");
    const int PresIndex = PresField->Index();
    Texts[size_t(PresIndex)] = Text;
    Nulls[size_t(PresIndex)] = false;
    const size_t From = size_t(ZqQuery2->RecNo() - 1);
    const TInPlotRow Moved = InPlotRows[From];

    {
        // The plot must not paint from a half-moved row set.
        TFlagRestore Moving(ProfileGridReady, false);
        ZqQuery2->Delete();
        InPlotRows.erase(InPlotRows.begin() + long(From));
        ZqQuery2->First();
        while (!ZqQuery2->Eof() && ZqQuery2->FieldByName("PRES")->AsFloat() < NewPres)
            ZqQuery2->Next();
        if (!ZqQuery2->Eof())
            ZqQuery2->Insert();
        else
            ZqQuery2->Append();
        for (int i = 0; i < ZqQuery2->FieldCount() && size_t(i) < Texts.size(); ++i) {
            if (Nulls[size_t(i)])
                ZqQuery2->Fields()[i]->Clear();
            else
                ZqQuery2->Fields()[i]->SetAsString(Texts[size_t(i)]);
        }
        ZqQuery2->Post();
        const size_t To = std::min(size_t(std::max(ZqQuery2->RecNo() - 1, 0)), InPlotRows.size());
        InPlotRows.insert(InPlotRows.begin() + long(To), Moved);
        InPlotBoxes.Row = int(To); // the boxes go with their level
    }
    InPlotChanged = true;
    LevelMarkerX = LevelMarkerY = 0;
    ReadoutMarkerShown = false;
    AfterLevelEdit();
}

void TForm2::Edit4MouseMove()
{
    if (!InPlotEditShown)
        return;
    InPlotEditShown = false;
    const std::string Column = InPlotValueColumn();
    if (InPlotEditing || Column.empty() || CurCastId != InPlotCastId || CurParamName != InPlotParam ||
        !ZqQuery2->Active() || ZqQuery2->IsEmpty() || !HasExtent(PlotExtents))
        return;
    TField *Pres = ZqQuery2->FieldByName("PRES"), *Val = ZqQuery2->FieldByName(Column);
    auto Number = [](TField *F) {
        return F->IsNull() ? std::string() : rtl::FloatToStrF(F->AsFloat(), rtl::ffGeneral, 5, 3);
    };
    Edit1->setText(QString::fromStdString(Number(Pres)));
    Edit2->setText(QString::fromStdString(Number(Val)));
    Edit3->setText(QString::fromStdString(ZqQuery2->FieldByName("FPRES")->AsString()));
    Edit4->setText(QString::fromStdString(ZqQuery2->FieldByName("F" + Column)->AsString()));
    InPlotBoxes = {CurCastId, CurParamName, ZqQuery2->RecNo() - 1};
    if (Pres->IsNull() || Val->IsNull())
        return;
    const TPoint P = WorldToScreen(MakeRealPoint(Val->AsFloat(), -Pres->AsFloat()), PlotExtents, PlotScreenRect,
                                   false, true);
    TCanvas &C = PaintBox2->Canvas();
    C.Pen.Mode = pmXor;
    C.Pen.Color = clYellow;
    C.Pen.Width = 2;
    C.Brush.Style = bsClear;
    C.Ellipse(P.X - 5, P.Y - 5, P.X + 5, P.Y + 5);
    C.Pen.Mode = pmCopy;
    C.Pen.Width = 1;
    C.Brush.Style = bsSolid;
    LevelMarkerX = P.X;
    LevelMarkerY = P.Y;
    PaintBox2->update();
}

// Enter takes what was typed: the typing is over before it is stored, since
// the check that follows the store under AUTO QC loads the profile again,
// and a load takes a text still being typed for one Enter did not store.
void TForm2::Edit2KeyDown(int Key)
{
    InPlotEditing = false;
    if (Key == Qt::Key_Return || Key == Qt::Key_Enter)
        ApplyInPlotValue();
}

void TForm2::Edit1KeyDown(int Key)
{
    InPlotEditing = false;
    if (Key == Qt::Key_Return || Key == Qt::Key_Enter)
        ApplyInPlotPressure();
}

void TForm2::Label11MouseLeave()
{
    // A box being typed into keeps its text and its level.
    if (!ReadoutMarkerShown || InPlotEditing)
        return;
    InPlotEditShown = true;
    TCanvas &C = PaintBox2->Canvas();
    C.Pen.Mode = pmNotXor;
    C.Pen.Width = 1;
    C.Pen.Color = clBlack;
    C.Brush.Style = bsClear;
    C.Ellipse(ReadoutMarker.X - 5, ReadoutMarker.Y - 5, ReadoutMarker.X + 5, ReadoutMarker.Y + 5);
    C.Pen.Mode = pmCopy;
    C.Brush.Style = bsSolid;
    ReadoutMarkerShown = false;
    if (!ReadoutFrozen)
        ClearInPlotBoxes();
    PaintBox2->update();
}
