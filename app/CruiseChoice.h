// CruiseChoice: which cruises a QC run checks.
//
// The wizard's four modes build the local table TmpCru, the run's cruise
// list: every cruise of the per-database QCCruise table, the never-checked
// ones, the partly checked ones, or the cruises the operator ticked on the
// custom choice tab. The custom choice picks cruises by cascading lists
// (country -> ship -> cruise) over the local table Cruises, a copy of the
// main database's cruise/ship/country join, or by a search on the cruise
// name. A cruise is always carried by its ID_Cruise (the item's data), so
// two cruises of one name stay two cruises.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace rtl {
class TStrings;
}
class TCheckListBox;
class TQuery;
class TTable;
class TZqQuery;
class TZqDataSet;

// The parallel lists of the custom choice (one entry per country item, per
// distinct ship, per row of Cruises).
struct TCruiseChoiceLists {
    rtl::TStrings &CountryCodes;
    rtl::TStrings &ShipNames;
    rtl::TStrings &ShipCodes;
    rtl::TStrings &ShipCountryCodes;
    rtl::TStrings &CruiseMars;
    rtl::TStrings &CruiseNames;
    rtl::TStrings &CruiseShipCodes;
    rtl::TStrings &CruiseIds;
    rtl::TStrings &CruiseCountryCodes;
};

// The words on the row under ADataSet's cursor (a select of the station
// database) whose identity AIdField the driver could not read, naming the
// table, the row (by ANameField, when given) and the value as stored; ""
// when the identity was read. Such a row is left out wherever it is met.
std::string UnreadIdText(const TZqDataSet &ADataSet, const std::string &ATable, const std::string &AIdField,
                         const std::string &ANameField = "");

// The one rule of every road that reads the station database's cruise rows
// (the work table's synchronisation, the custom choice's lists): the row
// under ADataSet's cursor is kept unless its identity AIdField cannot be
// read, which UnreadIdText says; of a kept row, what it says of its other
// values (a text longer than its column, kept cut; a value the driver could
// not read) is said in the library's own words. ANotes takes each text
// once, in the order met: a row that two roads read is said once. Returns
// whether the row is kept.
bool NoteCruiseRow(const TZqDataSet &ADataSet, const std::string &ATable, const std::string &AIdField,
                   const std::string &ANameField, std::vector<std::string> &ANotes);
// The notes one a line for one message box: the first AShown of them, then
// "and N more".
std::string CruiseRowNotesText(const std::vector<std::string> &ANotes, size_t AShown = 10);

// The cruise id carried by a cruise item (0 when the item has none).
int CruiseItemId(const TCheckListBox &AList, int AIndex);
int AddCruiseItem(TCheckListBox &AList, const std::string &AName, int AIdCruise);

// ---- the run's cruise table TmpCru -------------------------------------------
// Modes 0 to 2: TmpCru made with the fields of the open QCCruQry (ID_Cruise
// as Integer in modes 1 and 2) and filled with its records: mode 0 all,
// mode 1 those whose six test fields are all false, mode 2 those with at
// least one false. QCCruQry is left on its first record. Returns the count.
int BuildModeCruiseTable(int AMode, TQuery &AQCCruQry, TTable &ATmpCruTbl, const std::string &ALocalDbDir);
// Mode 3: TmpCru (ID_Cruise, Cruise_Name) with the ticked items of the
// active choice list, in list order. Returns the count.
int BuildCustomCruiseTable(const TCheckListBox &AList, TTable &ATmpCruTbl, const std::string &ALocalDbDir);

// ---- the local table Cruises and the country list -----------------------------
// Copies the main database's cruise/ship/country join (ZqCruQuery, opened
// here) into the local table Cruises, then fills the country list and the
// parallel lists from it. What its rows say is added to ANotes
// (NoteCruiseRow), for the caller to say.
void BuildCruiseChoiceData(TQuery &AWorkQry, TZqQuery &AZqCruQuery, TTable &ATmpCruTbl,
                           const std::string &ALocalDbDir, const std::string &AMainDbSqlName,
                           TCheckListBox &ACountryList, TCruiseChoiceLists &ALists,
                           std::vector<std::string> &ANotes);
// The join's text.
std::string CruiseJoinSql(const std::string &AMainDbSqlName);

// ---- cascading lists ------------------------------------------------------------
// The ships of the ticked countries (and of the highlighted one while
// AShowForHighlighted), sorted; ship items remember their ship and country
// codes. Returns the number of ships.
int FillShipList(TCheckListBox &ACountries, TCheckListBox &AShips, bool AShowForHighlighted,
                 const TCruiseChoiceLists &ALists);
// The cruises of the ticked ships (and of the highlighted one while
// AShowForHighlighted), sorted, each carrying its ID_Cruise. AProgress gets
// the percent done over the ships. Returns the number of cruises.
int FillCruiseList(TCheckListBox &AShips, TCheckListBox &ACruises, bool AShowForHighlighted,
                   const TCruiseChoiceLists &ALists, const std::function<void(int)> &AProgress = {});

// ---- search ----------------------------------------------------------------------
// Applies the "Auto adding of '*'" rule to the operator's text (AText may
// change; ACaret, when given, is where the caret goes) and returns the LIKE
// pattern: every "*" becomes "%".
std::string CruiseSearchPattern(std::string &AText, bool AAutoStar, int *ACaret = nullptr);
// The search statement; every "'" of the pattern is doubled, so the
// operator's text stays a text.
std::string CruiseSearchSql(const std::string &APattern);
// Runs the search on AQuery and refills AResults (cleared for an empty
// pattern). Returns the number of cruises found.
int SearchCruises(TZqQuery &AQuery, const std::string &APattern, TCheckListBox &AResults);
