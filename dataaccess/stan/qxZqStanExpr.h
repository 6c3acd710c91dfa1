// qxZqStanExpr: the library's expression language.
//
// TZqExpressionParser turns a text into a node tree held by a TZqExpression,
// which the in-memory tables hold as IZqStanExpressionEvaluator and evaluate
// row by row against their IZqStanExpressionDataSource (filters, check
// constraints, expression sort keys, calculated and default values,
// aggregates). The built-in functions live in one registry (ZqExprFunctions).
//
// Sources: qxZqStanExpr.cpp (scanner, grammar, date phrases, types),
// qxZqStanExprEval.cpp (evaluation), qxZqStanExprFuncs.cpp (functions).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanIntf.h"
#include "platform/rtl/Sets.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/Variant.h"

// Parser options, as the callers combine them (bits 1, 2, 4, 8).
enum TZqParserOption : uint8_t {
    poBoolean,     // filters and check constraints
    poAggregate,   // the whole expression must be an aggregate
    poValue,       // any result type; with a column name an assignment to it
    poFixedColumn  // column references try the fixed column first
};
using TZqParserOptions = rtl::TSet<TZqParserOption, uint8_t>;

// Scope of a node's value: one row's field, an aggregate over a group, or a
// constant.
enum TZqExpressionScopeKind : uint8_t { ckUnknown, ckField, ckAggregate, ckConst };

// What the engine reads its values through; the in-memory tables implement
// it for a table (columns of the current row) and for an aggregate view.
class IZqStanExpressionDataSource : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanExpressionDataSource;
    // Index of the column or value of that name, -1 when there is none.
    virtual int GetVarIndex(const std::string &AName) = 0;
    virtual TZqDataType GetVarType(int AIndex) = 0;
    virtual TZqExpressionScopeKind GetVarScope(int AIndex) = 0;
    virtual void GetVarData(int AIndex, rtl::Variant &AValue) = 0;
    virtual void SetVarData(int AIndex, const rtl::Variant &AValue) = 0;
    // The accumulated value of sub-aggregate AIndex (numbered as in the
    // evaluator's list) for the current row's group.
    virtual void GetSubAggregateValue(int AIndex, rtl::Variant &AValue) = 0;
    // The current row, an object of the data source's own.
    virtual void *GetPosition() = 0;
    virtual void SetPosition(void *AValue) = 0;
    // 1-based number of the current row.
    virtual int GetRowNum() = 0;
};

// A prepared expression. Aggregates are computed in two phases: per row of a
// group EvaluateSubAggregate(i) for each i below GetSubAggregateCount,
// accumulated by GetSubAggregateKind(i); then Evaluate, where each aggregate
// call reads its accumulated value back through GetSubAggregateValue.
class IZqStanExpressionEvaluator : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanExpressionEvaluator;
    virtual int GetSubAggregateCount() = 0;
    // 0 SUM, 1 AVG, 2 COUNT, 3 MIN, 4 MAX, 5 TFIRST, 6 TLAST.
    virtual int GetSubAggregateKind(int AIndex) = 0;
    virtual IZqStanExpressionDataSource *GetDataSource() = 0;
    virtual TZqDataType GetDataType() = 0;
    // Whether a change of the table invalidates the expression: never.
    virtual int Reserved(int64_t AValue) = 0;
    // The value for the data source's current row.
    virtual void Evaluate(rtl::Variant &AValue) = 0;
    // The first argument of sub-aggregate AIndex for the current row; "*"
    // for COUNT(*).
    virtual void EvaluateSubAggregate(int AIndex, rtl::Variant &AValue) = 0;
};

class IZqStanExpressionParser : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanExpressionParser;
    virtual IZqStanExpressionDataSource *GetDataSource() = 0;
    // Parses AExpression for ADataSource. Errors raise EZqException with the
    // words "Stan" and "Eval" (codes 100-117).
    virtual TZqIntfPtr<IZqStanExpressionEvaluator> Prepare(IZqStanExpressionDataSource *ADataSource,
                                                           const std::string &AExpression,
                                                           TZqExpressionOptions AOptions,
                                                           TZqParserOptions AParserOptions,
                                                           const std::string &AFixedColumnName) = 0;
};

class TZqExpression;

// Node kinds.
enum : uint8_t { nkColumn = 1, nkConst = 2, nkOperator = 3, nkFunction = 4 };

// Operator codes of the node tree.
enum TZqExprOperator : uint8_t {
    opNone = 0,
    opAssign = 1,
    opOr,
    opAnd,
    opNot,
    opEqual,
    opNotEqual,
    opGreaterEq,
    opLessEq,
    opGreater,
    opLess,
    opLike,
    opIsNull,
    opIsNotNull,
    opIn,
    opConcat,
    opAdd,
    opSub,
    opMul,
    opDiv,
    opNotIn,
    opAnyList,
    opAllList,
    opNotLike,
    opBetween,
    opNotBetween
};

// Per-call state a function keeps between rows (the compiled pattern of
// REGEXP_LIKE); owned by its node.
class TZqExprNodeCache {
public:
    virtual ~TZqExprNodeCache() = default;
};

struct TZqExpressionNode {
    TZqExpressionNode *Next = nullptr;  // the expression's list of all nodes, newest first
    TZqExpressionNode *Left = nullptr;
    TZqExpressionNode *Right = nullptr;
    TZqDataType DataType = dtUnknown;
    TZqExpressionScopeKind Scope = ckUnknown;
    uint8_t Kind = 0;
    uint8_t Operator = opNone;
    rtl::Variant Value;  // constant value; the name as written for columns and calls
    int FunctionIndex = -1;
    int ColumnIndex = -1;
    // Function arguments, in-list and quantified-list items, the two bounds
    // of a between, the escape operand of a like.
    std::vector<TZqExpressionNode *> Args;
    bool Partial = false;
    // Position of an aggregate call in the sub-aggregate list.
    int AggregateIndex = -1;
    // Levels of the tree below and including this node.
    int Depth = 1;
    // Argument values of a call, kept so that a call per row reuses them.
    std::vector<rtl::Variant> ArgValues;
    std::unique_ptr<TZqExprNodeCache> Cache;
};

