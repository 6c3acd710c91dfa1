// The manual QC editor: creation, the cruise list and the station list of
// the shown cruise, the metadata grids, the duplicate mark and closing.
#include "app/manual/uQCManual.h"

#include "app/HandFlags.h"

#include "app/CruiseChoice.h"
#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/StoredEdit.h"
#include "app/manual/map.h"
#include "app/uWriteFlags.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TBatchMove.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDBGridModel.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTimer.h"
#include "platform/toolkit/TTreeView.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QToolButton>

#include <array>
#include <chrono>
#include <cmath>
#include <utility>

namespace {

// Native errors of the Access driver that the editor answers itself.
constexpr int32_t AccessTableExists = -1303;
constexpr int32_t AccessObjectNotFound = -1305;

bool IsNativeError(const EZqDBEngineException &E, int32_t ACode)
{
    return E.ErrorCount() > 0 && E.Errors(0).ErrorCode == ACode;
}

const char *const MetaFields[] = {"Lon", "Lat", "Date_Cast", "Time_Cast", "ID_Cast", "FLon",
                                  "FLat", "FDT", "Depth", "FD", "Velosity", "StationName"};
// The flag of a station that the operator marked as a duplicate.
constexpr int DuplicateFlag = 17;

bool IsOneOf(const std::string &Name, const char *const *List, size_t Count)
{
    for (size_t i = 0; i < Count; ++i)
        if (rtl::SameText(Name, List[i]))
            return true;
    return false;
}

// A station of the cruise's select the editor lists: one whose ID_Cast the
// driver could not read (an identity beyond 32 bits) is left out, as the run
// leaves it out, and named with what could not be read of the cruise: read
// as 0, every look-up, check and write of it would be another station's.
bool ListsStation(TDataSet &AStations) { return !AStations.FieldByName("ID_Cast")->IsNull(); }

// Copies a station value into TmpCast. Dates and times go as date-time
// values: their text differs between the main database's time stamps and
// the work table's date and time fields.
void CopyFieldValue(TField &Source, TField &Dest)
{
    if (Source.IsNull())
        Dest.Clear();
    else if (dynamic_cast<TDateTimeField *>(&Dest))
        Dest.SetAsDateTime(Source.AsDateTime());
    else
        Dest.SetAsString(Source.AsString());
}

// A station's time as TmpCast holds it: the station database's Time_Cast
// whole. A table made by an earlier version declared it a time of day,
// which keeps only the fraction (24:00 read as 00:00 of the same date, a
// time above one day as a time of day), and is made again.
void KeepWholeStationTimes(TTable &ATmpCast)
{
    TField *Time = ATmpCast.FindField("Time_Cast");
    if (!Time || Time->DataType() == rtl::ftDateTime)
        return;
    TFieldDefs Defs(nullptr);
    Defs.Assign(ATmpCast.FieldDefs());
    ATmpCast.Close();
    ATmpCast.FieldDefs().Assign(Defs);
    ATmpCast.FieldDefs().Items(ATmpCast.FieldDefs().IndexOf("Time_Cast"))->SetDataType(rtl::ftDateTime);
    ATmpCast.CreateTable();
    ATmpCast.Open();
}

// The grids show a station's time in hours and minutes from the start of
// its day, so that 24:00 and a time above one day show as stored instead
// of as a time of that same day; the edit text adds the seconds.
void ShowWholeStationTime(TField *F, std::string &AText, bool ADisplay)
{
    AText = F->IsNull() ? std::string() : StationTimeText(F->AsFloat(), !ADisplay);
}

void TakeStationTime(TField *F, const std::string &AText)
{
    double Days = 0;
    if (rtl::Trim(AText).empty())
        F->Clear();
    else if (TryStationTime(AText, Days))
        F->SetAsDateTime(Days);
    else
        F->SetAsDateTime(rtl::StrToTime(AText)); // its words for a text that is no time
}

template <class D> void SetFormat(TField *F, const std::string &Format)
{
    if (auto *T = dynamic_cast<D *>(F))
        T->SetDisplayFormat(Format);
}

// Puts the engine's SelectedTests bits 4 and 5 (data climate check and
// spikes) aside while the station checks run, and back afterwards.
class TStationChecksOnly {
public:
    TStationChecksOnly() : FData(SelectedTests.Bits(4)), FSpikes(SelectedTests.Bits(5))
    {
        SelectedTests.SetBit(4, false);
        SelectedTests.SetBit(5, false);
    }
    ~TStationChecksOnly()
    {
        SelectedTests.SetBit(4, FData);
        SelectedTests.SetBit(5, FSpikes);
    }
    TStationChecksOnly(const TStationChecksOnly &) = delete;
    TStationChecksOnly &operator=(const TStationChecksOnly &) = delete;

private:
    bool FData, FSpikes;
};

} // namespace

std::string StationTimeText(double ADays, bool ASeconds)
{
    const long long Seconds = std::llround(std::fabs(ADays) * 86400.0 * 1000.0) / 1000;
    auto Two = [](long long N) { return (N < 10 ? "0" : "") + std::to_string(N); };
    return Two(Seconds / 3600) + ":" + Two(Seconds / 60 % 60) + (ASeconds ? ":" + Two(Seconds % 60) : "");
}

std::string StationTimeExactText(double ADays)
{
    // Whole seconds read as they always were; a fraction of a second gets
    // the fewest decimals that bring back the very number of days (12 are
    // finer than a double holds of a day or two).
    double Back = 0;
    std::string Text = StationTimeText(ADays, true);
    const long double Seconds = std::fabs(static_cast<long double>(ADays)) * 86400.0L;
    long long Scale = 1;
    for (int Decimals = 1; Decimals <= 12 && !(TryStationTime(Text, Back) && Back == std::fabs(ADays)); ++Decimals) {
        Scale *= 10;
        const long long Scaled = std::llround(Seconds * static_cast<long double>(Scale));
        std::string Fraction = std::to_string(Scaled % Scale);
        Fraction.insert(0, size_t(Decimals) - Fraction.size(), '0');
        Text = StationTimeText(double(Scaled / Scale) / 86400.0, true) + "." + Fraction;
    }
    return Text;
}

