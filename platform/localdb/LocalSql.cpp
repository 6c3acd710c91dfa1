// Local SQL tokenizer and rewriter.
#include "platform/localdb/LocalSql.h"

#include <cctype>
#include <set>

#include "platform/localdb/LocalEngine.h"
#include "platform/rtl/SysUtils.h"

namespace {

bool IsWordStart(char C) { return std::isalpha(uint8_t(C)) || C == '_' || uint8_t(C) >= 0x80; }
bool IsWordChar(char C) { return std::isalnum(uint8_t(C)) || C == '_' || C == '$' || uint8_t(C) >= 0x80; }

const std::set<std::string> &ClauseWords()
{
    static const std::set<std::string> Words = {
        "WHERE", "ON", "JOIN", "LEFT", "RIGHT", "INNER", "OUTER", "CROSS", "FULL", "ORDER",
        "GROUP", "HAVING", "UNION", "LIMIT", "SET", "VALUES", "SELECT", "AS", "NATURAL",
        "USING", "EXCEPT", "INTERSECT", "FROM", "INTO", "DEFAULT"};
    return Words;
}

struct TTableRef {
    size_t Token;          // index of the name token
    std::string Original;  // as written
    std::string Sql;       // resolved SQL name
    std::string Stored;    // stored table name
    bool Exists = false;
    std::string Alias;
};

} // namespace

std::vector<TLocalSqlToken> LocalSqlTokenize(const std::string &ASql)
{
    std::vector<TLocalSqlToken> Out;
    size_t I = 0, N = ASql.size();
    while (I < N) {
        char C = ASql[I];
        size_t Start = I;
        TLocalSqlToken::TKind Kind;
        if (std::isspace(uint8_t(C))) {
            while (I < N && std::isspace(uint8_t(ASql[I])))
                ++I;
            Kind = TLocalSqlToken::tkSpace;
        } else if (C == '-' && I + 1 < N && ASql[I + 1] == '-') {
            while (I < N && ASql[I] != '\n')
                ++I;
            Kind = TLocalSqlToken::tkComment;
        } else if (C == '/' && I + 1 < N && ASql[I + 1] == '*') {
            size_t E = ASql.find("*/", I + 2);
            I = E == std::string::npos ? N : E + 2;
            Kind = TLocalSqlToken::tkComment;
        } else if (C == '\'' || C == '"' || C == '[') {
            char Close = C == '[' ? ']' : C;
            ++I;
            while (I < N) {
                if (ASql[I] == Close) {
                    if (Close != ']' && I + 1 < N && ASql[I + 1] == Close) {
                        I += 2;
                        continue;
                    }
                    ++I;
                    break;
                }
                ++I;
            }
            Kind = C == '\'' ? TLocalSqlToken::tkString
                   : C == '"' ? TLocalSqlToken::tkQuoted
                              : TLocalSqlToken::tkBracket;
        } else if (std::isdigit(uint8_t(C)) || (C == '.' && I + 1 < N && std::isdigit(uint8_t(ASql[I + 1])))) {
            while (I < N && (std::isdigit(uint8_t(ASql[I])) || ASql[I] == '.'))
                ++I;
            if (I < N && (ASql[I] == 'e' || ASql[I] == 'E')) {
                size_t J = I + 1;
                if (J < N && (ASql[J] == '+' || ASql[J] == '-'))
                    ++J;
                if (J < N && std::isdigit(uint8_t(ASql[J]))) {
                    I = J;
                    while (I < N && std::isdigit(uint8_t(ASql[I])))
                        ++I;
                }
            }
            Kind = TLocalSqlToken::tkNumber;
        } else if (IsWordStart(C)) {
            while (I < N && IsWordChar(ASql[I]))
                ++I;
            Kind = TLocalSqlToken::tkWord;
        } else {
            ++I;
            // Two-character operators stay one token.
            if (I < N && ((C == '<' && (ASql[I] == '>' || ASql[I] == '=')) ||
                          (C == '>' && ASql[I] == '=') || (C == '!' && ASql[I] == '=') ||
                          (C == '|' && ASql[I] == '|')))
                ++I;
            Kind = TLocalSqlToken::tkPunct;
        }
        Out.push_back({Kind, ASql.substr(Start, I - Start)});
    }
    return Out;
}

std::string LocalSqlVerb(const std::string &ASql)
{
    for (const auto &T : LocalSqlTokenize(ASql))
        if (T.Kind == TLocalSqlToken::tkWord)
            return rtl::UpperCase(T.Text);
    return "";
}

