// WorkTables: DbTablePrefix and the making rule of the per-database tables.
#include "app/WorkTables.h"

#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TField.h"
#include "platform/dataset/TFieldDef.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

std::string DbTablePrefix;

namespace {

uint64_t Mix(uint64_t X)
{
    // The finaliser of splitmix64: every bit of the input reaches every bit
    // of the output.
    X ^= X >> 30;
    X *= 0xbf58476d1ce4e5b9ULL;
    X ^= X >> 27;
    X *= 0x94d049bb133111ebULL;
    return X ^ (X >> 31);
}

// A value as the print takes it: to 1e-7, an empty one apart from every
// number. Numbers beyond what that scale holds are taken bit for bit.
uint64_t PrintValue(double AValue, bool AEmpty)
{
    if (AEmpty)
        return 0x8000000000000000ULL;
    if (std::isfinite(AValue) && std::fabs(AValue) < 9e11)
        return uint64_t(std::llround(AValue * 1e7));
    uint64_t Bits;
    std::memcpy(&Bits, &AValue, sizeof Bits);
    return Bits ^ 0x5555555555555555ULL;
}

// A date or time in seconds: what the editor's copy of a station keeps of it
// as text, and far finer than any check reads it.
uint64_t PrintMoment(double ADays, bool AEmpty)
{
    return AEmpty || !std::isfinite(ADays) ? 0x8000000000000000ULL : uint64_t(std::llround(ADays * 86400.0));
}

std::string Hex(uint64_t V, int ADigits)
{
    static const char Digits[] = "0123456789abcdef";
    std::string Out(size_t(ADigits), '0');
    for (int I = ADigits - 1; I >= 0; --I, V >>= 4)
        Out[size_t(I)] = Digits[V & 15];
    return Out;
}

} // namespace

void TProfilePrint::AddLevel(double APres, bool APresEmpty, double AValue, bool AValueEmpty, double AValue2,
                             bool AValue2Empty)
{
    // A sum of the levels' hashes: the same levels in any order (those at
    // one pressure come back in no fixed one) give the same print.
    uint64_t H = Mix(PrintValue(APres, APresEmpty) ^ 0x9e3779b97f4a7c15ULL);
    H = Mix(H ^ PrintValue(AValue, AValueEmpty));
    H = Mix(H ^ PrintValue(AValue2, AValue2Empty));
    FSum += H;
    ++FCount;
}

void TProfilePrint::AddFlags(double APres, bool APresEmpty, int AFPres, bool AFPresEmpty, int AFlag, bool AFlagEmpty,
                             int AFlag2, bool AFlag2Empty)
{
    // With the level's pressure: a flag that went to another level is
    // another print.
    const auto Flag = [](int AValue, bool AEmpty) { return AEmpty ? 0x8000000000000000ULL : uint64_t(uint32_t(AValue)); };
    uint64_t H = Mix(PrintValue(APres, APresEmpty) ^ 0x7f4a7c159e3779b9ULL);
    H = Mix(H ^ Flag(AFPres, AFPresEmpty));
    H = Mix(H ^ Flag(AFlag, AFlagEmpty));
    H = Mix(H ^ Flag(AFlag2, AFlag2Empty));
    FFlagSum += H;
    ++FFlagCount;
}

std::string TProfilePrint::Text() const { return Hex(Mix(FSum ^ Mix(FCount)), 16); }

std::string TProfilePrint::FlagsText() const { return Hex(Mix(FFlagSum ^ Mix(FFlagCount)), 8); }

TStationColumns StationColumnsOf(TDataSet &AStation)
{
    TStationColumns C;
    const auto Read = [&AStation](const char *AName, double &AValue, bool &AEmpty) {
        TField *F = AStation.FindField(AName);
        AEmpty = !F || F->IsNull() || F->AsString().empty();
        AValue = AEmpty ? 0 : F->AsFloat();
    };
    Read("Date_Cast", C.Date, C.DateEmpty);
    Read("Time_Cast", C.Time, C.TimeEmpty);
    Read("Lon", C.Lon, C.LonEmpty);
    Read("Lat", C.Lat, C.LatEmpty);
    return C;
}

