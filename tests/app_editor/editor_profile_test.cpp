// The editor's profile side on a Black Sea station of the demo database with
// TEMP, PSAL and NO3: the data grid with the run's flags merged by level,
// density and its inversion flag, the plot's pixels, per-parameter zoom,
// and degenerate profiles that must paint without a message.
#include "tests/app_editor/profile_fixture.h"
#include "tests/app_editor/editor_test_util.h"
#include "tests/app_support/AppTestSupport.h"

#include "app/ReinRoss.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/map.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TPaintBox.h"

#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>

#include <cmath>

using namespace editortest;

namespace {

constexpr int SecondStation = 1138;

class EditorProfile : public ProfileFixture {
protected:
    void Open()
    {
        PrepareRunFlags(BlackSeaCruise);
        F = &OpenEditor({BlackSeaCruise});
        ShowStation(Station);
    }
    void ShowStation(int IdCast)
    {
        ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(IdCast)));
        ASSERT_EQ(F->CurCastId, IdCast);
    }
    // The work table's rows: (PRES, the named columns as text).
    std::vector<std::vector<std::string>> GridRows(const std::vector<std::string> &Columns)
    {
        std::vector<std::vector<std::string>> Rows;
        TDataSet *D = F->DataSource2->DataSet();
        EXPECT_NE(D, nullptr);
        if (!D)
            return Rows;
        const int Rec = D->RecNo();
        for (D->First(); !D->Eof(); D->Next()) {
            std::vector<std::string> Row;
            for (const std::string &C : Columns)
                Row.push_back(D->FieldByName(C)->AsString());
            Rows.push_back(Row);
        }
        D->SetRecNoValue(Rec);
        return Rows;
    }
    // Writes one row of the run's level flags for the station.
    void RunFlag(const std::string &Table, double Pres, const std::string &Field, int Value)
    {
        TTable T(nullptr);
        if (Table == "-PTS_DataFlags")
            MakeWorkTable(T, *StructTbl, WorkDir, Table + ".db", "StructTsFlags", "ID_Cast;PRES");
        else
            MakeParamFlagTable(T, *StructTbl, WorkDir, Table.substr(1, Table.size() - 6));
        T.Append();
        T.FieldByName("ID_Cast")->SetAsInteger(Station);
        T.FieldByName("PRES")->SetAsFloat(Pres);
        T.FieldByName(Field)->SetAsInteger(Value);
        T.Post();
    }
    TColor At(TPoint P) const { return F->PaintBox2->Canvas().Pixel(P.X, P.Y); }
    TPoint Pixel(double Value, double Pres) const
    {
        return WorldToScreen(MakeRealPoint(Value, -Pres), PlotExtents, F->PlotScreenRect, false, true);
    }
};

TEST_F(EditorProfile, GridShowsStoredValuesWithTheRunsFlagsMergedByLevel)
{
    const auto Stored = Sql("select PRES, TEMP, FTEMP, PSAL, FPSAL from PTS_Data where ID_Cast=" +
                            std::to_string(Station) + " order by PRES");
    ASSERT_GE(Stored.size(), 4u);
    // The run flagged the second level (its pressure as the checks round it)
    // and left no row for the others.
    const double Pres2 = rtl::StrToFloat(Stored[1][0]);
    PrepareRunFlags(BlackSeaCruise);
    F = &OpenEditor({BlackSeaCruise});
    RunFlag("-PTS_DataFlags", RoundPres(Pres2), "FTEMP", 4);
    ShowStation(Station);
    PickParam("TEMP");
    const auto Rows = GridRows({"PRES", "TEMP", "FTEMP", "PSAL", "FPSAL"});
    ASSERT_EQ(Rows.size(), Stored.size());
    for (size_t i = 0; i < Rows.size(); ++i) {
        EXPECT_DOUBLE_EQ(rtl::StrToFloat(Rows[i][0]), rtl::StrToFloat(Stored[i][0]));
        EXPECT_DOUBLE_EQ(rtl::StrToFloat(Rows[i][1]), rtl::StrToFloat(Stored[i][1]));
        if (i == 1)
            EXPECT_EQ(Rows[i][2], "4");
        else
            EXPECT_EQ(Rows[i][2], Stored[i][2]) << "level " << i << " keeps its stored flag";
        // The run's row holds no salinity flag: the stored one shows.
        EXPECT_EQ(Rows[i][4], Stored[i][4]) << i;
    }
    // TEMP shows its own columns; PSAL's are hidden, PRES formatted.
    TDataSet *D = F->DataSource2->DataSet();
    EXPECT_TRUE(D->FieldByName("TEMP")->Visible());
    EXPECT_FALSE(D->FieldByName("PSAL")->Visible());
    EXPECT_FALSE(D->FieldByName("ID_Cast")->Visible());
    EXPECT_FALSE(D->FieldByName("DENS")->Visible());
    EXPECT_TRUE(F->ProfileGridReady);
    EXPECT_EQ(Messages(), "");
}