bool TryStationTime(std::string_view AText, double &ADays)
{
    // Hours, minutes and seconds, the seconds with decimals after a ".".
    long long Part[3] = {0, 0, 0}, Fraction = 0, Scale = 1;
    int Colons = 0, Digits = 0;
    bool Point = false;
    for (char C : rtl::Trim(std::string(AText))) {
        if (C == ':' && Digits > 0 && Colons < 2 && !Point) {
            ++Colons;
            Digits = 0;
        } else if (C == '.' && Colons == 2 && Digits > 0 && !Point) {
            Point = true;
        } else if (C >= '0' && C <= '9' && Point && Scale < 1000000000000LL) {
            Fraction = Fraction * 10 + (C - '0');
            Scale *= 10;
        } else if (C >= '0' && C <= '9' && !Point && Digits < 6) {
            Part[Colons] = Part[Colons] * 10 + (C - '0');
            ++Digits;
        } else
            return false;
    }
    if (Colons == 0 || (Digits == 0 && !Point) || (Point && Scale == 1) || Part[1] > 59 || Part[2] > 59)
        return false;
    const long double Seconds =
        static_cast<long double>(Part[0] * 3600 + Part[1] * 60 + Part[2]) + static_cast<long double>(Fraction) / Scale;
    ADays = double(Seconds / 86400.0L);
    return true;
}

std::string ScratchCastIdTable()
{
    return "QCCastID" + std::to_string(QCoreApplication::applicationPid());
}

std::string ScratchCastIdLockFile(const std::string &ATable)
{
    return LocalDbDir + DbTablePrefix + "-" + ATable + ".lck";
}

void DropAbandonedScratchLists(TZqQuery &AQuery, const std::string &AOwn)
{
    // Each editor of this installation holds a lock beside the work tables
    // for its list while it is open; the system frees it whichever way the
    // program ends. A lock left by a program that no longer runs is stale:
    // its list is dropped. Lists without a lock here (another installation's,
    // one whose program still runs) are never touched.
    const QString Prefix = QString::fromStdString(DbTablePrefix + "-QCCastID");
    const QDir Dir(QString::fromStdString(LocalDbDir));
    for (const QString &Name : Dir.entryList({Prefix + "*.lck"}, QDir::Files)) {
        const QString Digits = Name.mid(Prefix.size(), Name.size() - Prefix.size() - 4);
        bool Number = false;
        Digits.toLongLong(&Number);
        const std::string Table = "QCCastID" + Digits.toStdString();
        if (!Number || Table == AOwn)
            continue;
        QLockFile Left(Dir.filePath(Name));
        Left.setStaleLockTime(std::chrono::milliseconds::zero());
        if (!Left.tryLock(std::chrono::milliseconds::zero()))
            continue; // its program still runs
        AQuery.SQL()->Clear();
        AQuery.SQL()->Add("DROP Table " + Table);
        try {
            AQuery.ExecSQL();
        } catch (const EZqDBEngineException &) {
            // Gone already, or the database will not drop it now: the editor
            // opens all the same.
        }
    }
}

TForm2::TForm2(QWidget *AOwner) : TForm(AOwner, "Form2")
{
    BuildControls();
    WireControls();
    FormCreate();
}

TForm2::~TForm2()
{
    // The plot panel comes home before the controls go.
    DockProfileBack();
    // The map's timer link must not outlive the timer; the engine's links
    // go back with FEngineLoan.
    if (BlinkTimer == Timer1.get())
        BlinkTimer = nullptr;
    // Closed while its edits are written and checked as usual.
    if (!FClosed)
        RunGuarded([this] { FormClose(); });
    // The profile work table is the main window's and outlives the editor.
    if (ParamTbl) {
        ParamTbl->BeforeEdit = nullptr;
        ParamTbl->AfterPost = nullptr;
        ParamTbl->AfterCancel = nullptr;
        ParamTbl->AfterClose = nullptr;
    }
    tmpStatTbl->AfterCancel = tmpStatTbl->AfterClose = nullptr;
    // The grids are Qt children and outlive the data components, which go
    // with FDataOwner before them.
    for (TDBGrid *G : {DBGrid1, DBGrid2, DBGrid3})
        G->SetDataSource(nullptr);
    DataSource1->SetDataSet(nullptr);
    DataSource2->SetDataSet(nullptr);
    DataSource3->SetDataSet(nullptr);
}

