// uQCMain: the main window's set-up (FormCreate), the settings and the
// choice of the main database, the cruise-list synchronisation, the
// parameter list, the step pages, and the handlers of the wizard.
#include "app/uQCMain.h"

#include "app/CruiseChoice.h"
#include "app/Globals.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/CheckTree.h"
#include "app/manual/Recalcs.h"
#include "app/manual/UClimatDlg.h"
#include "app/manual/map.h"
#include "app/uDBPath.h"
#include "app/uQCSettings.h"
#include "app/uStart.h"
#include "app/uWriteFlags.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/comp/qxZqGUIxFormsWait.h"
#include "dataaccess/dapt/qxZqDAptManager.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "platform/dataset/TField.h"
#include "platform/dataset/TFieldDef.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/TTextFileReader.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <thread>
#include <filesystem>
#include <unistd.h>

TForm1 *Form1 = nullptr;

namespace {

std::string GProgramFileName;
rtl::TIniFile *GMainIni = nullptr;

int RoundHalfEven(double AValue) { return int(std::nearbyint(AValue)); }

// The library's timers (the wait cursor's delayed hide), by the number the
// library knows them by.
std::map<uintptr_t, std::unique_ptr<QTimer>> &LibraryTimers()
{
    static std::map<uintptr_t, std::unique_ptr<QTimer>> Timers;
    return Timers;
}
uintptr_t NextLibraryTimer = 0;

// A name the program puts into SQL as a table or column name: only plain
// identifiers (letters, digits, "_") are taken, so that a value read from
// the database can never become part of a statement's text.
bool IsPlainIdentifier(const std::string &AName)
{
    if (AName.empty())
        return false;
    for (unsigned char C : AName)
        if (!(std::isalnum(C) || C == '_'))
            return false;
    return true;
}

// The characters a text field of the station database holds (the client
// components size it by its bytes, never fewer than its characters); 0 for
// a field the dataset lacks.
int StationFieldWidth(const TDataSet &ADataSet, const char *AField)
{
    const TField *F = ADataSet.FindField(AField);
    return F ? F->Size() : 0;
}

// Why this user cannot keep the work tables in AFolder (with its "/"), as
// the rights show it, and what the operator can do; empty when nothing
// stands in the way.
std::string WorkFolderRefusal(const std::string &AFolder)
{
    const std::string File = AFolder + LocalDbFileName;
    std::string Cannot;
    // The engine keeps its journal in new files beside the database.
    if (::access(AFolder.c_str(), F_OK) == 0 && ::access(AFolder.c_str(), W_OK | X_OK) != 0)
        Cannot = "its folder " + AFolder;
    for (const char *Part : {"", "-wal", "-shm"})
        if (Cannot.empty() && ::access((File + Part).c_str(), F_OK) == 0 && ::access((File + Part).c_str(), W_OK) != 0)
            Cannot = "the file " + File + Part;
    if (Cannot.empty())
        return std::string();
    return "The work tables are kept in " + File + ", and this user cannot write " + Cannot +
           ".\nGive this user the right to write the folder " + AFolder +
           " and its files, or copy the program folder " + ProgramDir +
           " to a folder this user can write and start the program there.";
}

} // namespace

void SetProgramFileName(const std::string &AFileName) { GProgramFileName = AFileName; }

void RegisterLibraryServices()
{
    static std::once_flag Once;
    std::call_once(Once, [] {
        // Services first (the registry and its own units), then the driver
        // manager and the adapters that stand on them, then the wait cursor
        // the driver layer asks for; the Access driver follows with the
        // main window's driver link.
        ZqStanInitialize();
        RegisterPhysManager();
        RegisterDAptManager();
        RegisterGUIxFormsWait();
        ZqSetGUIMainThread(std::this_thread::get_id());

        // The library shows its hourglass through the toolkit's screen.
        TZqGUIxScreenHooks Hooks;
        Hooks.HasScreen = [] { return QCoreApplication::instance() != nullptr; };
        Hooks.GetCursor = [] { return int(ScreenCursor()); };
        Hooks.SetCursor = [](int ACursor) { SetScreenCursor(TCursor(ACursor)); };
        Hooks.StartTimer = [](uint32_t AIntervalMs, std::function<void()> ACallback) -> uintptr_t {
            auto Timer = std::make_unique<QTimer>();
            Timer->setInterval(int(AIntervalMs));
            QObject::connect(Timer.get(), &QTimer::timeout, Timer.get(), std::move(ACallback));
            Timer->start();
            const uintptr_t Id = ++NextLibraryTimer;
            LibraryTimers()[Id] = std::move(Timer);
            return Id;
        };
        Hooks.KillTimer = [](uintptr_t AId) { LibraryTimers().erase(AId); };
        Hooks.Tick = [] {
            static const auto Start = std::chrono::steady_clock::now();
            return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - Start)
                                 .count());
        };
        ZqSetGUIxScreenHooks(std::move(Hooks));
    });
}

std::string ProgramFileName()
{
    if (!GProgramFileName.empty())
        return GProgramFileName;
    return QCoreApplication::applicationFilePath().toStdString();
}

rtl::TIniFile *MainIni() { return GMainIni; }

TForm1::~TForm1()
{
    InstallEscHook({});
    if (GMainIni == FMainIni.get())
        GMainIni = nullptr;
    if (Form1 == this)
        Form1 = nullptr;
    // The data components go before the controls: closing a dataset may
    // still reach the hourglass.
    Components.reset();
}

// ---- set-up ------------------------------------------------------------------------

void TForm1::SetStartStage(const std::string &AText)
{
    if (fmStart)
        fmStart->SetStage(AText);
}

void TForm1::SetStartProgress(int APercent)
{
    if (fmStart)
        fmStart->SetProgress(APercent);
}

std::optional<std::string> TForm1::Stage(const std::function<void()> &AStage)
{
    try {
        AStage();
        return std::nullopt;
    } catch (const std::exception &E) {
        SetScreenCursor(crDefault);
        HandleException(E);
        return E.what();
    }
}

