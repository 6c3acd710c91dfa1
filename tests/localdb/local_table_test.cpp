// Local tables: names, creation, key order, editing, key search and batch
// moves, and a batch move killed half-way.
#include "tests/localdb/LocalDbFixture.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/localdb/TBatchMove.h"
#include "platform/localdb/TSession.h"
#include "tests/support/ArrayDataSet.h"

using rtl::Variant;

namespace {

class LocalTables : public LocalDbFixture {
protected:
    std::unique_ptr<TTable> Open(const std::string &AName)
    {
        auto T = std::make_unique<TTable>();
        T->SetDatabaseName(Folder);
        T->SetTableName(AName);
        T->Open();
        return T;
    }
    std::string Keys(TTable &T)
    {
        std::string R;
        for (T.First(); !T.Eof(); T.Next())
            R += T.Fields()[0]->AsString() + "/" + T.Fields()[1]->AsString() + ",";
        return R;
    }
};

} // namespace

TEST_F(LocalTables, InstallationCreatesTemplatesOnceAndKeepsChanges)
{
    for (const char *N : {"QCCruise", "Cast_TitlesFlags", "Cast_TitlesOldFlags", "undocast", "Undoparam",
                          "PTS_DAtaFlags", "PTS_DataOldFlags", "ChemFlags", "StructTsFlags",
                          "StructChemFlags", "Clim", "param", "TmpCru", "TmpCastFlags", "TmpCastOldFlags",
                          "TmpFlags", "TmpData", "TmpCast", "CruID", "Cruises", "BS_Range"})
        EXPECT_TRUE(LocalTableFileExists(Folder + "/" + N + ".db")) << N;
    Exec("Delete from param where Param = 'DENS'");
    TLocalDatabase::CloseAll(); // a second start
    EXPECT_EQ(Rows("Select count(*) from param"), (Lines{"4"}));
    auto T = Open("TmpCast");
    EXPECT_EQ(T->FieldByName("Velosity")->DataType(), rtl::ftFloat);
    EXPECT_EQ(T->FieldByName("Date_Cast")->DataType(), rtl::ftDate);
}

TEST_F(LocalTables, NamesMatchWithoutCaseExtensionOrWithAFolder)
{
    FromTemplate("black2007-PTS_DataFlags", "PTS_DAtaFlags", "ID_Cast;PRES");
    Fill("black2007-PTS_DataFlags", {{4711, 10.0, 1, 1, 1}});
    for (const char *N : {"black2007-PTS_DataFlags", "BLACK2007-pts_dataflags.db", "black2007-PTS_DataFlags.DB"}) {
        auto T = Open(N);
        EXPECT_EQ(T->RecordCount(), 1) << N;
    }
    EXPECT_TRUE(LocalTableFileExists(Folder + "/black2007-PTS_Dataflags.db"));
    EXPECT_FALSE(LocalTableFileExists(Folder + "/black2007-NO3flags.db"));
    EXPECT_FALSE(LocalTableFileExists("/nonexistent/folder/x.db"));
    // Asking about a folder without work tables leaves no database there.
    char Plain[] = "/tmp/marlin_plain_XXXXXX";
    std::string PlainDir = mkdtemp(Plain);
    EXPECT_FALSE(LocalTableFileExists(PlainDir + "/x.db"));
    EXPECT_TRUE(std::filesystem::is_empty(PlainDir));
    std::filesystem::remove_all(PlainDir);
    EXPECT_EQ(Rows("Select count(*) from \"black2007-pts_dataflags.db\""), (Lines{"1"}));
    // A table of another folder, named with its path.
    char Tmpl[] = "/tmp/marlin_other_XXXXXX";
    std::string Other = mkdtemp(Tmpl);
    {
        TTable O;
        O.SetDatabaseName(Other);
        O.SetTableName("Extra");
        O.FieldDefs().Add("Param", rtl::ftString, 10);
        O.CreateTable();
        O.Open();
        O.Append();
        O.Fields()[0]->SetAsString("XYZ");
        O.Post();
    }
    EXPECT_EQ(Rows("Select * from \"" + Other + "/Extra.db\" where Param = \"XYZ\""), (Lines{"XYZ"}));
    auto P = Open(Other + "/extra.db");
    EXPECT_EQ(P->FieldByName("Param")->AsString(), "XYZ");
    P->Close();
    TLocalDatabase::CloseAll();
    std::filesystem::remove_all(Other);
}

