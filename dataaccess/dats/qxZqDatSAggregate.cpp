// qxZqDatSAggregate: the view's aggregate list passing row movements on.
#include "dataaccess/dats/qxZqDatSAggregate.h"

#include "dataaccess/dats/qxZqDatSView.h"

namespace dats {

TZqDatSAggregateList::TZqDatSAggregateList(TZqDatSView *AView) : FView(AView) {
    DATS_ASSERT(AView != nullptr);
    FOwner = AView;
}

TZqDatSTable *TZqDatSAggregateList::GetTable() { return FView->GetTable(); }

void TZqDatSAggregateList::RowInserted(int AIndex) {
    for (int I = 0; I < Count(); ++I) GetItem(I)->RowInserted(AIndex);
}

void TZqDatSAggregateList::RowMoved(int AFrom, int ATo) {
    for (int I = 0; I < Count(); ++I) GetItem(I)->RowMoved(AFrom, ATo);
}

void TZqDatSAggregateList::RowRemoving(int AIndex) {
    for (int I = 0; I < Count(); ++I) GetItem(I)->RowRemoving(AIndex);
}

void TZqDatSAggregateList::Recalc() {
    for (int I = 0; I < Count(); ++I) GetItem(I)->Recalc();
}

} // namespace dats
