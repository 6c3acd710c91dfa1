// Local table engine benchmarks:
//  - the batch-move upsert of one million level-flag rows into a flag table
//    that already holds half of them (as the QC run merges TmpFlags into a
//    "-PTS_DataFlags" table), against the same upsert written as a raw
//    SQLite statement loop in one transaction;
//  - the same upsert from rows held in memory (TTable::AppendUpdateRows, a
//    station of 100 levels per call inside one transaction, as the QC run
//    writes a station's level flags), against the same raw loop;
//  - the per-station cycle of the QC run: TmpFlags created afresh from its
//    template with its primary index, 100 levels appended and read back;
//  - the flag write-back's reading: a local query per cast of 100 levels
//    ("Select * from ... Where ID_Cast=N", its rows walked field by field),
//    against the same rows read by one prepared SQLite statement.
// Each figure is the median of several timed runs after a warm-up; the
// results are checked before they are reported.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point A) { return std::chrono::duration<double>(Clock::now() - A).count(); }

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

[[noreturn]] void Fail(const std::string &AWhat)
{
    std::fprintf(stderr, "localdb_bench: %s\n", AWhat.c_str());
    std::exit(1);
}

constexpr int SourceRows = 1000000;
constexpr int LevelsPerCast = 100;

// Destination with every other source row already present (old flags).
void ResetDestination(TLocalDatabase &ADb)
{
    ADb.Exec("DELETE FROM \"b-PTS_DataFlags\"");
    ADb.Exec("INSERT INTO \"b-PTS_DataFlags\" SELECT ID_Cast, PRES, 0, 0, 0 FROM TmpFlags WHERE (ID_Cast % 2) = 0");
}

int64_t CountChanged(TLocalDatabase &ADb)
{
    TLocalStatement S(ADb.Handle(), "SELECT count(*), sum(FTEMP) FROM \"b-PTS_DataFlags\"");
    S.Step();
    if (S.Column(0).I != SourceRows || S.Column(1).I != SourceRows * 2LL)
        Fail("upsert left wrong rows");
    return S.Column(0).I;
}

void RawUpsert(TLocalDatabase &ADb)
{
    ADb.Exec("BEGIN IMMEDIATE");
    TLocalStatement Read(ADb.Handle(), "SELECT ID_Cast, PRES, FPRES, FTEMP, FPSAL FROM TmpFlags");
    TLocalStatement Up(ADb.Handle(),
                       "INSERT INTO \"b-PTS_DataFlags\" (ID_Cast, PRES, FPRES, FTEMP, FPSAL) VALUES (?,?,?,?,?) "
                       "ON CONFLICT(ID_Cast, PRES) DO UPDATE SET FPRES=excluded.FPRES, FTEMP=excluded.FTEMP, "
                       "FPSAL=excluded.FPSAL");
    while (Read.Step()) {
        Up.Reset();
        for (int I = 0; I < 5; ++I)
            Up.Bind(I + 1, Read.Column(I));
        Up.Execute();
    }
    ADb.Exec("COMMIT");
}

void Cycle(TTable &AStruct, TTable &ATmp, int ACast)
{
    ATmp.Close();
    ATmp.SetTableName("TmpFlags2");
    ATmp.FieldDefs().Assign(AStruct.FieldDefs());
    ATmp.CreateTable();
    ATmp.AddIndex("ID_Ind", "ID_Cast;PRES", ixPrimary);
    ATmp.Open();
    TField *Id = ATmp.Fields()[0], *Pres = ATmp.Fields()[1], *FPres = ATmp.Fields()[2], *FTemp = ATmp.Fields()[3];
    for (int L = 0; L < LevelsPerCast; ++L) {
        ATmp.Append();
        Id->SetAsInteger(ACast);
        Pres->SetAsFloat(L * 2.5);
        FPres->SetAsInteger(1);
        FTemp->SetAsInteger(L % 5);
        ATmp.Post();
    }
    int N = 0;
    double Sum = 0;
    for (ATmp.First(); !ATmp.Eof(); ATmp.Next()) {
        Sum += Pres->AsFloat();
        ++N;
    }
    if (N != LevelsPerCast || Sum != 2.5 * LevelsPerCast * (LevelsPerCast - 1) / 2)
        Fail("cycle read back wrong rows");
}