void TForm2::FormCreate()
{
    CheckBox1->setChecked(true);
    CheckBox1Click();
    ZqQuery2->SetConnection(MainConnection);
    tmpstatqry->Close();
    tmpStatTbl->Close();
    tmpstatqry->SetDatabaseName(LocalDbDir);
    tmpDuplQry->SetDatabaseName(LocalDbDir);
    undoqry->SetDatabaseName(LocalDbDir);
    tmpStatTbl->SetDatabaseName(LocalDbDir);
    tmpStatTbl->SetTableName("TmpCast");
    tmpStatTbl->Open();
    KeepWholeStationTimes(*tmpStatTbl);
    for (TZqQuery *Q : {ZqEditQry, ZqQuery4, ZqQuery5, ZqQuery8, ZqQuery3, ZqQuery1})
        Q->SetConnection(MainConnection);
    ZqEditCmmnd->SetConnection(MainConnection);
    // The scratch list first: when the database will not make it, the
    // editor has not yet lent itself to the engine's shared objects. Its
    // lock tells later editors that its program runs; lists whose program
    // ended without dropping them go.
    FScratchLock = std::make_unique<QLockFile>(QString::fromStdString(ScratchCastIdLockFile(CastIdTable)));
    FScratchLock->setStaleLockTime(std::chrono::milliseconds::zero());
    FScratchLock->tryLock(std::chrono::milliseconds::zero());
    DropAbandonedScratchLists(*ZqQuery4, CastIdTable);
    try {
        ZqQuery4->SQL()->Clear();
        ZqQuery4->SQL()->Add("Create Table " + CastIdTable + " (ID_Cast Integer not NULL, primary KEY (ID_cast))");
        ZqQuery4->ExecSQL();
    } catch (const EZqDBEngineException &E) {
        // Left over from an earlier session of this program's editor that
        // ended abnormally: emptied. Any other failure is the database's to
        // tell.
        if (!IsNativeError(E, AccessTableExists))
            throw;
        ZqQuery4->SQL()->Clear();
        ZqQuery4->SQL()->Add("Delete From " + CastIdTable);
        ZqQuery4->ExecSQL();
    }
    DrawTrack = true;
    MetaFieldCaptions.Clear();
    try {
        MetaFieldCaptions.LoadFromFile(CfgDir + "metaFldCapts.txt");
    } catch (const EInOutError &E) {
        MetaFieldCaptions.Clear(); // not UTF-8: said, and titled as without the file
        MessageDlg(E.what(), mtWarning, mbOK);
    } catch (const std::exception &) {
        // Without the captions the grids title their columns by field name.
    }
    rtl::FormatSettings.DecimalSeparator = '.';
    rtl::FormatSettings.ShortDateFormat = "MM/dd/yyyy";
    rtl::FormatSettings.ShortTimeFormat = "hh:mm:ss";
    for (TBits *B : {&LocationErrors, &VelocityErrors, &DepthErrors, &ClimErrorPoints, &DensInversionPoints,
                     &StationDataErrors, &StationSpikeErrors, &SpikePoints, &DataErrorParams, &ExtraBits})
        *B = TBits();

    // The screen's work area, title bar included: the grids' last rows and
    // scroll bars lie at the window's bottom.
    FitToWorkArea(*this);
    LayoutForm(width(), height());
    MapScreenRect = Rect(50, 30, Image1->width() - 50, Image1->height() - 30);
    RedrawMap();
    // The zoom stack outlives the editor: a later session opens on the
    // rectangle an earlier one left, with the way back out of it.
    ZoomOutBtn->setEnabled(ZoomIndex > 0);
    ActSizeBtn->setEnabled(ZoomIndex > 0);

    BlinkTimer = Timer1.get();
    CastParamsQry = ZqQuery3;
    ParamListBox = ListBox2;
    AutoQcCheckBox = CheckBox1;
    ProfilePlotSpan = [this](const std::string &P, const TRealPointArr &Points) { return SpikeSpanOf(P, Points); };
    ErrorsTreeView = TreeView1;
    ZqQuery7->SetConnection(MainConnection);
    BitBtn2->setText(QStringLiteral("All profiles for\nthe same square\nand month as\na data profile"));

    if (ParamTbl) {
        ParamTbl->BeforeEdit = [this](TDataSet *) { TmpDataBeforeEdit(); };
        ParamTbl->AfterPost = [this](TDataSet *) { TmpDataAfterPost(); };
        // An edit that never posts (a text its field refused, a reload) must
        // not leave the next internal post of the table taken for it.
        ParamTbl->AfterCancel = ParamTbl->AfterClose = [this](TDataSet *) { LevelEditArmed = false; };
    }
    tmpStatTbl->AfterCancel = tmpStatTbl->AfterClose = [this](TDataSet *) { CastEditArmed = false; };
}

void TForm2::ShowEmptyStoredFlags()
{
    // The run's tables keep no empty flag: 0 there is no verdict. Where the
    // station database holds no flag either (UNDO put an empty one back),
    // the list shows it empty, as the database holds it.
    for (tmpStatTbl->First(); !tmpStatTbl->Eof(); tmpStatTbl->Next()) {
        if (!CastQry->Locate("ID_Cast", rtl::Variant(tmpStatTbl->FieldByName("ID_Cast")->AsInteger())))
            continue;
        std::vector<TField *> Empty;
        for (const char *Flag : {"FLon", "FLat", "FDT", "FD"}) {
            TField *Shown = tmpStatTbl->FieldByName(Flag);
            if (!Shown->IsNull() && Shown->AsInteger() == 0 && CastQry->FieldByName(Flag)->IsNull())
                Empty.push_back(Shown);
        }
        if (!Empty.empty())
            PostQuietly(*tmpStatTbl, [&] {
                for (TField *F : Empty)
                    F->Clear();
            });
    }
}

void TForm2::AddCruise(int IdCruise, const std::string &CruiseName)
{
    auto *Item = new QListWidgetItem(QString::fromStdString(CruiseName), ListBox1); // owned by the list
    Item->setData(Qt::UserRole, IdCruise);
}

void TForm2::showEvent(QShowEvent *Event)
{
    TForm::showEvent(Event);
    RunGuarded([this] { FormShow(); });
}

void TForm2::resizeEvent(QResizeEvent *Event)
{
    TForm::resizeEvent(Event);
    RunGuarded([this] { Panel2Resize(); });
}

void TForm2::closeEvent(QCloseEvent *Event)
{
    // What was typed and cannot be stored for now keeps the editor open.
    bool Stored = true;
    if (!FClosed)
        RunGuarded([&] { Stored = CommitOpenCells(); });
    if (!Stored) {
        Event->ignore();
        return;
    }
    RunGuarded([this] { FormClose(); });
    TForm::closeEvent(Event);
}

