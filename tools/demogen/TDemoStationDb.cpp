// SQLite writer and reader of demo station databases, and the manifest file.
#include "tools/demogen/TDemoStationDb.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>

namespace demogen {

namespace {

// Owns a connection; closing never throws.
class TSqlite {
public:
  explicit TSqlite(const std::string &APath, int AFlags)
  {
    if (sqlite3_open_v2(APath.c_str(), &FDb, AFlags, nullptr) != SQLITE_OK) {
      std::string msg = FDb ? sqlite3_errmsg(FDb) : "out of memory";
      sqlite3_close(FDb);
      throw std::runtime_error(APath + ": " + msg);
    }
  }
  ~TSqlite() { sqlite3_close(FDb); }
  TSqlite(const TSqlite &) = delete;
  TSqlite &operator=(const TSqlite &) = delete;
  sqlite3 *Handle() const { return FDb; }
  void Exec(const std::string &ASql)
  {
    char *err = nullptr;
    if (sqlite3_exec(FDb, ASql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : "error";
      sqlite3_free(err);
      throw std::runtime_error(msg + " in: " + ASql);
    }
  }

private:
  sqlite3 *FDb = nullptr;
};

// Owns a prepared statement; finalising never throws.
class TStmt {
public:
  TStmt(TSqlite &ADb, const std::string &ASql) : FDb(ADb.Handle())
  {
    if (sqlite3_prepare_v2(FDb, ASql.c_str(), -1, &FStmt, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sqlite3_errmsg(FDb)) + " in: " + ASql);
  }
  ~TStmt() { sqlite3_finalize(FStmt); }
  TStmt(const TStmt &) = delete;
  TStmt &operator=(const TStmt &) = delete;

  TStmt &Int(int AIndex, long long AValue)
  {
    sqlite3_bind_int64(FStmt, AIndex, AValue);
    return *this;
  }
  TStmt &Real(int AIndex, double AValue)
  {
    sqlite3_bind_double(FStmt, AIndex, AValue);
    return *this;
  }
  TStmt &Real(int AIndex, const std::optional<double> &AValue)
  {
    if (AValue)
      sqlite3_bind_double(FStmt, AIndex, *AValue);
    else
      sqlite3_bind_null(FStmt, AIndex);
    return *this;
  }
  TStmt &Text(int AIndex, const std::string &AValue)
  {
    sqlite3_bind_text(FStmt, AIndex, AValue.c_str(), static_cast<int>(AValue.size()), SQLITE_TRANSIENT);
    return *this;
  }
  void Run()
  {
    if (sqlite3_step(FStmt) != SQLITE_DONE)
      throw std::runtime_error(sqlite3_errmsg(FDb));
    sqlite3_reset(FStmt);
  }
  bool Row()
  {
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW)
      return true;
    if (rc != SQLITE_DONE)
      throw std::runtime_error(sqlite3_errmsg(FDb));
    return false;
  }
  long long IntAt(int ACol) { return sqlite3_column_int64(FStmt, ACol); }
  double RealAt(int ACol) { return sqlite3_column_double(FStmt, ACol); }
  std::optional<double> OptAt(int ACol)
  {
    if (sqlite3_column_type(FStmt, ACol) == SQLITE_NULL)
      return std::nullopt;
    return sqlite3_column_double(FStmt, ACol);
  }
  std::string TextAt(int ACol)
  {
    const unsigned char *t = sqlite3_column_text(FStmt, ACol);
    return t ? reinterpret_cast<const char *>(t) : "";
  }

private:
  sqlite3 *FDb;
  sqlite3_stmt *FStmt = nullptr;
};

// The main station database's tables. Column types are Jet's type words;
// text columns compare without regard to case as Jet does. Levels carry no
// key of their own: a station may hold two levels at one pressure, and the
// checks are there to find that.
const char *Schema = R"(
CREATE TABLE Countries (
  Country_Code TEXT(2) COLLATE NOCASE NOT NULL,
  NAME TEXT(50) COLLATE NOCASE,
  PRIMARY KEY (Country_Code));
CREATE TABLE Ships (
  Ship_Code TEXT(4) COLLATE NOCASE NOT NULL,
  Ship_Name TEXT(50) COLLATE NOCASE,
  Country_Code TEXT(2) COLLATE NOCASE,
  PRIMARY KEY (Ship_Code));
CREATE TABLE Cruise_Titles (
  ID_Cruise LONG NOT NULL,
  Cruise_Name TEXT(50) COLLATE NOCASE,
  MAR TEXT(20) COLLATE NOCASE,
  Ship_Code TEXT(4) COLLATE NOCASE,
  Country_Code TEXT(2) COLLATE NOCASE,
  PRIMARY KEY (ID_Cruise));
CREATE TABLE Cast_Titles (
  ID_Cast LONG NOT NULL,
  ID_Cruise LONG,
  Date_Cast DATETIME,
  Time_Cast DATETIME,
  Lon DOUBLE,
  Lat DOUBLE,
  Depth DOUBLE,
  StationName TEXT(20) COLLATE NOCASE,
  Velosity DOUBLE,
  FLon SHORT,
  FLat SHORT,
  FDT SHORT,
  FD SHORT,
  PRIMARY KEY (ID_Cast));
CREATE TABLE Parameters (
  ID_Cast LONG,
  ParamAbr TEXT(10) COLLATE NOCASE,
  ParName TEXT(50) COLLATE NOCASE,
  Unit TEXT(20) COLLATE NOCASE);
CREATE TABLE PTS_Data (
  ID_Cast LONG,
  PRES DOUBLE,
  FPRES SHORT,
  TEMP DOUBLE,
  FTEMP SHORT,
  PSAL DOUBLE,
  FPSAL SHORT);
)";

// Indexes come after the rows, which is much faster for large databases.
// The date index serves the "Full cruise" duplicate search, whose condition
// bounds every other cruise's stations by date (three ranges joined by OR):
// without it each cruise's search reads the whole station list.
const char *Indexes = R"(
CREATE INDEX Cast_Titles_ID_Cruise ON Cast_Titles (ID_Cruise, Date_Cast, Time_Cast);
CREATE INDEX Cast_Titles_Date_Cast ON Cast_Titles (Date_Cast, Time_Cast);
CREATE INDEX Parameters_ID_Cast ON Parameters (ID_Cast);
CREATE INDEX PTS_Data_ID_Cast ON PTS_Data (ID_Cast, PRES);
)";

