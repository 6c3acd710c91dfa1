// Command generator benchmark: the UPDATE of one edited 12-column row of the
// station database, generated 100,000 times in the Access dialect (names
// quoted, every column written, key-only WHERE), as the table adapter asks
// for it when it posts rows. The baseline writes the same text from names
// prepared once, so the ratio shows what the generator's name handling and
// parameter creation cost over plain string building.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/dialects/qxZqPhysDialectGen.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanParam.h"
// The option holder the generator tests use.
#include "tests/phys_gen/gen_test_util.h"

namespace {

constexpr int CStatements = 100000;
constexpr int CRuns = 5;

const char *const CNames[12] = {"STATION_ID", "CRUISE",   "STATION_NO", "LATITUDE", "LONGITUDE", "CAST_DATE",
                                "BOTTOM",     "MAX_PRES", "INSTRUMENT", "QC_FLAG",  "OPERATOR",  "REMARK"};

template <class F> double MedianMicrosPerStatement(F &&AFn)
{
    AFn(); // warm-up
    std::vector<double> Runs;
    for (int R = 0; R < CRuns; ++R) {
        const auto T0 = std::chrono::steady_clock::now();
        AFn();
        const auto T1 = std::chrono::steady_clock::now();
        Runs.push_back(std::chrono::duration<double, std::micro>(T1 - T0).count() / CStatements);
    }
    std::sort(Runs.begin(), Runs.end());
    return Runs[CRuns / 2];
}

} // namespace

int main()
{
    dats::TZqDatSTable Table("STATION");
    Table.SetSourceName("STATION");
    for (int I = 0; I < 12; ++I) {
        dats::TZqDatSColumn *C = Table.Columns()->AddColumn(CNames[I], I < 3 || I == 9 ? dtInt32 : dtAnsiString, 20);
        C->SetAttributes(C->Attributes() + TZqDataAttributes{caSearchable});
        if (I == 0) C->SetOptions({coInUpdate, coInWhere, coInKey});
    }
    dats::TZqDatSRow *Row = Table.NewRow();
    for (int I = 0; I < 12; ++I) {
        if (I < 3 || I == 9) {
            const int32_t V = 100 + I;
            Row->SetData(I, &V, 4);
        } else
            Row->SetData(I, "value", 5);
    }
    Table.Rows()->Add(Row);
    Row->AcceptChanges();
    Row->BeginEdit();
    Row->SetData(11, "edited", 6);
    Row->EndEdit();

    gentest::TOptions Opts;
    Opts.FUpdate.SetUpdateMode(upWhereKeyOnly);
    Opts.FUpdate.SetUpdateChangedFields(false);
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta(ZqCreateDialectMetadata(mkMSAccess).Get());
    TZqIntfPtr<IZqPhysCommandGenerator> Gen = ZqCreateCommandGenerator(Meta, &Opts);
    TZqParams Params;
    Gen->SetParams(&Params);
    Gen->SetTable(&Table);
    Gen->SetRow(Row);
    Gen->SetNameOptions(gnQuoteTable | gnQuoteColumns);

    std::string Expected = "UPDATE [STATION] SET ";
    for (int I = 0; I < 12; ++I) Expected += std::string(I ? ", " : "") + "[" + CNames[I] + "] = ?";
    Expected += " WHERE [STATION_ID] = ?";

    std::string Text;
    const double Ours = MedianMicrosPerStatement([&] {
        for (int N = 0; N < CStatements; ++N) {
            Params.Clear();
            Text = Gen->GenerateUpdate();
        }
    });
    if (Text != Expected || Params.Count() != 13) {
        std::fprintf(stderr, "unexpected statement: %s (%d parameters)\n", Text.c_str(), Params.Count());
        return 1;
    }

    std::vector<std::string> Quoted;
    for (const char *N : CNames) Quoted.push_back(std::string("[") + N + "]");
    std::string Plain;
    const double Baseline = MedianMicrosPerStatement([&] {
        for (int N = 0; N < CStatements; ++N) {
            Plain = "UPDATE [STATION] SET ";
            for (int I = 0; I < 12; ++I) {
                if (I) Plain += ", ";
                Plain += Quoted[size_t(I)];
                Plain += " = ?";
            }
            Plain += " WHERE ";
            Plain += Quoted[0];
            Plain += " = ?";
        }
    });
    if (Plain != Expected) return 1;

    std::printf("generate_update_12_columns: %.3f us/statement\n", Ours);
    std::printf("plain_string_build_12_columns: %.3f us/statement\n", Baseline);
    std::printf("ratio plain_build_time_over_generator: %.4f\n", Baseline / Ours);
    return 0;
}
