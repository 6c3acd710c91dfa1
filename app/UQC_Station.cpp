// The cruise loop and the four station checks: duplicates, location,
// velocity and depth. Station flags are collected per cruise in
// "TmpCastFlags" and merged into the "-Cast_TitlesFlags" table only when
// every station of the cruise was processed, so an interrupted cruise
// leaves its stored flags as they were.
#include "app/UQC.h"
#include "app/UQC_Internal.h"
#include "app/WorkTables.h"

#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "app/uWriteFlags.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TGauge.h"
#include "platform/toolkit/TTreeView.h"

#include <QLabel>
#include <QScreen>
#include <QProgressBar>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <utility>

namespace {

// Stations west of this longitude (the Atlantic side of Gibraltar) are not
// judged; the constant is compared in extended precision, as it always was.
constexpr long double WestLimitLon = -5.6L;

// cos(40 degrees): the velocity test's longitude scale, fixed for the whole
// region of the program rather than taken at each station's latitude.
constexpr double Cos40 = 0.766044443118978; // cos(0.6981317007977318)

// The velocity reference carries across the stations of a cruise; it is
// only ever replaced by a station the velocity test ran on. A cruise starts
// without one: its first station the test runs on is its reference, with no
// speed, also where the stations before it were skipped (west of the
// region, or flags 5 or 9); a speed from the last station of another
// cruise would judge a track no ship sailed.
rtl::TDateTime RefDate = 0;
rtl::TDateTime RefTime = 0;
bool VelocityReferenced = false;

void ShowControl(QWidget *W, bool AShow)
{
    if (W)
        W->setVisible(AShow);
}

void BindDuplicateWindow(TZqParams &AParams);

// Runs one statement on the scratch-table command, activating and
// deactivating it; ACruise: with the duplicate window's bounds and the
// cruise (:Cruise) bound. The text the command holds already (the search
// of each station, whose window and cruise are bound) is not set again:
// the command stays prepared, and only its bounds change.
void RunDuplCommand(const std::string &Sql, const int *ACruise = nullptr)
{
    DuplCommand->Close();
    rtl::TStrings &Text = DuplCommand->CommandText();
    if (Text.Count() != 1 || Text[0] != Sql) {
        Text.Clear();
        Text.Add(Sql);
    }
    if (ACruise) {
        BindDuplicateWindow(DuplCommand->Params());
        DuplCommand->Params().ParamByName("Cruise")->SetAsInteger(*ACruise);
    }
    DuplCommand->SetActive(true);
    DuplCommand->SetActive(false);
}

void RunDuplCommandIgnoringErrors(const std::string &Sql)
{
    try {
        RunDuplCommand(Sql);
    } catch (const std::exception &) {
        // The scratch table may be missing (drop) or there already (select
        // into); either way the next statements find it as they need it.
        try {
            DuplCommand->SetActive(false);
        } catch (const std::exception &) {
        }
    }
}

void OpenQuery(TZqQuery &Q, const std::string &Sql)
{
    Q.Close();
    Q.SQL()->Clear();
    Q.SQL()->Add(Sql);
    Q.Open();
}

// A station database opened read-only takes none of the run's own writes
// (zeroed station flags, the duplicate search's scratch table): the run
// leaves them out and checks on, its verdicts kept in the work tables as
// on any database.
bool StationDbTakesNoWrites() { return CastQry && StationDbReadOnly(CastQry->Connection()); }

void AddErrorNodes(int Index, const std::string &CastId)
{
    if (!ErrorsTreeView)
        return;
    const bool Loc = LocationErrors.Bits(Index), Vel = VelocityErrors.Bits(Index), Dep = DepthErrors.Bits(Index);
    if (!(Loc || Vel || Dep))
        return;
    ErrorsTreeView->AddNode(nullptr, CastId);
    TTreeNode *Node = FindTreeNode(*ErrorsTreeView, CastId);
    ErrorsTreeView->SetSelected(Node);
    if (Loc)
        ErrorsTreeView->AddChild(ErrorsTreeView->Selected(), "Possible Location Error");
    if (Vel)
        ErrorsTreeView->AddChild(ErrorsTreeView->Selected(), "Possible Velosity Error");
    if (Dep)
        ErrorsTreeView->AddChild(ErrorsTreeView->Selected(), "Possible Depth Error");
}

// ---- what each station check judged -------------------------------------------
// A station's row of the "-Cast_TitlesFlags" table keeps, beside its flags,
// the verdict of each station check and what the check judged it by
// (StationTestsField): a later pass that does not run a check keeps that
// check's verdict where the station is as it was, and names the stations
// whose verdict it drops because they changed since. The flags are the
// stored ones raised by every verdict that holds, as when every check runs
// in one pass.

enum TStationCheck { scLocation, scVelocity, scDepth, scCount };
const int TestOfCheck[scCount] = {tstLocation, tstVelocity, tstDepth};
const char CheckLetter[scCount + 1] = "LVD";
const char *const CheckWord[scCount] = {"location", "speed", "depth"};

// One check's verdict: '1' or '3'; for the velocity check '0' on the
// cruise's reference station (the first it judges: no speed), for the
// depth check '0' where the station has no depth (its flag set to 0); '-'
// where the check judged nothing; 0 where no verdict is kept. Late: a time
// beyond a day (the velocity check's 4). Print: what the check judged the
// station by.
struct TCheckVerdict {
    char Verdict = 0;
    bool Late = false;
    std::string Print;
};
struct TStationVerdicts {
    TCheckVerdict Of[scCount];
    // A row that keeps no verdict of any check (one an earlier version
    // wrote, which kept the flags alone): its flags FLon, FLat, FDT, FD.
    bool FlagsAlone = false;
    int Flags[4] = {};
    // "L3/<print> V1+/<print> D-/<print>".
    std::string Text() const
    {
        std::string Out;
        for (int C = 0; C < scCount; ++C)
            if (Of[C].Verdict)
                Out += std::string(Out.empty() ? "" : " ") + CheckLetter[C] + Of[C].Verdict + (Of[C].Late ? "+" : "") +
                       "/" + Of[C].Print;
        return Out;
    }
    static TStationVerdicts Parse(const std::string &AText)
    {
        TStationVerdicts V;
        for (size_t At = 0; At < AText.size();) {
            const size_t End = std::min(AText.find(' ', At), AText.size());
            const std::string Entry = AText.substr(At, End - At);
            const size_t Slash = Entry.find('/');
            const char *Letter = Entry.size() >= 2 && Entry[0] ? std::strchr(CheckLetter, Entry[0]) : nullptr;
            if (Letter && Slash != std::string::npos) {
                TCheckVerdict &C = V.Of[Letter - CheckLetter];
                C.Verdict = Entry[1];
                C.Late = Slash > 2 && Entry[2] == '+';
                C.Print = Entry.substr(Slash + 1);
            }
            At = End + 1;
        }
        return V;
    }
};

// The verdicts the checks of this pass give the station under check.
TStationVerdicts FreshVerdicts;

// What a pass over a cruise's stations found of the checks it did not
// run: stations whose verdict does not hold (none kept, or the station
// changed since), those among them whose verdict it dropped; and whether
// any station went through the station checks at all.
struct TCruiseVerdicts {
    bool Taken = false;
    bool Unheld[scCount] = {};
    std::vector<int> Dropped[scCount];
    // The stations whose row kept its flags alone, those of a check this
    // pass did not run among them dropped.
    std::vector<int> FlagsDropped[scCount];
};
TCruiseVerdicts CruiseVerdicts;

uint64_t TextHash(const std::string &AText)
{
    uint64_t H = 14695981039346656037u; // FNV-1a
    for (const unsigned char C : AText)
        H = (H ^ C) * 1099511628211u;
    return H;
}

std::string HexOf(uint64_t AValue) { return rtl::IntToHex(int64_t(AValue >> 32), 8) + rtl::IntToHex(int64_t(AValue & 0xFFFFFFFFu), 8); }

// The moments and positions of the cruise's stations in check order: a
// station's speed is judged from the station before it.
std::string CruisePrintOf(TDataSet &C)
{
    std::string All;
    for (C.First(); !C.Eof(); C.Next()) {
        const TJudgedPrint P(StationColumnsOf(C));
        All += C.FieldByName("ID_Cast")->AsString() + "/" + P.When + "/" + P.Where + ";";
    }
    C.First();
    return HexOf(TextHash(All));
}

// What each check judges the current station by: its position; its moment
// and position among the cruise's; its position and depth (to 1e-7 m, as a
// print takes a value: the editor's copy holds it as text).
void ChecksPrints(TDataSet &C, const std::string &ACruisePrint, std::string APrints[scCount])
{
    const TJudgedPrint P(StationColumnsOf(C));
    APrints[scLocation] = P.Where;
    APrints[scVelocity] = HexOf(TextHash(P.When + P.Where + ACruisePrint));
    TField *Depth = C.FieldByName("Depth");
    const double D = IsEmptyValue(Depth) ? 0 : Depth->AsFloat();
    uint64_t Bits;
    std::memcpy(&Bits, &D, sizeof Bits);
    APrints[scDepth] = P.Where + (IsEmptyValue(Depth)                        ? std::string("e")
                                  : std::isfinite(D) && std::fabs(D) < 9e11 ? HexOf(uint64_t(std::llround(D * 1e7)))
                                                                            : "b" + HexOf(Bits));
}

// The verdicts kept with the cruise's stations, by ID_Cast.
std::map<int, TStationVerdicts> KeptVerdicts(int AIdCruise)
{
    std::map<int, TStationVerdicts> Kept;
    if (!CastFlagTbl)
        return Kept;
    TLocalDatabase::TLease Q(CastFlagTbl->Database(), "SELECT ID_Cast, " + std::string(StationTestsField) +
                                                          ", FLon, FLat, FDT, FD FROM " + CastFlagTbl->SqlName() +
                                                          " WHERE ID_Cruise = ?");
    Q->BindInt(1, AIdCruise);
    while (Q->Step()) {
        TStationVerdicts V = TStationVerdicts::Parse(Q->Column(1).AsText());
        V.FlagsAlone = V.Text().empty();
        for (int F = 0; F < 4; ++F)
            V.Flags[F] = int(Q->Column(2 + F).AsInt64());
        Kept[int(Q->Column(0).AsInt64())] = V;
    }
    return Kept;
}

// Whether check C judges a station this pass: ticked, and with its region
// or grid.
bool ChecksThisPass(int C)
{
    return SelectedTests.Bits(TestOfCheck[C]) && !(C == scLocation && !LocationRefusal.empty()) &&
           !(C == scDepth && !DepthCheckBlocked().empty());
}

// Raises the working flags by a kept verdict of check C, where the check
// would judge the station now (its flags neither 5 nor 9); false where it
// would not.
bool ApplyKeptVerdict(int C, const TCheckVerdict &V, int AIndex)
{
    const auto Fixed = [](int F) { return F == 5 || F == 9; };
    const int Flag = V.Verdict == '-' ? 0 : V.Verdict - '0';
    switch (C) {
    case scLocation:
        if (Fixed(CastFLat) || Fixed(CastFLon))
            return false;
        if (Flag) {
            CastFLon = IntMax(Flag, CastFLon);
            CastFLat = IntMax(Flag, CastFLat);
            if (VisualMode)
                LocationErrors.SetBit(AIndex, Flag == 3);
        }
        break;
    case scVelocity:
        if (Fixed(CastFLon) || Fixed(CastFLat) || Fixed(CastFDT))
            return false;
        if (V.Late)
            CastFDT = IntMax(4, CastFDT);
        if (Flag) {
            CastFLon = IntMax(Flag, CastFLon);
            CastFLat = IntMax(Flag, CastFLat);
            CastFDT = IntMax(Flag, CastFDT);
            if (VisualMode)
                VelocityErrors.SetBit(AIndex, Flag == 3);
        }
        break;
    default:
        if (Fixed(CastFD))
            return false;
        if (V.Verdict == '0')
            CastFD = 0;
        else if (Flag) {
            CastFD = IntMax(Flag, CastFD);
            if (VisualMode)
                DepthErrors.SetBit(AIndex, Flag == 3);
        }
    }
    if (Flag == 3)
        TestResults.SetBit(TestOfCheck[C], true);
    return true;
}

// The verdicts of the current station: this pass's of the checks it runs,
// and the kept ones of the others where the station is as they judged it.
TStationVerdicts StationVerdicts(const TStationVerdicts *AKept, const std::string &ACruisePrint, int AIdCast,
                                 int AIndex)
{
    std::string Prints[scCount];
    ChecksPrints(*CurCastDataset, ACruisePrint, Prints);
    TStationVerdicts Out;
    for (int C = 0; C < scCount; ++C) {
        TCheckVerdict &V = Out.Of[C];
        if (ChecksThisPass(C)) {
            V = FreshVerdicts.Of[C];
            V.Verdict = V.Verdict ? V.Verdict : '-';
            V.Print = Prints[C];
            continue;
        }
        const TCheckVerdict *Kept = AKept ? &AKept->Of[C] : nullptr;
        if (!Kept || !Kept->Verdict || Kept->Print != Prints[C]) {
            CruiseVerdicts.Unheld[C] = true;
            // Named where the verdict raised a flag.
            if (Kept && (Kept->Verdict == '1' || Kept->Verdict == '3' || Kept->Late ||
                         (C == scDepth && Kept->Verdict == '0')))
                CruiseVerdicts.Dropped[C].push_back(AIdCast);
            continue;
        }
        V = *Kept;
        if (!ApplyKeptVerdict(C, V, AIndex))
            V.Verdict = '-';
    }
    // A row that kept its flags alone does not say which check gave them:
    // a flag of a check not run this pass that the station's new row does
    // not hold is named as dropped, under each such check that sets it.
    if (AKept && AKept->FlagsAlone) {
        const int Now[4] = {CastFLon, CastFLat, CastFDT, CastFD};
        const auto Moved = [&](int F) { return AKept->Flags[F] != Now[F]; };
        const bool Sets[scCount] = {Moved(0) || Moved(1), Moved(0) || Moved(1) || Moved(2), Moved(3)};
        for (int C = 0; C < scCount; ++C)
            if (!ChecksThisPass(C) && Sets[C])
                CruiseVerdicts.FlagsDropped[C].push_back(AIdCast);
    }
    return Out;
}

} // namespace

