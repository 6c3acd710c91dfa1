// qxZqStanExprEval: evaluation of a parsed expression for the data source's
// current row, and the evaluator's sub-aggregate services.
//
// Null rules, where the language leaves them to the platform's variant:
// - the NULL literal is unassigned; an empty string counts as null for
//   IS NULL and for the functions' "null-or-empty" arguments;
// - comparisons follow the variant: Null equals only Null and sorts below
//   every value, so Price > 10 is false and Price < 10 true for a Null
//   Price; Unassigned takes the other side's zero;
// - arithmetic with a Null operand gives Null;
// - AND, OR and NOT take the variant's Boolean conversion, which refuses
//   Null (error 118) and reads Unassigned as false;
// - LIKE is false when the value or the pattern is Null or unassigned, and
//   NOT LIKE is its negation.
// Every operator and function node reports any failure as error 118 with
// the failure's message, one layer per node between the failure and the
// root.
#include <string>

#include "dataaccess/stan/qxZqStanExpr.h"
#include "dataaccess/stan/qxZqStanExprInt.h"
#include "dataaccess/stan/qxZqStanFastCode.h"
#include "dataaccess/stan/qxZqStanUtil.h"

using rtl::Variant;

TZqExpression::TZqExpression(TZqExpressionOptions AOptions, IZqStanExpressionDataSource *ADataSource)
    : FDataSource(ADataSource), FOptions(AOptions)
{
}

TZqExpression::~TZqExpression()
{
    FSubAggregates.clear();
    FRoot = nullptr;
    FNodes = nullptr;
}

TZqExpressionNode *TZqExpression::NewNode(uint8_t AKind)
{
    FNodeStore.push_back(std::make_unique<TZqExpressionNode>());
    TZqExpressionNode *N = FNodeStore.back().get();
    N->Kind = AKind;
    N->Next = FNodes;
    FNodes = N;
    return N;
}

TZqExpressionNode *TZqExpression::NodeByNumber(int ANumber) const
{
    if (ANumber < 0 || ANumber >= static_cast<int>(FNodeStore.size())) return nullptr;
    return FNodeStore[static_cast<size_t>(ANumber)].get();
}

int TZqExpression::NodeNumber(const TZqExpressionNode *ANode) const
{
    for (size_t I = 0; I < FNodeStore.size(); ++I)
        if (FNodeStore[I].get() == ANode) return static_cast<int>(I);
    return -1;
}

void TZqExpression::AddSubAggregate(TZqExpressionNode *ANode)
{
    ANode->AggregateIndex = static_cast<int>(FSubAggregates.size());
    FSubAggregates.push_back(ANode);
}

void TZqExpression::TruncateSubAggregates(int ACount)
{
    if (ACount >= 0 && ACount < static_cast<int>(FSubAggregates.size()))
        FSubAggregates.resize(static_cast<size_t>(ACount));
}

int TZqExpression::GetSubAggregateCount() { return static_cast<int>(FSubAggregates.size()); }

int TZqExpression::GetSubAggregateKind(int AIndex)
{
    TZqExpressionNode *N = FSubAggregates.at(static_cast<size_t>(AIndex));
    const TZqFuncDesc &Desc = ZqExprFunctions().Get(N->FunctionIndex);
    Variant Code;
    static const std::vector<Variant> NoArgs;
    Desc.Evaluator(NoArgs, *this, *N, Code);
    return Code.AsInteger();
}

IZqStanExpressionDataSource *TZqExpression::GetDataSource() { return FDataSource.Get(); }

TZqDataType TZqExpression::GetDataType() { return FRoot ? FRoot->DataType : dtUnknown; }

int TZqExpression::Reserved(int64_t) { return 0; }

void TZqExpression::Evaluate(Variant &AValue)
{
    AValue = Variant();
    if (FRoot) EvaluateNode(FRoot, AValue);
}

void TZqExpression::EvaluateSubAggregate(int AIndex, Variant &AValue)
{
    TZqExpressionNode *N = FSubAggregates.at(static_cast<size_t>(AIndex));
    if (N->Args.empty()) AValue = Variant("*");
    else EvaluateNode(N->Args[0], AValue);
}

void TZqExpression::EvaluateNode(TZqExpressionNode *ANode, Variant &AValue)
{
    switch (ANode->Kind) {
    case nkColumn:
        FDataSource->GetVarData(ANode->ColumnIndex, AValue);
        return;
    case nkConst:
        AValue = ANode->Value;
        return;
    default:
        EvaluateGuarded(ANode, AValue);
    }
}

