// qxZqDatSConstraints: unique, foreign-key and check constraints.
#include "dataaccess/dats/qxZqDatSConstraints.h"

#include <algorithm>

#include "dataaccess/dats/qxZqDatSExpr.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "platform/rtl/SysUtils.h"

namespace dats {

namespace {

// A constraint's own views hold every row of the table, deleted ones
// included (they are found again by their sort alone); the searches below
// look past the deleted rows, which no longer hold their key.
TZqDatSView *SortedView(TZqDatSTable *ATable, const std::string &AColumnNames, TZqSortOptions AOptions,
                        bool AExact, const std::string &AName, uint8_t ACreatorKind) {
    TZqSortOptions Forbidden = soNullLess | soDescending | ((AOptions & soNoCase) ? 0 : soNoCase);
    if (TZqDatSView *V = ATable->Views()->FindSortedView(AColumnNames, AOptions & soNoCase, Forbidden, AExact))
        return V;
    TZqDatSView *V = TZqDatSView::CreateEx(ATable, AName, ACreatorKind, false);
    TZqDatSMechSort *S = V->Mechanisms()->AddSort(AColumnNames);
    S->SetSortOptions(AOptions & soNoCase);
    S->SetActive(true);
    V->SetActive(true);
    return V;
}

bool Live(TZqDatSRow *ARow) { return ARow->EffectiveState() != rsDeleted; }

// Rows of the view whose key equals the key row's (read at AVersion from
// AKeyRowColumns); deleted rows and ASkip are passed over. With ACollect nil
// the answer is whether there is one.
bool FindKey(TZqDatSView *AView, TZqDatSRow *AKeyRow, TZqDatSColumnSublist *AKeyRowColumns,
             TZqDatSColumnSublist *AViewColumns, TZqDatSRowVersion AVersion, bool ANoCase, TZqDatSRow *ASkip,
             std::vector<TZqDatSRow *> *ACollect) {
    int Index = -1;
    bool Found = false;
    TZqDatSSearchOptions O = ANoCase ? srNoCase : 0;
    if (ASkip) O |= srSkipKeyRow;
    AView->Search(AKeyRow, AViewColumns, AKeyRowColumns, AKeyRowColumns->Count(), O, Index, Found, AVersion);
    if (!Found || Index < 0) return false;
    auto *Sort = dynamic_cast<TZqDatSMechSort *>(AView->SortMech());
    DATS_ASSERT(Sort != nullptr);
    TZqDatSCompareOptions C = ANoCase ? cmpNoCase : 0;
    TZqDatSViewRowList *Rows = AView->Rows();
    bool Any = false;
    // The search may land anywhere among equal rows (and the skipped key row
    // stands where its old key put it): look both ways.
    int First = Index;
    while (First > 0) {
        TZqDatSRow *R = Rows->GetItem(First - 1);
        if (R != ASkip && Sort->CompareKey(R, AKeyRow, AVersion, C, AKeyRowColumns->Count(), AKeyRowColumns,
                                           AViewColumns, nullptr, false) != 0)
            break;
        --First;
    }
    for (int I = First; I < Rows->Count(); ++I) {
        TZqDatSRow *R = Rows->GetItem(I);
        if (R == ASkip) continue;
        if (Sort->CompareKey(R, AKeyRow, AVersion, C, AKeyRowColumns->Count(), AKeyRowColumns, AViewColumns,
                             nullptr, false) != 0)
            break;
        if (!Live(R)) continue;
        Any = true;
        if (!ACollect) return true;
        ACollect->push_back(R);
    }
    return Any;
}

bool KeyHasNull(TZqDatSRow *ARow, TZqDatSColumnSublist *AColumns, TZqDatSRowVersion AVersion) {
    for (int I = 0; I < AColumns->Count(); ++I)
        if (ARow->IsNull(AColumns->GetItem(I)->Index(), AVersion)) return true;
    return false;
}

// The key a row last posted: a row being edited or already deleted keeps it
// as its previous version, other rows as their default one.
TZqDatSRowVersion PostedVersion(TZqDatSRow *ARow) {
    TZqDatSRowState S = ARow->EffectiveState();
    if ((S == rsEditing || S == rsDeleted) && ARow->GetBuffer(rvPrevious)) return rvPrevious;
    return rvDefault;
}

const std::string &ShownName(const std::string &AMessage, const std::string &AName) {
    return AMessage.empty() ? AName : AMessage;
}

void SetPrimaryFlags(TZqDatSColumnSublist &AColumns, bool AOn);

} // namespace

// ---- unique ---------------------------------------------------------------

TZqDatSUniqueConstraint::TZqDatSUniqueConstraint() { SetDefaultName("TZqDatSUniqueConstraint"); }

TZqDatSUniqueConstraint::TZqDatSUniqueConstraint(const std::string &AName, const std::string &AColumnNames,
                                                 bool APrimary) {
    SetDefaultName("TZqDatSUniqueConstraint");
    if (!AName.empty()) FName = AName;
    FEnabled = false;
    FColumnNames = AColumnNames;
    FOptions = soUnique | (APrimary ? soPrimary : 0);
    SetEnabled(true);
}

TZqDatSUniqueConstraint *TZqDatSUniqueConstraint::CreateByColumns(const std::string &AName,
                                                                  TZqDatSColumnSublist *AColumns, bool APrimary) {
    std::string Names;
    for (int I = 0; I < AColumns->Count(); ++I) {
        if (I) Names += ";";
        Names += AColumns->GetItem(I)->Name();
    }
    return new TZqDatSUniqueConstraint(AName, Names, APrimary);
}

void TZqDatSUniqueConstraint::SetColumnNames(const std::string &AValue) {
    if (AValue == FColumnNames) return;
    SetEnabled(false);
    FColumnNames = AValue;
}

void TZqDatSUniqueConstraint::SetOptions(TZqSortOptions AValue) {
    if (AValue == FOptions) return;
    SetEnabled(false);
    FOptions = AValue;
}

namespace {
void SetPrimaryFlags(TZqDatSColumnSublist &AColumns, bool AOn) {
    for (int I = 0; I < AColumns.Count(); ++I) {
        TZqDatSColumn *C = AColumns.GetItem(I);
        if (HasAttr(C->Attributes(), caAutoInc)) continue;
        TZqDatSUniqueConstraint::SetKeyFlags(C, AOn);
    }
}
} // namespace

void TZqDatSUniqueConstraint::SetKeyFlags(TZqDatSColumn *AColumn, bool AOn) {
    // The null check of a row reads the column's options, so the "allows
    // null" option follows the attribute here as the attribute setter keeps
    // it: a key column must refuse NULL while the key is active.
    if (AOn) {
        AColumn->FAttributes.Exclude(caAllowNull);
        AColumn->FOptions.Exclude(coAllowNull);
        AColumn->FOptions.Include(coInKey);
    } else {
        AColumn->FAttributes.Include(caAllowNull);
        AColumn->FOptions.Include(coAllowNull);
        AColumn->FOptions.Exclude(coInKey);
    }
}

void TZqDatSUniqueConstraint::Prepare() {
    TZqDatSTable *T = GetTable();
    if (FActive) {
        FColumns.Clear();
        if (T && !FColumnNames.empty()) FColumns.Parse(T, FColumnNames);
        if (FColumns.Count() == 0) DatSError(34, FName);
        if (FOptions & soPrimary) SetPrimaryFlags(FColumns, true);
    } else {
        if (FOptions & soPrimary) SetPrimaryFlags(FColumns, false);
        FColumns.Clear();
    }
}

TZqDatSView *TZqDatSUniqueConstraint::GetView() {
    TZqDatSTable *T = GetTable();
    DATS_ASSERT(T != nullptr);
    return SortedView(T, FColumnNames, FOptions, false, "_Zq_UC_" + FName, 1);
}

void TZqDatSUniqueConstraint::DoCheck(TZqDatSRow *ARow, TZqDatSRowState AAction) {
    if (AAction != rsInserted && AAction != rsModified && AAction != rsChecking) return;
    if (FColumns.Count() == 0) return;
    TZqDatSView *V = GetView();
    if (FindKey(V, ARow, &FColumns, &FColumns, rvDefault, (FOptions & soNoCase) != 0, ARow, nullptr))
        DatSError(15, ShownName(FMessage, FName));
}

void TZqDatSUniqueConstraint::HandleNotification(TZqDatSNotification &N) {
    TZqDatSConstraintBase::HandleNotification(N);
    if (FActive && FColumns.IsAffectedBy(N)) SetEnabled(false);
}

void TZqDatSUniqueConstraint::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSUniqueConstraint *>(ASource);
    if (!S) return;
    TZqDatSConstraintBase::Assign(S);
    SetColumnNames(S->FColumnNames);
    SetOptions(S->FOptions);
}

