// phys preprocess benchmark: the application's statements through the
// preprocessor as a command prepares them (parameters, macros, escapes and
// the command analysis), on the Access dialect. Baseline: copying the text,
// the least any preparation does. Figure: microseconds per statement.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "dataaccess/phys/qxZqPhysCmdPreprocessor.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "tests/support/SentStatements.h"
#include "tests/support/TestEnvironment.h"

namespace {

constexpr int Statements = 100000;
constexpr int Runs = 5;

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

} // namespace

int main()
{
    testsupport::SetTestEnvironment();
    std::vector<std::string> Corpus;
    for (const testsupport::TSentStatement &S : testsupport::SentStatements())
        Corpus.push_back(testsupport::WithDatabase(S.Text, "/data/black2007.mdb"));
    auto Meta = ZqCreateDialectMetadata(mkMSAccess);
    const size_t N = Corpus.size();
    size_t Checksum = 0;
    auto RunPreprocessor = [&] {
        const auto T0 = std::chrono::steady_clock::now();
        for (int i = 0; i < Statements; ++i) {
            TZqParams Params;
            TZqMacros Macros, Source;
            TZqPhysPreprocessor P;
            P.ConnMetadata = Meta.Get();
            P.Params = &Params;
            P.Macros = &Macros;
            P.MacrosSource = &Source;
            P.Instrs = piParamCreate | piMacroCreate | piParamExpand | piMacroExpand | piEscapeExpand | piAnalyze;
            P.Source = Corpus[size_t(i) % N];
            P.Execute();
            Checksum += P.Destination().size() + size_t(P.CommandKind());
        }
        return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - T0).count() / Statements;
    };
    auto RunCopy = [&] {
        const auto T0 = std::chrono::steady_clock::now();
        for (int i = 0; i < Statements; ++i) {
            std::string Copy = Corpus[size_t(i) % N];
            Checksum += Copy.size();
        }
        return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - T0).count() / Statements;
    };
    RunPreprocessor(); // warm-up
    std::vector<double> Ours, Base;
    for (int r = 0; r < Runs; ++r) {
        Ours.push_back(RunPreprocessor());
        Base.push_back(RunCopy());
    }
    // Every statement must come out as it went in (none carries a marker).
    for (const std::string &Text : Corpus) {
        TZqParams Params;
        TZqMacros Macros;
        TZqPhysPreprocessor P;
        P.ConnMetadata = Meta.Get();
        P.Params = &Params;
        P.Macros = &Macros;
        P.MacrosSource = &Macros;
        P.Instrs = piParamCreate | piParamExpand | piMacroExpand | piEscapeExpand | piAnalyze;
        P.Source = Text;
        P.Execute();
        if (P.Destination() != Text) {
            std::fprintf(stderr, "wrong text for %s\n", Text.c_str());
            return 1;
        }
    }
    std::printf("preprocess_statement: %.3f us\n", Median(Ours));
    std::printf("copy_statement: %.3f us\n", Median(Base));
    std::printf("checksum: %zu\n", Checksum % 1000);
    return 0;
}
