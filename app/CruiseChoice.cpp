// CruiseChoice: the run's cruise table, the local table Cruises, the
// cascading country/ship/cruise lists and the cruise-name search.
#include "app/CruiseChoice.h"

#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TField.h"
#include "platform/dataset/TFieldDef.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TCheckListBox.h"

#include <QListWidgetItem>
#include <QSignalBlocker>

#include <algorithm>
#include <set>
#include <vector>

namespace {

// Item data of the lists: a cruise item carries its ID_Cruise, a ship item
// its ship and country codes. The roles keep clear of the check list's own
// (header flag and header tick), and the list's signals are held while they
// are set: item data is no tick of the operator's.
constexpr int IdRole = Qt::UserRole + 64;
constexpr int ShipCodeRole = Qt::UserRole + 65;
constexpr int CountryCodeRole = Qt::UserRole + 66;

// The test fields of QCCruise that say which tests ran on a cruise.
const char *const TestRanFields[] = {"ChDuplicates", "ChLocation", "ChVelosity",
                                     "ChDepth",      "ChDataClimat", "ChDataSpike"};

// Many posts to one work folder as one transaction; rolled back when the
// work ends by an exception.
class TFolderTransaction {
public:
    explicit TFolderTransaction(const std::string &AFolder) : FFolder(AFolder) { Session.StartTransaction(FFolder); }
    ~TFolderTransaction()
    {
        if (!FDone) {
            try {
                Session.Rollback(FFolder);
            } catch (...) {
                // Already unwinding: the first error is the one reported.
            }
        }
    }
    void Commit()
    {
        Session.Commit(FFolder);
        FDone = true;
    }

private:
    std::string FFolder;
    bool FDone = false;
};

// Appends every record of ASource for which AKeep holds to ATarget, field i
// to field i.
template <class Pred> int CopyRecords(TDataSet &ASource, TTable &ATarget, const std::string &AFolder, Pred AKeep)
{
    int Copied = 0;
    TFolderTransaction Tx(AFolder);
    const int Fields = std::min(ASource.FieldCount(), ATarget.FieldCount());
    ASource.First();
    while (!ASource.Eof()) {
        if (AKeep(ASource)) {
            ATarget.Append();
            for (int I = 0; I < Fields; ++I)
                ATarget.Fields().Fields(I)->SetValue(ASource.Fields().Fields(I)->Value());
            ATarget.Post();
            ++Copied;
        }
        ASource.Next();
    }
    Tx.Commit();
    ASource.First();
    return Copied;
}

void RecreateTable(TTable &ATable, const std::string &AFolder, const std::string &AName)
{
    ATable.Close();
    ATable.SetDatabaseName(AFolder);
    ATable.SetTableName(AName);
}

int CompareText(const std::string &A, const std::string &B)
{
    return rtl::AnsiCompareText(A, B);
}

struct TListEntry {
    std::string Text;
    QVariant Id, ShipCode, CountryCode;
    bool Checked = false;
};

// The toolkit sorts a list by its texts, letter case aside.
void SortAndFill(TCheckListBox &AList, std::vector<TListEntry> &AEntries)
{
    std::stable_sort(AEntries.begin(), AEntries.end(),
                     [](const TListEntry &A, const TListEntry &B) { return CompareText(A.Text, B.Text) < 0; });
    AList.Clear();
    const QSignalBlocker Quiet(AList);
    for (const TListEntry &E : AEntries) {
        const int I = AList.AddItem(E.Text);
        QListWidgetItem *Item = AList.item(I);
        Item->setData(IdRole, E.Id);
        Item->setData(ShipCodeRole, E.ShipCode);
        Item->setData(CountryCodeRole, E.CountryCode);
        AList.SetChecked(I, E.Checked);
    }
}

std::string ItemString(const TCheckListBox &AList, int AIndex, int ARole)
{
    return AList.item(AIndex)->data(ARole).toString().toStdString();
}

} // namespace

