// A query closed and opened again with another text: what the second open
// describes must be exactly what a fresh query opened on that text
// describes, whatever the first text left behind (same names with other
// types or sizes, other names, another order, fewer columns, a failed
// open in between), and persistent fields stay the program's own objects.
#include <string>
#include <typeinfo>
#include <vector>

#include "platform/dataset/TField.h"
#include "platform/dataset/TFieldDef.h"
#include "tests/support/query_fixture.h"

using namespace querytest;

namespace {

// Everything a definition and its default field say about a column.
std::vector<std::string> Describe(TZqQuery *Q)
{
    std::vector<std::string> Out;
    for (int I = 0; I < Q->FieldDefs().Count(); ++I) {
        TFieldDef *D = Q->FieldDefs().Items(I);
        Out.push_back(D->Name() + " t" + std::to_string(int(D->DataType())) + " s" + std::to_string(D->Size()) +
                      " p" + std::to_string(D->Precision()) + " a" + std::to_string(int(D->Attributes())) + " n" +
                      std::to_string(D->FieldNo()) + (D->InternalCalcField() ? " calc" : ""));
    }
    for (int I = 0; I < Q->FieldCount(); ++I) {
        TField *F = Q->Fields()[I];
        Out.push_back(F->FieldName() + " " + typeid(*F).name() + " s" + std::to_string(F->Size()) + " n" +
                      std::to_string(F->FieldNo()) + " v" + F->AsString() + (F->Required() ? " req" : ""));
    }
    return Out;
}

} // namespace

class QueryReopen : public StationDb {
protected:
    void SetUp() override
    {
        StationDb::SetUp();
        New("CREATE TABLE Reopen_T (ID LONG, Code TEXT(10), Label TEXT(30), X DOUBLE, N LONG)")->ExecSQL();
        New("INSERT INTO Reopen_T (ID, Code, Label, X, N) VALUES (1, 'ab', 'a longer label', 2.5, 7)")->ExecSQL();
    }
    std::vector<std::string> Fresh(const std::string &AText)
    {
        TZqQuery *F = New(AText);
        F->Open();
        return Describe(F);
    }
    std::vector<std::string> Reopened(TZqQuery *Q, const std::string &AText)
    {
        Q->Close();
        Q->SQL()->Clear();
        Q->SQL()->Add(AText);
        Q->Open();
        return Describe(Q);
    }
};

TEST_F(QueryReopen, ASecondTextGetsTheDefinitionsAndFieldsOfAFreshOpen)
{
    const std::string First = "Select ID, Code, X from Reopen_T";
    const std::vector<std::string> Seconds = {
        "Select ID, Code, X from Reopen_T where ID = 1",        // the same columns
        "Select X as ID, N as Code, ID as X from Reopen_T",     // same names, other types
        "Select ID, Label as Code, X from Reopen_T",            // same names, another size
        "Select N, Label, X from Reopen_T",                     // other names
        "Select X, ID, Code from Reopen_T",                     // another order
        "Select ID, Code from Reopen_T",                        // fewer
        "Select ID, Code, X, N, Label from Reopen_T",           // more
        "Select ID, Code, X, ID from Reopen_T",                 // a repeated name
    };
    for (const std::string &Second : Seconds) {
        TZqQuery *Q = New(First);
        Q->Open();
        EXPECT_EQ(Reopened(Q, Second), Fresh(Second)) << Second;
        // And back: the first text's description is restored in full.
        EXPECT_EQ(Reopened(Q, First), Fresh(First)) << Second;
    }
}

TEST_F(QueryReopen, AnOpenThatFailedLeavesNothingTheNextOpenReuses)
{
    TZqQuery *Q = New("Select ID, Code, X from Reopen_T");
    Q->Open();
    Q->Close();
    Q->SQL()->Clear();
    Q->SQL()->Add("Select ID, Code, X from No_Such_Table");
    EXPECT_THROW(Q->Open(), std::exception);
    EXPECT_FALSE(Q->Active());
    const std::string Text = "Select X as ID, Label as Code, N as X from Reopen_T";
    EXPECT_EQ(Reopened(Q, Text), Fresh(Text));
}

TEST_F(QueryReopen, PersistentFieldsAreKeptAndReadTheNewTextsColumn)
{
    TZqQuery *Q = New("Select ID, Code from Reopen_T");
    auto *Code = new TStringField(Q);
    Code->SetFieldName("Code");
    Code->SetSize(30);
    Code->SetDataSet(Q);
    Q->Open();
    EXPECT_EQ(Code->AsString(), "ab");
    Reopened(Q, "Select ID, Label as Code from Reopen_T");
    ASSERT_EQ(Q->FieldCount(), 1);
    EXPECT_EQ(Q->Fields()[0], Code);
    EXPECT_EQ(Code->AsString(), "a longer label");
    // A persistent field whose column comes back with another type is refused.
    Q->Close();
    Q->SQL()->Clear();
    Q->SQL()->Add("Select ID, X as Code from Reopen_T");
    EXPECT_THROW(Q->Open(), std::exception);
    EXPECT_FALSE(Q->Active());
    EXPECT_EQ(Q->Fields()[0], Code);
}
