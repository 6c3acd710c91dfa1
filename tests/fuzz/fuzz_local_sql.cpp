// The local SQL tokenizer and rewriter over any text, against a work folder
// that holds a few tables: the tokens give the text back, the rewrite ends
// with a statement or the engine's error.
//
// Folder separators are taken out of the input: a table name with a folder
// makes the engine create that folder's database, and a fuzz run must not
// write outside its scratch folder.
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/LocalSql.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

#include <cstdlib>
#include <filesystem>

namespace {

TLocalDatabase &WorkFolder()
{
    static TLocalDatabase *Db = [] {
        const std::string Folder = fuzz::ScratchFolder() + "work";
        std::filesystem::create_directories(Folder);
        TLocalDatabase &D = TLocalDatabase::ForFolder(Folder);
        D.Exec("CREATE TABLE \"Clim\" (Region TEXT, \"Month\" INTEGER, PRES REAL, param TEXT)");
        D.Exec("CREATE TABLE \"black2007-PTS_DataFlags\" (ID_Cast INTEGER, PRES REAL, FTEMP INTEGER)");
        D.Exec("CREATE TABLE \"CruID\" (ID_Cruise INTEGER PRIMARY KEY)");
        return &D;
    }();
    return *Db;
}

} // namespace

int FuzzLocalSql(const uint8_t *AData, size_t ASize)
{
    std::string Sql(fuzz::Text(AData, ASize));
    for (char &C : Sql)
        if (C == '/' || C == '\\')
            C = '_';
    std::string Back;
    for (const TLocalSqlToken &T : LocalSqlTokenize(Sql))
        Back += T.Text;
    if (Back != Sql)
        std::abort(); // the tokens must give the statement back
    (void)LocalSqlVerb(Sql);
    try {
        (void)LocalSqlRewrite(Sql, WorkFolder());
    } catch (const rtl::Exception &) {
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzLocalSql)
