// qxZqStanExpr: scanner, grammar, date phrases and parse-time types of the
// expression language; the parser service and its registration.
//
// Grammar, lowest precedence first (every two-operand level left-associative):
//   or-expr   = and-expr { OR and-expr }
//   and-expr  = not-expr { AND not-expr }
//   not-expr  = [ NOT ] predicate
//   predicate = phrase [ comparison phrase-or-quantified-list | [NOT] LIKE phrase
//               [ESCAPE phrase] | IS [NOT] NULL | [NOT] IN ( or-expr, ... )
//               | [NOT] BETWEEN phrase AND phrase ]
//   phrase    = sum [ date phrase ]
//   sum       = term { (|| | + | -) term }
//   term      = primary { (* | /) primary }
// Date phrases (FIRST DAY OF NEXT MONTH, 15 DAY OF THIS MONTH) are rewritten
// into a text of function calls, which is parsed in place; the rewritten
// text refers to nodes already built as "@@" and the node's number.
#include "dataaccess/stan/qxZqStanExpr.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanExprInt.h"

using rtl::Variant;

namespace {

// Token kinds of the scanner.
enum : uint8_t {
    tkEnd = 0,
    tkIdent = 1,
    tkName = 2,
    tkLiteral = 3,
    tkLParen = 4,
    tkRParen = 5,
    tkEq = 6,
    tkNe = 7,
    tkGe = 8,
    tkLe = 9,
    tkGt = 10,
    tkLt = 11,
    tkConcat = 12,
    tkPlus = 13,
    tkMinus = 14,
    tkMul = 15,
    tkDiv = 16,
    tkComma = 17,
    tkLike = 18,
    tkIsNull = 19,
    tkIsNotNull = 20,
    tkIn = 21,
    tkNotIn = 22,
    tkAny = 23,
    tkSome = 24,
    tkAll = 25,
    tkNotLike = 26,
    tkBetween = 27,
    tkNotBetween = 28,
    tkFirst = 29,
    tkLast = 30,
    tkNext = 31,
    tkPrior = 32,
    tkThis = 33,
    tkNumberRef = 34,
    tkDay = 35,
    tkMonth = 36,
    tkQuarter = 37,
    tkYear = 38,
    tkOf = 39,
    tkNodeRef = 40,
    tkNull = 41
};

bool IsIdentStart(unsigned char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C >= 192; }
bool IsIdentChar(unsigned char C)
{
    return IsIdentStart(C) || (C >= '0' && C <= '9') || C == '_' || C == '#' || C == '$' || C == '.';
}
bool IsModifierKind(uint8_t K) { return K >= tkFirst && K <= tkThis; }
bool IsUnitKind(uint8_t K) { return K >= tkDay && K <= tkYear; }

TZqExprClock GClock = nullptr;

// Deepest nesting of parentheses and calls, and deepest node tree; the
// evaluator's frame is small, so 2000 levels stay far inside a thread's stack.
constexpr int MaxNesting = 200;
constexpr int MaxTreeDepth = 2000;

int DepthOf(const TZqExpressionNode *ANode) { return ANode ? ANode->Depth : 0; }

} // namespace

// ---------------------------------------------------------------------------
// errors, clock

namespace zqexpr {

// Expression errors have no raising object, so no handler can clear them;
// the throw after ZqRaiseError only tells the compiler so.
void Raise(int ACode)
{
    ZqRaiseError(nullptr, {"Stan", "Eval"}, ACode);
    throw EZqException(ACode, ZqBuildErrorMessage({"Stan", "Eval"}, ACode));
}

void Raise(int ACode, const std::string &AArg)
{
    ZqRaiseError(nullptr, {"Stan", "Eval"}, ACode, {Variant(AArg)});
    throw EZqException(ACode, ZqBuildErrorMessage({"Stan", "Eval"}, ACode, {Variant(AArg)}));
}

} // namespace zqexpr

void ZqSetExpressionClock(TZqExprClock AClock) { GClock = AClock; }

rtl::TDateTime ZqExpressionNow() { return GClock ? GClock() : rtl::Now(); }

// ---------------------------------------------------------------------------
// the parser's state

struct TZqExpressionParser::TState {
    TZqExpression *Expr = nullptr;
    std::string Text;
    size_t Pos = 0;
    size_t TokenStart = 0;
    std::string Token;
    std::string UpToken;
    uint8_t Kind = tkEnd;
    bool IsNumber = false;
    double Number = 0;
    uint8_t Phrase = 0;
    TZqParserOptions Options;
    IZqStanExpressionDataSource *DataSource = nullptr;
    std::string FixedColumn;
    // The token before the current one decides whether "+" and "-" are
    // operators or signs.
    uint8_t PrevKind = tkEnd;
    std::string PrevUp;
    int Nesting = 0;

    struct TSaved {
        std::string Text;
        size_t Pos, TokenStart;
        std::string Token;
        uint8_t Kind;
        bool IsNumber;
        double Number;
        uint8_t PrevKind;
        std::string PrevUp;
        size_t SubAggregates;
    };
    TSaved Save() const;
    void Restore(const TSaved &AState);

    // scanner
    void Next();
    void SkipBlanks();
    size_t SkipBlanksFrom(size_t APos) const;
    std::string PeekWord(size_t &APos) const;
    char NextNonBlank() const;
    uint8_t ComparisonWord(const std::string &AUp, size_t &APos, bool &AFound) const;
    std::string TokenArg() const;
    void ScanNumber();

    // grammar
    TZqExpressionNode *ParseOr();
    TZqExpressionNode *ParseAnd();
    TZqExpressionNode *ParseNot();
    TZqExpressionNode *ParsePredicate();
    TZqExpressionNode *ParsePhrase(bool AAllowQuantified);
    TZqExpressionNode *ParseSum(bool AAllowQuantified);
    TZqExpressionNode *ParseTerm();
    TZqExpressionNode *ParsePrimary();
    TZqExpressionNode *ParseQuantified();
    TZqExpressionNode *ParseCall(int AIndex);
    TZqExpressionNode *ParseDatePhrase(TZqExpressionNode *ABefore);
    TZqExpressionNode *ParseGenerated(const std::string &AText);