namespace {

std::string Unquote(const TLocalSqlToken &T)
{
    if (T.Kind == TLocalSqlToken::tkQuoted || T.Kind == TLocalSqlToken::tkBracket) {
        std::string Inner = T.Text.substr(1, T.Text.size() >= 2 ? T.Text.size() - 2 : 0);
        if (T.Kind == TLocalSqlToken::tkQuoted)
            Inner = rtl::StringReplace(Inner, "\"\"", "\"");
        return Inner;
    }
    return T.Text;
}

bool IsName(const TLocalSqlToken &T)
{
    return T.Kind == TLocalSqlToken::tkWord || T.Kind == TLocalSqlToken::tkQuoted ||
           T.Kind == TLocalSqlToken::tkBracket;
}

} // namespace

std::string LocalSqlRewrite(const std::string &ASql, TLocalDatabase &ADb)
{
    // One look at the schema cookies serves every name of the statement.
    TLocalDatabase::TSchemaPin Pin(ADb);
    return LocalSqlRewriteKnown(ASql, ADb);
}

std::string LocalSqlRewriteKnown(const std::string &ASql, TLocalDatabase &ADb)
{
    TLocalDatabase::TSchemaPin Pin(ADb, false);
    std::vector<TLocalSqlToken> Tokens = LocalSqlTokenize(ASql);
    // Indexes of the significant tokens.
    std::vector<size_t> Sig;
    for (size_t I = 0; I < Tokens.size(); ++I)
        if (Tokens[I].Kind != TLocalSqlToken::tkSpace && Tokens[I].Kind != TLocalSqlToken::tkComment)
            Sig.push_back(I);
    auto Upper = [&](size_t K) {
        return K < Sig.size() && Tokens[Sig[K]].Kind == TLocalSqlToken::tkWord
                   ? rtl::UpperCase(Tokens[Sig[K]].Text)
                   : std::string();
    };
    auto PunctIs = [&](size_t K, const char *P) {
        return K < Sig.size() && Tokens[Sig[K]].Kind == TLocalSqlToken::tkPunct && Tokens[Sig[K]].Text == P;
    };

    // Pass 1: table references and their aliases.
    std::vector<TTableRef> Refs;
    std::vector<int> FromDepth; // paren depths at which a FROM list is open
    int Depth = 0;
    for (size_t K = 0; K < Sig.size(); ++K) {
        const TLocalSqlToken &T = Tokens[Sig[K]];
        if (T.Kind == TLocalSqlToken::tkPunct) {
            if (T.Text == "(")
                ++Depth;
            else if (T.Text == ")") {
                while (!FromDepth.empty() && FromDepth.back() >= Depth)
                    FromDepth.pop_back();
                --Depth;
            }
        }
        std::string W = Upper(K);
        if (W == "FROM")
            FromDepth.push_back(Depth);
        else if (!W.empty() && W != "JOIN" && W != "AS" && ClauseWords().count(W) &&
                 W != "LEFT" && W != "RIGHT" && W != "INNER" && W != "OUTER" && W != "CROSS" &&
                 W != "FULL" && W != "NATURAL" && !FromDepth.empty() && FromDepth.back() == Depth)
            FromDepth.pop_back();
        if (!IsName(T) || K == 0)
            continue;
        std::string Prev = Upper(K - 1);
        bool InFromList = !FromDepth.empty() && FromDepth.back() == Depth && PunctIs(K - 1, ",");
        bool IsRef = Prev == "FROM" || Prev == "JOIN" || Prev == "INTO" || Prev == "UPDATE" ||
                     Prev == "TABLE" || InFromList;
        if (!IsRef || (T.Kind == TLocalSqlToken::tkWord && ClauseWords().count(rtl::UpperCase(T.Text))))
            continue;
        TTableRef R;
        R.Token = Sig[K];
        R.Original = Unquote(T);
        // An unquoted name.db arrives as three tokens: fold the extension in.
        if (T.Kind == TLocalSqlToken::tkWord && PunctIs(K + 1, ".") && Upper(K + 2) == "DB") {
            R.Original += ".db";
            Tokens[Sig[K + 1]].Text.clear();
            Tokens[Sig[K + 2]].Text.clear();
            K += 2;
        }
        R.Sql = ADb.ResolveTable(R.Original, &R.Exists, &R.Stored);
        size_t A = K + 1;
        if (Upper(A) == "AS")
            ++A;
        if (A < Sig.size() && IsName(Tokens[Sig[A]]) &&
            !(Tokens[Sig[A]].Kind == TLocalSqlToken::tkWord && ClauseWords().count(Upper(A))))
            R.Alias = Unquote(Tokens[Sig[A]]);
        Refs.push_back(R);
    }

    // The names a double-quoted word may stand for; gathered only when such
    // a word is there to be judged (most statements quote table names only).
    std::set<std::string> Known;
    bool HaveKnown = false;
    auto IsKnown = [&](const std::string &AName) {
        if (!HaveKnown) {
            HaveKnown = true;
            for (const TTableRef &R : Refs) {
                Known.insert(rtl::UpperCase(R.Stored));
                Known.insert(rtl::UpperCase(R.Original));
                if (!R.Alias.empty())
                    Known.insert(rtl::UpperCase(R.Alias));
                if (R.Exists)
                    for (const TLocalColumn &C :
                         ADb.Columns(R.Sql == LocalQuoteName(R.Stored) ? R.Stored : R.Original))
                        Known.insert(rtl::UpperCase(C.Name));
            }
            // Result-column aliases (SELECT x AS "name") are names too.
            for (size_t K = 1; K < Sig.size(); ++K)
                if (Upper(K - 1) == "AS" && IsName(Tokens[Sig[K]]))
                    Known.insert(rtl::UpperCase(Unquote(Tokens[Sig[K]])));
        }
        return Known.count(rtl::UpperCase(AName)) != 0;
    };

    // Pass 2: rewrite.
    for (const TTableRef &R : Refs)
        Tokens[R.Token].Text = R.Sql;
    std::set<size_t> RefTokens;
    for (const TTableRef &R : Refs)
        RefTokens.insert(R.Token);
    for (size_t K = 0; K < Sig.size(); ++K) {
        TLocalSqlToken &T = Tokens[Sig[K]];
        if (T.Kind != TLocalSqlToken::tkQuoted || RefTokens.count(Sig[K]))
            continue;
        std::string Name = Unquote(T);
        bool Qualified = K > 0 && PunctIs(K - 1, ".");
        bool Qualifier = PunctIs(K + 1, ".");
        if (Qualifier) {
            // A table written as a qualifier in its own spelling.
            for (const TTableRef &R : Refs)
                if (rtl::SameText(R.Original, Name) && R.Alias.empty())
                    T.Text = LocalQuoteName(R.Stored);
            continue;
        }
        if (Qualified || IsKnown(Name))
            continue;
        T.Text = "'" + rtl::StringReplace(Name, "'", "''") + "'";
    }
    std::string Out;
    for (const auto &T : Tokens)
        Out += T.Text;
    return Out;
}