bool TForm2::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched == PaintBox1) {
        if (Event->type() == QEvent::Enter)
            Label10MouseEnter();
        else if (Event->type() == QEvent::Leave)
            Label10MouseLeave();
    } else if (Watched == Panel4 && Event->type() == QEvent::Resize) {
        LayoutProfilePanel();
    } else if (Watched == PaintBox2 && Event->type() == QEvent::Leave) {
        RunGuarded([this] { Label11MouseLeave(); });
    } else if (Event->type() == QEvent::MouseMove &&
               (Watched == Edit1 || Watched == Edit2 || Watched == Edit3 || Watched == Edit4)) {
        RunGuarded([this] { Edit4MouseMove(); });
    }
    return TForm::eventFilter(Watched, Event);
}

void TForm2::FormShow()
{
    // The first cruise is loaded once, when the editor first shows; a
    // resize or a later show must not throw away the operator's work on the
    // shown cruise.
    if (FFirstShown)
        return;
    FFirstShown = true;
    if (ListBox1->count() > 0) {
        ListBox1->setCurrentRow(0);
        ListBox1Click();
    }
}

void TForm2::Panel2Resize()
{
    if (FLaidOut)
        LayoutForm(width(), height());
}

void TForm2::ListBox1Click()
{
    QListWidgetItem *Item = ListBox1->currentItem();
    if (!Item)
        return;
    // Each item carries its cruise's ID_Cruise: two cruises may share a name.
    bool HasId = false;
    const int Id = Item->data(Qt::UserRole).toInt(&HasId);
    if (HasId) {
        LoadCruise(Id);
        return;
    }
    // An item added by name only: the first cruise of that name.
    if (CruiseTbl && CruiseTbl->Locate("Cruise_Name", rtl::Variant(Item->text().toStdString())))
        LoadCruise(CruiseTbl->FieldByName("ID_Cruise")->AsInteger());
}