    // nodes and types
    TZqExpressionNode *ColumnRef(const std::string &AName);
    TZqExpressionNode *Constant(const Variant &AValue, TZqDataType AType);
    TZqExpressionNode *Operator(uint8_t AOp, TZqExpressionNode *ALeft, TZqExpressionNode *ARight, TZqDataType AType);
    TZqExpressionNode *Arithmetic(uint8_t AOp, TZqExpressionNode *ALeft, TZqExpressionNode *ARight);
    void PredicateTypes(uint8_t AOp, TZqExpressionNode *ALeft, TZqExpressionNode *ARight);
    void CombineScope(TZqExpressionNode *ANode, TZqExpressionNode *AOperand);
    void SetDepth(TZqExpressionNode *ANode);
    std::string Ref(TZqExpressionNode *ANode) const;
};

TZqExpressionParser::TState::TSaved TZqExpressionParser::TState::Save() const
{
    return TSaved{Text, Pos, TokenStart, Token, Kind, IsNumber, Number, PrevKind, PrevUp,
                  static_cast<size_t>(Expr->GetSubAggregateCount())};
}

void TZqExpressionParser::TState::Restore(const TSaved &AState)
{
    Text = AState.Text;
    Pos = AState.Pos;
    TokenStart = AState.TokenStart;
    Token = AState.Token;
    UpToken = rtl::AnsiUpperCase(Token);
    Kind = AState.Kind;
    IsNumber = AState.IsNumber;
    Number = AState.Number;
    PrevKind = AState.PrevKind;
    PrevUp = AState.PrevUp;
    Expr->TruncateSubAggregates(static_cast<int>(AState.SubAggregates));
}

// ---------------------------------------------------------------------------
// scanner

void TZqExpressionParser::TState::SkipBlanks() { Pos = SkipBlanksFrom(Pos); }

size_t TZqExpressionParser::TState::SkipBlanksFrom(size_t APos) const
{
    while (APos < Text.size() && static_cast<unsigned char>(Text[APos]) >= 1 &&
           static_cast<unsigned char>(Text[APos]) <= 32)
        ++APos;
    return APos;
}

char TZqExpressionParser::TState::NextNonBlank() const
{
    size_t P = SkipBlanksFrom(Pos);
    return P < Text.size() ? Text[P] : '\0';
}

// The next identifier-like word from APos (blanks skipped), upper case;
// APos moves past it.
std::string TZqExpressionParser::TState::PeekWord(size_t &APos) const
{
    size_t P = SkipBlanksFrom(APos);
    size_t Start = P;
    if (P < Text.size() && IsIdentStart(static_cast<unsigned char>(Text[P])))
        while (P < Text.size() && IsIdentChar(static_cast<unsigned char>(Text[P]))) ++P;
    APos = P;
    return rtl::AnsiUpperCase(std::string_view(Text).substr(Start, P - Start));
}

std::string TZqExpressionParser::TState::TokenArg() const
{
    if (Kind == tkEnd) return "<nothing>";
    std::string Arg;
    Arg.reserve(Pos - TokenStart + 2);
    Arg += '\'';
    Arg.append(Text, TokenStart, Pos - TokenStart);
    Arg += '\'';
    return Arg;
}

// Comparison words: EQUAL, SAME, GREATER [THAN [OR EQUAL]], LESS ..., and
// UPPER/LOWER when no "(" follows (a "(" makes them the functions).
uint8_t TZqExpressionParser::TState::ComparisonWord(const std::string &AUp, size_t &APos, bool &AFound) const
{
    AFound = true;
    if (AUp == "EQUAL" || AUp == "SAME") return tkEq;
    uint8_t K = 0;
    if (AUp == "GREATER") K = tkGt;
    else if (AUp == "LESS") K = tkLt;
    else if (AUp == "UPPER" || AUp == "LOWER") {
        size_t P = SkipBlanksFrom(APos);
        if (P < Text.size() && Text[P] == '(') {
            AFound = false;
            return 0;
        }
        K = AUp == "UPPER" ? tkGt : tkLt;
    }
    if (K == 0) {
        AFound = false;
        return 0;
    }
    size_t P = APos;
    if (PeekWord(P) != "THAN") zqexpr::Raise(106);
    APos = P;
    size_t Q = P;
    if (PeekWord(Q) == "OR") {
        std::string W = PeekWord(Q);
        if (W != "EQUAL" && W != "SAME") zqexpr::Raise(106);
        APos = Q;
        return K == tkGt ? tkGe : tkLe;
    }
    return K;
}

void TZqExpressionParser::TState::ScanNumber()
{
    bool Negative = false;
    if (Text[Pos] == '-' || Text[Pos] == '+') {
        Negative = Text[Pos] == '-';
        ++Pos;
    }
    size_t Start = Pos;
    while (Pos < Text.size() && ((Text[Pos] >= '0' && Text[Pos] <= '9') || Text[Pos] == '.')) ++Pos;
    Token = Text.substr(Start, Pos - Start);
    // "." is the decimal separator whatever the locale; a sign without digits
    // leaves an empty text, whose conversion error goes to the caller.
    rtl::TFormatSettings Dot = rtl::FormatSettings;
    Dot.DecimalSeparator = '.';
    double V = 0;
    if (Token.find_first_of("eE") != std::string::npos || !rtl::TryStrToFloat(Token, V, Dot))
        throw rtl::EConvertError("'" + Token + "' is not a valid floating point value");
    Number = Negative ? -V : V;
    IsNumber = true;
    Kind = tkLiteral;
}