TEST_F(LocalTables, CreateFromAMainDatabaseFieldList)
{
    TTable T;
    T.SetDatabaseName(Folder);
    T.SetTableName("Cruises");
    T.FieldDefs().Clear();
    T.FieldDefs().Add("ID_Cruise", rtl::ftInteger, 0, true);
    T.FieldDefs().Add("Cruise_Name", rtl::ftString, 50);
    T.FieldDefs().Add("Started", rtl::ftDateTime);
    T.FieldDefs().Add("Ok", rtl::ftBoolean);
    T.FieldDefs().Add("Depth", rtl::ftFloat);
    T.FieldDefs().Add("Flag", rtl::ftSmallint);
    T.FieldDefs().Add("Notes", rtl::ftMemo);
    T.CreateTable(); // replaces the installed Cruises
    T.Open();
    ASSERT_EQ(T.FieldCount(), 7);
    EXPECT_EQ(T.FieldDefs().Items(1)->Size(), 50);
    EXPECT_TRUE(T.FieldDefs().Items(0)->Required());
    EXPECT_EQ(T.Fields()[2]->DataType(), rtl::ftDateTime);
    T.Append();
    T.Fields()[0]->SetAsInteger(5);
    T.Fields()[1]->SetAsString("Knipovich");
    T.Fields()[2]->SetAsDateTime(-1.25);
    T.Fields()[3]->SetAsBoolean(true);
    T.Fields()[6]->SetAsString(std::string(3000, 'n'));
    T.Post();
    T.Close();
    T.Open();
    EXPECT_EQ(T.Fields()[6]->AsString(), std::string(3000, 'n'));
    EXPECT_FALSE(T.Fields()[6]->IsNull());
    EXPECT_DOUBLE_EQ(T.Fields()[2]->AsDateTime(), -1.25);
    EXPECT_TRUE(T.Fields()[3]->AsBoolean());
    EXPECT_TRUE(T.Fields()[4]->IsNull());
    T.Append();
    T.Fields()[1]->SetAsString("no key");
    EXPECT_THROW(T.Post(), EDatabaseError); // required field
    T.Cancel();
}

TEST_F(LocalTables, KeyedTableKeepsKeyOrderAndRefusesDuplicates)
{
    FromTemplate("x-Cast_TitlesFlags", "Cast_TitlesFlags", "ID_Cruise;ID_Cast");
    auto T = Open("x-Cast_TitlesFlags");
    for (auto [Cru, Cast] : {std::pair{18, 5}, {17, 9}, {17, 2}, {18, 1}}) {
        T->Append();
        T->FieldByName("ID_Cruise")->SetAsInteger(Cru);
        T->FieldByName("ID_Cast")->SetAsInteger(Cast);
        T->Post();
        // The posted record is current at its key position.
        EXPECT_EQ(T->FieldByName("ID_Cast")->AsInteger(), Cast);
    }
    EXPECT_EQ(Keys(*T), "17/2,17/9,18/1,18/5,");
    T->Last();
    EXPECT_EQ(T->RecNo(), 4);
    T->Append();
    T->FieldByName("ID_Cruise")->SetAsInteger(17);
    T->FieldByName("ID_Cast")->SetAsInteger(9);
    try {
        T->Post();
        FAIL();
    } catch (EDatabaseError &E) {
        EXPECT_EQ(E.Message(), "Key violation.");
    }
    T->Cancel();
    EXPECT_EQ(T->RecordCount(), 4);
    // Locate on the two key fields, key search, edit of a key, delete.
    ASSERT_TRUE(T->Locate("ID_Cruise;ID_Cast", rtl::VarArrayOf({18, 1})));
    EXPECT_EQ(T->RecNo(), 3);
    EXPECT_FALSE(T->Locate("ID_Cruise;ID_Cast", rtl::VarArrayOf({19, 1})));
    EXPECT_EQ(T->RecNo(), 3);
    ASSERT_TRUE(T->FindKey({17, 9}));
    EXPECT_EQ(T->RecNo(), 2);
    T->Edit();
    T->FieldByName("ID_Cruise")->SetAsInteger(19);
    T->Post();
    EXPECT_EQ(T->RecNo(), 4);
    EXPECT_EQ(Keys(*T), "17/2,18/1,18/5,19/9,");
    ASSERT_TRUE(T->Locate("ID_Cast", 1));
    T->Delete();
    EXPECT_EQ(T->FieldByName("ID_Cast")->AsInteger(), 5);
    EXPECT_EQ(Keys(*T), "17/2,18/5,19/9,");
    T->EmptyTable();
    EXPECT_EQ(T->RecordCount(), 0);
    EXPECT_TRUE(T->Eof());
}