TJudgedPrint::TJudgedPrint(const TStationColumns &AStation)
{
    When = Hex(Mix(Mix(PrintMoment(AStation.Date, AStation.DateEmpty)) ^ PrintMoment(AStation.Time, AStation.TimeEmpty)), 8);
    Where = Hex(Mix(Mix(PrintValue(AStation.Lon, AStation.LonEmpty)) ^ PrintValue(AStation.Lat, AStation.LatEmpty)), 8);
}

TJudgedPrint::TJudgedPrint(const TProfilePrint &ALevels, const TStationColumns &AStation) : TJudgedPrint(AStation)
{
    Levels = ALevels.Text();
    Flags = ALevels.FlagsText();
}

std::string TJudgedPrint::Text() const
{
    return Levels + "/" + When + "/" + Where + "/f" + Flags + (Edited ? "/e" : "");
}

namespace {
// The parts of a print's text, between its '/'.
std::vector<std::string> PrintParts(const std::string &AText)
{
    std::vector<std::string> Parts;
    for (size_t Start = 0;;) {
        const size_t End = AText.find('/', Start);
        Parts.push_back(AText.substr(Start, End == std::string::npos ? End : End - Start));
        if (End == std::string::npos)
            return Parts;
        Start = End + 1;
    }
}
} // namespace

bool TJudgedPrint::Parse(const std::string &AText)
{
    *this = TJudgedPrint();
    const std::vector<std::string> Parts = PrintParts(AText);
    // An earlier version's: the levels alone, or no flags (and perhaps its
    // mark of an edit, "e").
    const bool Edit = Parts.size() == 5 && Parts[4] == "e";
    if ((Parts.size() != 4 && !Edit) || Parts[3].empty() || Parts[3][0] != 'f')
        return false;
    Edited = Edit;
    Levels = Parts[0];
    When = Parts[1];
    Where = Parts[2];
    Flags = Parts[3].substr(1);
    return true;
}

bool TJudgedPrint::ParseEarlier(const std::string &AText)
{
    *this = TJudgedPrint();
    std::vector<std::string> Parts = PrintParts(AText);
    const auto Hex = [](const std::string &A, size_t ADigits) {
        return A.size() == ADigits && A.find_first_not_of("0123456789abcdef") == std::string::npos;
    };
    if (Parts.size() == 4 && Parts[3] == "e")
        Parts.pop_back();
    if (!Hex(Parts[0], 16) || (Parts.size() != 1 && (Parts.size() != 3 || !Hex(Parts[1], 8) || !Hex(Parts[2], 8))))
        return false;
    Levels = Parts[0];
    if (Parts.size() == 3) {
        When = Parts[1];
        Where = Parts[2];
    }
    return true;
}

bool TJudgedPrint::Renew(const TJudgedPrint &ABefore, const TJudgedPrint &AAfter)
{
    bool Changed = false;
    const auto Part = [&Changed](std::string &AMine, const std::string &ABeforePart, const std::string &AAfterPart) {
        if (!ABeforePart.empty() && AMine == ABeforePart && AMine != AAfterPart) {
            AMine = AAfterPart;
            Changed = true;
        }
    };
    Part(Levels, ABefore.Levels, AAfter.Levels);
    Part(When, ABefore.When, AAfter.When);
    Part(Where, ABefore.Where, AAfter.Where);
    // What the verdicts were given over changed: they stand for the write-back
    // (the operator judged the station as the editor shows it), but a check
    // that judges only some of the table's parameters again keeps none of
    // the others'.
    Edited = Edited || Changed;
    Part(Flags, ABefore.Flags, AAfter.Flags);
    return Changed;
}