void TZqExpressionParser::TState::Next()
{
    PrevKind = Kind;
    PrevUp = UpToken;
    IsNumber = false;
    SkipBlanks();
    if (Text.compare(Pos, 2, "/*") == 0) {
        size_t Star = Text.find('*', Pos + 2);
        if (Star == std::string::npos || Star + 1 >= Text.size() || Text[Star + 1] != '/') {
            size_t From = Star == std::string::npos ? Pos : Star;
            zqexpr::Raise(107, Text.substr(From));
        }
        Pos = Star + 2;
        SkipBlanks();
    } else if (Text.compare(Pos, 2, "--") == 0) {
        while (Pos < Text.size() && Text[Pos] != '\r' && Text[Pos] != '\n') ++Pos;
        SkipBlanks();
    }
    TokenStart = Pos;
    Token.clear();
    UpToken.clear();
    if (Pos >= Text.size()) {
        Kind = tkEnd;
        return;
    }
    const unsigned char C = static_cast<unsigned char>(Text[Pos]);
    if (IsIdentStart(C)) {
        while (Pos < Text.size() && IsIdentChar(static_cast<unsigned char>(Text[Pos]))) ++Pos;
        Token = Text.substr(TokenStart, Pos - TokenStart);
        UpToken = rtl::AnsiUpperCase(Token);
        const std::string &U = UpToken;
        Kind = tkIdent;
        if (U == "NOT") {
            size_t P = Pos;
            std::string W = PeekWord(P);
            if (W == "IN") Kind = tkNotIn;
            else if (W == "LIKE") Kind = tkNotLike;
            else if (W == "BETWEEN") Kind = tkNotBetween;
            if (Kind != tkIdent) Pos = P;
        } else if (U == "LIKE") Kind = tkLike;
        else if (U == "IN") Kind = tkIn;
        else if (U == "ANY") Kind = tkAny;
        else if (U == "SOME") Kind = tkSome;
        else if (U == "ALL") Kind = tkAll;
        else if (U == "BETWEEN") Kind = tkBetween;
        else if (U == "FIRST") Kind = tkFirst;
        else if (U == "LAST") Kind = tkLast;
        else if (U == "PRIOR" || U == "PREVIOS") Kind = tkPrior;
        else if (U == "NEXT" || U == "FOLLOWS") Kind = tkNext;
        else if (U == "THIS" || U == "CURREDE") Kind = tkThis;
        else if (!Phrase && U == "DAY") Kind = tkDay;
        else if (!Phrase && U == "MONTH") Kind = tkMonth;
        else if (!Phrase && U == "QUARTER") Kind = tkQuarter;
        else if (!Phrase && U == "YEAR") Kind = tkYear;
        else if (U == "OF") Kind = tkOf;
        else if (U == "IS") {
            size_t P = Pos;
            std::string W = PeekWord(P);
            if (W == "NULL") {
                Kind = tkIsNull;
            } else if (W == "NOT") {
                if (PeekWord(P) != "NULL") zqexpr::Raise(106);
                Kind = tkIsNotNull;
            } else {
                bool Found = false;
                uint8_t K = ComparisonWord(W, P, Found);
                if (!Found) zqexpr::Raise(106);
                Kind = K;
            }
            Pos = P;
        } else if (U == "NULL") {
            Kind = tkNull;
        } else {
            size_t P = Pos;
            bool Found = false;
            uint8_t K = ComparisonWord(U, P, Found);
            if (Found) {
                Kind = K;
                Pos = P;
            }
        }
        return;
    }
    switch (C) {
    case '"':
    case '[': {
        char Close = C == '"' ? '"' : ']';
        size_t End = Text.find(Close, Pos + 1);
        if (End == std::string::npos) zqexpr::Raise(108);
        Token = Text.substr(Pos + 1, End - Pos - 1);
        UpToken = rtl::AnsiUpperCase(Token);
        Pos = End + 1;
        Kind = tkName;
        return;
    }
    case '\'': {
        // Two quotes in a row stand for one. The whole literal is kept:
        // longer texts are compared and stored whole elsewhere too.
        ++Pos;
        for (;;) {
            if (Pos >= Text.size()) zqexpr::Raise(109);
            if (Text[Pos] == '\'') {
                if (Pos + 1 < Text.size() && Text[Pos + 1] == '\'') {
                    Token += '\'';
                    Pos += 2;
                    continue;
                }
                ++Pos;
                break;
            }
            Token += Text[Pos++];
        }
        UpToken = rtl::AnsiUpperCase(Token);
        Kind = tkLiteral;
        return;
    }
    case '+':
    case '-':
    case '.':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9': {
        const bool AfterOperand = PrevKind == tkLiteral || PrevKind == tkName || PrevKind == tkRParen ||
                                  PrevKind == tkNodeRef || (PrevKind == tkIdent && PrevUp != "AND");
        if (AfterOperand) {
            if (C == '+' || C == '-') {
                Kind = C == '+' ? tkPlus : tkMinus;
                Token = std::string(1, static_cast<char>(C));
                ++Pos;
                return;
            }
            zqexpr::Raise(107, Text.substr(Pos));
        }
        ScanNumber();
        return;
    }
    case '(': Kind = tkLParen; break;
    case ')': Kind = tkRParen; break;
    case '*': Kind = tkMul; break;
    case '/': Kind = tkDiv; break;
    case ',': Kind = tkComma; break;
    case '=': Kind = tkEq; break;
    case '<':
        if (Pos + 1 < Text.size() && Text[Pos + 1] == '=') {
            Kind = tkLe;
            ++Pos;
        } else if (Pos + 1 < Text.size() && Text[Pos + 1] == '>') {
            Kind = tkNe;
            ++Pos;
        } else {
            Kind = tkLt;
        }
        break;
    case '>':
        if (Pos + 1 < Text.size() && Text[Pos + 1] == '=') {
            Kind = tkGe;
            ++Pos;
        } else {
            Kind = tkGt;
        }
        break;
    case '!':
    case '^':
        if (Pos + 1 >= Text.size() || Text[Pos + 1] != '=') zqexpr::Raise(107, Text.substr(Pos));
        Kind = tkNe;
        ++Pos;
        break;
    case '|':
        if (Pos + 1 >= Text.size() || Text[Pos + 1] != '|') zqexpr::Raise(107, Text.substr(Pos));
        Kind = tkConcat;
        ++Pos;
        break;
    case '@': {
        // Node references exist only in rewritten date phrases; in the
        // user's own text "@" starts no token.
        if (!Phrase || Pos + 1 >= Text.size() || Text[Pos + 1] != '@') zqexpr::Raise(107, Text.substr(Pos));
        Pos += 2;
        size_t Start = Pos;
        while (Pos < Text.size() && Text[Pos] >= '0' && Text[Pos] <= '9') ++Pos;
        Token = Text.substr(Start, Pos - Start);
        Kind = tkNodeRef;
        return;
    }
    default:
        zqexpr::Raise(107, Text.substr(Pos));
    }
    ++Pos;
    Token = Text.substr(TokenStart, Pos - TokenStart);
    UpToken = Token;
}

