// The editor's re-checks against a climatology: with AUTO QC a level edit
// re-checks the profile and the grid shows the new flags while the
// operator's 5 stays; "Check full Cruise" walks every station with its
// gauge; the climatic lines of the plot lie within the climatology's
// pressures; closing drops the scratch table.
#include "tests/app_editor/profile_fixture.h"
#include "tests/app_editor/editor_test_util.h"
#include "tests/app_support/AppTestSupport.h"
#include "tests/support/LocalRows.h"

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/map.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "app/manual/Recalcs.h"
#include "app/uQCSettings.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTreeView.h"

#include <QCheckBox>
#include <fstream>
#include <QKeyEvent>
#include <QListWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTabWidget>
#include <QToolButton>

using namespace editortest;

namespace {

class EditorCheck : public ProfileFixture {
protected:
    // With ShippedClimatology the installation's Black Sea climatology, as
    // the operator imports it, comes first: the fixture's adds no level the
    // station's square has already.
    void Open(bool ShippedClimatology = false)
    {
        if (ShippedClimatology) {
            TClimImport Import;
            std::string Error;
            ASSERT_TRUE(ReadClimatologyFile(apptest::ProgramFolder() + "Clim/BlackSea_TS.txt", Import, Error))
                << Error;
            TTable ClimMS(nullptr), ClimBS(nullptr);
            ::LoadClimatology(Import, *StructTbl, ClimMS, ClimBS, WorkDir);
        }
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
        if (rtl::StrToFloat(Pres[i]) >= 25 && rtl::StrToFloat(Pres[i]) <= 35)
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
        const double P = rtl::StrToFloat(Pres[i]);
        if (int(i) == Fixed) {
            EXPECT_EQ(Flags[i], "5");
        } else if (P >= 20 && P <= 60) {
            EXPECT_EQ(Flags[i], "2") << "far from the climatic mean at " << P;
        }
    }
    EXPECT_EQ(Sql("select FTEMP from PTS_Data where ID_Cast=" + std::to_string(Station) + " and PRES=" +
                  Pres[size_t(Fixed)])[0][0],
              "5");
    // A value typed next to the plot is written and checked at once too.
    size_t Typed = 0;
    while (Typed + 1 < Pres.size() && (int(Typed) == Fixed || Flags[Typed] != "2"))
        ++Typed;
    MoveTo(F->PaintBox2, F->ProfilePts[Typed].X, F->ProfilePts[Typed].Y);
    F->Edit2->clear();
    Script->Messages.clear();
    QTest::keyClicks(F->Edit2, QStringLiteral("100"));
    QTest::keyClick(F->Edit2, Qt::Key_Return);
    EXPECT_EQ(Column("FTEMP")[Typed] + " " + Column("TEMP")[Typed], "1 100");
    EXPECT_EQ(Messages(), ""); // Enter stored it: nothing says otherwise

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
    int Walked = 0;
    QObject::connect(F->Gauge1, &QProgressBar::valueChanged, [&](int V) { Walked += V > 0; });
    // A click on the grid queued behind the button is not heard; Esc ends the walk.
    const QPoint Row = F->DBGrid1->visualRect(F->DBGrid1->model()->index(6, 1)).center();
    QCoreApplication::postEvent(F->DBGrid1->viewport(), new QMouseEvent(QEvent::MouseButtonPress, Row, Row, Row,
                                                                        Qt::LeftButton, Qt::LeftButton, {}));
    F->BitBtn3->click();
    EXPECT_EQ(Walked, F->tmpStatTbl->RecordCount());
    EXPECT_TRUE(F->ListBox1->isEnabled() && F->DBGrid1->isEnabled());
    Script->Messages.clear();
    QCoreApplication::postEvent(F->BitBtn3, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    F->BitBtn3->click();
    EXPECT_EQ(Walked, F->tmpStatTbl->RecordCount() + 1);
    // The stopped walk says so, and how far it got.
    EXPECT_EQ(Script->Texts(), std::vector<std::string>{"Quality chek procedure was interrupted: the profiles of 0 of " +
                                                        std::to_string(F->tmpStatTbl->RecordCount()) +
                                                        " stations were checked."});
    EXPECT_FALSE(F->Gauge1->isVisible());
    EXPECT_FALSE(FullCruiseCheckRunning);
    // The Esc stopped the walk and nothing after it: no write-back to come.
    EXPECT_FALSE(AbortRequested);
    EXPECT_FALSE(QcInterrupted);
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
    EXPECT_TRUE(MainTableExists(ScratchCastIdTable()));
    CloseEditor();
    EXPECT_FALSE(MainTableExists(ScratchCastIdTable()));
}

TEST_F(EditorCheck, TheUndockedPlotFloatsFillsItsTitledWindowKeepsAnEscAndComesBack)
{
    Open();
    QWidget *Home = F->Panel4->parentWidget();
    F->SpeedButton14->click();
    ASSERT_NE(F->ProfileWindow, nullptr);
    QWidget &W = *F->ProfileWindow;
    EXPECT_EQ(F->Panel4->parentWidget(), &W);
    EXPECT_EQ(W.windowTitle().toStdString(), "Profile");
    EXPECT_FALSE(F->SpeedButton14->isVisible());
    F->PaintBox2->Repaint();
    EXPECT_FALSE(F->ProfilePts.empty());
    apptest::SaveScreenshot(W, "editor_profile_window");
    for (const QSize Size : {QSize(900, 700), QSize(500, 400)}) {
        W.resize(Size);
        QCoreApplication::processEvents();
        EXPECT_EQ(F->Panel4->size(), Size);
        // The plot takes the panel's width less the parameter list, and its
        // height less the tools and the read-out.
        EXPECT_EQ(F->PaintBox2->geometry().right(), F->ListBox2->geometry().left() - 2) << Size.width();
        EXPECT_GT(F->PaintBox2->width(), Size.width() / 2) << Size.width();
        EXPECT_GT(F->PaintBox2->height(), Size.height() * 3 / 4) << Size.height();
        EXPECT_EQ(F->PaintBox2->Bitmap().Width(), F->PaintBox2->width());
        EXPECT_EQ(apptest::CaptionProblems(W), std::vector<std::string>()) << Size.width();
    }
    apptest::SaveScreenshot(W, "editor_profile_window_small");
    // An Esc there, where nothing runs, interrupts nothing and leaves the
    // plot in its window.
    QTest::keyClick(F->ListBox2, Qt::Key_Escape);
    EXPECT_FALSE(AbortRequested);
    EXPECT_FALSE(QcInterrupted);
    EXPECT_EQ(F->Panel4->parentWidget(), &W);
    W.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(F->ProfileWindow, nullptr);
    EXPECT_EQ(F->Panel4->parentWidget(), Home);
    // Ended as a dialog ends, the window gives the plot back too.
    F->SpeedButton14->click();
    static_cast<QDialog *>(F->ProfileWindow)->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(F->Panel4->parentWidget(), Home);
}

TEST_F(EditorCheck, OtherProfilesAreThoseOfTheShownStationsMonth)
{
    // Cruise 3 was at sea in another month than cruise 30.
    TShownParams Shown;
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
             Sql("select distinct " + MonthOf + " from " + ScratchCastIdTable() + " q, Cast_Titles c where q.ID_Cast = c.ID_Cast"))
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

TEST_F(EditorCheck, TheKeyboardInTheErrorTreeMovesAsAClickDoes)
{
    TShownParams Shown;
    Open();
    F->BitBtn3->click();
    TTreeView &T = *F->TreeView1;
    ASSERT_NE(T.GetFirstNode(), nullptr);
    T.SetSelected(T.GetFirstNode());
    // Down through the nodes of three stations, as far as the third's first
    // parameter: each move goes where a click on the node goes.
    int Stations = 0;
    for (int Step = 0; Step < 60 && Stations < 3; ++Step) {
        QTest::keyClick(&T, Qt::Key_Down);
        TTreeNode *N = T.Selected();
        ASSERT_NE(N, nullptr);
        Stations += N->Level() == 0;
        TTreeNode *Top = N;
        while (Top->Parent())
            Top = Top->Parent();
        EXPECT_EQ(F->tmpStatTbl->FieldByName("ID_Cast")->AsString(), Top->Text()) << N->Text();
        if (N->Level() == 2) {
            EXPECT_EQ(CurParamName, N->Text());
        }
        if (N->Level() == 4) {
            const int Level = std::stoi(N->Text().substr(N->Text().find('#') + 1));
            EXPECT_EQ(F->ZqQuery2->RecNo(), Level) << N->Text();
            EXPECT_EQ(Grid().RecNo(), Level) << N->Text();
        }
    }
    EXPECT_EQ(Stations, 3);
}

// Pixels of a paint box that are not white, within Area (edges included)
// or, with Outside, beyond it.
int Painted(TPaintBox &Box, const TRect &Area, bool Outside = false)
{
    int n = 0;
    for (int y = 0; y < Box.height(); ++y)
        for (int x = 0; x < Box.width(); ++x)
            n += PointInRect(Area, x, y) != Outside && Box.Canvas().Pixel(x, y) != clWhite;
    return n;
}

// The editor as the operator sees it on a 1280 x 1024 screen: a profile
// with its climatic band and the read-out of a level.
TEST_F(EditorCheck, AtItsScreenSizeEveryCaptionShowsAndNothingCoversThePlot)
{
    TShownParams Shown;
    Open(true);
    ASSERT_EQ(F->size(), QSize(1280, 1024));
    // A parameter the run checks and shows: its profile is re-checked by the
    // edits under AUTO QC, by the button under MANUAL QC.
    F->CheckBox1->click();
    ASSERT_TRUE(F->BitBtn5->isEnabled());
    F->BitBtn5->click();
    F->SpeedButton16->click();
    F->SpeedButton17->click();
    ASSERT_TRUE(F->SpeedButton17->isChecked());
    ASSERT_FALSE(F->ProfilePts.empty());
    int Blue = 0;
    for (int y = 0; y < F->PaintBox2->height(); ++y)
        for (int x = 0; x < F->PaintBox2->width(); ++x)
            Blue += F->PaintBox2->Canvas().Pixel(x, y) == TColor(0xFF0000);
    EXPECT_GT(Blue, 100);
    const TPoint Level = F->ProfilePts[F->ProfilePts.size() / 2];
    MoveTo(F->PaintBox2, Level.X, Level.Y);
    EXPECT_FALSE(F->Edit1->text().isEmpty());
    apptest::SaveScreenshot(*F, "editor_profile_band_readout");
    EXPECT_EQ(apptest::CaptionProblems(*F), std::vector<std::string>());

    // Nothing but the plot's own mouse overlay lies on the plot.
    const QRect Plot(F->PaintBox2->mapTo(F, QPoint(0, 0)), F->PaintBox2->size());
    for (QWidget *W : F->findChildren<QWidget *>()) {
        if (W == F->PaintBox2 || W == F->Label11 || !W->isVisibleTo(F) || W->isWindow() ||
            W->isAncestorOf(F->PaintBox2))
            continue;
        const QRect R(W->mapTo(F, QPoint(0, 0)), W->size());
        EXPECT_FALSE(R.intersects(Plot)) << W->objectName().toStdString();
    }

    // Zoomed in far, without axes, the profile and the band cross the frame:
    // what lies outside it stays as the plot's background.
    F->SpeedButton7->click();
    ASSERT_FALSE(F->SpeedButton7->isChecked());
    const TRect &R = F->PlotScreenRect;
    F->PlotRubberRect = Rect(Level.X - 20, Level.Y - 15, Level.X + 20, Level.Y + 15);
    F->SpeedButton4->setEnabled(true);
    F->SpeedButton4->click();
    EXPECT_EQ(Painted(*F->PaintBox2, R, true), 0);
    EXPECT_GT(Painted(*F->PaintBox2, Rect(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1)), 0);
    apptest::SaveScreenshot(*F, "editor_profile_zoomed");

    // A zoomed map keeps its margins white but for the axes.
    F->AxesBtn->click();
    RubberRect = Rect(MapScreenRect.Left + 400, MapScreenRect.Top + 100, MapScreenRect.Left + 700,
                      MapScreenRect.Top + 300);
    F->ZoomInBtn->setEnabled(true);
    F->ZoomInBtn->click();
    ASSERT_EQ(ZoomIndex, 1);
    const TRect &M = MapScreenRect;
    EXPECT_EQ(Painted(*F->PaintBox1, Rect(M.Left - 1, M.Top - 1, M.Right + 1, M.Bottom + 1), true), 0);
    apptest::SaveScreenshot(*F, "editor_map_zoomed");
    F->ActSizeBtn->click();
}

TEST_F(EditorCheck, TheSettingsWindowClosesOnOkAndOnCancel)
{
    QTabWidget Pages;
    Pages.addTab(new QWidget, QStringLiteral("QUALITY CHECK OPTIONS")); // owned by Pages
    QcSettingsPages = &Pages;
    Open();
    for (const char *Button : {"BitBtn1", "BitBtn2"}) {
        F->SpeedButton20->click();
        auto *Settings = F->findChild<TfmQCSettings *>();
        ASSERT_NE(Settings, nullptr) << Button;
        ASSERT_TRUE(Settings->isVisible());
        EXPECT_EQ(Pages.parentWidget(), Settings);
        QPointer<TfmQCSettings> Alive(Settings);
        Settings->findChild<QPushButton *>(QString::fromLatin1(Button))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(Alive) << Button;
        EXPECT_NE(Pages.parentWidget(), Settings) << Button;
    }
    QcSettingsPages = nullptr;
}

// The demo's station 170 of cruise 6 has a temperature spike at 20 dbar, which the run flags 4: "Check full
// Cruise" finds it, whatever the plot on screen (the first station's, spanning more than station 170's). The
// error tree names that level, keeps it through "Check metadata" and drops it when the profile is checked again
// without the spike.
TEST_F(EditorCheck, CheckFullCruiseJudgesEachStationsSpikesByItsOwnPlot)
{
    TClimImport Import;
    std::string Error;
    ASSERT_TRUE(ReadClimatologyFile(apptest::ProgramFolder() + "Clim/Mediterranean_TS.txt", Import, Error)) << Error;
    // Station 170's square only: the whole sea takes long to load.
    const std::string Square = FindSquare(20.1812, 32.4212);
    for (size_t i = 0; i < Import.SubRegions.Items.size(); ++i)
        Import.SubRegions.Checked[i] = Import.SubRegions.Items[i] == Square;
    TTable ClimMS(nullptr), ClimBS(nullptr);
    ::LoadClimatology(Import, *StructTbl, ClimMS, ClimBS, WorkDir);
    LoadClimatology();
    TShownParams Shown;
    SelectedTests.SetBit(tstDataSpike, true);
    F = &OpenEditor({6});
    F->BitBtn3->click();
    EXPECT_EQ(testsupport::LocalRows(WorkDir, "Select FTEMP From \"" + DbTablePrefix +
                                                  "-PTS_DataFlags\" Where ID_Cast = 170 and PRES = 20"),
              std::vector<std::string>{"4"});
    const auto Spikes = [&] {
        std::vector<std::string> Levels;
        TTreeNode *N = FindTreeNode(*F->TreeView1, "170");
        for (N = N ? N->GetNext() : nullptr; N && N->Level() > 0; N = N->GetNext())
            if (N->Level() == 4 && N->Parent()->Text() == "Spike")
                Levels.push_back(N->Parent()->Parent()->Text() + " " + N->Text());
        return Levels;
    };
    const std::string Record =
        std::to_string(std::stoi(Sql("select count(*) from PTS_Data where ID_Cast = 170 and PRES < 20")[0][0]) + 1);
    EXPECT_EQ(Spikes(), std::vector<std::string>{"TEMP PRES=20.0 record #" + Record});
    F->BitBtn4Click();
    EXPECT_EQ(Spikes(), std::vector<std::string>{"TEMP PRES=20.0 record #" + Record});
    // The spike smoothed away and the cruise checked again: its node goes.
    const std::string Around = "from PTS_Data where ID_Cast = 170 and PRES in (select max(PRES) from PTS_Data where "
                               "ID_Cast = 170 and PRES < 20 union select min(PRES) from PTS_Data where ID_Cast = 170 "
                               "and PRES > 20)";
    const std::string Spiked = Sql("select TEMP from PTS_Data where ID_Cast = 170 and PRES = 20")[0][0];
    SqlExec("update PTS_Data set TEMP = (select avg(TEMP) " + Around + ") where ID_Cast = 170 and PRES = 20");
    F->BitBtn3->click();
    EXPECT_EQ(Spikes(), std::vector<std::string>{});
    // Back again, the profile checked alone: it comes back.
    SqlExec("update PTS_Data set TEMP = " + Spiked + " where ID_Cast = 170 and PRES = 20");
    ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(170)));
    PickParam("TEMP");
    if (F->CheckBox1->isChecked())
        F->CheckBox1->click(); // MANUAL QC
    ASSERT_TRUE(F->BitBtn5->isEnabled());
    F->BitBtn5->click();
    EXPECT_EQ(Spikes(), std::vector<std::string>{"TEMP PRES=20.0 record #" + Record});
}

