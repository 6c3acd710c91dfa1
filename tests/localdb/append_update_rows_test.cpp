// Rows merged into a keyed table from values, without a source table: the
// same rows as an append-or-update batch move from a table holding them.
#include "tests/localdb/LocalDbFixture.h"

#include "platform/localdb/TBatchMove.h"

#include <memory>
#include <optional>

namespace {

class AppendUpdateRows : public LocalDbFixture {
protected:
    std::unique_ptr<TTable> Open(const std::string &AName)
    {
        auto T = std::make_unique<TTable>();
        T->SetDatabaseName(Folder);
        T->SetTableName(AName);
        T->Open();
        return T;
    }
    // Two flag tables with the same stored rows: one takes the merge from
    // values, the other the batch move; a NULL flag, a row the merge
    // updates, one it does not touch and one of another station.
    void MakeTwins()
    {
        for (const char *T : {"a-PTS_DataFlags", "b-PTS_DataFlags"}) {
            FromTemplate(T, "PTS_DAtaFlags", "ID_Cast;PRES");
            Fill(T, {{10, 5.0, 1, 1, rtl::Variant()}, {10, 10.0, 0, 0, 7}, {10, 30.0, 1, 2, 3}, {11, 5.0, 4, 4, 4}});
        }
        FromTemplate("TmpFlags", "StructTsFlags", "ID_Cast;PRES");
    }
    static TLocalRow Row(int Cast, double Pres, std::optional<int> FPres, std::optional<int> FFlag)
    {
        auto V = [](std::optional<int> X) { return X ? TLocalValue::Integer(*X) : TLocalValue::Null(); };
        return {TLocalValue::Integer(Cast), TLocalValue::Real(Pres), V(FPres), V(FFlag)};
    }
    Lines Stored(const std::string &T) { return Rows("Select * from \"" + T + "\" order by ID_Cast, PRES"); }
};

TEST_F(AppendUpdateRows, NamedColumnsGiveTheRowsOfAMappedBatchMove)
{
    MakeTwins();
    // New rows, a stored row updated (one flag to NULL), one at -0.0.
    const std::vector<TLocalRow> Values = {Row(10, 5.0, 3, std::nullopt), Row(10, 10.0, 1, 2), Row(10, 20.0, 1, 1),
                                           Row(12, -0.0, 9, 9)};
    auto A = Open("a-PTS_DataFlags");
    A->AppendUpdateRows({"ID_Cast", "PRES", "FPRES", "FTEMP"}, Values);

    auto Tmp = Open("TmpFlags");
    for (const TLocalRow &R : Values) {
        Tmp->Append();
        for (int F = 0; F < 4; ++F)
            if (!R[size_t(F)].IsNull())
                Tmp->Fields()[F]->SetAsFloat(R[size_t(F)].AsDouble());
        Tmp->Post();
    }
    auto B = Open("b-PTS_DataFlags");
    TBatchMove Move;
    Move.Source = Tmp.get();
    Move.Destination = B.get();
    Move.Mode = batAppendUpdate;
    Move.Mappings = {"ID_Cast", "PRES", "FPRES", "FTEMP"};
    Move.Execute();

    // FPSAL of the updated rows is kept (7 stays, NULL stays NULL); the new
    // rows have none; 10/30 and station 11 are untouched.
    const Lines Expected = {"10|5|3||", "10|10|1|2|7", "10|20|1|1|", "10|30|1|2|3", "11|5|4|4|4", "12|0|9|9|"};
    EXPECT_EQ(Stored("a-PTS_DataFlags"), Expected);
    EXPECT_EQ(Stored("b-PTS_DataFlags"), Expected);
    // The open table sees the merged rows at its next move.
    A->First();
    EXPECT_EQ(A->RecordCount(), 6);
}

TEST_F(AppendUpdateRows, LaterRowOfAKeyWinsAndAFailingRowUndoesTheWhole)
{
    MakeTwins();
    auto A = Open("a-PTS_DataFlags");
    A->AppendUpdateRows({"id_cast", "pres", "fpres", "fpsal"},
                        {Row(10, 40.0, 1, 1), Row(10, 40.0, 2, 2), Row(10, 10.0, 5, 5)});
    EXPECT_EQ(Stored("a-PTS_DataFlags"),
              (Lines{"10|5|1|1|", "10|10|5|0|5", "10|30|1|2|3", "10|40|2||2", "11|5|4|4|4"}));

    // A row without a key value breaks no index but the NOT NULL the table
    // lacks; a column the table lacks fails before any row is written.
    const Lines Before = Stored("a-PTS_DataFlags");
    EXPECT_THROW(A->AppendUpdateRows({"ID_Cast", "PRES", "FPRES", "FDENS"}, {Row(13, 1.0, 1, 1)}), EDatabaseError);
    EXPECT_EQ(Stored("a-PTS_DataFlags"), Before);
    Exec("Create table Strict (ID_Cast INTEGER, PRES DOUBLE, FPRES SMALLINT NOT NULL, FTEMP SMALLINT)");
    auto S = Open("Strict");
    S->Close();
    S->AddIndex("", "ID_Cast;PRES", ixPrimary);
    S->Open();
    EXPECT_THROW(S->AppendUpdateRows({"ID_Cast", "PRES", "FPRES", "FTEMP"},
                                     {Row(1, 1.0, 1, 1), Row(1, 2.0, 1, 1), Row(1, 3.0, std::nullopt, 1)}),
                 EDatabaseError);
    EXPECT_EQ(Count("Strict"), 0);

    // Without a primary index there is no key to update by.
    auto NoKey = Open("TmpCastOldFlags");
    EXPECT_THROW(NoKey->AppendUpdateRows({"ID_Cruise"}, {{TLocalValue::Integer(1)}}), EDatabaseError);
}

TEST_F(AppendUpdateRows, ManyLevelsAreWrittenWholeWithTheLaterRowOfAKeyWinning)
{
    // More rows than one statement takes: a key repeated within a block and
    // across blocks, a short row, and a failure far past the first block.
    MakeTwins();
    std::vector<TLocalRow> Values;
    for (int I = 0; I < 150; ++I) {
        Values.push_back(Row(20, I, 1, I % 5));
        if (I == 3)
            Values.push_back(Row(20, 3.0, 2, 2));
    }
    Values.push_back(Row(20, 70.0, 4, std::nullopt));
    Values.push_back({TLocalValue::Integer(20), TLocalValue::Real(200.0)});
    auto A = Open("a-PTS_DataFlags");
    A->AppendUpdateRows({"ID_Cast", "PRES", "FPRES", "FTEMP"}, Values);
    EXPECT_EQ(Count("a-PTS_DataFlags"), 4 + 151);
    EXPECT_EQ(Rows("Select FPRES, FTEMP from \"a-PTS_DataFlags\" where ID_Cast = 20 and PRES in (3, 70, 149, 200) "
                   "order by PRES"),
              (Lines{"2|2", "4|", "1|4", "|"}));

    Exec("Create table Strict (ID_Cast INTEGER, PRES DOUBLE, FPRES SMALLINT NOT NULL, FTEMP SMALLINT)");
    auto S = Open("Strict");
    S->Close();
    S->AddIndex("", "ID_Cast;PRES", ixPrimary);
    S->Open();
    std::vector<TLocalRow> Strict;
    for (int I = 0; I < 200; ++I)
        Strict.push_back(Row(1, I, I == 190 ? std::nullopt : std::optional<int>(1), 1));
    try {
        S->AppendUpdateRows({"ID_Cast", "PRES", "FPRES", "FTEMP"}, Strict);
        ADD_FAILURE() << "a row without its required value was written";
    } catch (const EDatabaseError &E) {
        EXPECT_EQ(E.Message(), "Field value required.");
    }
    EXPECT_EQ(Count("Strict"), 0);
}

} // namespace