// ---------------------------------------------------------------------------
// nodes and types

namespace {

TZqExpressionScopeKind CombinedScope(TZqExpressionScopeKind A, TZqExpressionScopeKind B)
{
    if ((A == ckField && B == ckAggregate) || (A == ckAggregate && B == ckField)) zqexpr::Raise(116);
    if (A == ckConst && B == ckConst) return ckConst;
    if (A == ckAggregate || B == ckAggregate) return ckAggregate;
    if (A == ckField || B == ckField) return ckField;
    return ckUnknown;
}

// A constant that takes a date/time type holds a date value from then on,
// when its text reads as one; otherwise the comparison converts it per row
// and fails there as the platform's conversion fails.
void TakeType(TZqExpressionNode *ANode, TZqDataType AType)
{
    ANode->DataType = AType;
    if (ANode->Kind == nkConst && zqexpr::IsDateType(AType) && ANode->Value.IsStr()) {
        rtl::TDateTime D = 0;
        if (rtl::TryStrToDateTime(ANode->Value.AsString(), D)) ANode->Value = Variant::FromDate(D);
    }
    // TRUE and FALSE are the integers 1 and 0; against a Boolean column they
    // are Booleans, since the variant's True is -1 and would never equal 1.
    if (ANode->Kind == nkConst && AType == dtBoolean && ANode->Value.IsOrdinal())
        ANode->Value = Variant(ANode->Value.AsInt64() != 0);
}

} // namespace

void TZqExpressionParser::TState::SetDepth(TZqExpressionNode *ANode)
{
    int D = std::max(DepthOf(ANode->Left), DepthOf(ANode->Right));
    for (const TZqExpressionNode *A : ANode->Args) D = std::max(D, DepthOf(A));
    ANode->Depth = D + 1;
    if (ANode->Depth > MaxTreeDepth) zqexpr::Raise(101);
}

void TZqExpressionParser::TState::CombineScope(TZqExpressionNode *ANode, TZqExpressionNode *AOperand)
{
    ANode->Scope = CombinedScope(ANode->Scope, AOperand->Scope);
}

TZqExpressionNode *TZqExpressionParser::TState::ColumnRef(const std::string &AName)
{
    int Index = -1;
    if (DataSource) {
        if (Options.Contains(poFixedColumn) && !FixedColumn.empty()) Index = DataSource->GetVarIndex(FixedColumn);
        if (Index < 0) Index = DataSource->GetVarIndex(AName);
    }
    if (Index < 0) zqexpr::Raise(100, AName);
    TZqExpressionNode *N = Expr->NewNode(nkColumn);
    N->ColumnIndex = Index;
    N->DataType = DataSource->GetVarType(Index);
    N->Scope = DataSource->GetVarScope(Index);
    N->Value = Variant(AName);
    return N;
}

TZqExpressionNode *TZqExpressionParser::TState::Constant(const Variant &AValue, TZqDataType AType)
{
    TZqExpressionNode *N = Expr->NewNode(nkConst);
    N->Value = AValue;
    N->DataType = AType;
    N->Scope = ckConst;
    return N;
}

TZqExpressionNode *TZqExpressionParser::TState::Operator(uint8_t AOp, TZqExpressionNode *ALeft,
                                                         TZqExpressionNode *ARight, TZqDataType AType)
{
    TZqExpressionNode *N = Expr->NewNode(nkOperator);
    N->Operator = AOp;
    N->Left = ALeft;
    N->Right = ARight;
    N->DataType = AType;
    if (ALeft && ARight) N->Scope = CombinedScope(ALeft->Scope, ARight->Scope);
    else if (ALeft) N->Scope = ALeft->Scope;
    SetDepth(N);
    return N;
}

// Types of "||", "+", "-", "*", "/". An operand of unknown type (NULL, TRUE,
// a call typed by an argument it lacks) is decided only when evaluated: the
// node stays dtUnknown instead of refusing the expression.
TZqExpressionNode *TZqExpressionParser::TState::Arithmetic(uint8_t AOp, TZqExpressionNode *ALeft,
                                                           TZqExpressionNode *ARight)
{
    using namespace zqexpr;
    TZqDataType L = ALeft->DataType, R = ARight->DataType;
    TZqDataType Type = dtUnknown;
    if (L == dtUnknown || R == dtUnknown) {
        Type = dtUnknown;
    } else if (IsNumericType(L) && IsNumericType(R)) {
        Type = dtDouble;
    } else if (IsStringType(L) && IsStringType(R) && (AOp == opConcat || AOp == opAdd)) {
        Type = dtAnsiString;
    } else if (AOp == opAdd && ((IsDateType(L) && IsNumericType(R)) || (IsNumericType(L) && IsDateType(R)))) {
        Type = dtDateTime;
    } else if (AOp == opSub && IsDateType(L) && IsNumericType(R)) {
        Type = L;
    } else if (AOp == opSub && IsDateType(L) && IsDateType(R)) {
        Type = dtDouble;
    } else if (AOp == opSub && IsStringType(L) && IsDateType(R)) {
        TakeType(ALeft, R);
        Type = dtDouble;
    } else if (ALeft->Kind == nkConst && IsStringType(L) && IsNumericType(R)) {
        TakeType(ALeft, dtDateTime);
        Type = dtUnknown;
    } else {
        Raise(104);
    }
    return Operator(AOp, ALeft, ARight, Type);
}

void TZqExpressionParser::TState::PredicateTypes(uint8_t AOp, TZqExpressionNode *ALeft, TZqExpressionNode *ARight)
{
    using namespace zqexpr;
    if (ALeft->Kind == nkColumn && ARight->Kind == nkConst) TakeType(ARight, ALeft->DataType);
    else if (ARight->Kind == nkColumn && ALeft->Kind == nkConst) TakeType(ALeft, ARight->DataType);
    if ((AOp == opLike || AOp == opNotLike) && IsLobType(ALeft->DataType)) {
        if (ARight->Kind == nkConst) ARight->DataType = dtAnsiString;
        return;
    }
    if (AOp != opIsNull && AOp != opIsNotNull && (IsLobType(ALeft->DataType) || IsLobType(ARight->DataType)))
        Raise(104);
    if (IsDateType(ALeft->DataType) && IsStringType(ARight->DataType)) TakeType(ARight, ALeft->DataType);
    else if (IsDateType(ARight->DataType) && IsStringType(ALeft->DataType)) TakeType(ALeft, ARight->DataType);
}

