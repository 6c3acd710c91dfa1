// qxZqDatSColumn: columns, row layout and column sublists.
#include "dataaccess/dats/qxZqDatSColumn.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "dataaccess/dats/qxZqDatSExpr.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRelation.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "platform/rtl/SysUtils.h"

namespace dats {



// ---- column -------------------------------------------------------------

TZqDatSColumn::TZqDatSColumn() {
    SetDefaultName("TZqDatSColumn");
    FSourceName = FName;
    FAttributes = TZqDataAttributes{caAllowNull};
    FOptions = TZqDataOptions{coAllowNull, coInUpdate, coInWhere};
}

TZqDatSColumn::~TZqDatSColumn() = default;

TZqDatSColumnList *TZqDatSColumn::GetColumnList() { return dynamic_cast<TZqDatSColumnList *>(FOwner); }

int TZqDatSColumn::GetIndex() {
    if (FIndex != -1) return FIndex;
    return TZqDatSObject::GetIndex();
}

void TZqDatSColumn::BeforeChange() {
    if (TZqDatSTable *T = GetTable()) T->CheckNoRows();
}

void TZqDatSColumn::Changed() { SendNotify(nkChanged, 0, nullptr, this); }

void TZqDatSColumn::SetDataType(TZqDataType AValue) {
    if (AValue == FDataType) return;
    BeforeChange();
    if (TZqDatSTable *T = GetTable())
        if (T->Rows()->Count() > 0) DatSError(35, FName);
    TZqDataType Old = FDataType;
    FDataType = AValue;
    if (!CanAutoIncrement(AValue)) FAutoIncrement = false;
    if (IsStringType(AValue)) {
        if (TZqDatSColumnList *L = GetColumnList())
            FSize = L->InlineDataSize() == 0 ? INT_MAX : L->InlineDataSize();
        else
            FSize = 50;
    } else {
        FSize = 0;
    }
    if (AValue >= dtBlob && AValue <= dtParentRowRef) Exclude(FAttributes, caSearchable);
    if (IsBlobType(AValue))
        Include(FAttributes, caBlobData);
    else
        Exclude(FAttributes, caBlobData);
    switch (AValue) {
    case dtDouble: FPrecision = 16; break;
    case dtCurrency: FPrecision = 20; break;
    case dtBCD: case dtFmtBCD: FPrecision = 64; break;
    default: FPrecision = 0; break;
    }
    if (FSourceDataType == Old) FSourceDataType = AValue;
    Changed();
}

void TZqDatSColumn::SetAttributes(TZqDataAttributes AValue) {
    if (AValue == FAttributes) return;
    BeforeChange();
    TZqDataAttributes Old = FAttributes;
    if (InSet(Old, caCalculated) && !InSet(AValue, caCalculated)) {
        FExpression.clear();
        FEvaluator.reset();
    }
    if (FDataType >= dtBlob && FDataType <= dtParentRowRef) Exclude(AValue, caSearchable);
    FAttributes = AValue;
    if (InSet(AValue, caAllowNull) != InSet(Old, caAllowNull)) {
        if (InSet(AValue, caAllowNull))
            Include(FOptions, coAllowNull);
        else
            Exclude(FOptions, coAllowNull);
    }
    if (InSet(AValue, caReadOnly) != InSet(Old, caReadOnly)) {
        if (InSet(AValue, caReadOnly))
            Include(FOptions, coReadOnly);
        else
            Exclude(FOptions, coReadOnly);
    }
    Changed();
}

void TZqDatSColumn::SetAutoIncrement(bool AValue) {
    if (AValue == FAutoIncrement) return;
    BeforeChange();
    FAutoIncrement = AValue;
    if (AValue && !CanAutoIncrement(FDataType)) FDataType = dtUInt32;
    Changed();
}

void TZqDatSColumn::SetAutoIncrementSeed(int AValue) {
    if (AValue == FAutoIncrementSeed) return;
    BeforeChange();
    FAutoIncrementSeed = AValue;
    Changed();
}

void TZqDatSColumn::SetAutoIncrementStep(int AValue) {
    if (AValue == FAutoIncrementStep) return;
    BeforeChange();
    FAutoIncrementStep = AValue;
    Changed();
}

void TZqDatSColumn::SetAutoIncrementAttrs(bool AValue) {
    SetAutoIncrement(AValue);
    TZqDataAttributes A = FAttributes;
    TZqDataOptions O = FOptions;
    if (AValue) {
        Include(A, caAllowNull);
        Include(A, caAutoInc);
        SetAttributes(A);
        O = FOptions;
        Include(O, coAfterInsChanged);
        Exclude(O, coInUpdate);
        SetOptions(O);
        SetAutoIncrementSeed(-1);
        SetAutoIncrementStep(-1);
    } else {
        Exclude(A, caAutoInc);
        SetAttributes(A);
        O = FOptions;
        Exclude(O, coAfterInsChanged);
        Include(O, coInUpdate);
        SetOptions(O);
        SetAutoIncrementSeed(1);
        SetAutoIncrementStep(1);
    }
}

void TZqDatSColumn::SetPrecision(int AValue) {
    if (AValue == FPrecision) return;
    BeforeChange();
    if (FPrecision == FSourcePrecision) FSourcePrecision = AValue;
    FPrecision = AValue;
    Changed();
}

void TZqDatSColumn::SetScale(int AValue) {
    if (AValue == FScale) return;
    BeforeChange();
    if (FScale == FSourceScale) FSourceScale = AValue;
    FScale = AValue;
    Changed();
}

void TZqDatSColumn::SetSize(int AValue) {
    if (AValue == FSize) return;
    BeforeChange();
    if (FSize == FSourceSize) FSourceSize = AValue;
    FSize = AValue;
    Changed();
}

void TZqDatSColumn::SetOptions(TZqDataOptions AValue) {
    if (AValue == FOptions) return;
    bool UniqueChanged = InSet(AValue, coUnique) != InSet(FOptions, coUnique);
    FOptions = AValue;
    if (UniqueChanged && GetTable()) UpdateUniqueConstraint();
}

void TZqDatSColumn::UpdateUniqueConstraint() {
    TZqDatSTable *T = GetTable();
    if (!T) return;
    try {
        T->Constraints()->UpdateColumnUnique(this, InSet(FOptions, coUnique));
    } catch (...) {
        Exclude(FOptions, coUnique);
        throw;
    }
}

void TZqDatSColumn::SetExpression(const std::string &AValue) {
    if (AValue == FExpression) return;
    FExpression = AValue;
    FEvaluator.reset();
    if (FSourceID <= 0) {
        if (!AValue.empty()) {
            Include(FAttributes, caReadOnly);
            Include(FAttributes, caCalculated);
            Include(FOptions, coReadOnly);
        } else {
            Exclude(FAttributes, caCalculated);
        }
    }
    TZqDatSColumnList *L = GetColumnList();
    if (L && L->HasLayout()) {
        // The offsets do not depend on expressions: the flags are brought up
        // to date in place, so rows already made keep a valid layout.
        TZqDatSRowLayout *Lay = L->Layout();
        if (!AValue.empty()) {
            Lay->LayoutFlags |= lfCalculated | lfDefaults | lfExprOrAutoInc;
            PrepareEvaluator();
        }
    } else {
        Changed();
    }
}

void TZqDatSColumn::PrepareEvaluator() {
    TZqDatSTable *T = GetTable();
    if (!T || FExpression.empty()) return;
    FEvaluator = TZqDatSExpression::Prepare(T, FExpression, 0, 4, FName);
}

bool TZqDatSColumn::GetReadOnly() {
    TZqDataOptions O = FOptions;
    if (TZqDatSTable *T = GetTable())
        if (T->Callback()) T->Callback()->GetColumnOptions(this, O);
    return InSet(O, coReadOnly);
}

bool TZqDatSColumn::GetAllowNull() {
    TZqDataOptions O = FOptions;
    if (TZqDatSTable *T = GetTable())
        if (T->Callback()) T->Callback()->GetColumnOptions(this, O);
    return InSet(O, coAllowNull);
}

int TZqDatSColumn::GetStorageSize() {
    if (FDataType == dtUnknown) DatSError(3, FName);
    if (IsRefType(FDataType)) return 0;
    if (InSet(FAttributes, caBlobData)) return 8;
    DATS_ASSERT(!IsBlobType(FDataType));
    switch (FDataType) {
    case dtSByte: case dtByte: return 1;
    case dtBoolean: case dtInt16: case dtUInt16: return 2;
    case dtInt32: case dtUInt32: case dtTime: case dtDate: return 4;
    case dtObject: return int(sizeof(void *));
    case dtInt64: case dtUInt64: case dtDouble: case dtCurrency: case dtDateTime: return 8;
    case dtDateTimeStamp: case dtGUID: return 16;
    case dtBCD: case dtFmtBCD: return 34;
    case dtAnsiString: return FSize + 3;
    case dtWideString: return FSize * 2 + 4;
    case dtByteString: return FSize + 2;
    default: DatSError(3, FName);
    }
}

TZqDatSTable *TZqDatSColumn::GetNestedTable() {
    TZqDatSTable *T = GetTable();
    TZqDatSManager *M = T ? T->GetManager() : nullptr;
    if (!M) return nullptr;
    TZqDatSRelation *R = M->Relations()->FindNestedByParentColumn(T, this);
    return R ? R->ChildTable() : nullptr;
}

TZqDatSColumn *TZqDatSColumn::GetParentColumn() {
    TZqDatSTable *T = GetTable();
    TZqDatSManager *M = T ? T->GetManager() : nullptr;
    if (!M) return nullptr;
    TZqDatSRelation *R = M->Relations()->FindNestedByChildTable(T);
    return R ? R->GetParentColumn(0) : nullptr;
}

void TZqDatSColumn::Notify(TZqDatSNotification &N) {
    if (N.Kind == nkNameChanged && N.Sender == this && N.PrevName) {
        if (FSourceName == *N.PrevName) FSourceName = FName;
        if (FOriginName == *N.PrevName) FOriginName = FName;
    }
    TZqDatSBindedObject::Notify(N);
}

void TZqDatSColumn::AfterInsert() {
    if (InSet(FOptions, coUnique) && GetTable()) UpdateUniqueConstraint();
}

void TZqDatSColumn::BeforeInsert() { BeforeChange(); }

void TZqDatSColumn::BeforeRemove() {
    BeforeChange();
    if (InSet(FOptions, coUnique))
        if (TZqDatSTable *T = GetTable()) T->Constraints()->UpdateColumnUnique(this, false);
}

void TZqDatSColumn::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSColumn *>(ASource);
    if (!S) return;
    TZqDatSBindedObject::Assign(S);
    FAttributes = S->FAttributes;
    FAutoIncrement = S->FAutoIncrement;
    FAutoIncrementSeed = S->FAutoIncrementSeed;
    FAutoIncrementStep = S->FAutoIncrementStep;
    FCaption = S->FCaption;
    FDataType = S->FDataType;
    FExpression = S->FExpression;
    FOptions = S->FOptions;
    FPrecision = S->FPrecision;
    FSize = S->FSize;
    FScale = S->FScale;
    FSourceDataType = S->FSourceDataType;
    FSourcePrecision = S->FSourcePrecision;
    FSourceScale = S->FSourceScale;
    FSourceSize = S->FSourceSize;
    FOriginText = S->FOriginText;
    FOriginName = S->FOriginName;
    Changed();
}

