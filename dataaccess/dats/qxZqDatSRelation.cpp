// qxZqDatSRelation: relations and the relation list's look-ups.
#include "dataaccess/dats/qxZqDatSRelation.h"

#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSTable.h"

namespace dats {

TZqDatSRelation::TZqDatSRelation() { SetDefaultName("TZqDatSRelation"); }

void TZqDatSRelation::SetChildColumnNames(const std::string &AValue) {
    FChildColumnNames = AValue;
    FChildColumns.Clear();
    if (FChildTable && !AValue.empty()) FChildColumns.Parse(FChildTable, AValue);
}

void TZqDatSRelation::SetParentColumnNames(const std::string &AValue) {
    FParentColumnNames = AValue;
    FParentColumns.Clear();
    if (FParentTable && !AValue.empty()) FParentColumns.Parse(FParentTable, AValue);
}

void TZqDatSRelation::SetChildTable(TZqDatSTable *AValue) {
    if (AValue == FChildTable) return;
    FChildTable = AValue;
    SetChildColumnNames(FChildColumnNames);
}

void TZqDatSRelation::SetParentTable(TZqDatSTable *AValue) {
    if (AValue == FParentTable) return;
    FParentTable = AValue;
    SetParentColumnNames(FParentColumnNames);
}

void TZqDatSRelation::SetNested(bool AValue) { FNested = AValue; }

bool TZqDatSRelation::IsComplete() const {
    return FChildTable && FParentTable && !FChildColumnNames.empty() && !FParentColumnNames.empty() &&
           FChildColumns.Count() > 0 && FParentColumns.Count() > 0;
}

void TZqDatSRelation::HandleNotification(TZqDatSNotification &N) {
    if (FChildColumns.IsAffectedBy(N)) SetChildColumnNames("");
    if (FParentColumns.IsAffectedBy(N)) SetParentColumnNames("");
    if (N.Kind == nkAfterRemove && N.Item) {
        if (N.Item == FParentTable) SetParentTable(nullptr);
        else if (N.Item == FParentKeyConstraint) FParentKeyConstraint = nullptr;
        else if (N.Item == FChildTable) SetChildTable(nullptr);
        else if (N.Item == FChildKeyConstraint) FChildKeyConstraint = nullptr;
    }
}

TZqDatSRelationList::TZqDatSRelationList(TZqDatSManager *AManager) : FManager(AManager) {
    DATS_ASSERT(AManager != nullptr);
    FOwner = AManager;
}

namespace {
template <class P> TZqDatSRelation *Prefer(TZqDatSRelationList *L, P Pred) {
    TZqDatSRelation *First = nullptr;
    for (int I = 0; I < L->Count(); ++I) {
        TZqDatSRelation *R = L->GetItem(I);
        if (!Pred(R)) continue;
        if (R->IsComplete()) return R;
        if (!First) First = R;
    }
    return First;
}
} // namespace

TZqDatSRelation *TZqDatSRelationList::FindRelation(TZqDatSTable *AParent, TZqDatSTable *AChild, bool ANestedOnly) {
    return Prefer(this, [&](TZqDatSRelation *R) {
        return R->ParentTable() == AParent && R->ChildTable() == AChild && (!ANestedOnly || R->Nested());
    });
}

TZqDatSRelation *TZqDatSRelationList::FindNestedByParentColumn(TZqDatSTable *AParent, TZqDatSColumn *AColumn) {
    return Prefer(this, [&](TZqDatSRelation *R) {
        return R->ParentTable() == AParent && R->Nested() && R->ParentColumnCount() == 1 &&
               R->ChildColumnCount() == 1 && R->GetParentColumn(0) == AColumn;
    });
}

TZqDatSRelation *TZqDatSRelationList::FindNestedByChildTable(TZqDatSTable *AChild) {
    return Prefer(this, [&](TZqDatSRelation *R) {
        return R->ChildTable() == AChild && R->Nested() && R->ParentColumnCount() == 1 && R->ChildColumnCount() == 1;
    });
}

std::vector<TZqDatSRelation *> TZqDatSRelationList::GetRelationsOf(bool AChildSide, TZqDatSTable *ATable) {
    std::vector<TZqDatSRelation *> R;
    for (int I = 0; I < Count(); ++I) {
        TZqDatSRelation *X = GetItem(I);
        if ((AChildSide ? X->ChildTable() : X->ParentTable()) == ATable) R.push_back(X);
    }
    return R;
}

void TZqDatSRelationList::HandleNotification(TZqDatSNotification &N) {
    if (N.ListKind == 1) return;
    TZqDatSNamedList::HandleNotification(N);
}

} // namespace dats