void TForm1::DatabaseStage(const std::function<void()> &AStage)
{
    if (!FDatabaseReady)
        return;
    // One report, and the other database stages of this pass are left out
    // instead of each failing on its own; "Change Database" starts them
    // again.
    if (std::optional<std::string> Fault = Stage(AStage)) {
        FDatabaseFault = *Fault;
        FDatabaseReady = false;
    }
}

bool TForm1::ReadDatabasePath()
{
    // Settings with NUL bytes (UTF-16 without its mark) hold no key the
    // program can read, and take no write (EncodeText refuses them): said
    // by name, before the path dialog asks what they would have said.
    std::string Text;
    if (rtl::ReadTextFile(FMainIni->FileName(), Text) && Text.find('\0') != std::string::npos)
        MessageDlg(FMainIni->FileName() + ", line " + std::to_string(rtl::LineNotUtf8(Text)) +
                       ": the file is not UTF-8\nNo setting is read from it, and none is kept in it",
                   mtError, mbOK);
    MainDbPath = SettingPath(FMainIni->ReadString("Database", "DatabaseName", ""));
    if (MainDbPath.empty() || !rtl::FileExists(MainDbPath)) {
        std::string Note;
        NoteMissingSetting(*FMainIni, "Database", "DatabaseName", "", Note);
        if (!Note.empty())
            MessageDlg(Note, mtWarning, mbOK);
        TForm4 Dialog(this);
        Dialog.SetFolder(MainDbPath.empty() ? ProgramDir : rtl::ExtractFilePath(MainDbPath));
        if (Dialog.Execute() != mrOk)
            return false;
        MainDbPath = Dialog.Result;
        // Kept in the settings once its station tables are read.
        FChosenAtStart = rtl::FileExists(MainDbPath);
    }
    MainDbDir = rtl::ExtractFilePath(MainDbPath);
    MainDbSqlName = MainDbSqlNameOf(MainDbPath);
    return true;
}

void TForm1::OfferOwnFiles()
{
    const std::vector<TForeignSetting> Foreign = ForeignSettings(*FMainIni);
    if (Foreign.empty())
        return;
    std::string Text;
    bool Offered = false;
    for (const TForeignSetting &S : Foreign) {
        Text += (Text.empty() ? "" : "\n\n") + FMainIni->FileName() + ", line " + std::to_string(S.Line) + ": " +
                S.Key + " of [" + S.Section + "] names \"" + S.Path + "\" of another program folder, " + S.Folder +
                (S.Own.empty() ? "\nThis program's folder holds no file of that name"
                               : "\nThis program's own is \"" + S.Own + "\"");
        Offered = Offered || !S.Own.empty();
    }
    if (!Offered) {
        MessageDlg(Text + "\n\nThe settings stay as they are", mtWarning, mbOK);
        return;
    }
    // No: the other folder's files are the operator's choice, as named.
    if (MessageDlg(Text + "\n\nUse this program's own files (Yes), or go on with those of the other folder (No)?",
                   mtConfirmation, mbYesNo) != mrYes)
        return;
    // Written through: this session reads them from memory even when the
    // file takes no write.
    std::string Refused;
    for (const TForeignSetting &S : Foreign) {
        if (S.Own.empty())
            continue;
        try {
            FMainIni->WriteString(S.Section, S.Key, SettingValue(S.Own));
        } catch (const std::exception &E) {
            if (Refused.empty())
                Refused = E.what();
        }
    }
    if (!Refused.empty())
        MessageDlg("This program's own files were not kept for the next start:\n" + Refused, mtWarning, mbOK);
}

// The database chosen is kept in the settings for the next start. A
// settings file that cannot be written (read-only, a full disk) costs only
// that: the program goes on with the chosen database, and says so.
void TForm1::KeepDatabaseChoice()
{
    try {
        // One replacement of the file: no moment holds it without the key.
        rtl::TMemIniFile Ini(FMainIni->FileName());
        Ini.DeleteKey("Database", "DatabaseName");
        Ini.WriteString("Database", "DatabaseName", SettingValue(MainDbPath));
        if (const std::string Note = Ini.UpdateFile(); !Note.empty())
            MessageDlg(Note, mtWarning, mbOK);
    } catch (const std::exception &E) {
        MessageDlg(std::string("The database chosen was not kept for the next start:\n") + E.what(), mtWarning,
                   mbOK);
    }
}

void TForm1::ProbeWorkFolder()
{
    const auto Probe = [this] {
        StructTbl->Close();
        StructTbl->SetDatabaseName(LocalDbDir);
        StructTbl->SetTableName("QCCruise");
        StructTbl->Open();
    };
    try {
        Probe();
    } catch (const std::exception &) {
        // A work folder that does not open is tried once more from the
        // program's own "BDE" folder; a second failure ends the set-up.
        const std::string Bde = ProgramDir + "BDE";
        if (::chdir(Bde.c_str()) != 0) {
            // The retry below fails the same way and reports the engine's
            // error, which says more than the failed change of folder.
        }
        Probe();
    }
    StructTbl->Close();
}

void TForm1::PointLocalComponents()
{
    for (TQuery *Query : {QCCruQry, WorkQry, TmpParamQry, TmpQcQry}) {
        Query->Close();
        Query->SetDatabaseName(LocalDbDir);
    }
    for (TTable *Table : {StructTbl, QcCruTbl, TmpCruTbl}) {
        Table->Close();
        Table->SetDatabaseName(LocalDbDir);
    }
    const std::pair<TTable *, const char *> Templates[] = {{CastFlagtbl, "Cast_TitlesFlags"},
                                                           {CastOldFlagTbl, "Cast_TitlesOldFlags"},
                                                           {PTS_DataFlagTbl, "PTS_DATAFlags"},
                                                           {PTS_DataOldFlagTbl, "PTS_DATAOldFlags"},
                                                           {ChemFlagTbl, "ChemFlags"}};
    for (const auto &[Table, Template] : Templates) {
        Table->Close();
        Table->SetDatabaseName(LocalDbDir);
        Table->SetTableName(Template);
        Table->Open();
    }
}

void TForm1::CreateSharedObjects()
{
    tmpparamtbl->Close();
    tmpparamtbl->SetDatabaseName(LocalDbDir);
    tmpparamtbl->SetTableName("param");
    tmpparamtbl->Open();
    ClimMSTbl->SetDatabaseName(LocalDbDir);
    ClimBSTbl->SetDatabaseName(LocalDbDir);
    MakeEngineObjects();
    BindEngine();
}

