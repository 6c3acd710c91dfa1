// Jet SQL to SQLite SQL: tokenizer, token groups and the rewrites.
#include "platform/accessodbc/JetSqlTranslator.h"

#include "platform/accessodbc/JetDate.h"
#include "platform/rtl/CLocaleText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <climits>

namespace jet {

namespace {

// Jet's own numbers for the errors the translator finds.
constexpr int NativeSyntax = -3100;
constexpr int NativeSyntaxInExpr = -3075;
constexpr int NativeAfterEnd = -3142;
constexpr int NativeFieldDef = -3292;
constexpr int NativeNotSupported = -3135;
constexpr int NativeUndefinedFunction = -3085;

enum class TK { Ident, Name, String, Number, Param, Punct, Raw };

struct TToken {
    TK Kind;
    std::string Text;   // identifier or name without quotes, string value, number text, punctuation
    bool OdbcFn = false; // identifier right after "{fn"
    bool DateLiteral = false; // a number that was written as a date
    int Lit = -1;        // position among the statement's literals, -1 for tokens the translator made
    bool Lift = false;   // emitted as a parameter bound to the literal's value
    int Marker = 0;      // a user's marker numbered ?n by the date pass (it may write one twice), 0 otherwise
};

struct TNode {
    bool IsGroup = false;
    TToken Tok{TK::Raw, {}};
    std::vector<TNode> Items; // group contents (without the parentheses)
};

std::string Upper(std::string S) { return UpperAscii(std::move(S)); }

// ASCII by the byte, whatever the program's locale (every byte of a UTF-8
// sequence is a name character anyway), from a table of byte classes: a
// key is read from every text a program sends, byte by byte.
enum : unsigned char { CharDigit = 1, CharIdentStart = 2, CharIdent = 4 };
struct TCharClasses {
    unsigned char Of[256] = {};
    constexpr TCharClasses()
    {
        for (int C = 0; C < 256; ++C) {
            const bool Letter = ((C | 0x20) >= 'a' && (C | 0x20) <= 'z');
            const bool Digit = C >= '0' && C <= '9';
            const bool Start = Letter || C == '_' || C >= 0x80;
            Of[C] = static_cast<unsigned char>((Digit ? CharDigit : 0) | (Start ? CharIdentStart : 0) |
                                               (Start || Digit || C == '$' ? CharIdent : 0));
        }
    }
};
constexpr TCharClasses CharClasses;

bool IsAsciiDigit(unsigned char C) { return CharClasses.Of[C] & CharDigit; }
bool IsIdentStart(unsigned char C) { return CharClasses.Of[C] & CharIdentStart; }
bool IsIdentChar(unsigned char C) { return CharClasses.Of[C] & CharIdent; }

std::string FormatNumber(double V)
{
    std::string S = rtl::CFloatText(V, 'g', 17);
    // Keep a decimal point so that SQLite reads the value as REAL.
    if (S.find_first_of(".eEn") == std::string::npos)
        S += ".0";
    return S;
}

// A number token's value ("." the decimal point, whatever the locale).
double NumberValue(const std::string &AText)
{
    double V = 0;
    rtl::CScanFloat(AText.data(), AText.data() + AText.size(), V);
    return V;
}

// How SQLite reads a literal: 'S' text, 'D' a date (a day number, real),
// 'R' real, 'I' a 64-bit integer, 'H' an integer too large for one (read
// as a real, unless a minus sign makes it the smallest integer: never bound).
char LiteralKindOf(const TToken &T)
{
    if (T.Kind == TK::String)
        return 'S';
    if (T.DateLiteral)
        return 'D';
    if (T.Text.find_first_of(".eE") != std::string::npos)
        return 'R';
    errno = 0;
    (void)std::strtoll(T.Text.c_str(), nullptr, 10);
    return errno == ERANGE ? 'H' : 'I';
}

[[noreturn]] void Syntax(const std::string &AMsg, int ANative = NativeSyntax)
{
    throw TJetSqlError("42000", ANative, AMsg);
}

// -------------------------------------------------------------- tokenizer

class TTokenizer {
public:
    explicit TTokenizer(const std::string &S) : FS(S) {}

    std::vector<TToken> Run()
    {
        std::vector<TToken> Out;
        bool NextIsFn = false;
        while (true) {
            SkipBlanks();
            if (FP >= FS.size())
                break;
            const unsigned char C = static_cast<unsigned char>(FS[FP]);
            if (C == '\'') {
                Out.push_back({TK::String, ReadQuoted('\'', '\'')});
            } else if (C == '"') {
                Out.push_back({TK::Name, ReadQuoted('"', '"')});
            } else if (C == '[') {
                const size_t E = FS.find(']', FP + 1);
                if (E == std::string::npos)
                    Syntax("Syntax error: a name in brackets is not closed ('" + FS.substr(FP) + "').");
                Out.push_back({TK::Name, FS.substr(FP + 1, E - FP - 1)});
                FP = E + 1;
            } else if (C == '#') {
                const size_t E = FS.find('#', FP + 1);
                if (E == std::string::npos)
                    Syntax("Syntax error in date in query expression '" + FS.substr(FP) + "'.", NativeSyntaxInExpr);
                const std::string Lit = FS.substr(FP + 1, E - FP - 1);
                FP = E + 1;
                Out.push_back({TK::Number, DateLiteral(Lit, "#" + Lit + "#"), false, true});
            } else if (std::isdigit(C) || (C == '.' && FP + 1 < FS.size() &&
                                             std::isdigit(static_cast<unsigned char>(FS[FP + 1])) &&
                                             !(Out.size() && (Out.back().Kind == TK::Ident || Out.back().Kind == TK::Name)))) {
                Out.push_back({TK::Number, ReadNumber()});
            } else if (IsIdentStart(C)) {
                const size_t B = FP;
                while (FP < FS.size() && IsIdentChar(static_cast<unsigned char>(FS[FP])))
                    ++FP;
                TToken T{TK::Ident, FS.substr(B, FP - B)};
                T.OdbcFn = NextIsFn;
                NextIsFn = false;
                Out.push_back(T);
            } else if (C == '@' && FS.compare(FP, 2, "@@") == 0) {
                const size_t B = FP;
                FP += 2;
                while (FP < FS.size() && IsIdentChar(static_cast<unsigned char>(FS[FP])))
                    ++FP;
                Out.push_back({TK::Ident, FS.substr(B, FP - B)});
            } else if (C == '?') {
                Out.push_back({TK::Param, "?"});
                ++FP;
            } else if (C == '{') {
                ++FP;
                SkipBlanks();
                const size_t B = FP;
                while (FP < FS.size() && (std::isalpha(static_cast<unsigned char>(FS[FP])) || FS[FP] == '?' || FS[FP] == '='))
                    ++FP;
                const std::string Kw = Upper(FS.substr(B, FP - B));
                if (Kw == "D" || Kw == "T" || Kw == "TS") {
                    SkipBlanks();
                    if (FP >= FS.size() || FS[FP] != '\'')
                        Syntax("Syntax error in ODBC escape '{" + Kw + "'.");
                    const std::string Lit = ReadQuoted('\'', '\'');
                    SkipBlanks();
                    if (FP >= FS.size() || FS[FP] != '}')
                        Syntax("Syntax error: ODBC escape '{" + Kw + " ...' is not closed.");
                    ++FP;
                    Out.push_back({TK::Number, DateLiteral(Lit, "{" + Kw + " '" + Lit + "'}"), false, true});
                } else if (Kw == "FN") {
                    FBraces.push_back('f');
                    NextIsFn = true;
                } else if (Kw == "OJ") {
                    FBraces.push_back('o');
                } else if (Kw == "ESCAPE") {
                    FBraces.push_back('e');
                    Out.push_back({TK::Ident, "ESCAPE"});
                } else if (Kw == "CALL" || Kw.rfind("?=", 0) == 0) {
                    throw TJetSqlError("HYC00", NativeNotSupported,
                                       "Procedure calls ({call ...}) are not supported: a station database has no procedures.");
                } else {
                    Syntax("Unknown ODBC escape '{" + Kw + "'.");
                }
            } else if (C == '}') {
                if (FBraces.empty())
                    Syntax("Syntax error: '}' without an ODBC escape.");
                FBraces.pop_back();
                ++FP;
            } else {
                static const char *Two[] = {"<=", ">=", "<>", "!=", "==", "||"};
                std::string P(1, static_cast<char>(C));
                for (const char *T : Two)
                    if (FS.compare(FP, 2, T) == 0)
                        P = T;
                if (std::string("(),.;=<>+-*/&\\^%!").find(static_cast<char>(C)) == std::string::npos)
                    Syntax(std::string("Syntax error: unexpected character '") + static_cast<char>(C) + "'.");
                FP += P.size();
                Out.push_back({TK::Punct, P});
            }
        }
        if (!FBraces.empty())
            Syntax("Syntax error: an ODBC escape is not closed with '}'.");
        return Out;
    }

private:
    const std::string &FS;
    size_t FP = 0;
    std::vector<char> FBraces;

    void SkipBlanks()
    {
        while (FP < FS.size() && (FS[FP] == ' ' || FS[FP] == '\t' || FS[FP] == '\r' || FS[FP] == '\n'))
            ++FP;
    }

    std::string ReadQuoted(char AOpen, char AClose)
    {
        (void)AOpen;
        std::string V;
        size_t P = FP + 1;
        while (true) {
            if (P >= FS.size())
                Syntax("Syntax error in string in query expression '" + FS.substr(FP) + "'.", NativeSyntaxInExpr);
            if (FS[P] == AClose) {
                if (P + 1 < FS.size() && FS[P + 1] == AClose) {
                    V += AClose;
                    P += 2;
                    continue;
                }
                break;
            }
            V += FS[P++];
        }
        FP = P + 1;
        return V;
    }

    std::string ReadNumber()
    {
        const size_t B = FP;
        while (FP < FS.size() && std::isdigit(static_cast<unsigned char>(FS[FP])))
            ++FP;
        if (FP < FS.size() && FS[FP] == '.') {
            ++FP;
            while (FP < FS.size() && std::isdigit(static_cast<unsigned char>(FS[FP])))
                ++FP;
        }
        // An exponent only when digits follow: "4711and" and "1e" stay apart.
        if (FP < FS.size() && (FS[FP] == 'e' || FS[FP] == 'E')) {
            size_t Q = FP + 1;
            if (Q < FS.size() && (FS[Q] == '+' || FS[Q] == '-'))
                ++Q;
            if (Q < FS.size() && std::isdigit(static_cast<unsigned char>(FS[Q]))) {
                FP = Q;
                while (FP < FS.size() && std::isdigit(static_cast<unsigned char>(FS[FP])))
                    ++FP;
            }
        }
        return FS.substr(B, FP - B);
    }

