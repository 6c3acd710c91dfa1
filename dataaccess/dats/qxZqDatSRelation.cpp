// qxZqDatSRelation: relations and the relation list's look-ups.
#include "dataaccess/dats/qxZqDatSRelation.h"

#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "dataaccess/dats/qxZqDatSConstraints.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSTable.h"

namespace dats {

TZqDatSRelation::TZqDatSRelation() { SetDefaultName("TZqDatSRelation"); }

namespace {
bool IsParentRefType(TZqDataType T) {
    return T == dtRowSetRef || T == dtCursorRef || T == dtRowRef || T == dtArrayRef;
}
} // namespace

void TZqDatSRelation::Validate() {
    if (FNested) {
        bool Bad = (FChildTable && FChildTable == FParentTable) || FChildColumns.Count() >= 2 ||
                   (FChildColumns.Count() == 1 && FChildColumns[0]->DataType() != dtParentRowRef) ||
                   FParentColumns.Count() >= 2 ||
                   (FParentColumns.Count() == 1 && !IsParentRefType(FParentColumns[0]->DataType()));
        if (Bad) DatSError(36, FName);
        return;
    }
    for (int I = 0; I < FChildColumns.Count(); ++I)
        if (FChildColumns[I]->DataType() == dtParentRowRef) DatSError(36, FName);
    for (int I = 0; I < FParentColumns.Count(); ++I)
        if (IsParentRefType(FParentColumns[I]->DataType())) DatSError(36, FName);
    if (FChildTable && FParentTable && FChildTable == FParentTable && FChildColumns.Count() > 0 &&
        FParentColumns.Count() > 0 && FChildColumns.Count() == FParentColumns.Count()) {
        bool Same = true;
        for (int I = 0; I < FChildColumns.Count(); ++I)
            if (FChildColumns[I] != FParentColumns[I]) Same = false;
        if (Same) DatSError(36, FName);
    }
}

void TZqDatSRelation::SetChildColumnNames(const std::string &AValue) {
    FChildColumnNames = AValue;
    FChildColumns.Clear();
    if (FChildTable && !AValue.empty()) FChildColumns.Parse(FChildTable, AValue);
    try {
        Validate();
    } catch (...) {
        if (!AValue.empty()) SetChildColumnNames("");
        throw;
    }
}

void TZqDatSRelation::SetParentColumnNames(const std::string &AValue) {
    FParentColumnNames = AValue;
    FParentColumns.Clear();
    if (FParentTable && !AValue.empty()) FParentColumns.Parse(FParentTable, AValue);
    try {
        Validate();
    } catch (...) {
        if (!AValue.empty()) SetParentColumnNames("");
        throw;
    }
}

void TZqDatSRelation::SetChildTable(TZqDatSTable *AValue) {
    if (AValue == FChildTable) return;
    FChildTable = AValue;
    FChildColumns.Clear();
    if (!AValue) return;
    try {
        if (!FChildColumnNames.empty()) FChildColumns.Parse(AValue, FChildColumnNames);
        Validate();
    } catch (...) {
        FChildTable = nullptr;
        FChildColumns.Clear();
        throw;
    }
}

void TZqDatSRelation::SetParentTable(TZqDatSTable *AValue) {
    if (AValue == FParentTable) return;
    FParentTable = AValue;
    FParentColumns.Clear();
    if (!AValue) return;
    try {
        if (!FParentColumnNames.empty()) FParentColumns.Parse(AValue, FParentColumnNames);
        Validate();
    } catch (...) {
        FParentTable = nullptr;
        FParentColumns.Clear();
        throw;
    }
}

void TZqDatSRelation::SetNested(bool AValue) {
    if (AValue == FNested) return;
    FNested = AValue;
    try {
        Validate();
    } catch (...) {
        FNested = !AValue;
        throw;
    }
}

void TZqDatSRelation::SetChildKeyConstraint(TZqDatSConstraintBase *AValue) {
    if (AValue == FChildKeyConstraint) return;
    auto *FK = dynamic_cast<TZqDatSForeignKeyConstraint *>(AValue);
    DATS_ASSERT(!AValue || FK);
    FChildKeyConstraint = AValue;
    if (!FK) return;
    SetNested(false);
    SetChildTable(FK->GetTable());
    SetChildColumnNames(FK->ColumnNames());
    SetParentTable(FK->RelatedTable());
    SetParentColumnNames(FK->RelatedColumnNames());
    SetNested(false);
}

void TZqDatSRelation::SetParentKeyConstraint(TZqDatSConstraintBase *AValue) {
    if (AValue == FParentKeyConstraint) return;
    auto *UC = dynamic_cast<TZqDatSUniqueConstraint *>(AValue);
    DATS_ASSERT(!AValue || UC);
    FParentKeyConstraint = AValue;
    if (!UC) return;
    SetNested(false);
    SetParentTable(UC->GetTable());
    SetParentColumnNames(UC->ColumnNames());
}

void TZqDatSRelation::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSRelation *>(ASource);
    if (!S) return;
    TZqDatSNamedObject::Assign(S);
    FChildColumnNames = S->FChildColumnNames;
    FParentColumnNames = S->FParentColumnNames;
    FNested = S->FNested;
    TZqDatSManager *M = GetManager();
    if (!M) {
        SetChildColumnNames(FChildColumnNames);
        SetParentColumnNames(FParentColumnNames);
        return;
    }
    FChildColumns.Clear();
    FParentColumns.Clear();
    if (M == S->GetManager()) {
        FChildTable = FParentTable = nullptr;
        SetChildTable(S->FChildTable);
        SetParentTable(S->FParentTable);
        FChildKeyConstraint = S->FChildKeyConstraint;
        FParentKeyConstraint = S->FParentKeyConstraint;
        return;
    }
    TZqDatSTable *CT = S->FChildTable ? M->Tables()->TableByName(S->FChildTable->Name()) : nullptr;
    TZqDatSTable *PT = S->FParentTable ? M->Tables()->TableByName(S->FParentTable->Name()) : nullptr;
    FChildTable = FParentTable = nullptr;
    SetChildTable(CT);
    SetParentTable(PT);
    FChildKeyConstraint = S->FChildKeyConstraint && CT
                              ? CT->Constraints()->ConstraintByName(S->FChildKeyConstraint->Name())
                              : nullptr;
    FParentKeyConstraint = S->FParentKeyConstraint && PT
                               ? PT->Constraints()->ConstraintByName(S->FParentKeyConstraint->Name())
                               : nullptr;
}

bool TZqDatSRelation::IsComplete() const {
    return FChildTable && FParentTable && !FChildColumnNames.empty() && !FParentColumnNames.empty() &&
           FChildColumns.Count() > 0 && FParentColumns.Count() > 0;
}

void TZqDatSRelation::HandleNotification(TZqDatSNotification &N) {
    if (FChildColumns.IsAffectedBy(N)) SetChildColumnNames("");
    if (FParentColumns.IsAffectedBy(N)) SetParentColumnNames("");
    if (N.Kind == nkAfterRemove && N.Item) {
        if (N.Item == FParentTable) SetParentTable(nullptr);
        else if (N.Item == FParentKeyConstraint) SetParentKeyConstraint(nullptr);
        else if (N.Item == FChildTable) SetChildTable(nullptr);
        else if (N.Item == FChildKeyConstraint) SetChildKeyConstraint(nullptr);
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
