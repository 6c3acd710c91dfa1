// What the engine keeps between opens (a table's stored name and columns,
// a query's prepared statement, a result's row storage) never shows a
// table as it was: every change of a table between two opens, made here or
// by another connection, is seen by the next open.
#include "tests/localdb/LocalDbFixture.h"

#include <sqlite3.h>

#include "platform/localdb/LocalSql.h"
#include "tests/support/LocalRows.h"

namespace {

class LocalSchemaChange : public LocalDbFixture {
protected:
    // One query component reopened with each text, as the write-back
    // reopens its level query per cast.
    std::vector<std::string> Reopen(const std::string &ASql)
    {
        Q.Close();
        Q.SQL().Clear();
        Q.SetDatabaseName(Folder);
        Q.SQL().Add(ASql);
        Q.Open();
        return testsupport::DataSetRows(Q);
    }
    // The message of an open that fails.
    std::string OpenError(const std::string &ASql)
    {
        try {
            Reopen(ASql);
        } catch (const std::exception &E) {
            return E.what();
        }
        return "";
    }
    // DDL or rows from a connection of another program on the same file.
    void Other(const std::string &ASql)
    {
        sqlite3 *Db = nullptr;
        ASSERT_EQ(sqlite3_open_v2((Folder + "/worktables.sqlite3").c_str(), &Db, SQLITE_OPEN_READWRITE, nullptr),
                  SQLITE_OK);
        sqlite3_busy_timeout(Db, 5000);
        char *Err = nullptr;
        const int Rc = sqlite3_exec(Db, ASql.c_str(), nullptr, nullptr, &Err);
        EXPECT_EQ(Rc, SQLITE_OK) << (Err ? Err : "");
        sqlite3_free(Err);
        sqlite3_close(Db);
    }
    void MakeFlags()
    {
        FromTemplate("b-PTS_DataFlags", "PTS_DAtaFlags", "ID_Cast;PRES");
        Fill("b-PTS_DataFlags", {{1, 10.0, 1, 2, 3}, {1, 20.0, 4, 5, 6}, {2, 10.0, 7, 8, 9}});
    }
    TQuery Q;
};

} // namespace

TEST_F(LocalSchemaChange, ReopenPerKeyReadsEachKeysRowsAndNothingOfTheLast)
{
    MakeFlags();
    EXPECT_EQ(Reopen("Select * from \"b-PTS_DataFlags\" Where ID_Cast=1"),
              Lines({"1|10|1|2|3", "1|20|4|5|6"}));
    EXPECT_EQ(Reopen("Select * from \"b-PTS_DataFlags\" Where ID_Cast=2"), Lines({"2|10|7|8|9"}));
    EXPECT_EQ(Q.RecordCount(), 1);
    EXPECT_TRUE(Reopen("Select * from \"b-PTS_DataFlags\" Where ID_Cast=3").empty());
    EXPECT_TRUE(Q.Eof() && Q.Bof());
    // A value of the last result in the same place is not left behind.
    Exec("Update \"b-PTS_DataFlags\" set FTEMP = NULL where ID_Cast = 1 and PRES = 20");
    EXPECT_EQ(Reopen("Select * from \"b-PTS_DataFlags\" Where ID_Cast=1"), Lines({"1|10|1|2|3", "1|20|4||6"}));
    Q.Last();
    EXPECT_TRUE(Q.FieldByName("FTEMP")->IsNull());
    // A key compared otherwise than by a plain number still selects.
    EXPECT_EQ(Reopen("Select * from \"b-PTS_DataFlags\" Where ID_Cast>=2 and PRES < 15.5"), Lines({"2|10|7|8|9"}));
}

TEST_F(LocalSchemaChange, TableDroppedRecreatedOrAlteredHereIsSeenByTheNextOpen)
{
    MakeFlags();
    const std::string Sql = "Select * from \"b-PTS_DataFlags\" Where ID_Cast=1";
    ASSERT_EQ(Reopen(Sql).size(), 2u);
    Q.Close();
    TTable T;
    T.SetDatabaseName(Folder);
    T.SetTableName("b-PTS_DataFlags");
    T.DeleteTable();
    const std::string Missing = OpenError(Sql);
    // The failure reads as it does for an engine that never saw the table.
    TLocalDatabase::CloseAll();
    EXPECT_EQ(OpenError(Sql), Missing);
    EXPECT_NE(Missing.find("Table does not exist."), std::string::npos) << Missing;

    // Recreated under another spelling, with other columns and rows.
    Exec("Create table \"B-pts_dataflags\" (ID_Cast INTEGER, PRES DOUBLE, Extra VARCHAR(8))");
    Exec("Insert into \"B-pts_dataflags\" values (1, 5, 'x')");
    EXPECT_EQ(Reopen(Sql), Lines({"1|5|x"}));
    EXPECT_EQ(Q.FieldCount(), 3);
    EXPECT_EQ(Q.ExecutedSql(), "Select * from \"B-pts_dataflags\" Where ID_Cast=1");

    // A double-quoted word that was a text becomes the column added since.
    const std::string ByWord = "Select PRES from \"b-PTS_DataFlags\" Where Extra = \"Note\"";
    EXPECT_TRUE(Reopen(ByWord).empty());
    Exec("Alter table \"B-pts_dataflags\" add column Note VARCHAR(8)");
    Exec("Update \"B-pts_dataflags\" set Note = 'x'");
    EXPECT_EQ(Reopen(ByWord), Lines({"5"}));
    EXPECT_EQ(Reopen(Sql), Lines({"1|5|x|x"}));
}