    static std::string DateLiteral(const std::string &ALit, const std::string &AShown)
    {
        TJetDateTime V;
        if (ParseJetDateText(ALit, V) == TJetDateParts::None)
            Syntax("Syntax error in date in query expression '" + AShown + "'.", NativeSyntaxInExpr);
        return FormatNumber(EncodeJetDate(V));
    }
};

// ---------------------------------------------------------------- groups

// Nesting deeper than this is refused, as Jet refuses a query that is too
// complex; it also bounds the recursion of every later pass.
constexpr int MaxNesting = 256;

std::vector<TNode> BuildGroups(const std::vector<TToken> &ATokens, size_t &AIndex, bool AInner, int ADepth = 0)
{
    if (ADepth > MaxNesting)
        throw TJetSqlError("42000", -3360, "Query is too complex: parentheses are nested too deeply.");
    std::vector<TNode> Items;
    while (AIndex < ATokens.size()) {
        const TToken &T = ATokens[AIndex];
        if (T.Kind == TK::Punct && T.Text == "(") {
            ++AIndex;
            TNode G;
            G.IsGroup = true;
            G.Items = BuildGroups(ATokens, AIndex, true, ADepth + 1);
            Items.push_back(std::move(G));
            continue;
        }
        if (T.Kind == TK::Punct && T.Text == ")") {
            if (!AInner)
                Syntax("Syntax error: ')' without '('.");
            ++AIndex;
            return Items;
        }
        TNode N;
        N.Tok = T;
        Items.push_back(std::move(N));
        ++AIndex;
    }
    if (AInner)
        Syntax("Syntax error: missing ')'.");
    return Items;
}

bool IsTok(const TNode &N, TK AKind, const char *AText = nullptr)
{
    if (N.IsGroup || N.Tok.Kind != AKind)
        return false;
    return !AText || N.Tok.Text == AText;
}
// AWord in upper case; compared in place, since every pass asks this of
// every token.
bool IsKw(const TNode &N, const char *AWord)
{
    if (N.IsGroup || N.Tok.Kind != TK::Ident)
        return false;
    const std::string &T = N.Tok.Text;
    size_t i = 0;
    for (; i < T.size() && AWord[i]; ++i) {
        const char C = T[i] >= 'a' && T[i] <= 'z' ? static_cast<char>(T[i] - 'a' + 'A') : T[i];
        if (C != AWord[i])
            return false;
    }
    return i == T.size() && !AWord[i];
}
bool IsPunct(const TNode &N, const char *AText) { return IsTok(N, TK::Punct, AText); }
bool IsNameTok(const TNode &N) { return !N.IsGroup && (N.Tok.Kind == TK::Ident || N.Tok.Kind == TK::Name); }

TNode Tok(TK AKind, std::string AText)
{
    TNode N;
    N.Tok = {AKind, std::move(AText)};
    return N;
}
TNode Group(std::vector<TNode> AItems)
{
    TNode N;
    N.IsGroup = true;
    N.Items = std::move(AItems);
    return N;
}

std::vector<std::vector<TNode>> SplitCommas(const std::vector<TNode> &AItems)
{
    std::vector<std::vector<TNode>> Parts(1);
    for (const auto &N : AItems) {
        if (IsPunct(N, ","))
            Parts.emplace_back();
        else
            Parts.back().push_back(N);
    }
    if (Parts.size() == 1 && Parts[0].empty())
        Parts.clear();
    return Parts;
}

// ----------------------------------------------------------- function map

struct TFuncMap {
    std::map<std::string, std::string> Jet, Odbc;
    TFuncMap()
    {
        for (const char *N : {"MONTH", "YEAR", "DAY", "HOUR", "MINUTE", "SECOND", "WEEKDAY", "DATEVALUE", "TIMEVALUE",
                              "CDATE", "DATEPART", "DATEADD", "DATEDIFF", "DATESERIAL", "TIMESERIAL", "LEN", "MID",
                              "LEFT", "RIGHT", "INSTR", "UCASE", "LCASE", "TRIM", "LTRIM", "RTRIM", "INT", "FIX",
                              "ABS", "LOG", "EXP", "SQR", "SGN", "ROUND", "NZ", "NOW", "DATE", "TIME", "VAL", "CSTR",
                              "CINT", "CLNG", "CDBL", "CSNG", "CBOOL", "SPACE", "ISNULL", "ASC", "CHR", "STRCOMP",
                              "FIRST", "LAST", "STDEV", "STDEVP", "VAR", "VARP", "ATN", "SIN", "COS", "TAN"})
            Jet[N] = "jet_" + std::string(N);
        // ODBC scalar functions of {fn ...} escapes.
        const std::pair<const char *, const char *> O[] = {
            {"UCASE", "UCASE"}, {"LCASE", "LCASE"}, {"LENGTH", "LEN"}, {"CHAR_LENGTH", "LEN"},
            {"CHARACTER_LENGTH", "LEN"}, {"SUBSTRING", "MID"}, {"LEFT", "LEFT"}, {"RIGHT", "RIGHT"},
            {"LTRIM", "LTRIM"}, {"RTRIM", "RTRIM"}, {"CONCAT", "CONCAT"}, {"LOCATE", "LOCATE"},
            {"NOW", "NOW"}, {"CURDATE", "DATE"}, {"CURTIME", "TIME"}, {"CURRENT_DATE", "DATE"},
            {"CURRENT_TIME", "TIME"}, {"CURRENT_TIMESTAMP", "NOW"}, {"YEAR", "YEAR"}, {"MONTH", "MONTH"},
            {"DAYOFMONTH", "DAY"}, {"HOUR", "HOUR"}, {"MINUTE", "MINUTE"}, {"SECOND", "SECOND"},
            {"DAYOFWEEK", "WEEKDAY"}, {"DAYOFYEAR", "DAYOFYEAR"}, {"QUARTER", "QUARTER"}, {"WEEK", "WEEK"},
            {"MONTHNAME", "MONTHNAME"}, {"DAYNAME", "DAYNAME"}, {"ABS", "ABS"}, {"FLOOR", "INT"},
            {"CEILING", "CEILING"}, {"ROUND", "ROUND"}, {"MOD", "MOD"}, {"SQRT", "SQR"}, {"EXP", "EXP"},
            {"LOG", "LOG"}, {"LOG10", "LOG10"}, {"POWER", "POWER"}, {"SIGN", "SGN"}, {"PI", "PI"},
            {"SIN", "SIN"}, {"COS", "COS"}, {"TAN", "TAN"}, {"ATAN", "ATN"}, {"DEGREES", "DEGREES"},
            {"RADIANS", "RADIANS"}, {"TRUNCATE", "FIX"}, {"DATABASE", "DATABASE"}, {"USER", "USER"},
            {"IFNULL", "NZ"}, {"CONVERT", "CONVERT"}, {"SPACE", "SPACE"}, {"ASCII", "ASC"}, {"CHAR", "CHR"},
            {"TIMESTAMPADD", "TIMESTAMPADD"}, {"TIMESTAMPDIFF", "TIMESTAMPDIFF"}};
        for (const auto &P : O)
            Odbc[P.first] = "jet_" + std::string(P.second);
        Odbc["REPLACE"] = "replace";
        // Aggregates and functions SQLite computes as Jet does.
        Native = {"COUNT", "SUM", "AVG", "MIN", "MAX", "REPLACE"};
    }
    std::set<std::string> Native;
};

bool IsSqlKeyword(const std::string &U)
{
    static const std::set<std::string> K = {
        "SELECT", "FROM", "WHERE", "AND", "OR", "NOT", "IN", "EXISTS", "VALUES", "ON", "JOIN", "AS", "SET",
        "HAVING", "BY", "INTO", "TABLE", "KEY", "UNIQUE", "CHECK", "REFERENCES", "DISTINCT", "DISTINCTROW", "ALL",
        "UNION", "LIKE", "BETWEEN", "IS", "THEN", "ELSE", "WHEN", "CASE", "END", "COLUMN", "ADD", "TOP", "LIMIT",
        "XOR", "EQV", "IMP", "MOD", "ESCAPE", "INNER", "OUTER", "GROUP", "ORDER", "DELETE", "UPDATE", "INSERT",
        "CREATE", "DROP", "ALTER", "CONSTRAINT", "PRIMARY", "FOREIGN", "INDEX", "DEFAULT", "NULL", "ANY", "SOME",
        "ASC", "DESC", "WITH", "PERCENT"};
    return K.count(U) > 0;
}

const TFuncMap &Funcs()
{
    static const TFuncMap M;
    return M;
}

// Keywords and operators that end an operand of '&'.
bool IsOperandBoundary(const TNode &N)
{
    if (N.IsGroup)
        return false;
    if (N.Tok.Kind == TK::Punct) {
        static const std::set<std::string> P = {",", ";", "=", "<", ">", "<=", ">=", "<>", "!=", "=="};
        return P.count(N.Tok.Text) > 0;
    }
    if (N.Tok.Kind == TK::Ident) {
        static const std::set<std::string> K = {
            "AND", "OR", "NOT", "LIKE", "BETWEEN", "IN", "IS", "SELECT", "FROM", "WHERE", "AS", "ON", "SET",
            "ORDER", "GROUP", "BY", "HAVING", "THEN", "ELSE", "WHEN", "END", "CASE", "INTO", "VALUES", "UNION",
            "ALL", "DISTINCT", "TOP", "ASC", "DESC", "JOIN", "INNER", "LEFT", "RIGHT", "OUTER", "LIMIT", "ESCAPE",
            "XOR", "EQV", "IMP"};
        return K.count(Upper(N.Tok.Text)) > 0;
    }
    return false;
}

// -------------------------------------------------------------- translator

class TTranslator {
public:
    TTranslator(const TJetTranslateContext &AContext) : FCtx(AContext) {}

    TJetTranslation Run(const std::string &ASql)
    {
        TTokenizer Tz(ASql);
        std::vector<TToken> Tokens = Tz.Run();
        // One statement: a single trailing ';' is allowed, anything after it is not.
        for (size_t i = 0; i < Tokens.size(); ++i) {
            if (Tokens[i].Kind == TK::Punct && Tokens[i].Text == ";") {
                if (i + 1 != Tokens.size())
                    throw TJetSqlError("42000", NativeAfterEnd, "Characters found after end of SQL statement.");
                Tokens.pop_back();
                break;
            }
        }
        if (Tokens.empty())
            Syntax("Invalid SQL statement: the text is empty.");
        int Literal = 0;
        for (auto &T : Tokens)
            if (T.Kind == TK::String || T.Kind == TK::Number)
                T.Lit = Literal++;
        size_t Index = 0;
        std::vector<TNode> Top = BuildGroups(Tokens, Index, false);

        RemoveDatabaseQualifiers(Top);
        Statement(Top);
        if (FResult.Kind == TJetStatementKind::Select || FResult.Kind == TJetStatementKind::SelectInto)
            SelectItems(Top);
        if (!FCtx.CurrencyColumns.empty())
            Currency(Top);
        TruthStatement(Top);
        Transform(Top);
        using K = TJetStatementKind;
        const bool Dml = FResult.Kind == K::Select || FResult.Kind == K::SelectInto || FResult.Kind == K::Insert ||
                         FResult.Kind == K::Update || FResult.Kind == K::Delete;
        if (Dml && FCtx.DateColumns.empty())
            CollectOperandNames(Top, false);
        else if (Dml)
            DateReadings(Top);
        if (FCtx.LiftLiterals)
            LiftLiterals(Top);
        if (Dml)
            TextComparisons(Top, false);

        FResult.Sql = Emit(Top);
        return FResult;
    }

private:
    const TJetTranslateContext &FCtx;
    TJetTranslation FResult;

    // --- a table qualified by the database's own path
    static std::string StripExt(const std::string &P)
    {
        std::string U = Upper(P);
        for (const char *E : {".MDB", ".ACCDB"}) {
            const size_t L = std::char_traits<char>::length(E);
            if (U.size() > L && U.compare(U.size() - L, L, E) == 0)
                return P.substr(0, P.size() - L);
        }
        return P;
    }
    static bool LooksLikePath(const std::string &S)
    {
        return S.find('/') != std::string::npos || S.find('\\') != std::string::npos || StripExt(S) != S;
    }
    bool IsOpenDatabase(const std::string &AQualifier) const
    {
        const std::string Q = StripExt(AQualifier), D = StripExt(FCtx.DatabasePath);
        if (Q == D)
            return true;
        char *RQ = ::realpath(AQualifier.c_str(), nullptr);
        if (!RQ)
            RQ = ::realpath((Q + ".mdb").c_str(), nullptr);
        char *RD = ::realpath(FCtx.DatabasePath.c_str(), nullptr);
        const bool Same = RQ && RD && std::string(RQ) == RD;
        std::free(RQ);
        std::free(RD);
        return Same;
    }
    void RemoveDatabaseQualifiers(std::vector<TNode> &AItems)
    {
        for (size_t i = 0; i < AItems.size(); ++i) {
            if (AItems[i].IsGroup) {
                RemoveDatabaseQualifiers(AItems[i].Items);
                continue;
            }
            if (AItems[i].Tok.Kind == TK::Name && i + 2 < AItems.size() && IsPunct(AItems[i + 1], ".") &&
                IsNameTok(AItems[i + 2]) && LooksLikePath(AItems[i].Tok.Text)) {
                if (!IsOpenDatabase(AItems[i].Tok.Text))
                    throw TJetSqlError("HY000", -1811,
                                       "The statement names the database '" + AItems[i].Tok.Text +
                                           "', which is not the open database '" + FCtx.DatabasePath +
                                           "'; this driver reaches only the tables of the open database.");
                AItems.erase(AItems.begin() + static_cast<long>(i), AItems.begin() + static_cast<long>(i) + 2);
            }
        }
    }

    // The outermost select list: SELECT [DISTINCT|ALL] [TOP n] item, ... FROM
    void SelectItems(const std::vector<TNode> &T)
    {
        size_t i = 0;
        if (i < T.size() && IsKw(T[i], "SELECT"))
            ++i;
        else
            return;
        if (i < T.size() && (IsKw(T[i], "DISTINCT") || IsKw(T[i], "ALL") || IsKw(T[i], "DISTINCTROW")))
            ++i;
        if (i + 1 < T.size() && IsKw(T[i], "TOP"))
            i += 2;
        if (i < T.size() && IsKw(T[i], "PERCENT"))
            ++i;
        size_t E = i;
        while (E < T.size() && !IsKw(T[E], "FROM"))
            ++E;
        const std::vector<TNode> List(T.begin() + static_cast<long>(i), T.begin() + static_cast<long>(E));
        for (auto Item : SplitCommas(List)) {
            TJetSelectItem S;
            const TNode *Before = Item.size() >= 2 ? &Item[Item.size() - 2] : nullptr;
            if (Before && IsNameTok(Item.back()) &&
                (IsKw(*Before, "AS") || Before->IsGroup || IsTok(*Before, TK::Number) || IsTok(*Before, TK::String) ||
                 (IsNameTok(*Before) && !IsOperandBoundary(*Before)))) {
                S.HasAlias = true;
                Item.pop_back();
                if (!Item.empty() && IsKw(Item.back(), "AS"))
                    Item.pop_back();
            }
            const bool Plain = (Item.size() == 1 && (IsNameTok(Item[0]) || IsPunct(Item[0], "*"))) ||
                               (Item.size() == 3 && IsNameTok(Item[0]) && IsPunct(Item[1], ".") &&
                                (IsNameTok(Item[2]) || IsPunct(Item[2], "*")));
            S.Expression = !Plain;
            if (Item.size() == 2 && IsTok(Item[0], TK::Ident) && Item[1].IsGroup) {
                S.Function = Upper(Item[0].Tok.Text);
                const auto &A = Item[1].Items;
                if (A.size() == 1 && IsNameTok(A[0]))
                    S.ArgColumn = A[0].Tok.Text;
                else if (A.size() == 3 && IsNameTok(A[0]) && IsPunct(A[1], ".") && IsNameTok(A[2]))
                    S.ArgColumn = A[2].Tok.Text;
            }
            FResult.SelectItems.push_back(S);
        }
    }