TEST_F(LocalTables, UndoRowsAreFoundByValueLists)
{
    FromTemplate("x-Undoparam", "Undoparam");
    Fill("x-Undoparam", {{4711, 10.25, "TEMP", "8.5", true}, {4711, 10.25, "FTEMP", "1", true},
                         {4711, 10.25, "TEMP", "8.7", false}});
    auto T = Open("x-UndoParam.db");
    EXPECT_TRUE(T->Locate("ID_Cast;PRES;FldName", rtl::VarArrayOf({4711, 10.25, "TEMP"})));
    EXPECT_EQ(T->FieldByName("FldValue")->AsString(), "8.5");
    EXPECT_TRUE(T->Locate("ID_Cast;PRES;FldName;FldValue", rtl::VarArrayOf({4711, 10.25, "TEMP", "8.7"})));
    EXPECT_EQ(T->RecNo(), 3);
    EXPECT_FALSE(T->Locate("ID_Cast;PRES;FldName", rtl::VarArrayOf({4711, 10.2, "TEMP"})));
    EXPECT_TRUE(T->Locate("FldName", "ftemp", loCaseInsensitive));
    EXPECT_EQ(T->RecNo(), 2);
}

TEST_F(LocalTables, RequiredFieldsWithDefaultsFillThemselves)
{
    // As the cruise loop makes TmpCastFlags: the old flags' definitions, flags
    // required with the default 0.
    auto Old = Open("TmpCastOldFlags");
    TTable T;
    T.SetDatabaseName(Folder);
    T.SetTableName("TmpCastFlags");
    T.FieldDefs().Assign(Old->FieldDefs());
    for (int I = 2; I < T.FieldDefs().Count(); ++I) {
        T.FieldDefs().Items(I)->SetRequired(true);
        T.FieldDefs().Items(I)->SetDefaultExpression("0");
    }
    T.CreateTable();
    T.Open();
    T.Append();
    T.FieldByName("ID_Cruise")->SetAsInteger(17);
    T.FieldByName("ID_Cast")->SetAsInteger(4711);
    T.FieldByName("FLat")->SetAsInteger(3);
    T.Post();
    T.Refresh();
    EXPECT_EQ(T.FieldByName("FLon")->AsString(), "0");
    EXPECT_EQ(T.FieldByName("FLat")->AsInteger(), 3);
    EXPECT_EQ(T.FieldByName("FD")->AsString(), "0");
}