TEST_F(LocalSchemaChange, AnotherConnectionsChangesAreSeenByQueriesAndTables)
{
    MakeFlags();
    const std::string Sql = "Select * from \"b-PTS_DataFlags\" Where ID_Cast=2";
    ASSERT_EQ(Reopen(Sql), Lines({"2|10|7|8|9"}));
    TTable T;
    T.SetDatabaseName(Folder);
    T.SetTableName("b-pts_dataflags.db");
    T.Open();
    ASSERT_EQ(T.FieldCount(), 5);
    T.Close();

    Other("ALTER TABLE \"b-PTS_DataFlags\" ADD COLUMN FOXY SMALLINT DEFAULT 3");
    EXPECT_EQ(Reopen(Sql), Lines({"2|10|7|8|9|3"}));
    T.Open();
    EXPECT_EQ(T.FieldCount(), 6);
    T.Close();

    Other("DROP TABLE \"b-PTS_DataFlags\"");
    EXPECT_NE(OpenError(Sql).find("Table does not exist."), std::string::npos);
    EXPECT_FALSE(T.Exists());
    EXPECT_THROW(T.Open(), ELocalDbError);

    Other("CREATE TABLE \"B-PTS_DATAFLAGS\" (ID_Cast INTEGER, Other TEXT); INSERT INTO \"B-PTS_DATAFLAGS\" VALUES (2, 'y')");
    EXPECT_EQ(Reopen(Sql), Lines({"2|y"}));
    EXPECT_EQ(Q.ExecutedSql(), "Select * from \"B-PTS_DATAFLAGS\" Where ID_Cast=2");
    EXPECT_TRUE(T.Exists());
    T.Open();
    EXPECT_EQ(T.FieldCount(), 2);
    EXPECT_EQ(TLocalDatabase::ForFolder(Folder).Indexes("b-PTS_DataFlags").size(), 0u);
}

TEST_F(LocalSchemaChange, ARolledBackTableIsForgottenEvenWhenOtherDdlBringsTheCookieBack)
{
    // The rolled-back CREATE and the later one give the schema the same
    // count of changes: only forgetting on the rollback tells them apart.
    TLocalDatabase &Db = TLocalDatabase::ForFolder(Folder);
    Db.BeginTransaction();
    Exec("Create table Gone (A INTEGER)");
    EXPECT_TRUE(Db.TableExists("gone"));
    Db.Rollback();
    Db.Exec("CREATE TABLE Kept (A INTEGER)");
    EXPECT_FALSE(Db.TableExists("gone"));
    EXPECT_NE(OpenError("Select * from Gone Where A=1").find("Table does not exist."), std::string::npos);
    EXPECT_TRUE(Reopen("Select * from kept Where A=1").empty());
}

TEST(LocalSqlShare, OnlyWholeNumbersComparedAtTheTopOfTheWhereClauseBecomeParameters)
{
    std::vector<int64_t> Keys;
    EXPECT_EQ(LocalSqlShareable("Select * from \"T\" Where ID_Cast=4711", Keys), "Select * from \"T\" Where ID_Cast=?");
    EXPECT_EQ(Keys, std::vector<int64_t>({4711}));
    EXPECT_EQ(LocalSqlShareable("select a, 5 from T where a >= 007 and b <> 2 order by 2 limit 3", Keys),
              "select a, 5 from T where a >= ? and b <> ? order by 2 limit 3");
    EXPECT_EQ(Keys, std::vector<int64_t>({7, 2}));
    // Left as written: numbers that are not plain whole numbers or are not
    // compared there, texts with parameters of their own, several
    // statements, and statements other than a SELECT.
    for (const std::string S :
         {"select * from T where a = -5", "select * from T where a = 1.5", "select * from T where a = 1e3",
          "select * from T where a between 1 and 3", "select * from T where a in (select b from U where c = 1)",
          "select * from T where a = 1234567890123456789", "select * from T where a = ? and b = 1",
          "select * from T where a = :k and b = 1", "select * from T where a = 1; select 2",
          "delete from T where a = 1", "select a = 1 from T", "select * from T group by a having count(*) = 2"}) {
        EXPECT_EQ(LocalSqlShareable(S, Keys), "") << S;
        EXPECT_TRUE(Keys.empty()) << S;
    }
}

TEST_F(LocalSchemaChange, ASharedStatementComparesAsTheLiteralDoes)
{
    // A whole number against a text column is compared as text, a column of
    // no type compares by value: the bound key behaves as the literal.
    Exec("Create table Mixed (K INTEGER, T VARCHAR(8), N)");
    Exec("Insert into Mixed values (1, '5', 5)");
    Exec("Insert into Mixed values (2, '05', '5')");
    Exec("Insert into Mixed values (3, '7', 5.0)");
    EXPECT_EQ(Reopen("Select K from Mixed where T = 5"), Lines({"1"}));
    EXPECT_EQ(Reopen("Select K from Mixed where N = 5 order by K"), Lines({"1", "3"}));
    EXPECT_EQ(Reopen("Select K from Mixed where T = 7"), Lines({"3"}));
    EXPECT_EQ(Reopen("Select K from Mixed where T < 6 order by K"), Lines({"1", "2"}));
    EXPECT_EQ(Q.ExecutedSql(), "Select K from \"Mixed\" where T < 6 order by K");
}