std::string TZqExpressionParser::TState::Ref(TZqExpressionNode *ANode) const
{
    return "@@" + std::to_string(Expr->NodeNumber(ANode));
}

// ---------------------------------------------------------------------------
// grammar

TZqExpressionNode *TZqExpressionParser::TState::ParseOr()
{
    // Parsing recurses per parenthesis and argument list, evaluation per
    // tree level: both are bounded so that no text can exhaust the stack.
    if (++Nesting > MaxNesting) zqexpr::Raise(101);
    struct TLeave {
        int &N;
        ~TLeave() { --N; }
    } Leave{Nesting};
    TZqExpressionNode *N = ParseAnd();
    while (Kind == tkIdent && UpToken == "OR") {
        Next();
        TZqExpressionNode *R = ParseAnd();
        N = Operator(opOr, N, R, dtBoolean);
    }
    return N;
}

TZqExpressionNode *TZqExpressionParser::TState::ParseAnd()
{
    TZqExpressionNode *N = ParseNot();
    while (Kind == tkIdent && UpToken == "AND") {
        Next();
        TZqExpressionNode *R = ParseNot();
        N = Operator(opAnd, N, R, dtBoolean);
    }
    return N;
}

TZqExpressionNode *TZqExpressionParser::TState::ParseNot()
{
    if (Kind == tkIdent && UpToken == "NOT") {
        Next();
        return Operator(opNot, ParsePredicate(), nullptr, dtBoolean);
    }
    return ParsePredicate();
}

TZqExpressionNode *TZqExpressionParser::TState::ParsePredicate()
{
    TZqExpressionNode *Left = ParsePhrase(false);
    switch (Kind) {
    case tkEq:
    case tkNe:
    case tkGe:
    case tkLe:
    case tkGt:
    case tkLt: {
        static const uint8_t Ops[] = {opEqual, opNotEqual, opGreaterEq, opLessEq, opGreater, opLess};
        uint8_t Op = Ops[Kind - tkEq];
        Next();
        TZqExpressionNode *Right = ParsePhrase(true);
        if (Right->Kind == nkOperator && (Right->Operator == opAnyList || Right->Operator == opAllList)) {
            for (TZqExpressionNode *Item : Right->Args) PredicateTypes(Op, Left, Item);
            Right->DataType = Right->Args.front()->DataType;
        } else {
            PredicateTypes(Op, Left, Right);
        }
        return Operator(Op, Left, Right, dtBoolean);
    }
    case tkLike:
    case tkNotLike: {
        uint8_t Op = Kind == tkLike ? opLike : opNotLike;
        Next();
        TZqExpressionNode *Pattern = ParsePhrase(false);
        TZqExpressionNode *Escape = nullptr;
        if (Kind == tkIdent && UpToken == "ESCAPE") {
            Next();
            Escape = ParsePhrase(false);
        }
        PredicateTypes(Op, Left, Pattern);
        TZqExpressionNode *N = Operator(Op, Left, Pattern, dtBoolean);
        if (Escape) {
            N->Args.push_back(Escape);
            CombineScope(N, Escape);
            SetDepth(N);
        }
        return N;
    }
    case tkIsNull:
    case tkIsNotNull: {
        uint8_t Op = Kind == tkIsNull ? opIsNull : opIsNotNull;
        Next();
        return Operator(Op, Left, nullptr, dtBoolean);
    }
    case tkIn:
    case tkNotIn: {
        uint8_t Op = Kind == tkIn ? opIn : opNotIn;
        Next();
        if (Kind != tkLParen) zqexpr::Raise(110, TokenArg());
        Next();
        if (Kind == tkRParen) zqexpr::Raise(113);
        TZqExpressionNode *N = Operator(Op, Left, nullptr, dtBoolean);
        for (;;) {
            TZqExpressionNode *Item = ParseOr();
            PredicateTypes(Op, Left, Item);
            if (zqexpr::IsDateType(Left->DataType)) TakeType(Item, Left->DataType);
            N->Args.push_back(Item);
            CombineScope(N, Item);
            if (Kind == tkComma) {
                Next();
                continue;
            }
            if (Kind == tkRParen) break;
            if (Kind == tkEnd) zqexpr::Raise(112, TokenArg());
            zqexpr::Raise(111, TokenArg());
        }
        Next();
        SetDepth(N);
        return N;
    }
    case tkBetween:
    case tkNotBetween: {
        uint8_t Op = Kind == tkBetween ? opBetween : opNotBetween;
        Next();
        TZqExpressionNode *Low = ParsePhrase(false);
        if (!(Kind == tkIdent && UpToken == "AND")) zqexpr::Raise(114, "AND");
        Next();
        TZqExpressionNode *High = ParsePhrase(false);
        PredicateTypes(Op, Left, Low);
        PredicateTypes(Op, Left, High);
        TZqExpressionNode *N = Operator(Op, Left, nullptr, dtBoolean);
        N->Args = {Low, High};
        CombineScope(N, Low);
        CombineScope(N, High);
        SetDepth(N);
        return N;
    }
    default:
        return Left;
    }
}

TZqExpressionNode *TZqExpressionParser::TState::ParsePhrase(bool AAllowQuantified)
{
    TZqExpressionNode *S = ParseSum(AAllowQuantified);
    if (IsModifierKind(Kind) || IsUnitKind(Kind)) S = ParseDatePhrase(S);
    if (!S) zqexpr::Raise(114, TokenArg());
    return S;
}

TZqExpressionNode *TZqExpressionParser::TState::ParseSum(bool AAllowQuantified)
{
    if (Kind == tkAny || Kind == tkSome || Kind == tkAll) {
        if (!AAllowQuantified) zqexpr::Raise(114, TokenArg());
        return ParseQuantified();
    }
    TZqExpressionNode *N = ParseTerm();
    while (Kind == tkConcat || Kind == tkPlus || Kind == tkMinus) {
        uint8_t Op = Kind == tkConcat ? opConcat : Kind == tkPlus ? opAdd : opSub;
        if (!N) zqexpr::Raise(114, TokenArg());
        Next();
        TZqExpressionNode *R = ParseTerm();
        if (!R) zqexpr::Raise(114, TokenArg());
        N = Arithmetic(Op, N, R);
    }
    return N;
}