TEST_F(LocalTables, BatchMoveModes)
{
    FromTemplate("x-PTS_DataFlags", "PTS_DAtaFlags", "ID_Cast;PRES");
    Fill("x-PTS_DataFlags", {{4711, 10.0, 1, 1, 1}, {4711, 20.0, 1, 1, 1}, {4800, 5.0, 0, 0, 0}});
    // TmpFlags of a rerun: one level changed, one new.
    Fill("TmpFlags", {{4711, 20.0, 3, 2, 1}, {4711, 30.0, 1, 4, 1}});
    auto Dest = Open("x-PTS_DataFlags");
    auto Src = Open("TmpFlags");
    EXPECT_EQ(Dest->BatchMove(Src.get(), batAppendUpdate), 2);
    EXPECT_EQ(Rows("Select * from \"x-PTS_DataFlags\" order by ID_Cast, PRES"),
              (Lines{"4711|10|1|1|1", "4711|20|3|2|1", "4711|30|1|4|1", "4800|5|0|0|0"}));
    EXPECT_EQ(Dest->RecordCount(), 4); // the open destination sees the new rows

    // The same through a query (record by record).
    Exec("Delete from TmpFlags");
    Fill("TmpFlags", {{4800, 5.0, 9, 9, 9}, {4900, 1.0, 1, 1, 1}});
    TQuery Q;
    Q.SetDatabaseName(Folder);
    Q.SQL().Add("Select * from TmpFlags");
    Q.Open();
    TBatchMove M;
    M.Source = &Q;
    M.Destination = Dest.get();
    M.Mode = batUpdate;
    M.Execute();
    EXPECT_EQ(M.ChangedCount(), 1); // 4900 is not there to update
    EXPECT_EQ(Rows("Select FPRES from \"x-PTS_DataFlags\" where ID_Cast = 4800"), (Lines{"9"}));
    EXPECT_EQ(Count("x-PTS_DataFlags"), 4);

    // Append with a key violation: nothing of the move stays.
    M.Mode = batAppend;
    EXPECT_THROW(M.Execute(), EDatabaseError);
    EXPECT_EQ(Count("x-PTS_DataFlags"), 4);
    M.AbortOnKeyViol = false;
    M.Execute();
    EXPECT_EQ(M.MovedCount(), 1);
    EXPECT_EQ(M.KeyViolCount(), 1);
    EXPECT_EQ(Count("x-PTS_DataFlags"), 5);

    M.Mode = batDelete;
    M.Execute();
    EXPECT_EQ(Count("x-PTS_DataFlags"), 3);

    // Copy: the destination takes the source's structure.
    TTable Copy;
    Copy.SetDatabaseName(Folder);
    Copy.SetTableName("TmpCastFlags");
    Copy.BatchMove(&Q, batCopy);
    EXPECT_EQ(Rows("Select * from TmpCastFlags"), (Lines{"4800|5|9|9|9", "4900|1|1|1|1"}));

    // Update modes need a primary index on the destination.
    auto NoKey = Open("TmpCastOldFlags");
    EXPECT_THROW(NoKey->BatchMove(Src.get(), batAppendUpdate), EDatabaseError);
}