namespace {

// The prints of a station are "table:print" entries, blank-separated. Each
// entry goes with its table and print through AEntry, which gives the entry
// to keep (empty: none); the kept entries come back joined.
using TPrintEntry = std::function<std::string(const std::string &AEntry, const std::string &ATable,
                                              const std::string &APrint)>;
std::string MapPrints(const std::string &APrints, const TPrintEntry &AEntry)
{
    std::string Out;
    size_t Start = 0;
    while (Start < APrints.size()) {
        const size_t End = std::min(APrints.find(' ', Start), APrints.size());
        const std::string Entry = APrints.substr(Start, End - Start);
        const size_t Colon = std::min(Entry.find(':'), Entry.size());
        const std::string Kept =
            Entry.empty() ? Entry
                          : AEntry(Entry, Entry.substr(0, Colon), Entry.substr(std::min(Colon + 1, Entry.size())));
        if (!Kept.empty())
            Out += (Out.empty() ? "" : " ") + Kept;
        Start = End + 1;
    }
    return Out;
}

} // namespace

std::string ProfilePrintOf(const std::string &APrints, const std::string &ATable)
{
    std::string Found;
    MapPrints(APrints, [&](const std::string &, const std::string &ATableOf, const std::string &APrint) {
        if (Found.empty() && rtl::SameText(ATableOf, ATable))
            Found = APrint;
        return std::string();
    });
    return Found;
}

std::string WithProfilePrint(const std::string &APrints, const std::string &ATable, const std::string &APrint)
{
    const std::string Others = MapPrints(APrints, [&](const std::string &AEntry, const std::string &ATableOf,
                                                      const std::string &) {
        return rtl::SameText(ATableOf, ATable) && AEntry.size() > ATableOf.size() ? std::string() : AEntry;
    });
    return Others + (Others.empty() ? "" : " ") + ATable + ":" + APrint;
}

std::vector<std::string> PrintedTables(const std::string &APrints)
{
    std::vector<std::string> Tables;
    MapPrints(APrints, [&](const std::string &, const std::string &ATable, const std::string &) {
        Tables.push_back(ATable);
        return std::string();
    });
    return Tables;
}

std::string TablesText(const std::vector<std::string> &ATables)
{
    std::string Text;
    for (size_t I = 0; I < ATables.size(); ++I)
        Text += (I == 0 ? "" : I + 1 == ATables.size() ? " and " : ", ") + ATables[I];
    return Text;
}

TNotWrittenMark TNotWrittenMark::Parse(const std::string &AText)
{
    TNotWrittenMark Mark;
    if (AText.empty())
        return Mark;
    if (AText.find('\t') == std::string::npos) {
        Mark.Whole = AText;
        return Mark;
    }
    for (size_t Start = 0; Start < AText.size();) {
        const size_t End = std::min(AText.find('\n', Start), AText.size());
        const std::string Line = AText.substr(Start, End - Start);
        const size_t Tab = Line.find('\t');
        if (Tab != std::string::npos) {
            std::vector<std::string> Tables;
            for (size_t T = 0; T < Tab;) {
                const size_t Blank = std::min(Line.find(' ', T), Tab);
                if (Blank > T)
                    Tables.push_back(Line.substr(T, Blank - T));
                T = Blank + 1;
            }
            if (!Tables.empty())
                Mark.Held.emplace_back(std::move(Tables), Line.substr(Tab + 1));
        }
        Start = End + 1;
    }
    return Mark;
}

std::string TNotWrittenMark::Text() const
{
    if (Held.empty())
        return Whole;
    std::string Text;
    for (const auto &[Tables, Why] : Held) {
        Text += Text.empty() ? "" : "\n";
        for (size_t I = 0; I < Tables.size(); ++I)
            Text += (I ? " " : "") + Tables[I];
        Text += "\t" + Why;
    }
    return Text;
}

TNotWrittenMark TNotWrittenMark::WithoutTable(const std::string &ATable) const
{
    TNotWrittenMark Mark;
    for (const auto &[Tables, Why] : Held) {
        std::vector<std::string> Left;
        for (const std::string &T : Tables)
            if (!rtl::SameText(T, ATable))
                Left.push_back(T);
        if (!Left.empty())
            Mark.Held.emplace_back(std::move(Left), Why);
    }
    return Mark;
}