// Without BS_DOX1 each check says so; the cruise's sums up 4 of 7 stations (those with DOX1 levels).
TEST_F(EditorCheck, AMissingClimatologyIsSaidByEachCheckCommand)
{
    TShownParams Shown;
    ParamDisplayList.Add("DOX1");
    SqlExec("delete from DOX1 where ID_Cast in (select ID_Cast from Cast_Titles where ID_Cruise = 30 and "
            "ID_Cast <> 1137 limit 3)");
    apptest::SqliteExec(WorkDir + "worktables.sqlite3", "update param set QC = 1 where Param = 'DOX1'");
    Open();
    PickParam("DOX1");
    F->CheckBox1->click(); // MANUAL QC
    Script->Messages.clear();
    F->BitBtn5->click(), F->BitBtn5->click(), F->BitBtn3->click();
    ASSERT_EQ(Script->Messages.size(), 3u) << Messages(); // in words each time, the cruise's summed up
    EXPECT_EQ(Script->Messages[1].Text, "No climat for DOX1 in the Black Sea: its levels at 1 station are not checked");
    EXPECT_NE(Script->Messages[2].Text.find("No climat for DOX1 in the Black Sea: its levels at 4 stations"),
              std::string::npos);
}

// A station without a position is said as such, not as one in no square
// read while a square file is refused; the stations without climatology
// are counted once. A station no square places is named, as the run does.
TEST_F(EditorCheck, AStationWithoutPositionIsNotSaidAsInNoSquare)
{
    TShownParams Shown;
    SelectedTests.SetBit(tstDataClimat, true);
    SqlExec("update Cast_Titles set Lon = NULL where ID_Cast = 1140");
    std::ofstream(WorkDir + "QuadrMedClim.txt") << "20 30 30 40 M1\n20 40 30 45 M2 \xE4\n";
    EXPECT_THROW(LoadSquares(WorkDir + "QuadrMedClim.txt", MsSquareNames, MsSquares), EInOutError);
    Open();
    F->CheckBox1->click(); // MANUAL QC
    F->BitBtn3->click();
    LoadSquares(CfgDir + "QuadrMedClim.txt", MsSquareNames, MsSquares);
    RefusedSquareFiles.clear();
    EXPECT_EQ(Messages().find("refused"), std::string::npos) << Messages();
    // Each station of the cruise in another square is counted once.
    EXPECT_NE(Messages().find("no profile for the square and month of 4 stations: their 28 levels"), std::string::npos);
    SqlExec("update Cast_Titles set Lon = 180, Lat = 45 where ID_Cast = " + std::to_string(Station));
    PickCruise(BlackSeaCruise);
    ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
    PickParam("TEMP");
    Script->Messages.clear();
    F->BitBtn5->click();
    EXPECT_EQ(Messages(), "The levels of the stations in no QC square are not checked (ID_Cast " +
                              std::to_string(Station) + ")\n");
}

