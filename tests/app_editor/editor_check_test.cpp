// The editor's re-checks against a climatology: with AUTO QC a level edit
// re-checks the profile and the grid shows the new flags while the
// operator's 5 stays; "Check full Cruise" walks every station with its
// gauge; the climatic lines of the plot lie within the climatology's
// pressures; closing drops the scratch table.
#include "tests/app_editor/profile_fixture.h"
#include "tests/app_editor/editor_test_util.h"
#include "tests/app_support/AppTestSupport.h"

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/map.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "app/manual/Recalcs.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TPaintBox.h"

#include <QCheckBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

using namespace editortest;

namespace {

class EditorCheck : public ProfileFixture {
protected:
    void Open()
    {
        LoadClimatology();
        PrepareRunFlags(BlackSeaCruise);
        F = &OpenEditor({BlackSeaCruise});
        ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
        PickParam("TEMP");
    }
    std::vector<std::string> Column(const char *Name)
    {
        std::vector<std::string> V;
        for (Grid().First(); !Grid().Eof(); Grid().Next())
            V.push_back(Grid().FieldByName(Name)->AsString());
        return V;
    }
};

TEST_F(EditorCheck, AutoQcRechecksTheProfileAndKeepsTheOperatorsFive)
{
    Open();
    ASSERT_TRUE(F->CheckBox1->isChecked());
    const auto Pres = Column("PRES");
    // The operator fixes the level at 30 dbar.
    int Fixed = -1;
    for (size_t i = 0; i < Pres.size(); ++i)
        if (std::stod(Pres[i]) >= 25 && std::stod(Pres[i]) <= 35)
            Fixed = int(i);
    ASSERT_GE(Fixed, 0);
    F->DBGrid2Enter();
    ASSERT_TRUE(F->DBGrid2->SelectFieldByName("FTEMP"));
    Grid().SetRecNoValue(Fixed + 1);
    Grid().Edit();
    Grid().FieldByName("FTEMP")->SetAsInteger(5);
    Grid().Post();
    const auto Flags = Column("FTEMP");
    for (size_t i = 0; i < Flags.size(); ++i) {
        const double P = std::stod(Pres[i]);
        if (int(i) == Fixed) {
            EXPECT_EQ(Flags[i], "5");
        } else if (P >= 20 && P <= 60) {
            EXPECT_EQ(Flags[i], "2") << "far from the climatic mean at " << P;
        }
    }
    EXPECT_EQ(Sql("select FTEMP from PTS_Data where ID_Cast=" + std::to_string(Station) + " and PRES=" +
                  Pres[size_t(Fixed)])[0][0],
              "5");

    // The blue climatic mean lies only within 20..60 dbar.
    F->SpeedButton16->setChecked(true);
    F->PaintBox2->Repaint();
    bool BlueInside = false, BlueOutside = false;
    const TRect &R = F->PlotScreenRect;
    const int Top = WorldToScreen(MakeRealPoint(PlotExtents.xmin, -20), PlotExtents, R, false, true).Y;
    const int Bottom = WorldToScreen(MakeRealPoint(PlotExtents.xmin, -60), PlotExtents, R, false, true).Y;
    for (int y = R.Top + 1; y < R.Bottom; ++y)
        for (int x = R.Left; x <= R.Right; ++x)
            if (F->PaintBox2->Canvas().Pixel(x, y) == TColor(0xFF0000)) {
                if (y >= Top - 1 && y <= Bottom + 1)
                    BlueInside = true;
                else
                    BlueOutside = true;
            }
    EXPECT_TRUE(BlueInside) << ClimLevels.size() << " " << (ClimQry && ClimQry->Active()) << " " << SeaCode << " "
                            << F->SpeedButton16->isChecked() << " " << PlotExtents.xmax;
    EXPECT_FALSE(BlueOutside);
    apptest::SaveScreenshot(*F, "editor_profile_climatology");
}

TEST_F(EditorCheck, CheckFullCruiseWalksEveryStationWithItsGauge)
{
    Open();
    int Seen = 0;
    QObject::connect(F->Gauge1, &QProgressBar::valueChanged, [&](int) { ++Seen; });
    F->BitBtn3->click();
    EXPECT_GE(Seen, F->tmpStatTbl->RecordCount() - 1);
    EXPECT_FALSE(F->Gauge1->isVisible());
    EXPECT_FALSE(FullCruiseCheckRunning);
    EXPECT_TRUE(F->StationsReady);
    EXPECT_TRUE(F->ProfileGridReady);
    EXPECT_EQ(F->tmpStatTbl->FieldByName("ID_Cast")->AsInteger(), Station);
    // Levels between 20 and 60 dbar of the stations were flagged.
    const auto Flagged = Sql("select count(*) from PTS_Data p, Cast_Titles c where p.ID_Cast=c.ID_Cast and "
                             "c.ID_Cruise=" + std::to_string(BlackSeaCruise) + " and p.PRES between 20 and 60");
    TQuery Q(nullptr);
    Q.SetDatabaseName(WorkDir);
    Q.SQL().Add("Select count(*) From \"" + DbTablePrefix + "-PTS_DataFlags\" Where FTEMP = 2");
    Q.Open();
    EXPECT_GT(Q.Fields()[0]->AsInteger(), 0);
    (void)Flagged;
}

TEST_F(EditorCheck, ClosingDropsTheScratchTable)
{
    Open();
    F->SpeedButton19->setChecked(true);
    F->SpeedButton19Click();
    EXPECT_FALSE(F->OtherProfiles.empty());
    EXPECT_TRUE(MainTableExists("QCCastID"));
    CloseEditor();
    EXPECT_FALSE(MainTableExists("QCCastID"));
}

} // namespace