std::string UnreadIdText(const TZqDataSet &ADataSet, const std::string &ATable, const std::string &AIdField,
                         const std::string &ANameField)
{
    const TField *Id = ADataSet.FindField(AIdField);
    if (!Id || !Id->IsNull())
        return std::string();
    // The driver's words name the value as stored: a Long identity holds
    // 32 bits, and one beyond them would, cut, be another row's.
    std::string Words = "it is empty";
    if (const auto *E = dynamic_cast<const EZqDBEngineException *>(ADataSet.RowError())) {
        Words = E->Message();
        for (int I = 0; I < E->ErrorCount(); ++I)
            if (rtl::CompareText(E->Errors(I).ObjName, AIdField) == 0 ||
                E->Errors(I).Message.find("column " + AIdField) != std::string::npos)
                Words = E->Errors(I).Message;
    }
    const TField *Name = ANameField.empty() ? nullptr : ADataSet.FindField(ANameField);
    return "A row of " + ATable + (Name ? " (" + ANameField + " " + Name->AsString() + ")" : std::string()) +
           " is left out: its " + AIdField + " cannot be read. " + Words;
}

bool NoteCruiseRow(const TZqDataSet &ADataSet, const std::string &ATable, const std::string &AIdField,
                   const std::string &ANameField, std::vector<std::string> &ANotes)
{
    const auto Note = [&ANotes](const std::string &AText) {
        if (std::find(ANotes.begin(), ANotes.end(), AText) == ANotes.end())
            ANotes.push_back(AText);
    };
    if (const std::string Why = UnreadIdText(ADataSet, ATable, AIdField, ANameField); !Why.empty()) {
        Note(Why);
        return false;
    }
    // One record per value: a text the fetch kept cut names its table,
    // column and row itself.
    if (const auto *E = dynamic_cast<const EZqDBEngineException *>(ADataSet.RowError())) {
        for (int I = 0; I < E->ErrorCount(); ++I)
            Note(E->Errors(I).Message);
        if (E->ErrorCount() == 0 && !E->Message().empty())
            Note(E->Message());
    }
    return true;
}

std::string CruiseRowNotesText(const std::vector<std::string> &ANotes, size_t AShown)
{
    std::string Text;
    for (size_t I = 0; I < ANotes.size() && I < AShown; ++I)
        Text += (I ? "\n" : "") + ANotes[I];
    if (ANotes.size() > AShown)
        Text += "\nand " + std::to_string(ANotes.size() - AShown) + " more";
    return Text;
}

int CruiseItemId(const TCheckListBox &AList, int AIndex)
{
    if (AIndex < 0 || AIndex >= AList.Count())
        return 0;
    return AList.item(AIndex)->data(IdRole).toInt();
}

int AddCruiseItem(TCheckListBox &AList, const std::string &AName, int AIdCruise)
{
    const int I = AList.AddItem(AName);
    const QSignalBlocker Quiet(AList);
    AList.item(I)->setData(IdRole, AIdCruise);
    return I;
}

// ---- TmpCru ---------------------------------------------------------------------

int BuildModeCruiseTable(int AMode, TQuery &AQCCruQry, TTable &ATmpCruTbl, const std::string &ALocalDbDir)
{
    RecreateTable(ATmpCruTbl, ALocalDbDir, "TmpCru");
    ATmpCruTbl.FieldDefs().Assign(AQCCruQry.FieldDefs());
    if (AMode != 0 && ATmpCruTbl.FieldDefs().Count() > 0)
        ATmpCruTbl.FieldDefs().Items(0)->SetDataType(rtl::ftInteger);
    ATmpCruTbl.CreateTable();
    ATmpCruTbl.Open();
    std::vector<TField *> Tests;
    if (AMode == 1 || AMode == 2)
        for (const char *Name : TestRanFields)
            Tests.push_back(AQCCruQry.FieldByName(Name));
    return CopyRecords(AQCCruQry, ATmpCruTbl, ALocalDbDir, [&](TDataSet &) {
        if (Tests.empty())
            return true;
        const bool AnyFalse =
            std::any_of(Tests.begin(), Tests.end(), [](TField *F) { return !F->AsBoolean(); });
        const bool AllFalse =
            std::all_of(Tests.begin(), Tests.end(), [](TField *F) { return !F->AsBoolean(); });
        return AMode == 1 ? AllFalse : AnyFalse;
    });
}