    // --- statement-level forms
    void Statement(std::vector<TNode> &T)
    {
        const auto First = [&](size_t i) { return i < T.size() ? Upper(T[i].IsGroup ? "(" : T[i].Tok.Text) : ""; };
        const std::string K = First(0);
        if (K == "SELECT" || K == "(") {
            FResult.Kind = TJetStatementKind::Select;
            for (size_t i = 1; i + 1 < T.size(); ++i) {
                if (IsKw(T[i], "FROM"))
                    break;
                if (IsKw(T[i], "INTO") && IsNameTok(T[i + 1])) {
                    FResult.Kind = TJetStatementKind::SelectInto;
                    FResult.TargetTable = T[i + 1].Tok.Text;
                    T.erase(T.begin() + static_cast<long>(i), T.begin() + static_cast<long>(i) + 2);
                    break;
                }
            }
        } else if (K == "INSERT") {
            FResult.Kind = TJetStatementKind::Insert;
            if (T.size() > 2 && IsKw(T[1], "INTO") && IsNameTok(T[2])) {
                FResult.TargetTable = T[2].Tok.Text;
                // INSERT INTO Month (...) names a table, not the function.
                T[2].Tok.Kind = TK::Name;
            }
        } else if (K == "DELETE") {
            FResult.Kind = TJetStatementKind::Delete;
            // Jet writes DELETE * FROM t and DELETE t.* FROM t.
            size_t From = 1;
            while (From < T.size() && !IsKw(T[From], "FROM"))
                ++From;
            if (From < T.size()) {
                T.erase(T.begin() + 1, T.begin() + static_cast<long>(From));
                if (T.size() > 2 && IsNameTok(T[2]))
                    FResult.TargetTable = T[2].Tok.Text;
            }
        } else if (K == "UPDATE") {
            FResult.Kind = TJetStatementKind::Update;
            if (T.size() > 1 && T[1].IsGroup)
                UpdateOfSubselect(T);
            else if (T.size() > 1 && IsNameTok(T[1]))
                FResult.TargetTable = T[1].Tok.Text;
        } else if (K == "CREATE" && T.size() > 2 && IsKw(T[1], "TABLE")) {
            FResult.Kind = TJetStatementKind::CreateTable;
            CreateTable(T);
        } else if (K == "DROP" && T.size() > 2 && IsKw(T[1], "TABLE")) {
            FResult.Kind = TJetStatementKind::DropTable;
            if (IsNameTok(T[2]))
                FResult.TargetTable = T[2].Tok.Text;
        } else if (K == "ALTER" && T.size() > 4 && IsKw(T[1], "TABLE")) {
            AlterTable(T);
        } else if (K == "CREATE") {
            // CREATE [UNIQUE] INDEX i ON t (...): t is a table, never a call.
            for (size_t i = 1; i + 1 < T.size(); ++i)
                if (IsKw(T[i], "ON") && IsNameTok(T[i + 1])) {
                    T[i + 1].Tok.Kind = TK::Name;
                    break;
                }
        }
    }

    // UPDATE (SELECT * FROM t [alias] [WHERE c]) SET a = b [WHERE c2]
    //   -> UPDATE t [AS alias] SET a = b WHERE (c) [AND (c2)]
    void UpdateOfSubselect(std::vector<TNode> &T)
    {
        const std::vector<TNode> &S = T[1].Items;
        if (S.size() < 4 || !IsKw(S[0], "SELECT") || !IsPunct(S[1], "*") || !IsKw(S[2], "FROM") || !IsNameTok(S[3]))
            throw TJetSqlError("42000", NativeNotSupported,
                               "Only UPDATE (SELECT * FROM table WHERE ...) SET ... can update a subquery.");
        std::vector<TNode> Out{T[0], S[3]};
        size_t i = 4;
        if (i < S.size() && IsKw(S[i], "AS"))
            ++i;
        if (i < S.size() && IsNameTok(S[i]) && !IsKw(S[i], "WHERE")) {
            Out.push_back(Tok(TK::Ident, "AS"));
            Out.push_back(S[i]);
            ++i;
        }
        std::vector<TNode> Cond;
        if (i < S.size()) {
            if (!IsKw(S[i], "WHERE"))
                throw TJetSqlError("42000", NativeNotSupported,
                                   "Only UPDATE (SELECT * FROM table WHERE ...) SET ... can update a subquery.");
            Cond.assign(S.begin() + static_cast<long>(i) + 1, S.end());
        }
        FResult.TargetTable = S[3].Tok.Text;
        size_t j = 2;
        std::vector<TNode> Rest, Cond2;
        for (; j < T.size() && !IsKw(T[j], "WHERE"); ++j)
            Rest.push_back(T[j]);
        if (j < T.size())
            Cond2.assign(T.begin() + static_cast<long>(j) + 1, T.end());
        Out.insert(Out.end(), Rest.begin(), Rest.end());
        if (!Cond.empty() || !Cond2.empty()) {
            Out.push_back(Tok(TK::Ident, "WHERE"));
            if (!Cond.empty())
                Out.push_back(Group(Cond));
            if (!Cond.empty() && !Cond2.empty())
                Out.push_back(Tok(TK::Ident, "AND"));
            if (!Cond2.empty())
                Out.push_back(Group(Cond2));
        }
        T = std::move(Out);
    }

    // Column definition: name type [(size)] [constraints...] -> canonical type.
    std::vector<TNode> ColumnDefinition(const std::vector<TNode> &D, bool ARecord)
    {
        if (D.size() < 2 || !IsNameTok(D[0]) || !IsTok(D[1], TK::Ident))
            throw TJetSqlError("42000", NativeFieldDef, "Syntax error in field definition.");
        size_t i = 2;
        int Size = -1;
        if (i < D.size() && D[i].IsGroup) {
            const auto Args = SplitCommas(D[i].Items);
            if (!Args.empty() && Args[0].size() == 1 && IsTok(Args[0][0], TK::Number))
                Size = std::atoi(Args[0][0].Tok.Text.c_str());
            ++i;
        }
        const std::string Type = CanonicalJetType(D[1].Tok.Text, Size);
        if (Type.empty())
            throw TJetSqlError("42000", NativeFieldDef,
                               "Syntax error in field definition: '" + D[1].Tok.Text + "' is no Jet data type.");
        if (Type.rfind("TEXT(", 0) == 0 && Size > 255)
            throw TJetSqlError("42000", NativeFieldDef,
                               "Syntax error in field definition: a TEXT column holds at most 255 characters.");
        std::vector<TNode> Out{D[0], Tok(TK::Raw, Type)};
        if (Type.rfind("TEXT", 0) == 0 || Type == "LONGTEXT") {
            Out.push_back(Tok(TK::Ident, "COLLATE"));
            Out.push_back(Tok(TK::Ident, "NOCASE"));
        }
        if (Type.rfind("TEXT(", 0) == 0) {
            // Jet refuses a text longer than the field; the named constraint
            // lets the driver report it as Jet does.
            const int N = Size < 0 ? 255 : Size;
            Out.push_back(Tok(TK::Ident, "CONSTRAINT"));
            Out.push_back(Tok(TK::Name, D[0].Tok.Text + "$size"));
            Out.push_back(Tok(TK::Ident, "CHECK"));
            Out.push_back(Group({Tok(TK::Raw, "length"), Group({Tok(TK::Name, D[0].Tok.Text)}), Tok(TK::Punct, "<="),
                                 Tok(TK::Number, std::to_string(N))}));
        }
        for (; i < D.size(); ++i) {
            // A COUNTER gets its value after the row is in (see the driver's
            // counter triggers), so its column must accept the row without one.
            if (Type == "COUNTER" && IsKw(D[i], "NOT") && i + 1 < D.size() && IsKw(D[i + 1], "NULL")) {
                ++i;
                continue;
            }
            if (IsKw(D[i], "WITH") && i + 1 < D.size() && (IsKw(D[i + 1], "COMP") || IsKw(D[i + 1], "COMPRESSION"))) {
                ++i;
                continue;
            }
            Out.push_back(D[i]);
        }
        if (ARecord)
            FResult.Columns.push_back({D[0].Tok.Text, Type});
        return Out;
    }

    void CreateTable(std::vector<TNode> &T)
    {
        if (!IsNameTok(T[2]) || T.size() < 4 || !T[3].IsGroup)
            Syntax("Syntax error in CREATE TABLE statement.");
        FResult.TargetTable = T[2].Tok.Text;
        // CREATE TABLE Month (...) makes a table named Month.
        T[2].Tok.Kind = TK::Name;
        std::vector<TNode> Defs;
        for (const auto &D : SplitCommas(T[3].Items)) {
            if (!Defs.empty())
                Defs.push_back(Tok(TK::Punct, ","));
            if (!D.empty() && (IsKw(D[0], "CONSTRAINT") || IsKw(D[0], "PRIMARY") || IsKw(D[0], "UNIQUE") ||
                               IsKw(D[0], "FOREIGN") || IsKw(D[0], "CHECK"))) {
                Defs.insert(Defs.end(), D.begin(), D.end());
                continue;
            }
            const auto C = ColumnDefinition(D, true);
            Defs.insert(Defs.end(), C.begin(), C.end());
        }
        T[3].Items = std::move(Defs);
    }

    // ALTER TABLE t ADD [COLUMN] c type: the type is normalised like CREATE TABLE's.
    void AlterTable(std::vector<TNode> &T)
    {
        FResult.TargetTable = IsNameTok(T[2]) ? T[2].Tok.Text : "";
        if (!IsKw(T[3], "ADD"))
            return;
        size_t i = 4;
        if (IsKw(T[i], "COLUMN"))
            ++i;
        std::vector<TNode> D(T.begin() + static_cast<long>(i), T.end());
        auto C = ColumnDefinition(D, true);
        if (FResult.Columns.back().Type == "COUNTER")
            throw TJetSqlError("HYC00", NativeNotSupported, "A COUNTER column cannot be added to an existing table.");
        T.erase(T.begin() + static_cast<long>(i), T.end());
        if (!IsKw(T.back(), "COLUMN"))
            T.push_back(Tok(TK::Ident, "COLUMN"));
        T.insert(T.end(), C.begin(), C.end());
    }

    // --- CURRENCY columns: integers scaled by 10,000 in the file
    bool IsCurrencyName(const TNode &N) const
    {
        if (!IsNameTok(N))
            return false;
        const std::string U = Upper(N.Tok.Text);
        for (const auto &C : FCtx.CurrencyColumns)
            if (C == U)
                return true;
        return false;
    }
    static bool IsPlainColumn(const std::vector<TNode> &I)
    {
        std::vector<TNode> Item = I;
        if (Item.size() >= 2 && IsNameTok(Item.back()) && (IsKw(Item[Item.size() - 2], "AS") || IsNameTok(Item[Item.size() - 2]))) {
            Item.pop_back();
            if (IsKw(Item.back(), "AS"))
                Item.pop_back();
        }
        return (Item.size() == 1 && (IsNameTok(Item[0]) || IsPunct(Item[0], "*"))) ||
               (Item.size() == 3 && IsNameTok(Item[0]) && IsPunct(Item[1], ".") && (IsNameTok(Item[2]) || IsPunct(Item[2], "*")));
    }
    static TNode Call(const char *AName, std::vector<TNode> AArgs)
    {
        return Group({Tok(TK::Ident, AName), Group(std::move(AArgs))});
    }

    // References in expressions read the unscaled amount; a plain column of a
    // select list stays as stored, for the driver reads it by its type.
    void CurrencyRefs(std::vector<TNode> &G)
    {
        std::vector<TNode> Out;
        for (size_t i = 0; i < G.size(); ++i) {
            TNode &N = G[i];
            if (N.IsGroup) {
                CurrencyRefs(N.Items);
                Out.push_back(N);
                continue;
            }
            if (IsKw(N, "SELECT")) {
                // The select list: up to FROM at this level.
                size_t E = i + 1;
                while (E < G.size() && !IsKw(G[E], "FROM"))
                    ++E;
                Out.push_back(N);
                std::vector<TNode> List(G.begin() + static_cast<long>(i) + 1, G.begin() + static_cast<long>(E));
                bool First = true;
                for (auto Item : SplitCommas(List)) {
                    if (!First)
                        Out.push_back(Tok(TK::Punct, ","));
                    First = false;
                    if (!IsPlainColumn(Item))
                        CurrencyRefs(Item);
                    Out.insert(Out.end(), Item.begin(), Item.end());
                }
                i = E - 1;
                continue;
            }
            const bool Protected = !Out.empty() && !Out.back().IsGroup &&
                                   (IsKw(Out.back(), "FROM") || IsKw(Out.back(), "JOIN") || IsKw(Out.back(), "INTO") ||
                                    IsKw(Out.back(), "UPDATE") || IsKw(Out.back(), "TABLE") || IsKw(Out.back(), "AS") ||
                                    IsPunct(Out.back(), "."));
            const bool CallNext = i + 1 < G.size() && G[i + 1].IsGroup;
            if (IsNameTok(N) && !Protected && !CallNext) {
                // t.Price or Price
                if (i + 2 < G.size() && IsPunct(G[i + 1], ".") && IsCurrencyName(G[i + 2])) {
                    Out.push_back(Group({N, G[i + 1], G[i + 2], Tok(TK::Punct, "/"), Tok(TK::Number, "10000.0")}));
                    i += 2;
                    continue;
                }
                if (IsCurrencyName(N) && !(i + 1 < G.size() && IsPunct(G[i + 1], "."))) {
                    Out.push_back(Group({N, Tok(TK::Punct, "/"), Tok(TK::Number, "10000.0")}));
                    continue;
                }
            }
            Out.push_back(N);
        }
        G = std::move(Out);
    }

