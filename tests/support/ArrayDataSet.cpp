// The tests' array-backed dataset.
#include "tests/support/ArrayDataSet.h"

#include <new>

void TArrayDataSet::AddRow(const std::vector<rtl::Variant> &AValues)
{
    TRow R{FNextId++, {}};
    for (size_t I = 0; I < FDefs.size(); ++I) {
        const auto &[Name, Type, Size] = FDefs[I];
        rtl::Variant V = I < AValues.size() ? AValues[I] : rtl::Variant();
        if (V.IsClear()) {
            R.Values.emplace_back();
            continue;
        }
        std::string N(size_t(FieldTypeDataSize(Type, Size)), '\0');
        switch (Type) {
        case rtl::ftString: {
            std::string S = V.AsString().substr(0, size_t(Size));
            std::memcpy(N.data(), S.data(), S.size());
            break;
        }
        case rtl::ftSmallint: {
            int16_t X = int16_t(V.AsInteger());
            std::memcpy(N.data(), &X, 2);
            break;
        }
        case rtl::ftBoolean: {
            int16_t X = V.AsBoolean() ? -1 : 0;
            std::memcpy(N.data(), &X, 2);
            break;
        }
        case rtl::ftInteger: {
            int32_t X = V.AsInteger();
            std::memcpy(N.data(), &X, 4);
            break;
        }
        case rtl::ftFloat: {
            double X = V.AsDouble();
            std::memcpy(N.data(), &X, 8);
            break;
        }
        case rtl::ftDate:
        case rtl::ftTime:
        case rtl::ftDateTime: {
            double D = V.AsDouble();
            ConvertNativeData(Type, Size, &D, N.data(), true);
            break;
        }
        default:
            break;
        }
        R.Values.emplace_back(N);
    }
    Rows.push_back(R);
}

int TArrayDataSet::IndexOfId(int AId) const
{
    for (size_t I = 0; I < Rows.size(); ++I)
        if (Rows[I].Id == AId)
            return int(I);
    return -1;
}

TRecordBuffer TArrayDataSet::AllocRecordBuffer()
{
    FOffset = (FCalcFieldsSize + 7) & ~7;
    auto *B = new (std::align_val_t(alignof(THeader))) uint8_t[size_t(FOffset) + sizeof(THeader)];
    std::memset(B, 0, size_t(FOffset));
    new (B + FOffset) THeader();
    return B;
}

void TArrayDataSet::FreeRecordBuffer(TRecordBuffer &ABuffer)
{
    Header(ABuffer).~THeader();
    operator delete[](ABuffer, std::align_val_t(alignof(THeader)));
    ABuffer = nullptr;
}

TGetResult TArrayDataSet::GetRecord(TRecordBuffer ABuffer, TGetMode AGetMode, bool)
{
    for (;;) {
        int Count = int(Rows.size());
        if (AGetMode == gmNext) {
            if (FCursor >= Count - 1) {
                FCursor = Count;
                return grEOF;
            }
            ++FCursor;
        } else if (AGetMode == gmPrior) {
            if (FCursor <= 0) {
                FCursor = -1;
                return grBOF;
            }
            --FCursor;
        } else if (FCursor < 0 || FCursor >= Count) {
            return FCursor < 0 ? grBOF : grEOF;
        }
        THeader &H = Header(ABuffer);
        H.Id = Rows[size_t(FCursor)].Id;
        H.Index = FCursor;
        H.Flag = bfCurrent;
        H.Values = Rows[size_t(FCursor)].Values;
        GetCalcFields(ABuffer);
        if (RecordFilterAccepts(ABuffer))
            return grOK;
        if (AGetMode == gmCurrent)
            return grEOF;
    }
}

void TArrayDataSet::GetBookmarkData(TRecordBuffer ABuffer, void *AData)
{
    std::memcpy(AData, &Header(ABuffer).Id, 4);
}

void TArrayDataSet::SetBookmarkData(TRecordBuffer ABuffer, const void *AData)
{
    std::memcpy(&Header(ABuffer).Id, AData, 4);
}

void TArrayDataSet::InternalInitRecord(TRecordBuffer ABuffer)
{
    THeader &H = Header(ABuffer);
    H.Values.assign(FDefs.size(), std::nullopt);
    H.Id = 0;
    H.Index = -1;
}

void TArrayDataSet::InternalInitFieldDefs()
{
    FFieldDefs->Clear();
    for (const auto &[Name, Type, Size] : FDefs)
        FFieldDefs->Add(Name, Type, Size)->SetFieldNo(FFieldDefs->Count());
    FFieldDefs->SetUpdated(true);
}