namespace {

TEST_F(EditorCheck, TheUndockedPlotFloatsAndComesBack)
{
    Open();
    QWidget *Home = F->Panel4->parentWidget();
    F->SpeedButton14->click();
    ASSERT_NE(F->ProfileWindow, nullptr);
    EXPECT_EQ(F->Panel4->parentWidget(), F->ProfileWindow);
    EXPECT_FALSE(F->SpeedButton14->isVisible());
    F->PaintBox2->Repaint();
    EXPECT_FALSE(F->ProfilePts.empty());
    apptest::SaveScreenshot(*F->ProfileWindow, "editor_profile_window");
    F->ProfileWindow->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(F->ProfileWindow, nullptr);
    EXPECT_EQ(F->Panel4->parentWidget(), Home);
}

} // namespace

namespace {

TEST_F(EditorCheck, OtherProfilesAreThoseOfTheShownStationsMonth)
{
    // Cruise 3 was at sea in another month than cruise 30. The run showed
    // TEMP and PSAL.
    struct TShown {
        TShown() { ParamDisplayList.Add("TEMP"), ParamDisplayList.Add("PSAL"); }
        ~TShown() { ParamDisplayList.Clear(); }
    } Shown;
    LoadClimatology();
    PrepareRunFlags(BlackSeaCruise);
    PrepareRunFlags(3);
    F = &OpenEditor({BlackSeaCruise, 3});
    ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
    PickParam("TEMP");
    ASSERT_TRUE(F->SpeedButton19->isEnabled());
    F->SpeedButton19->setChecked(true);
    F->SpeedButton19Click();
    // Days since 1899-12-30 to a month, in the station database's own terms.
    const std::string MonthOf = "cast(strftime('%m', Date_Cast + 2415018.5) as integer)";
    auto MonthOfStation = [&](int IdCast) {
        return Sql("select " + MonthOf + " from Cast_Titles where ID_Cast=" + std::to_string(IdCast))[0][0];
    };
    auto OtherMonths = [&] {
        std::string Months;
        for (const auto &R :
             Sql("select distinct " + MonthOf + " from QCCastID q, Cast_Titles c where q.ID_Cast = c.ID_Cast"))
            Months += (Months.empty() ? "" : " ") + R[0];
        return Months;
    };
    ASSERT_EQ(OtherMonths(), MonthOfStation(Station));
    // The first station of cruise 3 loads with the other profiles still on.
    PickCruise(3);
    ASSERT_NE(F->CurCastId, Station);
    ASSERT_TRUE(F->ShowOtherProfiles);
    ASSERT_NE(MonthOfStation(F->CurCastId), MonthOfStation(Station));
    EXPECT_EQ(OtherMonths(), MonthOfStation(F->CurCastId));
}

} // namespace
