// Record buffers and field access shared by the local table and query.
#include "platform/localdb/TLocalDataSet.h"

#include <cmath>
#include <cstring>
#include <new>

TLocalDataSet::TLocalDataSet(rtl::TComponent *AOwner) : TDataSet(AOwner) {}

TLocalDataSet::~TLocalDataSet() = default;

void TLocalDataSet::SetDatabaseName(const std::string &AValue)
{
    CheckInactive();
    FDatabaseName = AValue;
}

TLocalDatabase &TLocalDataSet::Database() const
{
    return TLocalDatabase::ForFolder(FDatabaseName.empty() ? std::string(".") : FDatabaseName);
}

TLocalDataSet::THeader &TLocalDataSet::Header(TRecordBuffer ABuffer) const
{
    return *reinterpret_cast<THeader *>(ABuffer + FHeaderOffset);
}

// ---- buffers -------------------------------------------------------------------

TRecordBuffer TLocalDataSet::AllocRecordBuffer()
{
    // The calculated area first, then the header on an 8-byte boundary.
    FHeaderOffset = (FCalcFieldsSize + 7) & ~7;
    size_t Size = size_t(FHeaderOffset) + sizeof(THeader);
    auto *B = new (std::align_val_t(alignof(THeader))) uint8_t[Size];
    std::memset(B, 0, size_t(FHeaderOffset));
    new (B + FHeaderOffset) THeader();
    return B;
}

void TLocalDataSet::FreeRecordBuffer(TRecordBuffer &ABuffer)
{
    if (!ABuffer)
        return;
    Header(ABuffer).~THeader();
    operator delete[](ABuffer, std::align_val_t(alignof(THeader)));
    ABuffer = nullptr;
}

void TLocalDataSet::ClearCalcFields(TRecordBuffer ABuffer)
{
    std::memset(ABuffer, 0, size_t(FCalcFieldsSize));
}

TLocalRow &TLocalDataSet::OwnRow(THeader &AHeader)
{
    if (AHeader.Shared) {
        AHeader.Values = *AHeader.Shared;
        AHeader.Shared = nullptr;
    }
    return AHeader.Values;
}

void TLocalDataSet::InternalInitRecord(TRecordBuffer ABuffer)
{
    THeader &H = Header(ABuffer);
    H.Shared = nullptr;
    H.Values.assign(FColumns.size(), TLocalValue());
    // A new record starts with the columns' defaults, as the engine would
    // store them for fields left empty.
    for (size_t I = 0; I < FColumns.size(); ++I) {
        const std::string &D = FColumns[I].Default;
        if (D.empty() || rtl::SameText(D, "NULL"))
            continue;
        int64_t N;
        double F;
        if (rtl::TryStrToInt64(D, N))
            H.Values[I] = TLocalValue::Integer(N);
        else if (rtl::TryStrToFloat(D, F))
            H.Values[I] = TLocalValue::Real(F);
        else if (D.size() >= 2 && D.front() == '\'' && D.back() == '\'')
            H.Values[I] = TLocalValue::Text(rtl::StringReplace(D.substr(1, D.size() - 2), "''", "'"));
    }
    H.Bookmark = 0;
    H.Index = -1;
}

void TLocalDataSet::GetBookmarkData(TRecordBuffer ABuffer, void *AData)
{
    std::memcpy(AData, &Header(ABuffer).Bookmark, 8);
}

TBookmarkFlag TLocalDataSet::GetBookmarkFlag(TRecordBuffer ABuffer) { return Header(ABuffer).Flag; }

void TLocalDataSet::SetBookmarkFlag(TRecordBuffer ABuffer, TBookmarkFlag AValue)
{
    Header(ABuffer).Flag = AValue;
}

void TLocalDataSet::SetBookmarkData(TRecordBuffer ABuffer, const void *AData)
{
    std::memcpy(&Header(ABuffer).Bookmark, AData, 8);
}