void TForm1::OpenMainDb()
{
    ZqConnection1->SetConnected(false);
    ZqConnection1->Params().Clear();
    ZqConnection1->Params().Add("DriverID=MSAcc");
    ZqConnection1->Params().Add("Database=" + MainDbPath);
    ZqConnection1->SetConnected(true);
}

namespace {

// The station database's tables that the start, every run and the editor
// read.
const char *const StationTables[] = {"Cruise_Titles", "Cast_Titles", "Parameters", "PTS_Data", "Ships", "Countries"};

} // namespace

std::string TForm1::StationDbRefusal()
{
    // The driver takes an empty file for a new database and writes one
    // into it: a file chosen by mistake is left as it is.
    std::error_code Ec;
    if (std::filesystem::is_regular_file(MainDbPath, Ec) && std::filesystem::file_size(MainDbPath, Ec) == 0 && !Ec)
        return "The file " + MainDbPath + " is empty: it holds no station database.";
    try {
        OpenMainDb();
    } catch (const std::exception &E) {
        // The driver's own words say why (a file of another format, a
        // driver that is not installed, a file in use).
        return "Can't Connect to Main Database\n\n" + std::string(E.what());
    }
    for (const char *Table : StationTables) {
        try {
            ZqQuery5->Close();
            ZqQuery5->SetConnection(ZqConnection1);
            ZqQuery5->SQL()->Clear();
            ZqQuery5->SQL()->Add("Select top 1 * from " + rtl::QuotedStr(Table, '"'));
            ZqQuery5->Open();
            ZqQuery5->Close();
        } catch (const std::exception &E) {
            ZqQuery5->Close();
            ZqConnection1->SetConnected(false);
            return "The file " + MainDbPath + " holds no station database the program can use: its table " +
                   Table + " cannot be read.\n\n" + E.what();
        }
    }
    return std::string();
}

bool TForm1::ConnectMainDb()
{
    if (std::string Refusal = StationDbRefusal(); !Refusal.empty()) {
        SetScreenCursor(crDefault);
        FDatabaseFault = std::move(Refusal);
        MessageDlg(FDatabaseFault, mtError, mbOK);
        FDatabaseReady = false;
        return false;
    }
    FDatabaseReady = true;
    return true;
}

bool TForm1::MainDbReadOnly() const
{
    return StationDbReadOnly(ZqConnection1);
}

void TForm1::BuildTestTree()
{
    // The tree takes its owner first, unlike the controls MakeControl makes.
    TestTree = new TCheckTree(TabSheet1, CfgDir + "MapTree.ini"); // owned by TabSheet1
    TestTree->setObjectName(QString::fromLatin1("TestTree"));
    static_cast<QBoxLayout *>(TabSheet1->layout())->insertWidget(0, TestTree, 1);
    TestTree->LoadImageLists(CfgDir + "qc.img", CfgDir + "2.img");
    TestTree->LoadFromFile(CfgDir + "QcParams.txt");
    TestTree->OnChange = [this](TTreeNode *) { RunGuarded([this] { ShowTestSettingsPanel(); }); };
    // A tick given or taken changes what NEXT may do as much as a new
    // selection does.
    TestTree->AfterClick = [this] { RunGuarded([this] { ShowTestSettingsPanel(); }); };
    QFont Font(QString::fromLatin1("Arial"), 10);
    Font.setBold(true);
    TestTree->setFont(Font);
    TestTree->setStyleSheet(QString::fromLatin1("QTreeView { color: navy; }"));
    // The selection stays visible when the tree loses the focus.
    QPalette Palette = TestTree->palette();
    Palette.setColor(QPalette::Inactive, QPalette::Highlight, Palette.color(QPalette::Active, QPalette::Highlight));
    Palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     Palette.color(QPalette::Active, QPalette::HighlightedText));
    TestTree->setPalette(Palette);
    const int LastImage = TestTree->Images() ? TestTree->Images()->Count() - 1 : -1;
    int Tests = 0;
    for (TTreeNode *Node = TestTree->GetFirstNode(); Node; Node = Node->GetNext()) {
        if (Node->Level() == 1) {
            Node->SetImageIndex(LastImage);
            Node->SetSelectedIndex(LastImage);
            Node->SetStateIndex(0);
        } else {
            Node->SetStateIndex(3);
        }
        if (Node->Level() == 0)
            ++Tests;
    }
    SetTestCount(Tests);
}

void TForm1::ReadMapSettings()
{
    FFilesAtStart = ReadFileSettings(*FMainIni, FSettingNotes);
    ClimSearchPath = FFilesAtStart.ClimFolder;
    GridFileName = FFilesAtStart.Grid;
    BuildDepthColors();
}

namespace {

// The threshold positions "updowns.txt" holds: its first five lines, each a
// whole number; a shorter file (blank lines at its end aside) gives fewer.
// EInOutError naming the file and the line of one that is not.
std::vector<int> ReadThresholdFile(const std::string &AFileName)
{
    rtl::TTextFileReader In(AFileName);
    std::vector<int> Values;
    // Lines are taken by position: a blank or garbled one among them would
    // give the thresholds after it to the wrong boxes.
    while (Values.size() < 5 && In.NextLine()) {
        int Value = 0;
        const std::string Text = rtl::Trim(In.Line());
        if (Text.empty()) {
            const int Blank = In.LineNo();
            if (!In.NextNonBlankLine())
                break; // the file's end
            throw EInOutError(106, AFileName + ", line " + std::to_string(Blank) + ": the line is blank");
        }
        if (!rtl::TryStrToInt(Text, Value))
            In.Refuse("\"" + Text + "\" is no whole number");
        Values.push_back(Value);
    }
    return Values;
}

} // namespace

