// "CHECK SELECTED STATION AS DUPLICATE": the mark writes 17 into all four
// flags of the station in the main database, the run's flag tables and the
// undo table, whichever grid the station was chosen in, and survives the
// editor's closing.
#include "tests/app_editor/editor_fixture.h"
#include "tests/app_editor/editor_test_util.h"
#include "tests/app_support/AppTestSupport.h"

#include "app/UQC.h"
#include "app/manual/map.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TDBGridModel.h"

#include <QFocusEvent>

#include <algorithm>
#include <QFrame>
#include <QToolButton>

using namespace editortest;

namespace {

// Cruise 30 holds the demo's planted duplicate: its station 1140 repeats
// station 1033 of cruise 27.
constexpr int Cruise = 30, Station = 1140, Other = 1033, OtherCruise = 27;

class EditorDuplicates : public EditorFixture {
protected:
    TForm2 *F = nullptr;
    void Open()
    {
        PrepareRunFlags(Cruise);
        PrepareRunFlags(OtherCruise);
        PrepareDuplicates(std::to_string(Other));
        F = &OpenEditor({Cruise});
    }
    // Gives a grid the focus and clicks the row of a station in it.
    TDBGrid *Focused = nullptr;
    void ChooseStation(TDBGrid *Grid, int IdCast)
    {
        if (Focused && Focused != Grid) {
            QFocusEvent Out(QEvent::FocusOut, Qt::MouseFocusReason);
            QCoreApplication::sendEvent(Focused, &Out);
        }
        Focused = Grid;
        QFocusEvent In(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(Grid, &In);
        TDBGridModel &M = Grid->Model();
        for (int r = 0; r < M.rowCount(); ++r) {
            const QModelIndex I = M.index(r, 0);
            Grid->setCurrentIndex(I);
            if (Grid->DataSource()->DataSet()->FieldByName("ID_Cast")->AsInteger() == IdCast) {
                const QPoint At = Grid->visualRect(I).center();
                Press(Grid->viewport(), At.x(), At.y());
                Release(Grid->viewport(), At.x(), At.y());
                return;
            }
        }
        ADD_FAILURE() << "station " << IdCast << " is not in the grid";
    }
    std::vector<apptest::TRow> MainFlags(int IdCast)
    {
        return Sql("select FLon, FLat, FDT, FD from Cast_Titles where ID_Cast=" + std::to_string(IdCast));
    }
    std::vector<int> WorkFlags(TTable &T, int IdCruise, int IdCast)
    {
        std::vector<int> R;
        if (T.Locate("ID_Cruise;ID_Cast", rtl::VarArrayOf({rtl::Variant(IdCruise), rtl::Variant(IdCast)})))
            for (const char *C : {"FLon", "FLat", "FDT", "FD"})
                R.push_back(T.FieldByName(C)->AsInteger());
        return R;
    }
};

const apptest::TRow All17 = {"17", "17", "17", "17"};
const std::vector<int> Work17 = {17, 17, 17, 17};

TEST_F(EditorDuplicates, ThePanelShowsTheCandidatesOnTheMapAndInTheirGrid)
{
    Open();
    ASSERT_TRUE(F->SpeedButton2->isEnabled());
    EXPECT_FALSE(F->Panel17->isVisibleTo(F));
    F->SpeedButton2->click();
    EXPECT_TRUE(F->Panel17->isVisibleTo(F));
    // The run's candidates: every station of another cruise inside the
    // cruise's extent and time span, the planted one among them.
    const int Candidates = DuplicatesQry->RecordCount();
    ASSERT_GE(Candidates, 1);
    ASSERT_EQ(DuplStationPos.size(), size_t(Candidates));
    ASSERT_EQ(F->DuplStationIds.size(), size_t(Candidates));
    EXPECT_NE(std::find(F->DuplStationIds.begin(), F->DuplStationIds.end(), Other), F->DuplStationIds.end());
    EXPECT_EQ(F->DBGrid3->Model().rowCount(), Candidates);
    // Only the fields of the metadata grid show, flags two characters wide.
    TDataSet *D = F->DBGrid3->DataSource()->DataSet();
    EXPECT_TRUE(D->FieldByName("FLon")->Visible());
    EXPECT_EQ(D->FieldByName("FLon")->DisplayWidth(), 2);
    EXPECT_FALSE(D->FieldByName("ID_Cruise")->Visible());
    EXPECT_EQ(D->FieldByName("Time_Cast")->DisplayText().size(), 5u); // "hh:mm"
    // While the duplicates show, the position and time of a station are read-only.
    ChooseStation(F->DBGrid1, Station);
    EXPECT_EQ(F->DBGrid1->FixedColor(), clMoneyGreen);
    EXPECT_TRUE(F->tmpStatTbl->FieldByName("ID_Cast")->ReadOnly());
    EXPECT_TRUE(F->tmpStatTbl->FieldByName("Lon")->ReadOnly());
    EXPECT_FALSE(F->tmpStatTbl->FieldByName("FLon")->ReadOnly());
    apptest::SaveScreenshot(*F, "editor_duplicates");
}

// The editor's search is the run's (its cases are the run's test's): a
// bit-for-bit copy of station 1140 of 1899 at 18:52:31.9 in cruise 27 is
// found with a window of an hour and a minute; a station of another cruise
// whose time cannot be read is said once.
TEST_F(EditorDuplicates, TheSearchFindsACopyAtAnyMoment)
{
    PrepareRunFlags(Cruise);
    SqlExec("update Cast_Titles set Date_Cast = -10, Time_Cast = " + SqlExactFloat((18 * 3600 + 52 * 60 + 31.9) / 86400.0) +
            " where ID_Cast = 1140; insert into Cast_Titles select 2000, 27, Date_Cast, Time_Cast, Lon, Lat, Depth, "
            "StationName, Velosity, FLon, FLat, FDT, FD from Cast_Titles where ID_Cast = 1140; "
            "update Cast_Titles set Time_Cast = 'xyz' where ID_Cast = 5");
    DuplicatesEachStation = false;
    SpatialAdditionMin = TemporalAdditionHours = 1;
    F = &OpenEditor({Cruise, OtherCruise});
    EXPECT_TRUE(DuplicatesQry->Locate("ID_Cast", rtl::Variant(2000)));
    PickCruise(OtherCruise);
    const auto Texts = Script->Texts();
    EXPECT_EQ(std::count_if(Texts.begin(), Texts.end(), [](const std::string &T) {
                  return T.find("The station 5 of the cruise BS91_BI01 is left out of the duplicate search") != std::string::npos;
              }), 1) << ::testing::PrintToString(Texts);
}

TEST_F(EditorDuplicates, TheMarkWritesAllFourFlagsEverywhereAndSurvivesReopening)
{
    Open();
    F->SpeedButton2->click();
    ChooseStation(F->DBGrid1, Station);
    // The column selected does not matter: the mark is the station's.
    F->DBGrid1->SelectFieldByName("Depth");
    F->SpeedButton13->click();
    EXPECT_TRUE(Script->Messages.empty()) << Script->Texts()[0];

    EXPECT_EQ(MainFlags(Station)[0], All17);
    EXPECT_EQ(WorkFlags(*TmpCastFlagsTbl, Cruise, Station), Work17);
    EXPECT_EQ(WorkFlags(*CastFlagtbl, Cruise, Station), Work17);
    ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
    for (const char *C : {"FLon", "FLat", "FDT", "FD"})
        EXPECT_EQ(F->tmpStatTbl->FieldByName(C)->AsInteger(), 17) << C;
    // One undo row per flag with the value it replaced, each the first change.
    std::map<std::string, std::string> Undo;
    for (UndoCastTbl->First(); !UndoCastTbl->Eof(); UndoCastTbl->Next()) {
        EXPECT_EQ(UndoCastTbl->FieldByName("ID_Cast")->AsInteger(), Station);
        EXPECT_EQ(UndoCastTbl->FieldByName("ID_Cruise")->AsInteger(), Cruise);
        EXPECT_TRUE(UndoCastTbl->FieldByName("FirstCh")->AsBoolean());
        Undo[UndoCastTbl->FieldByName("FldName")->AsString()] = UndoCastTbl->FieldByName("FldValue")->AsString();
    }
    const std::map<std::string, std::string> Expected = {{"FLON", "1"}, {"FLAT", "1"}, {"FDT", "1"}, {"FD", "1"}};
    EXPECT_EQ(Undo, Expected);
    // A second mark records nothing new.
    F->SpeedButton13->click();
    EXPECT_EQ(UndoCastTbl->RecordCount(), 4);

    CloseEditor();
    TForm2 &Again = OpenEditor({Cruise});
    ASSERT_TRUE(Again.tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
    for (const char *C : {"FLon", "FLat", "FDT", "FD"})
        EXPECT_EQ(Again.tmpStatTbl->FieldByName(C)->AsInteger(), 17) << C;
}

TEST_F(EditorDuplicates, AMarkInTheDuplicatesGridEditsThatStationByItsId)
{
    Open();
    F->SpeedButton2->click();
    const auto Before = Sql("select ID_Cast, FLon, FLat, FDT, FD from Cast_Titles where ID_Cruise=" +
                            std::to_string(Cruise) + " order by ID_Cast");
    ChooseStation(F->DBGrid3, Other);
    F->SpeedButton13->click();
    EXPECT_TRUE(Script->Messages.empty());
    EXPECT_EQ(F->DBGrid1->FixedColor(), clBtnFace); // left for the duplicates grid
    EXPECT_EQ(MainFlags(Other)[0], All17);
    EXPECT_EQ(WorkFlags(*CastFlagtbl, OtherCruise, Other), Work17);
    // The shown cruise and its work table stay as they were.
    EXPECT_EQ(Sql("select ID_Cast, FLon, FLat, FDT, FD from Cast_Titles where ID_Cruise=" + std::to_string(Cruise) +
                  " order by ID_Cast"),
              Before);
    for (F->tmpStatTbl->First(); !F->tmpStatTbl->Eof(); F->tmpStatTbl->Next())
        EXPECT_EQ(F->tmpStatTbl->FieldByName("FLon")->AsInteger(), 1);
    EXPECT_TRUE(WorkFlags(*TmpCastFlagsTbl, OtherCruise, Other).empty());
    // The grid shows the stored flags of the station.
    TDataSet *D = F->DBGrid3->DataSource()->DataSet();
    EXPECT_EQ(D->FieldByName("ID_Cast")->AsInteger(), Other);
    EXPECT_EQ(D->FieldByName("FD")->AsInteger(), 17);
    EXPECT_EQ(UndoCastTbl->RecordCount(), 4);
}

TEST_F(EditorDuplicates, WithoutTheDuplicatesShownTheButtonDoesNothing)
{
    Open();
    ChooseStation(F->DBGrid1, Station);
    // Outside the duplicates only the identifier is read-only.
    EXPECT_TRUE(F->tmpStatTbl->FieldByName("ID_Cast")->ReadOnly());
    EXPECT_FALSE(F->tmpStatTbl->FieldByName("Lon")->ReadOnly());
    F->SpeedButton13->click();
    EXPECT_EQ(MainFlags(Station)[0], (apptest::TRow{"0", "0", "0", "0"}));
    EXPECT_EQ(UndoCastTbl->RecordCount(), 0);
}

} // namespace