// A function's evaluator: the argument values (empty without arguments), the
// expression and the call node being evaluated, and the result to set.
using TZqFuncEvaluator = void (*)(const std::vector<rtl::Variant> &AArgs, TZqExpression &AExpr,
                                  TZqExpressionNode &ACall, rtl::Variant &AResult);

constexpr int ZqUnboundedArgs = 2147483647;

struct TZqFuncDesc {
    std::string Name;
    TZqExpressionScopeKind Kind = ckUnknown;  // ckUnknown: the scope of argument ScopeArg
    int ScopeArg = -1;
    TZqDataType DataType = dtUnknown;         // dtUnknown: the type of argument TypeArg
    int TypeArg = -1;
    int MinArgs = 0;
    int MaxArgs = 0;
    TZqFuncEvaluator Evaluator = nullptr;
};

// The registry of built-in functions, built once and only read afterwards.
class TZqFunctionRegistry {
public:
    void Add(const std::string &AName, TZqExpressionScopeKind AKind, int AScopeArg, TZqFuncEvaluator AEvaluator,
             int AMaxArgs, int AMinArgs, int ATypeArg, TZqDataType ADataType);
    // Index of a name (any letter case), -1 when it is no function.
    int IndexOf(std::string_view AName) const;
    const TZqFuncDesc &Get(int AIndex) const { return FItems[static_cast<size_t>(AIndex)]; }
    int Count() const { return static_cast<int>(FItems.size()); }

private:
    std::vector<TZqFuncDesc> FItems;
    std::vector<int> FSorted;  // indexes of FItems by upper-case name
};

const TZqFunctionRegistry &ZqExprFunctions();

// The clock behind SYSDATE, the other current-date functions and the date
// phrases. Tests fix it; nullptr restores the system clock.
using TZqExprClock = rtl::TDateTime (*)();
void ZqSetExpressionClock(TZqExprClock AClock);
rtl::TDateTime ZqExpressionNow();

// The evaluator: an immutable node tree apart from its data source's row.
class TZqExpression : public TZqObject, public IZqStanExpressionEvaluator {
public:
    TZqExpression(TZqExpressionOptions AOptions, IZqStanExpressionDataSource *ADataSource);
    ~TZqExpression() override;

    // IZqStanExpressionEvaluator
    int GetSubAggregateCount() override;
    int GetSubAggregateKind(int AIndex) override;
    IZqStanExpressionDataSource *GetDataSource() override;
    TZqDataType GetDataType() override;
    int Reserved(int64_t AValue) override;
    void Evaluate(rtl::Variant &AValue) override;
    void EvaluateSubAggregate(int AIndex, rtl::Variant &AValue) override;

    TZqExpressionOptions Options() const { return FOptions; }
    TZqExpressionNode *Root() const { return FRoot; }

    // Used by the parser.
    TZqExpressionNode *NewNode(uint8_t AKind);
    TZqExpressionNode *NodeByNumber(int ANumber) const;
    int NodeNumber(const TZqExpressionNode *ANode) const;
    void SetRoot(TZqExpressionNode *ARoot) { FRoot = ARoot; }
    void AddSubAggregate(TZqExpressionNode *ANode);
    // Drops sub-aggregates added after the first ACount (a parse given back).
    void TruncateSubAggregates(int ACount);

    // Evaluates one node; used by the evaluator itself and by functions.
    void EvaluateNode(TZqExpressionNode *ANode, rtl::Variant &AValue);

private:
    void EvaluateGuarded(TZqExpressionNode *ANode, rtl::Variant &AValue);
    void EvaluateOperator(TZqExpressionNode *ANode, rtl::Variant &AValue);
    void EvaluateFunction(TZqExpressionNode *ANode, rtl::Variant &AValue);
    const rtl::Variant &Operand(TZqExpressionNode *ANode, rtl::Variant &AScratch);
    bool Compare(uint8_t AOperator, const rtl::Variant &ALeft, const rtl::Variant &ARight, bool AInList,
                 bool APartialNode);
    bool PartialEqual(const rtl::Variant &ALeft, const rtl::Variant &ARight, bool APartialNode);

    TZqExpressionNode *FRoot = nullptr;
    TZqExpressionNode *FNodes = nullptr;  // newest first
    std::vector<std::unique_ptr<TZqExpressionNode>> FNodeStore;
    std::vector<TZqExpressionNode *> FSubAggregates;
    TZqIntfPtr<IZqStanExpressionDataSource> FDataSource;
    TZqExpressionOptions FOptions;
};

class TZqExpressionParser : public TZqObject, public IZqStanExpressionParser {
public:
    TZqExpressionParser();
    ~TZqExpressionParser() override;

    // IZqStanExpressionParser
    IZqStanExpressionDataSource *GetDataSource() override;
    TZqIntfPtr<IZqStanExpressionEvaluator> Prepare(IZqStanExpressionDataSource *ADataSource,
                                                   const std::string &AExpression, TZqExpressionOptions AOptions,
                                                   TZqParserOptions AParserOptions,
                                                   const std::string &AFixedColumnName) override;

private:
    struct TState;
    std::unique_ptr<TState> FState;
    TZqIntfPtr<IZqStanExpressionDataSource> FDataSource;
};

// Registers the parser's factory (multi-instance) with the object factory
// registry and builds the function registry. Called once at library start-up.
void RegisterStanExpr();