TZqExpressionNode *TZqExpressionParser::TState::ParseTerm()
{
    TZqExpressionNode *N = ParsePrimary();
    while (Kind == tkMul || Kind == tkDiv) {
        uint8_t Op = Kind == tkMul ? opMul : opDiv;
        if (!N) zqexpr::Raise(114, TokenArg());
        Next();
        TZqExpressionNode *R = ParsePrimary();
        if (!R) zqexpr::Raise(114, TokenArg());
        N = Arithmetic(Op, N, R);
    }
    return N;
}

TZqExpressionNode *TZqExpressionParser::TState::ParseQuantified()
{
    uint8_t Op = Kind == tkAll ? opAllList : opAnyList;
    Next();
    if (Kind != tkLParen) zqexpr::Raise(110, TokenArg());
    Next();
    if (Kind == tkRParen) zqexpr::Raise(113);
    TZqExpressionNode *N = Operator(Op, nullptr, nullptr, dtUnknown);
    for (;;) {
        TZqExpressionNode *Item = ParseOr();
        N->Args.push_back(Item);
        N->Scope = N->Args.size() == 1 ? Item->Scope : CombinedScope(N->Scope, Item->Scope);
        if (Kind == tkComma) {
            Next();
            continue;
        }
        if (Kind == tkRParen) break;
        zqexpr::Raise(111, TokenArg());
    }
    N->DataType = N->Args.front()->DataType;
    Next();
    SetDepth(N);
    return N;
}

TZqExpressionNode *TZqExpressionParser::TState::ParsePrimary()
{
    switch (Kind) {
    case tkLParen: {
        Next();
        TZqExpressionNode *N = ParseOr();
        if (Kind != tkRParen) zqexpr::Raise(112, TokenArg());
        Next();
        return N;
    }
    case tkIdent: {
        if (UpToken == "TRUE" || UpToken == "FALSE") {
            TZqExpressionNode *N = Constant(Variant::FromTyped(UpToken == "TRUE" ? 1 : 0, rtl::varShortInt), dtUnknown);
            Next();
            return N;
        }
        int Index = ZqExprFunctions().IndexOf(UpToken);
        if (Index >= 0) return ParseCall(Index);
        TZqExpressionNode *N = ColumnRef(Token);
        Next();
        return N;
    }
    case tkName: {
        TZqExpressionNode *N = ColumnRef(Token);
        Next();
        return N;
    }
    case tkLiteral: {
        TZqExpressionNode *N = IsNumber ? Constant(Variant(Number), dtDouble) : Constant(Variant(Token), dtAnsiString);
        Next();
        return N;
    }
    case tkNull: {
        // NULL is a constant without value: unassigned, not Null.
        TZqExpressionNode *N = Constant(Variant(), dtUnknown);
        Next();
        return N;
    }
    case tkNodeRef: {
        TZqExpressionNode *N = Expr->NodeByNumber(Token.empty() ? -1 : std::atoi(Token.c_str()));
        if (!N) zqexpr::Raise(101);
        Next();
        return N;
    }
    case tkDay:
    case tkMonth:
    case tkQuarter:
    case tkYear:
        // DAY(...), MONTH(...), QUARTER(...), YEAR(...) are function calls.
        if (NextNonBlank() == '(') {
            int Index = ZqExprFunctions().IndexOf(UpToken);
            if (Index >= 0) return ParseCall(Index);
        }
        return nullptr;
    case tkFirst:
    case tkLast:
    case tkNext:
    case tkPrior:
    case tkThis:
    case tkNumberRef:
    case tkOf:
        // A date phrase follows; ParsePhrase takes over.
        return nullptr;
    default:
        zqexpr::Raise(114, TokenArg());
    }
}

TZqExpressionNode *TZqExpressionParser::TState::ParseCall(int AIndex)
{
    const TZqFuncDesc &Desc = ZqExprFunctions().Get(AIndex);
    TZqExpressionNode *N = Expr->NewNode(nkFunction);
    N->FunctionIndex = AIndex;
    N->Value = Variant(Token);
    if (NextNonBlank() == '(') {
        Next();  // "("
        Next();
        if (Kind == tkMul && Desc.Name == "COUNT") {
            // COUNT(*) is a call without arguments.
            Next();
            if (Kind != tkRParen) zqexpr::Raise(111, TokenArg());
        } else if (Kind != tkRParen) {
            for (;;) {
                N->Args.push_back(ParseOr());
                if (Kind == tkComma) {
                    Next();
                    continue;
                }
                if (Kind == tkRParen) break;
                zqexpr::Raise(111, TokenArg());
            }
        }
    }
    Next();
    const int Count = static_cast<int>(N->Args.size());
    if (Count < Desc.MinArgs || Count > Desc.MaxArgs) zqexpr::Raise(104);
    if (Desc.DataType != dtUnknown) N->DataType = Desc.DataType;
    else if (Desc.TypeArg >= 0 && Desc.TypeArg < Count) N->DataType = N->Args[static_cast<size_t>(Desc.TypeArg)]->DataType;
    if (Desc.Kind != ckUnknown) N->Scope = Desc.Kind;
    else if (Desc.ScopeArg >= 0 && Desc.ScopeArg < Count) N->Scope = N->Args[static_cast<size_t>(Desc.ScopeArg)]->Scope;
    if (Desc.Kind == ckAggregate) Expr->AddSubAggregate(N);
    SetDepth(N);
    zqexpr::CheckCallAtParse(*N, Desc);
    return N;
}