bool TZqDatSColumn::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSNamedObject::IsEqual(AOther)) return false;
    auto *O = static_cast<TZqDatSColumn *>(AOther);
    return FAttributes == O->FAttributes && FAutoIncrement == O->FAutoIncrement &&
           FAutoIncrementSeed == O->FAutoIncrementSeed && FAutoIncrementStep == O->FAutoIncrementStep &&
           FDataType == O->FDataType && FExpression == O->FExpression && FOptions == O->FOptions &&
           FPrecision == O->FPrecision && FSize == O->FSize && FScale == O->FScale &&
           FSourceName == O->FSourceName && FSourceID == O->FSourceID;
}

// ---- layout -------------------------------------------------------------

uint8_t *TZqDatSRowLayout::AllocBuffer() const {
    auto *B = static_cast<uint8_t *>(std::calloc(1, BufferSize ? BufferSize : 1));
    if (!B) throw std::bad_alloc();
    return B;
}

void TZqDatSRowLayout::FreeBuffer(uint8_t *ABuffer) const { std::free(ABuffer); }

// ---- column list --------------------------------------------------------

TZqDatSColumnList::TZqDatSColumnList(TZqDatSTable *ATable) : FTable(ATable) {
    DATS_ASSERT(ATable != nullptr);
    FOwner = ATable;
    FOwnsItems = true;
}

