// qxZqDatSConstraint: the constraint base and the constraint list.
#include "dataaccess/dats/qxZqDatSConstraint.h"

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "platform/rtl/SysUtils.h"

namespace dats {

// ---- base ---------------------------------------------------------------

TZqDatSConstraintBase::TZqDatSConstraintBase() { SetDefaultName("TZqDatSConstraintBase"); }

TZqDatSConstraintBase::~TZqDatSConstraintBase() = default;

bool TZqDatSConstraintBase::IsActive() {
    if (!FEnabled) return false;
    auto *L = dynamic_cast<TZqDatSConstraintList *>(FOwner);
    if (!L || !L->Enforce()) return false;
    TZqDatSTable *T = L->GetTable();
    TZqDatSManager *M = T ? T->GetManager() : nullptr;
    return !M || M->EnforceConstraints();
}

void TZqDatSConstraintBase::SetEnabled(bool AValue) {
    if (AValue == FEnabled) return;
    FEnabled = AValue;
    Recheck();
}

void TZqDatSConstraintBase::Recheck() {
    bool A = IsActive();
    try {
        if (A != FActive) {
            FActive = A;
            Prepare();
        }
        if (FActive && !FSkipExistingRows) CheckAllRows();
    } catch (...) {
        SetEnabled(false);
        throw;
    }
}

void TZqDatSConstraintBase::Check(TZqDatSRow *ARow, TZqDatSRowState AAction, uint8_t ATiming) {
    DATS_ASSERT(ARow != nullptr);
    if (ATiming == FTiming && IsActive() && AppliesTo(ARow)) DoCheck(ARow, AAction);
}

void TZqDatSConstraintBase::CheckAllRows() {
    TZqDatSTable *T = GetTable();
    if (!T) return;
    TZqDatSTableRowList *Rows = T->Rows();
    for (int I = 0; I < Rows->Count(); ++I) DoCheck(Rows->GetItem(I), rsChecking);
}

void TZqDatSConstraintBase::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSConstraintBase *>(ASource);
    if (!S) return;
    TZqDatSNamedObject::Assign(S);
    FSkipExistingRows = S->FSkipExistingRows;
    SetEnabled(S->FEnabled);
}

bool TZqDatSConstraintBase::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSNamedObject::IsEqual(AOther)) return false;
    return FSkipExistingRows == static_cast<TZqDatSConstraintBase *>(AOther)->FSkipExistingRows;
}

// ---- list ---------------------------------------------------------------

TZqDatSConstraintList::TZqDatSConstraintList(TZqDatSTable *ATable) : FTable(ATable) {
    DATS_ASSERT(ATable != nullptr);
    FOwner = ATable;
}

void TZqDatSConstraintList::SetEnforce(bool AValue) {
    if (AValue == FEnforce) return;
    FEnforce = AValue;
    RecheckAll();
}

void TZqDatSConstraintList::RecheckAll() {
    for (int I = 0; I < Count(); ++I) GetItem(I)->Recheck();
}

void TZqDatSConstraintList::CheckAll(TZqDatSRow *ARow, TZqDatSRowState AAction, uint8_t ATiming) {
    for (int I = 0; I < Count(); ++I) GetItem(I)->Check(ARow, AAction, ATiming);
}

void TZqDatSConstraintList::CheckAllRowsAll() {
    for (int I = 0; I < Count(); ++I) {
        TZqDatSConstraintBase *C = GetItem(I);
        if (C->IsActive() && !C->SkipExistingRows()) C->CheckAllRows();
    }
}

TZqDatSConstraintBase *TZqDatSConstraintList::ConstraintByName(const std::string &AName) {
    return static_cast<TZqDatSConstraintBase *>(ItemByName(AName));
}

TZqDatSConstraintBase *TZqDatSConstraintList::FindUnique(const std::string &AColumnNames) {
    for (int I = 0; I < Count(); ++I)
        if (const std::string *N = GetItem(I)->UniqueColumnNames())
            if (rtl::CompareText(*N, AColumnNames) == 0) return GetItem(I);
    return nullptr;
}

void TZqDatSConstraintList::UpdateColumnUnique(TZqDatSColumn *AColumn, bool AUnique) {
    TZqDatSConstraintBase *C = FindUnique(AColumn->Name());
    if (AUnique) {
        if (C)
            C->SetEnabled(true);
        else if (FMakeUnique)
            FMakeUnique(this, "", AColumn->Name(), soUnique);
    } else if (C) {
        C->Free();
    }
}

void TZqDatSConstraintList::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSConstraintList *>(ASource);
    DATS_ASSERT(S != nullptr);
    Clear();
    SetEnforce(false);
    TZqDatSNamedList::Assign(S);
    SetEnforce(S->FEnforce);
}

void TZqDatSConstraintList::HandleNotification(TZqDatSNotification &N) {
    if (N.ListKind == 1) return;
    TZqDatSNamedList::HandleNotification(N);
}

} // namespace dats