// Walks the phrase words after ABefore (the expression just parsed, or none)
// and parses the rewritten text in their place.
TZqExpressionNode *TZqExpressionParser::TState::ParseDatePhrase(TZqExpressionNode *ABefore)
{
    struct TUnit {
        uint8_t Kind;
        uint8_t Modifier;
        TZqExpressionNode *Value;
    };
    std::vector<TUnit> Units;
    uint8_t Modifier = 0;
    TZqExpressionNode *Pending = ABefore;
    for (;;) {
        if (IsModifierKind(Kind)) {
            Modifier = Kind;
            Next();
            continue;
        }
        if (!IsUnitKind(Kind)) break;
        // A unit without a modifier and without a value before it has no
        // meaning (FIRST DAY OF MONTH).
        if (!Modifier && !Pending) zqexpr::Raise(101);
        Units.push_back(TUnit{Kind, Modifier, Modifier ? nullptr : Pending});
        Modifier = 0;
        Pending = nullptr;
        Next();
        if (Kind == tkOf) Next();
        if (IsModifierKind(Kind) || IsUnitKind(Kind) || Kind == tkEnd) continue;
        // A value for a following unit ("15 DAY OF 3 MONTH"): tried, and
        // given back when no unit follows it (BETWEEN ... AND ...).
        bool Operand = Kind == tkLiteral || Kind == tkLParen || Kind == tkName || Kind == tkNodeRef ||
                       (Kind == tkIdent && UpToken != "AND" && UpToken != "OR" && UpToken != "NOT" &&
                        UpToken != "ESCAPE");
        if (!Operand) break;
        TSaved Saved = Save();
        TZqExpressionNode *S = nullptr;
        try {
            S = ParseSum(false);
        } catch (const std::exception &) {
            S = nullptr;
        }
        if (S && IsUnitKind(Kind)) {
            Pending = S;
            continue;
        }
        Restore(Saved);
        break;
    }
    if (Modifier) zqexpr::Raise(101);
    if (Units.empty()) return ABefore;

    uint8_t DayContext = 0, MonthContext = 0;
    const TUnit *Year = nullptr, *Quarter = nullptr, *Month = nullptr, *Day = nullptr;
    bool AnyModifier = false;
    for (size_t I = 0; I < Units.size(); ++I) {
        const TUnit &U = Units[I];
        uint8_t After = I + 1 < Units.size() ? Units[I + 1].Kind : 0;
        if (U.Kind == tkDay) {
            Day = &U;
            DayContext = After ? After : uint8_t(tkDay);
        } else if (U.Kind == tkMonth) {
            Month = &U;
            MonthContext = After;
        } else if (U.Kind == tkQuarter) {
            Quarter = &U;
        } else {
            Year = &U;
        }
        AnyModifier = AnyModifier || U.Modifier != 0;
    }
    std::string X = AnyModifier ? "SYSDATE" : "";
    if (Year) {
        switch (Year->Modifier) {
        // "- (12 * 2000)" would scan as a sign without digits; the same
        // count is written as one number.
        case tkFirst: X = "ADD_MONTHS(SYSDATE, -24000)"; break;
        case tkLast: X = "ADD_MONTHS(SYSDATE, 12 * 2000)"; break;
        case tkNext: X = "ADD_MONTHS(SYSDATE, 12)"; break;
        case tkPrior: X = "ADD_MONTHS(SYSDATE, -12)"; break;
        case tkThis: X = "SYSDATE"; break;
        default: X = "ADD_MONTHS(SYSDATE, (" + Ref(Year->Value) + " - YEAR(SYSDATE)) * 12)"; break;
        }
    }
    if (Quarter) {
        switch (Quarter->Modifier) {
        case tkFirst: X = "ADD_MONTHS(" + X + ", 1 - MONTH(" + X + "))"; break;
        case tkLast: X = "ADD_MONTHS(" + X + ", 12 - MONTH(" + X + "))"; break;
        case tkNext: X = "ADD_MONTHS(" + X + ", 3)"; break;
        case tkPrior: X = "ADD_MONTHS(" + X + ", -3)"; break;
        case tkThis: break;
        default: X = "ADD_MONTHS(" + X + ", " + Ref(Quarter->Value) + " * 3 - MONTH(" + X + "))"; break;
        }
    }
    if (Month) {
        const bool InQuarter = MonthContext == tkQuarter;
        const std::string QStartM = "TRUNC((MONTH(" + X + ") - 1) / 3) * 3 + 1 - MONTH(" + X + ")";
        switch (Month->Modifier) {
        case tkFirst:
            X = InQuarter ? "ADD_MONTHS(" + X + ", " + QStartM + ")" : "ADD_MONTHS(" + X + ", 1 - MONTH(" + X + "))";
            break;
        case tkLast:
            X = InQuarter ? "ADD_MONTHS(" + X + ", TRUNC((MONTH(" + X + ") - 1) / 3 + 1) * 3 - MONTH(" + X + "))"
                          : "ADD_MONTHS(" + X + ", 12 - MONTH(" + X + "))";
            break;
        case tkNext: X = "ADD_MONTHS(" + X + ", 1)"; break;
        case tkPrior: X = "ADD_MONTHS(" + X + ", -1)"; break;
        case tkThis: break;
        default:
            X = InQuarter ? "ADD_MONTHS(" + X + ", " + QStartM + " + " + Ref(Month->Value) + ")"
                          : "ADD_MONTHS(" + X + ", " + Ref(Month->Value) + " - MONTH(" + X + "))";
            break;
        }
    }
    if (Day) {
        const std::string S(1, rtl::FormatSettings.DateSeparator);
        auto FirstText = [&]() -> std::string {
            if (DayContext == tkMonth) return "FIRST_DAY(" + X + ")";
            if (DayContext == tkQuarter)
                return "FIRST_DAY(ADD_MONTHS(" + X + ", TRUNC((MONTH(" + X + ") - 1) / 3) * 3 + 1 - MONTH(" + X + ")))";
            return "TO_DATE('01" + S + "01" + S + "' || TO_CHAR(YEAR(" + X + ")), 'DD/MM/YYYY')";
        };
        switch (Day->Modifier) {
        case tkFirst: X = FirstText(); break;
        case tkLast:
            if (DayContext == tkMonth) X = "LAST_DAY(" + X + ")";
            else if (DayContext == tkQuarter)
                X = "LAST_DAY(ADD_MONTHS(" + X + ", TRUNC((MONTH(" + X + ") - 1) / 3 + 1) * 3 - MONTH(" + X + ")))";
            else X = "TO_DATE('31" + S + "12" + S + "' || TO_CHAR(YEAR(" + X + ")), 'DD/MM/YYYY')";
            break;
        case tkNext: X = X + " + 1"; break;
        case tkPrior: X = X + " - 1"; break;
        case tkThis: break;
        default: X = FirstText() + " - 1 + " + Ref(Day->Value); break;
        }
    }
    if (X.empty()) zqexpr::Raise(101);
    return ParseGenerated(X);
}

