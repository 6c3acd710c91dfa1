// Catalog cache benchmark on a copy of the staged demo station database,
// through the Access driver, unixODBC and the station-database driver.
//   key_lookup_cached: the primary key fields of Cast_Titles answered from
//     the cache (what every query open on the table costs after the first);
//   key_lookup_catalog: the same question with the cache emptied first, so
//     that SQLPrimaryKeys runs each time (what every open would cost
//     without the cache);
//   query_define_*: prepare and describe one cruise's casts, with key
//     discovery (cached) and without it: what finding the key costs;
//   query_open_*: the same, then open and fetch: with key columns the
//     in-memory table also keeps its key on every row fetched.
// Each figure is the median of five timed batches after a warm-up; the two
// sides of a comparison alternate batch by batch.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "dataaccess/stan/qxZqStanOption.h"

namespace {

constexpr int CRuns = 5;

class TQuietCursor : public TZqObject, public virtual IZqGUIxWaitCursor {
public:
    void StartWait() override {}
    void StopWait() override {}
};

// Microseconds per call of AFn over ACalls calls.
double Batch(int ACalls, const std::function<void()> &AFn)
{
    const auto T0 = std::chrono::steady_clock::now();
    for (int I = 0; I < ACalls; ++I) AFn();
    const auto T1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(T1 - T0).count() / ACalls;
}

double Median(std::vector<double> ARuns)
{
    std::sort(ARuns.begin(), ARuns.end());
    return ARuns[ARuns.size() / 2];
}

// Median microseconds per call of A and of B, over batches of ACalls calls
// that alternate between the two after a warm-up of each.
std::pair<double, double> Compare(int ACalls, const std::function<void()> &A, const std::function<void()> &B)
{
    Batch(ACalls, A);
    Batch(ACalls, B);
    std::vector<double> RunsA, RunsB;
    for (int R = 0; R < CRuns; ++R) {
        RunsA.push_back(Batch(ACalls, A));
        RunsB.push_back(Batch(ACalls, B));
    }
    return {Median(RunsA), Median(RunsB)};
}

} // namespace

int main()
{
    const char *Program = std::getenv("MARLIN_PROGRAM_DIR");
    if (!Program) {
        std::fprintf(stderr, "MARLIN_PROGRAM_DIR is not set\n");
        return 1;
    }
    const std::filesystem::path Dir =
        std::filesystem::temp_directory_path() / ("catalog_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    const std::string Db = (Dir / "station.mdb").string();
    std::filesystem::copy_file(std::filesystem::path(Program) / "demo" / "marlin_demo.mdb", Db);

    ZqStanInitialize();
    ZqRegisterSingleton<TQuietCursor>(IID_IZqGUIxWaitCursor);
    auto *Mgr = new TZqPhysManager();
    TZqIntfPtr<IZqPhysManager> Manager(static_cast<IZqPhysManager *>(Mgr));
    Mgr->RegisterDriverClass(&ZqPhysMSAccConnectionClass);
    Manager->Open();
    int Result = 0;
    {
        TZqIntfPtr<IZqPhysConnection> Conn;
        Manager->CreateConnection("DriverID=MSAcc;Database=" + Db, Conn);
        Conn->Open();
        TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
        Conn->CreateMetadata(Meta);

        // The answer checked once: the key of Cast_Titles is ID_Cast.
        {
            TZqPhysMetaView V = Meta->GetPrimaryKeyFields("", "", "Cast_Titles", "");
            if (V.RowCount() != 1 || V.Value(0, "COLUMN_NAME").AsString() != "ID_Cast") {
                std::fprintf(stderr, "the key of Cast_Titles was not found\n");
                Result = 1;
            }
        }
        const auto [Cached, Catalog] =
            Compare(200, [&] { Meta->GetPrimaryKeyFields("", "", "Cast_Titles", ""); },
                    [&] {
                        TZqPhysMetaView V = Meta->GetPrimaryKeyFields("", "", "Cast_Titles", "");
                        V.Uncache();
                    });

        auto Open = [&](bool AKeys, bool AFetch) {
            TZqIntfPtr<IZqPhysCommand> Cmd;
            Conn->CreateCommand(Cmd);
            TZqFetchOptions *F = Cmd->GetOptions()->GetFetchOptions();
            F->SetItems(AKeys ? TZqFetchItems{fiBlobs, fiDetails, fiMeta} : TZqFetchItems{fiBlobs, fiDetails});
            Cmd->SetCommandText("Select * from Cast_Titles where ID_Cruise = 3 order by Date_Cast, Time_Cast");
            TZqDatSTable T;
            Cmd->Define(&T);
            if (T.Columns()->ColumnByName("ID_Cast")->Options().Contains(coInKey) != AKeys) Result = 1;
            if (!AFetch) return;
            Cmd->Open();
            Cmd->Fetch(&T, true);
            if (T.Rows()->Count() == 0) Result = 1;
        };
        const auto [DefineKeys, DefineNoKeys] =
            Compare(500, [&] { Open(true, false); }, [&] { Open(false, false); });
        const auto [WithKeys, WithoutKeys] = Compare(500, [&] { Open(true, true); }, [&] { Open(false, true); });

        std::printf("key_lookup_cached: %.1f us\n", Cached);
        std::printf("key_lookup_catalog: %.1f us\n", Catalog);
        std::printf("query_define_with_keys: %.1f us\n", DefineKeys);
        std::printf("query_define_without_keys: %.1f us\n", DefineNoKeys);
        std::printf("query_open_with_keys: %.1f us\n", WithKeys);
        std::printf("query_open_without_keys: %.1f us\n", WithoutKeys);
        std::printf("ratio catalog_time_over_cached: %.2f\n", Catalog / Cached);
        std::printf("ratio define_without_keys_time_over_with_keys: %.2f\n", DefineNoKeys / DefineKeys);
        std::printf("ratio open_without_keys_time_over_with_keys: %.2f\n", WithoutKeys / WithKeys);
    }
    Manager->Close(true);
    Manager.Reset();
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
    return Result;
}
