// The statements file's reader: what a well-formed entry yields, and that a
// slip in the file (a missing part, an unknown word, a name used twice)
// stops the tests that read it with the line to look at, rather than
// quietly dropping or merging statements.
#include "tests/support/SentStatements.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

using testsupport::ParseSentStatements;
using testsupport::TSentStatement;

namespace {

std::string ErrorOf(const std::string &AContent)
{
    try {
        ParseSentStatements(AContent);
    } catch (const std::runtime_error &E) {
        return E.what();
    }
    return std::string();
}

} // namespace

TEST(StatementsFile, EntriesKeepTextBlanksLineBreaksAndOutcomes)
{
    const auto All = ParseSentStatements("# comment\n\n"
                                         "statement a\nkind select \"@DB@\".T\ndriver rows 2\n"
                                         "Select *  from \"@DB@\".T \n\n"
                                         "statement b\nkind select (\\nX\\n)\ndriver error 42S02\nSELECT (\nX\n) A\n"
                                         "----\nSELECT (X) A\n\n"
                                         "statement c\nkind update\ndriver params 5\nUPDATE t SET a = ?\n");
    ASSERT_EQ(All.size(), 3u);
    EXPECT_EQ(All[0].Name, "a");
    EXPECT_EQ(All[0].Line, 3);
    EXPECT_EQ(All[0].Text, "Select *  from \"@DB@\".T "); // double and trailing blanks survive
    EXPECT_EQ(All[0].Preprocessed, All[0].Text);
    EXPECT_EQ(All[0].Kind, "select");
    EXPECT_EQ(All[0].FromObject, "\"@DB@\".T");
    EXPECT_EQ(All[0].Outcome, "rows");
    EXPECT_EQ(All[0].Count, 2);
    EXPECT_EQ(All[1].Text, "SELECT (\nX\n) A");
    EXPECT_EQ(All[1].Preprocessed, "SELECT (X) A");
    EXPECT_EQ(All[1].FromObject, "(\nX\n)");
    EXPECT_EQ(All[1].Outcome, "error");
    EXPECT_EQ(All[1].State, "42S02");
    EXPECT_EQ(All[2].Outcome, "params");
    EXPECT_EQ(All[2].Count, 5);
    EXPECT_TRUE(All[2].FromObject.empty());
}

TEST(StatementsFile, SlipsAreReportedWithTheirLine)
{
    EXPECT_EQ(ErrorOf("statement a\nkind select T\nSelect * from T\n"),
              "statements file, line 1: statement a needs kind, driver and a text");
    EXPECT_EQ(ErrorOf("statement a\nkind merge\ndriver ok\nx\n"), "statements file, line 2: unknown kind \"merge\"");
    EXPECT_EQ(ErrorOf("statement a\nkind drop\ndriver rows many\nx\n"),
              "statements file, line 3: a count expected, not \"many\"");
    EXPECT_EQ(ErrorOf("statement a\nkind drop\ndriver error 42\nx\n"), "statements file, line 3: unknown outcome \"error 42\"");
    EXPECT_EQ(ErrorOf("statement a\nkind drop\ndriver ok\nx\n\nstatement a\nkind drop\ndriver ok\ny\n"),
              "statements file, line 6: statement a named twice");
    EXPECT_EQ(ErrorOf("Select * from T\n"), "statements file, line 1: \"statement <name>\" expected");
    EXPECT_EQ(ErrorOf("statement a\r\nkind drop\n"), "statements file, line 1: carriage return in the file");
}

TEST(StatementsFile, TheProgramsStatementsAreAllThereOnce)
{
    const auto &All = testsupport::SentStatements();
    std::set<std::string> Groups;
    for (const TSentStatement &S : All)
        Groups.insert(S.Name.substr(0, S.Name.find('-')));
    // The station database hears 31 statements of the program's own and 3
    // that the client components build for it.
    EXPECT_EQ(Groups.size(), 34u);
    for (int I = 1; I <= 31; ++I)
        EXPECT_TRUE(Groups.count("M" + std::to_string(I))) << "M" << I;
    for (const char *G : {"G1", "G2", "G3"})
        EXPECT_TRUE(Groups.count(G)) << G;
    EXPECT_EQ(testsupport::SentStatement("M9-drop-duplicates-scratch").Text, "drop table dupl");
    EXPECT_THROW(testsupport::SentStatement("M99"), std::out_of_range);
}

TEST(StatementsFile, DatabasePathFillsBothForms)
{
    const std::string T = "select * into dupl from \"@MDB@\".Cast_Titles, \"@DB@\".Ships";
    EXPECT_EQ(testsupport::WithDatabase(T, "/data/black2007.mdb"),
              "select * into dupl from \"/data/black2007.mdb\".Cast_Titles, \"/data/black2007\".Ships");
    // A path holding the placeholder's own text is not filled twice.
    EXPECT_EQ(testsupport::WithDatabase("\"@MDB@\" \"@DB@\"", "/x/@DB@.mdb"), "\"/x/@DB@.mdb\" \"/x/@DB@\"");
}