int BuildCustomCruiseTable(const TCheckListBox &AList, TTable &ATmpCruTbl, const std::string &ALocalDbDir)
{
    // Thirty characters, or as many as the longest ticked name: the names
    // come from the station database, whose names may be longer.
    int NameChars = 30;
    for (int I = 0; I < AList.Count(); ++I)
        if (AList.Checked(I))
            NameChars = std::max(NameChars, TextCharCount(AList.ItemText(I)));
    RecreateTable(ATmpCruTbl, ALocalDbDir, "TmpCru");
    ATmpCruTbl.FieldDefs().Clear();
    ATmpCruTbl.FieldDefs().Add("ID_Cruise", rtl::ftInteger);
    ATmpCruTbl.FieldDefs().Add("Cruise_Name", rtl::ftString, NameChars);
    ATmpCruTbl.CreateTable();
    ATmpCruTbl.Open();
    int Count = 0;
    TFolderTransaction Tx(ALocalDbDir);
    // A cruise ticked twice (in the results of two searches, say) is
    // checked once.
    std::set<int> Seen;
    for (int I = 0; I < AList.Count(); ++I) {
        if (!AList.Checked(I) || !AList.item(I)->data(IdRole).isValid())
            continue;
        const int Id = CruiseItemId(AList, I);
        if (!Seen.insert(Id).second)
            continue;
        ATmpCruTbl.Append();
        ATmpCruTbl.FieldByName("ID_Cruise")->SetAsInteger(Id);
        ATmpCruTbl.FieldByName("Cruise_Name")->SetAsString(AList.ItemText(I));
        ATmpCruTbl.Post();
        ++Count;
    }
    Tx.Commit();
    return Count;
}

// ---- Cruises and the country list ---------------------------------------------------

std::string CruiseJoinSql(const std::string &AMainDbSqlName)
{
    return "Select Distinct D.ID_Cruise, D.Cruise_Name, D.MAR, D.Ship_Code, D.Country_Code, D1.Ship_Name, "
           "D2.NAME from " +
           AMainDbSqlName + ".Cruise_Titles D, " + AMainDbSqlName + ".Ships D1, " + AMainDbSqlName +
           ".Countries D2 " + "Where (D.Ship_Code = D1.Ship_Code)and(D.Country_Code=D2.Country_Code) " +
           " Order by D2.NAME, D1.Ship_Name";
}