// ---- cruise loop -----------------------------------------------------------------

void CheckCruises()
{
    TQcRunScope Run;
    const TTimeReachHeld Reach;
    const struct TParamListsGo {
        ~TParamListsGo() { ReleaseCruiseParamLists(); }
    } ParamLists;
    TInterruptible Running;
    TGaugePacer Gauges;
    QcRunFinished = false;
    QcInterrupted = false;
    AbortRequested = false;
    ShowControl(TotalGauge, true);
    ShowControl(EscHintLabel, true);
    ShowControl(CruiseGauge, true);
    ShowControl(CruiseLabel, true);
    ShowControl(TotalLabel, true);
    CruiseTbl->First();
    const int CruiseCount = CruiseTbl->RecordCount();
    for (int i = 0; i < CruiseCount; ++i) {
        const int CruiseId = CruiseTbl->FieldByName("ID_Cruise")->AsInteger();
        OpenQuery(*CastQry, "Select * from Cast_Titles where ID_Cruise = " + std::to_string(CruiseId) +
                                " order by Date_Cast, Time_Cast");
        CurCastDataset = CastQry;

        // "TmpCastFlags" is made afresh by CheckCruiseCasts.
        std::string CruiseName = CruiseTbl->FindField("Cruise_Name") ? CruiseTbl->FieldByName("Cruise_Name")->AsString() : "";
        if (QcCruiseQry && QcCruiseQry->Active() && QcCruiseQry->Locate("ID_Cruise", CruiseId))
            CruiseName = QcCruiseQry->FieldByName("Cruise_Name")->AsString();
        if (const std::string Unread = UnreadStationValues(*CastQry, CruiseName); !Unread.empty())
            StationsPartlyRead(Unread);
        CurCastDataset->First();

        TestResults.SetSize(QcTestCount);
        TestResults.Clear();
        // Each station's levels are checked for the parameters it lists; a
        // station or a whole cruise that lists none has nothing checked,
        // which is said with the run's other unchecked levels. The spike
        // test runs inside the data climate check only (its level loop):
        // without it no spike is judged, nor marked as checked.
        bool DataChecked = SelectedTests.Bits(tstDataClimat);
        const bool NoStation = CurCastDataset->IsEmpty();
        if (DataChecked && !CurCastDataset->IsEmpty()) {
            if (!HoldCruiseParamLists(CruiseId)) {
                CruiseListsNoParameters(CruiseName);
                DataChecked = false;
            } else if (const std::string NoList = StationsListingNoParameter(*CurCastDataset, CruiseName);
                       !NoList.empty()) {
                StationsPartlyRead(NoList);
            }
        }
        if (const std::string Nowhere =
                StationsWithoutPosition(*CurCastDataset, CruiseName, SelectedTests.Bits(tstDepth), DataChecked);
            !Nowhere.empty())
            StationsPartlyRead(Nowhere);
        if (CruiseLabel) {
            // A name as long as its in-memory column takes (another tool
            // wrote one past its declared size) is cut in its middle where
            // it would widen the window past half its screen; the tooltip
            // holds it whole.
            const QString Whole = QString::fromStdString("Cruise: " + CruiseName + "  (" +
                                                         std::to_string(CurCastDataset->RecordCount()) + " stations)");
            const QScreen *Screen = CruiseLabel->screen();
            const int Room = Screen ? Screen->availableGeometry().width() / 2 : 640;
            const QString Shown = CruiseLabel->fontMetrics().elidedText(Whole, Qt::ElideMiddle, Room);
            CruiseLabel->setText(Shown);
            CruiseLabel->setToolTip(Shown == Whole ? QString() : Whole);
        }

        LevelsJudged = {};
        CruiseVerdicts = {};
        CheckCruiseCasts();
        // The stations the duplicate search leaves out, asked once a run.
        if (const std::string Unsearched = TakeDuplicateSearchUnread(); !Unsearched.empty())
            StationsPartlyRead(Unsearched);

        if (AbortRequested) {
            QcProcessMessages();
            ShowMessage("Quality chek procedure was interrupted");
            AbortRequested = false;
            return;
        }
        QcProcessMessages();
        Gauges.Set(TotalGauge, RoundPixel((i + 1) / double(CruiseCount) * 100.0));

        // The stations the station checks leave out, west of their region.
        if (const std::string West = StationsWestOfTheChecks(*CurCastDataset, CruiseName); !West.empty())
            StationsPartlyRead(West);
        for (int C = 0; C < scCount; ++C) {
            const std::string Word = CheckWord[C];
            if (const std::vector<int> &Ids = CruiseVerdicts.Dropped[C]; !Ids.empty())
                StationsPartlyRead(StationsLine(Ids, CruiseName,
                                                " is not as its " + Word + " check judged it: its earlier " + Word +
                                                    " flags were dropped",
                                                " are not as their " + Word + " check judged them: their earlier " +
                                                    Word + " flags were dropped"));
            if (const std::vector<int> &Ids = CruiseVerdicts.FlagsDropped[C]; !Ids.empty())
                StationsPartlyRead(StationsLine(Ids, CruiseName,
                                                " kept its flags without the verdicts that gave them: its earlier " +
                                                    Word + " flags were dropped",
                                                " kept their flags without the verdicts that gave them: their "
                                                "earlier " + Word + " flags were dropped"));
        }

        // A cruise missing from the QCCruise table has no record to mark;
        // editing whatever record is current would mark another cruise.
        if (QcCruiseTbl && QcCruiseTbl->Locate("ID_Cruise", CruiseId)) {
            static const char *const Ran[QcTestCount] = {"ChDuplicates", "ChLocation", "ChVelosity",
                                                         "ChDepth", "ChDataClimat", "ChDataSpike"};
            static const char *const Found[QcTestCount] = {"Duplicates", "Location", "Velosity",
                                                           "Depth", "DataClimat", "DataSpike"};
            // A test is marked as run only where it ran: the duplicate
            // search left to the editor ("Visual mode only") did not.
            const bool DuplicatesRan = !(VisualModeOnly && !VisualMode);
            // A data test ran on a cruise where it judged a level of it: not
            // where every station lies in no square, or in squares without
            // the climate of any parameter it checks. Such stations are
            // said; a later pass over the unchecked cruises takes the cruise
            // again. A cruise without stations leaves nothing to judge.
            const bool DataRan[2] = {DataChecked && (NoStation || LevelsJudged.Climat),
                                     DataChecked && (NoStation || LevelsJudged.Spike)};
            // The station checks judge no station west of their region: a
            // cruise wholly there is checked by none of them.
            const bool StationsJudged = NoStation || CruiseVerdicts.Taken;
            QcCruiseTbl->Edit();
            for (int t = 0; t < QcTestCount; ++t) {
                TField *Checked = QcCruiseTbl->FieldByName(Ran[t]), *Errors = QcCruiseTbl->FieldByName(Found[t]);
                const int Check = t == tstLocation ? scLocation : t == tstVelocity ? scVelocity : scDepth;
                const bool StationCheck = t == tstLocation || t == tstVelocity || t == tstDepth;
                const bool TestRan = t == tstDuplicates        ? DuplicatesRan
                                     : t >= tstDataClimat ? DataRan[t - tstDataClimat]
                                                            : ChecksThisPass(Check) && StationsJudged;
                if (SelectedTests.Bits(t) && TestRan) {
                    Checked->SetAsBoolean(true);
                    Errors->SetAsBoolean(TestResults.Bits(t));
                } else if (StationCheck) {
                    // Its verdicts kept hold the cruise where every station
                    // it judges has one as it stands.
                    Checked->SetAsBoolean(StationsJudged && Checked->AsBoolean() && !CruiseVerdicts.Unheld[Check]);
                    Errors->SetAsBoolean(TestResults.Bits(t));
                } else if (t == tstDataSpike && DataRan[0]) {
                    // The levels judged again lost the spike verdicts.
                    if (Checked->AsBoolean())
                        StationsPartlyRead("The levels of the cruise " + CruiseName +
                                           " checked again without the spike test lost the spike flags of its check "
                                           "before");
                    Checked->SetAsBoolean(false);
                    Errors->SetAsBoolean(false);
                }
                // Otherwise what an earlier pass found of the cruise holds:
                // this pass changed no verdict of the test.
            }
            QcCruiseTbl->Post();
        }
        CruiseTbl->Next();
    }
    ShowControl(TotalGauge, false);
    ShowControl(EscHintLabel, false);
    ShowControl(CruiseGauge, false);
    ShowControl(CruiseLabel, false);
    ShowControl(TotalLabel, false);
    QcRunFinished = true;
}