TGetResult TLocalDataSet::GetRecord(TRecordBuffer ABuffer, TGetMode AGetMode, bool ADoCheck)
{
    try {
        for (;;) {
            int Count = RowCount();
            switch (AGetMode) {
            case gmNext:
                if (FCursor >= Count - 1) {
                    FCursor = Count;
                    return grEOF;
                }
                ++FCursor;
                break;
            case gmPrior:
                if (FCursor <= 0) {
                    FCursor = -1;
                    return grBOF;
                }
                --FCursor;
                break;
            case gmCurrent:
                if (FCursor < 0)
                    return grBOF;
                if (FCursor >= Count)
                    return grEOF;
                break;
            }
            THeader &H = Header(ABuffer);
            H.Shared = RowAt(FCursor, H.Bookmark);
            if (!H.Shared)
                ReadRow(FCursor, H.Values, H.Bookmark);
            H.Index = FCursor;
            H.Flag = bfCurrent;
            GetCalcFields(ABuffer);
            if (RecordFilterAccepts(ABuffer))
                return grOK;
            if (AGetMode == gmCurrent)
                return grEOF;
        }
    } catch (...) {
        if (ADoCheck)
            throw;
        return grError;
    }
}

void TLocalDataSet::InternalGotoBookmark(const void *ABookmark)
{
    int64_t B;
    std::memcpy(&B, ABookmark, 8);
    int I = IndexOfBookmark(B);
    if (I < 0)
        DatabaseError(DBText::SBookmarkNotFound, this);
    FCursor = I;
}

void TLocalDataSet::InternalSetToRecord(TRecordBuffer ABuffer)
{
    THeader &H = Header(ABuffer);
    if (H.Flag == bfCurrent) {
        int I = IndexOfBookmark(H.Bookmark);
        FCursor = I >= 0 ? I : H.Index;
    } else if (H.Flag == bfInserted && H.Bookmark != 0 && IndexOfBookmark(H.Bookmark) >= 0) {
        // A record being inserted stands where the insert began.
        FCursor = IndexOfBookmark(H.Bookmark);
    } else {
        FCursor = RowCount();
    }
}

bool TLocalDataSet::BookmarkValid(const TBookmark &ABookmark)
{
    if (ABookmark.size() != 8 || !IsCursorOpen())
        return false;
    int64_t B;
    std::memcpy(&B, ABookmark.data(), 8);
    return IndexOfBookmark(B) >= 0;
}

int TLocalDataSet::CompareBookmarks(const TBookmark &A, const TBookmark &B)
{
    if (A.empty() && B.empty())
        return 0;
    if (A.empty())
        return 1;
    if (B.empty())
        return -1;
    int64_t X, Y;
    std::memcpy(&X, A.data(), 8);
    std::memcpy(&Y, B.data(), 8);
    int IX = IndexOfBookmark(X), IY = IndexOfBookmark(Y);
    return IX < IY ? -1 : IX > IY ? 1 : 0;
}

int TLocalDataSet::GetRecordCount() const
{
    CheckActive();
    return const_cast<TLocalDataSet *>(this)->RowCount();
}

int TLocalDataSet::GetRecNo() const
{
    CheckActive();
    TRecordBuffer B = FState == dsCalcFields ? FCalcBuffer : (IsEmpty() ? nullptr : ActiveBuffer());
    if (!B)
        return 0;
    const THeader &H = Header(B);
    return H.Flag == bfCurrent ? H.Index + 1 : 0;
}

void TLocalDataSet::SetRecNo(int AValue)
{
    CheckBrowseMode();
    if (AValue == GetRecNo())
        return;
    DoBeforeScroll();
    int Count = RowCount();
    FCursor = std::max(0, std::min(AValue - 1, Count - 1));
    Resync(rmCenter);
    DoAfterScroll();
}

// ---- opening ----------------------------------------------------------------------

void TLocalDataSet::InternalInitFieldDefs()
{
    bool WasOpen = FCursorOpen;
    if (!WasOpen)
        OpenSource();
    FFieldDefs->Clear();
    for (size_t I = 0; I < FColumns.size(); ++I) {
        rtl::TFieldType T;
        int Size;
        LocalFieldType(FColumns[I].DeclType, T, Size);
        if (T == rtl::ftUnknown) {
            T = rtl::ftString;
            Size = 255;
        }
        TFieldDef *D = FFieldDefs->Add(FColumns[I].Name, T, Size, FColumns[I].NotNull);
        D->SetFieldNo(int(I) + 1);
        if (!FColumns[I].Default.empty())
            D->SetDefaultExpression(FColumns[I].Default);
    }
    FFieldDefs->SetUpdated(true);
    if (!WasOpen)
        CloseSource();
}