std::string TNotWrittenMark::Shown() const
{
    std::string Text = Whole;
    for (const auto &[Tables, Why] : Held)
        Text += (Text.empty() ? "" : "; ") + TablesText(Tables) + " (" + Why + ")";
    return Text;
}

std::string ComputeDbTablePrefix(const std::string &AMainDbPath)
{
    size_t Slash = AMainDbPath.find_last_of("/\\");
    std::string Name = Slash == std::string::npos ? AMainDbPath : AMainDbPath.substr(Slash + 1);
    size_t Dot = Name.rfind('.');
    if (Dot == std::string::npos)
        return ""; // no extension: the cut falls before the first character
    std::string Ext = Name.substr(Dot);
    return Name.substr(0, Name.find(Ext));
}

std::string MainDbSqlNameOf(const std::string &AMainDbPath)
{
    return rtl::QuotedStr(AMainDbPath.substr(0, AMainDbPath.size() >= 4 ? AMainDbPath.size() - 4 : 0), '"');
}

std::string WriteLockSql(const std::string &ATable) { return "Update " + ATable + " Set ID_Cast = ID_Cast where 1 = 0"; }

void MakeWorkTable(TTable &ATarget, TTable &AStructTbl, const std::string &ALocalDbDir,
                   const std::string &ASuffix, const std::string &ATemplate,
                   const std::string &AKeyFields, const std::string &AParamFlagName)
{
    ATarget.Close();
    ATarget.SetDatabaseName(ALocalDbDir);
    ATarget.SetTableName(DbTablePrefix + ASuffix);
    if (!LocalTableFileExists(ALocalDbDir + DbTablePrefix + ASuffix)) {
        AStructTbl.Close();
        AStructTbl.SetDatabaseName(ALocalDbDir);
        AStructTbl.SetTableName(ATemplate);
        AStructTbl.Open();
        ATarget.FieldDefs().Assign(AStructTbl.FieldDefs());
        if (!AParamFlagName.empty() && ATarget.FieldDefs().Count() > 0)
            ATarget.FieldDefs().Items(ATarget.FieldDefs().Count() - 1)->SetName(AParamFlagName);
        ATarget.CreateTable();
        if (!AKeyFields.empty())
            ATarget.AddIndex("", AKeyFields, ixPrimary);
    }
    if (rtl::SameText(ATemplate, "Cast_TitlesFlags")) {
        ATarget.AddField(ProfilePrintsField, rtl::ftMemo);
        ATarget.AddField(NotWrittenField, rtl::ftMemo);
        ATarget.AddField(StationTestsField, rtl::ftMemo);
    }
    ATarget.Open();
}

std::string LevelFlagTableSuffix(const std::string &ATable)
{
    // The spelling each table has always been created with.
    return ATable == "PTS_Data" ? std::string("-PTS_DataFlags") : "-" + ATable + "flags";
}

std::string LevelFlagTableName(const std::string &ATable) { return DbTablePrefix + LevelFlagTableSuffix(ATable); }

