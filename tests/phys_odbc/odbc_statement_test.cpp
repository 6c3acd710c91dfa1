// Statements, variables and page buffers against the station-database driver.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/rtl/FMTBcd.h"
#include "tests/phys_odbc/OdbcBridgeFixture.h"

namespace {

class TODBCStatements : public TODBCBinding {
protected:
    void SetUp() override
    {
        TODBCBinding::SetUp();
        Connect();
        Exec("CREATE TABLE Cast_Titles (ID LONG, ID_Cruise LONG, Date_Cast DATETIME, Velosity DOUBLE, "
             "Station TEXT(20), Note MEMO)");
        for (int I = 1; I <= 120; ++I)
            Exec("INSERT INTO Cast_Titles (ID, ID_Cruise, Date_Cast, Velosity, Station) VALUES (" +
                 std::to_string(I) + ", " + std::to_string(I % 2 + 1) + ", #1/" + std::to_string(I % 28 + 1) +
                 "/1890#, " + std::to_string(I) + ".5, 'St" + std::to_string(I) + "')");
    }

    // A select prepared, executed and described into result variables.
    std::unique_ptr<TODBCCommandStatement> Open(const std::string &ASql, TODBCBufferKind AKind)
    {
        auto S = std::make_unique<TODBCCommandStatement>(Conn.get(), nullptr);
        S->BufferKind = AKind;
        S->Prepare(ASql);
        SQLLEN Rows = 0;
        S->Execute(1, 0, nullptr, false, Rows);
        const int N = S->NumResultCols();
        for (int C = 1; C <= N; ++C) {
            TODBCSelectItem Item(S.get(), SQLSMALLINT(C));
            auto V = std::make_unique<TODBCVariable>();
            V->Name = Item.Name;
            V->ColumnSize = Item.ColumnSize;
            V->Scale = Item.Scale;
            V->SetSQLDataType(Item.SQLDataType);
            switch (Item.SQLDataType) {
            case SQL_INTEGER: V->SetCDataType(SQL_C_LONG); break;
            case SQL_DOUBLE: case SQL_FLOAT: V->SetCDataType(SQL_C_DOUBLE); break;
            case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: V->SetCDataType(SQL_C_TYPE_TIMESTAMP); break;
            default: V->SetCDataType(SQL_C_CHAR); break;
            }
            S->ColumnList().Add(std::move(V));
        }
        return S;
    }