// Six runs of ours against the raw SQLite upsert into the emptied
// destination, each checked for its count; the first pair warms the caches.
template <class TOurs>
void TimePairs(TLocalDatabase &ADb, std::vector<double> &AOurs, std::vector<double> &ARaw, TOurs &&AOursRun)
{
    for (int Run = 0; Run < 6; ++Run) {
        ResetDestination(ADb);
        auto T0 = Clock::now();
        AOursRun();
        const double Ours1 = Seconds(T0);
        CountChanged(ADb);
        ResetDestination(ADb);
        T0 = Clock::now();
        RawUpsert(ADb);
        const double Raw1 = Seconds(T0);
        CountChanged(ADb);
        if (Run > 0) {
            AOurs.push_back(Ours1);
            ARaw.push_back(Raw1);
        }
    }
}

} // namespace

int main()
{
    char Tmpl[] = "/tmp/marlin_localdb_bench_XXXXXX";
    std::string Folder = mkdtemp(Tmpl);
    TLocalDatabase &Db = TLocalDatabase::ForFolder(Folder);
    Db.Exec("CREATE TABLE TmpFlags (ID_Cast INTEGER, PRES DOUBLE, FPRES SMALLINT, FTEMP SMALLINT, FPSAL SMALLINT)");
    Db.Exec("CREATE UNIQUE INDEX \"pk$TmpFlags\" ON TmpFlags (ID_Cast, PRES)");
    Db.Exec("CREATE TABLE \"b-PTS_DataFlags\" (ID_Cast INTEGER, PRES DOUBLE, FPRES SMALLINT, FTEMP SMALLINT, FPSAL SMALLINT)");
    Db.Exec("CREATE UNIQUE INDEX \"pk$b-PTS_DataFlags\" ON \"b-PTS_DataFlags\" (ID_Cast, PRES)");
    Db.Exec("CREATE TABLE StructTsFlags (ID_Cast INTEGER, PRES DOUBLE, FPRES SMALLINT, FTEMP SMALLINT, FPSAL SMALLINT)");
    Db.BeginTransaction();
    {
        TLocalStatement Ins(Db.Handle(), "INSERT INTO TmpFlags VALUES (?, ?, 1, 2, 1)");
        for (int I = 0; I < SourceRows; ++I) {
            Ins.Reset();
            Ins.BindInt(1, I / LevelsPerCast);
            Ins.BindDouble(2, (I % LevelsPerCast) * 2.5);
            Ins.Execute();
        }
    }
    Db.Commit();

    // ---- batch-move upsert ---------------------------------------------------
    TTable Src, Dest;
    Src.SetDatabaseName(Folder);
    Src.SetTableName("TmpFlags");
    Src.Open();
    Dest.SetDatabaseName(Folder);
    Dest.SetTableName("b-PTS_DataFlags");
    Dest.Open();
    std::vector<double> Ours, Raw;
    TimePairs(Db, Ours, Raw, [&] {
        if (Dest.BatchMove(&Src, batAppendUpdate) != SourceRows)
            Fail("batch move moved a wrong count");
    });
    std::printf("batch_move_upsert_1M: %.0f rows/s\n", SourceRows / Median(Ours));
    std::printf("raw_sqlite_upsert_1M: %.0f rows/s\n", SourceRows / Median(Raw));
    std::printf("ratio raw_time_over_batch_move: %.2f\n", Median(Raw) / Median(Ours));

    // ---- upsert from values in memory, a station at a time -------------------------
    {
        std::vector<TLocalRow> Values;
        Values.reserve(SourceRows);
        TLocalStatement Read(Db.Handle(), "SELECT ID_Cast, PRES, FPRES, FTEMP, FPSAL FROM TmpFlags ORDER BY ID_Cast, PRES");
        while (Read.Step())
            Values.push_back({Read.Column(0), Read.Column(1), Read.Column(2), Read.Column(3), Read.Column(4)});
        const std::vector<std::string> Cols = {"ID_Cast", "PRES", "FPRES", "FTEMP", "FPSAL"};
        std::vector<double> Merge, Raw2;
        TimePairs(Db, Merge, Raw2, [&] {
            Db.BeginTransaction();
            for (size_t At = 0; At < Values.size(); At += LevelsPerCast) {
                const std::vector<TLocalRow> Station(Values.begin() + long(At),
                                                     Values.begin() + long(std::min(Values.size(), At + LevelsPerCast)));
                Dest.AppendUpdateRows(Cols, Station);
            }
            Db.Commit();
        });
        std::printf("value_merge_upsert_1M: %.0f rows/s\n", SourceRows / Median(Merge));
        std::printf("ratio raw_time_over_value_merge: %.2f\n", Median(Raw2) / Median(Merge));
    }

    // The record-by-record path (a source that is not a local table), on a
    // tenth of the rows.
    {
        TLocalStatement Trim(Db.Handle(), "SELECT 1");
        Db.Exec("CREATE TABLE TmpSmall AS SELECT * FROM TmpFlags WHERE ID_Cast < 1000");
        std::vector<double> Generic;
        for (int Run = 0; Run < 4; ++Run) {
            ResetDestination(Db);
            TTable Small;
            Small.SetDatabaseName(Folder);
            Small.SetTableName("TmpSmall");
            Small.Open();
            Small.SetFiltered(true); // a filtered source is read record by record
            auto T0 = Clock::now();
            int64_t N = Dest.BatchMove(&Small, batAppendUpdate);
            double S = Seconds(T0);
            if (N != 100000)
                Fail("record-by-record move moved a wrong count");
            if (Run > 0)
                Generic.push_back(S);
        }
        std::printf("batch_move_upsert_record_by_record: %.0f rows/s\n", 100000 / Median(Generic));
    }
    Src.Close();
    Dest.Close();

    // ---- a query per cast, as the write-back reads the flags ----------------------
    {
        constexpr int Casts = 2000;
        TQuery Q;
        double Sum = 0, RawSum = 0;
        auto Ours = [&](int ACast) {
            Q.Close();
            Q.SQL().Clear();
            Q.SetDatabaseName(Folder);
            Q.SQL().Add("Select * from \"b-PTS_DataFlags\" Where ID_Cast=" + std::to_string(ACast));
            Q.Open();
            TField *Pres = Q.FieldByName("PRES");
            std::vector<TField *> Flags = {Q.FieldByName("FPRES"), Q.FieldByName("FTEMP"), Q.FieldByName("FPSAL")};
            for (Q.First(); !Q.Eof(); Q.Next())
                for (TField *F : Flags)
                    if (!F->IsNull())
                        Sum += F->AsInteger() + Pres->AsFloat();
            Q.Close();
        };
        TLocalStatement Raw(Db.Handle(), "SELECT * FROM \"b-PTS_DataFlags\" WHERE ID_Cast=?");
        auto Bare = [&](int ACast) {
            Raw.Reset();
            Raw.BindInt(1, ACast);
            while (Raw.Step())
                for (int C = 2; C < 5; ++C)
                    if (sqlite3_column_type(Raw.Handle(), C) != SQLITE_NULL)
                        RawSum += double(sqlite3_column_int64(Raw.Handle(), C)) + sqlite3_column_double(Raw.Handle(), 1);
        };
        for (int I = 0; I < 200; ++I) {
            Ours(I);
            Bare(I);
        }
        std::vector<double> OursT, RawT;
        for (int Run = 0; Run < 5; ++Run) {
            Sum = RawSum = 0;
            auto T0 = Clock::now();
            for (int I = 0; I < Casts; ++I)
                Ours(I * 2);
            OursT.push_back(Seconds(T0));
            T0 = Clock::now();
            for (int I = 0; I < Casts; ++I)
                Bare(I * 2);
            RawT.push_back(Seconds(T0));
            if (Sum != RawSum || Sum == 0)
                Fail("per-cast query read other values than SQLite");
        }
        std::printf("cast_query_reads: %.0f casts/s\n", Casts / Median(OursT));
        std::printf("cast_query_level: %.3f us\n", Median(OursT) / (Casts * LevelsPerCast) * 1e6);
        std::printf("ratio raw_time_over_cast_query: %.2f\n", Median(RawT) / Median(OursT));
    }

    // ---- per-station TmpFlags cycle ---------------------------------------------
    TTable Struct, Tmp;
    Struct.SetDatabaseName(Folder);
    Struct.SetTableName("StructTsFlags");
    Struct.Open();
    Tmp.SetDatabaseName(Folder);
    for (int I = 0; I < 200; ++I)
        Cycle(Struct, Tmp, I);
    std::vector<double> Rates;
    int Cast = 0;
    for (int Run = 0; Run < 5; ++Run) {
        auto T0 = Clock::now();
        for (int I = 0; I < 2000; ++I)
            Cycle(Struct, Tmp, Cast++);
        Rates.push_back(2000 / Seconds(T0));
    }
    std::printf("tmpflags_cycles: %.0f cycles/s\n", Median(Rates));
    Tmp.Close();
    Struct.Close();
    TLocalDatabase::CloseAll();
    std::filesystem::remove_all(Folder);
    return 0;
}