std::set<std::string> ChemParams(const TDemoDatabase &ADb)
{
  std::set<std::string> out;
  for (const TDemoCruise &c : ADb.Cruises)
    for (const std::string &p : c.Params)
      if (p != "PRESS" && p != "TEMP" && p != "PSAL")
        out.insert(p);
  return out;
}

} // namespace

void TDemoStationDb::Write(const TDemoDatabase &ADb, const std::string &APath)
{
  const std::string scratch = APath + ".part";
  std::remove(scratch.c_str());
  {
    TSqlite db(scratch, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // No journal while the fresh file fills; it is renamed only when whole.
    db.Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
    db.Exec("BEGIN");
    db.Exec(Schema);
    const std::set<std::string> chem = ChemParams(ADb);
    for (const std::string &p : chem)
      db.Exec("CREATE TABLE " + p + " (ID_Cast LONG, PRES DOUBLE, FPRES SHORT, " + p + " DOUBLE, F" + p + " SHORT)");

    TStmt country(db, "INSERT INTO Countries VALUES (?, ?)");
    for (const TDemoCountry &c : ADb.Countries)
      country.Text(1, c.Code).Text(2, c.Name).Run();
    TStmt ship(db, "INSERT INTO Ships VALUES (?, ?, ?)");
    for (const TDemoShip &s : ADb.Ships)
      ship.Text(1, s.Code).Text(2, s.Name).Text(3, s.CountryCode).Run();
    TStmt cruise(db, "INSERT INTO Cruise_Titles VALUES (?, ?, ?, ?, ?)");
    TStmt cast(db, "INSERT INTO Cast_Titles VALUES (?, ?, ?, ?, ?, ?, ?, ?, NULL, 0, 0, 0, 0)");
    TStmt param(db, "INSERT INTO Parameters VALUES (?, ?, ?, ?)");
    TStmt level(db, "INSERT INTO PTS_Data VALUES (?, ?, 0, ?, 0, ?, 0)");
    std::map<std::string, std::unique_ptr<TStmt>> chemLevel;
    for (const std::string &p : chem)
      chemLevel[p] = std::make_unique<TStmt>(db, "INSERT INTO " + p + " VALUES (?, ?, 0, ?, 0)");
    for (const TDemoCruise &c : ADb.Cruises) {
      cruise.Int(1, c.Id).Text(2, c.Name).Text(3, c.Mar).Text(4, c.ShipCode).Text(5, c.CountryCode).Run();
      for (const TDemoStation &s : c.Stations) {
        cast.Int(1, s.IdCast).Int(2, s.IdCruise).Real(3, s.Date).Real(4, s.Time).Real(5, s.Lon).Real(6, s.Lat);
        cast.Real(7, s.Depth).Text(8, s.Name).Run();
        // PRESS first: the flag write-back passes over a cast's first row.
        for (const std::string &p : c.Params) {
          const TDemoParamInfo *info = DemoParamInfo(p);
          param.Int(1, s.IdCast).Text(2, p).Text(3, info ? info->Name : p).Text(4, info ? info->Unit : "").Run();
        }
        for (const TDemoLevel &l : s.Pts)
          level.Int(1, s.IdCast).Real(2, l.Pres).Real(3, l.Temp).Real(4, l.Psal).Run();
        for (const TDemoChemProfile &p : s.Chem)
          for (const TDemoChemLevel &l : p.Levels)
            chemLevel.at(p.Param)->Int(1, s.IdCast).Real(2, l.Pres).Real(3, l.Value).Run();
      }
    }
    db.Exec(Indexes);
    for (const std::string &p : chem)
      db.Exec("CREATE INDEX " + p + "_ID_Cast ON " + p + " (ID_Cast, PRES)");
    db.Exec("COMMIT");
    // Whoever writes the database afterwards finds it in WAL mode.
    db.Exec("PRAGMA journal_mode=WAL");
  }
  // A -wal or -shm of an earlier file under the real name would be applied
  // to the new one.
  std::remove((APath + "-wal").c_str());
  std::remove((APath + "-shm").c_str());
  if (std::rename(scratch.c_str(), APath.c_str()) != 0)
    throw std::runtime_error("cannot rename " + scratch + " to " + APath);
}

TDemoDatabase TDemoStationDb::Read(const std::string &APath)
{
  TSqlite db(APath, SQLITE_OPEN_READONLY);
  TDemoDatabase out;
  TStmt countries(db, "SELECT Country_Code, NAME FROM Countries ORDER BY rowid");
  while (countries.Row())
    out.Countries.push_back({countries.TextAt(0), countries.TextAt(1)});
  TStmt ships(db, "SELECT Ship_Code, Ship_Name, Country_Code FROM Ships ORDER BY rowid");
  while (ships.Row())
    out.Ships.push_back({ships.TextAt(0), ships.TextAt(1), ships.TextAt(2)});
  std::map<int, size_t> cruiseAt;
  TStmt cruises(db, "SELECT ID_Cruise, Cruise_Name, MAR, Ship_Code, Country_Code FROM Cruise_Titles ORDER BY ID_Cruise");
  while (cruises.Row()) {
    TDemoCruise c;
    c.Id = static_cast<int>(cruises.IntAt(0));
    c.Name = cruises.TextAt(1);
    c.Mar = cruises.TextAt(2);
    c.ShipCode = cruises.TextAt(3);
    c.CountryCode = cruises.TextAt(4);
    cruiseAt[c.Id] = out.Cruises.size();
    out.Cruises.push_back(std::move(c));
  }
  std::map<int, TDemoStation *> station;
  TStmt casts(db, "SELECT ID_Cast, ID_Cruise, Date_Cast, Time_Cast, Lon, Lat, Depth, StationName FROM Cast_Titles "
                  "ORDER BY ID_Cast");
  while (casts.Row()) {
    TDemoStation s;
    s.IdCast = static_cast<int>(casts.IntAt(0));
    s.IdCruise = static_cast<int>(casts.IntAt(1));
    s.Date = casts.RealAt(2);
    s.Time = casts.RealAt(3);
    s.Lon = casts.RealAt(4);
    s.Lat = casts.RealAt(5);
    s.Depth = casts.RealAt(6);
    s.Name = casts.TextAt(7);
    auto it = cruiseAt.find(s.IdCruise);
    if (it == cruiseAt.end())
      throw std::runtime_error(APath + ": station " + std::to_string(s.IdCast) + " names no cruise");
    out.Cruises[it->second].Stations.push_back(std::move(s));
  }
  for (TDemoCruise &c : out.Cruises)
    for (TDemoStation &s : c.Stations)
      station[s.IdCast] = &s;
  std::set<std::string> chem;
  TStmt params(db, "SELECT ID_Cast, ParamAbr FROM Parameters ORDER BY rowid");
  std::set<int> seen;
  while (params.Row()) {
    const int id = static_cast<int>(params.IntAt(0));
    const std::string p = params.TextAt(1);
    TDemoStation *s = station.at(id);
    TDemoCruise &c = out.Cruises[cruiseAt.at(s->IdCruise)];
    if (seen.insert(s->IdCruise).second || c.Stations.front().IdCast == id)
      if (std::find(c.Params.begin(), c.Params.end(), p) == c.Params.end())
        c.Params.push_back(p);
    if (p != "PRESS" && p != "TEMP" && p != "PSAL")
      chem.insert(p);
  }
  TStmt levels(db, "SELECT ID_Cast, PRES, TEMP, PSAL FROM PTS_Data ORDER BY rowid");
  while (levels.Row())
    station.at(static_cast<int>(levels.IntAt(0)))->Pts.push_back({levels.RealAt(1), levels.OptAt(2), levels.OptAt(3)});
  for (const std::string &p : chem) {
    TStmt rows(db, "SELECT ID_Cast, PRES, " + p + " FROM " + p + " ORDER BY rowid");
    while (rows.Row()) {
      TDemoStation *s = station.at(static_cast<int>(rows.IntAt(0)));
      if (s->Chem.empty() || s->Chem.back().Param != p)
        s->Chem.push_back({p, {}});
      s->Chem.back().Levels.push_back({rows.RealAt(1), rows.OptAt(2)});
    }
  }
  return out;
}

std::string TDemoStationDb::ManifestPath(const std::string &ADbPath)
{
  std::string stem = ADbPath;
  if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".mdb") == 0)
    stem.resize(stem.size() - 4);
  return stem + "-faults.txt";
}