TZqDatSColumnList::~TZqDatSColumnList() {
    BeginUpdate();
    Clear();
    FLayout.Reset();
}

TZqDatSColumn *TZqDatSColumnList::ColumnByName(const std::string &AName) {
    return static_cast<TZqDatSColumn *>(ItemByName(AName));
}

TZqDatSColumn *TZqDatSColumnList::AddColumn(const std::string &AName, TZqDataType AType, int ASize) {
    auto *C = new TZqDatSColumn();
    try {
        if (!AName.empty()) C->SetName(AName);
        C->FSourceName = C->Name();
        // The type is set inside the list so that strings get the inline size.
        Add(C);
    } catch (...) {
        if (C->Owner() == nullptr) delete C;
        throw;
    }
    C->SetDataType(AType);
    if (ASize > 0) C->SetSize(ASize);
    return C;
}

void TZqDatSColumnList::Insert(TZqDatSObject *AItem, int AIndex) {
    if (FTable) FTable->CheckNoRows();
    TZqDatSBindedList::Insert(AItem, AIndex);
}

void TZqDatSColumnList::RemoveAt(int AIndex, bool AKeep) {
    if (FTable) FTable->CheckNoRows();
    TZqDatSBindedList::RemoveAt(AIndex, AKeep);
}

void TZqDatSColumnList::Notify(TZqDatSNotification &N) {
    if (N.Kind == nkChanged && N.Sender != this && N.Sender && N.Sender->Owner() == this) {
        ResetLayout();
        return; // a column's definition change goes no further
    }
    if (N.Sender == this && (N.Kind == nkAfterInsert || N.Kind == nkAfterRemove)) ResetLayout();
    TZqDatSBindedList::Notify(N);
}