void TForm2::LoadCruise(int IdCruise)
{
    THourglass Wait;
    StationsReady = false;
    // Greyed while the cruise loads; whatever way the load ends (a
    // profile that cannot be read, say), the list takes the next pick and
    // the map its stations.
    struct TControlsBack {
        TForm2 &Form;
        ~TControlsBack()
        {
            Form.StatSelBtn->setEnabled(true);
            Form.ListBox1->setEnabled(true);
        }
    } ControlsBack{*this};
    ListBox1->setEnabled(false);
    Timer1->SetEnabled(false);
    if (CruiseTbl)
        CruiseTbl->Locate("ID_Cruise", rtl::Variant(IdCruise));
    // What could not be read of its stations is said when a cruise is
    // picked, not at every rebuild of its list.
    const bool Picked = IdCruise != ShownCruiseId;
    ShownCruiseId = IdCruise;
    DataSource1->SetDataSet(nullptr);
    DataSource2->SetDataSet(nullptr);
    DataSource3->SetDataSet(nullptr);
    SpeedButton2->setChecked(false);
    Panel17->hide();
    LayoutForm(width(), height());

    // The stations of the cruise in date and time order, into TmpCast.
    CastQry->Close();
    CastQry->SQL()->Clear();
    CastQry->SQL()->Add("select ID_Cruise, ID_Cast, Date_Cast, Time_Cast, FDt, Lon, FLon, Lat, FLat, Depth, FD, "
                        "StationName from  Cast_Titles where ID_Cruise=" +
                        std::to_string(IdCruise) + " order by Date_Cast, Time_Cast");
    CastQry->Open();
    const std::string CruiseName = CruiseTbl ? CruiseTbl->FieldByName("Cruise_Name")->AsString() : "";
    // With what could not be read, the stations whose levels (or depth) no
    // check can take, as the run says them; the editor's checks judge the
    // levels whatever the run's ticks.
    std::string Unread;
    if (Picked)
        for (const std::string &Line :
             {UnreadStationValues(*CastQry, CruiseName), CruiseStationsListingNoParameter(*CastQry, IdCruise, CruiseName),
              StationsWithoutPosition(*CastQry, CruiseName, SelectedTests.Bits(tstDepth), true)})
            if (!Line.empty())
                Unread += (Unread.empty() ? "" : "\n") + Line;
    CurCastDataset = CastQry;
    tmpStatTbl->Close();
    tmpstatqry->Close();
    tmpstatqry->SQL().Clear();
    tmpstatqry->SQL().Add("Delete From TmpCast");
    tmpstatqry->ExecSQL();
    // A label as long as the station database's column holds (its cut, if
    // the fetch cut it, said above): a work folder's TmpCast made narrower
    // is widened to it.
    if (const TField *Label = CastQry->FindField("StationName"))
        WidenTextFields(*tmpStatTbl, {{"StationName", Label->Size()}});
    tmpStatTbl->Open();
    {
        // One transaction for the whole copy: a post per station would
        // otherwise reach the disk once per station.
        Session.StartTransaction(LocalDbDir);
        try {
            const int Copied = tmpStatTbl->FieldCount() - 1;
            for (CastQry->First(); !CastQry->Eof(); CastQry->Next()) {
                if (!ListsStation(*CastQry))
                    continue;
                tmpStatTbl->Append();
                for (int i = 0; i < Copied && i < CastQry->FieldCount(); ++i)
                    CopyFieldValue(*CastQry->Fields()[i], *tmpStatTbl->Fields()[i]);
                tmpStatTbl->Post();
            }
            Session.Commit(LocalDbDir);
        } catch (...) {
            Session.Rollback(LocalDbDir);
            throw;
        }
    }
    tmpStatTbl->First();
    HotStationIndex = -1;
    PrevStationIndex = -1;
    CurStationIndex = 0;

    const int n = tmpStatTbl->RecordCount();
    for (TBits *B : {&LocationErrors, &VelocityErrors, &DepthErrors, &ClimErrorPoints, &DensInversionPoints,
                     &StationDataErrors, &StationSpikeErrors, &SpikePoints})
        B->SetSize(n);
    CruiseStationPos.assign(size_t(n), TRealPoint{});
    CruiseStationIds.assign(size_t(n), 0);
    CruiseStationPts.clear();
    DuplStationPos.clear();
    DuplStationPts.clear();
    {
        int i = 0;
        for (CastQry->First(); !CastQry->Eof() && i < n; CastQry->Next()) {
            if (!ListsStation(*CastQry))
                continue;
            CruiseStationPos[size_t(i)] = StationPlace(CastQry->FieldByName("Lon"), CastQry->FieldByName("Lat"));
            CruiseStationIds[size_t(i)] = CastQry->FieldByName("ID_Cast")->AsInteger();
            for (TBits *B : {&LocationErrors, &VelocityErrors, &DepthErrors, &StationDataErrors, &StationSpikeErrors,
                             &SpikePoints})
                B->SetBit(i, false);
            ++i;
        }
    }
    if (n == 0)
        CurStationIndex = -1;
    CastQry->First();
    if (n > 0) {
        BuildParamList();
    } else {
        // No station, no parameters: the list and the plot show nothing.
        ParamList.Clear();
        ParamsToCheck.SetSize(0);
        ListBox2->clear();
    }
    // One full-view element per parameter of the station; the profile side
    // fills element 0 when it paints.
    ProfileZoomStacks.assign(size_t(ListBox2->count()), TRealRectArr(1));
    ProfileZoomIndex.assign(size_t(ListBox2->count()), 0);
    {
        TStationChecksOnly StationChecks;

        // The run's flags of this cruise, into TmpCastFlags.
        TmpCastOldFlagsTbl->Close();
        TmpCastOldFlagsTbl->SetTableName("TmpCastOldFlags");
        TmpCastOldFlagsTbl->Open();
        LocalWorkQry->Close();
        LocalWorkQry->SQL().Clear();
        LocalWorkQry->SQL().Add("Select * From " + LocalQuoteName(DbTablePrefix + "-Cast_TitlesFlags") +
                                "  where ID_Cruise = " + std::to_string(IdCruise) + " order by ID_Cast");
        LocalWorkQry->Open();
        TmpCastFlagsTbl->Close();
        TmpCastFlagsTbl->SetTableName("TmpCastFlags");
        TmpCastFlagsTbl->BatchMove(LocalWorkQry, batCopy);
        TmpCastFlagsTbl->Open();
        LocalWorkQry->Close();

        // A cruise that a run has flagged shows the run's flags instead of
        // those of the main database; a station of it that has no flags of
        // a run (judged on its own in the editor, or west of the checked
        // region) shows those of the main database.
        if (TmpCastFlagsTbl->RecordCount() > 0) {
            tmpstatqry->Close();
            tmpstatqry->SQL().Clear();
            tmpstatqry->SQL().Add("Insert Into TmpCastFlags (ID_Cruise, ID_Cast, FLon, FLat, FDT, FD) Select ID_Cruise, "
                                  "ID_Cast, FLon, FLat, FDt, FD From TmpCast Where ID_Cast Not In (Select ID_Cast From "
                                  "TmpCastFlags)");
            tmpstatqry->ExecSQL();
            TmpCastFlagsTbl->Refresh();
            tmpstatqry->Close();
            tmpstatqry->SQL().Clear();
            tmpstatqry->SQL().Add("Select D.ID_Cruise, D.ID_Cast, D.Date_Cast, D.Time_Cast, D1.FDt, D.Lon, D1.FLon, "
                                  "D.Lat, D1.FLat, D.Depth, D1.FD, D.StationName From TmpCast D Left Outer Join "
                                  "TmpCastFlags D1 on  (D1.ID_Cast=D.ID_Cast)");
            tmpstatqry->Open();
            tmpStatTbl->Close();
            tmpStatTbl->SetTableName("tmpCast");
            tmpStatTbl->FieldDefs().Assign(tmpstatqry->FieldDefs());
            tmpStatTbl->FieldDefs().Add("Velosity", rtl::ftFloat, 0, false);
            tmpStatTbl->CreateTable();
            tmpStatTbl->BatchMove(tmpstatqry, batAppend);
            tmpstatqry->Close();
        }

        SetupMetaFields(*tmpStatTbl, true);
        tmpStatTbl->Open();
        SetupMetaFields(*tmpStatTbl, true);
        if (TmpCastFlagsTbl->RecordCount() > 0)
            ShowEmptyStoredFlags();
        tmpStatTbl->First();
        CurCastDataset = tmpStatTbl;
        // A cruise without stations has nothing to check; its duplicate
        // window would be empty.
        // The checks mark the stations in error; the flags shown stay the
        // run's and the operator's (a flag typed 0 stays 0): only "Check
        // metadata" and "Check full Cruise" judge them again.
        if (n > 0) {
            const TCheckRun Check;
            const QScopedValueRollback<bool> Kept(StationFlagsKept, true);
            CheckCruiseCasts();
            // Said with what could not be read of the cruise: the stations
            // of any cruise the duplicate search leaves out, once while they
            // stay the same.
            if (std::string Unsearched = TakeDuplicateSearchUnread(); Picked && Unsearched != UnsearchedSaid) {
                if (!Unsearched.empty())
                    Unread += (Unread.empty() ? "" : "\n") + Unsearched;
                UnsearchedSaid = std::move(Unsearched);
            }
        }
    }
    BuildErrorTree();
    QcRunFinished = true;

    SpeedButton2->setEnabled(TestResults.Bits(0));
    if (SpeedButton2->isChecked() && DuplicatesQry && DuplicatesQry->Active())
        SetupMetaFields(*DuplicatesQry, false);

    PrevStationIndex = CurStationIndex;
    RedrawMap();
    tmpStatTbl->First();
    DataSource1->SetDataSet(tmpStatTbl);
    // The rule on the new fields, before a column is entered.
    ApplyReadOnlyColumns(*DBGrid1);
    if (ListBox2->currentRow() < 0 && ListBox2->count() > 0)
        ListBox2->setCurrentRow(0);
    CurParamIndex = std::max(ListBox2->currentRow(), 0);
    StationsReady = true;
    ListBox2Click();
    ListBox1->setEnabled(true);
    ListBox1->setFocus();
    if (!Unread.empty())
        ShowMessage(Unread);
}