void TForm1::ReadThresholdPositions()
{
    const std::string FileName = CfgDir + "updowns.txt";
    std::error_code Ec;
    if (!std::filesystem::exists(FileName, Ec)) {
        FThresholdsTaken = true;
        return;
    }
    // A file refused takes no part, and the close does not write over it.
    std::vector<int> Values;
    try {
        Values = ReadThresholdFile(FileName);
    } catch (const EInOutError &E) {
        throw EInOutError(E.ErrorCode, E.what() + std::string("\nThe thresholds start at the form's values, and the "
                                                             "file is not written at close"));
    }
    QSpinBox *UpDowns[5] = {UpDown1, UpDown2, UpDown3, UpDown4, UpDown5};
    for (size_t I = 0; I < Values.size(); ++I)
        UpDowns[I]->setValue(Values[I]);
    FThresholdsTaken = true;
}

void TForm1::ReadContourSettings()
{
    // Read with the map's settings; a missing file has its fallback and
    // the vertical inversion only, and its column order is not read.
    ExtraLinesFile = FFilesAtStart.Contour;
    MapInvertX = FFilesAtStart.InvertX;
    MapInvertY = FFilesAtStart.InvertY;
    SwapCoordColumns = FFilesAtStart.SwapColumns;
    const std::string Folder = rtl::ExtractFilePath(ExtraLinesFile);
    ShellTreeView1->SetFolder(Folder);
    FillContourList(Folder);
    const auto Found = FileListBox1->findItems(QString::fromStdString(rtl::ExtractFileName(ExtraLinesFile)),
                                               Qt::MatchFixedString);
    if (!Found.isEmpty())
        FileListBox1->setCurrentItem(Found.front());
    // The choice shown is the one in force: nothing to apply yet.
    BitBtn4->setEnabled(false);
    // A contour the reader refuses is said now, not first at CHECK.
    ::BuildLocationRegion();
    if (const std::string Refused = LocationCheckBlocked(false); !Refused.empty())
        FSettingNotes += (FSettingNotes.empty() ? "" : "\n") + Refused;
}

void TForm1::FillContourList(const std::string &AFolder)
{
    FillFileListBox(*FileListBox1, AFolder, [](const std::string &) { return true; });
    ContourFolder = AFolder;
}

void TForm1::LastPreparations()
{
    Stage([] { LoadSquares(CfgDir + "QuadrHMS.txt", BsSquareNames, BsSquares); });
    Stage([] { LoadSquares(CfgDir + "QuadrMedClim.txt", MsSquareNames, MsSquares); });
    ClearParamLists();
    DatabaseStage([this] { BuildCruiseLists(); });
}

void TForm1::SizeWindow()
{
    resize(RoundHalfEven(ScreenWidth() * 3 / 4.0), RoundHalfEven(ScreenHeight() * 2 / 3.0));
    const int Needed = Label1->width() + Gauge2->width() + 60;
    if (width() < Needed)
        resize(Needed, height());
}

bool TForm1::FormCreate()
{
    Form1 = this;
    // 1-3: folders and the settings file.
    ProgramDir = rtl::ExtractFilePath(std::filesystem::absolute(ProgramFileName()).lexically_normal().string());
    MapsDir = ProgramDir + "Maps/";
    ImgsDir = ProgramDir + "Imgs/";
    CfgDir = ProgramDir + "Cfg/";
    // The folders whose files are replaced whole: settings, thresholds and
    // the wizard's pages.
    rtl::RemoveStrayReplacements(CfgDir);
    rtl::RemoveStrayReplacements(ProgramDir + "doc/");
    FMainIni = std::make_unique<rtl::TIniFile>(CfgDir + "main.ini");
    GMainIni = FMainIni.get();
    LocalDbDir = rtl::ExtractFilePath(ProgramDir + "SoftDB/dbqc.mdb");

    // 4-6: the main database. Cancel in the path dialog ends the program
    // without a word. Files of another program folder are asked about
    // before anything of theirs is read or written.
    OfferOwnFiles();
    if (!ReadDatabasePath())
        return false;

    // 7: every number and date literal in SQL text relies on these.
    rtl::FormatSettings.DecimalSeparator = '.';
    rtl::FormatSettings.ShortDateFormat = "MM/dd/yyyy";
    rtl::FormatSettings.ShortTimeFormat = "hh:mm:ss";

    // 8: Esc sets the abort flags, wherever it is pressed, while a cruise
    // loop, a check of the editor or a write-back runs (TInterruptible): an
    // Esc where nothing runs interrupts nothing.
    InstallEscHook(QcEscPressed);

    // 9-12: the work folder and the objects on it. Without them nothing of
    // the window works: a fault here ends the program after its message.
    try {
        ProbeWorkFolder();
        Session.SetPrivateDir(ProgramDir + "temp");
        PointLocalComponents();
        CreateSharedObjects();
    } catch (const std::exception &E) {
        SetScreenCursor(crDefault);
        if (const std::string Refusal = WorkFolderRefusal(LocalDbDir); !Refusal.empty())
            MessageDlg(E.what() + std::string("\n\n") + Refusal, mtError, mbOK);
        else
            HandleException(E);
        FStartRefused = true;
        return false;
    }

    // 13: the start window.
    fmStart = MakeControl<TfmStart>(this, "fmStart");
    fmStart->show();
    SetStartStage("Connecting to TORVAL Database...");

    // 14-25. A fault in a stage that does not need the database is reported
    // once; the stages after it are left out and the window opens at its
    // start page all the same. A small file that cannot be read costs only
    // what it holds: its stage says so and the next one runs.
    try {
        ConnectMainDb();
        SetStartProgress(20);
        // The work tables need no connection; the database stages need them.
        if (std::optional<std::string> Fault = Stage([this] { CreateWorkTables(); }); Fault && FDatabaseReady) {
            FDatabaseFault = *Fault;
            FDatabaseReady = false;
        }
        DatabaseStage([this] { SyncCruiseList(); });
        RadioGroup1->Button(0)->setChecked(true);
        WizardStep = 0;
        ShowWizardPage();
        Pagecontrol1->setTabVisible(1, false);

        Stage([this] { BuildTestTree(); });

        SetStartStage("");
        SetStartStage("Building Map...");
        Stage([this] { ReadMapSettings(); });
        SetStartProgress(80);

        RegionScreenRect = TRect{1, 1, 50000, 22000};
        ZoomIndex = 0;
        ZoomStack.assign(1, TRealRect{-14.0, 30.0, 42.0, 50.0});

        Stage([this] {
            WorkQry->Close();
            WorkQry->SQL().Clear();
            WorkQry->SQL().Add("Delete from CruID");
            WorkQry->ExecSQL();
        });

        SetStartStage("");
        SetStartStage("Forming of parameters list...");
        DatabaseStage([this] { FormParamList(); });
        // A database chosen in the path dialog is kept for the next start
        // once its tables are read: its cruise list and parameter list
        // formed. One refused leaves the settings as they were.
        if (FChosenAtStart && FDatabaseReady)
            KeepDatabaseChoice();
        SetStartProgress(95);

        SetStartStage("");
        SetStartStage("Last preparations...");
        LastPreparations();

        Stage([this] { ReadThresholdPositions(); });
        Stage([this] { ReadContourSettings(); });

        SetStartProgress(100);
        ResetStartPage();
    } catch (const std::exception &E) {
        SetScreenCursor(crDefault);
        HandleException(E);
    }

    // 24: whatever stage failed above, the engine's lists start empty (its
    // links were bound with the shared objects).
    ParamsToCheck = TBits();
    ParamDisplayList.Clear();
    FlagCruiseList.Clear();
    QcSettingsPages = Pagecontrol1;
    for (TCheckListBox *List : {CheckListBox6, CheckListBox7, CheckListBox1, CheckListBox5})
        List->SetMultiSelect(true);

    // 25: the window's size; the start window goes (hidden, not freed).
    SizeWindow();
    fmStart->hide();
    SetScreenCursor(crDefault);
    // Settings that name no file: which, and what is used instead.
    if (!FSettingNotes.empty())
        MessageDlg(FSettingNotes, mtWarning, mbOK);
    SayCruiseRowNotes();
    return true;
}