void WidenTextFields(TTable &ATable, const std::vector<TTextWidth> &AWidths)
{
    const bool WasActive = ATable.Active();
    // Opening reads the stored fields and key.
    ATable.Close();
    ATable.Open();
    TFieldDefs Wide(nullptr);
    Wide.Assign(ATable.FieldDefs());
    const std::string Key = ATable.PrimaryKeyFields();
    ATable.Close();
    bool Narrow = false;
    for (const TTextWidth &W : AWidths) {
        const int I = Wide.IndexOf(W.Field);
        if (I < 0)
            continue;
        TFieldDef *Def = Wide.Items(I);
        const bool Text = Def->DataType() == rtl::ftString || Def->DataType() == rtl::ftWideString ||
                          Def->DataType() == rtl::ftFixedChar;
        if (Text && Def->Size() < W.Chars) {
            Def->SetSize(W.Chars);
            Narrow = true;
        }
    }
    if (!Narrow) {
        if (WasActive)
            ATable.Open();
        return;
    }
    const std::string Folder = ATable.DatabaseName();
    // The rows wait in a copy while the table is made again; SQLite cannot
    // change a column's declared width in place.
    TTable Copy(nullptr);
    Copy.SetDatabaseName(Folder);
    Copy.SetTableName(LocalTableBaseName(ATable.TableName()) + "~widen");
    Session.StartTransaction(Folder);
    try {
        ATable.Open();
        Copy.BatchMove(&ATable, batCopy);
        ATable.Close();
        ATable.FieldDefs().Assign(Wide);
        ATable.CreateTable();
        if (!Key.empty())
            ATable.AddIndex("", Key, ixPrimary);
        ATable.BatchMove(&Copy, batAppend);
        Copy.Close();
        Copy.DeleteTable();
        Session.Commit(Folder);
    } catch (...) {
        Copy.Close();
        Session.Rollback(Folder);
        throw;
    }
    if (WasActive)
        ATable.Open();
}

void MakeParamFlagTable(TTable &ATarget, TTable &AStructTbl, const std::string &ALocalDbDir,
                        const std::string &AParam)
{
    MakeWorkTable(ATarget, AStructTbl, ALocalDbDir, LevelFlagTableSuffix(AParam) + ".db", "ChemFlags",
                  "ID_Cast;PRES", "F" + AParam);
}

std::string DatabaseIdentity(const std::string &AMainDbPath, const std::string &AProgramDir)
{
    namespace fs = std::filesystem;
    std::error_code Ec;
    const auto Whole = [&Ec](const std::string &APath) {
        fs::path P = fs::weakly_canonical(fs::absolute(APath, Ec), Ec);
        return Ec ? fs::absolute(APath, Ec).lexically_normal() : P;
    };
    const fs::path Db = Whole(AMainDbPath);
    if (!AProgramDir.empty()) {
        const fs::path Inside = Db.lexically_relative(Whole(AProgramDir));
        if (!Inside.empty() && *Inside.begin() != ".." && *Inside.begin() != ".")
            return Inside.generic_string();
    }
    return Db.generic_string();
}

namespace {

// The database a record names is gone: no file at its path (one relative to
// the program folder there); a path that cannot be asked about is not.
bool RecordedDatabaseGone(const std::string &ADbPath, const std::string &AProgramDir)
{
    namespace fs = std::filesystem;
    fs::path Path(ADbPath);
    if (Path.is_relative()) {
        if (AProgramDir.empty())
            return false;
        Path = fs::path(AProgramDir) / Path;
    }
    std::error_code Ec;
    return !fs::exists(Path, Ec) && !Ec;
}

// The history of APrefix is one of a database of the cruises ACruises: its
// cruise list holds cruises, each of them there under its number and name.
bool HistoryOfCruises(const std::string &ALocalDbDir, const std::string &APrefix,
                      const std::vector<TCruiseIdentity> &ACruises)
{
    if (!LocalTableFileExists(ALocalDbDir + APrefix + "-QCCruise.db"))
        return false;
    TTable List(nullptr);
    List.SetDatabaseName(ALocalDbDir);
    List.SetTableName(APrefix + "-QCCruise");
    List.Open();
    bool Any = false;
    for (List.First(); !List.Eof(); List.Next()) {
        const TCruiseIdentity Cruise{List.FieldByName("ID_Cruise")->AsInteger(),
                                     List.FieldByName("Cruise_Name")->AsString()};
        if (std::find(ACruises.begin(), ACruises.end(), Cruise) == ACruises.end())
            return false;
        Any = true;
    }
    return Any;
}

} // namespace