    void Currency(std::vector<TNode> &T)
    {
        const auto IsCurrencyColumn = [&](const std::string &AName) {
            TNode N = Tok(TK::Name, AName);
            return IsCurrencyName(N);
        };
        if (FResult.Kind == TJetStatementKind::Update) {
            size_t Set = 0, Where = T.size();
            for (size_t i = 0; i < T.size(); ++i) {
                if (!Set && IsKw(T[i], "SET"))
                    Set = i;
                else if (Set && IsKw(T[i], "WHERE")) {
                    Where = i;
                    break;
                }
            }
            if (!Set)
                return;
            std::vector<TNode> Out(T.begin(), T.begin() + static_cast<long>(Set) + 1);
            std::vector<TNode> Assignments(T.begin() + static_cast<long>(Set) + 1, T.begin() + static_cast<long>(Where));
            bool First = true;
            for (auto A : SplitCommas(Assignments)) {
                if (!First)
                    Out.push_back(Tok(TK::Punct, ","));
                First = false;
                size_t Eq = 0;
                while (Eq < A.size() && !IsPunct(A[Eq], "="))
                    ++Eq;
                if (Eq == 0 || Eq >= A.size()) {
                    Out.insert(Out.end(), A.begin(), A.end());
                    continue;
                }
                std::vector<TNode> Value(A.begin() + static_cast<long>(Eq) + 1, A.end());
                CurrencyRefs(Value);
                Out.insert(Out.end(), A.begin(), A.begin() + static_cast<long>(Eq) + 1);
                if (IsCurrencyName(A[Eq - 1]))
                    Out.push_back(Call("jet_currency", {Group(Value)}));
                else
                    Out.insert(Out.end(), Value.begin(), Value.end());
            }
            std::vector<TNode> Cond(T.begin() + static_cast<long>(Where), T.end());
            CurrencyRefs(Cond);
            Out.insert(Out.end(), Cond.begin(), Cond.end());
            T = std::move(Out);
            return;
        }
        if (FResult.Kind == TJetStatementKind::Insert && T.size() > 3) {
            size_t i = 3;
            std::vector<std::string> Targets = FCtx.InsertTargetColumns;
            if (T[i].IsGroup) {
                Targets.clear();
                for (const auto &C : SplitCommas(T[i].Items))
                    Targets.push_back(C.empty() ? std::string() : C.back().Tok.Text);
                ++i;
            }
            if (i < T.size() && IsKw(T[i], "VALUES") && i + 1 < T.size() && T[i + 1].IsGroup) {
                std::vector<TNode> Vals;
                size_t k = 0;
                for (auto V : SplitCommas(T[i + 1].Items)) {
                    if (k)
                        Vals.push_back(Tok(TK::Punct, ","));
                    CurrencyRefs(V);
                    if (k < Targets.size() && IsCurrencyColumn(Targets[k]))
                        Vals.push_back(Call("jet_currency", {Group(V)}));
                    else
                        Vals.insert(Vals.end(), V.begin(), V.end());
                    ++k;
                }
                T[i + 1].Items = std::move(Vals);
                return;
            }
            if (i < T.size() && IsKw(T[i], "SELECT")) {
                size_t j = i + 1;
                if (j < T.size() && (IsKw(T[j], "DISTINCT") || IsKw(T[j], "ALL")))
                    ++j;
                if (j + 1 < T.size() && IsKw(T[j], "TOP"))
                    j += 2;
                size_t E = j;
                while (E < T.size() && !IsKw(T[E], "FROM"))
                    ++E;
                std::vector<TNode> List(T.begin() + static_cast<long>(j), T.begin() + static_cast<long>(E));
                std::vector<TNode> Rest(T.begin() + static_cast<long>(E), T.end());
                std::vector<TNode> Out(T.begin(), T.begin() + static_cast<long>(j));
                size_t k = 0;
                for (auto Item : SplitCommas(List)) {
                    if (Item.empty())
                        Syntax("Syntax error in query: the select list has an empty item.");
                    if (k)
                        Out.push_back(Tok(TK::Punct, ","));
                    const bool Star = IsPunct(Item.back(), "*");
                    const bool ToCurrency = k < Targets.size() && IsCurrencyColumn(Targets[k]);
                    if (Star) {
                        bool Any = false;
                        for (const auto &Tg : Targets)
                            Any = Any || IsCurrencyColumn(Tg);
                        if (Any || Targets.empty())
                            throw TJetSqlError("HYC00", NativeNotSupported,
                                               "INSERT ... SELECT * into a table with CURRENCY columns needs the columns named.");
                        Out.insert(Out.end(), Item.begin(), Item.end());
                    } else if (ToCurrency) {
                        const bool RawCurrency = IsPlainColumn(Item) && IsCurrencyName(Item.back());
                        if (!RawCurrency) {
                            CurrencyRefs(Item);
                            Out.push_back(Call("jet_currency", {Group(Item)}));
                        } else {
                            Out.insert(Out.end(), Item.begin(), Item.end());
                        }
                    } else {
                        CurrencyRefs(Item);
                        Out.insert(Out.end(), Item.begin(), Item.end());
                    }
                    ++k;
                }
                CurrencyRefs(Rest);
                Out.insert(Out.end(), Rest.begin(), Rest.end());
                T = std::move(Out);
            }
            return;
        }
        CurrencyRefs(T);
    }

    // --- truth values
    // Jet's comparisons give -1 or 0 (True is -1); SQLite's give 1 or 0.
    // Where a comparison's result is used as a value (a select item, an
    // argument, an operand, a value written) it is negated; conditions of
    // WHERE, ON and HAVING keep their form, so their indexes still serve.
    static bool IsLogicOp(const TNode &N)
    {
        if (N.IsGroup || N.Tok.Kind != TK::Ident || N.Tok.Text.size() < 2 || N.Tok.Text.size() > 3)
            return false;
        return IsKw(N, "AND") || IsKw(N, "OR") || IsKw(N, "NOT") || IsKw(N, "XOR") || IsKw(N, "EQV") || IsKw(N, "IMP");
    }
    static bool IsComparisonOp(const TNode &N)
    {
        if (N.IsGroup)
            return false;
        if (N.Tok.Kind == TK::Punct) {
            static const std::set<std::string> P = {"=", "<", ">", "<=", ">=", "<>", "!=", "=="};
            return P.count(N.Tok.Text) > 0;
        }
        if (N.Tok.Kind != TK::Ident || N.Tok.Text.size() < 2 || N.Tok.Text.size() > 7)
            return false;
        return IsKw(N, "LIKE") || IsKw(N, "BETWEEN") || IsKw(N, "IN") || IsKw(N, "IS") || IsKw(N, "ESCAPE");
    }
    static bool HasTruthOp(const std::vector<TNode> &G)
    {
        for (const auto &N : G)
            if (N.IsGroup ? HasTruthOp(N.Items) : IsComparisonOp(N) || IsLogicOp(N))
                return true;
        return false;
    }
    static bool StartsStatement(const TNode &N) { return N.IsGroup && !N.Items.empty() && IsKw(N.Items[0], "SELECT"); }

    // The spans of E[AB, AEnd) between the nodes ASep accepts (the AND of
    // BETWEEN ... AND is no separator when AKeepBetween), each handed to AFn
    // as a range; AFn returns the span's new end, so a span may grow or
    // shrink in place. Returns the range's new end.
    template <class Sep, class Fn>
    static size_t ForSpans(std::vector<TNode> &E, size_t AB, size_t AEnd, Sep ASep, bool AKeepBetween, Fn AFn)
    {
        size_t SpanB = AB;
        bool Between = false;
        for (size_t i = AB;; ++i) {
            const bool AtEnd = i >= AEnd;
            bool IsSep = false;
            if (!AtEnd) {
                if (AKeepBetween && IsKw(E[i], "BETWEEN"))
                    Between = true;
                const bool BetweenAnd = Between && IsKw(E[i], "AND");
                if (BetweenAnd)
                    Between = false;
                IsSep = ASep(E[i]) && !(AKeepBetween && BetweenAnd);
            }
            if (!AtEnd && !IsSep)
                continue;
            if (i > SpanB) {
                const size_t NewEnd = AFn(SpanB, i);
                AEnd = AEnd + NewEnd - i;
                i = NewEnd;
            }
            if (AtEnd)
                return AEnd;
            SpanB = i + 1;
        }
    }
    static bool IsComma(const TNode &N) { return IsPunct(N, ","); }
    static bool IsComparisonOrLogicOp(const TNode &N) { return IsComparisonOp(N) || IsLogicOp(N); }

    // A value: a comparison or logic at its top becomes -(...); groups inside
    // are values, argument lists or statements. Returns the new end.
    size_t TruthValue(std::vector<TNode> &E, size_t AB, size_t AEnd)
    {
        bool Truth = false;
        for (size_t k = AB; k < AEnd && !Truth; ++k)
            Truth = IsComparisonOrLogicOp(E[k]);
        if (Truth) {
            AEnd = TruthCondition(E, AB, AEnd);
            std::vector<TNode> Items(std::make_move_iterator(E.begin() + static_cast<long>(AB)),
                                     std::make_move_iterator(E.begin() + static_cast<long>(AEnd)));
            E.erase(E.begin() + static_cast<long>(AB) + 1, E.begin() + static_cast<long>(AEnd));
            E[AB] = Tok(TK::Punct, "-");
            E.insert(E.begin() + static_cast<long>(AB) + 1, Group(std::move(Items)));
            return AB + 2;
        }
        for (size_t k = AB; k < AEnd; ++k) {
            if (!E[k].IsGroup)
                continue;
            auto &Items = E[k].Items;
            if (StartsStatement(E[k]))
                TruthStatement(Items);
            else if (k > AB && IsTok(E[k - 1], TK::Ident) && !IsSqlKeyword(Upper(E[k - 1].Tok.Text)))
                ForSpans(Items, 0, Items.size(), IsComma, false,
                         [&](size_t B, size_t End) { return TruthValue(Items, B, End); });
            else
                TruthValue(Items, 0, Items.size());
        }
        return AEnd;
    }

    // A condition: its comparisons keep their form, their operands are values.
    size_t TruthCondition(std::vector<TNode> &E, size_t AB, size_t AEnd)
    {
        return ForSpans(E, AB, AEnd, IsLogicOp, true, [&](size_t B, size_t End) {
            if (End == B + 1 && E[B].IsGroup && !StartsStatement(E[B])) {
                TruthCondition(E[B].Items, 0, E[B].Items.size());
                return End;
            }
            return ForSpans(E, B, End, IsComparisonOrLogicOp, false,
                            [&](size_t OB, size_t OEnd) { return TruthValue(E, OB, OEnd); });
        });
    }

    // The clause word at G[P] (upper case), or none.
    static const char *ClauseWordAt(const std::vector<TNode> &G, size_t P)
    {
        static const char *const Clauses[] = {"SELECT", "FROM", "WHERE", "GROUP", "ORDER",  "HAVING", "ON",
                                              "JOIN",   "SET",  "VALUES", "UNION", "INTO",  "LIMIT",  "INNER",
                                              "LEFT",   "RIGHT", "OUTER", "INSERT", "UPDATE", "DELETE"};
        if (G[P].IsGroup || G[P].Tok.Kind != TK::Ident)
            return nullptr;
        // Left( and Right( are functions, LEFT JOIN and RIGHT JOIN clauses.
        for (const char *C : Clauses)
            if (IsKw(G[P], C))
                return ((C[0] == 'L' && C[1] == 'E') || C[0] == 'R') && P + 1 < G.size() && G[P + 1].IsGroup ? nullptr
                                                                                                              : C;
        return nullptr;
    }

    void TruthStatement(std::vector<TNode> &G)
    {
        if (G.empty() || IsKw(G[0], "CREATE") || IsKw(G[0], "DROP") || IsKw(G[0], "ALTER") || !HasTruthOp(G))
            return;
        const auto ClauseAt = [&G](size_t P) { return ClauseWordAt(G, P); };
        size_t i = 0;
        while (i < G.size()) {
            const char *Clause = ClauseAt(i);
            const std::string K = Clause ? Clause : "";
            size_t E = i + 1;
            while (E < G.size() && !ClauseAt(E))
                ++E;
            const size_t B = i + 1;
            if (K == "SELECT") {
                E = TruthSelectList(G, B, E);
            } else if (K == "WHERE" || K == "HAVING" || K == "ON") {
                E = TruthCondition(G, B, E);
            } else if (K == "SET") {
                E = ForSpans(G, B, E, IsComma, false, [&](size_t AB, size_t AEnd) {
                    size_t Eq = AB;
                    while (Eq < AEnd && !IsPunct(G[Eq], "="))
                        ++Eq;
                    return Eq + 1 >= AEnd ? AEnd : TruthValue(G, Eq + 1, AEnd);
                });
            } else if (K == "VALUES" && B < E && G[B].IsGroup) {
                auto &Items = G[B].Items;
                ForSpans(Items, 0, Items.size(), IsComma, false,
                         [&](size_t AB, size_t AEnd) { return TruthValue(Items, AB, AEnd); });
            } else {
                for (size_t k = B; k < E; ++k)
                    if (G[k].IsGroup && (StartsStatement(G[k]) || K == "FROM" || K == "JOIN"))
                        TruthStatement(G[k].Items);
            }
            i = E;
        }
    }