void TZqDatSColumnList::HandleNotification(TZqDatSNotification &) {
    // Broadcasts stop here: columns need none of them.
}

uint32_t TZqDatSColumnList::GetBufferSize() const { return FLayout ? FLayout->BufferSize : 0; }

uint32_t TZqDatSColumnList::Offset(int AColumn) const {
    DATS_ASSERT(FLayout && AColumn >= 0 && AColumn <= FLayout->ColumnCount);
    return AColumn == FLayout->ColumnCount ? FLayout->ValuesSize : FLayout->Columns[size_t(AColumn)].Offset;
}

uint32_t TZqDatSColumnList::NullByteOffset(int AColumn) const {
    DATS_ASSERT(FLayout && AColumn >= 0 && AColumn < FLayout->ColumnCount);
    return FLayout->Columns[size_t(AColumn)].NullByte;
}

uint8_t TZqDatSColumnList::NullMask(int AColumn) const {
    DATS_ASSERT(FLayout && AColumn >= 0 && AColumn < FLayout->ColumnCount);
    return FLayout->Columns[size_t(AColumn)].NullMask;
}

void TZqDatSColumnList::SetInlineDataSize(uint16_t AValue) {
    if (AValue == FInlineDataSize) return;
    FInlineDataSize = AValue;
    ResetLayout();
}

void TZqDatSColumnList::EnsureLayout(uint32_t ARowObjectSize) {
    if (!FLayout) ComputeLayout(ARowObjectSize);
}