void TForm2::BuildErrorTree()
{
    TreeView1->ClearNodes();
    if (!tmpStatTbl->Active())
        return;
    const int RecNo = tmpStatTbl->RecNo();
    const bool WasReady = StationsReady;
    StationsReady = false;
    tmpStatTbl->DisableControls();
    try {
        // The stations whose verdicts the last write-back left out, with why.
        const auto NotWritten = NotWrittenMarks();
        int i = 0;
        for (tmpStatTbl->First(); !tmpStatTbl->Eof(); tmpStatTbl->Next(), ++i) {
            const std::string Id = tmpStatTbl->FieldByName("ID_Cast")->AsString();
            const auto Mark = NotWritten.find(
                {tmpStatTbl->FieldByName("ID_Cruise")->AsInteger(), tmpStatTbl->FieldByName("ID_Cast")->AsInteger()});
            if (Mark != NotWritten.end())
                TreeView1->AddChild(FindOrAddRootNode(*TreeView1, Id), NotWrittenNodeText(Mark->second));
            if (LocationErrors.Bits(i) || VelocityErrors.Bits(i) || DepthErrors.Bits(i)) {
                TTreeNode *Node = FindOrAddRootNode(*TreeView1, Id);
                if (LocationErrors.Bits(i))
                    TreeView1->AddChild(Node, "Possible Location Error");
                if (VelocityErrors.Bits(i))
                    TreeView1->AddChild(Node, "Possible Velosity Error");
                if (DepthErrors.Bits(i))
                    TreeView1->AddChild(Node, "Possible Depth Error");
            }
            AddDataErrorNodes(Id);
        }
    } catch (...) {
        tmpStatTbl->EnableControls();
        StationsReady = WasReady;
        throw;
    }
    if (RecNo > 0)
        tmpStatTbl->SetRecNoValue(RecNo);
    tmpStatTbl->EnableControls();
    StationsReady = WasReady;
    TreeView1->expandAll();
}

void TForm2::AddDataErrorNodes(const std::string &IdCast)
{
    // The verdicts the editor holds, not only those written back: a level the
    // checks judged keeps the flag they gave it until its station is judged
    // again, and the tree names it as the checks do. A checked parameter the
    // run left out of a table it checked (PSAL, in a run of TEMP alone) is
    // named where the run's rows hold verdicts of it still: the write-back
    // writes them.
    DataErrorParams.SetSize(ParamList.Count());
    std::map<std::string, std::vector<std::string>> FlagsOf; // level table -> flag columns of checked parameters
    for (int j = 0; j < ParamList.Count(); ++j) {
        const std::string P = ParamList.Strings(j);
        if (ParamsToCheck.Bits(j) && ParamDisplayList.IndexOf(P) >= 0 && !ParamTableName(P).empty())
            FlagsOf[ParamTableName(P)].push_back("F" + P);
    }
    // The other checked parameters of those tables (PSAL beside TEMP).
    for (int j = 0; j < ParamList.Count(); ++j) {
        const std::string P = ParamList.Strings(j);
        if (const auto It = FlagsOf.find(ParamTableName(P));
            It != FlagsOf.end() && ParamsToCheck.Bits(j) &&
            std::find(It->second.begin(), It->second.end(), "F" + P) == It->second.end())
            It->second.push_back("F" + P);
    }
    const int Cast = std::atoi(IdCast.c_str());
    for (const auto &[Table, Flags] : FlagsOf) {
        std::vector<bool> RunJudged;
        const std::vector<THeldLevel> Levels = HeldLevels(Table, IdCast, Flags, &RunJudged);
        // The flags typed by hand there, by level and column.
        std::map<std::pair<long long, std::string>, int> Typed;
        for (const THandFlag &H : HandFlagsOf(Cast, Table))
            Typed[{H.Tenth, H.Column}] = H.Flag;
        for (size_t f = 0; f < Flags.size(); ++f) {
            const std::string P = Flags[f].substr(1);
            if (ParamDisplayList.IndexOf(P) < 0 && !RunJudged[f])
                continue;
            const std::string Column = rtl::UpperCase(Flags[f]);
            bool Errors = false;
            long long PrevTenth = NoPresTenth;
            for (size_t k = 0; k < Levels.size(); ++k) {
                const int Flag = Levels[k].Flags[f];
                // A record names the first level of its tenth, the one the
                // checks judge.
                const long long Tenth = HandFlagTenth(Levels[k].Pres);
                const bool FirstOfTenth = k == 0 || Tenth != PrevTenth;
                PrevTenth = Tenth;
                if (Flag < 2 || Flag > 4)
                    continue;
                Errors = true;
                TTreeNode *Node = FindOrAddRootNode(*TreeView1, IdCast);
                FindOrAddChildNode(*TreeView1, "Possible Data Errors", Node);
                if (std::isnan(Levels[k].Pres))
                    continue; // a level without a pressure has no place to name
                // A flag the operator typed, which the station holds, is the
                // operator's: no check's verdict of its kind.
                const auto Hand = FirstOfTenth ? Typed.find({Tenth, Column}) : Typed.end();
                if (Hand != Typed.end() && Hand->second == Flag && Levels[k].Stored[f] == Flag) {
                    AddDataErrorPath(IdCast, P, "Set by hand", Levels[k].Pres, int(k) + 1);
                    continue;
                }
                // A 3 of temperature or salinity is the density inversion's.
                if (Flag == 3 && !IsPtsParam(P))
                    continue;
                AddDataErrorPath(IdCast, Flag == 3 ? "DENS" : P,
                                 Flag == 2 ? "Out Of Climat" : Flag == 3 ? "Density inversion" : "Spike",
                                 Levels[k].Pres, int(k) + 1);
            }
            DataErrorParams.SetBit(ParamList.IndexOf(P), Errors);
        }
    }
}