void TForm1::SayCruiseRowNotes()
{
    if (!FCruiseRowNotes.empty())
        MessageDlg(CruiseRowNotesText(FCruiseRowNotes), mtWarning, mbOK);
    FCruiseRowNotes.clear();
}

// ---- the engine's shared state -------------------------------------------------------

void TForm1::MakeEngineObjects()
{
    rtl::TComponent *Owner = Components.get();
    const auto LocalTable = [&](const char *AName) {
        auto *Table = MakeComponent<TTable>(Owner, AName);
        Table->SetDatabaseName(LocalDbDir);
        return Table;
    };
    const auto LocalQuery = [&](const char *AName) {
        auto *Query = MakeComponent<TQuery>(Owner, AName);
        Query->SetDatabaseName(LocalDbDir);
        return Query;
    };
    ChemParamList.Clear();
    TQcLinks &L = FEngineObjects;
    L.LocalWorkQry = LocalQuery("LocalWorkQry");
    L.TmpCastFlagsTbl = LocalTable("TmpCastFlagsTbl");
    L.TmpCastOldFlagsTbl = LocalTable("TmpCastOldFlagsTbl");
    L.TmpFlagsTbl = LocalTable("TmpFlagsTbl");
    L.TmpDataQry = LocalQuery("TmpDataQry");
    L.ParamTbl = LocalTable("ParamTbl");
    L.UndoCastTbl = LocalTable("UndoCastTbl");
    L.UndoParamTbl = LocalTable("UndoParamTbl");
    L.TsFlagsStructTbl = LocalTable("TsFlagsStructTbl");
    L.TsFlagsStructTbl->SetTableName("StructTsFlags");
    L.TsFlagsStructTbl->Open();
    L.ChemFlagsStructTbl = LocalTable("ChemFlagsStructTbl");
    L.ChemFlagsStructTbl->SetTableName("StructChemFlags");
    L.ChemFlagsStructTbl->Open();
    L.FlagCastQry = LocalQuery("FlagCastQry");
    L.FlagLevelQry = LocalQuery("FlagLevelQry");
    L.FlagUpdateCmd = MakeComponent<TZqCommand>(Owner, "FlagUpdateCmd");
    L.FlagUpdateCmd->SetConnection(ZqConnection1);
    L.FlagParamsQry = MakeComponent<TZqQuery>(Owner, "FlagParamsQry");
    L.FlagParamsQry->SetConnection(ZqConnection1);
}

void TForm1::BindEngine()
{
    TQcLinks L = FEngineObjects;
    L.CruiseTbl = TmpCruTbl;
    L.CastQry = ZqQuery1;
    L.CurCastDataset = ZqQuery1;
    L.ProfileDataQry = ZqDataQuery;
    L.ProfileQry = ZqDataQuery;
    L.ClimQry = TmpQcQry;
    L.RangeQry = TmpParamQry;
    L.CastParamsQry = ZqQuery3;
    L.DuplicatesQry = ZqdupQuery;
    L.CruiseListQry = ZqCruQuery;
    L.DuplCommand = ZqCommand2;
    L.MainConnection = ZqConnection1;
    L.QcCruiseTbl = QcCruTbl;
    L.QcCruiseQry = QCCruQry;
    L.CastFlagTbl = CastFlagtbl;
    L.CastOldFlagTbl = CastOldFlagTbl;
    L.PtsDataFlagTbl = PTS_DataFlagTbl;
    L.PtsDataOldFlagTbl = PTS_DataOldFlagTbl;
    L.AutoQcCheckBox = CheckBox1;
    L.TotalGauge = Gauge1;
    L.CruiseGauge = Gauge2;
    L.CruiseLabel = Label11;
    L.TotalLabel = Label12;
    L.EscHintLabel = Label1;
    Qc.Links = L;
}

void TForm1::SetTestCount(int ATests)
{
    SelectedTests = TBits();
    SelectedTests.SetSize(ATests);
    TestResults = TBits();
    TestResults.SetSize(ATests);
}

void TForm1::ClearParamLists()
{
    // The captions run parallel to the parameters: they are emptied together.
    ParamList.Clear();
    ParamCaptionList.Clear();
    AllParamAbbrs.Clear();
    AllParamNames.Clear();
    CountryCodes.Clear();
    for (rtl::TStringList *List : {&ShipNames, &ShipCodes, &ShipCountryCodes, &CruiseIds, &CruiseNames, &CruiseMars,
                                   &CruiseShipCodes, &CruiseCountryCodes})
        List->Clear();
}