std::string RecordedDbTablePrefix(const std::string &ALocalDbDir, const std::string &AIdentity,
                                  const std::string &ABase, const std::string &AProgramDir,
                                  const std::function<std::vector<TCruiseIdentity>()> &ACruises)
{
    // One program at a time reads and adds to the records: two that come at
    // once for two databases of one name would take one prefix.
    Session.StartTransaction(ALocalDbDir);
    try {
        TTable Record(nullptr);
        Record.SetDatabaseName(ALocalDbDir);
        Record.SetTableName(DbPrefixTable);
        Record.Open();
        std::vector<std::string> Taken, Gone;
        std::optional<std::string> Prefix; // "" for a file without an extension
        for (Record.First(); !Record.Eof() && !Prefix; Record.Next()) {
            if (Record.FieldByName("DbPath")->AsString() == AIdentity)
                Prefix = Record.FieldByName("Prefix")->AsString();
            Taken.push_back(Record.FieldByName("Prefix")->AsString());
            if (RecordedDatabaseGone(Record.FieldByName("DbPath")->AsString(), AProgramDir))
                Gone.push_back(Taken.back());
        }
        // A database moved or renamed: the history of a database that is
        // gone from its path and held this one's cruises follows it.
        if (!Prefix && !Gone.empty() && ACruises) {
            const std::vector<TCruiseIdentity> Cruises = ACruises();
            for (const std::string &Left : Gone) {
                if (HistoryOfCruises(ALocalDbDir, Left, Cruises) && Record.Locate("Prefix", rtl::Variant(Left))) {
                    Record.Edit();
                    Record.FieldByName("DbPath")->SetAsString(AIdentity);
                    Record.Post();
                    Prefix = Left;
                    break;
                }
            }
        }
        for (int N = 1; !Prefix; ++N) {
            const std::string Next = N == 1 ? ABase : ABase + "~" + std::to_string(N);
            // The engine matches table names without regard to letter case:
            // "S31337" would reach the tables of "s31337".
            if (std::any_of(Taken.begin(), Taken.end(), [&](const std::string &T) { return rtl::SameText(T, Next); }))
                continue;
            // Numbered tables nobody recorded were not made by this rule for
            // this database.
            if (N > 1 && LocalTableFileExists(ALocalDbDir + Next + "-QCCruise.db"))
                continue;
            Record.Append();
            Record.FieldByName("Prefix")->SetAsString(Next);
            Record.FieldByName("DbPath")->SetAsString(AIdentity);
            Record.Post();
            Prefix = Next;
        }
        Record.Close();
        Session.Commit(ALocalDbDir);
        return *Prefix;
    } catch (...) {
        Session.Rollback(ALocalDbDir);
        throw;
    }
}

void CreateWorkTables(const std::string &AMainDbPath, const std::string &ALocalDbDir,
                      TWorkTableSet &ATables, const std::string &AProgramDir,
                      const std::function<std::vector<TCruiseIdentity>()> &ACruises)
{
    DbTablePrefix = RecordedDbTablePrefix(ALocalDbDir, DatabaseIdentity(AMainDbPath, AProgramDir),
                                          ComputeDbTablePrefix(AMainDbPath), AProgramDir, ACruises);
    MakeWorkTable(ATables.TmpCruTbl, ATables.StructTbl, ALocalDbDir, "-QCCruise.db", "QCCruise",
                  "ID_Cruise");
    MakeWorkTable(ATables.CastFlagtbl, ATables.StructTbl, ALocalDbDir, "-Cast_TitlesFlags.db",
                  "Cast_TitlesFlags", "ID_Cruise;ID_Cast");
    MakeWorkTable(ATables.CastOldFlagTbl, ATables.StructTbl, ALocalDbDir, "-Cast_TitlesOldFlags.db",
                  "Cast_TitlesOldFlags", "ID_Cruise;ID_Cast");
    MakeWorkTable(ATables.UndoCastTbl, ATables.StructTbl, ALocalDbDir, "-undocast.db", "undocast", "");
    MakeWorkTable(ATables.UndoParamTbl, ATables.StructTbl, ALocalDbDir, "-Undoparam.db", "Undoparam", "");
}