void TForm2::RenewDataErrorNodes(const std::string &IdCast)
{
    TTreeNode *Root = FindTreeNode(*TreeView1, IdCast);
    if (Root && Root->Level() != 0)
        Root = nullptr;
    if (TTreeNode *Data = FindChildNode(*TreeView1, "Possible Data Errors", Root))
        TreeView1->DeleteNode(Data);
    AddDataErrorNodes(IdCast);
    Root = FindTreeNode(*TreeView1, IdCast);
    if (Root && Root->Level() == 0 && Root->Count() == 0)
        TreeView1->DeleteNode(Root);
    else
        for (TTreeNode *N = Root; N && (N == Root || N->Level() > 0); N = N->GetNext())
            N->setExpanded(true);
}

void TForm2::SetupMetaFields(TDataSet &DataSet, bool WithVelocity)
{
    for (int i = 0; i < DataSet.FieldCount(); ++i) {
        TField *F = DataSet.Fields()[i];
        const std::string &Name = F->FieldName();
        const bool Visible = IsOneOf(Name, MetaFields, std::size(MetaFields));
        F->SetVisible(Visible);
        if (!Visible)
            continue;
        F->SetDisplayWidth(10);
        const std::string Caption = MetaFieldCaptions.Values(Name);
        if (!Caption.empty())
            F->SetDisplayLabel(Caption);
        if (rtl::SameText(Name, "Time_Cast")) {
            F->OnGetText = ShowWholeStationTime;
            F->OnSetText = TakeStationTime;
        } else if (rtl::SameText(Name, "Lon") || rtl::SameText(Name, "Lat"))
            SetFormat<TNumericField>(F, "00.000");
        else if (WithVelocity && rtl::SameText(Name, "Velosity"))
            SetFormat<TNumericField>(F, "#0.0");
        if (IsOneOf(Name, StationFlagColumns, std::size(StationFlagColumns)))
            F->SetDisplayWidth(2);
    }
}

void TForm2::LoadCurrentProfile()
{
    if (!StationsReady || !tmpStatTbl->Active())
        return;
    if (tmpStatTbl->FieldByName("ID_Cast")->AsString().empty())
        return;
    // Keep the map's current station in step with the grid.
    const int Index = tmpStatTbl->RecNo() - 1;
    if (Index >= 0 && size_t(Index) < CruiseStationPos.size() && Index != CurStationIndex) {
        HotStationIndex = Index;
        SelectHotStation();
    }
    BuildParamList();
    LoadProfile();
}

void TForm2::DataSource1DataChange()
{
    RunGuarded([this] {
        // Only a move to another station loads its profile. The station
        // table also reports a column made read-only on entering its grid and
        // every change typed into the shown station; a load then would close
        // the profile's table under an edit of it (UNDO's, say).
        if (tmpStatTbl->Active() && !tmpStatTbl->IsEmpty() && ParamTbl && ParamTbl->Active() &&
            tmpStatTbl->FieldByName("ID_Cast")->AsInteger() == CurCastId)
            return;
        LoadCurrentProfile();
    });
}

void TForm2::ApplyReadOnlyColumns(TDBGrid &Grid)
{
    TDataSource *S = Grid.DataSource();
    TDataSet *D = S ? S->DataSet() : nullptr;
    if (!D || !D->Active())
        return;
    // While the duplicates are shown the position and time of a station
    // stay as they are: the operator only judges them.
    static const char *const Positional[] = {"Lon", "Lat", "Date_Cast", "Time_Cast", "ID_Cast"};
    const bool Dupl = Panel17->isVisible();
    for (int i = 0; i < D->FieldCount(); ++i) {
        TField *F = D->Fields()[i];
        const bool ReadOnly = rtl::SameText(F->FieldName(), "ID_Cast") ||
                              (Dupl && IsOneOf(F->FieldName(), Positional, std::size(Positional)));
        if (F->ReadOnly() != ReadOnly)
            F->SetReadOnly(ReadOnly);
    }
}

void TForm2::DBGrid1Enter(TDBGrid *Grid)
{
    ActiveEditGrid = Grid;
    Grid->SetFixedColor(clMoneyGreen);
    // The undo list is the entered cell's, not the last cell of the grid
    // left before.
    DBGrid1ColEnter(Grid);
}

void TForm2::DBGrid1Exit(TDBGrid *Grid) { Grid->SetFixedColor(clBtnFace); }

void TForm2::DBGrid1ColEnter(TDBGrid *Grid)
{
    ApplyReadOnlyColumns(*Grid);
    FindCastUndoValues();
}

void TForm2::DBGrid1KeyDown(TDBGrid *Grid, int Key)
{
    if (Key != Qt::Key_Return && Key != Qt::Key_Enter && Key != Qt::Key_Down && Key != Qt::Key_Up)
        return;
    TDataSource *S = Grid->DataSource();
    TDataSet *D = S ? S->DataSet() : nullptr;
    if (D && (D->State() == dsEdit || D->State() == dsInsert))
        D->Post();
}

void TForm2::SpeedButton13Click()
{
    if (!Panel17->isVisible() || !ActiveEditGrid || ActiveEditGrid == DBGrid2)
        return;
    TDataSource *S = ActiveEditGrid->DataSource();
    TDataSet *D = S ? S->DataSet() : nullptr;
    if (!D || !D->Active() || D->IsEmpty())
        return;
    // A possible duplicate whose identity cannot be read is named, not
    // marked: read as 0, the mark would be another station's.
    if (const auto *Found = dynamic_cast<const TZqDataSet *>(D))
        if (const std::string Why = UnreadIdText(*Found, "Cast_Titles", "ID_Cast", "StationName"); !Why.empty()) {
            MessageDlg(Why, mtError, mbOK);
            return;
        }
    MarkStationAsDuplicate(D->FieldByName("ID_Cruise")->AsInteger(), D->FieldByName("ID_Cast")->AsInteger());
}

