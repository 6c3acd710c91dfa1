// qxZqDatSRowData: the value access of a row: reading and writing one
// column's value in one version, variant conversions, value and row
// comparison, and the row dump.
//
// Values sit at packed offsets, so every fixed-size value is read and
// written with memcpy (unaligned access is undefined otherwise).
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/rtl/CLocaleText.h"
#include "platform/rtl/FMTBcd.h"

namespace dats {



// ---- blob cache ---------------------------------------------------------

namespace {
std::atomic<int64_t> GLiveBlobs{0};
} // namespace

uint8_t *TZqDatSBlobCache::Alloc(uint32_t ALength, uint32_t ACharSize, uint32_t ATerminator) {
    size_t Bytes = 8 + size_t(ALength) * ACharSize + ATerminator;
    auto *B = static_cast<uint8_t *>(std::malloc(Bytes));
    if (!B) throw std::bad_alloc();
    std::memcpy(B, &ALength, 4);
    std::memset(B + 4, 0, 4);
    ++GLiveBlobs;
    return B;
}

void TZqDatSBlobCache::Release(uint8_t *ABlock) {
    if (!ABlock) return;
    --GLiveBlobs;
    std::free(ABlock);
}

int64_t TZqDatSBlobCache::LiveBlocks() { return GLiveBlobs.load(); }

// ---- UTF-8 and UTF-16 ---------------------------------------------------

std::u16string DatSUtf8ToUtf16(const std::string &S) {
    std::u16string R;
    R.reserve(S.size());
    for (size_t I = 0; I < S.size();) {
        uint32_t C = uint8_t(S[I]);
        size_t N = 0;
        if (C < 0x80) N = 0;
        else if ((C & 0xE0) == 0xC0) { C &= 0x1F; N = 1; }
        else if ((C & 0xF0) == 0xE0) { C &= 0x0F; N = 2; }
        else if ((C & 0xF8) == 0xF0) { C &= 0x07; N = 3; }
        else { R.push_back(char16_t(0xFFFD)); ++I; continue; }
        if (I + N >= S.size() + (N ? 0 : 1)) {
            if (I + N >= S.size() && N) { R.push_back(char16_t(0xFFFD)); break; }
        }
        bool Ok = true;
        for (size_t K = 1; K <= N; ++K) {
            uint8_t B = uint8_t(S[I + K]);
            if ((B & 0xC0) != 0x80) { Ok = false; break; }
            C = (C << 6) | (B & 0x3F);
        }
        if (!Ok) { R.push_back(char16_t(0xFFFD)); ++I; continue; }
        I += N + 1;
        if (C >= 0x10000) {
            C -= 0x10000;
            R.push_back(char16_t(0xD800 + (C >> 10)));
            R.push_back(char16_t(0xDC00 + (C & 0x3FF)));
        } else {
            R.push_back(char16_t(C));
        }
    }
    return R;
}

std::string DatSUtf16ToUtf8(const char16_t *AText, size_t Len) {
    // Wide values sit at packed offsets: characters are read bytewise.
    auto At = [AText](size_t I) {
        char16_t C;
        std::memcpy(&C, reinterpret_cast<const uint8_t *>(AText) + I * 2, 2);
        return uint32_t(C);
    };
    std::string R;
    R.reserve(Len);
    for (size_t I = 0; I < Len; ++I) {
        uint32_t C = At(I);
        if (C >= 0xD800 && C < 0xDC00 && I + 1 < Len && At(I + 1) >= 0xDC00 && At(I + 1) < 0xE000) {
            C = 0x10000 + ((C - 0xD800) << 10) + (At(I + 1) - 0xDC00);
            ++I;
        }
        if (C < 0x80) R.push_back(char(C));
        else if (C < 0x800) { R.push_back(char(0xC0 | (C >> 6))); R.push_back(char(0x80 | (C & 0x3F))); }
        else if (C < 0x10000) {
            R.push_back(char(0xE0 | (C >> 12)));
            R.push_back(char(0x80 | ((C >> 6) & 0x3F)));
            R.push_back(char(0x80 | (C & 0x3F)));
        } else {
            R.push_back(char(0xF0 | (C >> 18)));
            R.push_back(char(0x80 | ((C >> 12) & 0x3F)));
            R.push_back(char(0x80 | ((C >> 6) & 0x3F)));
            R.push_back(char(0x80 | (C & 0x3F)));
        }
    }
    return R;
}

// ---- reading ------------------------------------------------------------

namespace {

uint32_t FixedSize(TZqDataType T) {
    switch (T) {
    case dtBoolean: case dtInt16: case dtUInt16: return 2;
    case dtSByte: case dtByte: return 1;
    case dtInt32: case dtUInt32: case dtTime: case dtDate: return 4;
    case dtInt64: case dtUInt64: case dtDouble: case dtCurrency: case dtDateTime: return 8;
    case dtBCD: case dtFmtBCD: return 34;
    case dtDateTimeStamp: case dtGUID: return 16;
    case dtObject: return uint32_t(sizeof(void *));
    default: return 0;
    }
}

// Bytes of the terminator that an out-of-line block keeps after its characters.
uint32_t BlobTerminator(TZqDataType T) { return T == dtAnsiString ? 1 : T == dtWideString ? 2 : 0; }
uint32_t CharSizeOf(TZqDataType T) { return IsWideType(T) ? 2 : 1; }


} // namespace

bool TZqDatSRow::IsNull(int AColumn, TZqDatSRowVersion AVersion) const {
    const TZqDatSLayoutColumn &C = FLayout->Columns[size_t(AColumn)];
    if (FRowState == rsChecking && FSide && FSide->CheckColumn == AColumn) return FSide->CheckValue == nullptr;
    const uint8_t *B = GetBuffer(AVersion);
    return !B || !(B[C.NullByte] & C.NullMask);
}

bool TZqDatSRow::GetData(int AColumn, TZqDatSRowVersion AVersion, void *&AValue, uint32_t ABufLen, uint32_t &ALen,
                         bool ACopy) {
    DATS_ASSERT(FLayout != nullptr);
    DATS_ASSERT(AColumn >= 0 && AColumn < FLayout->ColumnCount);
    const TZqDatSLayoutColumn &C = FLayout->Columns[size_t(AColumn)];
    const uint8_t *Src = nullptr;
    uint32_t Len = 0;
    bool Checked = false;
    if (FRowState == rsChecking && FSide && FSide->CheckColumn == AColumn) {
        // The value under check stands in for the stored one.
        Src = static_cast<const uint8_t *>(FSide->CheckValue);
        Len = FSide->CheckLength;
        Checked = true;
        if (!Src) {
            ALen = 0;
            if (!ACopy) AValue = nullptr;
            return false;
        }
    } else {
        const uint8_t *B = GetBuffer(AVersion);
        if (!B || !(B[C.NullByte] & C.NullMask)) {
            ALen = 0;
            if (!ACopy) AValue = nullptr;
            return false;
        }
        Src = B + C.Offset;
    }
    if (IsRefType(C.DataType)) DatSError(22, FTable->Columns()->GetItem(AColumn)->Name());
    const uint32_t CharSize = CharSizeOf(C.DataType);
    bool IsText = IsStringType(C.DataType) || C.Blob;
    if (IsText) {
        const uint8_t *Chars;
        uint32_t Term;
        if (Checked) {
            Chars = Src;
            Term = (!C.Blob && C.DataType != dtByteString) ? 1 : 0;
        } else if (C.Blob) {
            uint8_t *Blk;
            std::memcpy(&Blk, Src, sizeof Blk);
            Len = TZqDatSBlobCache::Length(Blk);
            Chars = Blk ? TZqDatSBlobCache::Data(Blk) : nullptr;
            Term = 0;
        } else {
            uint16_t L16;
            std::memcpy(&L16, Src, 2);
            Len = L16;
            Chars = Src + 2;
            Term = C.DataType == dtByteString ? 0 : 1;
        }
        if (C.Blob) Term = 0;
        if (!ACopy) {
            if (ABufLen) {
                uint32_t Room = ABufLen / CharSize;
                uint32_t Cap = Room > Term ? Room - Term : 0;
                if (Len > Cap) Len = Cap;
            }
            AValue = const_cast<uint8_t *>(Chars);
            ALen = Len;
            return true;
        }
        // Copying: a short buffer never overflows, a terminator included.
        uint32_t N = Len;
        if (ABufLen) {
            uint32_t Room = ABufLen / CharSize;
            uint32_t Cap = Room > Term ? Room - Term : 0;
            if (N > Cap) N = Cap;
        }
        if (AValue) {
            if (N) std::memcpy(AValue, Chars, size_t(N) * CharSize);
            if (Term && (!ABufLen || ABufLen / CharSize > N)) std::memset(static_cast<uint8_t *>(AValue) + size_t(N) * CharSize, 0, CharSize);
        }
        ALen = N;
        return true;
    }
    uint32_t Size = FixedSize(C.DataType);
    if (ABufLen && ABufLen != Size)
        DatSError(10, FTable->Columns()->GetItem(AColumn)->Name(), ABufLen, Size);
    if (!ACopy) {
        AValue = const_cast<uint8_t *>(Src);
        ALen = Size;
        return true;
    }
    ALen = Size;
    if (AValue) {
        std::memcpy(AValue, Src, Size);
        if (C.DataType == dtObject) {
            IZqDatSObjectValue *O;
            std::memcpy(&O, Src, sizeof O);
            ZqDatSKeepObject(O);
        }
    }
    return true;
}

// ---- writing ------------------------------------------------------------

void TZqDatSRow::CheckWritable(int AColumn) {
    switch (FRowState) {
    case rsInitializing: case rsDetached: case rsEditing: case rsCalculating: case rsForceWrite:
    case rsImportingCurent: case rsImportingOriginal: case rsImportingProposed: break;
    default: DatSError(11);
    }
    TZqDatSColumn *Col = FTable->Columns()->GetItem(AColumn);
    if (HasOpt(Col->Options(), coReadOnly) || FTable->Callback()) {
        if (Col->GetReadOnly()) {
            switch (FRowState) {
            case rsInitializing: case rsCalculating: case rsForceWrite:
            case rsImportingCurent: case rsImportingOriginal: case rsImportingProposed: break;
            default: DatSError(12, Col->Name());
            }
        }
    }
}

void TZqDatSRow::CheckValue(int AColumn, const void *AValue, uint32_t ALen) {
    if (!FOwner || FRowState == rsChecking) return;
    TZqDatSLoadMode M = FTable->LoadMode();
    if (M != lmNormal && M != lmRefreshMerge) return;
    TZqDatSConstraintList *CL = FTable->Constraints();
    if (CL->Count() == 0 || !CL->Enforce()) return;
    TZqDatSRowSide *S = Side();
    S->CheckColumn = AColumn;
    S->CheckValue = AValue;
    S->CheckLength = ALen;
    try {
        TZqTempState Guard(this, rsChecking);
        CL->CheckAll(this, rsEditing, 1);
    } catch (...) {
        S->CheckColumn = -1;
        S->CheckValue = nullptr;
        TrimSide();
        throw;
    }
    S->CheckColumn = -1;
    S->CheckValue = nullptr;
    TrimSide();
}

void TZqDatSRow::SetData(int AColumn, const void *AValue, uint32_t ALen) {
    DATS_ASSERT(FLayout != nullptr);
    DATS_ASSERT(AColumn >= 0 && AColumn < FLayout->ColumnCount);
    const TZqDatSLayoutColumn &C = FLayout->Columns[size_t(AColumn)];
    TZqDatSLoadMode Mode = FTable->LoadMode();
    if (Mode == lmNormal) CheckWritable(AColumn);
    uint8_t *B = GetBuffer(rvDefault);
    if (!B) return;
    bool Load = IsFetchLoadMode(Mode);
    if (IsRefType(C.DataType)) DatSError(22, FTable->Columns()->GetItem(AColumn)->Name());
    uint32_t Size = 0; // of a value of a fixed size
    if (AValue) {
        if (IsStringType(C.DataType)) {
            if (ALen > uint32_t(C.Size))
                DatSError(32, FTable->Columns()->GetItem(AColumn)->Name(), ALen, C.Size);
        } else if (!C.Blob) {
            Size = FixedSize(C.DataType);
            if (ALen != 0 && ALen != Size) DatSError(10, FTable->Columns()->GetItem(AColumn)->Name(), ALen, C.Size);
        }
    }
    if (!Load) CheckValue(AColumn, AValue, ALen);
    uint8_t *Dst = B + C.Offset;
    if (C.Blob) {
        uint8_t *Old;
        std::memcpy(&Old, Dst, sizeof Old);
        uint32_t Len = AValue ? ALen : 0;
        uint32_t CharSize = CharSizeOf(C.DataType), Term = BlobTerminator(C.DataType);
        uint8_t *Blk = Old;
        if (Old && TZqDatSBlobCache::Length(Old) != Len) {
            TZqDatSBlobCache::Release(Old);
            Blk = nullptr;
        }
        if (Len == 0) {
            if (Blk) TZqDatSBlobCache::Release(Blk);
            Blk = nullptr;
        } else {
            if (!Blk) Blk = TZqDatSBlobCache::Alloc(Len, CharSize, Term);
            std::memcpy(TZqDatSBlobCache::Data(Blk), AValue, size_t(Len) * CharSize);
            if (Term) std::memset(TZqDatSBlobCache::Data(Blk) + size_t(Len) * CharSize, 0, Term);
        }
        std::memcpy(Dst, &Blk, sizeof Blk);
        // An empty out-of-line value is NULL.
        if (Blk)
            B[C.NullByte] |= C.NullMask;
        else
            B[C.NullByte] &= uint8_t(~C.NullMask);
    } else if (C.DataType == dtObject) {
        IZqDatSObjectValue *Old, *New = nullptr;
        std::memcpy(&Old, Dst, sizeof Old);
        if (AValue) std::memcpy(&New, AValue, sizeof New);
        // The new value counted in before the old one out: storing the same
        // object again never frees it on the way.
        ZqDatSKeepObject(New);
        ZqDatSDropObject(Old);
        std::memcpy(Dst, &New, sizeof New);
        if (AValue && New)
            B[C.NullByte] |= C.NullMask;
        else
            B[C.NullByte] &= uint8_t(~C.NullMask);
    } else if (!AValue) {
        std::memset(Dst, 0, size_t(C.StorageSize));
        B[C.NullByte] &= uint8_t(~C.NullMask);
    } else {
        switch (C.DataType) {
        case dtAnsiString: {
            uint16_t L = uint16_t(ALen);
            std::memcpy(Dst, &L, 2);
            if (ALen) std::memcpy(Dst + 2, AValue, ALen);
            Dst[2 + ALen] = 0;
            break;
        }
        case dtWideString: {
            uint16_t L = uint16_t(ALen);
            std::memcpy(Dst, &L, 2);
            if (ALen) std::memcpy(Dst + 2, AValue, size_t(ALen) * 2);
            Dst[2 + ALen * 2] = 0;
            Dst[3 + ALen * 2] = 0;
            break;
        }
        case dtByteString: {
            uint16_t L = uint16_t(ALen);
            std::memcpy(Dst, &L, 2);
            if (ALen) std::memcpy(Dst + 2, AValue, ALen);
            break;
        }
        default:
            // A fetch stores every value of a row this way: the usual sizes
            // as single moves.
            switch (Size) {
            case 8: std::memcpy(Dst, AValue, 8); break;
            case 4: std::memcpy(Dst, AValue, 4); break;
            case 2: std::memcpy(Dst, AValue, 2); break;
            default: std::memcpy(Dst, AValue, Size); break;
            }
            break;
        }
        B[C.NullByte] |= C.NullMask;
    }
    if (Load) Tail()[AColumn / 8] |= uint8_t(1u << (AColumn % 8)); // SetColumnChanged(AColumn, true)
}

// ---- variants -----------------------------------------------------------

namespace {

rtl::TSQLTimeStamp TimeToTS(int32_t Ms) {
    rtl::TSQLTimeStamp TS;
    TS.Hour = uint16_t(Ms / 3600000);
    TS.Minute = uint16_t(Ms / 60000 % 60);
    TS.Second = uint16_t(Ms / 1000 % 60);
    TS.Fractions = uint32_t(Ms % 1000);
    return TS;
}

rtl::TSQLTimeStamp DateToTS(int32_t Days) {
    rtl::TTimeStamp T;
    T.Date = Days;
    T.Time = 0;
    return rtl::DateTimeToSQLTimeStamp(rtl::TimeStampToDateTime(T));
}

std::string GuidToText(const uint8_t *G) {
    uint32_t D1;
    uint16_t D2, D3;
    std::memcpy(&D1, G, 4);
    std::memcpy(&D2, G + 4, 2);
    std::memcpy(&D3, G + 6, 2);
    char Buf[40];
    std::snprintf(Buf, sizeof Buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", D1, D2, D3, G[8], G[9],
                  G[10], G[11], G[12], G[13], G[14], G[15]);
    return Buf;
}

bool TextToGuid(const std::string &S, uint8_t *G) {
    unsigned D1, D2, D3, B[8];
    if (std::sscanf(S.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &D1, &D2, &D3, &B[0], &B[1], &B[2], &B[3],
                    &B[4], &B[5], &B[6], &B[7]) != 11)
        return false;
    uint32_t V1 = D1;
    uint16_t V2 = uint16_t(D2), V3 = uint16_t(D3);
    std::memcpy(G, &V1, 4);
    std::memcpy(G + 4, &V2, 2);
    std::memcpy(G + 6, &V3, 2);
    for (int I = 0; I < 8; ++I) G[8 + I] = uint8_t(B[I]);
    return true;
}

template <class T> T Load(const void *P) {
    T V;
    std::memcpy(&V, P, sizeof V);
    return V;
}

} // namespace

rtl::Variant TZqDatSRow::GetDataAsVariant(int AColumn, TZqDatSRowVersion AVersion) {
    void *P = nullptr;
    uint32_t Len = 0;
    if (!GetData(AColumn, AVersion, P, 0, Len, false)) return rtl::Null();
    return DatSValueToVariant(FLayout->Columns[size_t(AColumn)].DataType, P, Len);
}

rtl::Variant DatSValueToVariant(TZqDataType AType, const void *P, uint32_t Len) {
    switch (AType) {
    case dtBoolean: return rtl::Variant(Load<int16_t>(P) != 0);
    case dtSByte: return rtl::Variant::FromTyped(Load<int8_t>(P), rtl::varShortInt);
    case dtInt16: return rtl::Variant::FromTyped(Load<int16_t>(P), rtl::varSmallint);
    case dtInt32: return rtl::Variant(Load<int32_t>(P));
    case dtByte: return rtl::Variant::FromTyped(Load<uint8_t>(P), rtl::varByte);
    case dtUInt16: return rtl::Variant::FromTyped(Load<uint16_t>(P), rtl::varWord);
    case dtUInt32: return rtl::Variant::FromTyped(Load<uint32_t>(P), rtl::varLongWord);
    case dtInt64: return rtl::Variant(Load<int64_t>(P));
    case dtUInt64: return rtl::Variant(Load<uint64_t>(P));
    case dtDouble: return rtl::Variant(Load<double>(P));
    case dtCurrency: return rtl::Variant(rtl::Currency::FromRaw(Load<int64_t>(P)));
    case dtBCD: case dtFmtBCD: return rtl::Variant(Load<rtl::TBcd>(P));
    case dtDateTime: {
        double Ms = std::round(Load<double>(P));
        return rtl::Variant::FromDate(rtl::TimeStampToDateTime(rtl::MSecsToTimeStamp(Ms)));
    }
    case dtTime: return rtl::Variant(TimeToTS(Load<int32_t>(P)));
    case dtDate: return rtl::Variant(DateToTS(Load<int32_t>(P)));
    case dtDateTimeStamp: return rtl::Variant(Load<rtl::TSQLTimeStamp>(P));
    case dtGUID: return rtl::Variant(GuidToText(static_cast<const uint8_t *>(P)));
    case dtByteString: return rtl::Variant::FromBytes(std::string(static_cast<const char *>(P), Len));
    case dtWideString: case dtWideMemo: case dtWideHMemo:
        return rtl::Variant(DatSUtf16ToUtf8(static_cast<const char16_t *>(P), Len));
    case dtAnsiString: case dtBlob: case dtMemo: case dtHBlob: case dtHMemo: case dtHBFile:
        return rtl::Variant(std::string(static_cast<const char *>(P), Len));
    default: return rtl::Variant();
    }
}

void TZqDatSRow::SetDataFromVariant(int AColumn, const rtl::Variant &AValue) {
    DATS_ASSERT(AColumn >= 0 && AColumn < FLayout->ColumnCount);
    const TZqDatSLayoutColumn &C = FLayout->Columns[size_t(AColumn)];
    if (AValue.IsClear() || IsRefType(C.DataType)) {
        if (IsRefType(C.DataType)) return;
        SetData(AColumn, nullptr, 0);
        return;
    }
    auto Fail = [&](const std::string &AMsg) {
        DatSError(42, rtl::VarToStr(AValue), FTable->Columns()->GetItem(AColumn)->Name(), AMsg);
    };
    auto Range = [&](int64_t V, int64_t Lo, int64_t Hi) {
        if (V < Lo || V > Hi) throw rtl::EConvertError("Value " + std::to_string(V) + " is out of range");
    };
    std::string Text;
    try {
        switch (C.DataType) {
        case dtBoolean: { int16_t W = AValue.AsBoolean() ? -1 : 0; SetData(AColumn, &W, 2); return; }
        case dtSByte: { int64_t V = AValue.AsInt64(); Range(V, -128, 127); int8_t X = int8_t(V); SetData(AColumn, &X, 1); return; }
        case dtByte: { int64_t V = AValue.AsInt64(); Range(V, 0, 255); uint8_t X = uint8_t(V); SetData(AColumn, &X, 1); return; }
        case dtInt16: { int64_t V = AValue.AsInt64(); Range(V, -32768, 32767); int16_t X = int16_t(V); SetData(AColumn, &X, 2); return; }
        case dtUInt16: { int64_t V = AValue.AsInt64(); Range(V, 0, 65535); uint16_t X = uint16_t(V); SetData(AColumn, &X, 2); return; }
        case dtInt32: { int64_t V = AValue.AsInt64(); Range(V, INT32_MIN, INT32_MAX); int32_t X = int32_t(V); SetData(AColumn, &X, 4); return; }
        case dtUInt32: { int64_t V = AValue.AsInt64(); Range(V, 0, UINT32_MAX); uint32_t X = uint32_t(V); SetData(AColumn, &X, 4); return; }
        case dtInt64: { int64_t X = AValue.AsInt64(); SetData(AColumn, &X, 8); return; }
        case dtUInt64: { uint64_t X = AValue.AsUInt64(); SetData(AColumn, &X, 8); return; }
        case dtDouble: { double X = AValue.AsDouble(); SetData(AColumn, &X, 8); return; }
        case dtCurrency: { int64_t X = AValue.AsCurrency().Value; SetData(AColumn, &X, 8); return; }
        case dtBCD: case dtFmtBCD: { rtl::TBcd X = AValue.AsBcd(); SetData(AColumn, &X, 34); return; }
        case dtDateTime: {
            double Ms = rtl::TimeStampToMSecs(rtl::DateTimeToTimeStamp(AValue.AsDateTime()));
            SetData(AColumn, &Ms, 8);
            return;
        }
        case dtTime: {
            rtl::TSQLTimeStamp TS = AValue.AsSQLTimeStamp();
            int32_t Ms = int32_t(TS.Hour) * 3600000 + int32_t(TS.Minute) * 60000 + int32_t(TS.Second) * 1000 +
                         int32_t(TS.Fractions);
            SetData(AColumn, &Ms, 4);
            return;
        }
        case dtDate: {
            rtl::TSQLTimeStamp TS = AValue.AsSQLTimeStamp();
            TS.Hour = TS.Minute = TS.Second = 0;
            TS.Fractions = 0;
            int32_t D = rtl::DateTimeToTimeStamp(rtl::SQLTimeStampToDateTime(TS)).Date;
            SetData(AColumn, &D, 4);
            return;
        }
        case dtDateTimeStamp: { rtl::TSQLTimeStamp TS = AValue.AsSQLTimeStamp(); SetData(AColumn, &TS, 16); return; }
        case dtGUID: {
            uint8_t G[16];
            if (!TextToGuid(AValue.AsString(), G)) throw rtl::EConvertError("'" + AValue.AsString() + "' is not a valid GUID value");
            SetData(AColumn, G, 16);
            return;
        }
        case dtWideString: case dtWideMemo: case dtWideHMemo: {
            std::u16string W = DatSUtf8ToUtf16(AValue.AsString());
            SetData(AColumn, W.data(), uint32_t(W.size()));
            return;
        }
        case dtObject: throw rtl::EConvertError("Only an object value can be stored in an object column");
        default:
            Text = AValue.IsArray() ? AValue.AsBytes() : AValue.AsString();
            break;
        }
    } catch (const EZqException &) {
        throw;
    } catch (const rtl::Exception &E) {
        Fail(E.Message());
    }
    SetData(AColumn, Text.data(), uint32_t(Text.size()));
}

// ---- comparison ---------------------------------------------------------

namespace {

template <class T> int Cmp(const void *A, const void *B) {
    T X = Load<T>(A), Y = Load<T>(B);
    return X < Y ? -1 : (X > Y ? 1 : 0);
}

int CmpAnsi(const uint8_t *A, uint32_t LA, const uint8_t *B, uint32_t LB, TZqDatSCompareOptions O) {
    uint32_t N = LA < LB ? LA : LB;
    for (uint32_t I = 0; I < N; ++I) {
        uint8_t X = A[I], Y = B[I];
        if (X == 0 || Y == 0) {
            if (X != Y) return X < Y ? -1 : 1;
            return 0;
        }
        if (O & cmpNoCase) {
            if (X >= 'a' && X <= 'z') X = uint8_t(X - 32);
            if (Y >= 'a' && Y <= 'z') Y = uint8_t(Y - 32);
        }
        if (X != Y) return X < Y ? -1 : 1;
    }
    if (O & cmpPartial) return 0;
    return LA < LB ? -1 : (LA > LB ? 1 : 0);
}

int CmpWide(const uint8_t *A, uint32_t LA, const uint8_t *B, uint32_t LB, TZqDatSCompareOptions O) {
    // Stands in for the system's locale compare: code order, with simple
    // case folding under cmpNoCase.
    uint32_t N = LA < LB ? LA : LB;
    for (uint32_t I = 0; I < N; ++I) {
        char16_t CX, CY;
        std::memcpy(&CX, A + I * 2, 2);
        std::memcpy(&CY, B + I * 2, 2);
        uint32_t X = CX, Y = CY;
        if (O & cmpNoCase) {
            X = uint32_t(rtl::CWideUpCase(X));
            Y = uint32_t(rtl::CWideUpCase(Y));
        }
        if (X != Y) return X < Y ? -1 : 1;
    }
    if (O & cmpPartial) return 0;
    return LA < LB ? -1 : (LA > LB ? 1 : 0);
}

int CmpBytes(const uint8_t *A, uint32_t LA, const uint8_t *B, uint32_t LB) {
    uint32_t N = LA < LB ? LA : LB;
    for (uint32_t I = 0; I < N; ++I) {
        int8_t X = int8_t(A[I]), Y = int8_t(B[I]);
        if (X != Y) return X < Y ? -1 : 1;
    }
    return LA < LB ? -1 : (LA > LB ? 1 : 0);
}

} // namespace

int TZqDatSRow::CompareValues(const TZqDatSLayoutColumn &C, int ALocale, const void *V1, uint32_t L1, const void *V2,
                              uint32_t L2, TZqDatSCompareOptions O) {
    (void)ALocale;
    int R = 0;
    switch (C.DataType) {
    case dtBoolean: {
        int X = Load<int16_t>(V1) != 0, Y = Load<int16_t>(V2) != 0;
        R = X - Y;
        break;
    }
    case dtSByte: R = Cmp<int8_t>(V1, V2); break;
    case dtInt16: R = Cmp<int16_t>(V1, V2); break;
    case dtInt32: case dtTime: case dtDate: R = Cmp<int32_t>(V1, V2); break;
    case dtInt64: case dtCurrency: R = Cmp<int64_t>(V1, V2); break;
    case dtByte: R = Cmp<uint8_t>(V1, V2); break;
    case dtUInt16: R = Cmp<uint16_t>(V1, V2); break;
    case dtUInt32: R = Cmp<uint32_t>(V1, V2); break;
    case dtUInt64: R = Cmp<uint64_t>(V1, V2); break;
    case dtDouble: case dtDateTime: R = DatSCompareDouble(Load<double>(V1), Load<double>(V2)); break;
    case dtBCD: case dtFmtBCD: {
        R = rtl::BcdCompare(Load<rtl::TBcd>(V1), Load<rtl::TBcd>(V2));
        R = R < 0 ? -1 : (R > 0 ? 1 : 0);
        break;
    }
    case dtDateTimeStamp: {
        auto A = Load<rtl::TSQLTimeStamp>(V1), B = Load<rtl::TSQLTimeStamp>(V2);
        if (A.Year != B.Year) R = A.Year < B.Year ? -1 : 1;
        else if (A.Month != B.Month) R = A.Month < B.Month ? -1 : 1;
        else if (A.Day != B.Day) R = A.Day < B.Day ? -1 : 1;
        else if (A.Hour != B.Hour) R = A.Hour < B.Hour ? -1 : 1;
        else if (A.Minute != B.Minute) R = A.Minute < B.Minute ? -1 : 1;
        else if (A.Second != B.Second) R = A.Second < B.Second ? -1 : 1;
        else if (A.Fractions != B.Fractions) R = A.Fractions < B.Fractions ? -1 : 1;
        break;
    }
    case dtAnsiString: case dtMemo: case dtHMemo:
        R = CmpAnsi(static_cast<const uint8_t *>(V1), L1, static_cast<const uint8_t *>(V2), L2, O);
        break;
    case dtWideString: case dtWideMemo: case dtWideHMemo:
        R = CmpWide(static_cast<const uint8_t *>(V1), L1, static_cast<const uint8_t *>(V2), L2, O);
        break;
    case dtByteString: case dtBlob: case dtHBlob: case dtHBFile:
        R = CmpBytes(static_cast<const uint8_t *>(V1), L1, static_cast<const uint8_t *>(V2), L2);
        break;
    case dtGUID: {
        const auto *A = static_cast<const uint8_t *>(V1), *B = static_cast<const uint8_t *>(V2);
        R = Cmp<uint32_t>(A, B);
        if (!R) R = Cmp<uint16_t>(A + 4, B + 4);
        if (!R) R = Cmp<uint16_t>(A + 6, B + 6);
        for (int I = 8; !R && I < 16; ++I) R = A[I] < B[I] ? -1 : (A[I] > B[I] ? 1 : 0);
        break;
    }
    case dtObject: {
        auto *A = Load<IZqDatSObjectValue *>(V1);
        auto *B = Load<IZqDatSObjectValue *>(V2);
        if (A && B) R = A->Compare(B, O);
        else R = A == B ? 0 : (A ? 1 : -1);
        break;
    }
    default:
        R = 0;
        break;
    }
    return (O & cmpDescending) ? -R : R;
}

int TZqDatSRow::CompareData(int AColumn, const void *AValue1, uint32_t ALen1, const void *AValue2, uint32_t ALen2,
                            TZqDatSCompareOptions AOptions) {
    DATS_ASSERT(AColumn >= 0 && AColumn < FLayout->ColumnCount);
    const TZqDatSLayoutColumn &C = FLayout->Columns[size_t(AColumn)];
    if (C.DataType == dtUnknown || IsRefType(C.DataType)) {
        if (!C.Searchable) DatSError(20, FTable->Columns()->GetItem(AColumn)->Name());
        return 0;
    }
    return CompareValues(C, FTable->Locale(), AValue1, ALen1, AValue2, ALen2, AOptions);
}

int TZqDatSRow::CompareRows(TZqDatSRow *ARow1, TZqDatSColumnSublist *ACols1, TZqDatSColumnSublist *ADesc,
                            TZqDatSCompareRowsCache *ACache, TZqDatSCompareOptions AOptions, TZqDatSRowVersion AVersion,
                            TZqDatSColumnSublist *ACols2, TZqDatSRow *ARow2, int ACount, TZqDatSColumnSublist *ANoCase,
                            int AVersion2) {
    // The second row may be read at another version: a key row searched
    // by its previous values among rows sorted by their current ones.
    TZqDatSRowVersion V2 = AVersion2 < 0 ? AVersion : TZqDatSRowVersion(AVersion2);
    if (!ARow1 || !ARow2 || (ACols2 && !ACols1)) DatSError(18);
    int Count = ACount;
    if (Count == -1) Count = ACols1 ? ACols1->Count() : ARow1->FLayout->ColumnCount;
    if (ACols2) {
        if (Count > ACols2->Count()) Count = ACols2->Count();
    } else if (Count > ARow2->FLayout->ColumnCount) {
        Count = ARow2->FLayout->ColumnCount;
    }
    bool UseCache = (AOptions & cmpCache) && ACache;
    if (UseCache && int(ACache->Entries.size()) < Count) ACache->Entries.resize(size_t(Count));
    TZqDatSCompareOptions Base = AOptions & uint8_t(~cmpCache);
    for (int I = 0; I < Count; ++I) {
        TZqDatSColumn *Col1 = ACols1 ? ACols1->GetItem(I) : ARow1->FTable->Columns()->GetItem(I);
        int Idx1 = Col1->Index();
        int Idx2 = ACols2 ? ACols2->GetItem(I)->Index() : Idx1;
        const TZqDatSLayoutColumn &LC1 = ARow1->FLayout->Columns[size_t(Idx1)];
        const TZqDatSLayoutColumn &LC2 = ARow2->FLayout->Columns[size_t(Idx2)];
        if (LC1.DataType != LC2.DataType) DatSError(18);
        if (IsRefType(LC1.DataType)) continue;
        void *P1 = nullptr;
        uint32_t L1 = 0;
        bool Has1 = ARow1->GetData(Idx1, AVersion, P1, 0, L1, false);
        const void *P2;
        uint32_t L2;
        bool Null2;
        TZqDatSCompareOptions O;
        if (UseCache && ACache->Entries[size_t(I)].Filled) {
            const auto &E = ACache->Entries[size_t(I)];
            P2 = E.Value;
            L2 = E.Length;
            Null2 = E.IsNull;
            O = E.Options;
        } else {
            void *Q = nullptr;
            L2 = 0;
            Null2 = !ARow2->GetData(Idx2, V2, Q, 0, L2, false);
            P2 = Q;
            O = Base;
            if (ADesc && ADesc->Contains(Col1)) O |= cmpDescending;
            if (ANoCase && ANoCase->Contains(Col1)) O |= cmpNoCase;
            if (UseCache) {
                auto &E = ACache->Entries[size_t(I)];
                E.Value = P2;
                E.Length = L2;
                E.IsNull = Null2;
                E.Options = O;
                E.Filled = true;
            }
        }
        int R;
        bool NullFirst = (O & cmpNullFirst) && !(O & cmpDescending);
        if (Has1 && !Null2)
            R = ARow1->CompareData(Idx1, P1, L1, P2, L2, O);
        else if (Has1)
            R = NullFirst ? 1 : -1;
        else if (!Null2)
            R = NullFirst ? -1 : 1;
        else
            R = 0;
        if (R) return R;
    }
    return 0;
}

bool TZqDatSRow::VersionsEqual(int AColumn, TZqDatSRowVersion AV1, TZqDatSRowVersion AV2) {
    void *P1 = nullptr, *P2 = nullptr;
    uint32_t L1 = 0, L2 = 0;
    bool H1 = GetData(AColumn, AV1, P1, 0, L1, false);
    bool H2 = GetData(AColumn, AV2, P2, 0, L2, false);
    if (!H1 || !H2) return H1 == H2;
    return CompareData(AColumn, P1, L1, P2, L2, 0) == 0;
}

bool TZqDatSRow::VersionsEqual(TZqDatSColumnSublist *ACols, TZqDatSRowVersion AV1, TZqDatSRowVersion AV2) {
    for (int I = 0; I < ACols->Count(); ++I)
        if (!VersionsEqual(ACols->GetItem(I)->Index(), AV1, AV2)) return false;
    return true;
}

void TZqDatSRow::DumpRow(bool AWithNames, TZqDatSRowVersion AVersion, std::string &AText) {
    if (AWithNames) AText += FTable->Name() + ": ";
    TZqDatSColumnList *Cols = FTable->Columns();
    for (int I = 0; I < FLayout->ColumnCount; ++I) {
        if (I) AText += "; ";
        if (AWithNames) AText += Cols->GetItem(I)->Name() + ": ";
        if (IsRefType(FLayout->Columns[size_t(I)].DataType) || IsNull(I, AVersion)) {
            AText += "<null>";
            continue;
        }
        if (FLayout->Columns[size_t(I)].DataType == dtTime) {
            void *P = nullptr;
            uint32_t L = 0;
            GetData(I, AVersion, P, 0, L, false);
            AText += rtl::TimeToStr(double(Load<int32_t>(P)) / rtl::MSecsPerDay);
            continue;
        }
        AText += rtl::VarToStr(GetDataAsVariant(I, AVersion));
    }
}

} // namespace dats