bool TZqDatSUniqueConstraint::IsEqual(TZqDatSObject *AOther) {
    auto *O = dynamic_cast<TZqDatSUniqueConstraint *>(AOther);
    return O && TZqDatSConstraintBase::IsEqual(O) && rtl::CompareText(FColumnNames, O->FColumnNames) == 0 &&
           FOptions == O->FOptions;
}

// ---- foreign key ------------------------------------------------------------

TZqDatSForeignKeyConstraint::TZqDatSForeignKeyConstraint() { SetDefaultName("TZqDatSForeignKeyConstraint"); }

void TZqDatSForeignKeyConstraint::SetColumnNames(const std::string &AValue) {
    if (AValue == FColumnNames) return;
    SetEnabled(false);
    FColumnNames = AValue;
}

void TZqDatSForeignKeyConstraint::SetRelatedColumnNames(const std::string &AValue) {
    if (AValue == FRelatedColumnNames) return;
    SetEnabled(false);
    FRelatedColumnNames = AValue;
}

void TZqDatSForeignKeyConstraint::SetRelatedTable(TZqDatSTable *AValue) {
    if (AValue == FRelatedTable) return;
    SetEnabled(false);
    FRelatedTable = AValue;
}

void TZqDatSForeignKeyConstraint::Prepare() {
    if (!FActive) {
        FColumns.Clear();
        FRelatedColumns.Clear();
        return;
    }
    TZqDatSTable *T = GetTable();
    TZqDatSManager *M = T ? T->GetManager() : nullptr;
    if (!FRelatedTableName.empty() && M) {
        FRelatedTable = M->Tables()->TableByName(FRelatedTableName);
        FRelatedTableName.clear();
    }
    FColumns.Clear();
    FRelatedColumns.Clear();
    if (!FRelatedTable || FRelatedTable->GetManager() != M) DatSError(33, FName);
    if (T && !FColumnNames.empty()) FColumns.Parse(T, FColumnNames);
    if (!FRelatedColumnNames.empty()) FRelatedColumns.Parse(FRelatedTable, FRelatedColumnNames);
    if (FColumns.Count() == 0 || FColumns.Count() != FRelatedColumns.Count()) DatSError(33, FName);
    bool Same = true;
    for (int I = 0; I < FColumns.Count(); ++I) {
        if (FColumns[I] != FRelatedColumns[I]) Same = false;
        if (FColumns[I]->DataType() != FRelatedColumns[I]->DataType()) DatSError(33, FName);
    }
    if (Same) DatSError(33, FName);
}

