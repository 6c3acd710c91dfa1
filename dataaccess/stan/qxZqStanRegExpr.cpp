// qxZqStanRegExpr: compiler and backtracking matcher of TRegExpr.
//
// Program layout: byte 0 is the magic 216, the first node starts at byte 1.
// Every node is [kind:1][next:int32, relative to the node, 0 = none][operand].
// Compilation emits into a growing vector in one pass; inserting a node in
// front of an already emitted operand (quantifiers, branches) shifts the
// operand, which is safe because all links are relative.
#include "dataaccess/stan/qxZqStanRegExpr.h"

#include <cstring>

namespace {

constexpr uint8_t ProgramMagic = 216;

enum : uint8_t {
    OpEnd = 0,    // end of program
    OpBol,        // start of input
    OpEol,        // end of input
    OpBolMl,      // start of a line ("^" under m)
    OpEolMl,      // end of a line ("$" under m)
    OpAny,        // any character ("." under s)
    OpAnyMl,      // any character but a line break ("." without s)
    OpAnyOf,      // 256-bit set
    OpExactly,    // int32 length + bytes
    OpExactlyCi,  // the same, ignoring case
    OpNothing,    // empty match, a link target
    OpBranch,     // alternative: operand = this alternative, next = the following one
    OpBack,       // link pointing backwards
    OpBound,      // \b
    OpNotBound,   // \B
    OpOpen,       // byte: group number
    OpClose,      // byte: group number
    OpRepeat,     // int32 min, int32 max, byte greedy, then the single-character atom
    OpLoopEntry,  // start of a counted or non-greedy group repetition; next = body
    OpLoop,       // int32 min, int32 max, byte greedy, int32 offset back to the body
    OpBSubExp,    // byte: group number
    OpBSubExpCi,  // the same, ignoring case
};

constexpr int NodeHeader = 5;
constexpr int RepeatOperand = 9;
constexpr int LoopOperand = 13;
// "{n,}" means at most this many repetitions.
constexpr int32_t MaxRepeat = 2147483646;

// Flags each parsed part reports.
constexpr int FlagWorst = 0;
constexpr int FlagHasWidth = 1;  // matches non-empty text
constexpr int FlagSimple = 2;    // a single-character atom
constexpr int FlagSpStart = 4;   // starts with a repetition

inline void SetBit(unsigned char *ASet, unsigned char C) { ASet[C >> 3] |= static_cast<unsigned char>(1u << (C & 7)); }
inline bool HasBit(const unsigned char *ASet, unsigned char C) { return (ASet[C >> 3] >> (C & 7)) & 1u; }

// The case-inverting routine: the platform's upper case of a character, or
// its lower case when the upper case is the same character. Tabled once,
// since the matcher asks for it per character.
struct TCaseTable {
    unsigned char Invert[256];
    TCaseTable()
    {
        for (int C = 0; C < 256; ++C) {
            std::string One(1, static_cast<char>(C));
            unsigned char U = static_cast<unsigned char>(rtl::AnsiUpperCase(One)[0]);
            unsigned char L = static_cast<unsigned char>(rtl::AnsiLowerCase(One)[0]);
            Invert[C] = U != C ? U : L;
        }
    }
};

const TCaseTable &CaseTable()
{
    static const TCaseTable Table;
    return Table;
}

int HexDigit(char C)
{
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

bool IsXSpace(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

bool IsMeta(char C)
{
    switch (C) {
    case '^': case '$': case '.': case '[': case '(': case ')': case '|':
    case '?': case '+': case '*': case '\\':
        return true;
    default:
        return false;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// set-up and properties

TRegExpr::TRegExpr()
{
    FModifiers = (1 << ModR) | (1 << ModS) | (1 << ModG);
    std::memset(FWordChars, 0, sizeof FWordChars);
    std::memset(FSpaceChars, 0, sizeof FSpaceChars);
    std::memset(FLineSeparators, 0, sizeof FLineSeparators);
    std::memset(FFirstCharSet, 0, sizeof FFirstCharSet);
    for (int C = '0'; C <= '9'; ++C) SetBit(FWordChars, static_cast<unsigned char>(C));
    for (int C = 'a'; C <= 'z'; ++C) {
        SetBit(FWordChars, static_cast<unsigned char>(C));
        SetBit(FWordChars, static_cast<unsigned char>(C - 32));
    }
    SetBit(FWordChars, '_');
    for (unsigned char C : {' ', '\t', '\n', '\r', '\f'}) SetBit(FSpaceChars, C);
    SetBit(FLineSeparators, '\r');
    SetBit(FLineSeparators, '\n');
    FLinePairedSeparator[0] = '\r';
    FLinePairedSeparator[1] = '\n';
    for (int I = 0; I < NSUBEXP; ++I) FStartP[I] = FEndP[I] = -1;
}

void TRegExpr::SetExpression(const std::string &AValue)
{
    if (AValue != FExpression || FProgram.empty()) {
        // The text is kept up to an embedded zero, as the compiler sees it.
        FExpression = AValue.substr(0, std::strlen(AValue.c_str()));
        FExpressionSet = true;
        FProgram.clear();
    }
}

bool TRegExpr::GetModifier(int AIndex) const
{
    if (AIndex < ModI || AIndex > ModX) return false;
    return (FModifiers >> AIndex) & 1;
}

void TRegExpr::SetModifier(int AIndex, bool AValue)
{
    if (AIndex < ModI || AIndex > ModX) return;
    if (AValue) FModifiers |= 1 << AIndex;
    else FModifiers &= ~(1 << AIndex);
}

namespace {
// Applies a modifier text to a flag word; false when the text is invalid.
bool ApplyModifierText(const char *AText, size_t ALen, int &AFlags)
{
    static const char Letters[] = "irsgmx";
    int Flags = AFlags;
    bool On = true;
    for (size_t I = 0; I < ALen; ++I) {
        char C = AText[I];
        if (C == '-') {
            On = false;
            continue;
        }
        const char *P = std::strchr(Letters, (C >= 'A' && C <= 'Z') ? C + 32 : C);
        if (C == 0 || !P) return false;
        int Bit = 1 << (static_cast<int>(P - Letters) + 1);
        if (On) Flags |= Bit;
        else Flags &= ~Bit;
    }
    AFlags = Flags;
    return true;
}
} // namespace

std::string TRegExpr::GetModifierStr() const
{
    static const char Letters[] = "irsgmx";
    std::string On, Off;
    for (int I = ModI; I <= ModX; ++I)
        (GetModifier(I) ? On : Off) += Letters[I - 1];
    return Off.empty() ? On : On + "-" + Off;
}

void TRegExpr::SetModifierStr(const std::string &AValue)
{
    int Flags = FModifiers;
    if (!ApplyModifierText(AValue.data(), AValue.size(), Flags)) {
        Fail(127);
        return;
    }
    FModifiers = Flags;
}

std::string TRegExpr::GetLinePairedSeparator() const
{
    if (!FHasPairedSeparator) return std::string();
    return std::string(FLinePairedSeparator, 2);
}

void TRegExpr::SetLinePairedSeparator(const std::string &AValue)
{
    if (AValue.empty()) {
        FHasPairedSeparator = false;
    } else if (AValue.size() == 2 && AValue[0] != AValue[1]) {
        FHasPairedSeparator = true;
        FLinePairedSeparator[0] = AValue[0];
        FLinePairedSeparator[1] = AValue[1];
    } else {
        Fail(128);
        return;
    }
    FProgram.clear();
}

const std::string &TRegExpr::GetInputString() const
{
    if (!FHasInput) const_cast<TRegExpr *>(this)->Fail(1008);
    return FInputString;
}

int TRegExpr::SubExprMatchCount() const
{
    int Result = -1;
    for (int I = 0; I < NSUBEXP; ++I)
        if (FStartP[I] >= 0 && FEndP[I] >= 0) Result = I;
    return Result;
}

int TRegExpr::MatchPos(int AIndex) const
{
    if (AIndex < 0 || AIndex >= NSUBEXP || FStartP[AIndex] < 0 || FEndP[AIndex] < 0) return -1;
    return FStartP[AIndex] + 1;
}

int TRegExpr::MatchLen(int AIndex) const
{
    if (AIndex < 0 || AIndex >= NSUBEXP || FStartP[AIndex] < 0 || FEndP[AIndex] < 0) return -1;
    return FEndP[AIndex] - FStartP[AIndex];
}

std::string TRegExpr::Match(int AIndex) const
{
    int Len = MatchLen(AIndex);
    if (Len < 0) return std::string();
    return FInputString.substr(static_cast<size_t>(FStartP[AIndex]), static_cast<size_t>(Len));
}

int TRegExpr::LastError()
{
    int Result = FLastError;
    FLastError = 0;
    return Result;
}

std::string TRegExpr::ErrorMessage(int AErrorID) const
{
    switch (AErrorID) {
    case 0: return "No errors";
    case 100: return "TRegExpr(comp): Null Argument";
    case 101: return "TRegExpr(comp): Regexp Too Big";
    case 102: return "TRegExpr(comp): ParseReg Too Many ()";
    case 103:
    case 104: return "TRegExpr(comp): ParseReg Unmatched ()";
    case 105: return "TRegExpr(comp): ParseReg Junk On End";
    case 106: return "TRegExpr(comp): *+ Operand Could Be Empty";
    case 107: return "TRegExpr(comp): Nested *?+";
    case 108: return "TRegExpr(comp): Bad Hex Digit";
    case 109: return "TRegExpr(comp): Invalid [] Range";
    case 110: return "TRegExpr(comp): Parse Atom Trailing \\";
    case 111: return "TRegExpr(comp): No Hex Code After \\x";
    case 112: return "TRegExpr(comp): Hex Code After \\x Is Too Big";
    case 113: return "TRegExpr(comp): Unmatched []";
    case 114: return "TRegExpr(comp): Internal Urp";
    case 115: return "TRegExpr(comp): ?+*{ Follows Nothing";
    case 116: return "TRegExpr(comp): Trailing \\";
    case 119: return "TRegExpr(comp): RarseAtom Internal Disaster";
    case 122: return "TRegExpr(comp): BRACES Argument Too Big";
    case 124: return "TRegExpr(comp): BRACE Min Param Greater then Max";
    case 125: return "TRegExpr(comp): Unclosed (?#Comment)";
    case 127: return "TRegExpr(comp): Urecognized Modifier";
    case 128: return "TRegExpr(comp): LinePairedSeparator must countain two different chars or no chars at all";
    case 1000: return "TRegExpr(exec): RegRepeat Called Inappropriately";
    case 1001: return "TRegExpr(exec): MatchPrim Memory Corruption";
    case 1002: return "TRegExpr(exec): MatchPrim Corrupted Pointers";
    case 1003: return "TRegExpr(exec): Not Assigned Expression Property";
    case 1004: return "TRegExpr(exec): Corrupted Program";
    case 1005: return "TRegExpr(exec): No Inpit String Specified";
    case 1006: return "TRegExpr(exec): Offset Must Be Greater Then 0";
    case 1007: return "TRegExpr(exec): ExecNext Without Exec[Pos]";
    case 1008: return "TRegExpr(exec): GetInputString Without InputString";
    case 1011: return "TRegExpr(dump): Corrupted Opcode";
    case 1014: return "TRegExpr(exec): Loop Stack Exceeded";
    case 1015: return "TRegExpr(exec): Loop Without LoopEntry !";
    // The two budgets of a search (recursion depth, matcher steps).
    case 1016: return "TRegExpr(exec): Match Recursion Too Deep";
    case 1017: return "TRegExpr(exec): Match Takes Too Many Steps";
    default: return "Unknown error";
    }
}

void TRegExpr::RaiseError(int AErrorID)
{
    FLastError = AErrorID;
    std::string Msg = ErrorMessage(AErrorID);
    int Pos = 0;
    if (AErrorID < 1000) {
        Pos = FCompilerErrorPos;
        Msg += " (pos " + std::to_string(Pos) + ")";
    }
    throw ERegExpr(Msg, AErrorID, Pos);
}

// RaiseError may be overridden; compilation and search cannot go on after an
// error whatever the override does, so they end here in any case.
void TRegExpr::Fail(int AErrorID)
{
    RaiseError(AErrorID);
    throw ERegExpr(ErrorMessage(AErrorID), AErrorID, AErrorID < 1000 ? FCompilerErrorPos : 0);
}

// ---------------------------------------------------------------------------
// program buffer

int32_t TRegExpr::ReadInt(int APos) const
{
    int32_t V;
    std::memcpy(&V, &FProgram[static_cast<size_t>(APos)], sizeof V);
    return V;
}

void TRegExpr::WriteInt(int APos, int32_t AValue)
{
    std::memcpy(&FProgram[static_cast<size_t>(APos)], &AValue, sizeof AValue);
}

int TRegExpr::NextOf(int ANode) const
{
    int32_t Offset = ReadInt(ANode + 1);
    return Offset == 0 ? 0 : ANode + Offset;
}

int TRegExpr::EmitNode(uint8_t AOp)
{
    int Result = static_cast<int>(FProgram.size());
    FProgram.push_back(AOp);
    FProgram.insert(FProgram.end(), 4, 0);
    return Result;
}

void TRegExpr::EmitByte(uint8_t AValue) { FProgram.push_back(AValue); }

void TRegExpr::EmitInt(int32_t AValue)
{
    uint8_t B[4];
    std::memcpy(B, &AValue, 4);
    FProgram.insert(FProgram.end(), B, B + 4);
}

void TRegExpr::InsertBytes(int APos, const std::vector<uint8_t> &ABytes)
{
    FProgram.insert(FProgram.begin() + APos, ABytes.begin(), ABytes.end());
}

// Links the last node of the chain starting at ANode to ATarget.
void TRegExpr::SetTail(int ANode, int ATarget)
{
    int Scan = ANode;
    for (;;) {
        int Next = NextOf(Scan);
        if (Next == 0) break;
        Scan = Next;
    }
    WriteInt(Scan + 1, ATarget - Scan);
}

// SetTail on the operand of a branch; other nodes have no chain operand.
void TRegExpr::SetOpTail(int ANode, int ATarget)
{
    if (ANode == 0 || FProgram[static_cast<size_t>(ANode)] != OpBranch) return;
    SetTail(ANode + NodeHeader, ATarget);
}

unsigned char TRegExpr::InvertCase(unsigned char C) const
{
    return CaseTable().Invert[C];
}

// ---------------------------------------------------------------------------
// compilation

void TRegExpr::Compile()
{
    if (FExpression.empty()) {
        Fail(100);
        return;
    }
    CompileProgram();
}

void TRegExpr::CompileProgram()
{
    FProgram.clear();
    FCompilerErrorPos = 0;
    FParseStart = FExpression.c_str();
    FParse = FParseStart;
    FParseEnd = FParseStart + FExpression.size();
    FCompModifiers = FModifiers;
    FParenCount = 1;
    FFirstChar = -1;
    FAnchored = false;
    FMustString.clear();
    std::memset(FFirstCharSet, 0, sizeof FFirstCharSet);
    try {
        FProgram.reserve(FExpression.size() * 6 + 16);
        FProgram.push_back(ProgramMagic);
        int Flags = 0;
        ParseReg(false, Flags);
        ComputeHints(Flags);
    } catch (...) {
        FProgram.clear();
        throw;
    }
    FProgModifiers = FModifiers;
    FParse = FParseStart = FParseEnd = nullptr;
}

int TRegExpr::ParseReg(bool AParen, int &AFlags)
{
    AFlags = FlagHasWidth;
    int Ret = 0;
    int ParNo = 0;
    if (AParen) {
        if (FParenCount >= NSUBEXP) {
            FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
            Fail(102);
        }
        ParNo = FParenCount++;
        Ret = EmitNode(OpOpen);
        EmitByte(static_cast<uint8_t>(ParNo));
    }
    int BrFlags = 0;
    int Br = ParseBranch(BrFlags);
    if (Ret != 0) SetTail(Ret, Br);
    else Ret = Br;
    if (!(BrFlags & FlagHasWidth)) AFlags &= ~FlagHasWidth;
    AFlags |= BrFlags & FlagSpStart;
    while (FParse < FParseEnd && *FParse == '|') {
        ++FParse;
        Br = ParseBranch(BrFlags);
        SetTail(Ret, Br);
        if (!(BrFlags & FlagHasWidth)) AFlags &= ~FlagHasWidth;
        AFlags |= BrFlags & FlagSpStart;
    }
    int Ender = EmitNode(AParen ? OpClose : OpEnd);
    if (AParen) EmitByte(static_cast<uint8_t>(ParNo));
    SetTail(Ret, Ender);
    for (int B = Ret; B != 0; B = NextOf(B)) SetOpTail(B, Ender);
    FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
    if (AParen) {
        if (FParse >= FParseEnd || *FParse != ')') Fail(103);
        ++FParse;
    } else if (FParse < FParseEnd) {
        Fail(*FParse == ')' ? 104 : 105);
    }
    return Ret;
}

// Skips what produces no node: blanks and "#" comments under x, "(?#...)"
// comments and "(?imsx-...)" modifier groups. True when something was skipped.
bool TRegExpr::SkipNonTokens()
{
    bool Skipped = false;
    for (;;) {
        if (FParse >= FParseEnd) return Skipped;
        if (FCompModifiers & (1 << ModX)) {
            if (IsXSpace(*FParse)) {
                ++FParse;
                Skipped = true;
                continue;
            }
            if (*FParse == '#') {
                while (FParse < FParseEnd && *FParse != '\n' && *FParse != '\r') ++FParse;
                Skipped = true;
                continue;
            }
        }
        if (FParseEnd - FParse >= 2 && FParse[0] == '(' && FParse[1] == '?') {
            ParseModifiersGroup();
            Skipped = true;
            continue;
        }
        return Skipped;
    }
}

bool TRegExpr::ParseModifiersGroup()
{
    FParse += 2;
    if (FParse < FParseEnd && *FParse == '#') {
        while (FParse < FParseEnd && *FParse != ')') ++FParse;
        if (FParse >= FParseEnd) {
            FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
            Fail(125);
        }
        ++FParse;
        return true;
    }
    const char *Start = FParse;
    while (FParse < FParseEnd && *FParse != ')') ++FParse;
    int Flags = FCompModifiers;
    if (FParse >= FParseEnd || !ApplyModifierText(Start, static_cast<size_t>(FParse - Start), Flags)) {
        FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
        Fail(127);
    }
    ++FParse;
    FCompModifiers = Flags;
    return true;
}

int TRegExpr::ParseBranch(int &AFlags)
{
    AFlags = FlagWorst;
    int Ret = EmitNode(OpBranch);
    int Chain = 0;
    for (;;) {
        SkipNonTokens();
        if (FParse >= FParseEnd || *FParse == '|' || *FParse == ')') break;
        int PieceFlags = 0;
        int Latest = ParsePiece(PieceFlags);
        AFlags |= PieceFlags & FlagHasWidth;
        if (Chain == 0) AFlags |= PieceFlags & FlagSpStart;
        else SetTail(Chain, Latest);
        Chain = Latest;
    }
    if (Chain == 0) EmitNode(OpNothing);
    return Ret;
}

// Reads "{n}", "{n,}" or "{n,m}" at the parse position. Without AConsume it
// only tells whether the text has that form; a "{" that has not is a literal.
bool TRegExpr::TryParseBraces(int &AMin, int &AMax, bool AConsume)
{
    const char *P = FParse;
    if (P >= FParseEnd || *P != '{') return false;
    ++P;
    auto ReadNumber = [&](int &AValue) -> bool {
        const char *Start = P;
        while (P < FParseEnd && *P >= '0' && *P <= '9') ++P;
        if (P == Start) return false;
        if (AConsume) {
            // At most 8 digits, so the value stays below 2147483647.
            if (P - Start > 8) {
                FParse = P;
                FCompilerErrorPos = static_cast<int>(P - FParseStart);
                Fail(122);
            }
            int V = 0;
            for (const char *Q = Start; Q < P; ++Q) V = V * 10 + (*Q - '0');
            AValue = V;
        }
        return true;
    };
    int Min = 0, Max = 0;
    if (!ReadNumber(Min)) return false;
    if (P < FParseEnd && *P == ',') {
        ++P;
        if (P < FParseEnd && *P == '}') Max = MaxRepeat;
        else if (!ReadNumber(Max)) return false;
    } else {
        Max = Min;
    }
    if (P >= FParseEnd || *P != '}') return false;
    ++P;
    if (AConsume) {
        FParse = P;
        if (Max < Min) {
            FCompilerErrorPos = static_cast<int>(P - FParseStart);
            Fail(124);
        }
        AMin = Min;
        AMax = Max;
    }
    return true;
}

bool TRegExpr::IsQuantifierAhead()
{
    if (FParse >= FParseEnd) return false;
    char C = *FParse;
    if (C == '*' || C == '+' || C == '?') return true;
    int Dummy1 = 0, Dummy2 = 0;
    return C == '{' && TryParseBraces(Dummy1, Dummy2, false);
}

int TRegExpr::ParsePiece(int &AFlags)
{
    int AtomFlags = 0;
    int Ret = ParseAtom(AtomFlags);
    if (FCompModifiers & (1 << ModX)) {
        // Under x a quantifier may stand apart from its atom.
        while (FParse < FParseEnd && IsXSpace(*FParse)) ++FParse;
    }
    if (!IsQuantifierAhead()) {
        AFlags = AtomFlags;
        return Ret;
    }
    char Op = *FParse;
    int Min = 0, Max = MaxRepeat;
    if (!(AtomFlags & FlagHasWidth) && Op != '?') {
        FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
        Fail(106);
    }
    if (Op == '*') {
        ++FParse;
    } else if (Op == '+') {
        Min = 1;
        ++FParse;
    } else if (Op == '?') {
        Max = 1;
        ++FParse;
    } else {
        TryParseBraces(Min, Max, true);
    }
    bool Greedy = (FCompModifiers & (1 << ModG)) != 0;
    if (FParse < FParseEnd && *FParse == '?') {
        Greedy = false;
        ++FParse;
    }
    AFlags = (Min > 0 ? FlagHasWidth : FlagWorst) | FlagSpStart;

    if (AtomFlags & FlagSimple) {
        std::vector<uint8_t> Head(NodeHeader + RepeatOperand, 0);
        Head[0] = OpRepeat;
        std::memcpy(&Head[5], &Min, 4);
        std::memcpy(&Head[9], &Max, 4);
        Head[13] = Greedy ? 1 : 0;
        InsertBytes(Ret, Head);
    } else if (Greedy && Op == '*') {
        // x* becomes (x BACK-to-branch | NOTHING).
        std::vector<uint8_t> Head(NodeHeader, 0);
        Head[0] = OpBranch;
        InsertBytes(Ret, Head);
        SetOpTail(Ret, EmitNode(OpBack));
        SetOpTail(Ret, Ret);
        SetTail(Ret, EmitNode(OpBranch));
        SetTail(Ret, EmitNode(OpNothing));
    } else if (Greedy && Op == '+') {
        // x+ becomes x (BACK-to-x | NOTHING).
        int Next = EmitNode(OpBranch);
        SetTail(Ret, Next);
        SetTail(EmitNode(OpBack), Ret);
        SetTail(Next, EmitNode(OpBranch));
        SetTail(Ret, EmitNode(OpNothing));
    } else if (Greedy && Op == '?') {
        // x? becomes (x | NOTHING).
        std::vector<uint8_t> Head(NodeHeader, 0);
        Head[0] = OpBranch;
        InsertBytes(Ret, Head);
        SetTail(Ret, EmitNode(OpBranch));
        int Next = EmitNode(OpNothing);
        SetTail(Ret, Next);
        SetOpTail(Ret, Next);
    } else {
        // Counted or non-greedy group: LOOPENTRY body LOOP.
        std::vector<uint8_t> Head(NodeHeader, 0);
        Head[0] = OpLoopEntry;
        InsertBytes(Ret, Head);
        int Body = Ret + NodeHeader;
        WriteInt(Ret + 1, NodeHeader);
        int Loop = EmitNode(OpLoop);
        EmitInt(Min);
        EmitInt(Max);
        EmitByte(Greedy ? 1 : 0);
        EmitInt(Body - Loop);
        SetTail(Ret, Loop);
    }
    if (IsQuantifierAhead()) {
        FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
        Fail(107);
    }
    return Ret;
}

unsigned char TRegExpr::ParseHexEscape()
{
    // FParse stands after "\x".
    if (FParse >= FParseEnd) {
        FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
        Fail(111);
    }
    int Value = 0;
    if (*FParse == '{') {
        ++FParse;
        int Digits = 0;
        while (FParse < FParseEnd && *FParse != '}') {
            int D = HexDigit(*FParse);
            FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
            if (D < 0) Fail(108);
            Value = Value * 16 + D;
            if (Value > 255) Fail(112);
            ++Digits;
            ++FParse;
        }
        FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
        if (FParse >= FParseEnd || Digits == 0) Fail(111);
        ++FParse;
        return static_cast<unsigned char>(Value);
    }
    for (int I = 0; I < 2; ++I) {
        FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
        if (FParse >= FParseEnd) Fail(111);
        int D = HexDigit(*FParse);
        if (D < 0) Fail(108);
        Value = Value * 16 + D;
        ++FParse;
    }
    return static_cast<unsigned char>(Value);
}

namespace {
// The character an escape letter stands for outside the set escapes.
unsigned char EscapeChar(char C)
{
    switch (C) {
    case 't': return 9;
    case 'n': return 10;
    case 'r': return 13;
    case 'f': return 12;
    case 'a': return 7;
    case 'e': return 27;
    default: return static_cast<unsigned char>(C);
    }
}
} // namespace

// One member of a class: a character, or (\d \s \w) a set merged into ASet.
unsigned char TRegExpr::ParseClassChar(bool &AIsSet, unsigned char *ASet)
{
    AIsSet = false;
    char C = *FParse++;
    if (C != '\\') return static_cast<unsigned char>(C);
    if (FParse >= FParseEnd) {
        FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
        Fail(110);
    }
    C = *FParse++;
    const unsigned char *Src = nullptr;
    unsigned char Digits[32] = {};
    if (C == 'd') {
        for (int D = '0'; D <= '9'; ++D) SetBit(Digits, static_cast<unsigned char>(D));
        Src = Digits;
    } else if (C == 's') {
        Src = FSpaceChars;
    } else if (C == 'w') {
        Src = FWordChars;
    }
    if (Src) {
        for (int I = 0; I < 32; ++I) ASet[I] |= Src[I];
        AIsSet = true;
        return 0;
    }
    if (C == 'x') return ParseHexEscape();
    return EscapeChar(C);
}

int TRegExpr::ParseAtom(int &AFlags)
{
    AFlags = FlagWorst;
    const bool CaseInsensitive = (FCompModifiers & (1 << ModI)) != 0;
    auto EmitSet = [&](const unsigned char *ASet) {
        int Node = EmitNode(OpAnyOf);
        FProgram.insert(FProgram.end(), ASet, ASet + 32);
        AFlags = FlagHasWidth | FlagSimple;
        return Node;
    };
    auto EmitChar = [&](unsigned char C) {
        int Node = EmitNode(CaseInsensitive ? OpExactlyCi : OpExactly);
        EmitInt(1);
        EmitByte(C);
        AFlags = FlagHasWidth | FlagSimple;
        return Node;
    };

    FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
    char C = *FParse++;
    switch (C) {
    case '^':
        return EmitNode((FCompModifiers & (1 << ModM)) ? OpBolMl : OpBol);
    case '$':
        return EmitNode((FCompModifiers & (1 << ModM)) ? OpEolMl : OpEol);
    case '.':
        AFlags = FlagHasWidth | FlagSimple;
        return EmitNode((FCompModifiers & (1 << ModS)) ? OpAny : OpAnyMl);
    case '[': {
        unsigned char Set[32] = {};
        bool Negate = false;
        if (FParse < FParseEnd && *FParse == '^') {
            Negate = true;
            ++FParse;
        }
        if (FParse < FParseEnd && *FParse == ']') {
            SetBit(Set, ']');
            ++FParse;
        }
        const bool Cyrillic = (FCompModifiers & (1 << ModR)) != 0;
        while (FParse < FParseEnd && *FParse != ']') {
            bool IsSet = false;
            unsigned char From = ParseClassChar(IsSet, Set);
            if (IsSet) continue;
            if (FParseEnd - FParse >= 2 && FParse[0] == '-' && FParse[1] != ']') {
                ++FParse;
                bool ToIsSet = false;
                unsigned char To = ParseClassChar(ToIsSet, Set);
                if (ToIsSet) {
                    // "a-\d": the dash has no second end and stands for itself.
                    SetBit(Set, From);
                    SetBit(Set, '-');
                    continue;
                }
                if (Cyrillic && From == 224 && To == 223) {
                    // small a to capital YA: the whole Cyrillic alphabet.
                    for (int X = 192; X <= 255; ++X) SetBit(Set, static_cast<unsigned char>(X));
                    SetBit(Set, 168);
                    SetBit(Set, 184);
                    continue;
                }
                if (To < From) {
                    FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
                    Fail(109);
                }
                for (int X = From; X <= To; ++X) SetBit(Set, static_cast<unsigned char>(X));
                if (Cyrillic && From <= 224 && To >= 255) SetBit(Set, 184);
                if (Cyrillic && From <= 192 && To >= 223) SetBit(Set, 168);
                continue;
            }
            SetBit(Set, From);
        }
        if (FParse >= FParseEnd) {
            FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
            Fail(113);
        }
        ++FParse;
        if (CaseInsensitive) {
            unsigned char Both[32];
            std::memcpy(Both, Set, 32);
            for (int X = 0; X < 256; ++X)
                if (HasBit(Set, static_cast<unsigned char>(X))) SetBit(Both, InvertCase(static_cast<unsigned char>(X)));
            std::memcpy(Set, Both, 32);
        }
        if (Negate)
            for (auto &B : Set) B = static_cast<unsigned char>(~B);
        return EmitSet(Set);
    }
    case '(': {
        int Flags = 0;
        int Ret = ParseReg(true, Flags);
        AFlags = Flags & (FlagHasWidth | FlagSpStart);
        return Ret;
    }
    case '|':
    case ')':
        Fail(114);
        return 0;
    case '?':
    case '+':
    case '*':
        Fail(115);
        return 0;
    case '\\': {
        if (FParse >= FParseEnd) {
            FCompilerErrorPos = static_cast<int>(FParse - FParseStart);
            Fail(116);
        }
        char E = *FParse++;
        switch (E) {
        case 'A': return EmitNode(OpBol);
        case 'Z': return EmitNode(OpEol);
        case 'b': return EmitNode(OpBound);
        case 'B': return EmitNode(OpNotBound);
        case 'd':
        case 'D': {
            unsigned char Set[32] = {};
            for (int D = '0'; D <= '9'; ++D) SetBit(Set, static_cast<unsigned char>(D));
            if (E == 'D')
                for (auto &B : Set) B = static_cast<unsigned char>(~B);
            return EmitSet(Set);
        }
        case 'w':
        case 'W':
        case 's':
        case 'S': {
            unsigned char Set[32];
            std::memcpy(Set, (E == 'w' || E == 'W') ? FWordChars : FSpaceChars, 32);
            if (E == 'W' || E == 'S')
                for (auto &B : Set) B = static_cast<unsigned char>(~B);
            return EmitSet(Set);
        }
        case 'x':
            return EmitChar(ParseHexEscape());
        default:
            if (E >= '1' && E <= '9') {
                int Node = EmitNode(CaseInsensitive ? OpBSubExpCi : OpBSubExp);
                EmitByte(static_cast<uint8_t>(E - '0'));
                // A back reference may match the empty text.
                AFlags = FlagWorst;
                return Node;
            }
            return EmitChar(EscapeChar(E));
        }
    }
    default: {
        --FParse;
        if (C == '{') {
            int Dummy1 = 0, Dummy2 = 0;
            if (TryParseBraces(Dummy1, Dummy2, false)) Fail(115);
        }
        // A run of literals becomes one string; when a quantifier follows a
        // run of two or more, the last character carries it alone.
        const char *Start = FParse;
        const bool Extended = (FCompModifiers & (1 << ModX)) != 0;
        ++FParse;  // the first character is a literal whatever it is
        while (FParse < FParseEnd && !IsMeta(*FParse)) {
            if (Extended && (IsXSpace(*FParse) || *FParse == '#')) break;
            int Dummy1 = 0, Dummy2 = 0;
            if (*FParse == '{' && TryParseBraces(Dummy1, Dummy2, false)) break;
            ++FParse;
        }
        int Len = static_cast<int>(FParse - Start);
        if (Len > 1) {
            const char *Save = FParse;
            if (Extended)
                while (FParse < FParseEnd && IsXSpace(*FParse)) ++FParse;
            bool Quantified = IsQuantifierAhead();
            FParse = Save;
            if (Quantified) {
                --FParse;
                --Len;
            }
        }
        int Node = EmitNode(CaseInsensitive ? OpExactlyCi : OpExactly);
        EmitInt(Len);
        FProgram.insert(FProgram.end(), Start, Start + Len);
        AFlags = FlagHasWidth | (Len == 1 ? FlagSimple : 0);
        return Node;
    }
    }
}

// Search hints: a first character, the anchored flag, a string every match
// must contain, and the set of characters a match can start with.
void TRegExpr::ComputeHints(int AFlags)
{
    int Scan = 1;  // the first top-level branch
    if (FProgram[static_cast<size_t>(NextOf(Scan))] == OpEnd) {
        int First = Scan + NodeHeader;
        uint8_t Op = FProgram[static_cast<size_t>(First)];
        if (Op == OpExactly) FFirstChar = FProgram[static_cast<size_t>(First + NodeHeader + 4)];
        else if (Op == OpBol) FAnchored = true;
        if (AFlags & FlagSpStart) {
            int BestLen = 0, Best = 0;
            for (int N = First; N != 0; N = NextOf(N)) {
                if (FProgram[static_cast<size_t>(N)] == OpExactly) {
                    int Len = ReadInt(N + NodeHeader);
                    if (Len >= BestLen) {
                        BestLen = Len;
                        Best = N;
                    }
                }
            }
            if (Best != 0)
                FMustString.assign(reinterpret_cast<const char *>(&FProgram[static_cast<size_t>(Best + NodeHeader + 4)]),
                                   static_cast<size_t>(BestLen));
        }
    }
    FillFirstCharSet(1, FFirstCharSet, 0);
}

void TRegExpr::FillFirstCharSet(int ANode, unsigned char *ASet, int ADepth) const
{
    // Deeply nested groups end the walk with every character allowed.
    if (ADepth > 200) {
        std::memset(ASet, 0xFF, 32);
        return;
    }
    int Scan = ANode;
    while (Scan != 0) {
        uint8_t Op = FProgram[static_cast<size_t>(Scan)];
        int Opnd = Scan + NodeHeader;
        switch (Op) {
        case OpEnd:
            // The pattern may end here: a match can start at any character.
        case OpAny:
        case OpAnyMl:
        case OpBSubExp:
        case OpBSubExpCi:
            std::memset(ASet, 0xFF, 32);
            return;
        case OpAnyOf:
            for (int I = 0; I < 32; ++I) ASet[I] |= FProgram[static_cast<size_t>(Opnd + I)];
            return;
        case OpExactly:
            SetBit(ASet, FProgram[static_cast<size_t>(Opnd + 4)]);
            return;
        case OpExactlyCi: {
            unsigned char C = FProgram[static_cast<size_t>(Opnd + 4)];
            SetBit(ASet, C);
            SetBit(ASet, InvertCase(C));
            return;
        }
        case OpBranch:
            if (FProgram[static_cast<size_t>(NextOf(Scan))] != OpBranch) {
                Scan = Opnd;
                continue;
            }
            for (int B = Scan; B != 0 && FProgram[static_cast<size_t>(B)] == OpBranch; B = NextOf(B))
                FillFirstCharSet(B + NodeHeader, ASet, ADepth + 1);
            return;
        case OpBack:
            // What follows the loop is reached through the branch's other arm.
            return;
        case OpRepeat: {
            FillFirstCharSet(Opnd + RepeatOperand, ASet, ADepth + 1);
            if (ReadInt(Opnd) > 0) return;
            break;
        }
        case OpLoopEntry: {
            FillFirstCharSet(Opnd, ASet, ADepth + 1);
            int Loop = Scan;
            // Find the LOOP node by walking the body chain.
            int N = Opnd;
            while (N != 0 && FProgram[static_cast<size_t>(N)] != OpLoop) N = NextOf(N);
            Loop = N;
            if (Loop == 0 || ReadInt(Loop + NodeHeader) > 0) return;
            Scan = NextOf(Loop);
            continue;
        }
        case OpLoop:
            return;
        default:
            // Zero-width nodes pass on to the next one.
            break;
        }
        Scan = NextOf(Scan);
    }
}

// ---------------------------------------------------------------------------
// search

bool TRegExpr::Exec(const std::string &AInputString)
{
    FInputString.assign(AInputString.c_str());
    FHasInput = true;
    return ExecPos(1);
}

bool TRegExpr::ExecPos(int AOffset)
{
    if (FProgram.empty() || FProgModifiers != FModifiers) {
        if (!FExpressionSet || FExpression.empty()) {
            Fail(1003);
            return false;
        }
        CompileProgram();
    }
    if (!FHasInput) {
        Fail(1005);
        return false;
    }
    if (AOffset < 1) {
        Fail(1006);
        return false;
    }
    for (int I = 0; I < NSUBEXP; ++I) FStartP[I] = FEndP[I] = -1;
    const int Len = static_cast<int>(FInputString.size());
    if (AOffset > Len + 1) return false;
    if (FProgram[0] != ProgramMagic) {
        Fail(1004);
        return false;
    }
    FSteps = 0;
    FDepth = 0;
    int Pos = AOffset - 1;
    if (!FMustString.empty() && FInputString.find(FMustString, static_cast<size_t>(Pos)) == std::string::npos)
        return false;
    if (FAnchored) return MatchAt(Pos);
    const char *S = FInputString.c_str();
    if (FFirstChar >= 0) {
        while (Pos < Len) {
            const void *Hit = std::memchr(S + Pos, FFirstChar, static_cast<size_t>(Len - Pos));
            if (!Hit) return false;
            Pos = static_cast<int>(static_cast<const char *>(Hit) - S);
            if (MatchAt(Pos)) return true;
            ++Pos;
        }
        return false;
    }
    for (; Pos < Len; ++Pos)
        if (HasBit(FFirstCharSet, static_cast<unsigned char>(S[Pos])) && MatchAt(Pos)) return true;
    return false;
}

bool TRegExpr::MatchAt(int APos)
{
    for (int I = 1; I < NSUBEXP; ++I) FStartP[I] = FEndP[I] = -1;
    FLoopDepth = 0;
    if (!MatchPrim(1, APos)) return false;
    FStartP[0] = APos;
    FEndP[0] = FMatchEnd;
    return true;
}

bool TRegExpr::IsLineBreakAt(int APos) const
{
    return APos >= 0 && APos < static_cast<int>(FInputString.size()) &&
           HasBit(FLineSeparators, static_cast<unsigned char>(FInputString[static_cast<size_t>(APos)]));
}

bool TRegExpr::IsWord(int APos) const
{
    return APos >= 0 && APos < static_cast<int>(FInputString.size()) &&
           HasBit(FWordChars, static_cast<unsigned char>(FInputString[static_cast<size_t>(APos)]));
}

int TRegExpr::RegRepeat(int AAtom, int APos, int AMax)
{
    const unsigned char *S = reinterpret_cast<const unsigned char *>(FInputString.c_str());
    const int Len = static_cast<int>(FInputString.size());
    int Limit = Len - APos;
    if (AMax < Limit) Limit = AMax;
    int N = 0;
    const uint8_t Op = FProgram[static_cast<size_t>(AAtom)];
    const int Opnd = AAtom + NodeHeader;
    switch (Op) {
    case OpAny:
        N = Limit;
        break;
    case OpAnyMl:
        while (N < Limit) {
            int P = APos + N;
            if (HasBit(FLineSeparators, S[P])) break;
            if (FHasPairedSeparator && S[P] == static_cast<unsigned char>(FLinePairedSeparator[0]) &&
                S[P + 1] == static_cast<unsigned char>(FLinePairedSeparator[1]))
                break;
            ++N;
        }
        break;
    case OpAnyOf: {
        const uint8_t *Set = &FProgram[static_cast<size_t>(Opnd)];
        while (N < Limit && HasBit(Set, S[APos + N])) ++N;
        break;
    }
    case OpExactly: {
        unsigned char C = FProgram[static_cast<size_t>(Opnd + 4)];
        while (N < Limit && S[APos + N] == C) ++N;
        break;
    }
    case OpExactlyCi: {
        unsigned char C = FProgram[static_cast<size_t>(Opnd + 4)];
        unsigned char C2 = InvertCase(C);
        while (N < Limit && (S[APos + N] == C || S[APos + N] == C2)) ++N;
        break;
    }
    default:
        Fail(1000);
    }
    FSteps += N;
    return N;
}

bool TRegExpr::MatchPrim(int ANode, int APos)
{
    if (++FDepth > FDepthBudget) Fail(1016);
    struct TDepthGuard {
        int &D;
        ~TDepthGuard() { --D; }
    } Guard{FDepth};

    const unsigned char *S = reinterpret_cast<const unsigned char *>(FInputString.c_str());
    const int Len = static_cast<int>(FInputString.size());
    int Pos = APos;
    int Scan = ANode;
    while (Scan != 0) {
        if (++FSteps > FStepBudget) Fail(1017);
        const uint8_t Op = FProgram[static_cast<size_t>(Scan)];
        const int Opnd = Scan + NodeHeader;
        int Next = NextOf(Scan);
        switch (Op) {
        case OpBol:
            if (Pos != 0) return false;
            break;
        case OpEol:
            if (Pos != Len) return false;
            break;
        case OpBolMl:
            if (Pos != 0) {
                bool AfterBreak = IsLineBreakAt(Pos - 1);
                bool InsidePair = FHasPairedSeparator && Pos < Len &&
                                  S[Pos - 1] == static_cast<unsigned char>(FLinePairedSeparator[0]) &&
                                  S[Pos] == static_cast<unsigned char>(FLinePairedSeparator[1]);
                bool AfterPair = FHasPairedSeparator && Pos >= 2 &&
                                 S[Pos - 2] == static_cast<unsigned char>(FLinePairedSeparator[0]) &&
                                 S[Pos - 1] == static_cast<unsigned char>(FLinePairedSeparator[1]);
                if (!((AfterBreak && !InsidePair) || AfterPair)) return false;
            }
            break;
        case OpEolMl:
            if (Pos != Len) {
                bool AtBreak = IsLineBreakAt(Pos);
                bool InsidePair = FHasPairedSeparator && Pos > 0 &&
                                  S[Pos - 1] == static_cast<unsigned char>(FLinePairedSeparator[0]) &&
                                  S[Pos] == static_cast<unsigned char>(FLinePairedSeparator[1]);
                bool AtPair = FHasPairedSeparator && Pos + 1 < Len &&
                              S[Pos] == static_cast<unsigned char>(FLinePairedSeparator[0]) &&
                              S[Pos + 1] == static_cast<unsigned char>(FLinePairedSeparator[1]);
                if (!((AtBreak && !InsidePair) || AtPair)) return false;
            }
            break;
        case OpBound:
        case OpNotBound: {
            bool Boundary = IsWord(Pos - 1) != IsWord(Pos);
            if (Boundary != (Op == OpBound)) return false;
            break;
        }
        case OpAny:
            if (Pos >= Len) return false;
            ++Pos;
            break;
        case OpAnyMl:
            if (Pos >= Len || HasBit(FLineSeparators, S[Pos])) return false;
            if (FHasPairedSeparator && S[Pos] == static_cast<unsigned char>(FLinePairedSeparator[0]) &&
                S[Pos + 1] == static_cast<unsigned char>(FLinePairedSeparator[1]))
                return false;
            ++Pos;
            break;
        case OpAnyOf:
            if (Pos >= Len || !HasBit(&FProgram[static_cast<size_t>(Opnd)], S[Pos])) return false;
            ++Pos;
            break;
        case OpExactly: {
            int N = ReadInt(Opnd);
            if (N > Len - Pos || std::memcmp(S + Pos, &FProgram[static_cast<size_t>(Opnd + 4)], static_cast<size_t>(N)) != 0)
                return false;
            Pos += N;
            break;
        }
        case OpExactlyCi: {
            int N = ReadInt(Opnd);
            if (N > Len - Pos) return false;
            const uint8_t *Lit = &FProgram[static_cast<size_t>(Opnd + 4)];
            for (int I = 0; I < N; ++I)
                if (S[Pos + I] != Lit[I] && S[Pos + I] != InvertCase(Lit[I])) return false;
            Pos += N;
            break;
        }
        case OpBSubExp:
        case OpBSubExpCi: {
            int No = FProgram[static_cast<size_t>(Opnd)];
            if (FStartP[No] < 0 || FEndP[No] < 0 || FEndP[No] < FStartP[No]) return false;
            int N = FEndP[No] - FStartP[No];
            if (N > Len - Pos) return false;
            for (int I = 0; I < N; ++I) {
                unsigned char A = S[FStartP[No] + I], B = S[Pos + I];
                if (A != B && !(Op == OpBSubExpCi && InvertCase(A) == B)) return false;
            }
            Pos += N;
            break;
        }
        case OpNothing:
        case OpBack:
            break;
        case OpOpen:
        case OpClose: {
            int No = FProgram[static_cast<size_t>(Opnd)];
            int *Reg = (Op == OpOpen) ? FStartP : FEndP;
            int Save = Reg[No];
            Reg[No] = Pos;
            if (MatchPrim(Next, Pos)) return true;
            Reg[No] = Save;
            return false;
        }
        case OpBranch: {
            if (FProgram[static_cast<size_t>(Next)] != OpBranch) {
                Next = Opnd;  // a single alternative: no choice to remember
                break;
            }
            for (int B = Scan; B != 0 && FProgram[static_cast<size_t>(B)] == OpBranch; B = NextOf(B))
                if (MatchPrim(B + NodeHeader, Pos)) return true;
            return false;
        }
        case OpRepeat: {
            const int Min = ReadInt(Opnd);
            const int Max = ReadInt(Opnd + 4);
            const bool Greedy = FProgram[static_cast<size_t>(Opnd + 8)] != 0;
            const int Atom = Opnd + RepeatOperand;
            // When a literal follows, only counts that leave its first
            // character next are worth trying.
            int NextChar = -1;
            if (Next != 0 && FProgram[static_cast<size_t>(Next)] == OpExactly)
                NextChar = FProgram[static_cast<size_t>(Next + NodeHeader + 4)];
            if (Greedy) {
                int N = RegRepeat(Atom, Pos, Max);
                while (N >= Min) {
                    if ((NextChar < 0 || (Pos + N < Len && S[Pos + N] == NextChar)) && MatchPrim(Next, Pos + N))
                        return true;
                    --N;
                }
                return false;
            }
            int N = Min > 0 ? RegRepeat(Atom, Pos, Min) : 0;
            if (N < Min) return false;
            for (;;) {
                if ((NextChar < 0 || (Pos + N < Len && S[Pos + N] == NextChar)) && MatchPrim(Next, Pos + N))
                    return true;
                if (N >= Max || RegRepeat(Atom, Pos + N, 1) == 0) return false;
                ++N;
            }
        }
        case OpLoopEntry: {
            if (FLoopDepth >= LoopStackMax) Fail(1014);
            // Find this entry's LOOP node and start it at pass count -1, so
            // that the LOOP decides about the first pass as about any other.
            int Loop = Opnd;
            while (Loop != 0 && FProgram[static_cast<size_t>(Loop)] != OpLoop) Loop = NextOf(Loop);
            if (Loop == 0) Fail(1015);
            FLoopStack[FLoopDepth++] = TLoopFrame{-1, Pos};
            bool Ok = MatchPrim(Loop, Pos);
            if (!Ok) --FLoopDepth;
            return Ok;
        }
        case OpLoop: {
            if (FLoopDepth <= 0) Fail(1015);
            const int Min = ReadInt(Opnd);
            const int Max = ReadInt(Opnd + 4);
            const bool Greedy = FProgram[static_cast<size_t>(Opnd + 8)] != 0;
            const int Body = Scan + ReadInt(Opnd + 9);
            TLoopFrame &F = FLoopStack[FLoopDepth - 1];
            const TLoopFrame Saved = F;
            const int Passes = F.Count + 1;
            // An empty pass cannot lead anywhere new.
            const bool Progress = Passes == 0 || Pos != F.Start;
            auto TryBody = [&]() {
                F.Count = Passes;
                F.Start = Pos;
                if (MatchPrim(Body, Pos)) return true;
                FLoopStack[FLoopDepth - 1] = Saved;
                return false;
            };
            auto TryRest = [&]() {
                --FLoopDepth;
                if (MatchPrim(Next, Pos)) return true;
                ++FLoopDepth;
                FLoopStack[FLoopDepth - 1] = Saved;
                return false;
            };
            if (Passes < Min) return Progress && TryBody();
            bool More = Passes < Max && Progress;
            if (Greedy) {
                if (More && TryBody()) return true;
                return TryRest();
            }
            if (TryRest()) return true;
            return More && TryBody();
        }
        case OpEnd:
            FMatchEnd = Pos;
            return true;
        default:
            Fail(1001);
        }
        Scan = Next;
    }
    Fail(1002);
    return false;
}

bool RegExprMatches(const std::string &APattern, const std::string &AText)
{
    TRegExpr R;
    R.SetExpression(APattern);
    return R.Exec(AText);
}