// A value the driver cannot read (a text, an infinite number) is empty in
// the editor's working copy, and shows as the text the driver quoted: its
// check takes the level without it, as the run does, and says so at its own
// level, instead of judging it missing (a 9 the write-back would store over
// it).
TEST_F(EditorCheck, AValueTheDriverCannotReadIsSaidAndNotJudgedMissing)
{
    TShownParams Shown;
    const std::string Levels = "from PTS_Data where ID_Cast = " + std::to_string(Station);
    const auto Pres = Sql("select PRES " + Levels + " order by PRES limit 5");
    ASSERT_EQ(Pres.size(), 5u);
    const std::string At = " " + Levels.substr(Levels.find("where")) + " and PRES = ";
    SqlExec("update PTS_Data set PSAL = 'x'" + At + Pres[1][0] + "; update PTS_Data set TEMP = 9e999, FTEMP = 2" + At +
            Pres[2][0] + "; update PTS_Data set PRES = 'p6'" + At + Pres[4][0]); // a level without pressure in the copy
    Open();
    const auto Shows = [&](int Row, const char *Column) {
        Grid().First();
        Grid().MoveBy(Row);
        return Grid().FieldByName(Column)->DisplayText();
    };
    // The station database orders a text after the numbers: the level is the last.
    const int Last = std::stoi(Sql("select count(*) " + Levels)[0][0]);
    EXPECT_EQ(Shows(Last - 1, "PRES") + Shows(1, "PSAL") + Shows(2, "TEMP"), "'p6''x''Inf'");
    F->CheckBox1->click(); // MANUAL QC
    Script->Messages.clear();
    F->BitBtn5->click();
    ASSERT_EQ(Script->Messages.size(), 1u) << Messages();
    const std::string Said = Script->Messages[0].Text, Head = "The station " + std::to_string(Station) + " is checked without its ";
    for (const std::string &Line :
         {Head + "PRES at level #" + std::to_string(Last) + ", which cannot be read: ",
          Head + "PSAL at level #2 (PRES=" + Pres[1][0] + "), ",
          Head + "TEMP at level #3 (PRES=" + Pres[2][0] + "), which cannot be read: [Marlin][ODBC Access "
                                                          "Driver] Numeric value out of range: 'Inf' is no finite number."})
        EXPECT_NE(Said.find(Line), std::string::npos) << Line << "\n" << Said;
    EXPECT_EQ(Said.find("PRES at level #2"), std::string::npos) << Said;
    EXPECT_EQ(Column("FPSAL")[1] + Column("FTEMP")[2], "00");
    // Nothing of the station's values changed.
    EXPECT_EQ(Sql("select count(*) " + Levels + " and PSAL = 'x' or PRES = 'p6' or TEMP = 9e999")[0][0], "3");
}

} // namespace