    // The select list in L[AB, AEnd): each item a value, its alias kept.
    size_t TruthSelectList(std::vector<TNode> &L, size_t AB, size_t AEnd)
    {
        size_t j = AB;
        if (j < AEnd && (IsKw(L[j], "DISTINCT") || IsKw(L[j], "ALL") || IsKw(L[j], "DISTINCTROW")))
            ++j;
        if (j + 1 < AEnd && IsKw(L[j], "TOP"))
            j += 2;
        if (j < AEnd && IsKw(L[j], "PERCENT"))
            ++j;
        return ForSpans(L, j, AEnd, IsComma, false, [&](size_t B, size_t End) {
            size_t ValueEnd = End;
            if (End - B >= 2 && IsNameTok(L[End - 1])) {
                const TNode &Before = L[End - 2];
                if (IsKw(Before, "AS") || Before.IsGroup || IsTok(Before, TK::Number) || IsTok(Before, TK::String) ||
                    (IsNameTok(Before) && !IsOperandBoundary(Before))) {
                    ValueEnd = End - 1;
                    if (IsKw(L[ValueEnd - 1], "AS"))
                        --ValueEnd;
                }
            }
            if (ValueEnd == B)
                return End;
            const size_t NewValueEnd = TruthValue(L, B, ValueEnd);
            return End + NewValueEnd - ValueEnd;
        });
    }

    // --- expression-level rewrites, children first
    void Transform(std::vector<TNode> &G)
    {
        // The operands of & become groups of their own, transformed below
        // like every other group.
        Top(G);
        Concatenation(G);
        for (size_t i = 1; i < G.size(); ++i)
            if (IsPunct(G[i], "/") || IsKw(G[i], "MOD"))
                GuardDivisor(G, i + 1);

        for (auto &N : G)
            if (N.IsGroup)
                Transform(N.Items);

        for (size_t i = 0; i < G.size(); ++i) {
            TNode &N = G[i];
            if (N.IsGroup)
                continue;
            const bool AfterDot = i > 0 && IsPunct(G[i - 1], ".");
            const bool AfterTableWord = i > 0 && i + 1 < G.size() && G[i + 1].IsGroup && (IsKw(G[i - 1], "REFERENCES") || IsKw(G[i - 1], "INTO") ||
                                                  IsKw(G[i - 1], "TABLE") || IsKw(G[i - 1], "JOIN") ||
                                                  IsKw(G[i - 1], "FROM") || IsKw(G[i - 1], "UPDATE"));
            const bool Call = i + 1 < G.size() && G[i + 1].IsGroup && !AfterTableWord;
            if (N.Tok.Kind == TK::Param) {
                ++FResult.ParamCount;
            } else if (N.Tok.Kind == TK::Punct && N.Tok.Text == "/") {
                // Jet divides in floating point; SQLite would divide integers.
                G.insert(G.begin() + static_cast<long>(i), {Tok(TK::Punct, "*"), Tok(TK::Number, "1.0")});
                i += 2;
            } else if (N.Tok.Kind == TK::Punct && N.Tok.Text == "\\") {
                throw TJetSqlError("HYC00", NativeNotSupported, "The integer division operator '\\' is not supported.");
            } else if (N.Tok.Kind == TK::Ident && !AfterDot) {
                const std::string U = Upper(N.Tok.Text);
                if (U == "@@IDENTITY") {
                    FResult.UsesIdentity = true;
                    N.Tok = {TK::Ident, "jet_identity"};
                    G.insert(G.begin() + static_cast<long>(i) + 1, Group({}));
                    ++i;
                } else if (!Call && (U == "TRUE" || U == "FALSE") && !(i + 1 < G.size() && IsPunct(G[i + 1], "."))) {
                    N.Tok = {TK::Number, U == "TRUE" ? "-1" : "0"};
                } else if (U == "MOD" && i > 0) {
                    N.Tok = {TK::Punct, "%"};
                } else if (U == "LIKE" && i + 1 < G.size()) {
                    LikePattern(G, i + 1);
                } else if (Call) {
                    FunctionCall(G, i);
                }
            }
        }
    }

    // Jet raises "Division by zero" where SQLite would give Null: the divisor
    // (an optional sign and one operand) passes through jet_divisor.
    void GuardDivisor(std::vector<TNode> &G, size_t APos)
    {
        size_t E = APos;
        while (E < G.size() && (IsPunct(G[E], "-") || IsPunct(G[E], "+")))
            ++E;
        if (E >= G.size())
            return;
        ++E;
        // t.column, or a function and its arguments
        while (E + 1 < G.size() && IsPunct(G[E], ".") && IsNameTok(G[E + 1]))
            E += 2;
        if (E < G.size() && G[E].IsGroup && IsTok(G[E - 1], TK::Ident))
            ++E;
        std::vector<TNode> Divisor(G.begin() + static_cast<long>(APos), G.begin() + static_cast<long>(E));
        // A number other than zero needs no guard (the scale of a CURRENCY column).
        if (Divisor.size() == 1 && IsTok(Divisor[0], TK::Number) && NumberValue(Divisor[0].Tok.Text) != 0)
            return;
        G.erase(G.begin() + static_cast<long>(APos), G.begin() + static_cast<long>(E));
        G.insert(G.begin() + static_cast<long>(APos), Call("jet_divisor", {Group(std::move(Divisor))}));
    }

    // An operand of & that is a date: a date column, a date literal or a
    // function that gives a date.
    bool IsDateOperand(const std::vector<TNode> &A) const
    {
        if (A.size() == 1 && IsTok(A[0], TK::Number) && A[0].Tok.DateLiteral)
            return true;
        if (A.size() == 2 && IsTok(A[0], TK::Ident) && A[1].IsGroup) {
            static const std::set<std::string> F = {"NOW", "DATE", "TIME", "DATEADD", "DATEVALUE", "TIMEVALUE",
                                                    "CDATE", "DATESERIAL", "TIMESERIAL"};
            return F.count(Upper(A[0].Tok.Text)) > 0;
        }
        const TNode *Name = A.size() == 1 ? &A[0] : A.size() == 3 && IsPunct(A[1], ".") ? &A[2] : nullptr;
        if (!Name || !IsNameTok(*Name))
            return false;
        const std::string U = Upper(Name->Tok.Text);
        return std::find(FCtx.DateColumns.begin(), FCtx.DateColumns.end(), U) != FCtx.DateColumns.end();
    }

    // SELECT [DISTINCT] TOP n ... -> SELECT [DISTINCT] ... LIMIT n (at the end of the group)
    void Top(std::vector<TNode> &G)
    {
        for (size_t i = 0; i < G.size(); ++i) {
            if (!IsKw(G[i], "SELECT"))
                continue;
            size_t j = i + 1;
            if (j < G.size() && (IsKw(G[j], "DISTINCT") || IsKw(G[j], "ALL")))
                ++j;
            if (j + 1 < G.size() && IsKw(G[j], "TOP") && IsTok(G[j + 1], TK::Number)) {
                const std::string N = G[j + 1].Tok.Text;
                if (N.find_first_of(".eE") != std::string::npos)
                    Syntax("The TOP clause needs a whole number of rows.");
                if (j + 2 < G.size() && IsKw(G[j + 2], "PERCENT"))
                    throw TJetSqlError("HYC00", NativeNotSupported,
                                       "TOP n PERCENT is not supported by this driver; use TOP n.");
                G.erase(G.begin() + static_cast<long>(j), G.begin() + static_cast<long>(j) + 2);
                G.push_back(Tok(TK::Ident, "LIMIT"));
                G.push_back(Tok(TK::Number, N));
            }
        }
    }

    // a & b & c -> jet_concat(a, b, c), with the operands bounded by comparison
    // operators and keywords: & binds more loosely than arithmetic in Jet.
    void Concatenation(std::vector<TNode> &G)
    {
        bool Any = false;
        for (const auto &N : G)
            Any = Any || IsPunct(N, "&");
        if (!Any)
            return;
        std::vector<TNode> Out;
        size_t i = 0;
        while (i < G.size()) {
            if (IsOperandBoundary(G[i])) {
                Out.push_back(G[i++]);
                continue;
            }
            size_t E = i;
            bool Has = false;
            while (E < G.size() && !IsOperandBoundary(G[E])) {
                Has = Has || IsPunct(G[E], "&");
                ++E;
            }
            if (!Has) {
                Out.insert(Out.end(), G.begin() + static_cast<long>(i), G.begin() + static_cast<long>(E));
            } else {
                std::vector<TNode> Args;
                std::vector<TNode> Cur;
                for (size_t k = i; k < E; ++k) {
                    if (IsPunct(G[k], "&")) {
                        if (Cur.empty())
                            Syntax("Syntax error: '&' needs an operand on both sides.");
                        Args.push_back(ConcatOperand(Cur));
                        Args.push_back(Tok(TK::Punct, ","));
                        Cur.clear();
                    } else {
                        Cur.push_back(G[k]);
                    }
                }
                if (Cur.empty())
                    Syntax("Syntax error: '&' needs an operand on both sides.");
                Args.push_back(ConcatOperand(Cur));
                Out.push_back(Tok(TK::Ident, "jet_concat"));
                Out.push_back(Group(Args));
            }
            i = E;
        }
        G = std::move(Out);
    }

    TNode ConcatOperand(const std::vector<TNode> &A) const
    {
        return IsDateOperand(A) ? Call("jet_datetext", {Group(A)}) : Group(A);
    }

    // Jet LIKE patterns enclose a wildcard in brackets to take it literally
    // ('a[%]b'); SQLite reads that with an ESCAPE character.
    void LikePattern(std::vector<TNode> &G, size_t APos)
    {
        if (!IsTok(G[APos], TK::String))
            return;
        if (APos + 1 < G.size() && IsKw(G[APos + 1], "ESCAPE"))
            return;
        const std::string &P = G[APos].Tok.Text;
        if (P.find('[') == std::string::npos)
            return;
        std::string Out;
        for (size_t i = 0; i < P.size(); ++i) {
            if (P[i] == '[') {
                const size_t E = P.find(']', i + 2);
                if (E == std::string::npos || E != i + 2)
                    throw TJetSqlError("HYC00", NativeNotSupported,
                                       "LIKE patterns with character lists or ranges ('" + P +
                                           "') are not supported by this driver; only [c] for one literal character.");
                const char C = P[i + 1];
                if (C == '%' || C == '_' || C == '\\')
                    Out += '\\';
                Out += C;
                i = E;
            } else if (P[i] == '\\') {
                Out += "\\\\";
            } else {
                Out += P[i];
            }
        }
        G[APos].Tok.Text = Out;
        G.insert(G.begin() + static_cast<long>(APos) + 1, {Tok(TK::Ident, "ESCAPE"), Tok(TK::String, "\\")});
    }

    void FunctionCall(std::vector<TNode> &G, size_t i)
    {
        TNode &N = G[i];
        const std::string U = Upper(N.Tok.Text);
        const auto &Args = G[i + 1].Items;
        if (U == "IIF" && !N.Tok.OdbcFn) {
            const auto A = SplitCommas(Args);
            if (A.size() != 3)
                throw TJetSqlError("07002", -3075, "Wrong number of arguments used with function in query expression 'IIf'.");
            std::vector<TNode> Case{Tok(TK::Ident, "CASE"), Tok(TK::Ident, "WHEN"), Group(A[0]), Tok(TK::Ident, "THEN"),
                                    Group(A[1]), Tok(TK::Ident, "ELSE"), Group(A[2]), Tok(TK::Ident, "END")};
            G[i] = Group(Case);
            G.erase(G.begin() + static_cast<long>(i) + 1);
            return;
        }
        if ((U == "DATEVALUE" || U == "TIMEVALUE" || U == "CDATE") && Args.size() == 1 && IsTok(Args[0], TK::String)) {
            TJetDateTime V;
            const TJetDateParts Parts = ParseJetDateText(Args[0].Tok.Text, V);
            if (Parts != TJetDateParts::None) {
                if (U == "DATEVALUE")
                    V.Hour = V.Minute = V.Second = V.Millisecond = 0;
                if (U == "TIMEVALUE")
                    V.Year = 1899, V.Month = 12, V.Day = 30;
                G[i] = Tok(TK::Number, FormatNumber(EncodeJetDate(V)));
                G.erase(G.begin() + static_cast<long>(i) + 1);
                return;
            }
        }
        if (N.Tok.OdbcFn && (U == "CONVERT" || U == "TIMESTAMPADD" || U == "TIMESTAMPDIFF" || U == "EXTRACT")) {
            // Type and interval names (SQL_VARCHAR, SQL_TSI_DAY) are words, not columns.
            for (auto &A : G[i + 1].Items)
                if (IsTok(A, TK::Ident) && Upper(A.Tok.Text).rfind("SQL_", 0) == 0)
                    A.Tok.Kind = TK::String;
        }
        const auto &M = N.Tok.OdbcFn ? Funcs().Odbc : Funcs().Jet;
        const auto It = M.find(U);
        if (It != M.end())
            N.Tok.Text = It->second;
        else if (N.Tok.OdbcFn)
            throw TJetSqlError("HYC00", NativeNotSupported,
                               "The ODBC scalar function '" + N.Tok.Text + "' is not supported by this driver.");
        else if (!Funcs().Native.count(U) && U.rfind("JET_", 0) != 0 && !IsSqlKeyword(U))
            // SQLite has functions of the same names with other meanings
            // (Format, Hex): a function the driver does not translate is refused.
            throw TJetSqlError("42000", NativeUndefinedFunction,
                               "Undefined function '" + N.Tok.Text + "' in expression: this driver does not translate it.");
    }