void TForm1::ResetChemFlagTables()
{
    ChemParamList.Clear();
    ChemFlagTbls.clear();
    FChemFlagTables.clear();
}

void TForm1::AddChemFlagTable(const std::string &AParam)
{
    ChemParamList.Add(AParam);
    FChemFlagTables.push_back(std::make_unique<TTable>(nullptr));
    TTable &Table = *FChemFlagTables.back();
    Table.SetDatabaseName(LocalDbDir);
    MakeParamFlagTable(Table, *StructTbl, LocalDbDir, AParam);
    ChemFlagTbls.push_back(&Table);
}

// ---- work tables, cruise list, parameter list ------------------------------------

void TForm1::CreateWorkTables()
{
    TWorkTableSet Tables{*StructTbl, *TmpCruTbl, *CastFlagtbl, *CastOldFlagTbl, *UndoCastTbl, *UndoParamTbl};
    // The cruises of the database, asked only where the history of one gone
    // from its path may be this one's; never through a connection the
    // database was refused on, which would open it.
    const auto Cruises = [this] {
        std::vector<TCruiseIdentity> List;
        if (!ZqConnection1->Connected())
            return List;
        try {
            ZqQuery5->Close();
            ZqQuery5->SetConnection(ZqConnection1);
            ZqQuery5->SQL()->Clear();
            ZqQuery5->SQL()->Add("Select ID_Cruise, Cruise_Name from \"Cruise_Titles\"");
            ZqQuery5->Open();
            for (ZqQuery5->First(); !ZqQuery5->Eof(); ZqQuery5->Next())
                List.emplace_back(ZqQuery5->FieldByName("ID_Cruise")->AsInteger(),
                                  ZqQuery5->FieldByName("Cruise_Name")->AsString());
        } catch (const std::exception &) {
            List.clear(); // no history is taken on a list not read whole
        }
        ZqQuery5->Close();
        return List;
    };
    ::CreateWorkTables(MainDbPath, LocalDbDir, Tables, ProgramDir, Cruises);
}

void TForm1::SyncCruiseList()
{
    MainCruTbl->Close();
    MainCruTbl->SetTableName("Cruise_Titles");
    MainCruTbl->Open();
    // Every name and MAR the station database can hold has room in the
    // work table, also in one made by an earlier version with narrower
    // fields; the second table object on it lets go first.
    QcCruTbl->Close();
    TmpCruTbl->Close();
    TmpCruTbl->SetDatabaseName(LocalDbDir);
    TmpCruTbl->SetTableName(DbTablePrefix + "-QCCruise");
    WidenTextFields(*TmpCruTbl, {{"Cruise_Name", StationFieldWidth(*MainCruTbl, "Cruise_Name")},
                                 {"MAR", StationFieldWidth(*MainCruTbl, "MAR")}});
    TmpCruTbl->Open();
    SetStartStage("Synchronization of Cruise List...");

    static const char *const Tests[12] = {"ChDuplicates", "ChLocation", "ChVelosity", "ChDepth",
                                          "ChDataClimat", "ChDataSpike", "Duplicates", "Location",
                                          "Velosity",     "Depth",      "DataClimat", "DataSpike"};
    const auto ClearTests = [this] {
        for (const char *Test : Tests)
            TmpCruTbl->FieldByName(Test)->SetAsBoolean(false);
    };

    // Both passes write many records: one transaction for the lot.
    Session.StartTransaction(LocalDbDir);
    try {
        MainCruTbl->First();
        const int MainCount = MainCruTbl->RecordCount();
        while (!MainCruTbl->Eof()) {
            // A cruise whose identity cannot be read is left out: read as 0
            // it would stand for another cruise. A name kept cut to its
            // column comes in as read, and is said.
            if (!NoteCruiseRow(*MainCruTbl, "Cruise_Titles", "ID_Cruise", "Cruise_Name", FCruiseRowNotes)) {
                MainCruTbl->Next();
                continue;
            }
            const int Id = MainCruTbl->FieldByName("ID_Cruise")->AsInteger();
            const std::string Name = MainCruTbl->FieldByName("Cruise_Name")->AsString();
            const bool Found = TmpCruTbl->Locate("ID_Cruise", rtl::Variant(Id));
            // A new cruise, or another cruise under the same number (its
            // history goes).
            if (!Found || TmpCruTbl->FieldByName("Cruise_Name")->AsString() != Name) {
                const std::string Mar = MainCruTbl->FieldByName("MAR")->AsString();
                // A value refused when it is assigned fails the record as a
                // refused post does: that cruise is named, the others go on.
                try {
                    if (Found) {
                        TmpCruTbl->Edit();
                    } else {
                        TmpCruTbl->Append();
                        TmpCruTbl->FieldByName("ID_Cruise")->SetAsInteger(Id);
                    }
                    TmpCruTbl->FieldByName("MAR")->SetAsString(Mar);
                    TmpCruTbl->FieldByName("Cruise_Name")->SetAsString(Name);
                    ClearTests();
                    TmpCruTbl->Post();
                } catch (const EDatabaseError &) {
                    // The record that did not go in is dropped, not left
                    // pending for the next edit to trip over.
                    TmpCruTbl->Cancel();
                    ShowMessage(std::to_string(Id));
                }
            }
            MainCruTbl->Next();
            if (MainCount > 0)
                SetStartProgress(20 + RoundHalfEven(MainCruTbl->RecNo() * 20.0 / MainCount));
        }

        TmpCruTbl->First();
        while (!TmpCruTbl->Eof()) {
            const int Id = TmpCruTbl->FieldByName("ID_Cruise")->AsInteger();
            if (!MainCruTbl->Locate("ID_Cruise", rtl::Variant(Id)))
                TmpCruTbl->Delete();
            else
                TmpCruTbl->Next();
            const int WorkCount = TmpCruTbl->RecordCount();
            if (WorkCount > 0)
                SetStartProgress(40 + RoundHalfEven(TmpCruTbl->RecNo() * 30.0 / WorkCount));
        }
        Session.Commit(LocalDbDir);
    } catch (...) {
        Session.Rollback(LocalDbDir);
        throw;
    }

    QcCruTbl->Close();
    QcCruTbl->SetDatabaseName(LocalDbDir);
    QcCruTbl->SetTableName(DbTablePrefix + "-QCCruise");
    QcCruTbl->Open();
}

