// The command preprocessor: every statement the application sends to the
// station database, as the Access dialect hands it to the driver, and the
// scanner's rules on parameters, macros, escapes and comments.
#include <gtest/gtest.h>

#include "dataaccess/phys/qxZqPhysCmdPreprocessor.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "tests/support/SentStatements.h"

#include <map>

namespace {


constexpr uint8_t AllButAnalyze = piParamCreate | piMacroCreate | piParamExpand | piMacroExpand | piEscapeExpand;

struct TRun {
    std::string Text;
    TZqPhysCommandKind Kind;
    std::string From;
    int OrderBy, Values;
};

class Preprocessor : public ::testing::Test {
protected:
    TRun Run(const std::string &AText, TZqRDBMSKind AKind = mkMSAccess, uint8_t AInstrs = AllButAnalyze | piAnalyze)
    {
        Meta = ZqCreateDialectMetadata(AKind);
        TZqPhysPreprocessor P;
        P.ConnMetadata = Meta.Get();
        P.Params = &Params;
        P.Macros = &NewMacros;
        P.MacrosSource = &Macros;
        P.Instrs = AInstrs;
        P.Source = AText;
        P.Execute();
        return {P.Destination(), P.CommandKind(), P.FromObjectName(), P.OrderByPos(), P.ValuesPos()};
    }
    int ErrorOf(const std::string &AText)
    {
        try {
            Run(AText);
        } catch (const EZqException &E) {
            return E.ErrorCode();
        }
        return 0;
    }
    TZqIntfPtr<TZqPhysConnectionMetadata> Meta;
    TZqParams Params;
    TZqMacros Macros, NewMacros;
};

} // namespace

TEST_F(Preprocessor, ApplicationStatementsReachTheDriverAsExpected)
{
    const std::map<std::string, TZqPhysCommandKind> Kinds = {{"select", skSelect}, {"insert", skInsert},
                                                             {"update", skUpdate}, {"delete", skDelete},
                                                             {"create", skCreate}, {"drop", skDrop}};
    ASSERT_FALSE(testsupport::SentStatements().empty());
    // The database path as on the program's home platform (a drive colon
    // inside double quotes) and as here (no colon at all); neither may turn
    // into a parameter marker.
    for (const std::string Db : {"D:\\data\\black2007.mdb", "/data/black2007.mdb"}) {
        for (const testsupport::TSentStatement &S : testsupport::SentStatements()) {
            SCOPED_TRACE(S.Name + " on " + Db);
            Params.Clear();
            const TRun R = Run(testsupport::WithDatabase(S.Text, Db));
            EXPECT_EQ(R.Text, testsupport::WithDatabase(S.Preprocessed, Db));
            EXPECT_EQ(R.Kind, Kinds.at(S.Kind));
            if (R.Kind == skSelect) {
                EXPECT_EQ(R.From, testsupport::WithDatabase(S.FromObject, Db));
            }
            EXPECT_EQ(Params.Count(), 0); // no statement of the program carries a named marker
        }
    }
}

TEST_F(Preprocessor, ClausePositionsCountLineBreaksTwice)
{
    const TRun R = Run("Select * from Cast_Titles where ID_Cruise = 17 order by Date_Cast, Time_Cast");
    EXPECT_EQ(R.OrderBy, 48); // "order" starts at character 48
    const TRun I = Run("INSERT INTO t (a)\nVALUES (1)");
    EXPECT_EQ(I.Kind, skInsert);
    EXPECT_EQ(I.Values, 19 + 1); // character 19, one line feed before it
    EXPECT_EQ(Run("SELECT a FROM t WHERE b IN (SELECT c FROM u ORDER BY c)").OrderBy, 0);
    EXPECT_EQ(Run("SELECT a FROM [My Table] x").From, "[My Table]");
}

TEST_F(Preprocessor, MarkersOnPositionalAndNamedDialects)
{
    const TRun R = Run("SELECT * FROM t WHERE a = :A OR b = :A");
    EXPECT_EQ(R.Text, "SELECT * FROM t WHERE a = ? OR b = ?");
    ASSERT_EQ(Params.Count(), 2);
    EXPECT_EQ(Params.Items(0)->Name(), "A");
    EXPECT_EQ(Params.Items(1)->Name(), "A");

    Params.Clear();
    const TRun O = Run("SELECT * FROM t WHERE a = :A OR b = :a", mkOracle);
    EXPECT_EQ(O.Text, "SELECT * FROM t WHERE a = :A OR b = :A");
    EXPECT_EQ(Params.Count(), 1);

    // A name as long as the dialect's limit is cut so that the marker, colon
    // and index included, is exactly that long.
    Params.Clear();
    const std::string Long(30, 'X');
    EXPECT_EQ(Run("SELECT :" + Long + " FROM t", mkOracle).Text, "SELECT :" + std::string(27, 'X') + "_1 FROM t");
}