    // --- literals as parameters
    // Texts that differ only in their values share one translation and one
    // prepared statement when those values are bound instead of written.
    // A literal is lifted only where it is a value whose translation does
    // not depend on it: in a condition (WHERE, HAVING, ON), a value written
    // (SET, VALUES). Never in a select list (a literal there names and
    // types its column), ORDER BY or GROUP BY (1 is a column number there),
    // LIMIT, a function's arguments (some need a constant, and the
    // translator reads some of them), a LIKE pattern or ESCAPE character
    // (rewritten by their value) or a divisor (guarded by its value).
    enum class TLiftClause { None, Values, NoValues };

    void LiftLiterals(std::vector<TNode> &T)
    {
        using K = TJetStatementKind;
        if (FResult.Kind != K::Select && FResult.Kind != K::Insert && FResult.Kind != K::Update &&
            FResult.Kind != K::Delete)
            return;
        MarkLifts(T, false, TLiftClause::None);
        // The driver binds the markers by number: the user's markers keep
        // their positions, the lifted literals follow them.
        int Markers = 0;
        CountMarkers(T, Markers);
        if (Markers != FResult.ParamCount && !FMarkersNumbered) {
            ClearLifts(T);
            return;
        }
        FLiftNext = FResult.ParamCount + 1;
        FMarkerNext = 1;
    }

    static void CountMarkers(const std::vector<TNode> &G, int &ACount)
    {
        for (const auto &N : G) {
            if (N.IsGroup)
                CountMarkers(N.Items, ACount);
            else if (N.Tok.Kind == TK::Param)
                ++ACount;
        }
    }
    static void ClearLifts(std::vector<TNode> &G)
    {
        for (auto &N : G) {
            if (N.IsGroup)
                ClearLifts(N.Items);
            N.Tok.Lift = false;
        }
    }

    void MarkLifts(std::vector<TNode> &G, bool AFrozen, TLiftClause AClause)
    {
        TLiftClause Clause = AClause;
        bool SkipNext = false;
        for (size_t i = 0; i < G.size(); ++i) {
            TNode &N = G[i];
            if (N.IsGroup) {
                const bool AfterName = i > 0 && IsNameTok(G[i - 1]) &&
                                       !(G[i - 1].Tok.Kind == TK::Ident && IsSqlKeyword(Upper(G[i - 1].Tok.Text)));
                if (StartsStatement(N))
                    MarkLifts(N.Items, AFrozen, TLiftClause::None);
                else
                    MarkLifts(N.Items, AFrozen || AfterName || SkipNext, Clause);
                SkipNext = false;
                continue;
            }
            if (N.Tok.Kind == TK::Ident) {
                if (IsKw(N, "WHERE") || IsKw(N, "HAVING") || IsKw(N, "ON") || IsKw(N, "SET") || IsKw(N, "VALUES"))
                    Clause = TLiftClause::Values;
                else if (IsKw(N, "SELECT") || IsKw(N, "FROM") || IsKw(N, "JOIN") || IsKw(N, "ORDER") ||
                         IsKw(N, "GROUP") || IsKw(N, "LIMIT") || IsKw(N, "UNION") || IsKw(N, "INTO"))
                    Clause = TLiftClause::NoValues;
                SkipNext = IsKw(N, "LIKE") || IsKw(N, "ESCAPE");
                continue;
            }
            if (N.Tok.Kind == TK::Punct) {
                SkipNext = N.Tok.Text == "/" || N.Tok.Text == "%";
                continue;
            }
            if (N.Tok.Lit >= 0 && !AFrozen && !SkipNext && Clause == TLiftClause::Values &&
                LiteralKindOf(N.Tok) != 'H') {
                N.Tok.Lift = true;
            }
            SkipNext = false;
        }
    }

    // --- dates as the driver reads them
    // A DATETIME column holds what was stored there: a day number, or a
    // text another tool wrote ('1991-03-02', '06:00:00') that the fetch
    // reads as that date. Where a statement computes with such a column,
    // compares it or hands it to a function, it reads the date the fetch
    // hands out, not SQLite's reading of the text (1991 in arithmetic,
    // above every number in a comparison and an ordering): jet_datecol
    // (column), Null where the fetch finds no date; it orders and groups by
    // that date too. Count counts the values as stored. A
    // condition's comparisons of a bare column with a value keep its index:
    // those of one column in a conjunction become
    //   (<as written> AND +column < '') OR (column >= '' AND <through jet_datecol>)
    // two ranges of the index, since SQLite orders every number before
    // every text: the numbers as written, and the few texts read. The
    // value compared is written twice there, so the user's markers are
    // numbered (?n) and a marker written twice is bound once.
    bool FMarkersNumbered = false;

    bool IsDateColumn(const TNode &N) const
    {
        return IsNameTok(N) &&
               std::find(FCtx.DateColumns.begin(), FCtx.DateColumns.end(), Upper(N.Tok.Text)) != FCtx.DateColumns.end();
    }
    // After these words a name is no column.
    static bool NamesNoColumn(const TNode &N)
    {
        return IsKw(N, "AS") || IsKw(N, "FROM") || IsKw(N, "JOIN") || IsKw(N, "INTO") || IsKw(N, "UPDATE") ||
               IsKw(N, "TABLE") || IsKw(N, "REFERENCES");
    }
    // The length of the column reference at G[i] (c, or t . c), 0 for none.
    static size_t ColumnRefAt(const std::vector<TNode> &G, size_t i)
    {
        if (!IsNameTok(G[i]) || (i > 0 && (IsPunct(G[i - 1], ".") || NamesNoColumn(G[i - 1]))) ||
            (G[i].Tok.Kind == TK::Ident && IsSqlKeyword(Upper(G[i].Tok.Text))))
            return 0;
        const size_t L = i + 2 < G.size() && IsPunct(G[i + 1], ".") && IsNameTok(G[i + 2]) ? 3 : 1;
        return i + L < G.size() && G[i + L].IsGroup ? 0 : L; // a call
    }
    size_t DateRefAt(const std::vector<TNode> &G, size_t i) const
    {
        const size_t L = ColumnRefAt(G, i);
        return L && IsDateColumn(G[i + L - 1]) ? L : 0;
    }
    // Operators whose operands are values computed with or compared.
    static bool IsValueOperator(const TNode &N)
    {
        if (N.IsGroup)
            return false;
        if (N.Tok.Kind == TK::Punct) {
            static const std::set<std::string> P = {"+", "-", "*", "/", "%", "^", "=", "<", ">", "<=", ">=", "<>", "!=", "=="};
            return P.count(N.Tok.Text) > 0;
        }
        return IsKw(N, "BETWEEN") || IsKw(N, "IN");
    }
    static bool IsCompareOperator(const TNode &N)
    {
        static const std::set<std::string> P = {"=", "<", ">", "<=", ">=", "<>", "!=", "=="};
        return !N.IsGroup && N.Tok.Kind == TK::Punct && P.count(N.Tok.Text) > 0;
    }
    // A group that holds a function's arguments (not a table's columns).
    static bool IsArgumentList(const std::vector<TNode> &G, size_t i)
    {
        return i > 0 && IsTok(G[i - 1], TK::Ident) && !IsSqlKeyword(Upper(G[i - 1].Tok.Text)) &&
               !IsKw(G[i - 1], "COUNT") && !(i > 1 && NamesNoColumn(G[i - 2]));
    }
    // Whether the reference G[i, i + L) is an operand: next to an operator,
    // or a whole item of a list whose items are operands (AItems).
    static bool IsOperand(const std::vector<TNode> &G, size_t i, size_t L, bool AItems)
    {
        return (i > 0 && IsValueOperator(G[i - 1])) || (i + L < G.size() && IsValueOperator(G[i + L])) ||
               (AItems && (i == 0 || IsPunct(G[i - 1], ",")) && (i + L == G.size() || IsPunct(G[i + L], ",")));
    }
    // Whether the items of the group G[i] are operands: a function's
    // arguments, or a group that is itself one (a call is one by its name).
    static bool ItemsAreOperands(const std::vector<TNode> &G, size_t i, bool AItems)
    {
        const bool Call = i > 0 && IsTok(G[i - 1], TK::Ident) && !IsSqlKeyword(Upper(G[i - 1].Tok.Text));
        return IsArgumentList(G, i) || (!Call && IsOperand(G, i, 1, AItems));
    }

    // The first pass: the names that are operands, for the driver to know
    // whether the statement reads a date column (TJetTranslation::OperandNames).
    void CollectOperandNames(const std::vector<TNode> &G, bool AItems)
    {
        for (size_t i = 0; i < G.size(); ++i) {
            if (G[i].IsGroup) {
                CollectOperandNames(G[i].Items, !StartsStatement(G[i]) && ItemsAreOperands(G, i, AItems));
                continue;
            }
            const size_t L = ColumnRefAt(G, i);
            if (!L)
                continue;
            const std::string U = Upper(G[i + L - 1].Tok.Text);
            if (IsOperand(G, i, L, AItems) &&
                std::find(FResult.OperandNames.begin(), FResult.OperandNames.end(), U) == FResult.OperandNames.end())
                FResult.OperandNames.push_back(U);
            i += L - 1;
        }
    }

    void NumberMarkers(std::vector<TNode> &G, int &ANext)
    {
        for (TNode &N : G) {
            if (N.IsGroup)
                NumberMarkers(N.Items, ANext);
            else if (N.Tok.Kind == TK::Param)
                N.Tok.Marker = ++ANext;
        }
    }
    static bool HasMarker(const std::vector<TNode> &G)
    {
        return std::any_of(G.begin(), G.end(),
                           [](const TNode &N) { return N.IsGroup ? HasMarker(N.Items) : N.Tok.Kind == TK::Param; });
    }
    bool HasDateRef(const std::vector<TNode> &G) const
    {
        for (size_t i = 0; i < G.size(); ++i)
            if (G[i].IsGroup ? StartsStatement(G[i]) || HasDateRef(G[i].Items) : DateRefAt(G, i) > 0)
                return true;
        return false;
    }

    void DateReadings(std::vector<TNode> &Top)
    {
        int Markers = 0;
        NumberMarkers(Top, Markers);
        FMarkersNumbered = Markers == FResult.ParamCount;
        if (!FMarkersNumbered)
            ClearMarkers(Top);
        DateStatement(Top);
    }
    static void ClearMarkers(std::vector<TNode> &G)
    {
        for (TNode &N : G) {
            if (N.IsGroup)
                ClearMarkers(N.Items);
            N.Tok.Marker = 0;
        }
    }

    // A statement clause by clause: its conditions, its SET values, and the
    // operands everywhere else.
    void DateStatement(std::vector<TNode> &G)
    {
        const bool Union = std::any_of(G.begin(), G.end(), [](const TNode &N) { return IsKw(N, "UNION"); });
        std::vector<TNode> Out;
        size_t i = 0;
        while (i < G.size()) {
            const char *Clause = ClauseWordAt(G, i);
            size_t E = i + 1;
            while (E < G.size() && !ClauseWordAt(G, E))
                ++E;
            const std::string K = Clause ? Clause : "";
            const size_t B = Clause ? i + 1 : i;
            Out.insert(Out.end(), G.begin() + static_cast<long>(i), G.begin() + static_cast<long>(B));
            std::vector<TNode> Span(G.begin() + static_cast<long>(B), G.begin() + static_cast<long>(E));
            if (K == "WHERE" || K == "HAVING" || K == "ON") {
                DateCondition(Span);
            } else if (K == "FROM" || K == "JOIN" || K == "INTO" || K == "UPDATE" || K == "INNER" || K == "LEFT" ||
                       K == "RIGHT" || K == "OUTER" || K == "INSERT" || K == "DELETE") {
                // Tables and their column lists; a statement among them on its own.
                for (TNode &N : Span)
                    if (StartsStatement(N))
                        DateStatement(N.Items);
            } else if ((K == "ORDER" || K == "GROUP") && !Union) {
                // A date column orders and groups by the date the fetch reads
                // in it; a text the fetch finds no date in stays where it
                // always sorted, after every date. An item of a compound
                // select names a result column.
                std::vector<TNode> By;
                for (auto &Item : SplitCommas(Span)) {
                    if (!By.empty())
                        By.push_back(Tok(TK::Punct, ","));
                    const size_t First = !Item.empty() && IsKw(Item[0], "BY") ? 1 : 0;
                    const size_t Last = Item.size() > First && (IsKw(Item.back(), "ASC") || IsKw(Item.back(), "DESC"))
                                            ? Item.size() - 1
                                            : Item.size();
                    if (const size_t L = First < Last ? DateRefAt(Item, First) : 0; L && First + L == Last) {
                        std::vector<TNode> Ref(Item.begin() + static_cast<long>(First),
                                               Item.begin() + static_cast<long>(Last));
                        Item.erase(Item.begin() + static_cast<long>(First) + 1, Item.begin() + static_cast<long>(Last));
                        std::vector<TNode> Args = {Call("jet_datecol", Ref), Tok(TK::Punct, ",")};
                        Args.insert(Args.end(), Ref.begin(), Ref.end());
                        Item[First] = Call("coalesce", std::move(Args));
                    } else {
                        DateOperands(Item, false);
                    }
                    By.insert(By.end(), Item.begin(), Item.end());
                }
                Span = std::move(By);
            } else if (K == "SET") {
                std::vector<TNode> Set;
                for (auto &A : SplitCommas(Span)) {
                    if (!Set.empty())
                        Set.push_back(Tok(TK::Punct, ","));
                    const auto Eq = std::find_if(A.begin(), A.end(), [](const TNode &N) { return IsPunct(N, "="); });
                    std::vector<TNode> Value(Eq == A.end() ? A.end() : Eq + 1, A.end());
                    DateOperands(Value, true);
                    Set.insert(Set.end(), A.begin(), Eq == A.end() ? A.end() : Eq + 1);
                    Set.insert(Set.end(), Value.begin(), Value.end());
                }
                Span = std::move(Set);
            } else {
                DateOperands(Span, false);
            }
            Out.insert(Out.end(), Span.begin(), Span.end());
            i = E;
        }
        G = std::move(Out);
    }