void TZqExpression::EvaluateGuarded(TZqExpressionNode *ANode, Variant &AValue)
{
    try {
        if (ANode->Kind == nkOperator) EvaluateOperator(ANode, AValue);
        else EvaluateFunction(ANode, AValue);
    } catch (const std::exception &E) {
        zqexpr::Raise(118, E.what());
    }
}

namespace {
// A date moved outside the years 1 to 9999 is refused where it is made,
// before any date routine has to read it.
void CheckDate(const Variant &AValue)
{
    if (AValue.VType() != rtl::varDate) return;
    const double D = AValue.AsDouble();
    if (!(D > -693594.0 && D < 2958466.0)) throw rtl::EConvertError("Invalid argument to date encode");
}
} // namespace

// A constant is read in place; anything else is evaluated into AScratch.
const Variant &TZqExpression::Operand(TZqExpressionNode *ANode, Variant &AScratch)
{
    if (ANode->Kind == nkConst) return ANode->Value;
    EvaluateNode(ANode, AScratch);
    return AScratch;
}

bool TZqExpression::PartialEqual(const Variant &ALeft, const Variant &ARight, bool APartialNode)
{
    const bool NoCase = FOptions.Contains(ekNoCase);
    if (ALeft.IsStr() && ARight.IsStr()) {
        std::string L = ALeft.AsString(), R = ARight.AsString();
        bool Star = false;
        if (!L.empty()) {
            if (L.back() == '*') {
                L.pop_back();
                Star = true;
            }
            if (!R.empty() && R.back() == '*') {
                R.pop_back();
                Star = true;
            }
        }
        if (Star || APartialNode) {
            if (R.size() > L.size()) return false;
            L.resize(R.size());
            return NoCase ? rtl::AnsiCompareText(L, R) == 0 : L == R;
        }
        return NoCase ? ZqCompareText(L, R) == 0 : L == R;
    }
    Variant L = ALeft.IsStr() ? Variant(rtl::AnsiUpperCase(ALeft.AsString())) : ALeft;
    Variant R = ARight.IsStr() ? Variant(rtl::AnsiUpperCase(ARight.AsString())) : ARight;
    return L == R;
}

namespace {
bool CompareValues(uint8_t AOperator, const Variant &ALeft, const Variant &ARight)
{
    switch (AOperator) {
    case opEqual: return ALeft == ARight;
    case opNotEqual: return ALeft != ARight;
    case opGreaterEq: return ALeft >= ARight;
    case opLessEq: return ALeft <= ARight;
    case opGreater: return ALeft > ARight;
    case opLess: return ALeft < ARight;
    default: return false;
    }
}
} // namespace

bool TZqExpression::Compare(uint8_t AOperator, const Variant &ALeft, const Variant &ARight, bool AInList,
                            bool APartialNode)
{
    const bool Partial = FOptions.Contains(ekPartial);
    if (Partial && FOptions.Contains(ekNoCase) && (ALeft.IsStr() || ARight.IsStr())) {
        // Under both options every text is compared upper-cased.
        Variant L = ALeft.IsStr() ? Variant(rtl::AnsiUpperCase(ALeft.AsString())) : ALeft;
        Variant R = ARight.IsStr() ? Variant(rtl::AnsiUpperCase(ARight.AsString())) : ARight;
        if (AOperator == opEqual) return PartialEqual(L, R, APartialNode);
        if (AOperator == opNotEqual && !AInList) return !PartialEqual(L, R, APartialNode);
        // The texts are upper-cased already: the plain comparison, not this
        // one again, or the options would send it round for ever.
        return CompareValues(AOperator, L, R);
    }
    if (Partial && AOperator == opEqual) return PartialEqual(ALeft, ARight, APartialNode);
    if (Partial && AOperator == opNotEqual && !AInList) return !PartialEqual(ALeft, ARight, APartialNode);
    return CompareValues(AOperator, ALeft, ARight);
}