TEST_F(Preprocessor, ColonsCaretsAndQuotedPlaces)
{
    EXPECT_EQ(Run("BEGIN x := 1; END").Text, "BEGIN x := 1; END");
    EXPECT_EQ(Run("SELECT a::int FROM t").Text, "SELECT a:int FROM t");
    EXPECT_EQ(Run("SELECT '10:30' FROM t").Text, "SELECT '10:30' FROM t");
    EXPECT_EQ(Run("SELECT a FROM t -- :x\nWHERE b = 1").Text, "SELECT a FROM t -- :x\nWHERE b = 1");
    EXPECT_EQ(Run("SELECT /* :x */ a FROM [:t]").Text, "SELECT /* :x */ a FROM [:t]");
    EXPECT_EQ(Run("SELECT \"a:b\" FROM t").Text, "SELECT \"a:b\" FROM t");
    EXPECT_EQ(Run("SELECT a^:b FROM t").Text, "SELECT a:b FROM t");
    EXPECT_EQ(Params.Count(), 0);
    EXPECT_EQ(Run("SELECT a\r\nFROM t").Text, "SELECT a\nFROM t");
}

TEST_F(Preprocessor, MacrosSubstituteOnlyWhatTheyKnow)
{
    TZqMacro *W = Macros.Add();
    W->SetName("WHERE");
    W->SetValue(rtl::Variant(std::string("ID_Cruise = 17")));
    EXPECT_EQ(Run("SELECT * FROM Cast_Titles WHERE !WHERE").Text, "SELECT * FROM Cast_Titles WHERE ID_Cruise = 17");
    // Jet's "&" concatenation and an "&" inside a literal survive.
    EXPECT_EQ(Run("SELECT Cruise_Name & ' ' & MAR FROM t WHERE n = 'A&B'").Text,
              "SELECT Cruise_Name & ' ' & MAR FROM t WHERE n = 'A&B'");
    EXPECT_EQ(Run("SELECT a&b FROM t").Text, "SELECT a&b FROM t");
    EXPECT_EQ(Run("SELECT 'x!!y' FROM t").Text, "SELECT 'x!y' FROM t");
    // An identifier macro has its quotes doubled inside the escape it renders.
    TZqMacro *Tab = Macros.Add();
    Tab->SetName("TAB");
    Tab->SetDataType(mdIdentifier);
    Tab->SetValue(rtl::Variant(std::string("PTS_Data")));
    EXPECT_EQ(Run("SELECT * FROM &TAB").Text, "SELECT * FROM [PTS_Data]");
    // A macro whose text names itself is expanded a bounded number of times.
    TZqMacro *Self = Macros.Add();
    Self->SetName("SELF");
    Self->SetValue(rtl::Variant(std::string("x !SELF")));
    const std::string Text = Run("SELECT !SELF FROM t").Text;
    EXPECT_NE(Text.find("x x x"), std::string::npos);
    EXPECT_NE(Text.find("!SELF"), std::string::npos);
}