std::string UnreadStationValues(TZqQuery &AStations, const std::string &ACruiseName)
{
    std::string Text;
    for (AStations.First(); !AStations.Eof(); AStations.Next()) {
        const auto *E = dynamic_cast<const EZqDBEngineException *>(AStations.RowError());
        if (!E)
            continue;
        // A text read cut to its column (another tool wrote one past its
        // declared size) has its first part; a value that cannot be read
        // has none. Each is said with the words of its first record.
        std::string Unread, UnreadWords, Cut, CutWords;
        for (int I = 0; I < E->ErrorCount(); ++I) {
            const TField *F = AStations.FindField(E->Errors(I).ObjName);
            const bool Kept = F && !F->IsNull();
            std::string &Columns = Kept ? Cut : Unread;
            std::string &Words = Kept ? CutWords : UnreadWords;
            if (Columns.empty())
                Words = E->Errors(I).Message;
            Columns += (Columns.empty() ? "" : ", ") + E->Errors(I).ObjName;
        }
        if (E->ErrorCount() == 0)
            UnreadWords = E->Message();
        const std::string Station = "The station " + AStations.FieldByName("ID_Cast")->AsString() + " of the cruise " +
                                    ACruiseName + " is checked with";
        if (AStations.FieldByName("ID_Cast")->IsNull())
            Text += (Text.empty() ? "" : "\n") + ("A station of the cruise " + ACruiseName +
                                                  " in Cast_Titles is left out: its ID_Cast cannot be read: " +
                                                  E->Message());
        else {
            if (!Unread.empty() || Cut.empty())
                Text += (Text.empty() ? "" : "\n") + (Station + "out its " + Unread + ", which cannot be read: " +
                                                      UnreadWords);
            if (!Cut.empty())
                Text += (Text.empty() ? "" : "\n") + (Station + " its " + Cut + " cut: " + CutWords);
        }
    }
    AStations.First();
    return Text;
}

