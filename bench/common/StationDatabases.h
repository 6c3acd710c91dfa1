// The station databases a benchmark measures: the demo database the build
// writes into the program folder, and the large generated one (target
// marlin_large_db) when it exists or when "--large" or MARLIN_BENCH_LARGE=1
// asks for it (then its absence is an error).
#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

struct TStationDatabases {
    std::filesystem::path Demo;
    std::filesystem::path Large; // empty when not measured
    std::string Error;           // why the benchmark cannot run, empty when it can
};

inline TStationDatabases FindStationDatabases(const std::filesystem::path &AProgramDir, int argc, char **argv)
{
    bool WantLarge = false;
    for (int I = 1; I < argc; ++I)
        WantLarge = WantLarge || std::strcmp(argv[I], "--large") == 0;
    if (const char *E = std::getenv("MARLIN_BENCH_LARGE"))
        WantLarge = WantLarge || std::strcmp(E, "1") == 0;
    TStationDatabases D;
    D.Demo = AProgramDir / "demo" / "marlin_demo.mdb";
    const std::filesystem::path Large = AProgramDir / "bench" / "marlin_large.mdb";
    if (!std::filesystem::exists(D.Demo))
        D.Error = "no demo database at " + D.Demo.string();
    else if (std::filesystem::exists(Large))
        D.Large = Large;
    else if (WantLarge)
        D.Error = "no large database at " + Large.string() + " (cmake --build <build> --target marlin_large_db)";
    return D;
}