void TForm1::FormParamList()
{
    ZqQuery3->Close();
    ZqQuery3->SQL()->Clear();
    ZqQuery3->SQL()->Add("Select Distinct ParamAbr, Unit, ParName From \"Parameters\"");
    ZqQuery3->Open();
    // A display name is ParName, a blank and Unit: "param" has room for
    // the longest the station database can hold, also when an earlier
    // version made it narrower.
    const auto Width = [this](const char *AField) { return StationFieldWidth(*ZqQuery3, AField); };
    TmpParamQry->Close();
    tmpparamtbl->Close();
    tmpparamtbl->SetDatabaseName(LocalDbDir);
    tmpparamtbl->SetTableName("param");
    WidenTextFields(*tmpparamtbl, {{"Param", Width("ParamAbr")}, {"ParamName", Width("ParName") + 1 + Width("Unit")}});
    tmpparamtbl->Open();
    TmpParamQry->SQL().Clear();
    TmpParamQry->SQL().Add("Select * From param");
    TmpParamQry->Open();
    ZqQuery5->SetConnection(ZqConnection1);
    ZqQuery3->First();
    const int Count = ZqQuery3->RecordCount();
    for (int I = 0; I < Count && !ZqQuery3->Eof(); ++I, ZqQuery3->Next()) {
        const std::string Abbr = ZqQuery3->FieldByName("ParamAbr")->AsString();
        if (tmpparamtbl->Locate("Param", rtl::Variant(Abbr)))
            continue;
        // The abbreviation names a table in the probe: anything but a plain
        // name is skipped as a failed probe is.
        if (!IsPlainIdentifier(Abbr))
            continue;
        try {
            ZqQuery5->Close();
            ZqQuery5->SQL()->Clear();
            ZqQuery5->SQL()->Add("Select top 1 * from " + Abbr);
            ZqQuery5->Open();
            ZqQuery5->Close();
        } catch (const std::exception &) {
            continue; // no table of that name: not a parameter to check
        }
        const bool HasClimate = LocalTableFileExists(LocalDbDir + "MS_" + Abbr + ".db") ||
                                LocalTableFileExists(LocalDbDir + "BS_" + Abbr + ".db");
        const std::string Name = rtl::UpperCase(ZqQuery3->FieldByName("ParName")->AsString() + " " +
                                                ZqQuery3->FieldByName("Unit")->AsString());
        // A row the table cannot take is named and left out, as the cruise
        // list does with its rows; the other parameters go on.
        try {
            tmpparamtbl->Append();
            tmpparamtbl->FieldByName("Param")->SetAsString(Abbr);
            tmpparamtbl->FieldByName("ParamName")->SetAsString(Name);
            tmpparamtbl->FieldByName("QC")->SetAsBoolean(HasClimate);
            tmpparamtbl->Post();
        } catch (const EDatabaseError &) {
            tmpparamtbl->Cancel();
            ShowMessage(Abbr);
        }
    }

    ResetChemFlagTables();
    // The query shows "param" as it was at its open; the second pass goes
    // over the table itself, which holds the rows just added.
    TmpParamQry->Close();
    TmpParamQry->Open();
    for (TmpParamQry->First(); !TmpParamQry->Eof(); TmpParamQry->Next()) {
        if (!TmpParamQry->FieldByName("QC")->AsBoolean())
            continue;
        const std::string Param = TmpParamQry->FieldByName("Param")->AsString();
        if (IsPtsParam(Param)) {
            MakeWorkTable(*PTS_DataFlagTbl, *StructTbl, LocalDbDir, LevelFlagTableSuffix("PTS_Data") + ".db",
                          "PTS_DAtaFlags", "ID_Cast;PRES");
            MakeWorkTable(*PTS_DataOldFlagTbl, *StructTbl, LocalDbDir, "-PTS_DataOldFlags.db",
                          "PTS_DataOldFlags", "ID_Cast;PRES");
        } else if (Param != "FPRES" && IsPlainIdentifier(Param)) {
            AddChemFlagTable(Param);
        }
    }
    RangeQry = TmpParamQry;
}

// ---- step pages --------------------------------------------------------------------

void TForm1::ShowWizardPage()
{
    for (QObject *Child : Panel1->children())
        if (auto *Control = qobject_cast<QWidget *>(Child))
            Control->setVisible(TagOf(Control) == WizardStep);
    BitBtn2->setEnabled(WizardStep != 0);
    // NEXT, with its glyph from the start page on, is CHECK on the last page.
    const bool Last = WizardStep == 3;
    BitBtn1->setIcon(QIcon(QString::fromStdString(ImgsDir + (Last ? "add.bmp" : "arrow1r.bmp"))));
    BitBtn1->setText(Last ? QStringLiteral("CHECK") : QStringLiteral("NEXT"));
}

void TForm1::WriteStepPage()
{
    const std::string Base = ProgramDir + "doc/step" + std::to_string(WizardStep);
    rtl::TStringList Lines;
    Lines.LoadFromFile(Base + ".txt");
    StepPageLines = &Lines;
    try {
        AppendStepSummary();
    } catch (...) {
        StepPageLines = nullptr;
        throw;
    }
    StepPageLines = nullptr;
    // The browser keeps what it read from a URL; the page is new each time.
    WebBrowser1->clear();
    try {
        Lines.SaveToFile(Base + ".html");
    } catch (const rtl::EFCreateError &E) {
        // A folder this user cannot write (a shared installation) costs the
        // file only: the page is shown as built, its links counting from
        // "doc", and the refusal is said once.
        WebBrowser1->document()->setBaseUrl(QUrl::fromLocalFile(QString::fromStdString(ProgramDir + "doc/")));
        WebBrowser1->setHtml(QString::fromStdString(Lines.Text()));
        if (!FStepPagesRefused) {
            FStepPagesRefused = true;
            MessageDlg(E.what() + std::string("\nThe wizard's pages are shown, but not kept in the folder"),
                       mtWarning, mbOK);
        }
        return;
    }
    WebBrowser1->setSource(QUrl::fromLocalFile(QString::fromStdString(Base + ".html")));
    WebBrowser1->reload();
}