std::string StationsWithoutPosition(TDataSet &AStations, const std::string &ACruiseName, bool ADepth, bool ALevels)
{
    if (!ADepth && !ALevels)
        return "";
    std::vector<int> Ids;
    // A station whose identity cannot be read is left out, and said so.
    for (AStations.First(); !AStations.Eof(); AStations.Next())
        if (!StationHasPosition(AStations) && !(AStations.FieldByName("Lon")->AsFloat() < WestLimitLon) &&
            !AStations.FieldByName("ID_Cast")->IsNull())
            Ids.push_back(AStations.FieldByName("ID_Cast")->AsInteger());
    AStations.First();
    const std::string What = ADepth && ALevels ? "depth and levels are" : ADepth ? "depth is" : "levels are";
    return StationsLine(Ids, ACruiseName, " has no position that can be read: its " + What + " not checked",
                        " have no position that can be read: their " + What + " not checked");
}

std::string StationsWestOfTheChecks(TDataSet &AStations, const std::string &ACruiseName)
{
    std::vector<std::string> What;
    for (const auto &[Test, Word] : {std::pair{tstLocation, "location"}, std::pair{tstVelocity, "speed"},
                                     std::pair{tstDepth, "depth"}, std::pair{tstDataClimat, "levels"}})
        if (SelectedTests.Bits(Test))
            What.push_back(Word);
    std::vector<int> Ids;
    for (AStations.First(); !What.empty() && !AStations.Eof(); AStations.Next())
        if (AStations.FieldByName("Lon")->AsFloat() < WestLimitLon && !AStations.FieldByName("ID_Cast")->IsNull())
            Ids.push_back(AStations.FieldByName("ID_Cast")->AsInteger());
    AStations.First();
    std::string Words;
    for (size_t I = 0; I < What.size(); ++I)
        Words += (I == 0 ? "" : I + 1 == What.size() ? " and " : ", ") + What[I];
    return StationsLine(Ids, ACruiseName, " lies west of longitude -5.6, where the checks end: its " + Words +
                                              (What.size() == 1 && What[0] != "levels" ? " is" : " are") + " not checked",
                        " lie west of longitude -5.6, where the checks end: their " + Words +
                            (What.size() == 1 && What[0] != "levels" ? " is" : " are") + " not checked");
}

bool StationHasPosition(TDataSet &AStation)
{
    return !IsEmptyValue(AStation.FieldByName("Lon")) && !IsEmptyValue(AStation.FieldByName("Lat"));
}

std::string StationSquare(TDataSet &AStation)
{
    if (!StationHasPosition(AStation)) {
        SeaCode.clear();
        return "";
    }
    return SquareOfStation(AStation.FieldByName("Lon")->AsFloat(), AStation.FieldByName("Lat")->AsFloat());
}