std::string LocalSqlShareable(const std::string &ASql, std::vector<int64_t> &AValues)
{
    AValues.clear();
    std::vector<TLocalSqlToken> Tokens = LocalSqlTokenize(ASql);
    std::vector<size_t> Sig;
    for (size_t I = 0; I < Tokens.size(); ++I)
        if (Tokens[I].Kind != TLocalSqlToken::tkSpace && Tokens[I].Kind != TLocalSqlToken::tkComment)
            Sig.push_back(I);
    if (Sig.empty() || Tokens[Sig[0]].Kind != TLocalSqlToken::tkWord || rtl::UpperCase(Tokens[Sig[0]].Text) != "SELECT")
        return {};
    static const std::set<std::string> Comparisons = {"=", "<>", "!=", "<", ">", "<=", ">="};
    static const std::set<std::string> WhereEnds = {"GROUP", "ORDER", "HAVING", "LIMIT", "UNION",
                                                    "EXCEPT", "INTERSECT", "WINDOW"};
    int Depth = 0;
    bool InWhere = false;
    std::vector<size_t> Numbers;
    for (size_t K = 0; K < Sig.size(); ++K) {
        const TLocalSqlToken &T = Tokens[Sig[K]];
        if (T.Kind == TLocalSqlToken::tkPunct) {
            // Parameters of the text's own, or a second statement: left as
            // written.
            if (T.Text == "?" || T.Text == ":" || T.Text == "@" || T.Text == "$" || T.Text == ";")
                return {};
            if (T.Text == "(")
                ++Depth;
            else if (T.Text == ")")
                --Depth;
            continue;
        }
        if (T.Kind == TLocalSqlToken::tkWord && Depth == 0) {
            const std::string W = rtl::UpperCase(T.Text);
            if (W == "WHERE")
                InWhere = true;
            else if (WhereEnds.count(W))
                InWhere = false;
            continue;
        }
        // Only a plain whole number compared at the top of the WHERE clause:
        // it names no result column there, and a bound integer compares as
        // the literal does (neither has an affinity).
        if (!InWhere || Depth != 0 || T.Kind != TLocalSqlToken::tkNumber || T.Text.size() > 18 ||
            T.Text.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const TLocalSqlToken &Prev = Tokens[Sig[K - 1]];
        if (Prev.Kind == TLocalSqlToken::tkPunct && Comparisons.count(Prev.Text))
            Numbers.push_back(Sig[K]);
    }
    if (Numbers.empty())
        return {};
    for (size_t I : Numbers) {
        AValues.push_back(std::stoll(Tokens[I].Text));
        Tokens[I].Text = "?";
    }
    std::string Out;
    Out.reserve(ASql.size());
    for (const auto &T : Tokens)
        Out += T.Text;
    return Out;
}
