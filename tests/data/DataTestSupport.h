// Shared by the data tests: where the installation data lives, scratch
// folders, and reading a whole SQLite file into text for comparisons.
#pragma once

#include <filesystem>
#include <string>

namespace datatest {

// The installation data as the build staged it (<build>/program).
std::filesystem::path ProgramDir();
// data/ of the source tree, which the generator reads.
std::filesystem::path SourceDataDir();

// A folder of its own for one test, removed with the object.
class TScratchDir {
public:
  TScratchDir();
  ~TScratchDir();
  TScratchDir(const TScratchDir &) = delete;
  TScratchDir &operator=(const TScratchDir &) = delete;
  const std::filesystem::path &Path() const { return FPath; }

private:
  std::filesystem::path FPath;
};

// Every row of every table, in row order, as text.
std::string DumpDatabase(const std::string &APath);

// The whole text of a file.
std::string ReadFile(const std::filesystem::path &APath);

} // namespace datatest
