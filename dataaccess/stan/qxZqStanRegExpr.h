// qxZqStanRegExpr: the library's regular-expression engine over 8-bit text.
//
// TRegExpr compiles a pattern into a byte program of its own (one node kind
// byte, a signed 32-bit offset to the next node, then the operand) and runs it
// with a recursive backtracking matcher. The expression function REGEXP_LIKE
// reaches it through RegExprMatches or, for a constant pattern, through one
// TRegExpr kept by the call node so the pattern is compiled once.
//
// The matcher recurses once per group, branch and repetition step, so both its
// recursion depth and its number of steps are bounded: a pathological pattern
// on long text raises ERegExpr (codes 1016, 1017) instead of overflowing the
// stack or running for hours.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/rtl/SysUtils.h"

// Raised by TRegExpr. Compilation errors carry the offset of the parse position
// from the pattern's start; search errors carry 0.
class ERegExpr : public rtl::Exception {
public:
    ERegExpr(const std::string &AMessage, int AErrorCode, int ACompilerErrorPos)
        : rtl::Exception(AMessage), ErrorCode(AErrorCode), CompilerErrorPos(ACompilerErrorPos) {}
    int ErrorCode;
    int CompilerErrorPos;
};

class TRegExpr {
public:
    // Register 0 is the whole match, registers 1..14 the groups.
    static constexpr int NSUBEXP = 15;
    // Counted and non-greedy group repetitions nest at most this deep.
    static constexpr int LoopStackMax = 10;
    // Budgets of one search. The depth keeps the recursion well inside an
    // 8 MB thread stack even under the address sanitizer (about 400 bytes per
    // frame there); the step count bounds a search to well under a second.
    static constexpr int DefaultDepthBudget = 6000;
    static constexpr int64_t DefaultStepBudget = 50000000;

    // Modifier numbers for GetModifier/SetModifier.
    enum { ModI = 1, ModR = 2, ModS = 3, ModG = 4, ModM = 5, ModX = 6 };

    TRegExpr();
    virtual ~TRegExpr() = default;
    TRegExpr(const TRegExpr &) = delete;
    TRegExpr &operator=(const TRegExpr &) = delete;

    const std::string &GetExpression() const { return FExpression; }
    void SetExpression(const std::string &AValue);

    // Sets the input (up to an embedded zero) and searches from position 1.
    bool Exec(const std::string &AInputString);
    // Searches the current input from a 1-based offset.
    bool ExecPos(int AOffset = 1);
    // Compiles now; otherwise the next search compiles.
    void Compile();

    bool GetModifier(int AIndex) const;
    void SetModifier(int AIndex, bool AValue);
    std::string GetModifierStr() const;
    // Letters i r s g m x in either case, "-" turning the following off;
    // any other character makes the whole text invalid (error 127).
    void SetModifierStr(const std::string &AValue);

    std::string GetLinePairedSeparator() const;
    // Two different characters or none, else error 128.
    void SetLinePairedSeparator(const std::string &AValue);

    const std::string &GetInputString() const;
    // Highest register that took part in the last match, -1 without a match.
    int SubExprMatchCount() const;
    // 1-based position and length of a register; -1 when it did not match.
    int MatchPos(int AIndex) const;
    int MatchLen(int AIndex) const;
    std::string Match(int AIndex) const;

    // The last error code; reading clears it.
    int LastError();
    std::string ErrorMessage(int AErrorID) const;

    void SetBudget(int ADepth, int64_t ASteps) { FDepthBudget = ADepth; FStepBudget = ASteps; }

protected:
    virtual void RaiseError(int AErrorID);

private:
    [[noreturn]] void Fail(int AErrorID);

private:
    struct TLoopFrame {
        int Count;
        int Start;
    };

    // compilation
    void CompileProgram();
    int ParseReg(bool AParen, int &AFlags);
    int ParseBranch(int &AFlags);
    int ParsePiece(int &AFlags);
    int ParseAtom(int &AFlags);
    bool SkipNonTokens();
    bool ParseModifiersGroup();
    bool TryParseBraces(int &AMin, int &AMax, bool AConsume);
    unsigned char ParseHexEscape();
    unsigned char ParseClassChar(bool &AIsSet, unsigned char *ASet);
    int EmitNode(uint8_t AOp);
    void EmitByte(uint8_t AValue);
    void EmitInt(int32_t AValue);
    void InsertBytes(int APos, const std::vector<uint8_t> &ABytes);
    void SetTail(int ANode, int ATarget);
    void SetOpTail(int ANode, int ATarget);
    void ComputeHints(int AFlags);
    void FillFirstCharSet(int ANode, unsigned char *ASet, int ADepth) const;
    bool IsQuantifierAhead();

    // execution
    bool MatchAt(int APos);
    bool MatchPrim(int ANode, int APos);
    int RegRepeat(int AAtom, int APos, int AMax);
    bool IsLineBreakAt(int APos) const;
    bool IsWord(int APos) const;

    int NextOf(int ANode) const;
    int32_t ReadInt(int APos) const;
    void WriteInt(int APos, int32_t AValue);
    unsigned char InvertCase(unsigned char C) const;

    std::string FExpression;
    bool FExpressionSet = false;
    std::vector<uint8_t> FProgram;
    int FProgModifiers = -1;

    // Modifier flags: current settings, and the working copy of a compilation
    // that "(?...)" groups change for the rest of the pattern.
    int FModifiers;
    int FCompModifiers = 0;

    std::string FInputString;
    bool FHasInput = false;
    int FStartP[NSUBEXP];
    int FEndP[NSUBEXP];
    int FMatchEnd = -1;

    unsigned char FWordChars[32];
    unsigned char FSpaceChars[32];
    unsigned char FLineSeparators[32];
    char FLinePairedSeparator[2];
    bool FHasPairedSeparator = true;

    // search hints made by compilation
    int FFirstChar = -1;
    bool FAnchored = false;
    std::string FMustString;
    unsigned char FFirstCharSet[32];

    // parse state
    const char *FParse = nullptr;
    const char *FParseStart = nullptr;
    const char *FParseEnd = nullptr;
    int FParenCount = 0;
    int FCompilerErrorPos = 0;

    // matcher state
    TLoopFrame FLoopStack[LoopStackMax];
    int FLoopDepth = 0;
    int FDepth = 0;
    int64_t FSteps = 0;
    int FDepthBudget = DefaultDepthBudget;
    int64_t FStepBudget = DefaultStepBudget;

    int FLastError = 0;
};

// True when Pattern matches anywhere in Text; errors raise ERegExpr.
bool RegExprMatches(const std::string &APattern, const std::string &AText);