void CheckCruiseCasts()
{
    // Made afresh for every cruise, also when the editor calls this
    // directly: rows left from another cruise would be merged again over
    // flags changed since.
    TmpCastOldFlagsTbl->Close();
    TmpCastOldFlagsTbl->SetTableName("TmpCastOldFlags");
    TmpCastOldFlagsTbl->Open();
    TmpCastFlagsTbl->Close();
    TmpCastFlagsTbl->SetTableName("TmpCastFlags");
    TmpCastFlagsTbl->FieldDefs().Assign(TmpCastOldFlagsTbl->FieldDefs());
    for (int f = 2; f < TmpCastFlagsTbl->FieldDefs().Count(); ++f) {
        TmpCastFlagsTbl->FieldDefs().Items(f)->SetRequired(true);
        TmpCastFlagsTbl->FieldDefs().Items(f)->SetDefaultExpression("0");
    }
    TmpCastFlagsTbl->FieldDefs().Add(StationTestsField, rtl::ftMemo);
    TmpCastFlagsTbl->CreateTable();
    TmpCastFlagsTbl->Open();

    TLocalWriteBatch Batch(TmpCastFlagsTbl->DatabaseName());
    TLevelFlagsHeld Held;
    TGaugePacer Gauges;
    // What the cruise's rolled-back transaction undoes must not come back
    // from memory with the next cruise.
    struct TDropOnFailure {
        bool Done = false;
        ~TDropOnFailure()
        {
            if (!Done)
                DropUnsavedLevelFlagRows();
        }
    } Drop;
    TDataSet &Casts = *CurCastDataset;
    Casts.First();
    if (!(VisualModeOnly && !VisualMode) && !Casts.IsEmpty()) {
        CheckDuplicates();
        Casts.First();
    }
    if (VisualMode && ErrorsTreeView)
        ErrorsTreeView->ClearNodes();
    const std::map<int, TStationVerdicts> Kept =
        Casts.IsEmpty() ? std::map<int, TStationVerdicts>() : KeptVerdicts(Casts.FieldByName("ID_Cruise")->AsInteger());
    const std::string CruisePrint = CruisePrintOf(Casts);
    const int CastCount = Casts.RecordCount();
    VelocityReferenced = false;
    for (int i = 0; i < CastCount; ++i) {
        if (!VisualMode) {
            QcProcessMessages();
            Gauges.Set(CruiseGauge, RoundPixel((i + 1) * 100.0 / CastCount));
        }
        if (AbortRequested) {
            SaveLevelFlagRows();
            RestoreClimatologyQuery();
            Drop.Done = true;
            Batch.Commit();
            return;
        }
        // A station whose identity cannot be read is left out (named with
        // the values not read): its flags and levels would be another's.
        if (Casts.FieldByName("ID_Cast")->IsNull()) {
            Casts.Next();
            continue;
        }
        const long double Lon = Casts.FieldByName("Lon")->AsFloat();
        if (Lon < WestLimitLon) {
            ZeroCastFlags();
        } else {
            const int IdCast = Casts.FieldByName("ID_Cast")->AsInteger();
            LoadCastFlags();
            FreshVerdicts = {};
            GridDepthValue = EstimateGridDepth();
            CheckLocation();
            CheckVelocity();
            CheckDepth();
            const auto KeptOf = Kept.find(IdCast);
            const TStationVerdicts Verdicts =
                StationVerdicts(KeptOf == Kept.end() ? nullptr : &KeptOf->second, CruisePrint, IdCast, i);
            CruiseVerdicts.Taken = true;
            TmpCastFlagsTbl->Append();
            TmpCastFlagsTbl->FieldByName("ID_Cruise")->SetAsInteger(Casts.FieldByName("ID_Cruise")->AsInteger());
            TmpCastFlagsTbl->FieldByName("ID_Cast")->SetAsInteger(Casts.FieldByName("ID_Cast")->AsInteger());
            TmpCastFlagsTbl->FieldByName("FLon")->SetAsInteger(CastFLon);
            TmpCastFlagsTbl->FieldByName("FLat")->SetAsInteger(CastFLat);
            TmpCastFlagsTbl->FieldByName("FDT")->SetAsInteger(CastFDT);
            TmpCastFlagsTbl->FieldByName("FD")->SetAsInteger(CastFD);
            TmpCastFlagsTbl->FieldByName(StationTestsField)->SetAsString(Verdicts.Text());
            TmpCastFlagsTbl->Post();
            if (VisualMode)
                AddErrorNodes(i, Casts.FieldByName("ID_Cast")->AsString());
        }
        StationSquare(Casts);
        if (!(Lon < WestLimitLon) && !SeaCode.empty())
            RunDataChecks();
        else if (!(Lon < WestLimitLon) && SelectedTests.Bits(tstDataClimat))
            StationInNoSquare(Casts);
        Casts.Next();
    }
    SaveLevelFlagRows();
    RestoreClimatologyQuery();
    if (!StationFlagsKept)
        MergeFlagRows(*CastFlagTbl, *TmpCastFlagsTbl, {"ID_Cruise", "ID_Cast", "FLon", "FLat", "FDT", "FD", StationTestsField});
    SaveStationPrints();
    Drop.Done = true;
    Batch.Commit();
    QcRestoreCursor();
}

void LoadCastFlags()
{
    TDataSet &C = *CurCastDataset;
    CastFLon = C.FieldByName("FLON")->AsInteger();
    CastFLat = C.FieldByName("FLAT")->AsInteger();
    CastFDT = C.FieldByName("FDT")->AsInteger();
    CastFD = C.FieldByName("FD")->AsInteger();
    if (C.FieldByName("Lon")->AsString().empty()) {
        CastFLon = 9;
        if (CastFLat != 5)
            CastFLat = 0;
    }
    if (C.FieldByName("Lat")->AsString().empty()) {
        CastFLat = 9;
        if (CastFLon != 9 && CastFLon != 5)
            CastFLon = 0;
    }
    if (C.FieldByName("Date_Cast")->AsString().empty() || C.FieldByName("Time_Cast")->AsString().empty())
        CastFDT = 9;
    if (C.FieldByName("Depth")->AsString().empty())
        CastFD = 9;
}

void ZeroCastFlags()
{
    if (StationDbTakesNoWrites())
        return;
    TDataSet &C = *CurCastDataset;
    C.Edit();
    // The operator's own verdicts (5 fixed, 17 duplicate) are not the
    // engine's to clear.
    for (const char *Name : {"FLon", "FLat", "FDT", "FD"}) {
        TField *F = C.FieldByName(Name);
        const int Old = F->AsInteger();
        if (Old != 5 && Old != 17 && (Old != 0 || F->IsNull()))
            F->SetAsInteger(0);
    }
    C.Post();
}

// ---- grid depth and the depth check ---------------------------------------------

double EstimateGridDepth()
{
    TDataSet &C = *CurCastDataset;
    const double Result = -C.FieldByName("Depth")->AsFloat();
    StationPoint = MakeRealPoint(C.FieldByName("Lon")->AsFloat(), C.FieldByName("Lat")->AsFloat());
    StationInGrid = false;
    // The cell that holds the station, found as the map's read-out finds
    // the cell under the mouse; a station without a position is in none.
    TGridCell Cell;
    if (!StationHasPosition(C) || !FindGridCell(StationPoint.x, StationPoint.y, Cell))
        return -10000.0;
    float Nodes[4];
    GridCellNodes(Cell, Nodes);
    const double z[4] = {Nodes[0], Nodes[1], Nodes[2], Nodes[3]};
    const double Min = *std::min_element(z, z + 4), Max = *std::max_element(z, z + 4);
    GridDepthMin = Min;
    GridDepthMean = (z[0] + z[1] + z[2] + z[3]) / 4.0;
    GridDepthLow = Min - std::fabs(GridDepthMean) * DepthTolerancePct / 100;
    GridDepthHigh = Max + std::fabs(GridDepthMean) * DepthTolerancePct / 100;
    StationInGrid = true;
    return Result;
}