void TForm1::AppendStepSummary()
{
    if (!StepPageLines)
        return;
    rtl::TStringList &Page = *StepPageLines;
    // Each line goes before the page's last two ("</body>", "</html>").
    const auto Add = [&Page](const std::string &ALine) { Page.Insert(std::max(0, Page.Count() - 2), ALine); };
    switch (WizardStep) {
    case 0: {
        Add("<hr>");
        const int Mode = RadioGroup1->ItemIndex();
        Add("<B>Selected option:</B>" + (Mode >= 0 ? RadioGroup1->ItemText(Mode) : std::string()) + ";<br>");
        Add("<B>Current database:</B>" + MainDbPath + ".<br>");
        break;
    }
    case 1:
        Add("<hr>");
        Add("<B>Included QC tests:</B><br>");
        if (TestTree)
            for (TTreeNode *Node = TestTree->GetFirstNode(); Node; Node = Node->GetNext())
                if (Node->Level() == 0 && Node->StateIndex() == 3)
                    Add(Node->Text() + ";<br>");
        break;
    case 2:
        Add("<hr>");
        Add("<B>Selected parameters are:</B><br>");
        for (int I = 0; I < CheckListBox2->Count(); ++I)
            if (CheckListBox2->Checked(I))
                Add(CheckListBox2->ItemText(I) + ";<br>");
        break;
    case 3:
        Add("<hr>");
        Add("<B>Selected QC Mode is:</B><br>");
        for (QRadioButton *Button : {RadioButton4, RadioButton1, RadioButton2, RadioButton3})
            if (Button->isChecked())
                Add(Button->text().toStdString() + ";<br>");
        break;
    default:
        break;
    }
}

void TForm1::RadioGroup1Click() { WriteStepPage(); }

void TForm1::ResetStartPage()
{
    if (WizardStep != 0)
        return;
    RadioGroup1Click();
    for (QWidget *W : std::initializer_list<QWidget *>{Gauge1, Gauge2, Label1, Label11, Label12})
        W->hide();
}

// ---- change of database -------------------------------------------------------------

void TForm1::ChangeDatabase()
{
    TForm4 Dialog(this);
    Dialog.SetFolder(MainDbDir);
    Dialog.SelectFile(rtl::ExtractFileName(MainDbPath));
    if (Dialog.Execute() != mrOk || !rtl::FileExists(Dialog.Result))
        return;
    THourglass Wait;
    // One step: the new database read with its work tables, and only then
    // kept in the settings; else the one in use as it was.
    const std::string Old = MainDbPath;
    const auto Use = [](const std::string &APath) {
        MainDbPath = APath;
        MainDbDir = rtl::ExtractFilePath(APath);
        MainDbSqlName = MainDbSqlNameOf(APath);
    };
    // Why the database in use cannot be kept: its station tables or its
    // work tables refused; empty when both are read.
    const auto Refusal = [this] {
        std::string Why = StationDbRefusal();
        if (Why.empty()) {
            try {
                CreateWorkTables();
            } catch (const std::exception &E) {
                Why = E.what();
            }
        }
        return Why;
    };
    Use(Dialog.Result);
    const std::string Why = Refusal();
    if (!Why.empty()) {
        Use(Old);
        // Back to the one in use: a failure here is one it had already, or
        // has since, and is said with the other.
        const std::string Back = Refusal();
        SetScreenCursor(crDefault);
        if (Back.empty()) {
            MessageDlg(Why + "\n\nThe program stays on the database " + Old, mtError, mbOK);
            return;
        }
        // The settings still name the old database; the program can read
        // none until another is chosen.
        FDatabaseReady = false;
        std::error_code Ec;
        FDatabaseFault = "The program was on the database " + Old +
                         (std::filesystem::exists(Old, Ec) ? ", which cannot be read now:\n" + Back
                                                            : ", which is gone (no such file).") +
                         "\nThe program is on no database: choose a station database with \"Change Database\".";
        MessageDlg(Why + "\n\n" + FDatabaseFault, mtError, mbOK);
        return;
    }
    FDatabaseReady = true;
    ClearCruiseChoice();
    FCruiseRowNotes.clear();
    DatabaseStage([this] { SyncCruiseList(); });
    DatabaseStage([this] { BuildCruiseLists(); });
    DatabaseStage([this] { FormParamList(); });
    // Kept for the next start once its cruise lists and parameter list are
    // formed from it: a database a stage refused (a column missing) is not.
    if (FDatabaseReady)
        KeepDatabaseChoice();
    else
        FDatabaseFault += "\nThe settings keep the database they named for the next start.";
    WriteStepPage();
    SetScreenCursor(crDefault);
    SayCruiseRowNotes();
}

// ---- the flag write-back and the climatology loading: the work is their
// own units'; the main window only calls it. ------

// Flags into the main database.
void TForm1::WriteFlagsToMainDb() { ::WriteFlagsToMainDb(this); }

// Climatology loading: the import dialog, then the engine's loader.
void TForm1::BitBtn5Click()
{
    // Owned by the window that shows the button (this one, or the editor's
    // QC settings window), which comes back to the front when it closes.
    TfmClimatDlg fmClimatDlg(BitBtn5->window(), ClimSearchPath);
    const int Answer = fmClimatDlg.ShowModal();
    fmClimatDlg.FormClose();
    if (Answer != mrOk)
        return;
    std::vector<TClimLoaded> Loaded;
    LoadClimatology(fmClimatDlg.Import(), *StructTbl, *ClimMSTbl, *ClimBSTbl, LocalDbDir, &Loaded);
    // A parameter that "param" holds from before its climatology existed
    // takes part in the data checks once its climatology is loaded.
    if (!tmpparamtbl->Active()) {
        tmpparamtbl->SetDatabaseName(LocalDbDir);
        tmpparamtbl->SetTableName("param");
        tmpparamtbl->Open();
    }
    const std::vector<std::string> Joined = MarkClimatologyParams(*tmpparamtbl, Loaded);
    // Its level-flag table and the query the checks read "param" through.
    if (!Loaded.empty())
        DatabaseStage([this] { FormParamList(); });
    ShowMessage(ClimatologyLoadText(Loaded, Joined));
}
