// Helpers of the data tests.
#include "tests/support/TestEnvironment.h"
#include "tests/data/DataTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace datatest {

namespace fs = std::filesystem;

fs::path ProgramDir() { return fs::path(testsupport::ProgramDir()); }

fs::path SourceDataDir() { return fs::path(testsupport::SourceDir()) / "data"; }

TScratchDir::TScratchDir()
{
  std::random_device rd;
  FPath = fs::temp_directory_path() / ("marlin-data-" + std::to_string(rd()) + std::to_string(rd()));
  fs::create_directories(FPath);
}

TScratchDir::~TScratchDir()
{
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

std::string DumpDatabase(const std::string &APath)
{
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(APath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    ADD_FAILURE() << "cannot open " << APath;
    return {};
  }
  std::ostringstream out;
  auto each = [&](const std::string &ASql, auto AOnRow) {
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, ASql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db) << " in " << ASql;
      return;
    }
    while (sqlite3_step(st) == SQLITE_ROW)
      AOnRow(st);
    sqlite3_finalize(st);
  };
  std::vector<std::string> tables;
  // Automatic indexes have no SQL text.
  each("SELECT name, coalesce(sql, '') FROM sqlite_master ORDER BY name", [&](sqlite3_stmt *st) {
    const std::string name = reinterpret_cast<const char *>(sqlite3_column_text(st, 0));
    const std::string sql = reinterpret_cast<const char *>(sqlite3_column_text(st, 1));
    out << name << ": " << sql << "\n";
    if (sql.rfind("CREATE TABLE", 0) == 0)
      tables.push_back(name);
  });
  for (const std::string &t : tables)
    each("SELECT * FROM \"" + t + "\" ORDER BY rowid", [&](sqlite3_stmt *st) {
      out << t;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const unsigned char *v = sqlite3_column_text(st, c);
        out << '|' << (v ? reinterpret_cast<const char *>(v) : "NULL");
      }
      out << '\n';
    });
  sqlite3_close(db);
  return out.str();
}

std::string ReadFile(const fs::path &APath)
{
  std::ifstream in(APath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

} // namespace datatest