TEST_F(LocalTables, KilledBatchMoveLeavesTheTableAsBefore)
{
    FromTemplate("x-PTS_DataFlags", "PTS_DAtaFlags", "ID_Cast;PRES");
    Fill("x-PTS_DataFlags", {{1, 1.0, 1, 1, 1}});
    // No connection may cross the fork.
    TLocalDatabase::CloseAll();
    int Pipe[2];
    ASSERT_EQ(pipe(Pipe), 0);
    pid_t Child = fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        close(Pipe[0]);
        TArrayDataSet Src({{"ID_Cast", rtl::ftInteger, 0}, {"PRES", rtl::ftFloat, 0},
                           {"FPRES", rtl::ftSmallint, 0}, {"FTEMP", rtl::ftSmallint, 0},
                           {"FPSAL", rtl::ftSmallint, 0}});
        for (int I = 0; I < 100000; ++I)
            Src.AddRow({100 + I / 100, double(I % 100), 1, 2, 3});
        Src.AfterScroll = [&](TDataSet *D) {
            // Half-way: tell the parent, then wait to be killed.
            if (D->RecNo() == 50000) {
                char C = 'x';
                if (write(Pipe[1], &C, 1) != 1)
                    _exit(3);
                for (;;)
                    pause();
            }
        };
        Src.Open();
        TTable Dest;
        Dest.SetDatabaseName(Folder);
        Dest.SetTableName("x-PTS_DataFlags");
        Dest.BatchMove(&Src, batAppendUpdate);
        _exit(2); // never reached: the parent kills first
    }
    close(Pipe[1]);
    // Half-way within a minute, or the child is stuck: it goes either way.
    pollfd P{Pipe[0], POLLIN, 0};
    bool Signalled = poll(&P, 1, 60000) == 1;
    char C = 0;
    Signalled = Signalled && read(Pipe[0], &C, 1) == 1;
    close(Pipe[0]);
    kill(Child, SIGKILL);
    int Status = 0;
    waitpid(Child, &Status, 0);
    ASSERT_TRUE(Signalled);
    ASSERT_TRUE(WIFSIGNALED(Status));
    EXPECT_EQ(Rows("PRAGMA integrity_check"), (Lines{"ok"}));
    EXPECT_EQ(Count("x-PTS_DataFlags"), 1);
    // And the engine takes the next move as usual.
    TArrayDataSet Src({{"ID_Cast", rtl::ftInteger, 0}, {"PRES", rtl::ftFloat, 0}, {"FPRES", rtl::ftSmallint, 0},
                       {"FTEMP", rtl::ftSmallint, 0}, {"FPSAL", rtl::ftSmallint, 0}});
    Src.AddRow({1, 1.0, 4, 4, 4});
    Src.AddRow({2, 1.0, 1, 1, 1});
    Src.Open();
    TTable Dest;
    Dest.SetDatabaseName(Folder);
    Dest.SetTableName("x-PTS_DataFlags");
    EXPECT_EQ(Dest.BatchMove(&Src, batAppendUpdate), 2);
    EXPECT_EQ(Rows("Select * from \"x-PTS_DataFlags\""), (Lines{"1|1|4|4|4", "2|1|1|1|1"}));
}

TEST_F(LocalTables, SessionPrivateFolderIsEmptiedAtClose)
{
    std::string Private = Folder + "/temp";
    Session.SetPrivateDir(Private);
    ASSERT_TRUE(std::filesystem::is_directory(Private));
    { std::ofstream(Private + "/scratch.tmp") << "x"; }
    std::vector<std::string> Names;
    Session.GetTableNames(Folder, Names);
    EXPECT_NE(std::find(Names.begin(), Names.end(), "QCCruise"), Names.end());
    Session.Close();
    EXPECT_TRUE(std::filesystem::is_empty(Private));
    Session.SetPrivateDir("");
}

TEST_F(LocalTables, DeletingWhileWalkingForwardVisitsEveryRecord)
{
    // The cruise-list synchronisation's second pass: delete what the main
    // database lost, and the next record becomes current.
    FromTemplate("x-QCCruise", "QCCruise", "ID_Cruise");
    Fill("x-QCCruise", {{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}, {5, "E"}, {6, "F"}});
    auto T = Open("x-QCCruise");
    std::vector<int> Visited;
    T->First();
    while (!T->Eof()) {
        int Id = T->FieldByName("ID_Cruise")->AsInteger();
        Visited.push_back(Id);
        if (Id % 2 == 1 || Id == 6)
            T->Delete();
        else
            T->Next();
    }
    // Deleting the last record makes the new last one current (not Eof), so
    // the walk sees it once more before it ends.
    EXPECT_EQ(Visited, (std::vector<int>{1, 2, 3, 4, 5, 6, 4}));
    EXPECT_EQ(Rows("Select ID_Cruise from \"x-QCCruise\""), (Lines{"2", "4"}));
    EXPECT_EQ(T->RecordCount(), 2);
}