TZqDatSView *TZqDatSForeignKeyConstraint::GetChildView() {
    return SortedView(GetTable(), FColumnNames, 0, true, "_Zq_FKC_" + FName, 2);
}

TZqDatSView *TZqDatSForeignKeyConstraint::GetParentView() {
    return SortedView(FRelatedTable, FRelatedColumnNames, 0, true, "_Zq_FKM_" + FName, 2);
}

void TZqDatSForeignKeyConstraint::CopyKey(TZqDatSRow *AParent, TZqDatSRow *AChild) {
    for (int I = 0; I < FColumns.Count() && I < FRelatedColumns.Count(); ++I)
        AChild->SetDataFromVariant(FColumns[I]->Index(),
                                   AParent->GetDataAsVariant(FRelatedColumns[I]->Index(), rvDefault));
}

bool TZqDatSForeignKeyConstraint::KeyComplete(TZqDatSRow *ARow, TZqDatSColumnSublist *AColumns,
                                              TZqDatSRowVersion AVersion) const {
    return !FCompleteKeysOnly || !KeyHasNull(ARow, AColumns, AVersion);
}

bool TZqDatSForeignKeyConstraint::InProgress(TZqDatSRow *ARow) const {
    return std::find(FInProgress.begin(), FInProgress.end(), ARow) != FInProgress.end();
}