TEST_F(EditorProfile, DensityAndItsInversionFlag)
{
    // A made-up inversion: the third level lighter than the second by far.
    const auto Stored = Sql("select PRES from PTS_Data where ID_Cast=" + std::to_string(Station) + " order by PRES");
    ASSERT_GE(Stored.size(), 4u);
    SqlExec("update PTS_Data set TEMP=25, PSAL=17 where ID_Cast=" + std::to_string(Station) + " and PRES=" +
            Stored[2][0]);
    Open();
    PickParam("DENS");
    const auto Rows = GridRows({"TEMP", "PSAL", "DENS", "FDENS"});
    double Prev = 0;
    for (size_t i = 0; i < Rows.size(); ++i) {
        ASSERT_FALSE(Rows[i][0].empty());
        const double D = CalcSeaWaterDensity(rtl::StrToFloat(Rows[i][0]), rtl::StrToFloat(Rows[i][1]));
        EXPECT_NEAR(rtl::StrToFloat(Rows[i][2]), D, 1e-9);
        if (i == 0)
            EXPECT_EQ(Rows[i][3], "") << "the first level has no level above to compare";
        else
            EXPECT_EQ(Rows[i][3], D - Prev < -0.01 ? "3" : "1") << i;
        Prev = D;
    }
    EXPECT_EQ(Rows[2][3], "3");
    // DENS shows temperature, salinity and density together.
    TDataSet *Ds = F->DataSource2->DataSet();
    for (const char *Name : {"TEMP", "PSAL", "DENS", "FDENS"})
        EXPECT_TRUE(Ds->FieldByName(Name)->Visible()) << Name;
    // With point picking on, the inversion is marked by a navy ellipse about
    // the level and the one above.
    F->SpeedButton10->setChecked(true);
    F->PaintBox2->Repaint();
    EXPECT_TRUE(DensInversionPoints.Bits(2));
    EXPECT_FALSE(DensInversionPoints.Bits(1));
    const TRect Box = F->InversionBox(2);
    bool Navy = false;
    for (int x = Box.Left; x < Box.Right && !Navy; ++x)
        for (int y = Box.Top; y < Box.Bottom && !Navy; ++y)
            Navy = At(Point(x, y)) == clNavy;
    EXPECT_TRUE(Navy);
    apptest::SaveScreenshot(*F, "editor_profile_density");
}

TEST_F(EditorProfile, ChemicalParameterShowsItsFlagTableAsFChem)
{
    Open();
    PickParam("NO3");
    const auto Stored = Sql("select PRES, NO3, FNO3 from NO3 where ID_Cast=" + std::to_string(Station) +
                            " order by PRES");
    auto Rows = GridRows({"PRES", "Chem", "FChem"});
    ASSERT_EQ(Rows.size(), Stored.size());
    ASSERT_GE(Rows.size(), 3u);
    for (size_t i = 0; i < Rows.size(); ++i) {
        EXPECT_DOUBLE_EQ(rtl::StrToFloat(Rows[i][1]), rtl::StrToFloat(Stored[i][1]));
        EXPECT_EQ(Rows[i][2], Stored[i][2]) << "no flag table: the stored flags";
    }
    // With the run's flag table the run's F<P> is shown as FChem, by level.
    RunFlag("-NO3flags", RoundPres(rtl::StrToFloat(Stored[2][0])), "FNO3", 3);
    PickParam("NO3");
    Rows = GridRows({"PRES", "Chem", "FChem"});
    for (size_t i = 0; i < Rows.size(); ++i)
        EXPECT_EQ(Rows[i][2], i == 2 ? std::string("3") : Stored[i][2]) << i;
    // A chemical flag 3 is a spike on the plot.
    EXPECT_TRUE(F->SpikePoints.Bits(2));
    EXPECT_FALSE(ClimErrorPoints.Bits(2));
    TDataSet *D = F->DataSource2->DataSet();
    EXPECT_TRUE(D->FieldByName("Chem")->Visible());
    EXPECT_TRUE(D->FieldByName("FChem")->Visible());
    EXPECT_EQ(Messages(), "");
}