void TZqDatSColumnList::ResetLayout() {
    if (!FLayout) return;
    FParentColumnIndex = -1;
    FAutoIncValues.clear();
    for (int I = 0; I < Count(); ++I) {
        GetItem(I)->FIndex = -1;
        GetItem(I)->FEvaluator.reset();
    }
    // Rows made under the layout hold their own references to it.
    FLayout.Reset();
}

void TZqDatSColumnList::ComputeLayout(uint32_t ARowObjectSize) {
    if (Count() == 0) DatSError(4);
    ResetLayout();
    auto L = TZqDatSRef<TZqDatSRowLayout>::Adopt(new TZqDatSRowLayout());
    try {
        int N = Count();
        L->ColumnCount = N;
        L->Columns.resize(size_t(N));
        uint32_t Offset = 0;
        int AutoIncCount = 0;
        for (int I = 0; I < N; ++I) {
            TZqDatSColumn *C = GetItem(I);
            C->FIndex = I;
            if (IsStringType(C->FDataType) && C->FSize > int(FInlineDataSize)) Include(C->FAttributes, caBlobData);
            TZqDatSLayoutColumn &LC = L->Columns[size_t(I)];
            LC.Offset = Offset;
            LC.DataType = C->FDataType;
            LC.Blob = InSet(C->FAttributes, caBlobData);
            LC.Searchable = InSet(C->FAttributes, caSearchable);
            LC.Size = C->FSize;
            LC.StorageSize = C->GetStorageSize();
            Offset += uint32_t(LC.StorageSize);
            if (C->FAutoIncrement) ++AutoIncCount;
            if (C->FDataType == dtParentRowRef) {
                if (L->ParentRowRefIndex != -1) DatSError(21);
                L->ParentRowRefIndex = I;
                if (TZqDatSColumn *PC = C->GetParentColumn()) FParentColumnIndex = PC->GetIndex();
            }
            if (IsRefType(C->FDataType)) {
                LC.RefSlot = L->RefCount++;
                L->LayoutFlags |= lfReferences;
            }
            if (InSet(C->FAttributes, caCalculated))
                L->LayoutFlags |= lfCalculated;
            else if (!C->FExpression.empty())
                L->LayoutFlags |= lfDefaults;
            if (!C->FExpression.empty() || C->FAutoIncrement) L->LayoutFlags |= lfExprOrAutoInc;
            if (LC.Blob || C->FDataType == dtObject) L->LayoutFlags |= lfOutOfLine;
        }
        L->ValuesSize = Offset;
        for (int I = 0; I < N; ++I) {
            L->Columns[size_t(I)].NullByte = Offset + uint32_t(I / 8);
            L->Columns[size_t(I)].NullMask = uint8_t(1u << (I % 8));
        }
        L->BufferSize = Offset + uint32_t((N + 7) / 8);
        if (AutoIncCount > 0) {
            FAutoIncValues.assign(size_t(N), 0);
            for (int I = 0; I < N; ++I) {
                TZqDatSColumn *C = GetItem(I);
                if (C->FAutoIncrement) FAutoIncValues[size_t(I)] = C->FAutoIncrementSeed - C->FAutoIncrementStep;
            }
        }
        L->RowObjectSize = ARowObjectSize;
        L->ChangedBitsSize = uint32_t((N + 7) / 8);
        if (L->RefCount > 0) {
            L->RefSlotsOffset = int32_t(L->RowObjectSize + L->ChangedBitsSize);
            L->RefSlotsSize = uint32_t(L->RefCount) * uint32_t(sizeof(void *));
        }
        FLayout = L;
        for (int I = 0; I < N; ++I)
            if (!GetItem(I)->FExpression.empty()) GetItem(I)->PrepareEvaluator();
    } catch (...) {
        if (FLayout.Get() == L.Get()) {
            ResetLayout();
        } else {
            for (int I = 0; I < Count(); ++I) GetItem(I)->FIndex = -1;
            FParentColumnIndex = -1;
            FAutoIncValues.clear();
        }
        throw;
    }
}

