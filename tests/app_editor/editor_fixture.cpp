// The editor's test fixture; see the header.
#include "tests/app_editor/editor_fixture.h"

#include "tests/app_editor/editor_test_util.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TTimer.h"

#include <QListWidget>

#include <filesystem>

namespace editortest {

namespace {

// The installation's map files are read once per process, as the program
// reads them once at start-up.
void LoadMapOnce()
{
    static bool Done = false;
    if (Done)
        return;
    Done = true;
    GridFileName = MapsDir + "out.grd";
    BuildDepthColors();
    LoadSquares(CfgDir + "QuadrHMS.txt", BsSquareNames, BsSquares);
    LoadSquares(CfgDir + "QuadrMedClim.txt", MsSquareNames, MsSquares);
}

template <class T> T *NewLocal(rtl::TComponent *Owner, const std::string &Folder)
{
    T *C = new T(Owner); // owned by Owner
    C->SetDatabaseName(Folder);
    return C;
}

} // namespace

void EditorFixture::SetUp()
{
    querytest::InitServices();
    TTimer::SetManualClock(true);
    Script = std::make_unique<TScriptedDialogs>();
    Dir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(Dir->isValid());
    const std::string Root = Dir->path().toStdString() + "/";

    ProgramDir = std::string(EDITOR_PROGRAM_DIR) + "/";
    MapsDir = ProgramDir + "Maps/";
    CfgDir = ProgramDir + "Cfg/";
    ImgsDir = ProgramDir + "Imgs/";
    ExtraLinesFile = ProgramDir + "QCCont/ALL_.bln";
    SwapCoordColumns = false;
    MapInvertX = false;
    MapInvertY = true;
    LoadMapOnce();
    ZoomStack = {MakeWorldRect(-14, 30, 42, 50)};
    ZoomIndex = 0;
    SelectionRect = Rect(-5, -5, -5, -5);

    DbPath = Root + "marlin_demo.mdb";
    std::filesystem::copy_file(ProgramDir + "demo/marlin_demo.mdb", DbPath);
    MainDbPath = DbPath;
    MainDbDir = Root;
    WorkDir = Root + "SoftDB/";
    std::filesystem::create_directories(WorkDir);
    std::filesystem::copy_file(ProgramDir + "SoftDB/worktables.def", WorkDir + "worktables.def");
    LocalDbDir = WorkDir;

    Owner = std::make_unique<rtl::TComponent>(nullptr);
    Conn = new TZqConnection(Owner.get()); // owned by Owner
    Conn->FetchOptions()->SetMode(fmAll);
    Conn->Params().Clear();
    Conn->Params().Add("DriverID=MSAcc");
    Conn->Params().Add("Database=" + DbPath);
    Conn->SetConnected(true);
    MainConnection = Conn;
    DuplQry = new TZqQuery(Owner.get());
    DuplQry->SetConnection(Conn);
    DuplCmd = new TZqCommand(Owner.get());
    DuplCmd->SetConnection(Conn);
    DuplicatesQry = DuplQry;
    DuplCommand = DuplCmd;

    StructTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    QcCruTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    CastFlagtbl = NewLocal<TTable>(Owner.get(), WorkDir);
    CastOldFlagTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    UndoCastTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    UndoParamTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    TWorkTableSet Set{*StructTbl, *QcCruTbl, *CastFlagtbl, *CastOldFlagTbl, *UndoCastTbl, *UndoParamTbl};
    CreateWorkTables(DbPath, WorkDir, Set);
    TmpCruTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    TmpCruTbl->SetTableName("TmpCru");
    TmpCruTbl->Open();
    TmpCastFlags = NewLocal<TTable>(Owner.get(), WorkDir);
    TmpCastFlags->SetTableName("TmpCastFlags");
    TmpCastOldFlags = NewLocal<TTable>(Owner.get(), WorkDir);
    TmpCastOldFlags->SetTableName("TmpCastOldFlags");
    ParamTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    ParamTbl->SetTableName("param");
    ParamTbl->Open();
    WorkQry = NewLocal<TQuery>(Owner.get(), WorkDir);

    // The engine's state as the main window leaves it for a run.
    CruiseTbl = TmpCruTbl;
    RangeQry = ParamTbl;
    QcCruiseTbl = QcCruTbl;
    QcCruiseQry = QcCruTbl;
    CastFlagTbl = CastFlagtbl;
    ::CastOldFlagTbl = this->CastOldFlagTbl;
    TmpCastFlagsTbl = TmpCastFlags;
    TmpCastOldFlagsTbl = TmpCastOldFlags;
    LocalWorkQry = WorkQry;
    ::UndoCastTbl = this->UndoCastTbl;
    ::UndoParamTbl = this->UndoParamTbl;
    SelectedTests = TBits();
    for (int i = 0; i < 4; ++i)
        SelectedTests.SetBit(i, true);
    TestResults = TBits();
    QcRunFinished = true;
}

void EditorFixture::TearDown()
{
    if (Form)
        CloseEditor();
    CruiseTbl = nullptr;
    RangeQry = nullptr;
    QcCruiseTbl = QcCruiseQry = nullptr;
    CastFlagTbl = nullptr;
    ::CastOldFlagTbl = nullptr;
    TmpCastFlagsTbl = TmpCastOldFlagsTbl = nullptr;
    LocalWorkQry = nullptr;
    ::UndoCastTbl = ::UndoParamTbl = nullptr;
    DuplicatesQry = nullptr;
    DuplCommand = nullptr;
    CastQry = nullptr;
    ProfileDataQry = nullptr;
    MainConnection = nullptr;
    if (Conn)
        Conn->SetConnected(false);
    Owner.reset();
    Script.reset();
    TTimer::SetManualClock(false);
}

void EditorFixture::PrepareRunFlags(int IdCruise, const std::map<int, TRunFlags> &Special)
{
    for (const querytest::TRow &R : Sql("select ID_Cast from Cast_Titles where ID_Cruise=" + std::to_string(IdCruise))) {
        const int Id = std::stoi(R[0]);
        const auto It = Special.find(Id);
        const TRunFlags F = It == Special.end() ? TRunFlags{} : It->second;
        CastFlagtbl->Append();
        CastFlagtbl->FieldByName("ID_Cruise")->SetAsInteger(IdCruise);
        CastFlagtbl->FieldByName("ID_Cast")->SetAsInteger(Id);
        CastFlagtbl->FieldByName("FLon")->SetAsInteger(F.FLon);
        CastFlagtbl->FieldByName("FLat")->SetAsInteger(F.FLat);
        CastFlagtbl->FieldByName("FDT")->SetAsInteger(F.FDT);
        CastFlagtbl->FieldByName("FD")->SetAsInteger(F.FD);
        CastFlagtbl->Post();
    }
}

void EditorFixture::PrepareDuplicates(const std::string &IdCastList)
{
    DuplQry->Close();
    DuplQry->SQL()->Clear();
    DuplQry->SQL()->Add("Select * from Cast_Titles where ID_Cast in (" + IdCastList + ")");
    DuplQry->Open();
    TestResults.SetBit(0, true);
}

TForm2 &EditorFixture::OpenEditor(const std::vector<int> &Cruises)
{
    TmpCruTbl->EmptyTable();
    for (int Id : Cruises) {
        const auto Name = Sql("select Cruise_Name from Cruise_Titles where ID_Cruise=" + std::to_string(Id));
        TmpCruTbl->Append();
        TmpCruTbl->FieldByName("ID_Cruise")->SetAsInteger(Id);
        TmpCruTbl->FieldByName("Cruise_Name")->SetAsString(Name.empty() ? std::string() : Name[0][0]);
        TmpCruTbl->Post();
    }
    Form = std::make_unique<TForm2>();
    Form->ListBox1->clear();
    CastQry = Form->ZqQuery1;
    Form->ZqQuery1->SetConnection(Conn);
    ProfileDataQry = Form->ZqQuery2;
    VisualMode = true;
    for (TmpCruTbl->First(); !TmpCruTbl->Eof(); TmpCruTbl->Next())
        Form->AddCruise(TmpCruTbl->FieldByName("ID_Cruise")->AsInteger(),
                        TmpCruTbl->FieldByName("Cruise_Name")->AsString());
    Form->show();
    return *Form;
}

void EditorFixture::CloseEditor()
{
    Form->close();
    Form.reset();
    VisualMode = false;
    CastQry = nullptr;
    ProfileDataQry = nullptr;
}

void EditorFixture::PickCruise(int IdCruise)
{
    for (int i = 0; i < Form->ListBox1->count(); ++i)
        if (Form->ListBox1->item(i)->data(Qt::UserRole).toInt() == IdCruise) {
            QListWidget *L = Form->ListBox1;
            const QPoint At = L->visualItemRect(L->item(i)).center();
            Press(L->viewport(), At.x(), At.y());
            Release(L->viewport(), At.x(), At.y());
            return;
        }
    ADD_FAILURE() << "cruise " << IdCruise << " is not in the list";
}

bool EditorFixture::MainTableExists(const std::string &Name)
{
    return !Sql("select name from sqlite_master where type='table' and name='" + Name + "'").empty();
}

} // namespace editortest