TEST_F(LocalTables, RowsAppendedInKeyOrderOrEditedInPlaceKeepTheKeyOrder)
{
    FromTemplate("keyed", "PTS_DAtaFlags", "ID_Cast;PRES");
    auto T = Open("keyed");
    auto Add = [&](int Cast, double Pres) {
        T->Append();
        T->FieldByName("ID_Cast")->SetAsInteger(Cast);
        T->FieldByName("PRES")->SetAsFloat(Pres);
        T->Post();
    };
    // Ascending (each new row after the last), then one before all and one
    // between two.
    Add(1, 10);
    Add(1, 20);
    Add(2, 5);
    Add(1, 0);
    Add(1, 15);
    EXPECT_EQ(Keys(*T), "1/0,1/10,1/15,1/20,2/5,");
    // An edit that keeps the key keeps the place; one that changes it moves.
    ASSERT_TRUE(T->FindKey({Variant(1), Variant(15.0)}));
    T->Edit();
    T->FieldByName("FPRES")->SetAsInteger(4);
    T->Post();
    EXPECT_EQ(T->RecNo(), 3);
    T->Edit();
    T->FieldByName("PRES")->SetAsFloat(30);
    T->Post();
    EXPECT_EQ(Keys(*T), "1/0,1/10,1/20,1/30,2/5,");
    auto Again = Open("keyed");
    EXPECT_EQ(Keys(*Again), Keys(*T));
}

// The engine keeps its catalog look-ups and merges prepared; a table made
// again with other columns or keys, here or in another folder, must be
// seen as it now is.
TEST_F(LocalTables, CatalogAndMergesFollowTablesMadeAgain)
{
    TLocalDatabase &Db = TLocalDatabase::ForFolder(Folder);
    FromTemplate("TmpFlags", "PTS_DataFlags", "ID_Cast;PRES");
    FromTemplate("x-PTS_DataFlags", "PTS_DataFlags", "ID_Cast;PRES");
    ASSERT_EQ(Db.Columns("TmpFlags").size(), 5u);
    ASSERT_EQ(Db.Indexes("TmpFlags").at(0).Fields, "ID_Cast;PRES");
    Fill("TmpFlags", {{1, 10.0, 1, 1, 1}});
    auto Dest = Open("x-PTS_DataFlags");
    auto Src = Open("TmpFlags");
    EXPECT_EQ(Dest->BatchMove(Src.get(), batAppendUpdate), 1);
    Src->Close();

    // TmpFlags again, as a chemical parameter's: three columns, no key.
    {
        TTable T;
        T.SetDatabaseName(Folder);
        T.SetTableName("tmpflags.db");
        T.FieldDefs().Add("ID_Cast", rtl::ftInteger);
        T.FieldDefs().Add("PRES", rtl::ftFloat);
        T.FieldDefs().Add("FOXY", rtl::ftSmallint);
        T.CreateTable();
    }
    std::vector<TLocalColumn> Cols = Db.Columns("TmpFlags");
    ASSERT_EQ(Cols.size(), 3u);
    EXPECT_EQ(Cols[2].Name, "FOXY");
    EXPECT_TRUE(Db.Indexes("TmpFlags").empty());
    Db.AddIndex("TmpFlags", "", "PRES;ID_Cast", ixPrimary);
    EXPECT_EQ(Db.Indexes("TmpFlags").at(0).Fields, "PRES;ID_Cast");

    // The same merge text once more, into a flag table made anew.
    FromTemplate("x-PTS_DataFlags", "PTS_DataFlags", "ID_Cast;PRES");
    FromTemplate("TmpFlags", "PTS_DataFlags", "ID_Cast;PRES");
    Fill("TmpFlags", {{2, 20.0, 3, 2, 1}, {2, 30.0, 1, 4, 1}});
    Src = Open("TmpFlags");
    auto Dest2 = Open("x-PTS_DataFlags");
    EXPECT_EQ(Dest2->BatchMove(Src.get(), batAppendUpdate), 2);
    EXPECT_EQ(Rows("Select * from \"x-PTS_DataFlags\" order by ID_Cast, PRES"), (Lines{"2|20|3|2|1", "2|30|1|4|1"}));

    // A table of another folder is described from that folder's catalog.
    const std::string Other = Folder + "/other";
    std::filesystem::create_directory(Other);
    {
        TTable T;
        T.SetDatabaseName(Other);
        T.SetTableName("TmpFlags");
        T.FieldDefs().Add("A", rtl::ftInteger);
        T.CreateTable();
        T.AddIndex("", "A", ixPrimary);
    }
    ASSERT_EQ(Db.Columns(Other + "/TmpFlags").size(), 1u);
    EXPECT_EQ(Db.Indexes(Other + "/TmpFlags").at(0).Fields, "A");
    EXPECT_EQ(Db.Columns("TmpFlags").size(), 5u);
}