void TZqDatSForeignKeyConstraint::DoCheck(TZqDatSRow *ARow, TZqDatSRowState AAction) {
    if (!FRelatedTable || FColumns.Count() == 0) return;
    if (ARow->GetTable() == FRelatedTable) CheckParent(ARow, AAction);
    // A child this key is cascading to is not checked against its parent:
    // the parent's new key is not posted yet. (A child of the same table is
    // still a parent of its own children above, so cascades go down a tree.)
    if (ARow->GetTable() == GetTable() && (AAction == rsInserted || AAction == rsModified) && !InProgress(ARow) &&
        KeyComplete(ARow, &FColumns, rvDefault)) {
        if (!FindKey(GetParentView(), ARow, &FColumns, &FRelatedColumns, rvDefault, false, nullptr, nullptr))
            DatSError(16, ShownName(FMessage, FName));
    }
}

void TZqDatSForeignKeyConstraint::CheckParent(TZqDatSRow *ARow, TZqDatSRowState AAction) {
    uint8_t Rule;
    bool Delete = false, Update = false;
    switch (AAction) {
    case rsInitializing: case rsDetached: case rsDeleted: Rule = FDeleteRule; Delete = true; break;
    case rsModified: Rule = FUpdateRule; Update = true; break;
    case rsUnchanged: case rsDestroying: Rule = FAcceptRejectRule; break;
    default: return;
    }
    const std::string &ChildName = ShownName(FChildMessage, FName);
    TZqDatSView *Kids = GetChildView();
    if (Delete || Update) {
        // A re-keyed parent's children carry its last posted key.
        TZqDatSRowVersion Ver = Update ? rvPrevious : PostedVersion(ARow);
        if (KeyHasNull(ARow, &FRelatedColumns, Ver)) return; // a NULL key has no children
        if (Rule == 1) {
            if (!KeyComplete(ARow, &FRelatedColumns, Ver)) return;
            if (Update && ARow->VersionsEqual(&FRelatedColumns, rvPrevious, rvDefault)) return;
            if (FindKey(Kids, ARow, &FRelatedColumns, &FColumns, Ver, false, nullptr, nullptr))
                DatSError(17, ChildName);
            return;
        }
        if (Rule != 0 && Rule != 2) return;
        if (Update && Rule == 0 && ARow->VersionsEqual(&FRelatedColumns, rvPrevious, rvDefault)) return;
        std::vector<TZqDatSRow *> Found;
        if (!FindKey(Kids, ARow, &FRelatedColumns, &FColumns, Ver, false, nullptr, &Found)) return;
        Cascade(ARow, Found, Rule == 2 ? 2 : (Delete ? 0 : 1));
    } else {
        if (Rule != 1) return;
        if (KeyHasNull(ARow, &FRelatedColumns, rvDefault)) return;
        std::vector<TZqDatSRow *> Found;
        if (!FindKey(Kids, ARow, &FRelatedColumns, &FColumns, rvDefault, false, nullptr, &Found)) return;
        Cascade(ARow, Found, AAction == rsUnchanged ? 3 : 4);
    }
}

