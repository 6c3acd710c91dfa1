// stan_bench: name look-up, the library's most frequent operation
// (parameters, macros, columns, definitions). 200 names, 1M look-ups, by a
// linear scan with ZqCompareText (as the collections search) and by binary
// search in a sorted TZqStringList; baseline: the same scan with strcasecmp.
// A replaced operator new counts heap allocations inside the timed loops:
// a look-up must not allocate.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <strings.h>
#include <vector>

#include "dataaccess/stan/qxZqStanFastCode.h"
#include "dataaccess/stan/qxZqStanUtil.h"

namespace {
std::atomic<long long> GAllocs{0};
}

void *operator new(size_t N)
{
    GAllocs.fetch_add(1, std::memory_order_relaxed);
    if (void *P = std::malloc(N ? N : 1)) return P;
    throw std::bad_alloc();
}
void operator delete(void *P) noexcept { std::free(P); }
void operator delete(void *P, size_t) noexcept { std::free(P); }

namespace {

constexpr int NameCount = 200;
constexpr int Lookups = 1000000;
constexpr int Runs = 5;

std::vector<std::string> MakeNames()
{
    // Column-like names sharing long prefixes, as real parameter lists do.
    const char *Stems[] = {"ID_CAST", "PRES", "TEMP", "PSAL", "FLAG_", "Station_Name", "Date_Cast", "param_"};
    std::vector<std::string> N;
    for (int I = 0; I < NameCount; ++I) N.push_back(std::string(Stems[I % 8]) + "_" + std::to_string(I * 7919 % 1000));
    return N;
}

// The probes: every name in a different letter case, plus misses.
std::vector<std::string> MakeProbes(const std::vector<std::string> &Names)
{
    std::vector<std::string> P;
    for (size_t I = 0; I < Names.size(); ++I) {
        std::string S = Names[I];
        for (size_t J = 0; J < S.size(); ++J)
            if ((I + J) % 2) S[J] = char(std::toupper((unsigned char)S[J]));
            else S[J] = char(std::tolower((unsigned char)S[J]));
        P.push_back(S);
        if (I % 10 == 0) P.push_back(S + "_missing");
    }
    return P;
}

template <typename F> double MedianNsPerLookup(F &&Lookup, long long &Allocs, long long &Found)
{
    std::vector<double> Times;
    Times.reserve(Runs);
    Found = 0;
    Lookup(Lookups / 10); // warm-up
    long long A0 = GAllocs.load();
    for (int R = 0; R < Runs; ++R) {
        auto T0 = std::chrono::steady_clock::now();
        Found = Lookup(Lookups);
        auto T1 = std::chrono::steady_clock::now();
        Times.push_back(std::chrono::duration<double, std::nano>(T1 - T0).count() / Lookups);
    }
    Allocs = GAllocs.load() - A0;
    std::sort(Times.begin(), Times.end());
    return Times[Times.size() / 2];
}

} // namespace

int main()
{
    const std::vector<std::string> Names = MakeNames();
    const std::vector<std::string> Probes = MakeProbes(Names);
    TZqStringList Sorted;
    Sorted.SetSorted(true);
    for (const auto &N : Names) Sorted.Add(N);

    long long ExpectedFound = 0;
    for (int I = 0; I < Lookups; ++I)
        if (Probes[size_t(I) % Probes.size()].find("_missing") == std::string::npos) ++ExpectedFound;

    auto Linear = [&](int Count) {
        long long Hits = 0;
        for (int I = 0; I < Count; ++I) {
            const std::string &P = Probes[size_t(I) % Probes.size()];
            for (const std::string &N : Names)
                if (ZqCompareText(N, P) == 0) { ++Hits; break; }
        }
        return Hits;
    };
    auto Baseline = [&](int Count) {
        long long Hits = 0;
        for (int I = 0; I < Count; ++I) {
            const std::string &P = Probes[size_t(I) % Probes.size()];
            for (const std::string &N : Names)
                if (strcasecmp(N.c_str(), P.c_str()) == 0) { ++Hits; break; }
        }
        return Hits;
    };
    auto Binary = [&](int Count) {
        long long Hits = 0;
        for (int I = 0; I < Count; ++I)
            if (Sorted.IndexOf(Probes[size_t(I) % Probes.size()]) >= 0) ++Hits;
        return Hits;
    };

    long long AllocLinear, AllocBase, AllocBinary, FoundLinear, FoundBase, FoundBinary;
    double NsBase = MedianNsPerLookup(Baseline, AllocBase, FoundBase);
    double NsLinear = MedianNsPerLookup(Linear, AllocLinear, FoundLinear);
    double NsBinary = MedianNsPerLookup(Binary, AllocBinary, FoundBinary);
    // Alternate once more so that a slow start does not favour either side.
    NsBase = std::min(NsBase, MedianNsPerLookup(Baseline, AllocBase, FoundBase));

    if (FoundLinear != ExpectedFound || FoundBase != ExpectedFound || FoundBinary != ExpectedFound) {
        std::fprintf(stderr, "wrong answer: expected %lld found %lld/%lld/%lld\n", ExpectedFound, FoundLinear,
                     FoundBase, FoundBinary);
        return 1;
    }
    if (AllocLinear != 0 || AllocBinary != 0) {
        std::fprintf(stderr, "look-ups allocated: linear %lld, sorted %lld\n", AllocLinear, AllocBinary);
        return 1;
    }
    std::printf("name_lookup_linear_200: %.1f ns\n", NsLinear);
    std::printf("name_lookup_sorted_200: %.1f ns\n", NsBinary);
    std::printf("name_lookup_strcasecmp_200: %.1f ns\n", NsBase);
    std::printf("heap_allocations_per_lookup: %.1f count\n", double(AllocLinear + AllocBinary) / Lookups);
    std::printf("ratio strcasecmp_time_over_linear: %.2f\n", NsBase / NsLinear);
    std::printf("ratio linear_time_over_sorted: %.2f\n", NsLinear / NsBinary);
    return 0;
}