void BuildCruiseChoiceData(TQuery &AWorkQry, TZqQuery &AZqCruQuery, TTable &ATmpCruTbl,
                           const std::string &ALocalDbDir, const std::string &AMainDbSqlName,
                           TCheckListBox &ACountryList, TCruiseChoiceLists &ALists,
                           std::vector<std::string> &ANotes)
{
    AWorkQry.Close();
    AWorkQry.SQL().Clear();
    AWorkQry.SQL().Add("Delete From Cruises");
    AWorkQry.ExecSQL();

    AZqCruQuery.Close();
    AZqCruQuery.SQL()->Clear();
    AZqCruQuery.SQL()->Add(CruiseJoinSql(AMainDbSqlName));
    AZqCruQuery.Open();

    RecreateTable(ATmpCruTbl, ALocalDbDir, "Cruises");
    ATmpCruTbl.FieldDefs().Assign(AZqCruQuery.FieldDefs());
    if (ATmpCruTbl.FieldDefs().Count() > 0)
        ATmpCruTbl.FieldDefs().Items(0)->SetDataType(rtl::ftInteger);
    ATmpCruTbl.CreateTable();
    ATmpCruTbl.Open();
    CopyRecords(AZqCruQuery, ATmpCruTbl, ALocalDbDir, [&](TDataSet &) {
        return NoteCruiseRow(AZqCruQuery, "Cruise_Titles", "ID_Cruise", "Cruise_Name", ANotes);
    });

    auto Run = [&](const char *ASql) {
        AWorkQry.Close();
        AWorkQry.SQL().Clear();
        AWorkQry.SQL().Add(ASql);
        AWorkQry.Open();
        AWorkQry.First();
    };
    Run("Select Distinct Country_Code, NAME from CRUISES order by NAME");
    ACountryList.Clear();
    ALists.CountryCodes.Clear();
    for (; !AWorkQry.Eof(); AWorkQry.Next()) {
        ACountryList.AddItem(AWorkQry.FieldByName("NAME")->AsString());
        ALists.CountryCodes.Add(AWorkQry.FieldByName("Country_Code")->AsString());
    }
    Run("Select Distinct Country_Code, Ship_Code, Ship_Name from CRUISES order by Ship_Name");
    ALists.ShipCodes.Clear();
    ALists.ShipCountryCodes.Clear();
    ALists.ShipNames.Clear();
    for (; !AWorkQry.Eof(); AWorkQry.Next()) {
        ALists.ShipCodes.Add(AWorkQry.FieldByName("Ship_Code")->AsString());
        ALists.ShipCountryCodes.Add(AWorkQry.FieldByName("Country_Code")->AsString());
        ALists.ShipNames.Add(AWorkQry.FieldByName("Ship_Name")->AsString());
    }
    Run("Select * from CRUISES");
    ALists.CruiseMars.Clear();
    ALists.CruiseNames.Clear();
    ALists.CruiseShipCodes.Clear();
    ALists.CruiseIds.Clear();
    ALists.CruiseCountryCodes.Clear();
    for (; !AWorkQry.Eof(); AWorkQry.Next()) {
        ALists.CruiseMars.Add(AWorkQry.FieldByName("MAR")->AsString());
        ALists.CruiseNames.Add(AWorkQry.FieldByName("Cruise_Name")->AsString());
        ALists.CruiseShipCodes.Add(AWorkQry.FieldByName("Ship_Code")->AsString());
        ALists.CruiseIds.Add(AWorkQry.FieldByName("ID_Cruise")->AsString());
        ALists.CruiseCountryCodes.Add(AWorkQry.FieldByName("Country_Code")->AsString());
    }
    AWorkQry.Close();
}

// ---- cascading lists -------------------------------------------------------------------

int FillShipList(TCheckListBox &ACountries, TCheckListBox &AShips, bool AShowForHighlighted,
                 const TCruiseChoiceLists &ALists)
{
    std::set<std::string> Remembered;
    for (int I = 0; I < AShips.Count(); ++I)
        if (AShips.Checked(I))
            Remembered.insert(AShips.ItemText(I));
    const int Highlighted = ACountries.currentRow();
    std::vector<TListEntry> Entries;
    for (int C = 0; C < ACountries.Count() && C < ALists.CountryCodes.Count(); ++C) {
        if (!ACountries.Checked(C) && !(C == Highlighted && AShowForHighlighted))
            continue;
        const std::string &Country = ALists.CountryCodes[C];
        for (int S = 0; S < ALists.ShipCodes.Count(); ++S) {
            if (ALists.ShipCountryCodes[S] != Country)
                continue;
            TListEntry E;
            E.Text = ALists.ShipNames[S] + " (Code: " + ALists.ShipCodes[S] + "; " + ACountries.ItemText(C) + ")";
            E.ShipCode = QString::fromStdString(ALists.ShipCodes[S]);
            E.CountryCode = QString::fromStdString(Country);
            Entries.push_back(std::move(E));
        }
    }
    // With a country highlighted, its ships are ticked unless the operator
    // ticked the country itself; ticks the operator gave ships survive.
    const bool HasHighlight = Highlighted >= 0 && Highlighted < ALists.CountryCodes.Count();
    const std::string HighCountry = HasHighlight ? ALists.CountryCodes[Highlighted] : std::string();
    const bool HighTicked = HasHighlight && ACountries.Checked(Highlighted);
    for (TListEntry &E : Entries) {
        if (HasHighlight)
            E.Checked = E.CountryCode.toString().toStdString() == HighCountry && !HighTicked;
        if (Remembered.count(E.Text))
            E.Checked = true;
    }
    SortAndFill(AShips, Entries);
    return AShips.Count();
}