std::string DepthCheckBlocked()
{
    if (!SelectedTests.Bits(tstDepth) || GridNX >= 2)
        return std::string();
    return "The depth check judges no station: " +
           (GridRefusal.empty() ? GridFileName + ": no grid was read" : GridRefusal);
}

void CheckDepth()
{
    if (!SelectedTests.Bits(tstDepth) || CastFD == 5 || CastFD == 9)
        return;
    if (GridDepthValue == -9999.0) {
        CastFD = 0;
        FreshVerdicts.Of[scDepth].Verdict = '0';
        return;
    }
    // Outside the grid there are no bounds to judge by: the bounds left by
    // an earlier station belong to another place.
    if (!StationInGrid)
        return;
    const bool Ok = GridDepthLow < GridDepthValue && GridDepthValue < GridDepthHigh;
    if (VisualMode)
        DepthErrors.SetBit(CurCastDataset->RecNo() - 1, !Ok);
    FreshVerdicts.Of[scDepth].Verdict = Ok ? '1' : '3';
    CastFD = IntMax(Ok ? 1 : 3, CastFD);
    if (!Ok)
        TestResults.SetBit(tstDepth, true);
}

// ---- location -----------------------------------------------------------------------

void CheckLocation()
{
    // Without a region read no station is inside or outside it.
    if (!SelectedTests.Bits(tstLocation) || !LocationRefusal.empty() || CastFLat == 9 || CastFLat == 5 ||
        CastFLon == 9 || CastFLon == 5)
        return;
    TDataSet &C = *CurCastDataset;
    StationPoint = MakeRealPoint(C.FieldByName("Lon")->AsFloat(), C.FieldByName("Lat")->AsFloat());
    bool Inside = false;
    try {
        const TPoint P = LocationPixel(StationPoint.x, StationPoint.y);
        Inside = LocationRegion.Contains(P.X, P.Y);
    } catch (const std::exception &) {
        ShowMessage(rtl::FloatToStr(StationPoint.x) + "  " + rtl::FloatToStr(StationPoint.y) + "  " +
                    std::to_string(LocationRegion.Handle()));
        return;
    }
    if (VisualMode)
        LocationErrors.SetBit(C.RecNo() - 1, !Inside);
    FreshVerdicts.Of[scLocation].Verdict = Inside ? '1' : '3';
    CastFLon = IntMax(Inside ? 1 : 3, CastFLon);
    CastFLat = IntMax(Inside ? 1 : 3, CastFLat);
    if (!Inside)
        TestResults.SetBit(tstLocation, true);
}

// ---- velocity -----------------------------------------------------------------------

void CheckVelocity()
{
    if (!SelectedTests.Bits(tstVelocity) || CastFLon == 5 || CastFLon == 9 || CastFLat == 5 || CastFLat == 9 ||
        CastFDT == 5 || CastFDT == 9)
        return;
    TDataSet &C = *CurCastDataset;
    StationPoint = MakeRealPoint(C.FieldByName("Lon")->AsFloat(), C.FieldByName("Lat")->AsFloat());
    const rtl::TDateTime Date = C.FieldByName("Date_Cast")->AsFloat();
    const rtl::TDateTime Time = C.FieldByName("Time_Cast")->AsFloat();
    if (Time > 1.0)
        CastFDT = IntMax(4, CastFDT);
    TCheckVerdict &Verdict = FreshVerdicts.Of[scVelocity];
    Verdict.Verdict = '0';
    Verdict.Late = Time > 1.0;
    if (VelocityReferenced) {
        const double dx = (StationPoint.x - PrevStationPoint.x) * 60 * Cos40;
        const double dy = (StationPoint.y - PrevStationPoint.y) * 60;
        const double Distance = std::sqrt(dx * dx + dy * dy);
        const double dt = ((Date + Time) - (RefDate + RefTime)) * 24;
        const double Speed = dt == 0 ? 10000.0 : Distance / dt;
        const bool Ok = VelocityLimitKnots > Speed;
        if (VisualMode) {
            VelocityErrors.SetBit(C.RecNo() - 1, !Ok);
            C.Edit();
            C.FieldByName("Velosity")->SetAsFloat(Speed);
            C.Post();
        }
        CastFLon = IntMax(Ok ? 1 : 3, CastFLon);
        CastFLat = IntMax(Ok ? 1 : 3, CastFLat);
        CastFDT = IntMax(Ok ? 1 : 3, CastFDT);
        Verdict.Verdict = Ok ? '1' : '3';
        if (!Ok)
            TestResults.SetBit(tstVelocity, true);
    }
    VelocityReferenced = true;
    PrevStationPoint = StationPoint;
    RefDate = Date;
    RefTime = Time;
    PrevStationDate = Date;
    PrevStationTime = Time;
}

// ---- duplicates ---------------------------------------------------------------------