TEST_F(Preprocessor, EscapesThroughTheAccessDialect)
{
    EXPECT_EQ(Run("SELECT * FROM t WHERE d = {d '2001-02-03'}").Text,
              "SELECT * FROM t WHERE d = DATEVALUE('2001-02-03')");
    EXPECT_EQ(Run("SELECT * FROM t WHERE d = {ts '2001-02-03 04:05:06'}").Text,
              "SELECT * FROM t WHERE d = CDATE('2001-02-03 04:05:06')");
    EXPECT_EQ(Run("SELECT {fn LENGTH(s)}, {fn UCASE(name)} FROM t").Text, "SELECT LEN(s), {fn UCASE(name)} FROM t");
    EXPECT_EQ(Run("SELECT {fn IFNULL(a, 0)} FROM t").Text, "SELECT IIF(a IS NULL, 0, a) FROM t");
    // Arguments holding parentheses are read by depth.
    EXPECT_EQ(Run("SELECT {fn IFNULL(Max(a), (1 + 2))} FROM t").Text,
              "SELECT IIF(Max(a) IS NULL, (1 + 2), Max(a)) FROM t");
    EXPECT_EQ(Run("SELECT {fn LENGTH({fn LCASE(s)})} FROM t").Text, "SELECT LEN({fn LCASE(s)}) FROM t");
    EXPECT_EQ(Run("SELECT {id 'My Table'}.a FROM t").Text, "SELECT [My Table].a FROM t");
    EXPECT_EQ(Run("SELECT * FROM t WHERE n LIKE {escape '\\' 'a\\%'}").Text, "SELECT * FROM t WHERE n LIKE 'a[%]'");
    EXPECT_EQ(Run("SELECT {iif(MSACCESS, 1, 2)} FROM t").Text, "SELECT 1 FROM t");
    // A GUID in braces and a lone closing brace are text.
    EXPECT_EQ(Run("SELECT '{3E9B315B-F456}' FROM t").Text, "SELECT '{3E9B315B-F456}' FROM t");
    EXPECT_EQ(Run("SELECT {3E9B315B-F456} FROM t").Text, "SELECT {3E9B315B-F456} FROM t");
    EXPECT_EQ(Run("SELECT a } b FROM t").Text, "SELECT a } b FROM t");
}

TEST_F(Preprocessor, EscapesNestedPastTheLimitAreRefusedNotExpanded)
{
    const auto Nest = [](const std::string &Open, const std::string &Inner, const std::string &Close, int Levels) {
        std::string Text;
        for (int i = 0; i < Levels; ++i) Text += Open;
        Text += Inner;
        for (int i = 0; i < Levels; ++i) Text += Close;
        return Text;
    };
    // Eight levels still translate, here through Oracle's UPPER.
    EXPECT_EQ(Run("SELECT " + Nest("{fn UCASE(", "a", ")}", 8) + " FROM t", mkOracle).Text,
              "SELECT " + Nest("UPPER(", "a", ")", 8) + " FROM t");
    // Oracle's time literal holds its value twice: thirty levels would be a
    // thousand million copies of it.
    int Code = 0;
    try {
        Run("SELECT " + Nest("{t ", "'10:00:00'", "}", 30) + " FROM t", mkOracle);
    } catch (const EZqException &E) {
        Code = E.ErrorCode();
    }
    EXPECT_EQ(Code, 332);
}

TEST_F(Preprocessor, Errors)
{
    EXPECT_EQ(ErrorOf("SELECT {fn LEN s} FROM t"), 321);
    EXPECT_EQ(ErrorOf("SELECT {d '2001-01-01' FROM t"), 321);
    EXPECT_EQ(ErrorOf("SELECT {zz 1} FROM t"), 324);
    EXPECT_EQ(ErrorOf("SELECT :" + std::string(300, 'a') + " FROM t"), 323);
    EXPECT_EQ(ErrorOf("SELECT :[unclosed FROM t"), 323);
    TZqPhysPreprocessor P;
    P.Instrs = piParamCreate;
    P.Source = "SELECT :a";
    try {
        P.Execute();
        FAIL();
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 322);
        EXPECT_EQ(std::string(E.what()), "[Vexa][Phys]-322. Cannot preprocess command because not all parameters are defined");
    }
}

TEST_F(Preprocessor, MySQLConditionalCommentIsText)
{
    EXPECT_EQ(Run("SELECT /*! :a */ 1", mkMySQL).Text, "SELECT /*! ? */ 1");
    Params.Clear();
    EXPECT_EQ(Run("SELECT /*! :a */ 1", mkMSAccess).Text, "SELECT /*! :a */ 1");
}

TEST_F(Preprocessor, MangledTextsFailCleanly)
{
    // Fixed-seed pieces of the escape syntax in random order: every run
    // either gives a text or raises the library's error, never more.
    const char *const Pieces[] = {"SELECT", " ", ":", "::", ":a", "!", "&", "&m", "!m", "{", "}", "{fn", "{d",
                                  "{iif(", "{escape", "'", "\"", "[", "]", "(", ")", ",", "--", "\n", "/*", "*/",
                                  "^", "\r", "{3E9B-", "ORDER BY", "VALUES", "FROM", "x"};
    TZqMacro *M = Macros.Add();
    M->SetName("M");
    M->SetValue(rtl::Variant(std::string("{fn UCASE(:p)}")));
    uint32_t Seed = 20070703;
    for (int i = 0; i < 3000; ++i) {
        std::string Text;
        const int N = 1 + int((Seed = Seed * 1103515245u + 12345u) >> 16) % 16;
        for (int k = 0; k < N; ++k) Text += Pieces[((Seed = Seed * 1103515245u + 12345u) >> 16) % std::size(Pieces)];
        Params.Clear();
        try {
            Run(Text);
        } catch (const EZqException &) {
        }
    }
}

