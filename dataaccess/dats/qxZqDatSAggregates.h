// qxZqDatSAggregates: named aggregates of a view (SUM, AVG, COUNT, MIN, MAX,
// TFIRST, TLAST over row expressions), one value per group of rows sharing
// the first N sort columns, kept current as rows enter, move and leave the
// view, and the data source their expressions are compiled against.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSAggregate.h"
#include "dataaccess/dats/qxZqDatSExprDS.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "platform/rtl/Variant.h"

namespace dats {

class TZqDatSAggregate;

// One group's value object, shared by every row of the group.
class TZqDatSAggregateGroup : public TZqDatSAggregateValue {
public:
    explicit TZqDatSAggregateGroup(int AValueCount)
        : Value(rtl::Variant::Null()), Sub(size_t(AValueCount), rtl::Variant::Null()) {}
    void Reset() {
        Value = rtl::Variant::Null();
        for (rtl::Variant &V : Sub) V = rtl::Variant::Null();
    }
    rtl::Variant Value;
    std::vector<rtl::Variant> Sub;
};

// Sees the view's table columns and, numbered after them, the view's
// aggregates; the current row is a position in the view.
class TZqDatSAggregateExpressionDS : public TZqDatSTableExpressionDS {
public:
    TZqDatSAggregateExpressionDS(TZqDatSView *AView, TZqDatSAggregate *AAggregate);
    int GetVarIndex(const std::string &AName) override;
    TZqDataType GetVarType(int AIndex) override;
    TZqExpressionScopeKind GetVarScope(int AIndex) override;
    void GetVarData(int AIndex, rtl::Variant &AValue) override;
    void GetSubAggregateValue(int AIndex, rtl::Variant &AValue) override;
    void SetPosition(void *AValue) override;
    int GetRowNum() override;
    // Points the data source at the view's row AIndex.
    void PointAt(int AIndex);
    int Index();

private:
    TZqDatSView *FView;
    TZqDatSAggregate *FAggregate;
    int FIndex = -1;
};

// The client data set counts its users (TZqDatSCounted); the last Release
// frees it.
class TZqDatSAggregate : public TZqDatSAggregateBase, public TZqDatSCounted {
public:
    enum : uint8_t { asComputed = 1, asNotUndoable = 2, asPrepared = 4 };
    TZqDatSAggregate();
    ~TZqDatSAggregate() override;

    const std::string &Expression() const { return FExpression; }
    void SetExpression(const std::string &AValue);
    bool Active() const { return FActive; }
    void SetActive(bool AValue);
    int GroupingLevel() const { return FGroupingLevel; }
    void SetGroupingLevel(int AValue);
    bool GetActualActive();
    uint8_t State() const { return FState; }
    // The group value of the view's row AIndex; Unassigned while not prepared.
    void GetValue(int AIndex, rtl::Variant &AValue);
    TZqDataType GetDataType();
    // What the expression sees for aggregate function AFunc in AGroup.
    rtl::Variant FunctionValue(int AFunc, TZqDatSAggregateGroup *AGroup) const;
    TZqDatSAggregateGroup *GroupAt(int AIndex) const;

    void RowInserted(int AIndex) override;
    void RowMoved(int AFrom, int ATo) override;
    void RowRemoving(int AIndex) override;
    void Recalc() override;
    void HandleNotification(TZqDatSNotification &ANotification) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSAggregate(); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

private:
    struct TFunc {
        uint8_t Kind;
        int ValueIndex;
        int CountIndex;
    };
    TZqDatSView *View() const;
    TZqDatSViewRowList *Rows() const;
    bool Grouped() const;
    bool SameGroup(int AIndex1, int AIndex2) const;
    void RefreshActual();
    void Prepare();
    void Unprepare();
    void Compute();
    void Accumulate(int AFirst, int ALast, int ASkip);
    void EvaluateGroup(int AIndex);
    void Join(int AIndex);
    // A new group for the row at AIndex, held by the row's slot.
    TZqDatSAggregateGroup *StartGroup(int AIndex);
    void Reaccumulate(int AFirst, int ALast, TZqDatSAggregateGroup *AGroup, int ASkip);

    std::string FExpression;
    TZqIntfPtr<IZqStanExpressionEvaluator> FEvaluator;
    TZqIntfPtr<TZqDatSAggregateExpressionDS> FDS;
    bool FActive = false;
    int FGroupingLevel = 0;
    int FSlot = -1;
    uint8_t FState = 0;
    bool FOrderDependent = false; // TFIRST or TLAST: the order within a group matters
    std::vector<TFunc> FFuncs;
    int FValueCount = 0;
    bool FActualActive = false;
};

} // namespace dats