void TZqExpression::EvaluateOperator(TZqExpressionNode *ANode, Variant &AValue)
{
    Variant S1, S2;
    switch (ANode->Operator) {
    case opAssign:
        EvaluateNode(ANode->Left, S1);
        FDataSource->SetVarData(ANode->Right->ColumnIndex, S1);
        AValue = Variant();
        return;
    case opOr:
        if (Operand(ANode->Left, S1).AsBoolean()) {
            AValue = Variant(true);
            return;
        }
        AValue = Variant(Operand(ANode->Right, S2).AsBoolean());
        return;
    case opAnd:
        if (!Operand(ANode->Left, S1).AsBoolean()) {
            AValue = Variant(false);
            return;
        }
        AValue = Variant(Operand(ANode->Right, S2).AsBoolean());
        return;
    case opNot:
        AValue = Variant(!Operand(ANode->Left, S1).AsBoolean());
        return;
    case opEqual:
    case opNotEqual:
    case opGreaterEq:
    case opLessEq:
    case opGreater:
    case opLess: {
        const Variant &L = Operand(ANode->Left, S1);
        TZqExpressionNode *R = ANode->Right;
        if (R->Kind == nkOperator && (R->Operator == opAnyList || R->Operator == opAllList)) {
            const bool Any = R->Operator == opAnyList;
            bool Result = false;
            for (TZqExpressionNode *Item : R->Args) {
                Result = Compare(ANode->Operator, L, Operand(Item, S2), true, ANode->Partial);
                if (Any == Result) break;
            }
            AValue = Variant(Result);
            return;
        }
        AValue = Variant(Compare(ANode->Operator, L, Operand(R, S2), false, ANode->Partial));
        return;
    }
    case opLike:
    case opNotLike: {
        const Variant &L = Operand(ANode->Left, S1);
        const Variant &P = Operand(ANode->Right, S2);
        bool Matched = false;
        if (!L.IsNull() && !L.IsEmpty() && !P.IsNull() && !P.IsEmpty()) {
            char Escape = '\t';
            if (!ANode->Args.empty()) {
                Variant E;
                std::string EscText = rtl::VarToStr(Operand(ANode->Args[0], E));
                if (!EscText.empty()) Escape = EscText[0];
            }
            Matched = ZqStrLike(L.AsString(), P.AsString(), FOptions.Contains(ekNoCase), Escape);
        } else {
            AValue = Variant(ANode->Operator == opNotLike);
            return;
        }
        AValue = Variant(ANode->Operator == opLike ? Matched : !Matched);
        return;
    }
    case opIsNull:
    case opIsNotNull: {
        bool Null = zqexpr::IsNullOrEmpty(Operand(ANode->Left, S1));
        AValue = Variant(ANode->Operator == opIsNull ? Null : !Null);
        return;
    }
    case opIn:
    case opNotIn: {
        const Variant &L = Operand(ANode->Left, S1);
        bool Found = false;
        for (TZqExpressionNode *Item : ANode->Args)
            if (L == Operand(Item, S2)) {
                Found = true;
                break;
            }
        AValue = Variant(ANode->Operator == opIn ? Found : !Found);
        return;
    }
    case opConcat:
    case opAdd: {
        const Variant &L = Operand(ANode->Left, S1);
        AValue = L + Operand(ANode->Right, S2);
        CheckDate(AValue);
        return;
    }
    case opSub: {
        const Variant &L = Operand(ANode->Left, S1);
        AValue = L - Operand(ANode->Right, S2);
        CheckDate(AValue);
        return;
    }
    case opMul: {
        const Variant &L = Operand(ANode->Left, S1);
        AValue = L * Operand(ANode->Right, S2);
        return;
    }
    case opDiv: {
        // The variant's real division raises on a zero divisor.
        const Variant &L = Operand(ANode->Left, S1);
        AValue = L / Operand(ANode->Right, S2);
        return;
    }
    case opBetween:
    case opNotBetween: {
        const Variant &L = Operand(ANode->Left, S1);
        bool In = L >= Operand(ANode->Args[0], S2) && L <= Operand(ANode->Args[1], S2);
        AValue = Variant(ANode->Operator == opBetween ? In : !In);
        return;
    }
    default:
        // A list node is read only by its comparison.
        AValue = Variant();
        return;
    }
}

void TZqExpression::EvaluateFunction(TZqExpressionNode *ANode, Variant &AValue)
{
    const TZqFuncDesc &Desc = ZqExprFunctions().Get(ANode->FunctionIndex);
    if (Desc.Kind == ckAggregate) {
        if (!FDataSource) throw rtl::Exception("Aggregate " + Desc.Name + " needs a data source");
        FDataSource->GetSubAggregateValue(ANode->AggregateIndex, AValue);
        return;
    }
    if (Desc.Evaluator == zqexpr::FnIif) {
        // Only the chosen branch is evaluated: IIF(x > 0, 1 / x, 0).
        Variant Cond;
        const Variant &C = Operand(ANode->Args[0], Cond);
        if (zqexpr::IsNullOrEmpty(C)) {
            AValue = Variant();
            return;
        }
        EvaluateNode(C.AsBoolean() ? ANode->Args[1] : ANode->Args[2], AValue);
        return;
    }
    // The argument values live in the node, so a call per row reuses them.
    std::vector<Variant> &Args = ANode->ArgValues;
    Args.resize(ANode->Args.size());
    for (size_t I = 0; I < ANode->Args.size(); ++I) EvaluateNode(ANode->Args[I], Args[I]);
    AValue = Variant();
    Desc.Evaluator(Args, *this, *ANode, AValue);
}