void TForm2::MarkStationAsDuplicate(int IdCruise, int IdCast)
{
    THourglass Wait;
    const std::string Id = std::to_string(IdCast);
    // The values before the mark, as the station edit records them: the
    // shown station's from TmpCast (they may be the run's flags), another
    // cruise's from the main database.
    std::array<std::string, 4> Old;
    const bool Shown = IdCruise == ShownCruiseId && tmpStatTbl->Active() &&
                       tmpStatTbl->Locate("ID_Cast", rtl::Variant(IdCast));
    if (Shown) {
        for (size_t k = 0; k < 4; ++k)
            Old[k] = tmpStatTbl->FieldByName(StationFlagColumns[k])->Text();
    } else {
        ZqEditQry->Close();
        ZqEditQry->SQL()->Clear();
        ZqEditQry->SQL()->Add("Select FLon, FLat, FDT, FD from Cast_Titles where ID_Cast = " + Id);
        ZqEditQry->Open();
        for (size_t k = 0; k < 4; ++k)
            Old[k] = ZqEditQry->Eof() ? std::string() : ZqEditQry->Fields()[int(k)]->AsString();
        ZqEditQry->Close();
    }

    // The four flags of the station as one change of its row, with their
    // undo values and the run's flags, like any station edit.
    const std::string Flag = std::to_string(DuplicateFlag);
    std::vector<TStoredChange> Changes;
    for (size_t k = 0; k < 4; ++k)
        Changes.push_back({StationFlagColumns[k], Flag, Old[k], Flag});
    TStoredEdit Stored(*ZqEditCmmnd, *ZqEditQry, *undoqry);
    const std::string Failure = Stored.SetStation(IdCruise, IdCast, Changes);
    if (!Failure.empty()) {
        MessageDlg(Failure, mtError, mbOK);
        return;
    }
    if (!Stored.WorkFailure().empty())
        MessageDlg(Stored.WorkFailure(), mtError, mbOK);

    // What the grids show; the station table's row is written as no edit.
    if (Shown)
        PostQuietly(*tmpStatTbl, [this] {
            for (const char *Column : StationFlagColumns)
                tmpStatTbl->FieldByName(Column)->SetAsInteger(DuplicateFlag);
        });
    if (DuplicatesQry && DuplicatesQry->Active()) {
        // Read again, so that the duplicates grid shows the stored flags.
        DataSource3->SetDataSet(nullptr);
        DuplicatesQry->Close();
        DuplicatesQry->Open();
        SetupMetaFields(*DuplicatesQry, false);
        DuplicatesQry->Locate("ID_Cast", rtl::Variant(IdCast));
        if (SpeedButton2->isChecked())
            DataSource3->SetDataSet(DuplicatesQry);
    }
}

void TForm2::SpeedButton2Click()
{
    Panel17->setVisible(SpeedButton2->isChecked());
    if (SpeedButton2->isChecked())
        Panel17->raise();
    LayoutForm(width(), height());
    DataSource3->SetDataSet(nullptr);
    RebuildDuplicatePositions();
    PaintBox1->Repaint();
    if (DuplicatesQry && DuplicatesQry->Active()) {
        SetupMetaFields(*DuplicatesQry, false);
        DataSource3->SetDataSet(DuplicatesQry);
    }
}

void TForm2::RebuildDuplicatePositions()
{
    DuplStationPos.clear();
    DuplStationPts.clear();
    DuplStationIds.clear();
    if (!DuplicatesQry || !DuplicatesQry->Active())
        return;
    for (DuplicatesQry->First(); !DuplicatesQry->Eof(); DuplicatesQry->Next()) {
        DuplStationPos.push_back(StationPlace(DuplicatesQry->FieldByName("Lon"), DuplicatesQry->FieldByName("Lat")));
        DuplStationIds.push_back(DuplicatesQry->FieldByName("ID_Cast")->AsInteger());
    }
    DuplicatesQry->First();
}

bool TForm2::CommitOpenCells()
{
    for (TDBGrid *G : {DBGrid1, DBGrid2, DBGrid3})
        if (!G->CommitOpenEditor())
            return false;
    try {
        ApplyInPlotEdits();
    } catch (const rtl::EAbort &) {
        return false;
    }
    return true;
}

void TForm2::ShowShownInLists()
{
    for (int i = 0; i < ListBox1->count(); ++i)
        if (ListBox1->item(i)->data(Qt::UserRole).toInt() == ShownCruiseId)
            ListBox1->setCurrentRow(i);
    if (CurParamIndex < ListBox2->count())
        ListBox2->setCurrentRow(CurParamIndex);
    if (TTreeNode *Node = FindTreeNode(*TreeView1, std::to_string(CurCastId)))
        TreeView1->SetSelected(Node);
}

void TForm2::FormClose()
{
    if (FClosed)
        return;
    // What the operator typed goes to the station database (and is checked
    // under AUTO QC) while every table is open still; whatever that meets,
    // the editor closes.
    RunGuarded([this] { CommitOpenCells(); });
    FClosed = true;
    Timer1->SetEnabled(false);
    ZqQuery5->Close();
    ZqQuery4->Close();
    ZqQuery4->SQL()->Clear();
    ZqQuery4->SQL()->Add("DROP Table " + CastIdTable);
    try {
        ZqQuery4->ExecSQL();
    } catch (const EZqDBEngineException &E) {
        // A table that is gone already is dropped.
        if (!IsNativeError(E, AccessObjectNotFound))
            throw;
    }
    FScratchLock.reset(); // the list is gone: its lock goes too
    DataSource1->SetDataSet(nullptr);
    tmpStatTbl->Close();
}