void TArrayDataSet::InternalOpen()
{
    InternalInitFieldDefs();
    if (DefaultFields())
        CreateFields();
    BindFields(true);
    FBookmarkSize = 4;
    FCursor = -1;
    FOpen = true;
}

void TArrayDataSet::InternalClose()
{
    BindFields(false);
    if (DefaultFields())
        DestroyFields();
    FOpen = false;
}

void TArrayDataSet::InternalGotoBookmark(const void *ABookmark)
{
    int Id;
    std::memcpy(&Id, ABookmark, 4);
    int I = IndexOfId(Id);
    if (I < 0)
        DatabaseError(DBText::SBookmarkNotFound, this);
    FCursor = I;
}

void TArrayDataSet::InternalSetToRecord(TRecordBuffer ABuffer)
{
    THeader &H = Header(ABuffer);
    int I = H.Id ? IndexOfId(H.Id) : -1;
    FCursor = I >= 0 ? I : int(Rows.size());
}

bool TArrayDataSet::BookmarkValid(const TBookmark &ABookmark)
{
    if (ABookmark.size() != 4)
        return false;
    int Id;
    std::memcpy(&Id, ABookmark.data(), 4);
    return IndexOfId(Id) >= 0;
}

int TArrayDataSet::GetRecNo() const
{
    CheckActive();
    if (IsEmpty())
        return 0;
    const THeader &H = Header(FState == dsCalcFields ? FCalcBuffer : ActiveBuffer());
    return H.Flag == bfCurrent ? H.Index + 1 : 0;
}

void TArrayDataSet::SetRecNo(int AValue)
{
    CheckBrowseMode();
    if (AValue == GetRecNo())
        return;
    DoBeforeScroll();
    FCursor = std::max(0, std::min(AValue - 1, int(Rows.size()) - 1));
    Resync(rmCenter);
    DoAfterScroll();
}

void TArrayDataSet::InternalPost()
{
    TDataSet::InternalPost();
    THeader &H = Header(ActiveBuffer());
    if (FState == dsInsert) {
        InternalAddRecord(ActiveBuffer(), H.Flag == bfEOF);
    } else {
        int I = IndexOfId(H.Id);
        Rows[size_t(I)].Values = H.Values;
        FCursor = I;
    }
}

void TArrayDataSet::InternalAddRecord(TRecordBuffer ABuffer, bool AAppend)
{
    THeader &H = Header(ABuffer);
    // Insert puts the record before the one it began on; append at the end.
    int At = int(Rows.size());
    if (!AAppend && H.Flag == bfInserted && H.Id) {
        int I = IndexOfId(H.Id);
        if (I >= 0)
            At = I;
    }
    TRow R{FNextId++, H.Values};
    Rows.insert(Rows.begin() + At, R);
    H.Id = R.Id;
    H.Flag = bfCurrent;
    FCursor = At;
}

void TArrayDataSet::InternalDelete()
{
    THeader &H = Header(ActiveBuffer());
    int I = IndexOfId(H.Id);
    if (I >= 0) {
        Rows.erase(Rows.begin() + I);
        FCursor = I;
    }
}

bool TArrayDataSet::GetFieldData(TField *AField, void *ABuffer)
{
    TRecordBuffer Rec = GetStateRecordBuffer();
    if (AField->FieldNo() < 1)
        return GetCalcFieldData(AField, Rec, ABuffer);
    if (!Rec)
        return false;
    const TValue &V = Header(Rec).Values[size_t(AField->FieldNo() - 1)];
    if (!V)
        return false;
    if (ABuffer)
        std::memcpy(ABuffer, V->data(), V->size());
    return true;
}

void TArrayDataSet::SetFieldData(TField *AField, const void *ABuffer)
{
    TRecordBuffer Rec = GetStateRecordBuffer();
    if (AField->FieldNo() < 1) {
        SetCalcFieldData(AField, Rec, ABuffer);
    } else {
        CheckFieldWrite(AField);
        AField->Validate(ABuffer);
        TValue &V = Header(Rec).Values[size_t(AField->FieldNo() - 1)];
        if (ABuffer)
            V = std::string(static_cast<const char *>(ABuffer), size_t(AField->DataSize()));
        else
            V.reset();
    }
    if (FState != dsCalcFields && FState != dsFilter && FState != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(AField));
}