void TLocalDataSet::InternalOpen()
{
    OpenSource();
    FCursorOpen = true;
    try {
        InternalInitFieldDefs();
        if (DefaultFields())
            CreateFields();
        BindFields(true);
    } catch (...) {
        FCursorOpen = false;
        CloseSource();
        throw;
    }
    FBookmarkSize = 8;
    FCursor = -1;
}

void TLocalDataSet::InternalClose()
{
    BindFields(false);
    if (DefaultFields())
        DestroyFields();
    if (FCursorOpen)
        CloseSource();
    FCursorOpen = false;
    FCursor = -1;
}

// ---- field values --------------------------------------------------------------------

bool TLocalDataSet::ValueToNative(TField *AField, const TLocalValue &AValue, void *ABuffer)
{
    if (AValue.IsNull())
        return false;
    if (!ABuffer || AField->IsBlob())
        return true; // a blob's value travels through its stream
    switch (AField->DataType()) {
    case rtl::ftString:
    case rtl::ftFixedChar:
    case rtl::ftGuid: {
        // A stored text longer than the field (written by SQL into a table
        // made elsewhere) is reported, not shown cut.
        std::string S = AValue.AsText();
        int Chars = TextCharCount(S);
        if (Chars > AField->Size() || S.size() >= size_t(AField->DataSize()))
            DatabaseError(rtl::Format(DBText::SFieldTextTooLong, {rtl::Variant(AField->DisplayName()),
                                                                   rtl::Variant(int64_t(Chars)),
                                                                   rtl::Variant(int64_t(AField->Size()))}));
        std::memcpy(ABuffer, S.data(), S.size());
        static_cast<char *>(ABuffer)[S.size()] = 0;
        return true;
    }
    case rtl::ftSmallint:
    case rtl::ftWord: {
        uint16_t V = uint16_t(AValue.AsInt64());
        std::memcpy(ABuffer, &V, 2);
        return true;
    }
    case rtl::ftBoolean: {
        int16_t V = AValue.AsInt64() != 0 ? -1 : 0;
        if (AValue.Kind == TLocalValue::lvText)
            V = rtl::SameText(AValue.S, "True") || rtl::SameText(AValue.S, "T") ? -1 : 0;
        std::memcpy(ABuffer, &V, 2);
        return true;
    }
    case rtl::ftInteger:
    case rtl::ftAutoInc: {
        int32_t V = int32_t(AValue.AsInt64());
        std::memcpy(ABuffer, &V, 4);
        return true;
    }
    case rtl::ftLargeint: {
        int64_t V = AValue.AsInt64();
        std::memcpy(ABuffer, &V, 8);
        return true;
    }
    case rtl::ftFloat:
    case rtl::ftCurrency: {
        double V = AValue.AsDouble();
        std::memcpy(ABuffer, &V, 8);
        return true;
    }
    case rtl::ftDate:
    case rtl::ftTime:
    case rtl::ftDateTime:
    case rtl::ftBCD: {
        double V = AValue.AsDouble();
        if (AField->DataType() == rtl::ftBCD) {
            rtl::Currency C = rtl::Currency::FromDouble(V);
            ConvertNativeData(rtl::ftBCD, AField->Size(), &C, ABuffer, true);
        } else {
            ConvertNativeData(AField->DataType(), AField->Size(), &V, ABuffer, true);
        }
        return true;
    }
    default:
        return false;
    }
}