    // Date columns that are operands read through jet_datecol; statements
    // inside go clause by clause.
    void DateOperands(std::vector<TNode> &G, bool AItems)
    {
        for (size_t i = 0; i < G.size(); ++i) {
            if (G[i].IsGroup) {
                if (StartsStatement(G[i]))
                    DateStatement(G[i].Items);
                else
                    DateOperands(G[i].Items, ItemsAreOperands(G, i, AItems));
                continue;
            }
            const size_t L = DateRefAt(G, i);
            if (!L || !IsOperand(G, i, L, AItems))
                continue;
            std::vector<TNode> Ref(G.begin() + static_cast<long>(i), G.begin() + static_cast<long>(i + L));
            G.erase(G.begin() + static_cast<long>(i) + 1, G.begin() + static_cast<long>(i + L));
            G[i] = Call("jet_datecol", std::move(Ref));
        }
    }

    // E split at its top-level AWord ("AND", "OR"), with the words between
    // the parts; the AND of BETWEEN ... AND is no separator.
    static std::vector<std::vector<TNode>> SplitAt(const std::vector<TNode> &E, const char *AWord,
                                                   std::vector<TNode> &AWords)
    {
        std::vector<std::vector<TNode>> Parts(1);
        const bool And = std::strcmp(AWord, "AND") == 0;
        bool Between = false;
        for (const TNode &N : E) {
            Between = Between || (And && IsKw(N, "BETWEEN"));
            if (IsKw(N, AWord) && !(And && Between)) {
                AWords.push_back(N);
                Parts.emplace_back();
                continue;
            }
            if (And && Between && IsKw(N, "AND"))
                Between = false;
            Parts.back().push_back(N);
        }
        return Parts;
    }
    static bool HasTopWord(const std::vector<TNode> &E, std::initializer_list<const char *> AWords)
    {
        for (const TNode &N : E)
            for (const char *W : AWords)
                if (IsKw(N, W))
                    return true;
        return false;
    }

    void DateCondition(std::vector<TNode> &E)
    {
        // Jet's other connectives keep the whole condition as it is, its
        // date columns read as values.
        if (HasTopWord(E, {"XOR", "EQV", "IMP"})) {
            DateOperands(E, false);
            return;
        }
        std::vector<TNode> Words;
        std::vector<std::vector<TNode>> Ors = SplitAt(E, "OR", Words);
        if (Ors.size() == 1) {
            DateConjunction(E);
            return;
        }
        std::vector<TNode> Out;
        for (size_t k = 0; k < Ors.size(); ++k) {
            if (k)
                Out.push_back(Words[k - 1]);
            DateConjunction(Ors[k]);
            Out.insert(Out.end(), Ors[k].begin(), Ors[k].end());
        }
        E = std::move(Out);
    }

    // The terms of the conjunction E, with those of a parenthesised
    // conjunction among them taken in.
    void ConjunctionTerms(const std::vector<TNode> &E, std::vector<std::vector<TNode>> &ATerms)
    {
        std::vector<TNode> Words;
        for (auto &T : SplitAt(E, "AND", Words)) {
            if (T.size() == 1 && T[0].IsGroup && !StartsStatement(T[0]) && !HasTopWord(T[0].Items, {"OR", "XOR", "EQV", "IMP"}))
                ConjunctionTerms(T[0].Items, ATerms);
            else
                ATerms.push_back(std::move(T));
        }
    }

    // Where the term T compares a bare date column with a value that holds
    // none: the reference's place and length.
    bool DateComparison(const std::vector<TNode> &T, size_t &ARef, size_t &ALen) const
    {
        const size_t N = T.size();
        const auto Value = [&](size_t B, size_t E, bool ABetween) {
            if (B >= E)
                return false;
            int Ands = 0;
            for (size_t k = B; k < E; ++k) {
                if (IsKw(T[k], "AND") && ABetween) {
                    ++Ands;
                    continue;
                }
                if (IsComparisonOrLogicOp(T[k]))
                    return false;
            }
            const std::vector<TNode> V(T.begin() + static_cast<long>(B), T.begin() + static_cast<long>(E));
            return (!ABetween || Ands == 1) && !HasDateRef(V) && (FMarkersNumbered || !HasMarker(V));
        };
        if (N < 3)
            return false;
        if (const size_t L = DateRefAt(T, 0); L && L < N &&
                                              ((IsCompareOperator(T[L]) && Value(L + 1, N, false)) ||
                                               (IsKw(T[L], "BETWEEN") && Value(L + 1, N, true)))) {
            ARef = 0;
            ALen = L;
            return true;
        }
        for (const size_t L : {size_t(3), size_t(1)})
            if (N > L + 1 && DateRefAt(T, N - L) == L && IsCompareOperator(T[N - L - 1]) && Value(0, N - L - 1, false)) {
                ARef = N - L;
                ALen = L;
                return true;
            }
        return false;
    }

    void DateConjunction(std::vector<TNode> &E)
    {
        std::vector<std::vector<TNode>> Terms;
        ConjunctionTerms(E, Terms);
        struct TColumn {
            std::vector<TNode> Ref;
            std::vector<TNode> Raw, Read;
            bool Emitted = false;
        };
        std::vector<TColumn> Columns;
        std::vector<int> ColumnOf(Terms.size(), -1);
        for (size_t t = 0; t < Terms.size(); ++t) {
            size_t At = 0, L = 0;
            if (!DateComparison(Terms[t], At, L))
                continue;
            const std::vector<TNode> &T = Terms[t];
            std::vector<TNode> Ref(T.begin() + static_cast<long>(At), T.begin() + static_cast<long>(At + L));
            std::string Key;
            for (const TNode &R : Ref)
                Key += Upper(R.Tok.Text);
            size_t C = 0;
            while (C < Columns.size()) {
                std::string Of;
                for (const TNode &R : Columns[C].Ref)
                    Of += Upper(R.Tok.Text);
                if (Of == Key)
                    break;
                ++C;
            }
            if (C == Columns.size())
                Columns.push_back({Ref, {}, {}});
            TColumn &Col = Columns[C];
            std::vector<TNode> Read(T.begin(), T.begin() + static_cast<long>(At));
            Read.push_back(Call("jet_datecol", Ref));
            Read.insert(Read.end(), T.begin() + static_cast<long>(At + L), T.end());
            for (auto *Side : {&Col.Raw, &Col.Read})
                if (!Side->empty())
                    Side->push_back(Tok(TK::Ident, "AND"));
            Col.Raw.insert(Col.Raw.end(), T.begin(), T.end());
            Col.Read.insert(Col.Read.end(), Read.begin(), Read.end());
            ColumnOf[t] = int(C);
        }
        if (Columns.empty()) {
            // Nothing to gather: each term of this level on its own, as written.
            std::vector<TNode> Words;
            std::vector<std::vector<TNode>> Parts = SplitAt(E, "AND", Words);
            std::vector<TNode> Out;
            for (size_t k = 0; k < Parts.size(); ++k) {
                if (k)
                    Out.push_back(Words[k - 1]);
                DateTerm(Parts[k]);
                Out.insert(Out.end(), Parts[k].begin(), Parts[k].end());
            }
            E = std::move(Out);
            return;
        }
        std::vector<TNode> Out;
        for (size_t t = 0; t < Terms.size(); ++t) {
            std::vector<TNode> Term;
            if (ColumnOf[t] < 0) {
                DateTerm(Terms[t]);
                Term = std::move(Terms[t]);
            } else if (TColumn &Col = Columns[size_t(ColumnOf[t])]; !Col.Emitted) {
                Col.Emitted = true;
                std::vector<TNode> Raw = std::move(Col.Raw);
                Raw.push_back(Tok(TK::Ident, "AND"));
                Raw.push_back(Tok(TK::Punct, "+"));
                Raw.insert(Raw.end(), Col.Ref.begin(), Col.Ref.end());
                Raw.push_back(Tok(TK::Punct, "<"));
                Raw.push_back(Tok(TK::String, ""));
                std::vector<TNode> Read = Col.Ref;
                Read.push_back(Tok(TK::Punct, ">="));
                Read.push_back(Tok(TK::String, ""));
                Read.push_back(Tok(TK::Ident, "AND"));
                Read.insert(Read.end(), Col.Read.begin(), Col.Read.end());
                Term = {Group({Group(std::move(Raw)), Tok(TK::Ident, "OR"), Group(std::move(Read))})};
            } else {
                continue;
            }
            if (!Out.empty())
                Out.push_back(Tok(TK::Ident, "AND"));
            Out.insert(Out.end(), Term.begin(), Term.end());
        }
        E = std::move(Out);
    }

    // A term of a condition that compares no bare date column with a value:
    // a parenthesised condition on its own, anything else as values.
    void DateTerm(std::vector<TNode> &T)
    {
        if (T.size() == 1 && T[0].IsGroup && !StartsStatement(T[0]))
            DateCondition(T[0].Items);
        else if (T.size() == 2 && IsKw(T[0], "NOT") && T[1].IsGroup && !StartsStatement(T[1]))
            DateCondition(T[1].Items);
        else
            DateOperands(T, false);
    }

    // --- text compared as Jet compares it
    // A text column in a condition, a grouping or an ordering is marked
    // COLLATE JETNOCASE (a collation of the connection that ignores the case
    // of every letter it knows): =, <>, <, IN, BETWEEN, joins, GROUP BY and
    // ORDER BY then all compare with it, since SQLite takes an operand's
    // explicit collation before the column's NOCASE. The file's schema
    // keeps NOCASE. A select list is left alone: a plain column there keeps
    // its name, type and origin. Functions, qualifiers and keywords are no
    // columns; LEFT and RIGHT that remain after the functions were renamed
    // are joins, and end the condition like the other clauses.
    void TextComparisons(std::vector<TNode> &G, bool ACompare)
    {
        bool Compare = ACompare;
        for (size_t i = 0; i < G.size(); ++i) {
            TNode &N = G[i];
            if (N.IsGroup) {
                TextComparisons(N.Items, Compare && !StartsStatement(N));
                continue;
            }
            if (N.Tok.Kind != TK::Ident && N.Tok.Kind != TK::Name)
                continue;
            const std::string U = Upper(N.Tok.Text);
            if (N.Tok.Kind == TK::Ident) {
                static const std::set<std::string> Starts = {"WHERE", "ON", "HAVING", "BY"};
                static const std::set<std::string> Ends = {"SELECT", "FROM", "JOIN",   "INNER", "LEFT",  "RIGHT",
                                                           "OUTER",  "SET",  "VALUES", "INTO",  "LIMIT", "UNION"};
                if (Starts.count(U) || Ends.count(U)) {
                    Compare = Starts.count(U) > 0;
                    continue;
                }
                if (IsSqlKeyword(U) || U == "COLLATE")
                    continue;
            }
            const bool Qualifier = i + 1 < G.size() && (G[i + 1].IsGroup || IsPunct(G[i + 1], "."));
            if (!Compare || Qualifier || (i > 0 && IsKw(G[i - 1], "AS")) ||
                (i + 1 < G.size() && IsKw(G[i + 1], "COLLATE")))
                continue;
            if (std::find(FResult.ComparedNames.begin(), FResult.ComparedNames.end(), U) == FResult.ComparedNames.end())
                FResult.ComparedNames.push_back(U);
            if (std::find(FCtx.TextColumns.begin(), FCtx.TextColumns.end(), U) != FCtx.TextColumns.end()) {
                G.insert(G.begin() + static_cast<long>(i) + 1, {Tok(TK::Ident, "COLLATE"), Tok(TK::Ident, "JETNOCASE")});
                i += 2;
            }
        }
    }