// A command reads each new text twice (on the change and on the prepare):
// the second reading of a text must be the first one's in every part, and
// must still follow the dialect and the markers of the text it is given.
TEST_F(Preprocessor, TextsReadAgainGiveTheSameReadingForTheirOwnDialect)
{
    const std::string Text = "SELECT ID_Cast FROM \"Cast Titles\" c ORDER BY ID_Cast";
    for (int Round = 0; Round < 2; ++Round) {
        SCOPED_TRACE(Round);
        const TRun Access = Run(Text);
        EXPECT_EQ(Access.Text, Text);
        EXPECT_EQ(Access.Kind, skSelect);
        EXPECT_EQ(Access.From, "\"Cast");
        EXPECT_EQ(Access.OrderBy, 37);
        const TRun Pg = Run(Text, mkOracle);
        EXPECT_EQ(Pg.From, "\"Cast Titles\"");
        EXPECT_EQ(Pg.OrderBy, 37);
        EXPECT_EQ(Run(Text, mkMSAccess, AllButAnalyze).Kind, skOther); // nothing analysed, nothing told
    }
    Params.Clear();
    EXPECT_EQ(Run("UPDATE PTS_Data Set FPRES=1 where ID_Cast = 4711and PRES = 10.2").Kind, skUpdate);
    EXPECT_EQ(Params.Count(), 0);
    const TRun Marked = Run("UPDATE PTS_Data Set FPRES=:F where ID_Cast = 4711and PRES = 10.2");
    EXPECT_EQ(Marked.Text, "UPDATE PTS_Data Set FPRES=? where ID_Cast = 4711and PRES = 10.2");
    EXPECT_EQ(Params.Count(), 1);
    EXPECT_EQ(Run("UPDATE PTS_Data Set FPRES=1 where ID_Cast = 4711and PRES = 10.2").Kind, skUpdate);
}

// Texts with nothing to rewrite take a shorter reading; a CR at the end
// sends the same text through the whole scanner (a CR never reaches the
// output), so both readings must agree in every part.
TEST_F(Preprocessor, TextsWithoutSpecialsReadAsTheWholeScannerReadsThem)
{
    for (const TZqRDBMSKind Kind : {mkMSAccess, mkOracle, mkMySQL}) {
        for (const std::string Text :
             {"UPDATE PTS_Data Set FPRES=1, FTEMP=2 where ID_Cast = 4711and PRES = -10.2",
              "Select * from Cast_Titles where ID_Cruise = 17 order by Date_Cast, Time_Cast",
              "select a,b from\n\tStations,Casts where x = 1\norder by a",
              "SELECT a FROM\x07T1 x ORDER  BY a", "INSERT INTO t\nVALUES 1, 2", " 12 3delete from t",
              "froM t", "select\nfrom", "SELECT a FROMAGE b order by c values d", "a - b / c * d",
              "select x, y from t where a = b/2-1", "\xc3\xa4 select \xc3\xa4 from \xc3\xb6", "  ", "x"}) {
            SCOPED_TRACE(Text);
            const TRun Bare = Run(Text, Kind);
            const TRun Full = Run(Text + "\r", Kind);
            EXPECT_EQ(Bare.Text, Text);
            EXPECT_EQ(Full.Text, Text);
            EXPECT_EQ(Bare.Kind, Full.Kind);
            EXPECT_EQ(Bare.From, Full.From);
            EXPECT_EQ(Bare.OrderBy, Full.OrderBy);
            EXPECT_EQ(Bare.Values, Full.Values);
        }
    }
    // Texts with specials keep the full reading's results.
    EXPECT_EQ(Run("select a from t -- order by a").OrderBy, 0);
    EXPECT_EQ(Run("select a from t /* order by a */").OrderBy, 0);
    EXPECT_EQ(Run("select a from (select b from u order by b) v").From, "(select b from u order by b)");
    EXPECT_EQ(Run("select 'order by' from t").OrderBy, 0);
}
