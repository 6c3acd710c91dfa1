// Editor benchmarks: opening the manual QC editor after a run and loading
// its first cruise, switching to another cruise, and a full repaint of the
// map with every layer (coast, extra lines, stations with their track, the
// possible duplicates, margins, axes, QC squares). On a private copy of the
// demo database, and on the large generated database when it has been made
// (cmake --build <build> --target marlin_large_db). Each figure is the
// median of five timed runs after a warm-up, in milliseconds.
#include "app/UQC.h"
#include "app/uQCMain.h"
#include "app/manual/map.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTimer.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "tests/app_editor/editor_env.h"

#include <QTemporaryDir>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using editortest::TEditorEnvironment;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Runs = 5;

double Ms(const std::function<void()> &F)
{
    const auto t0 = Clock::now();
    F();
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The first two cruises of the database and the stations of the second
// one's neighbours, as candidate duplicates for the map.
std::vector<int> FirstCruises(TEditorEnvironment &Env)
{
    TZqQuery Q(nullptr);
    Q.SetConnection(Env.Conn);
    Q.SQL()->Add("select top 2 ID_Cruise from Cruise_Titles order by ID_Cruise");
    Q.Open();
    std::vector<int> Ids;
    for (Q.First(); !Q.Eof(); Q.Next())
        Ids.push_back(Q.Fields()[0]->AsInteger());
    return Ids;
}

void Measure(const std::string &Name, const std::string &Program, const std::string &Db)
{
    QTemporaryDir Root;
    TEditorEnvironment Env;
    Env.Setup(Program, Db, Root.path().toStdString());
    const std::vector<int> Cruises = FirstCruises(Env);
    if (Cruises.size() < 2) {
        std::printf("database %s: fewer than two cruises\n", Name.c_str());
        Env.Teardown();
        return;
    }
    for (int Id : Cruises)
        Env.PrepareRunFlags(Id);

    std::vector<double> Open;
    for (int i = 0; i <= Runs; ++i) {
        const double t = Ms([&] { Env.OpenEditor(Cruises); });
        if (i > 0)
            Open.push_back(t);
        Env.CloseEditor();
    }
    std::printf("%s_open_first_cruise: %.1f ms\n", Name.c_str(), Median(Open));

    TForm2 &F = Env.OpenEditor(Cruises);
    std::vector<double> Switch;
    for (int i = 0; i <= Runs; ++i) {
        const int Id = Cruises[size_t((i + 1) % 2)];
        const double t = Ms([&] { Env.PickCruise(Id); });
        if (i > 0)
            Switch.push_back(t);
    }
    std::printf("%s_switch_cruise: %.1f ms\n", Name.c_str(), Median(Switch));

    // Every layer: the other cruise's stations stand in for the duplicates.
    Env.PickCruise(Cruises[0]);
    Env.PrepareDuplicates("select ID_Cast from Cast_Titles where ID_Cruise=" + std::to_string(Cruises[1]));
    F.SpeedButton2->setEnabled(true);
    F.SpeedButton2->click();
    F.QuadrSelBtn->setChecked(true);
    F.AxesBtn->setChecked(true);
    F.QCContBtn->setChecked(true);
    std::vector<double> Paint;
    for (int i = 0; i <= Runs; ++i) {
        const double t = Ms([&] { F.RedrawMap(); });
        if (i > 0)
            Paint.push_back(t);
    }
    std::printf("%s_map_repaint_all_layers: %.1f ms (%zu stations, %zu duplicates)\n", Name.c_str(), Median(Paint),
                CruiseStationPos.size(), DuplStationPos.size());
    Env.CloseEditor();
    Env.Teardown();
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    setenv("ODBCSYSINI", EDITOR_BENCH_PROGRAM_DIR, 0);
    setenv("ODBCINSTINI", "odbcinst.ini", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TApplication App(argc, argv);
    SetScreenSize(1280, 1024);
    RegisterLibraryServices();
    TScriptedDialogs Quiet; // no box may wait for an answer
    TTimer::SetManualClock(true);

    const fs::path Program = EDITOR_BENCH_PROGRAM_DIR;
    const fs::path Demo = Program / "demo" / "marlin_demo.mdb";
    const fs::path Large = Program / "bench" / "marlin_large.mdb";
    QTemporaryDir Copies;
    const std::string Copy = Copies.path().toStdString() + "/station.mdb";
    try {
        fs::copy_file(Demo, Copy);
        std::printf("database demo: %s (a private copy)\n", Demo.string().c_str());
        Measure("demo", Program.string(), Copy);
        if (fs::exists(Large)) {
            std::printf("database large: %s\n", Large.string().c_str());
            Measure("large", Program.string(), Large.string());
        } else {
            std::printf("database large: not built (cmake --build <build> --target marlin_large_db)\n");
        }
    } catch (const std::exception &E) {
        std::fprintf(stderr, "editor_bench: %s\n", E.what());
        return 1;
    }
    if (!Quiet.Messages.empty())
        std::printf("messages shown: %zu, first: %s\n", Quiet.Messages.size(), Quiet.Messages[0].Text.c_str());
    return 0;
}