    // --- output
    int FLiftNext = 0;   // number of the next lifted literal's parameter, 0 when none are lifted
    int FMarkerNext = 0; // number of the next user marker while literals are lifted

    void EmitInto(const std::vector<TNode> &G, std::string &S)
    {
        for (const auto &N : G) {
            if (!S.empty() && S.back() != '(')
                S += ' ';
            if (N.IsGroup) {
                S += '(';
                EmitInto(N.Items, S);
                S += ')';
                continue;
            }
            if (N.Tok.Kind == TK::Param && N.Tok.Marker > 0) {
                S += '?' + std::to_string(N.Tok.Marker);
                continue;
            }
            if (FLiftNext && N.Tok.Kind == TK::Param) {
                S += '?' + std::to_string(FMarkerNext++);
                continue;
            }
            if (FLiftNext && N.Tok.Lift) {
                S += '?' + std::to_string(FLiftNext++);
                FResult.LiftedLiterals.push_back(N.Tok.Lit);
                continue;
            }
            switch (N.Tok.Kind) {
            case TK::Name:
                S += QuoteSqliteName(N.Tok.Text);
                break;
            case TK::String: {
                S += '\'';
                for (char C : N.Tok.Text) {
                    S += C;
                    if (C == '\'')
                        S += '\'';
                }
                S += '\'';
                break;
            }
            default:
                S += N.Tok.Text;
            }
        }
    }
    std::string Emit(const std::vector<TNode> &G)
    {
        std::string S;
        EmitInto(G, S);
        return S;
    }
};

} // namespace

std::string UpperAscii(std::string S)
{
    for (auto &C : S)
        C = rtl::CUpCase(C);
    return S;
}

std::string QuoteSqliteName(const std::string &AName)
{
    std::string S = "\"";
    for (char C : AName) {
        S += C;
        if (C == '"')
            S += '"';
    }
    return S + "\"";
}

std::string CanonicalJetType(const std::string &ATypeWord, int ASize)
{
    const std::string U = Upper(ATypeWord);
    if (U == "INTEGER" || U == "INT" || U == "LONG" || U == "INTEGER4")
        return "LONG";
    if (U == "SMALLINT" || U == "SHORT" || U == "INTEGER2")
        return "SHORT";
    if (U == "TINYINT" || U == "BYTE" || U == "INTEGER1")
        return "BYTE";
    if (U == "REAL" || U == "SINGLE" || U == "FLOAT4")
        return "SINGLE";
    if (U == "FLOAT" || U == "DOUBLE" || U == "FLOAT8" || U == "NUMBER")
        return "DOUBLE";
    if (U == "MONEY" || U == "CURRENCY")
        return "CURRENCY";
    if (U == "DATE" || U == "TIME" || U == "DATETIME" || U == "TIMESTAMP")
        return "DATETIME";
    if (U == "BIT" || U == "LOGICAL" || U == "YESNO" || U == "LOGICAL1" || U == "BOOLEAN")
        return "YESNO";
    if (U == "TEXT" || U == "VARCHAR" || U == "CHAR" || U == "CHARACTER" || U == "STRING" || U == "ALPHANUMERIC" ||
        U == "NVARCHAR" || U == "NCHAR")
        return "TEXT(" + std::to_string(ASize < 0 ? 255 : ASize) + ")";
    if (U == "MEMO" || U == "LONGTEXT" || U == "LONGCHAR" || U == "NOTE" || U == "NTEXT")
        return "LONGTEXT";
    if (U == "COUNTER" || U == "AUTOINCREMENT" || U == "IDENTITY")
        return "COUNTER";
    if (U == "BINARY" || U == "VARBINARY")
        return "BINARY(" + std::to_string(ASize < 0 ? 255 : ASize) + ")";
    if (U == "LONGBINARY" || U == "IMAGE" || U == "GENERAL" || U == "OLEOBJECT")
        return "LONGBINARY";
    return {};
}

TJetTranslation TranslateJetSql(const std::string &AJetSql, const TJetTranslateContext &AContext)
{
    return TTranslator(AContext).Run(AJetSql);
}

namespace {

// One token of a key: kind, length and text, so that no two token streams
// share a key whatever characters a name holds. Written at AOut, which has
// room for it; returns the end.
char *PutKeyHead(char *AOut, char AKind, size_t ALength)
{
    char Digits[24];
    size_t N = 0;
    size_t Rest = ALength;
    do {
        Digits[N++] = static_cast<char>('0' + Rest % 10);
        Rest /= 10;
    } while (Rest);
    *AOut++ = AKind;
    while (N)
        *AOut++ = Digits[--N];
    *AOut++ = ':';
    return AOut;
}

char *PutKeyPart(char *AOut, char AKind, const char *AText, size_t ALength)
{
    AOut = PutKeyHead(AOut, AKind, ALength);
    std::memcpy(AOut, AText, ALength);
    return AOut + ALength;
}

void PutKeyPart(std::string &AKey, char AKind, const char *AText, size_t ALength)
{
    char Head[24];
    const char *const End = PutKeyHead(Head, AKind, ALength);
    AKey.append(Head, static_cast<size_t>(End - Head));
    AKey.append(AText, ALength);
}

// The value of a number literal's text where it can be read exactly (see
// TJetLiteral::HasValue); ALiteral.Kind is already set.
void ReadNumberValue(TJetLiteral &ALiteral, const char *AText, size_t ALength)
{
    ALiteral.HasValue = false;
    if (ALiteral.Kind != 'I' && ALiteral.Kind != 'R')
        return;
    unsigned long long Digits = 0;
    int Significant = 0, After = -1, Seen = 0;
    for (size_t i = 0; i < ALength; ++i) {
        const char C = AText[i];
        if (C == '.') {
            if (After >= 0)
                return;
            After = 0;
            continue;
        }
        if (C < '0' || C > '9')
            return;
        ++Seen;
        if (After >= 0)
            ++After;
        if (Digits == 0 && C == '0')
            continue;
        Digits = Digits * 10 + static_cast<unsigned>(C - '0');
        if (++Significant > (ALiteral.Kind == 'I' ? 18 : 15))
            return;
    }
    if (Seen == 0)
        return;
    if (ALiteral.Kind == 'I') {
        if (After >= 0)
            return;
        ALiteral.Int = static_cast<long long>(Digits);
        ALiteral.HasValue = true;
        return;
    }
    int Places = After < 0 ? 0 : After;
    while (Places > 0 && Digits % 10 == 0 && Digits != 0) {
        Digits /= 10;
        --Places;
    }
    if (Digits == 0)
        Places = 0;
    if (Places > 3)
        return;
    // Below 10^15 the digits are an exact double, and so is 10^Places: the
    // quotient is the correctly rounded value. Three places at most keep it
    // clear of the halfway points between doubles by more than an extended
    // division's own error, so a reader that divides in long double (as
    // SQLite's does) rounds to the same double.
    static const double Scale[] = {1.0, 10.0, 100.0, 1000.0};
    ALiteral.Real = static_cast<double>(Digits) / Scale[Places];
    ALiteral.HasValue = true;
}

// The shapes of one statement after another reuse the literals' texts.
TJetLiteral &NextLiteral(TJetShape &AShape, size_t &ACount)
{
    if (ACount == AShape.Literals.size())
        AShape.Literals.emplace_back();
    return AShape.Literals[ACount++];
}

void PutLiteralKey(std::string &AKey, char AKind)
{
    const char Part[2] = {'#', AKind};
    AKey.append(Part, 2);
}

bool IsOperatorChar(unsigned char C)
{
    switch (C) {
    case '(': case ')': case ',': case '.': case ';': case '=': case '<': case '>': case '+': case '-': case '*':
    case '/': case '&': case '\\': case '^': case '%': case '!':
        return true;
    default:
        return false;
    }
}

// The shape of a text made only of the common tokens (words, numbers,
// strings, markers, operators), read in one pass straight into the key, as
// the tokenizer would have read it. False when the text holds anything
// else (a quoted or bracketed name, a date, an ODBC escape, @@IDENTITY, a
// string left open, a stray character): the tokenizer then reads it.
bool QuickShape(const std::string &AText, TJetShape &AShape, size_t &ACount)
{
    const char *const S = AText.data();
    const size_t Size = AText.size();
    // The key is written straight into its buffer: no token takes more than
    // four bytes of key per byte of text.
    std::string &Key = AShape.Key;
    const size_t Base = Key.size();
    Key.resize(Base + 4 * Size + 32);
    char *K = Key.data() + Base;
    bool AfterName = false; // the token before was a word or a name: ".5" is then a dot and a number
    size_t P = 0;
    while (true) {
        while (P < Size && (S[P] == ' ' || S[P] == '\t' || S[P] == '\r' || S[P] == '\n'))
            ++P;
        if (P >= Size) {
            Key.resize(static_cast<size_t>(K - Key.data()));
            return true;
        }
        const unsigned char C = static_cast<unsigned char>(S[P]);
        if (C == '\'') {
            TJetLiteral &L = NextLiteral(AShape, ACount);
            L.Kind = 'S';
            L.Text.clear();
            size_t Q = P + 1;
            while (true) {
                const size_t E = AText.find('\'', Q);
                if (E == std::string::npos)
                    return false;
                L.Text.append(S + Q, E - Q);
                if (E + 1 < Size && S[E + 1] == '\'') {
                    L.Text += '\'';
                    Q = E + 2;
                    continue;
                }
                P = E + 1;
                break;
            }
            L.HasValue = false;
            *K++ = '#';
            *K++ = 'S';
            AfterName = false;
        } else if (IsAsciiDigit(C) || (C == '.' && P + 1 < Size && IsAsciiDigit(static_cast<unsigned char>(S[P + 1])) &&
                                        !AfterName)) {
            const size_t B = P;
            bool Real = false;
            while (P < Size && IsAsciiDigit(static_cast<unsigned char>(S[P])))
                ++P;
            if (P < Size && S[P] == '.') {
                Real = true;
                ++P;
                while (P < Size && IsAsciiDigit(static_cast<unsigned char>(S[P])))
                    ++P;
            }
            if (P < Size && (S[P] == 'e' || S[P] == 'E')) {
                size_t Q = P + 1;
                if (Q < Size && (S[Q] == '+' || S[Q] == '-'))
                    ++Q;
                if (Q < Size && IsAsciiDigit(static_cast<unsigned char>(S[Q]))) {
                    Real = true;
                    P = Q;
                    while (P < Size && IsAsciiDigit(static_cast<unsigned char>(S[P])))
                        ++P;
                }
            }
            TJetLiteral &L = NextLiteral(AShape, ACount);
            L.Text.assign(S + B, P - B);
            if (Real)
                L.Kind = 'R';
            else if (P - B <= 18)
                L.Kind = 'I'; // below 10^18: always a 64-bit integer
            else {
                errno = 0;
                (void)std::strtoll(L.Text.c_str(), nullptr, 10);
                L.Kind = errno == ERANGE ? 'H' : 'I';
            }
            ReadNumberValue(L, S + B, P - B);
            *K++ = '#';
            *K++ = L.Kind;
            AfterName = false;
        } else if (IsIdentStart(C)) {
            const size_t B = P;
            while (P < Size && IsIdentChar(static_cast<unsigned char>(S[P])))
                ++P;
            K = PutKeyPart(K, 'W', S + B, P - B);
            AfterName = true;
        } else if (C == '?') {
            std::memcpy(K, "P1:?", 4);
            K += 4;
            ++P;
            AfterName = false;
        } else {
            size_t N = 1;
            if (P + 1 < Size) {
                const char D = S[P + 1];
                // The tokenizer refuses "||" (its '|' is no operator of Jet's).
                if ((D == '=' && (C == '<' || C == '>' || C == '!' || C == '=')) || (C == '<' && D == '>'))
                    N = 2;
            }
            if (N == 1 && !IsOperatorChar(C))
                return false;
            K = PutKeyPart(K, '.', S + P, N);
            P += N;
            AfterName = false;
        }
    }
}

} // namespace

bool JetStatementShape(const std::string &AJetSql, TJetShape &AShape)
{
    AShape.Key.clear();
    size_t Count = 0;
    if (QuickShape(AJetSql, AShape, Count)) {
        AShape.Literals.resize(Count);
        return true;
    }
    AShape.Key.clear();
    Count = 0;
    std::vector<TToken> Tokens;
    try {
        Tokens = TTokenizer(AJetSql).Run();
    } catch (const TJetSqlError &) {
        AShape.Literals.clear();
        return false;
    }
    for (const auto &T : Tokens) {
        if (T.Kind == TK::String || T.Kind == TK::Number) {
            TJetLiteral &L = NextLiteral(AShape, Count);
            L.Kind = LiteralKindOf(T);
            L.Text = T.Text;
            ReadNumberValue(L, T.Text.data(), T.Text.size());
            PutLiteralKey(AShape.Key, L.Kind);
            continue;
        }
        // [Month] is a name, Month a function or a keyword; {fn ...} names
        // the ODBC function of that name.
        const char Kind = T.Kind == TK::Name ? 'N' : T.Kind == TK::Param ? 'P' : T.Kind == TK::Punct ? '.' : T.OdbcFn ? 'F' : 'W';
        PutKeyPart(AShape.Key, Kind, T.Text.data(), T.Text.size());
    }
    AShape.Literals.resize(Count);
    return true;
}

} // namespace jet