TEST_F(EditorProfile, PlotDrawsTheProfileAtItsLevelsDownwards)
{
    Open();
    // The axes' ticks would lie over the line.
    F->SpeedButton7->setChecked(false);
    PickParam("TEMP");
    const auto Stored = Sql("select PRES, TEMP from PTS_Data where ID_Cast=" + std::to_string(Station) +
                            " order by PRES");
    ASSERT_FALSE(F->ProfilePts.empty());
    ASSERT_EQ(F->ProfilePts.size(), Stored.size());
    for (size_t i = 0; i < Stored.size(); ++i) {
        const TPoint P = Pixel(rtl::StrToFloat(Stored[i][1]), rtl::StrToFloat(Stored[i][0]));
        EXPECT_EQ(F->ProfilePts[i], P) << i;
        EXPECT_EQ(At(P), clRed) << "level " << i;
    }
    // The deepest level is the lowest.
    EXPECT_GT(F->ProfilePts.back().Y, F->ProfilePts.front().Y);
    // The full view holds the whole profile inside the plot's frame.
    for (const TPoint &P : F->ProfilePts)
        EXPECT_TRUE(PointInRect(F->PlotScreenRect, P.X, P.Y));
    // The read-out follows the mouse to the nearest level.
    const TPoint Deep = F->ProfilePts.back();
    MoveTo(F->PaintBox2, Deep.X, Deep.Y);
    EXPECT_EQ(F->Edit1->text().toStdString(), rtl::FloatToStrF(rtl::StrToFloat(Stored.back()[0]), rtl::ffGeneral, 5, 0));
    apptest::SaveScreenshot(*F, "editor_profile");
}

TEST_F(EditorProfile, ZoomStackPerParameterResetOnStationChange)
{
    Open();
    PickParam("TEMP");
    const TRealRect Full = PlotExtents;
    // Rubber band in the plot's middle, then zoom in.
    F->SpeedButton1->setChecked(true);
    const TRect &R = F->PlotScreenRect;
    const int cx = (R.Left + R.Right) / 2, cy = (R.Top + R.Bottom) / 2;
    Press(F->PaintBox2, cx - 30, cy - 30);
    MoveTo(F->PaintBox2, cx + 30, cy + 30);
    Release(F->PaintBox2, cx + 30, cy + 30);
    ASSERT_TRUE(F->SpeedButton4->isEnabled());
    F->SpeedButton4->click();
    const int k = F->CurParamIndex;
    EXPECT_EQ(F->ProfileZoomIndex[size_t(k)], 1);
    EXPECT_LT(PlotExtents.xmax - PlotExtents.xmin, Full.xmax - Full.xmin);
    // Another parameter keeps its own full view; back on TEMP the zoom is kept.
    PickParam("PSAL");
    EXPECT_EQ(F->ProfileZoomIndex[size_t(F->CurParamIndex)], 0);
    PickParam("TEMP");
    EXPECT_EQ(F->ProfileZoomIndex[size_t(k)], 1);
    // Back, then in again and full view.
    F->SpeedButton5->click();
    EXPECT_EQ(F->ProfileZoomIndex[size_t(k)], 0);
    EXPECT_EQ(PlotExtents, Full);
    EXPECT_FALSE(F->SpeedButton5->isEnabled());
    // Another station starts from the full view.
    F->SpeedButton1->setChecked(true);
    Press(F->PaintBox2, cx - 20, cy - 20);
    Release(F->PaintBox2, cx + 20, cy + 20);
    F->SpeedButton4->click();
    EXPECT_EQ(F->ProfileZoomIndex[size_t(k)], 1);
    ShowStation(SecondStation);
    EXPECT_EQ(F->ProfileZoomIndex[size_t(F->CurParamIndex)], 0);
    EXPECT_EQ(Messages(), "");
}