int FillCruiseList(TCheckListBox &AShips, TCheckListBox &ACruises, bool AShowForHighlighted,
                   const TCruiseChoiceLists &ALists, const std::function<void(int)> &AProgress)
{
    std::set<int> Remembered;
    for (int I = 0; I < ACruises.Count(); ++I)
        if (ACruises.Checked(I))
            Remembered.insert(CruiseItemId(ACruises, I));
    const int Highlighted = AShips.currentRow();
    std::vector<TListEntry> Entries;
    for (int S = 0; S < AShips.Count(); ++S) {
        const bool IsHighlighted = S == Highlighted && AShowForHighlighted;
        if (AShips.Checked(S) || IsHighlighted) {
            const std::string Ship = ItemString(AShips, S, ShipCodeRole);
            const std::string Country = ItemString(AShips, S, CountryCodeRole);
            for (int K = 0; K < ALists.CruiseNames.Count(); ++K) {
                if (ALists.CruiseShipCodes[K] != Ship || ALists.CruiseCountryCodes[K] != Country)
                    continue;
                TListEntry E;
                E.Text = ALists.CruiseNames[K];
                E.Id = rtl::StrToIntDef(ALists.CruiseIds[K], 0);
                // A cruise of the highlighted ship is ticked when the ship
                // itself is not.
                E.Checked = Remembered.count(E.Id.toInt()) || (IsHighlighted && !AShips.Checked(S));
                Entries.push_back(std::move(E));
            }
        }
        if (AProgress)
            AProgress((S + 1) * 100 / AShips.Count());
    }
    SortAndFill(ACruises, Entries);
    return ACruises.Count();
}

// ---- search -------------------------------------------------------------------------------

std::string CruiseSearchPattern(std::string &AText, bool AAutoStar, int *ACaret)
{
    if (AText.empty())
        return std::string();
    if (AAutoStar && AText.back() != '*') {
        AText += '*';
        if (ACaret)
            *ACaret = int(AText.size()) - 1;
    }
    if (AAutoStar)
        while (AText.size() >= 2 && AText.compare(AText.size() - 2, 2, "**") == 0)
            AText.pop_back();
    // What the operator types is matched as text, '*' the only wildcard.
    // Every other character a LIKE pattern would read as a wildcard or as
    // the start of a character list ('%', '_', '[', and Jet's '#' and '?')
    // is written as a list of that one character, which Jet and the
    // station-database driver both take literally.
    std::string Pattern;
    Pattern.reserve(AText.size() + 8);
    for (char C : AText) {
        if (C == '*')
            Pattern += '%';
        else if (C == '%' || C == '_' || C == '[' || C == '#' || C == '?')
            Pattern += std::string{'[', C, ']'};
        else
            Pattern += C;
    }
    return Pattern;
}

std::string CruiseSearchSql(const std::string &APattern)
{
    std::string Quoted;
    Quoted.reserve(APattern.size());
    for (char C : APattern) {
        Quoted += C;
        if (C == '\'')
            Quoted += '\'';
    }
    return "Select * from Cruise_Titles where Cruise_Name like '" + Quoted + "'";
}

int SearchCruises(TZqQuery &AQuery, const std::string &APattern, TCheckListBox &AResults)
{
    AResults.Clear();
    if (APattern.empty())
        return 0;
    AQuery.Close();
    AQuery.SQL()->Clear();
    AQuery.SQL()->Add(CruiseSearchSql(APattern));
    AQuery.Open();
    // A cruise whose identity cannot be read (named when the lists were
    // built) cannot be ticked: it would stand for another cruise. What its
    // rows say of their names was said then too: they are rows of the
    // cruise table that the start and the change of database read whole.
    for (AQuery.First(); !AQuery.Eof(); AQuery.Next())
        if (!AQuery.FieldByName("ID_Cruise")->IsNull())
            AddCruiseItem(AResults, AQuery.FieldByName("Cruise_Name")->AsString(),
                          AQuery.FieldByName("ID_Cruise")->AsInteger());
    return AResults.Count();
}