namespace {

// A station's moment, in the search and in the window alike: its date and
// its time as the driver reads them (a date another tool stored as text
// included), in days since 1899-12-30 counted straight through, so that a
// later moment is a larger number before that day too. A stored date-time
// before that day counts its days backwards and its time of day forwards
// (-1.5 is 29 December 1899 12:00): its day and its time of day are added
// up apart, so -1.5 + 0 and -1 + 0.5 are one moment, as are -1 + 0.75 and
// -2 + 1.75. The moments of the stations under search are asked of the
// database, by ID_Cast, through the very expression the search compares:
// a date and a time fetched come rounded to the millisecond, and their sum
// made here may differ from the one compared in its last bits.
const char *const MomentSql = "DateValue(Date_Cast) + TimeValue(Date_Cast) + Time_Cast";
std::map<int, double> StoredMoments;

void ReadStoredMoments(const std::string &ACruiseId)
{
    StoredMoments.clear();
    OpenQuery(*DuplicatesQry, "Select ID_Cast, " + std::string(MomentSql) + " from Cast_Titles where ID_Cruise = " + ACruiseId);
    for (DuplicatesQry->First(); !DuplicatesQry->Eof(); DuplicatesQry->Next())
        if (!IsEmptyValue(DuplicatesQry->Fields()[1]) && !DuplicatesQry->Fields()[0]->IsNull())
            StoredMoments[DuplicatesQry->Fields()[0]->AsInteger()] = DuplicatesQry->Fields()[1]->AsFloat();
    DuplicatesQry->Close();
}

// A station takes part in the duplicate search only where it has a place
// and a moment: one without reads as 0, 0 or 30 December 1899, where it
// would match whatever another cruise holds there, and would stretch a
// cruise's box or span over everything between. One whose identity cannot
// be read is left out (and named): read as 0, it would take another's moment.
bool TakesPartInDuplicates(TDataSet &C)
{
    return !C.FieldByName("ID_Cast")->IsNull() && StationHasPosition(C) && !IsEmptyValue(C.FieldByName("Date_Cast")) &&
           !IsEmptyValue(C.FieldByName("Time_Cast")) && StoredMoments.count(C.FieldByName("ID_Cast")->AsInteger());
}

rtl::TDateTime MomentOf(TDataSet &C) { return StoredMoments.at(C.FieldByName("ID_Cast")->AsInteger()); }

// How far from its stored day a station's time reaches, at least a day:
// the time condition bounds the stored day by it, so that the index on the
// dates serves the search, while the moment decides. Only a time beyond a
// day can reach further; the few stations asked for hold those and the
// times that cannot be read. Such a time has no moment: its station is
// named (TimeReachUnread) and found by no search. The run changes no
// station's time, so it asks once; the editor, whose edits may, asks at
// every search.
double DuplTimeReach = 1.0;
bool TimeReachKnown = false;
bool TimeReachHolds = false;
std::string TimeReachUnread;

void AskTimeReach()
{
    if (TimeReachHolds && TimeReachKnown)
        return;
    OpenQuery(*DuplicatesQry, "Select c.ID_Cast, c.Time_Cast, t.Cruise_Name, c.ID_Cruise from Cast_Titles c Left Join "
                              "Cruise_Titles t On t.ID_Cruise = c.ID_Cruise where (c.Time_Cast < -1) or (c.Time_Cast > 1) or "
                              "((c.Time_Cast Is Not Null) and (c.Time_Cast + 0 Is Null))");
    DuplTimeReach = 1.0;
    TimeReachUnread.clear();
    TField *Time = DuplicatesQry->Fields()[1];
    for (DuplicatesQry->First(); !DuplicatesQry->Eof(); DuplicatesQry->Next()) {
        if (!IsEmptyValue(Time)) {
            DuplTimeReach = std::max(DuplTimeReach, std::fabs(Time->AsFloat()));
            continue;
        }
        const auto *E = dynamic_cast<const EZqDBEngineException *>(DuplicatesQry->RowError());
        if (!E)
            continue;
        std::string Cruise = DuplicatesQry->Fields()[2]->AsString();
        if (Cruise.empty())
            Cruise = DuplicatesQry->Fields()[3]->AsString();
        TimeReachUnread += (TimeReachUnread.empty() ? "" : "\n") +
                           ("The station " + DuplicatesQry->Fields()[0]->AsString() + " of the cruise " + Cruise +
                            " is left out of the duplicate search, as its Time_Cast cannot be read: " + E->Message());
    }
    DuplicatesQry->Close();
    TimeReachKnown = true;
}

// The bounds of the window that BuildDuplicateWindow names as parameters,
// bound as numbers: written as digits they would be read by the station
// database's own conversion, which takes some of them (a moment with tenths
// of a second, a position with all its decimals) one step off the double
// they were written from, and a copy on the bound, as an exact copy is at a
// window of 0, would be missed. The day bounds, whole days, are bound as
// well: the text of the search is then the same at every station of a
// cruise.
rtl::TDateTime DuplMomentLow = 0, DuplMomentHigh = 0;
double DuplDayLow = 0, DuplDayHigh = 0;

void BindDuplicateWindow(TZqParams &AParams)
{
    const std::pair<const char *, double> Bounds[] = {
        {"LonMin", DuplWindow.xmin}, {"LonMax", DuplWindow.xmax},   {"LatMin", DuplWindow.ymin},
        {"LatMax", DuplWindow.ymax}, {"DayMin", DuplDayLow},       {"DayMax", DuplDayHigh},
        {"MomentMin", DuplMomentLow}, {"MomentMax", DuplMomentHigh}};
    for (const auto &[Name, Value] : Bounds)
        AParams.ParamByName(Name)->SetAsFloat(Value);
}

// Opens the search with the window's bounds bound; as RunDuplCommand, a
// text held already stays prepared.
void OpenWindowQuery(const std::string &Sql)
{
    DuplicatesQry->Close();
    if (DuplicatesQry->SQL()->Count() != 1 || (*DuplicatesQry->SQL())[0] != Sql) {
        DuplicatesQry->SQL()->Clear();
        DuplicatesQry->SQL()->Add(Sql);
    }
    BindDuplicateWindow(*DuplicatesQry->Params());
    DuplicatesQry->Open();
}


// The scratch table "dupl" gathers the candidates of a cruise's stations
// ("Each station"). It is made once a run, with the columns of Cast_Titles
// (dropped first: one left by an earlier run or another database may have
// other columns), and emptied for each cruise after: making it changes the
// station database's schema, which throws away every statement the driver
// keeps prepared, the search's among them, and emptying it does not. The
// editor's searches, one cruise each outside a run, make it every time.
// The emptying goes through a command of its own, held for the run, so that
// the scratch-table command keeps the search prepared from cruise to cruise.
bool ScratchMade = false;
std::unique_ptr<TZqCommand> ScratchEmptier;

// Readies "dupl" for a cruise's candidates (ASource: the station database's
// Cast_Titles, named by its file).
void ReadyScratchTable(const std::string &ASource)
{
    if (ScratchMade) {
        try {
            if (!ScratchEmptier) {
                ScratchEmptier = std::make_unique<TZqCommand>(nullptr);
                ScratchEmptier->SetConnection(DuplCommand->Connection());
                ScratchEmptier->CommandText().Add("delete from dupl");
            }
            ScratchEmptier->Execute();
            return;
        } catch (const std::exception &) {
            // Gone since (another program, the editor): made anew.
        }
    }
    RunDuplCommandIgnoringErrors("drop table dupl");
    // An always-false condition: the table takes the columns and no rows,
    // whatever the stations' positions.
    RunDuplCommandIgnoringErrors("select * into dupl from " + ASource + " where 1=0");
    ScratchMade = TimeReachHolds;
}

} // namespace

TTimeReachHeld::TTimeReachHeld()
{
    TimeReachHolds = true;
    TimeReachKnown = false;
    TimeReachUnread.clear();
    ScratchMade = false;
}

TTimeReachHeld::~TTimeReachHeld()
{
    TimeReachHolds = false;
    TimeReachKnown = false;
    ScratchMade = false;
    ScratchEmptier.reset();
}

std::string TakeDuplicateSearchUnread() { return std::exchange(TimeReachUnread, std::string()); }

bool CruiseExtent()
{
    TDataSet &C = *CurCastDataset;
    bool Any = false;
    std::vector<double> Lons;
    for (; !C.Eof(); C.Next()) {
        if (!TakesPartInDuplicates(C))
            continue;
        const double Lon = C.FieldByName("Lon")->AsFloat(), Lat = C.FieldByName("Lat")->AsFloat();
        const rtl::TDateTime M = MomentOf(C);
        Lons.push_back(Lon);
        if (!Any) {
            DuplWindow = MakeWorldRect(Lon, Lat, Lon, Lat);
            DuplTimeMin = DuplTimeMax = M;
            Any = true;
        } else {
            DuplWindow.ymin = std::min(DuplWindow.ymin, Lat);
            DuplWindow.ymax = std::max(DuplWindow.ymax, Lat);
            DuplTimeMin = std::min(DuplTimeMin, M);
            DuplTimeMax = std::max(DuplTimeMax, M);
        }
    }
    if (!Any)
        return false;
    // The longitudes the cruise spans: the circle less its widest gap. A
    // cruise across the date line (179.95 E and 179.95 W) spans 0.1 degree
    // there, from xmin east to xmax (xmin > xmax), not the whole globe
    // between them.
    std::sort(Lons.begin(), Lons.end());
    DuplWindow.xmin = Lons.front();
    DuplWindow.xmax = Lons.back();
    double Widest = Lons.front() + 360 - Lons.back();
    for (size_t I = 1; I < Lons.size(); ++I)
        if (Lons[I] - Lons[I - 1] > Widest) {
            Widest = Lons[I] - Lons[I - 1];
            DuplWindow.xmin = Lons[I];
            DuplWindow.xmax = Lons[I - 1];
        }
    return true;
}