void TZqDatSColumnList::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSColumnList *>(ASource);
    DATS_ASSERT(S != nullptr);
    TZqDatSBindedList::Assign(S);
    FSetting2 = S->FSetting2;
    FSetting3 = S->FSetting3;
    SetInlineDataSize(S->FInlineDataSize);
}

// ---- sublist ------------------------------------------------------------

std::vector<std::string> DatSSplitNames(const std::string &ANames) {
    std::vector<std::string> Result;
    std::string Item;
    bool Quoted = false;
    int Braces = 0;
    for (char Ch : ANames) {
        if (Ch == '"' && Braces == 0) {
            Quoted = !Quoted;
        } else if (Ch == '{' && !Quoted) {
            if (Braces++ > 0) Item += Ch;
        } else if (Ch == '}' && !Quoted && Braces > 0) {
            if (--Braces > 0) Item += Ch;
        } else if (Ch == ';' && !Quoted && Braces == 0) {
            Result.push_back(Item);
            Item.clear();
        } else {
            Item += Ch;
        }
    }
    if (!Item.empty()) Result.push_back(Item);
    return Result;
}

void TZqDatSColumnSublist::Parse(TZqDatSObject *AOwner, const std::string &ANames, TZqDatSColumnSublist *ANoCase,
                                 TZqDatSColumnSublist *ADescending) {
    TZqDatSTable *T = AOwner ? (dynamic_cast<TZqDatSTable *>(AOwner) ? static_cast<TZqDatSTable *>(AOwner)
                                                                       : AOwner->GetTable())
                             : nullptr;
    DATS_ASSERT(T != nullptr);
    Clear();
    TZqDatSColumnList *Cols = T->Columns();
    if (ANames == "*") {
        std::string Joined;
        for (int I = 0; I < Cols->Count(); ++I) {
            FColumns.push_back(Cols->GetItem(I));
            if (I) Joined += ";";
            Joined += Cols->GetItem(I)->Name();
        }
        FNames = Joined;
        return;
    }
    for (const std::string &Item : DatSSplitNames(ANames)) {
        std::string Name = Item;
        std::string Flags;
        size_t Colon = Item.rfind(':');
        if (Colon != std::string::npos) {
            Name = Item.substr(0, Colon);
            Flags = Item.substr(Colon + 1);
        }
        if (Name.empty() && Flags.empty()) continue;
        TZqDatSColumn *C = Cols->ColumnByName(Name);
        FColumns.push_back(C);
        for (char F : Flags) {
            if ((F == 'D' || F == 'd') && ADescending && !ADescending->Contains(C)) ADescending->Add(C);
            if ((F == 'N' || F == 'n') && ANoCase && !ANoCase->Contains(C)) ANoCase->Add(C);
        }
    }
    FNames = ANames;
}

TZqDatSColumn *TZqDatSColumnSublist::FindColumn(const std::string &AName) const {
    for (TZqDatSColumn *C : FColumns)
        if (rtl::CompareText(C->Name(), AName) == 0) return C;
    return nullptr;
}

int TZqDatSColumnSublist::IndexOfColumn(TZqDatSColumn *AColumn) const {
    for (size_t I = 0; I < FColumns.size(); ++I)
        if (FColumns[I] == AColumn) return int(I);
    return -1;
}

bool TZqDatSColumnSublist::IsAffectedBy(const TZqDatSNotification &N) const {
    if (N.ListKind != 0) return false;
    if (N.Kind == nkNameChanged) return Contains(dynamic_cast<TZqDatSColumn *>(N.Sender));
    if (N.Kind == nkAfterRemove) return Contains(dynamic_cast<TZqDatSColumn *>(N.Item));
    return false;
}

bool TZqDatSColumnSublist::Matches(const TZqDatSColumnSublist *AOther, int ACount) const {
    if (!AOther) return true;
    if (ACount == -1) ACount = AOther->Count();
    if (ACount > Count() || ACount > AOther->Count()) return false;
    for (int I = 0; I < ACount; ++I)
        if (FColumns[size_t(I)] != AOther->FColumns[size_t(I)]) return false;
    return true;
}

} // namespace dats
