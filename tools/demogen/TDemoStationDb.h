// Writing a demo station database into an SQLite file laid out as the
// station-database driver stores Jet tables (one table per Jet table, Jet
// type words as column types, text without regard to case, dates as days
// since 1899-12-30, WAL journal), reading one back, and the fault manifest
// written beside it.
#pragma once

#include "tools/demogen/TDemoModel.h"

#include <string>
#include <vector>

namespace demogen {

class TDemoStationDb {
public:
  // Writes the database to APath, replacing any file there. The file is
  // made under a scratch name and renamed when complete, so a failed run
  // never leaves half a database under the real name.
  static void Write(const TDemoDatabase &ADb, const std::string &APath);
  // Reads every table the generator writes (cruise seas are not stored).
  static TDemoDatabase Read(const std::string &APath);

  // "<folder>/<name without .mdb>-faults.txt".
  static std::string ManifestPath(const std::string &ADbPath);
  static void WriteManifest(const std::vector<TDemoFinding> &AFindings, const std::string &APath,
                            const std::string &AHeading);
  static std::vector<TDemoFinding> ReadManifest(const std::string &APath);
};

} // namespace demogen
