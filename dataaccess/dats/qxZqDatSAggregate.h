// qxZqDatSAggregate: the aggregates a view carries. The view tells its
// aggregate list where rows enter, move and leave its row list, and when it
// was rebuilt; each aggregate keeps its group values current from these.
#pragma once

#include <string>

#include "dataaccess/dats/qxZqDatSObject.h"

namespace dats {

class TZqDatSAggregate;

// One aggregate of a view; its computation is in the aggregate unit.
class TZqDatSAggregateBase : public TZqDatSNamedObject {
public:
    virtual void RowInserted(int AIndex) { (void)AIndex; }
    virtual void RowMoved(int AFrom, int ATo) { (void)AFrom; (void)ATo; }
    virtual void RowRemoving(int AIndex) { (void)AIndex; }
    virtual void Recalc() {}
};

class TZqDatSAggregateList : public TZqDatSNamedList {
public:
    explicit TZqDatSAggregateList(TZqDatSView *AView);
    TZqDatSAggregateBase *GetItem(int AIndex) const {
        return static_cast<TZqDatSAggregateBase *>(TZqDatSList::GetItem(AIndex));
    }
    TZqDatSView *View() const { return FView; }
    // A new aggregate, switched on, appended to the list.
    TZqDatSAggregate *AddAggregate(const std::string &AName, const std::string &AExpression, int AGroupingLevel);
    void RowInserted(int AIndex);
    void RowMoved(int AFrom, int ATo);
    void RowRemoving(int AIndex);
    void Recalc();
    TZqDatSTable *GetTable() override;

private:
    TZqDatSView *FView;
};

} // namespace dats