TLocalValue TLocalDataSet::NativeToValue(TField *AField, const void *ABuffer)
{
    if (!ABuffer)
        return {};
    switch (AField->DataType()) {
    case rtl::ftString:
    case rtl::ftFixedChar:
    case rtl::ftGuid: {
        std::string S(static_cast<const char *>(ABuffer));
        // Paradox does not tell an empty text from no text.
        return S.empty() ? TLocalValue() : TLocalValue::Text(S);
    }
    case rtl::ftSmallint: {
        int16_t V;
        std::memcpy(&V, ABuffer, 2);
        return TLocalValue::Integer(V);
    }
    case rtl::ftWord: {
        uint16_t V;
        std::memcpy(&V, ABuffer, 2);
        return TLocalValue::Integer(V);
    }
    case rtl::ftBoolean: {
        int16_t V;
        std::memcpy(&V, ABuffer, 2);
        return TLocalValue::Integer(V != 0 ? 1 : 0);
    }
    case rtl::ftInteger:
    case rtl::ftAutoInc: {
        int32_t V;
        std::memcpy(&V, ABuffer, 4);
        return TLocalValue::Integer(V);
    }
    case rtl::ftLargeint: {
        int64_t V;
        std::memcpy(&V, ABuffer, 8);
        return TLocalValue::Integer(V);
    }
    case rtl::ftFloat:
    case rtl::ftCurrency: {
        double V;
        std::memcpy(&V, ABuffer, 8);
        return TLocalValue::Real(V);
    }
    case rtl::ftDate:
    case rtl::ftTime:
    case rtl::ftDateTime: {
        double V;
        ConvertNativeData(AField->DataType(), AField->Size(), ABuffer, &V, false);
        return TLocalValue::Real(V);
    }
    case rtl::ftBCD: {
        rtl::Currency C;
        ConvertNativeData(rtl::ftBCD, AField->Size(), ABuffer, &C, false);
        return TLocalValue::Real(C.ToDouble());
    }
    default:
        return {};
    }
}

bool TLocalDataSet::GetFieldData(TField *AField, void *ABuffer)
{
    TRecordBuffer Rec = GetStateRecordBuffer();
    if (AField->FieldNo() < 1)
        return GetCalcFieldData(AField, Rec, ABuffer);
    if (!Rec)
        return false;
    const TLocalRow &Row = RowOf(Header(Rec));
    size_t I = size_t(AField->FieldNo() - 1);
    if (I >= Row.size())
        return false;
    return ValueToNative(AField, Row[I], ABuffer);
}

void TLocalDataSet::SetFieldData(TField *AField, const void *ABuffer)
{
    if (AField->FieldNo() < 1) {
        TRecordBuffer Rec = GetStateRecordBuffer();
        if (FState != dsCalcFields && FState != dsInternalCalc)
            CheckFieldWrite(AField);
        SetCalcFieldData(AField, Rec, ABuffer);
    } else {
        CheckFieldWrite(AField);
        AField->Validate(ABuffer);
        TLocalRow &Row = OwnRow(Header(GetStateRecordBuffer()));
        size_t I = size_t(AField->FieldNo() - 1);
        if (I >= Row.size())
            Row.resize(FColumns.size());
        Row[I] = NativeToValue(AField, ABuffer);
    }
    if (FState != dsCalcFields && FState != dsFilter && FState != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(AField));
}

bool TLocalDataSet::GetBlobData(TField *AField, std::string &AValue)
{
    AValue.clear();
    TRecordBuffer Rec = GetStateRecordBuffer();
    if (!Rec || AField->FieldNo() < 1)
        return false;
    const TLocalRow &Row = RowOf(Header(Rec));
    size_t I = size_t(AField->FieldNo() - 1);
    if (I >= Row.size() || Row[I].IsNull())
        return false;
    AValue = Row[I].AsText();
    return true;
}

void TLocalDataSet::SetBlobData(TField *AField, const std::string *AValue)
{
    CheckFieldWrite(AField);
    TLocalRow &Row = OwnRow(Header(GetStateRecordBuffer()));
    size_t I = size_t(AField->FieldNo() - 1);
    if (I >= Row.size())
        Row.resize(FColumns.size());
    if (!AValue || AValue->empty())
        Row[I] = TLocalValue();
    else if (AField->DataType() == rtl::ftMemo || AField->DataType() == rtl::ftFmtMemo)
        Row[I] = TLocalValue::Text(*AValue);
    else {
        TLocalValue V;
        V.Kind = TLocalValue::lvBlob;
        V.S = *AValue;
        Row[I] = V;
    }
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(AField));
}

TLocalValue TLocalDataSet::CurrentValue(TField *AField)
{
    TRecordBuffer Rec = GetStateRecordBuffer();
    if (!Rec || AField->FieldNo() < 1)
        return {};
    const TLocalRow &Row = RowOf(Header(Rec));
    size_t I = size_t(AField->FieldNo() - 1);
    return I < Row.size() ? Row[I] : TLocalValue();
}