TZqExpressionNode *TZqExpressionParser::TState::ParseGenerated(const std::string &AText)
{
    TSaved Saved = Save();
    const size_t SubAggregates = static_cast<size_t>(Expr->GetSubAggregateCount());
    Text = AText;
    Pos = 0;
    Kind = tkEnd;
    UpToken.clear();
    Phrase = 1;
    TZqExpressionNode *S = nullptr;
    try {
        Next();
        S = ParseSum(false);
        if (!S || Kind != tkEnd) zqexpr::Raise(101);
    } catch (...) {
        Phrase = 0;
        throw;
    }
    Phrase = 0;
    Saved.SubAggregates = std::max(SubAggregates, static_cast<size_t>(Expr->GetSubAggregateCount()));
    Restore(Saved);
    return S;
}

// ---------------------------------------------------------------------------
// the parser service

TZqExpressionParser::TZqExpressionParser() : FState(std::make_unique<TState>()) {}

TZqExpressionParser::~TZqExpressionParser() = default;

IZqStanExpressionDataSource *TZqExpressionParser::GetDataSource() { return FDataSource.Get(); }

TZqIntfPtr<IZqStanExpressionEvaluator> TZqExpressionParser::Prepare(IZqStanExpressionDataSource *ADataSource,
                                                                    const std::string &AExpression,
                                                                    TZqExpressionOptions AOptions,
                                                                    TZqParserOptions AParserOptions,
                                                                    const std::string &AFixedColumnName)
{
    using namespace zqexpr;
    if (AExpression.empty()) Raise(117);
    // The evaluator is held counted from the start, so that an error
    // anywhere below releases the half-built tree.
    TZqExpression *Expr = new TZqExpression(AOptions, ADataSource);
    TZqIntfPtr<IZqStanExpressionEvaluator> Result(Expr);
    FDataSource = TZqIntfPtr<IZqStanExpressionDataSource>(ADataSource);
    *FState = TState();
    TState &S = *FState;
    S.Expr = Expr;
    S.Text = AExpression;
    S.Options = AParserOptions;
    S.DataSource = ADataSource;
    S.FixedColumn = AFixedColumnName;

    S.Next();
    TZqExpressionNode *Root = S.ParseOr();
    if (S.Kind != tkEnd) Raise(101);
    if (AParserOptions.Contains(poAggregate)) {
        if (Root->Scope != ckAggregate) Raise(102);
    } else if (Root->Scope == ckAggregate) {
        Raise(103);
    }
    if (AParserOptions.Contains(poValue) && !AFixedColumnName.empty()) {
        TZqExpressionNode *Column = S.ColumnRef(AFixedColumnName);
        const TZqDataType CT = Column->DataType;
        if ((IsDateType(CT) || CT == dtBoolean) && IsStringType(Root->DataType)) TakeType(Root, CT);
        const TZqDataType ET = Root->DataType;
        if (ET != dtUnknown && !(Root->Kind == nkConst && Root->Value.IsNull())) {
            bool Compatible = (IsDateType(ET) && IsDateType(CT)) || (IsNumericType(ET) && IsNumericType(CT)) ||
                              (IsStringType(ET) && IsStringType(CT)) || (ET == dtBoolean && CT == dtBoolean);
            if (!Compatible) Raise(104);
        }
        Root = S.Operator(opAssign, Root, Column, dtUnknown);
    }
    if (!AParserOptions.Contains(poAggregate) && !AParserOptions.Contains(poValue) && Root->DataType != dtBoolean)
        Raise(105);
    Expr->SetRoot(Root);
    S.Expr = nullptr;
    S.DataSource = nullptr;
    return Result;
}

// ---------------------------------------------------------------------------
// registration

namespace {
TZqFunctionRegistry *BuildRegistry()
{
    auto *R = new TZqFunctionRegistry();
    zqexpr::RegisterBuiltinFunctions(*R);
    return R;
}
} // namespace

const TZqFunctionRegistry &ZqExprFunctions()
{
    // Built on first use and kept to the end of the process: evaluators
    // held by static objects may still run during shutdown.
    static const TZqFunctionRegistry *Registry = BuildRegistry();
    return *Registry;
}

void TZqFunctionRegistry::Add(const std::string &AName, TZqExpressionScopeKind AKind, int AScopeArg,
                              TZqFuncEvaluator AEvaluator, int AMaxArgs, int AMinArgs, int ATypeArg,
                              TZqDataType ADataType)
{
    TZqFuncDesc D;
    D.Name = rtl::UpperCase(AName);
    D.Kind = AKind;
    D.ScopeArg = AScopeArg;
    D.DataType = ADataType;
    D.TypeArg = ATypeArg;
    D.MinArgs = AMinArgs;
    D.MaxArgs = AMaxArgs;
    D.Evaluator = AEvaluator;
    auto It = std::lower_bound(FSorted.begin(), FSorted.end(), D.Name,
                               [this](int I, const std::string &N) { return FItems[static_cast<size_t>(I)].Name < N; });
    // The registry refuses duplicates: the first registration stays.
    if (It != FSorted.end() && FItems[static_cast<size_t>(*It)].Name == D.Name) return;
    FSorted.insert(It, static_cast<int>(FItems.size()));
    FItems.push_back(std::move(D));
}

int TZqFunctionRegistry::IndexOf(std::string_view AName) const
{
    std::string Up = rtl::UpperCase(AName);
    auto It = std::lower_bound(FSorted.begin(), FSorted.end(), Up,
                               [this](int I, const std::string &N) { return FItems[static_cast<size_t>(I)].Name < N; });
    if (It != FSorted.end() && FItems[static_cast<size_t>(*It)].Name == Up) return *It;
    return -1;
}

void RegisterStanExpr()
{
    ZqExprFunctions();
    ZqRegisterMultiInstance<TZqExpressionParser>(IID_IZqStanExpressionParser);
}