void BuildDuplicateWindow(std::string &PosCondition, std::string &TimeCondition)
{
    const double d = SpatialAdditionMin / 60.0;
    // A window from xmin east to xmax; xmin > xmax: across the date line.
    bool Across = DuplWindow.xmin > DuplWindow.xmax;
    const bool Round = (Across ? DuplWindow.xmax + 360 : DuplWindow.xmax) - DuplWindow.xmin + 2 * d >= 360;
    DuplWindow.xmin -= d;
    DuplWindow.xmax += d;
    DuplWindow.ymin -= d;
    DuplWindow.ymax += d;
    // A window that reaches past 180 degrees goes on at -180, and one that
    // holds 180 (or -180) holds -180 (or 180), the same meridian.
    if (Round) {
        DuplWindow.xmin = -180;
        DuplWindow.xmax = 180;
        Across = false;
    } else if (!Across && (DuplWindow.xmin <= -180 || DuplWindow.xmax >= 180)) {
        Across = true;
        if (DuplWindow.xmin <= -180)
            DuplWindow.xmin += 360;
        else
            DuplWindow.xmax -= 360;
    }
    const double h = TemporalAdditionHours / 24.0;
    DuplMomentLow = DuplTimeMin - h;
    DuplMomentHigh = DuplTimeMax + h;
    // Inclusive: a window of a single station (no addition) is its own
    // position and moment, and a copy there, or a station on the edge of a
    // cruise's area or span, lies on the bound.
    PosCondition = std::string("((Lon >= :LonMin)") + (Across ? "or" : "and") +
                   "(Lon <= :LonMax))and((Lat >= :LatMin)and(Lat <= :LatMax))";
    // The day bounds are whole days, a day beyond the reach of the times
    // (read to the millisecond) and of a stored date's time of day: a
    // station in the window lies within them, and the index on the dates
    // serves them. The moment decides.
    const double Reach = std::ceil(DuplTimeReach) + 1;
    DuplDayLow = std::floor(DuplMomentLow) - Reach;
    DuplDayHigh = std::ceil(DuplMomentHigh) + Reach;
    const std::string Moment = MomentSql;
    TimeCondition = "((Date_Cast >= :DayMin)and(Date_Cast <= :DayMax))and((" + Moment + " >= :MomentMin)and(" +
                    Moment + " <= :MomentMax))";
}

void CheckDuplicates()
{
    if (!SelectedTests.Bits(tstDuplicates))
        return;
    TDataSet &C = *CurCastDataset;
    const std::string CruiseId = C.FieldByName("ID_Cruise")->AsString();
    AskTimeReach();
    ReadStoredMoments(CruiseId);
    std::string Pos, Time;
    if (!DuplicatesEachStation) {
        if (!CruiseExtent()) {
            // No station of the cruise lies anywhere at any moment.
            DuplicatesQry->Close();
            DuplicatesQry->SQL()->Clear();
            TestResults.SetBit(tstDuplicates, false);
            return;
        }
        BuildDuplicateWindow(Pos, Time);
        OpenWindowQuery("Select * from Cast_Titles where (ID_Cruise <> " + CruiseId + ") and (" + "(" + Pos + ")and(" +
                        Time + ")" + ")");
        TestResults.SetBit(tstDuplicates, DuplicatesQry->RecordCount() > 0);
        return;
    }
    // Each station's window is the station itself, widened by the additions.
    const auto StationWindow = [&C, &Pos, &Time] {
        const double Lon = C.FieldByName("Lon")->AsFloat(), Lat = C.FieldByName("Lat")->AsFloat();
        DuplWindow = MakeWorldRect(Lon, Lat, Lon, Lat);
        DuplTimeMin = DuplTimeMax = MomentOf(C);
        BuildDuplicateWindow(Pos, Time);
    };
    if (StationDbTakesNoWrites()) {
        // No scratch table to gather the candidates in: each station's
        // window is asked on its own, every station's candidates kept by
        // their ID_Cast, and all of them selected at the end.
        std::vector<std::string> Found;
        for (C.First(); !C.Eof(); C.Next()) {
            if (!TakesPartInDuplicates(C))
                continue;
            StationWindow();
            OpenWindowQuery("Select ID_Cast from Cast_Titles where (ID_Cruise <> " + CruiseId + ") and (((" + Pos +
                            ")and(" + Time + ")))");
            for (DuplicatesQry->First(); !DuplicatesQry->Eof(); DuplicatesQry->Next())
                if (const std::string Id = DuplicatesQry->Fields()[0]->AsString();
                    std::find(Found.begin(), Found.end(), Id) == Found.end())
                    Found.push_back(Id);
        }
        std::string Ids;
        for (const std::string &Id : Found)
            Ids += (Ids.empty() ? "" : ", ") + Id;
        OpenQuery(*DuplicatesQry, "Select * from Cast_Titles where " + (Ids.empty() ? "1=0" : "ID_Cast in (" + Ids + ")"));
        TestResults.SetBit(tstDuplicates, !Found.empty());
        return;
    }
    DuplicatesQry->Close();
    DuplicatesQry->SQL()->Clear();
    const std::string Source = rtl::QuotedStr(MainDbPath, '"') + ".Cast_Titles";
    const int Cruise = C.FieldByName("ID_Cruise")->AsInteger();
    // The cruise's candidates go in together, in one transaction: a commit
    // per station would reach the disk once per station.
    TZqCustomConnection *Conn = DuplCommand->Connection();
    const bool Own = Conn && !Conn->InTransaction();
    if (Own)
        Conn->StartTransaction();
    try {
        ReadyScratchTable(Source);
        if (!MainDbDir.empty()) {
            std::error_code Ec;
            std::filesystem::current_path(MainDbDir, Ec);
        }
        for (C.First(); !C.Eof(); C.Next()) {
            if (!TakesPartInDuplicates(C))
                continue;
            StationWindow();
            RunDuplCommand("Insert Into dupl Select * from " + Source + " where (ID_Cruise <> :Cruise) and (" + "((" +
                               Pos + ")and(" + Time + "))" + ")",
                           &Cruise);
        }
        if (Own)
            Conn->Commit();
    } catch (const std::exception &) {
        try {
            if (Own && Conn->InTransaction())
                Conn->Rollback();
        } catch (const std::exception &) {
            // The search's own failure is the one to report.
        }
        throw;
    }
    OpenQuery(*DuplicatesQry, "Select Distinct * from dupl where (ID_Cruise <> " + CruiseId + ")");
    TestResults.SetBit(tstDuplicates, DuplicatesQry->RecordCount() > 0);
}
