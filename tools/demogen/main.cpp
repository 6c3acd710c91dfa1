// marlin_demogen: writes a demo station database and its fault manifest.
//
//   marlin_demogen --data DIR --out FILE.mdb [--size tiny|demo|large] [--seed N]
//
// DIR is the installation data folder (data/ of the source tree or the
// program folder); the manifest goes beside FILE as FILE-faults.txt.
#include "tools/demogen/TDemoGenerator.h"
#include "tools/demogen/TDemoStationDb.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

int main(int argc, char **argv)
{
  std::string data, out, sizeText = "demo";
  unsigned long long seed = 1991;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--data"))
      data = argv[i + 1];
    else if (!std::strcmp(argv[i], "--out"))
      out = argv[i + 1];
    else if (!std::strcmp(argv[i], "--size"))
      sizeText = argv[i + 1];
    else if (!std::strcmp(argv[i], "--seed"))
      seed = std::strtoull(argv[i + 1], nullptr, 10);
  }
  demogen::TDemoSize size;
  if (data.empty() || out.empty() || !demogen::DemoSizeFromText(sizeText, size)) {
    std::fprintf(stderr, "usage: %s --data DIR --out FILE.mdb [--size tiny|demo|large] [--seed N]\n", argv[0]);
    return 2;
  }
  try {
    const auto t0 = std::chrono::steady_clock::now();
    const demogen::TDemoInputs inputs = demogen::TDemoInputs::Load(data);
    std::vector<demogen::TDemoFinding> manifest;
    const demogen::TDemoDatabase db = demogen::TDemoGenerator(inputs, size, seed).Generate(manifest);
    demogen::TDemoStationDb::Write(db, out);
    const std::string manifestPath = demogen::TDemoStationDb::ManifestPath(out);
    demogen::TDemoStationDb::WriteManifest(
        manifest, manifestPath,
        "Faults in " + out.substr(out.find_last_of('/') + 1) + " (size " + sizeText + ", seed " + std::to_string(seed) + ")");
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%s: %zu cruises, %zu stations, %zu faults listed in %s (%.1f s)\n", out.c_str(), db.Cruises.size(),
                db.StationCount(), manifest.size(), manifestPath.c_str(), secs);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "marlin_demogen: %s\n", e.what());
    return 1;
  }
  return 0;
}