    // Every ID of a select, fetched in rowsets of ARows.
    std::vector<int> Ids(TODBCCommandStatement &S, int ARows)
    {
        std::vector<int> Out;
        for (;;) {
            const int N = S.Fetch(ARows);
            for (int R = 0; R < N; ++R) {
                int32_t V = 0;
                void *P = &V;
                SQLLEN L = 0;
                EXPECT_TRUE(S.ColumnList().Items(0)->GetData(R, P, false, L));
                Out.push_back(V);
            }
            if (N < ARows || ARows == -1) {
                if (N == 0)
                    break;
                if (ARows != -1)
                    break;
            }
        }
        return Out;
    }
};

TEST_F(TODBCStatements, RowsetFetchFillsPagesInOrderBothLayouts)
{
    for (auto Kind : {TODBCBufferKind::RowWise, TODBCBufferKind::ColWise}) {
        auto S = Open("SELECT ID, Velosity, Station, Date_Cast FROM Cast_Titles ORDER BY ID", Kind);
        const auto Got = Ids(*S, 50);
        ASSERT_EQ(Got.size(), 120u);
        for (int I = 0; I < 120; ++I)
            ASSERT_EQ(Got[size_t(I)], I + 1);
    }
}

TEST_F(TODBCStatements, SingleFetchReadsExactlyOneRow)
{
    auto S = Open("SELECT ID FROM Cast_Titles WHERE ID_Cruise = 1 ORDER BY ID", TODBCBufferKind::RowWise);
    EXPECT_EQ(S->Fetch(-1), 1);
    EXPECT_EQ(S->Fetch(-1), 1);
    int32_t V = 0;
    void *P = &V;
    SQLLEN L = 0;
    ASSERT_TRUE(S->ColumnList().Items(0)->GetData(0, P, false, L));
    EXPECT_EQ(V, 4); // ID_Cruise 1 are the even IDs: 2, then 4
}

TEST_F(TODBCStatements, ValuesConvertToLibraryForms)
{
    auto S = Open("SELECT ID, Velosity, Station, Date_Cast FROM Cast_Titles WHERE ID = 7", TODBCBufferKind::RowWise);
    ASSERT_EQ(S->Fetch(10), 1);
    double D = 0;
    void *P = &D;
    SQLLEN L = 0;
    ASSERT_TRUE(S->ColumnList().Items(1)->GetData(0, P, false, L));
    EXPECT_DOUBLE_EQ(D, 7.5);
    char Text[32] = {};
    P = Text;
    ASSERT_TRUE(S->ColumnList().Items(2)->GetData(0, P, false, L));
    EXPECT_EQ(std::string(Text, size_t(L)), "St7");
    rtl::TSQLTimeStamp T;
    P = &T;
    ASSERT_TRUE(S->ColumnList().Items(3)->GetData(0, P, false, L));
    // A date before 1899: 7 % 28 + 1 = 8 January 1890.
    EXPECT_EQ(T.Year, 1890);
    EXPECT_EQ(T.Month, 1);
    EXPECT_EQ(T.Day, 8);
}

TEST_F(TODBCStatements, MemoOfHundredKilobytesReadInPieces)
{
    std::string Memo(100000, 'x');
    for (size_t I = 0; I < Memo.size(); ++I)
        Memo[I] = char('a' + I % 26);
    // Sent as a data-at-execution parameter.
    {
        TODBCCommandStatement U(Conn.get(), nullptr);
        U.Prepare("UPDATE Cast_Titles SET Note = ? WHERE ID = 3");
        auto V = std::make_unique<TODBCVariable>();
        V->SetCDataType(SQL_C_CHAR);
        V->SetSQLDataType(SQL_LONGVARCHAR);
        TODBCVariable *Var = U.ParamList().Add(std::move(V));
        U.BindParams(1, true);
        ASSERT_TRUE(Var->LongData);
        Var->SetData(0, Memo.data(), SQLLEN(Memo.size()));
        SQLLEN Rows = 0;
        U.Execute(1, 0, nullptr, false, Rows);
        EXPECT_EQ(Rows, 1);
    }
    auto S = Open("SELECT ID, Note FROM Cast_Titles WHERE ID IN (2, 3, 4) ORDER BY ID", TODBCBufferKind::RowWise);
    TODBCVariable *Note = S->ColumnList().Items(1);
    ASSERT_EQ(S->Fetch(5), 3);
    ASSERT_TRUE(Note->LongData);
    void *P = nullptr;
    SQLLEN L = 0;
    EXPECT_FALSE(Note->GetData(0, P, true, L));
    ASSERT_TRUE(Note->GetData(1, P, true, L));
    ASSERT_EQ(L, 100000);
    EXPECT_EQ(std::memcmp(P, Memo.data(), Memo.size()), 0);
    EXPECT_FALSE(Note->GetData(2, P, true, L));
}

TEST_F(TODBCStatements, SingleResultSetEndsWithoutError)
{
    auto S = Open("SELECT ID FROM Cast_Titles WHERE ID = 5", TODBCBufferKind::ColWise);
    EXPECT_EQ(Ids(*S, 10), std::vector<int>{5});
    EXPECT_FALSE(S->MoreResults());
    EXPECT_TRUE(S->Opened);
    S->CloseCursor();
    EXPECT_FALSE(S->Opened);
}

TEST_F(TODBCStatements, UpdateTouchingNoRowIsNotAnError)
{
    TODBCCommandStatement U(Conn.get(), nullptr);
    const std::string Sql = "UPDATE Cast_Titles SET Velosity = 1 WHERE ID = 999";
    SQLLEN Rows = -5;
    U.Execute(1, 0, &Sql, false, Rows);
    EXPECT_EQ(Rows, 0);
}

TEST_F(TODBCStatements, ParameterArrayWithOffsetRunsRemainingRows)
{
    TODBCCommandStatement U(Conn.get(), nullptr);
    U.Prepare("UPDATE Cast_Titles SET Velosity = -1 WHERE ID = ?");
    auto V = std::make_unique<TODBCVariable>();
    V->SetCDataType(SQL_C_LONG);
    V->SetSQLDataType(SQL_INTEGER);
    TODBCVariable *Var = U.ParamList().Add(std::move(V));
    U.BindParams(10, true);
    for (int32_t R = 0; R < 10; ++R) {
        const int32_t Id = 100 + R;
        Var->SetData(R, &Id, 4);
    }
    SQLLEN Rows = 0;
    U.Execute(10, 3, nullptr, false, Rows);
    EXPECT_EQ(Rows, 7);
    auto S = Open("SELECT ID FROM Cast_Titles WHERE Velosity = -1 ORDER BY ID", TODBCBufferKind::RowWise);
    EXPECT_EQ(Ids(*S, 20), (std::vector<int>{103, 104, 105, 106, 107, 108, 109}));

    // Drivers that take parameter sets (the station-database driver and
    // Debian's SQLite driver) run them in one execute, the 10 after the 7 as
    // well.
    TODBCConnection Lite(Env.get(), nullptr);
    Lite.DriverConnect("DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=" +
                           (Dir / "sets.sqlite3").string(),
                       false);
    for (TODBCConnection *C : {Conn.get(), &Lite}) {
        std::vector<std::string> Made{"CREATE TABLE T (ID INTEGER, V DOUBLE)"};
        for (int Id = 1; Id <= 10; ++Id)
            Made.push_back("INSERT INTO T (ID, V) VALUES (" + std::to_string(Id) + ", 0)");
        for (const std::string &Sql : Made)
            TODBCCommandStatement(C, nullptr).Execute(1, 0, &Sql, false, Rows);
        TODBCCommandStatement A(C, nullptr);
        A.ParamSetSupported = true;
        A.Prepare("UPDATE T SET V = V - 1 WHERE ID = ?");
        A.ParamList().Add(std::make_unique<TODBCVariable>());
        A.ParamList().Items(0)->SetCDataType(SQL_C_LONG);
        A.ParamList().Items(0)->SetSQLDataType(SQL_INTEGER);
        A.BindParams(10, true);
        ASSERT_EQ(A.GetParamSetSize(), 10u);
        for (int32_t R = 0; R < 10; ++R) {
            const int32_t Id = R + 1;
            A.ParamList().Items(0)->SetData(R, &Id, 4);
        }
        for (const auto &[Offset, Expected] : {std::pair{3, 7}, {0, 10}}) {
            A.Execute(10, Offset, nullptr, false, Rows);
            EXPECT_EQ(Rows, Expected);
            EXPECT_EQ(A.ParamList().PageBuffer()->RowsProcessed, SQLULEN(Expected));
        }
        // Each set ran as often as it was sent: IDs 1-3 once, the rest twice.
        const std::string Check = "UPDATE T SET V = 0 WHERE (V = -1 AND ID <= 3) OR (V = -2 AND ID > 3)";
        TODBCCommandStatement(C, nullptr).Execute(1, 0, &Check, false, Rows);
        EXPECT_EQ(Rows, 10);
    }
}

TEST_F(TODBCStatements, MissingTableRaisesWithDriverDiagnostics)
{
    TODBCCommandStatement S(Conn.get(), nullptr);
    try {
        S.Prepare("SELECT * FROM No_Such_Table");
        SQLLEN Rows = 0;
        S.Execute(1, 0, nullptr, false, Rows);
        FAIL() << "no exception";
    } catch (const EODBCNativeException &E) {
        EXPECT_NE(E.Message().find("No_Such_Table"), std::string::npos) << E.Message();
        EXPECT_EQ(Conn->LastCommandText, "SELECT * FROM No_Such_Table");
    }
}

// A text the file holds beyond its column's declared size, read one row at a time and in a block, row-wise and
// column-wise: read no further than its buffer (never by SQLGetData), marked cut with its length where the
// statement's SQL_ATTR_MAX_LENGTH lets the driver tell it, never an error for the rows around it; the statement run
// again reads its new rows into the same buffers.
TEST_F(TODBCStatements, ValueLongerThanItsBufferIsReadAsFarAsItsBufferAndMarkedCut)
{
    const std::string Long(20, 'x');
    Exec("UPDATE Cast_Titles SET Station = '" + Long + "' WHERE ID = 2");
    Exec("UPDATE Cast_Titles SET Station = 'A much longer' WHERE ID = 3");
    const auto GetData = Lib->SQLGetData;
    Lib->SQLGetData = [](SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *) -> SQLRETURN {
        return SQL_ERROR;
    };
    for (TODBCBufferKind Kind : {TODBCBufferKind::RowWise, TODBCBufferKind::ColWise})
        for (int Rows : {1, 4}) {
            SCOPED_TRACE(std::to_string(int(Kind)) + " " + std::to_string(Rows));
            auto S = Open("SELECT ID, Station FROM Cast_Titles WHERE ID <= 4 ORDER BY ID", Kind);
            TODBCVariable *Station = S->ColumnList().Items(1);
            Station->ColumnSize = 4; // a buffer of 13 bytes, smaller than two of the values
            Station->Prepared = false;
            std::vector<std::string> Got;
            for (int N; (N = S->Fetch(Rows)) > 0;)
                for (int R = 0; R < N; ++R) {
                    void *P = nullptr;
                    SQLLEN L = 0, Whole = 0;
                    ASSERT_TRUE(Station->GetData(R, P, true, L)) << R << " after " << Got.size();
                    Got.emplace_back(static_cast<const char *>(P), size_t(L));
                    if (Station->Cut(R, Whole))
                        Got.back() += "/" + std::to_string(Whole);
                }
            EXPECT_EQ(Got, (std::vector<std::string>{"St1", Long.substr(0, 12) + "/" + std::to_string(SQL_NO_TOTAL),
                                                     "A much longe/13", "St4"}));
            Exec("UPDATE Cast_Titles SET Station = 'New' WHERE ID = 2");
            S->CloseCursor();
            SQLLEN Affected = 0;
            S->Execute(1, 0, nullptr, false, Affected);
            const int Second = S->Fetch(Rows) > 1 ? 1 : (S->Fetch(Rows), 0);
            void *P = nullptr;
            SQLLEN L = 0;
            ASSERT_TRUE(Station->GetData(Second, P, true, L));
            EXPECT_EQ(std::string(static_cast<const char *>(P), size_t(L)) + (Station->Cut(Second, L) ? " cut" : ""),
                      "New");
            Exec("UPDATE Cast_Titles SET Station = '" + Long + "' WHERE ID = 2");
        }
    Lib->SQLGetData = GetData;
}

TEST_F(TODBCStatements, FailedRowByRowFetchLeavesThePageWhereItWas)
{
    // The third row's value cannot be worked out: the driver fails that fetch.
    auto S = Open("SELECT ID, 10 / (ID - 3) AS Q FROM Cast_Titles WHERE ID <= 5", TODBCBufferKind::RowWise);
    TODBCVariable *Cruise = S->ColumnList().Items(1);
    S->BindColumns(4);
    // One row per SQLFetch into a page of four: the page moves row by row.
    S->SetIntAttr(SQL_ATTR_ROW_ARRAY_SIZE, 1);
    uint8_t *Data0 = S->ColumnList().Items(0)->DataPtr;
    SQLLEN *Ind1 = Cruise->IndPtr;
    EXPECT_THROW(S->Fetch(4), EODBCNativeException); // the third row does not fit
    EXPECT_EQ(S->ColumnList().Items(0)->DataPtr, Data0);
    EXPECT_EQ(Cruise->IndPtr, Ind1);
}

TEST_F(TODBCStatements, CatalogCallsWithEmptyNamesAreUnrestricted)
{
    TODBCMetaInfoStatement M(Conn.get(), nullptr);
    M.Tables("", "", "", "TABLE");
    M.Execute();
    EXPECT_TRUE(M.Opened);
    auto V = std::make_unique<TODBCVariable>();
    V->SetCDataType(SQL_C_CHAR);
    V->SetSQLDataType(SQL_VARCHAR);
    V->ColumnSize = 128;
    M.ColumnList().Add(std::make_unique<TODBCVariable>());
    M.ColumnList().Add(std::make_unique<TODBCVariable>());
    M.ColumnList().Add(std::move(V));
    for (int I = 0; I < 2; ++I) {
        M.ColumnList().Items(I)->SetSQLDataType(SQL_VARCHAR);
        M.ColumnList().Items(I)->ColumnSize = 128;
    }
    std::vector<std::string> Names;
    for (int N; (N = M.Fetch(10)) > 0;)
        for (int R = 0; R < N; ++R) {
            void *P = nullptr;
            SQLLEN L = 0;
            if (M.ColumnList().Items(2)->GetData(R, P, true, L))
                Names.emplace_back(static_cast<char *>(P), size_t(L));
        }
    EXPECT_EQ(Names, std::vector<std::string>{"Cast_Titles"});
}

TEST_F(TODBCStatements, CommitAndRollbackThroughTheConnection)
{
    Conn->Transaction().StartTransaction();
    Exec("DELETE FROM Cast_Titles WHERE ID = 1");
    Conn->Transaction().Rollback();
    Exec("DELETE FROM Cast_Titles WHERE ID = 2");
    Conn->Transaction().Commit();
    Conn->SetIntAttr(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
    auto S = Open("SELECT ID FROM Cast_Titles WHERE ID <= 3 ORDER BY ID", TODBCBufferKind::RowWise);
    EXPECT_EQ(Ids(*S, 10), (std::vector<int>{1, 3}));
}

TEST_F(TODBCStatements, StatementClosedAfterItsConnectionDroppedTouchesNoHandle)
{
    // The driver manager releases a link's statements when it disconnects:
    // a statement closed (or freed) after that must not hand the released
    // handle back, in either order of the owners' teardown.
    auto Open1 = Open("SELECT ID FROM Cast_Titles ORDER BY ID", TODBCBufferKind::RowWise);
    EXPECT_EQ(Open1->Fetch(5), 5);
    auto Idle = std::make_unique<TODBCCommandStatement>(Conn.get(), nullptr);
    ASSERT_TRUE(Open1->HasHandle());
    Conn->Disconnect();
    EXPECT_FALSE(Open1->HasHandle());
    EXPECT_FALSE(Idle->HasHandle());
    EXPECT_NO_THROW(Open1->Close());
    Open1.reset();

    // Reconnected, new statements work, and one that outlives the
    // connection object is freed with it.
    Connect();
    auto Late = Open("SELECT ID FROM Cast_Titles WHERE ID <= 2 ORDER BY ID", TODBCBufferKind::RowWise);
    EXPECT_EQ(Ids(*Late, 10), (std::vector<int>{1, 2}));
    Conn->Disconnect();
    Conn.reset();
    EXPECT_FALSE(Late->HasHandle());
    EXPECT_NO_THROW(Late->Close());
    Late.reset();
    EXPECT_NO_THROW(Idle.reset());
}

TEST_F(TODBCStatements, LongStatementCancelledFromAnotherThread)
{
    TODBCCommandStatement S(Conn.get(), nullptr);
    std::atomic<bool> Done{false};
    std::thread Canceller([&] {
        // Cancel until the statement has ended: a cancel that comes before
        // the statement runs has nothing to stop.
        while (!Done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (!Done)
                S.Lib()->SQLCancel(S.Handle());
        }
    });
    // 120^4 rows to count: minutes without the cancel.
    const std::string Sql = "SELECT Count(*) FROM Cast_Titles a, Cast_Titles b, Cast_Titles c, Cast_Titles d";
    std::string State;
    try {
        SQLLEN Rows = 0;
        S.Execute(1, 0, &Sql, false, Rows);
    } catch (const EODBCNativeException &E) {
        State = E.Errors(0).Message.substr(0, 16);
    }
    Done = true;
    Canceller.join();
    EXPECT_EQ(State, "SQL state: HY008");
}

// ---- variables without a statement round trip ----

class TODBCVariables : public TODBCStatements {};

TEST_F(TODBCVariables, SizesFollowTypesAndStatementLimits)
{
    TODBCCommandStatement S(Conn.get(), nullptr);
    auto Make = [&](SQLSMALLINT C, SQLSMALLINT T, SQLULEN Size, bool Param) {
        auto V = std::make_unique<TODBCVariable>();
        V->SetCDataType(C);
        V->SetSQLDataType(T);
        V->ColumnSize = Size;
        TODBCVariable *R = Param ? S.ParamList().Add(std::move(V)) : S.ColumnList().Add(std::move(V));
        R->Prepare();
        return R;
    };
    TODBCVariable *A = Make(SQL_C_CHAR, SQL_VARCHAR, 0, false);
    // Text crosses as UTF-8: up to three bytes for each character.
    EXPECT_EQ(A->DataSize, 3 * 8192 + 1);
    EXPECT_TRUE(A->LongData);
    TODBCVariable *B = Make(SQL_C_CHAR, SQL_VARCHAR, 255, false);
    EXPECT_EQ(B->DataSize, 3 * 255 + 1);
    EXPECT_FALSE(B->LongData);
    EXPECT_TRUE(Make(SQL_C_CHAR, SQL_VARCHAR, 9000, false)->LongData);
    TODBCVariable *N = Make(SQL_C_CHAR, SQL_NUMERIC, 0, true);
    EXPECT_EQ(N->ColumnSize, 30u);
    EXPECT_EQ(N->Scale, 4);
    EXPECT_EQ(N->DataSize, 33);
    TODBCVariable *N3 = Make(SQL_C_CHAR, SQL_NUMERIC, 3, true);
    EXPECT_EQ(N3->Scale, 3);
    EXPECT_EQ(N3->DataSize, 6);
    EXPECT_EQ(N3->DumpLabel(), "#2");
    TODBCVariable *Bad = Make(SQL_C_LONG, SQL_INTEGER, 0, true);
    Bad->SetCDataType(12345);
    try {
        Bad->Prepare();
        FAIL() << "no exception";
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 1202);
    }
}

TEST_F(TODBCVariables, CharParameterPadsAndRefusesOversizedText)
{
    TODBCCommandStatement S(Conn.get(), nullptr);
    auto V = std::make_unique<TODBCVariable>();
    V->SetCDataType(SQL_C_CHAR);
    V->SetSQLDataType(SQL_CHAR);
    V->ColumnSize = 5;
    V->Name = "Station";
    TODBCVariable *Var = S.ParamList().Add(std::move(V));
    S.BindParams(2, true);
    // Padded to the column's five characters, not to the UTF-8 buffer.
    Var->SetData(0, "ab", SQL_NTS);
    EXPECT_EQ(*Var->IndPtr, 5);
    EXPECT_EQ(std::memcmp(Var->DataPtr, "ab   ", 6), 0);
    Var->SetData(0, "Çeşme", SQL_NTS);
    EXPECT_EQ(*Var->IndPtr, 7);
    Var->SetData(0, "Muğla", SQL_NTS);
    EXPECT_EQ(std::memcmp(Var->DataPtr, "Muğla", 7), 0);
    // Six characters do not fit, in bytes or in letters.
    for (const std::string &Long : {std::string("abcdefghij"), std::string("Ölüdeni")}) {
        try {
            Var->SetData(0, Long.c_str(), SQLLEN(Long.size()));
            FAIL() << "no exception";
        } catch (const EZqException &E) {
            EXPECT_EQ(E.ErrorCode(), 1201);
            EXPECT_NE(E.Message().find("[Station]. Max len = [5]"), std::string::npos) << E.Message();
        }
    }
    EXPECT_EQ(*Var->IndPtr, 6); // the row keeps its value
}

TEST_F(TODBCVariables, DatesBitsAndNumbersRoundTripThroughTheBuffer)
{
    TODBCCommandStatement S(Conn.get(), nullptr);
    auto Add = [&](SQLSMALLINT C, SQLSMALLINT T) {
        auto V = std::make_unique<TODBCVariable>();
        V->SetCDataType(C);
        V->SetSQLDataType(T);
        return S.ParamList().Add(std::move(V));
    };
    TODBCVariable *D = Add(SQL_C_TYPE_DATE, SQL_TYPE_DATE);
    TODBCVariable *B = Add(SQL_C_BIT, SQL_BIT);
    TODBCVariable *N = Add(SQL_C_CHAR, SQL_DECIMAL);
    N->ColumnSize = 10;
    N->Scale = 2;
    S.BindParams(1, false);
    for (int32_t Day : {693594, 1, 693594 - 3650}) {
        D->SetData(0, &Day, 4);
        int32_t Back = 0;
        void *P = &Back;
        SQLLEN L = 0;
        ASSERT_TRUE(D->GetData(0, P, false, L));
        EXPECT_EQ(Back, Day);
        EXPECT_EQ(L, 4);
    }
    SQL_DATE_STRUCT Raw;
    const int32_t Epoch = 693594;
    D->SetData(0, &Epoch, 4);
    std::memcpy(&Raw, D->DataPtr, sizeof Raw);
    EXPECT_EQ(Raw.year, 1899);
    EXPECT_EQ(Raw.month, 12);
    EXPECT_EQ(Raw.day, 30);
    const int16_t True = -1;
    B->SetData(0, &True, 2);
    EXPECT_EQ(B->DataPtr[0], 1);
    int16_t Bit = 0;
    void *P = &Bit;
    SQLLEN L = 0;
    ASSERT_TRUE(B->GetData(0, P, false, L));
    EXPECT_EQ(Bit, -1);
    EXPECT_EQ(L, 2);
    rtl::TBcd Bcd = rtl::StrToBcd("-123.45");
    N->SetData(0, &Bcd, 34);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(N->DataPtr), size_t(*N->IndPtr)), "-123.45");
    N->SetData(0, nullptr, 0);
    EXPECT_EQ(*N->IndPtr, SQL_NULL_DATA);
    EXPECT_FALSE(N->GetData(0, P, false, L));
}

} // namespace
