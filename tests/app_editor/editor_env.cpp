// The editor's environment after a run; see the header.
#include "tests/app_editor/editor_env.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "tests/app_editor/editor_test_util.h"

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

void TEditorEnvironment::Setup(const std::string &ProgramFolder, const std::string &ADbPath, const std::string &Root)
{
    ProgramDir = ProgramFolder.empty() || ProgramFolder.back() == '/' ? ProgramFolder : ProgramFolder + "/";
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
    // The location check's region, as the run builds it before the checks.
    BuildLocationRegion();

    DbPath = ADbPath;
    MainDbPath = DbPath;
    MainDbDir = std::filesystem::path(DbPath).parent_path().string() + "/";
    WorkDir = (Root.empty() || Root.back() == '/' ? Root : Root + "/") + "SoftDB/";
    std::filesystem::create_directories(WorkDir);
    if (!std::filesystem::exists(WorkDir + "worktables.def"))
        std::filesystem::copy_file(ProgramDir + "SoftDB/worktables.def", WorkDir + "worktables.def");
    LocalDbDir = WorkDir;

    Owner = std::make_unique<rtl::TComponent>(nullptr);
    // Its presence makes the Access driver available, as on the main window.
    new TZqPhysMSAccessDriverLink(Owner.get()); // owned by Owner, like every component below
    Conn = new TZqConnection(Owner.get());
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
    ParamsTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    ParamsTbl->SetTableName("param");
    ParamsTbl->Open();
    WorkDataTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    WorkQry = NewLocal<TQuery>(Owner.get(), WorkDir);
    // The level-flag work table and its templates, as the main window makes them.
    ::TmpFlagsTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    ::TsFlagsStructTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    ::TsFlagsStructTbl->SetTableName("StructTsFlags");
    ::TsFlagsStructTbl->Open();
    ::ChemFlagsStructTbl = NewLocal<TTable>(Owner.get(), WorkDir);
    ::ChemFlagsStructTbl->SetTableName("StructChemFlags");
    ::ChemFlagsStructTbl->Open();
    ::TmpDataQry = NewLocal<TQuery>(Owner.get(), WorkDir);

    // The engine's state as the main window leaves it for a run.
    CruiseTbl = TmpCruTbl;
    RangeQry = ParamsTbl;
    ::ParamTbl = WorkDataTbl;
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

void TEditorEnvironment::Teardown()
{
    if (Form)
        CloseEditor();
    Qc = TQcState{};
    if (Conn)
        Conn->SetConnected(false);
    Conn = nullptr;
    Owner.reset();
}

void TEditorEnvironment::PrepareRunFlags(int IdCruise, const std::map<int, TRunFlags> &Special)
{
    TZqQuery Ids(nullptr);
    Ids.SetConnection(Conn);
    Ids.SQL()->Add("select ID_Cast from Cast_Titles where ID_Cruise=" + std::to_string(IdCruise));
    Ids.Open();
    for (Ids.First(); !Ids.Eof(); Ids.Next()) {
        const int Id = Ids.Fields()[0]->AsInteger();
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

void TEditorEnvironment::PrepareDuplicates(const std::string &IdCastList)
{
    DuplQry->Close();
    DuplQry->SQL()->Clear();
    DuplQry->SQL()->Add("Select * from Cast_Titles where ID_Cast in (" + IdCastList + ")");
    DuplQry->Open();
    TestResults.SetBit(0, true);
}

TForm2 &TEditorEnvironment::OpenEditor(const std::vector<int> &Cruises)
{
    TmpCruTbl->EmptyTable();
    TZqQuery Names(nullptr);
    Names.SetConnection(Conn);
    for (int Id : Cruises) {
        Names.Close();
        Names.SQL()->Clear();
        Names.SQL()->Add("select Cruise_Name from Cruise_Titles where ID_Cruise=" + std::to_string(Id));
        Names.Open();
        TmpCruTbl->Append();
        TmpCruTbl->FieldByName("ID_Cruise")->SetAsInteger(Id);
        TmpCruTbl->FieldByName("Cruise_Name")->SetAsString(Names.Eof() ? std::string() : Names.Fields()[0]->AsString());
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

void TEditorEnvironment::CloseEditor()
{
    Form->close();
    Form.reset();
    VisualMode = false;
    CastQry = nullptr;
    ProfileDataQry = nullptr;
}

bool TEditorEnvironment::PickCruise(int IdCruise)
{
    QListWidget *L = Form->ListBox1;
    for (int i = 0; i < L->count(); ++i)
        if (L->item(i)->data(Qt::UserRole).toInt() == IdCruise) {
            const QPoint At = L->visualItemRect(L->item(i)).center();
            Press(L->viewport(), At.x(), At.y());
            Release(L->viewport(), At.x(), At.y());
            return true;
        }
    return false;
}

} // namespace editortest
