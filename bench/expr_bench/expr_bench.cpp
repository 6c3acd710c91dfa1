// expr_bench: the filter Price > 10 AND Name LIKE 'A%' over 1M rows of a
// simple data source, against a hand-written loop that counts the same
// rows; and the heap allocations per row of a numeric comparison.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "dataaccess/stan/qxZqStanExpr.h"

namespace {
std::atomic<long long> GAllocations{0};
}

void *operator new(size_t ASize)
{
    GAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void *P = std::malloc(ASize ? ASize : 1)) return P;
    throw std::bad_alloc();
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void *P) noexcept { std::free(P); }
void operator delete(void *P, size_t) noexcept { std::free(P); }
#pragma GCC diagnostic pop

namespace {

using rtl::Variant;

class TRowsSource : public TZqObject, public virtual IZqStanExpressionDataSource {
public:
    std::vector<Variant> Price, Name;
    size_t Current = 0;

    int GetVarIndex(const std::string &AName) override
    {
        if (rtl::SameText(AName, "Price")) return 0;
        if (rtl::SameText(AName, "Name")) return 1;
        return -1;
    }
    TZqDataType GetVarType(int AIndex) override { return AIndex == 0 ? dtDouble : dtAnsiString; }
    TZqExpressionScopeKind GetVarScope(int) override { return ckField; }
    void GetVarData(int AIndex, Variant &AValue) override { AValue = AIndex == 0 ? Price[Current] : Name[Current]; }
    void SetVarData(int, const Variant &) override {}
    void GetSubAggregateValue(int, Variant &AValue) override { AValue = Variant(); }
    void *GetPosition() override { return reinterpret_cast<void *>(Current); }
    void SetPosition(void *AValue) override { Current = reinterpret_cast<size_t>(AValue); }
    int GetRowNum() override { return static_cast<int>(Current) + 1; }
};

double Seconds(std::chrono::steady_clock::time_point A, std::chrono::steady_clock::time_point B)
{
    return std::chrono::duration<double>(B - A).count();
}

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

} // namespace

int main()
{
    constexpr size_t Rows = 1000000;
    TZqIntfPtr<TRowsSource> DS(new TRowsSource());
    std::vector<double> Prices(Rows);
    std::vector<std::string> Names(Rows);
    std::mt19937 Gen(42);
    std::uniform_real_distribution<double> PriceDist(0.0, 20.0);
    for (size_t I = 0; I < Rows; ++I) {
        Prices[I] = PriceDist(Gen);
        Names[I] = std::string(1, static_cast<char>('A' + Gen() % 26)) + "cme " + std::to_string(I % 1000);
        DS->Price.push_back(Variant(Prices[I]));
        DS->Name.push_back(Variant(Names[I]));
    }

    TZqIntfPtr<TZqExpressionParser> Parser(new TZqExpressionParser());
    auto Filter = Parser->Prepare(DS.Get(), "Price > 10 AND Name LIKE 'A%'", {}, {poBoolean}, "");
    auto Numeric = Parser->Prepare(DS.Get(), "Price > 10", {}, {poBoolean}, "");
    auto Regex = Parser->Prepare(DS.Get(), "REGEXP_LIKE(Name, '^A')", {}, {poBoolean}, "");

    auto RunEngine = [&](IZqStanExpressionEvaluator *E) {
        size_t Count = 0;
        Variant V;
        for (size_t I = 0; I < Rows; ++I) {
            DS->Current = I;
            E->Evaluate(V);
            if (V.AsBoolean()) ++Count;
        }
        return Count;
    };
    auto RunHand = [&]() {
        size_t Count = 0;
        for (size_t I = 0; I < Rows; ++I)
            if (Prices[I] > 10 && !Names[I].empty() && Names[I][0] == 'A') ++Count;
        return Count;
    };

    // Warm-up, and the check that both count the same rows.
    size_t Expected = RunHand();
    size_t Got = RunEngine(Filter.Get());
    if (Got != Expected) {
        std::fprintf(stderr, "engine counted %zu rows, the loop %zu\n", Got, Expected);
        return 1;
    }

    std::vector<double> Hand, Engine;
    for (int Run = 0; Run < 7; ++Run) {
        // Alternate the order so that neither always runs on a warmer cache.
        for (int Half = 0; Half < 2; ++Half) {
            if ((Run + Half) % 2 == 0) {
                auto A = std::chrono::steady_clock::now();
                volatile size_t C = RunHand();
                (void)C;
                Hand.push_back(Seconds(A, std::chrono::steady_clock::now()));
            } else {
                auto A = std::chrono::steady_clock::now();
                volatile size_t C = RunEngine(Filter.Get());
                (void)C;
                Engine.push_back(Seconds(A, std::chrono::steady_clock::now()));
            }
        }
    }

    long long Before = GAllocations.load();
    size_t NumericCount = RunEngine(Numeric.Get());
    long long NumericAllocs = GAllocations.load() - Before;
    (void)NumericCount;

    // A constant pattern is compiled at the first row only.
    std::vector<double> RegexRuns;
    size_t RegexCount = 0;
    for (int Run = 0; Run < 3; ++Run) {
        auto A = std::chrono::steady_clock::now();
        RegexCount = RunEngine(Regex.Get());
        RegexRuns.push_back(Seconds(A, std::chrono::steady_clock::now()));
    }
    size_t Starting = 0;
    for (const std::string &Name : Names) Starting += Name[0] == 'A';
    if (RegexCount != Starting) {
        std::fprintf(stderr, "REGEXP_LIKE counted %zu rows, the loop %zu\n", RegexCount, Starting);
        return 1;
    }

    // Preparing a filter: scanning, parsing and typing one expression.
    constexpr int Prepares = 20000;
    auto PA = std::chrono::steady_clock::now();
    for (int I = 0; I < Prepares; ++I)
        Parser->Prepare(DS.Get(), "Price > 10 AND Name LIKE 'A%' OR Price BETWEEN 1 AND 2", {}, {poBoolean}, "");
    const double PrepareUs = Seconds(PA, std::chrono::steady_clock::now()) * 1e6 / Prepares;

    const double HandNs = Median(Hand) * 1e9 / Rows, EngineNs = Median(Engine) * 1e9 / Rows;
    std::printf("rows: %zu rows\n", Rows);
    std::printf("matching rows: %zu rows\n", Expected);
    std::printf("handwritten filter: %.2f ns/row\n", HandNs);
    std::printf("engine filter: %.2f ns/row\n", EngineNs);
    std::printf("engine REGEXP_LIKE filter: %.2f ns/row\n", Median(RegexRuns) * 1e9 / Rows);
    std::printf("prepare filter: %.2f us/expression\n", PrepareUs);
    std::printf("numeric comparison heap allocations: %.3f allocations/row\n", double(NumericAllocs) / Rows);
    std::printf("ratio handwritten_over_engine: %.4f\n", HandNs / EngineNs);
    return 0;
}