TEST_F(EditorProfile, DegenerateProfilesPaintWithoutAMessage)
{
    // One level only, and a constant value at two levels.
    SqlExec("delete from PTS_Data where ID_Cast=" + std::to_string(Station) +
            " and PRES > (select min(PRES) from PTS_Data where ID_Cast=" + std::to_string(Station) + ")");
    SqlExec("update PTS_Data set TEMP=8.5 where ID_Cast=" + std::to_string(SecondStation));
    Open();
    PickParam("TEMP");
    ASSERT_EQ(F->ProfilePts.size(), 1u);
    EXPECT_TRUE(PlotExtents.xmax > PlotExtents.xmin && PlotExtents.ymax > PlotExtents.ymin);
    const TPoint P = F->ProfilePts[0];
    EXPECT_TRUE(PointInRect(F->PlotScreenRect, P.X, P.Y));
    // A circle about the single level.
    EXPECT_EQ(At(Point(P.X - 3, P.Y)), clRed);
    MoveTo(F->PaintBox2, P.X, P.Y);
    ShowStation(SecondStation);
    EXPECT_TRUE(PlotExtents.xmax > PlotExtents.xmin);
    F->SpeedButton19->setChecked(true);
    F->SpeedButton19Click();
    EXPECT_EQ(Messages(), "");
}

} // namespace

namespace {

TEST_F(EditorProfile, AStationWithoutAPlaceShowsItsOwnProfileAndNoOthers)
{
    SqlExec("update Cast_Titles set Lon=NULL, Lat=NULL where ID_Cast=" + std::to_string(SecondStation));
    Open();
    PickParam("TEMP");
    F->SpeedButton19->setChecked(true);
    F->SpeedButton19Click();
    ASSERT_FALSE(F->OtherProfiles.empty());
    ShowStation(SecondStation);
    ASSERT_TRUE(F->ShowOtherProfiles);
    EXPECT_TRUE(F->OtherProfiles.empty()); // not those of the last station's square
    ASSERT_FALSE(F->ProfilePts.empty());
    for (const TPoint &P : F->ProfilePts)
        EXPECT_TRUE(PointInRect(F->PlotScreenRect, P.X, P.Y));
    // Said when its cruise is picked, as the run says it.
    EXPECT_EQ(Messages(), "The station " + std::to_string(SecondStation) + " of the cruise BS02_PV41 has no position "
                          "that can be read: its depth and levels are not checked\n");
}

TEST_F(EditorProfile, ParameterListLeavesPressureOutAndPutsDensityAfterSalinity)
{
    // The station stores its pressure as PRESS: it is the plot's axis, not a
    // parameter to pick.
    Open();
    std::vector<std::string> Lines;
    for (int i = 0; i < F->ListBox2->count(); ++i)
        Lines.push_back(F->ListBox2->item(i)->text().toStdString());
    EXPECT_EQ(Lines, (std::vector<std::string>{"TEMPERATURE DEG C", "PRACTICAL SALINITY PSU", "DENSITY (CALCULATED)",
                                               "NITRATE UMOL/L", "DISSOLVED OXYGEN ML/L"}));
    std::string Params;
    for (int i = 0; i < ParamList.Count(); ++i)
        Params += (i ? " " : "") + ParamList[i];
    EXPECT_EQ(Params, "TEMP PSAL DENS NO3 DOX1");
    EXPECT_FALSE(ParamsToCheck.Bits(2));
    // Picking an entry shows that parameter.
    F->ListBox2->setCurrentRow(3);
    F->ListBox2Click();
    EXPECT_EQ(CurParamName, "NO3");
    EXPECT_EQ(F->DataSource2->DataSet()->FindField("Chem") != nullptr, true);
}

} // namespace