// Steps: 0 delete, 1 update, 2 set null, 3 accept, 4 reject.
void TZqDatSForeignKeyConstraint::Cascade(TZqDatSRow *AParent, const std::vector<TZqDatSRow *> &AChildren,
                                          int AStep) {
    for (TZqDatSRow *C : AChildren)
        if (C->RowState() == rsChecking) DatSError(39, FName);
    for (TZqDatSRow *C : AChildren) {
        TZqDatSRowState S = C->RowState();
        // A child already in this key's cascade is on its way (rows that
        // point at each other would otherwise accept each other forever).
        if (S < rsInserted || S == rsDeleted || InProgress(C)) continue;
        FInProgress.push_back(C);
        try {
            switch (AStep) {
            case 0: C->Delete(); break;
            case 1:
            case 2: {
                bool Change = false;
                for (int I = 0; I < FColumns.Count() && !Change; ++I) {
                    int Ci = FColumns[I]->Index();
                    Change = AStep == 2 ? !C->IsNull(Ci)
                                        : C->GetDataAsVariant(Ci) !=
                                              AParent->GetDataAsVariant(FRelatedColumns[I]->Index(), rvDefault);
                }
                if (!Change) break;
                bool Own = C->RowState() != rsEditing;
                if (Own) C->BeginEdit();
                for (int I = 0; I < FColumns.Count(); ++I) {
                    int Ci = FColumns[I]->Index();
                    if (AStep == 2) {
                        if (!C->IsNull(Ci)) C->SetDataFromVariant(Ci, rtl::Variant::Null());
                    } else {
                        C->SetDataFromVariant(Ci, AParent->GetDataAsVariant(FRelatedColumns[I]->Index(), rvDefault));
                    }
                }
                if (Own) C->EndEdit();
                break;
            }
            case 3: C->AcceptChanges(); break;
            case 4: C->RejectChanges(); break;
            }
        } catch (...) {
            FInProgress.erase(std::find(FInProgress.begin(), FInProgress.end(), C));
            throw;
        }
        FInProgress.erase(std::find(FInProgress.begin(), FInProgress.end(), C));
    }
}

void TZqDatSForeignKeyConstraint::HandleNotification(TZqDatSNotification &N) {
    TZqDatSConstraintBase::HandleNotification(N);
    if (FActive && (FColumns.IsAffectedBy(N) || FRelatedColumns.IsAffectedBy(N))) SetEnabled(false);
    if (N.Kind == nkAfterRemove && FRelatedTable && N.Item == FRelatedTable) SetRelatedTable(nullptr);
}

void TZqDatSForeignKeyConstraint::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSForeignKeyConstraint *>(ASource);
    if (!S) return;
    TZqDatSConstraintBase::Assign(S);
    SetColumnNames(S->FColumnNames);
    SetRelatedColumnNames(S->FRelatedColumnNames);
    SetRelatedTable(nullptr);
    FRelatedTableName = S->FRelatedTable ? S->FRelatedTable->Name() : std::string();
    FDeleteRule = S->FDeleteRule;
    FUpdateRule = S->FUpdateRule;
    FChildMessage = S->FChildMessage;
    FAcceptRejectRule = S->FAcceptRejectRule;
    FCompleteKeysOnly = S->FCompleteKeysOnly;
}

bool TZqDatSForeignKeyConstraint::IsEqual(TZqDatSObject *AOther) {
    auto *O = dynamic_cast<TZqDatSForeignKeyConstraint *>(AOther);
    return O && TZqDatSConstraintBase::IsEqual(O) && rtl::CompareText(FColumnNames, O->FColumnNames) == 0 &&
           rtl::CompareText(FRelatedColumnNames, O->FRelatedColumnNames) == 0 &&
           FRelatedTable == O->FRelatedTable && FDeleteRule == O->FDeleteRule && FUpdateRule == O->FUpdateRule &&
           FChildMessage == O->FChildMessage && FAcceptRejectRule == O->FAcceptRejectRule &&
           FCompleteKeysOnly == O->FCompleteKeysOnly;
}

// ---- check ------------------------------------------------------------------

TZqDatSCheckConstraint::TZqDatSCheckConstraint() { SetDefaultName("TZqDatSCheckConstraint"); }

TZqDatSCheckConstraint::TZqDatSCheckConstraint(const std::string &AName, const std::string &AExpression,
                                               const std::string &AMessage, uint8_t ATiming) {
    SetDefaultName("TZqDatSCheckConstraint");
    if (!AName.empty()) FName = AName;
    FEnabled = false;
    FExpression = AExpression;
    FMessage = AMessage;
    FTiming = ATiming;
    SetEnabled(true);
}

TZqDatSCheckConstraint::~TZqDatSCheckConstraint() = default;

void TZqDatSCheckConstraint::SetExpression(const std::string &AValue) {
    if (AValue == FExpression) return;
    SetEnabled(false);
    FExpression = AValue;
}