void TDemoStationDb::WriteManifest(const std::vector<TDemoFinding> &AFindings, const std::string &APath,
                                   const std::string &AHeading)
{
  std::ofstream out(APath, std::ios::trunc);
  out << "# " << AHeading << "\n"
      << "# One fault a line, tab-separated. PRES and param are - for a station fault.\n"
      << "# cause: planted, or follows <kind> for a fault that the planted one brings along.\n"
      << "# kind\tID_Cruise\tID_Cast\tPRES\tparam\tcause\tdetail\n";
  for (const TDemoFinding &f : AFindings) {
    const std::string pres = f.Pres ? DemoFixed(*f.Pres, 1) : "-";
    out << f.Kind << '\t' << f.IdCruise << '\t' << f.IdCast << '\t' << pres << '\t'
        << (f.Param.empty() ? "-" : f.Param) << '\t' << f.Cause << '\t' << f.Detail << '\n';
  }
  if (!out)
    throw std::runtime_error("cannot write " + APath);
}

std::vector<TDemoFinding> TDemoStationDb::ReadManifest(const std::string &APath)
{
  std::ifstream in(APath);
  if (!in)
    throw std::runtime_error("cannot read " + APath);
  std::vector<TDemoFinding> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#')
      continue;
    std::vector<std::string> cells;
    std::istringstream s(line);
    std::string cell;
    while (std::getline(s, cell, '\t'))
      cells.push_back(cell);
    if (cells.size() < 6)
      throw std::runtime_error(APath + ": malformed line: " + line);
    TDemoFinding f;
    f.Kind = cells[0];
    f.IdCruise = std::stoi(cells[1]);
    f.IdCast = std::stoi(cells[2]);
    double pres = 0;
    if (cells[3] != "-" && !DemoNumber(cells[3], pres))
      throw std::runtime_error(APath + ": malformed pressure: " + line);
    if (cells[3] != "-")
      f.Pres = pres;
    f.Param = cells[4] == "-" ? "" : cells[4];
    f.Cause = cells[5];
    f.Detail = cells.size() > 6 ? cells[6] : "";
    out.push_back(std::move(f));
  }
  return out;
}

} // namespace demogen