// Rows appended in key order are placed after the last without asking the
// engine; a change by another component in between must not fool that.
TEST_F(LocalTables, AppendsAfterAnotherComponentsEditKeepTheKeyOrder)
{
    FromTemplate("TmpFlags", "PTS_DataFlags", "ID_Cast;PRES");
    auto A = Open("TmpFlags");
    auto Add = [&](TTable &T, double Pres) {
        T.Append();
        T.FieldByName("ID_Cast")->SetAsInteger(1);
        T.FieldByName("PRES")->SetAsFloat(Pres);
        T.Post();
    };
    auto Order = [&](TTable &T) {
        std::vector<double> R;
        for (T.First(); !T.Eof(); T.Next())
            R.push_back(T.FieldByName("PRES")->AsFloat());
        return R;
    };
    Add(*A, 10);
    Add(*A, 20);
    {
        auto B = Open("TmpFlags");
        ASSERT_TRUE(B->FindKey({rtl::Variant(1), rtl::Variant(20.0)}));
        B->Edit();
        B->FieldByName("PRES")->SetAsFloat(30);
        B->Post();
    }
    Add(*A, 25);
    EXPECT_EQ(Order(*A), (std::vector<double>{10, 25, 30}));
    // In order again, then a key below the last (text "7" stored as a number).
    Add(*A, 40);
    A->Append();
    A->FieldByName("ID_Cast")->SetAsString("1");
    A->FieldByName("PRES")->SetAsString("7");
    A->Post();
    Add(*A, 50);
    EXPECT_EQ(Order(*A), (std::vector<double>{7, 10, 25, 30, 40, 50}));
    // Emptied by a statement: the remembered last row is gone with it.
    A->EmptyTable();
    Add(*A, 5);
    Add(*A, 1);
    EXPECT_EQ(Order(*A), (std::vector<double>{1, 5}));
}

// Edits that keep the key leave the row in place; an edit that changes it
// moves the row, also after another component changed the table between
// the read and the post.
TEST_F(LocalTables, EditsKeepOrMoveRowsByTheirStoredKeys)
{
    FromTemplate("TmpFlags", "PTS_DataFlags", "ID_Cast;PRES");
    Fill("TmpFlags", {{1, 10.0, 0, 0, 0}, {1, 20.0, 0, 0, 0}, {1, 30.0, 0, 0, 0}});
    auto A = Open("TmpFlags");
    auto Order = [&]() {
        std::vector<std::string> R;
        for (A->First(); !A->Eof(); A->Next())
            R.push_back(A->FieldByName("PRES")->AsString() + ":" + A->FieldByName("FTEMP")->AsString());
        return R;
    };
    for (A->First(); !A->Eof(); A->Next()) {
        A->Edit();
        A->FieldByName("FTEMP")->SetAsInteger(2);
        A->Post();
    }
    EXPECT_EQ(Order(), (Lines{"10:2", "20:2", "30:2"}));
    // The key as a text the column turns into the same number.
    A->First();
    A->Edit();
    A->FieldByName("PRES")->SetAsString("10");
    A->FieldByName("FTEMP")->SetAsInteger(3);
    A->Post();
    EXPECT_EQ(Order(), (Lines{"10:3", "20:2", "30:2"}));
    // Read by A, then moved by another component, then edited by A.
    A->First();
    {
        auto B = Open("TmpFlags");
        ASSERT_TRUE(B->FindKey({rtl::Variant(1), rtl::Variant(20.0)}));
        B->Edit();
        B->FieldByName("PRES")->SetAsFloat(5);
        B->Post();
    }
    A->Refresh();
    ASSERT_TRUE(A->FindKey({rtl::Variant(1), rtl::Variant(30.0)}));
    A->Edit();
    A->FieldByName("PRES")->SetAsFloat(1);
    A->Post();
    EXPECT_EQ(Order(), (Lines{"1:2", "5:2", "10:3"}));
}