void TZqDatSCheckConstraint::Prepare() {
    if (FActive)
        FEvaluator = TZqDatSExpression::Prepare(GetTable(), FExpression, 0, 1, "");
    else
        FEvaluator.reset();
}

void TZqDatSCheckConstraint::DoCheck(TZqDatSRow *ARow, TZqDatSRowState AAction) {
    if (!FEvaluator) return;
    bool Runs = FTiming == 0 ? (AAction == rsInserted || AAction == rsModified || AAction == rsChecking)
                             : (AAction == rsEditing || AAction == rsImportingCurent ||
                                AAction == rsImportingOriginal || AAction == rsImportingProposed);
    if (!Runs) return;
    rtl::Variant V = FEvaluator->Evaluate(ARow);
    // A condition that cannot be decided (NULL) does not violate the check,
    // as in SQL; a filter, by contrast, rejects such a row.
    if (V.IsClear()) return;
    if (!V.AsBoolean()) DatSError(5, ShownName(FMessage, FName));
}

void TZqDatSCheckConstraint::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSCheckConstraint *>(ASource);
    if (!S) return;
    TZqDatSConstraintBase::Assign(S);
    SetExpression(S->FExpression);
}

bool TZqDatSCheckConstraint::IsEqual(TZqDatSObject *AOther) {
    auto *O = dynamic_cast<TZqDatSCheckConstraint *>(AOther);
    return O && TZqDatSConstraintBase::IsEqual(O) && FExpression == O->FExpression;
}

// ---- list additions -----------------------------------------------------------

TZqDatSUniqueConstraint *ZqAddUnique(TZqDatSConstraintList *AList, const std::string &AName,
                                     const std::string &AColumnNames, bool APrimary) {
    return AList->AddOwned(std::make_unique<TZqDatSUniqueConstraint>(AName, AColumnNames, APrimary));
}

TZqDatSUniqueConstraint *ZqAddUniqueEx(TZqDatSConstraintList *AList, const std::string &AName,
                                       TZqDatSColumnSublist *AColumns, bool APrimary) {
    return AList->AddOwned(std::unique_ptr<TZqDatSUniqueConstraint>(
        TZqDatSUniqueConstraint::CreateByColumns(AName, AColumns, APrimary)));
}

TZqDatSCheckConstraint *ZqAddCheck(TZqDatSConstraintList *AList, const std::string &AName,
                                   const std::string &AExpression, const std::string &AMessage, uint8_t ATiming) {
    return AList->AddOwned(std::make_unique<TZqDatSCheckConstraint>(AName, AExpression, AMessage, ATiming));
}

TZqDatSForeignKeyConstraint *ZqAddForeignKey(TZqDatSConstraintList *AList, const std::string &AName,
                                             const std::string &AColumnNames, TZqDatSTable *ARelatedTable,
                                             const std::string &ARelatedColumnNames) {
    auto New = std::make_unique<TZqDatSForeignKeyConstraint>();
    if (!AName.empty()) New->SetName(AName);
    New->SetEnabled(false);
    New->SetColumnNames(AColumnNames);
    New->SetRelatedColumnNames(ARelatedColumnNames);
    New->SetRelatedTable(ARelatedTable);
    TZqDatSForeignKeyConstraint *C = AList->AddOwned(std::move(New));
    C->SetEnabled(true);
    return C;
}

namespace {
TZqDatSConstraintBase *MakeUnique(TZqDatSConstraintList *AList, const std::string &AName,
                                  const std::string &AColumnNames, TZqSortOptions AOptions) {
    auto C = std::make_unique<TZqDatSUniqueConstraint>(AName, AColumnNames, (AOptions & soPrimary) != 0);
    C->SetOptions(AOptions & (soUnique | soPrimary | soNoCase));
    C->SetEnabled(true);
    return AList->AddOwned(std::move(C));
}
} // namespace

// Defined here so that whoever may make a unique constraint links this unit.
TZqDatSConstraintList::TMakeUnique TZqDatSConstraintList::FMakeUnique = &MakeUnique;

} // namespace dats
