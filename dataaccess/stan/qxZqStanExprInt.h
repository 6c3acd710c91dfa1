// qxZqStanExprInt: what the parser, the evaluator and the functions of
// qxZqStanExpr share and nobody else needs.
#pragma once

#include <string>

#include "dataaccess/stan/qxZqStanExpr.h"

namespace zqexpr {

// Raises an expression error (component words "Stan", "Eval").
[[noreturn]] void Raise(int ACode);
[[noreturn]] void Raise(int ACode, const std::string &AArg);

// Type groups of the parse-time rules.
inline bool IsNumericType(TZqDataType T) { return T >= dtSByte && T <= dtFmtBCD; }
inline bool IsDateType(TZqDataType T) { return T >= dtDateTime && T <= dtDateTimeStamp; }
inline bool IsStringType(TZqDataType T) { return T == dtAnsiString || T == dtWideString; }
inline bool IsLobType(TZqDataType T)
{
    return T == dtByteString || T == dtBlob || T == dtMemo || T == dtHBlob || T == dtHMemo || T == dtHBFile;
}

// Unassigned, Null, or an empty 8-bit or wide string.
inline bool IsNullOrEmpty(const rtl::Variant &V)
{
    return V.IsEmpty() || V.IsNull() || (V.IsStr() && V.AsBytes().empty());
}

// Fills the registry with the built-in functions (qxZqStanExprFuncs.cpp).
void RegisterBuiltinFunctions(TZqFunctionRegistry &ARegistry);

// Checks a call's constant arguments at parse time (a CONVERT type name).
void CheckCallAtParse(const TZqExpressionNode &ACall, const TZqFuncDesc &ADesc);

// The IIF/IF entry's evaluator; the evaluator evaluates IIF lazily itself
// and never calls it.
void FnIif(const std::vector<rtl::Variant> &AArgs, TZqExpression &AExpr, TZqExpressionNode &ACall,
           rtl::Variant &AResult);

// Aggregate codes reported by GetSubAggregateKind.
enum { agSum = 0, agAvg = 1, agCount = 2, agMin = 3, agMax = 4, agFirst = 5, agLast = 6 };

} // namespace zqexpr
