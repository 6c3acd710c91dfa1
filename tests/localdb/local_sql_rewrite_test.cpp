// The local SQL rewriter: what it changes, what it leaves, and a fixed-seed
// run of mangled statements that may fail but must not crash or hang.
#include "tests/localdb/LocalDbFixture.h"

#include <random>

#include "platform/localdb/LocalSql.h"

namespace {

class LocalSqlRewriter : public LocalDbFixture {
protected:
    std::string Rewrite(const std::string &ASql)
    {
        return ::LocalSqlRewrite(ASql, TLocalDatabase::ForFolder(Folder));
    }
};

} // namespace

TEST(LocalSqlTokens, ConcatenationGivesTheTextBack)
{
    for (const std::string S :
         {"Select * from \"a-b.db\" where (x = 'it''s')and(y=4711) -- note",
          "select D.ID, D1.\"Month\" from T D left outer join U D1 on  (D1.ID=D.ID) /* c */",
          "", "  ", "'open", "\"open", "[br]acket 1.5e-3 <> <= >= || !="}) {
        std::string Back;
        for (const auto &T : LocalSqlTokenize(S))
            Back += T.Text;
        EXPECT_EQ(Back, S);
    }
    auto T = LocalSqlTokenize("a<>b");
    ASSERT_EQ(T.size(), 3u);
    EXPECT_EQ(T[1].Text, "<>");
    EXPECT_EQ(LocalSqlVerb("  Delete from CruID"), "DELETE");
}

TEST_F(LocalSqlRewriter, TableNamesTakeTheirStoredSpelling)
{
    FromTemplate("black2007-PTS_DataFlags", "PTS_DAtaFlags", "ID_Cast;PRES");
    EXPECT_EQ(Rewrite("Select * from \"black2007-PTS_Dataflags.db\" Where ID_Cast=4711"),
              "Select * from \"black2007-PTS_DataFlags\" Where ID_Cast=4711");
    EXPECT_EQ(Rewrite("Select Distinct Country_Code from CRUISES order by NAME"),
              "Select Distinct Country_Code from \"Cruises\" order by NAME");
    EXPECT_EQ(Rewrite("select * from param.db"), "select * from \"param\"");
    // A comma list of tables, an unknown table left as written for the
    // engine to refuse.
    EXPECT_EQ(Rewrite("select * from cruid a, TMPCRU b, Nowhere c"),
              "select * from \"CruID\" a, \"TmpCru\" b, \"Nowhere\" c");
}

TEST_F(LocalSqlRewriter, DoubleQuotedWordsAreDecidedByWhatTheyName)
{
    EXPECT_EQ(Rewrite("Select * from BS_Range where param = \"NO3\""),
              "Select * from \"BS_Range\" where param = 'NO3'");
    EXPECT_EQ(Rewrite("Select * from BS_Range where \"PARAM\" = \"it's\""),
              "Select * from \"BS_Range\" where \"PARAM\" = 'it''s'");
    EXPECT_EQ(Rewrite("Select * from Clim C where C.\"Month\" = 7"),
              "Select * from \"Clim\" C where C.\"Month\" = 7");
    EXPECT_EQ(Rewrite("Select \"Region\" from Clim"), "Select \"Region\" from \"Clim\"");
    EXPECT_EQ(Rewrite("Select PAVG as \"Mean\" from Clim order by \"Mean\""),
              "Select PAVG as \"Mean\" from \"Clim\" order by \"Mean\"");
}

TEST_F(LocalSqlRewriter, MangledStatementsFailCleanly)
{
    const std::vector<std::string> Seeds = {
        "Select * from \"black2007-QCCruise\" order by Cruise_Name",
        "Select * from BS_Range where param = \"NO3\"",
        "Select PRES, PAVG, PSTD from BS_TEMP where (Region = 12) and (BS_TEMP.\"Month\" = 7) order by PRES",
        "Select D.ID_Cruise, D1.FDt From TmpCast D Left Outer Join TmpCastFlags D1 on  (D1.ID_Cast=D.ID_Cast)",
        "Select * From \"black2007-UndoParam\" Where (ID_Cast = 4711)and(PRES = 10.25)and(FldName = 'TEMP')"};
    const std::string Alphabet = "\"'()., =<>;-/*[]abcFROMwhere0123456789\\";
    std::mt19937 Rng(20261207);
    int Errors = 0;
    for (int I = 0; I < 1500; ++I) {
        std::string S = Seeds[Rng() % Seeds.size()];
        int Edits = 1 + int(Rng() % 4);
        for (int E = 0; E < Edits && !S.empty(); ++E) {
            size_t P = Rng() % S.size();
            switch (Rng() % 3) {
            case 0:
                S.erase(P, 1 + Rng() % 3);
                break;
            case 1:
                S.insert(P, 1, Alphabet[Rng() % Alphabet.size()]);
                break;
            default:
                S[P] = Alphabet[Rng() % Alphabet.size()];
                break;
            }
        }
        try {
            Rows(S);
        } catch (const EDatabaseError &) {
            ++Errors;
        }
    }
    EXPECT_GT(Errors, 0);
    // The engine still answers afterwards.
    EXPECT_EQ(Rows("Select count(*) from param"), (Lines{"5"}));
}
