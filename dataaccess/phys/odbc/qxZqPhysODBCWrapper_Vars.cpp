// ODBC variables, their page buffers and the long-value scratch area.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dataaccess/phys/odbc/qxZqPhysODBCWrapper.h"
#include "dataaccess/stan/qxZqStanUtil.h"
#include "platform/rtl/FMTBcd.h"
#include "platform/rtl/SysUtils.h"

namespace {

const char *const CUnit = "qxZqPhysODBCWrapper";
const std::vector<std::string> CODBCWords = {"Phys", "ODBC"};

bool IsCharBinGroup(SQLSMALLINT T)
{
    return T == SQL_CHAR || T == SQL_VARCHAR || T == SQL_BINARY || T == SQL_VARBINARY || T == SQL_WVARCHAR ||
           T == SQL_WCHAR;
}
bool IsNumeric(SQLSMALLINT T) { return T == SQL_NUMERIC || T == SQL_DECIMAL; }
bool IsTextOrBinaryC(SQLSMALLINT C) { return C == SQL_C_CHAR || C == SQL_C_WCHAR || C == SQL_C_BINARY; }

// Every slot of a row starts on an indicator boundary: drivers write the
// SQLLEN indicators with plain stores.
SQLLEN AlignSlot(SQLLEN N) { return (N + ODBC_IND_SIZE - 1) / ODBC_IND_SIZE * ODBC_IND_SIZE; }

constexpr int32_t CUnlimited = 0x7FFFFFFF;

// Characters of a UTF-8 text: every byte that does not continue a sequence.
SQLLEN Utf8Chars(const uint8_t *AText, SQLLEN ALen)
{
    SQLLEN N = 0;
    for (SQLLEN I = 0; I < ALen; ++I)
        N += (AText[I] & 0xC0) != 0x80;
    return N;
}

} // namespace

// ---- TODBCVariable -------------------------------------------------------------

void TODBCVariable::SetCDataType(SQLSMALLINT AValue)
{
    if (AValue != FCDataType)
        Prepared = false;
    FCDataType = AValue;
}

void TODBCVariable::SetParamType(SQLSMALLINT AValue)
{
    if (AValue != FParamType)
        Prepared = false;
    FParamType = AValue;
}

void TODBCVariable::SetSQLDataType(SQLSMALLINT AValue)
{
    if (AValue != FSQLDataType)
        Prepared = false;
    FSQLDataType = AValue;
}

TODBCStatementBase *TODBCVariable::Statement() const { return Owner ? Owner->Statement() : nullptr; }

std::string TODBCVariable::DumpLabel() const { return Name.empty() ? "#" + std::to_string(Position) : Name; }

void TODBCVariable::RaiseTooLarge(SQLLEN ALength, SQLLEN AMax) const
{
    ZqRaiseError(Statement() ? Statement()->OwningObj() : nullptr, CODBCWords, 1201,
                 {DumpLabel(), int64_t(AMax < 0 ? DataSize : AMax), int64_t(ALength)});
    throw rtl::Exception("Data too large");
}

void TODBCVariable::RaiseUnsupported() const
{
    ZqRaiseError(Statement() ? Statement()->OwningObj() : nullptr, CODBCWords, 1202,
                 {DumpLabel(), int(FCDataType)});
    throw rtl::Exception("C data type not supported");
}

SQLLEN TODBCVariable::CalcDataSize(SQLULEN AColumnSize) const
{
    const SQLLEN N = SQLLEN(AColumnSize);
    const bool InParam = FParamType == SQL_PARAM_INPUT;
    SQLLEN R;
    switch (FCDataType) {
    case SQL_C_CHAR:
        if (FSQLDataType == SQL_CHAR || FSQLDataType == SQL_VARCHAR)
            R = N == CUnlimited ? N : ODBC_UTF8_UNIT_BYTES * (N == 0 ? 255 : N) + 1;
        else if (IsNumeric(FSQLDataType))
            R = N == 0 ? 31 : N + 3;
        else
            R = InParam ? 0 : 256;
        break;
    case SQL_C_WCHAR:
        if (FSQLDataType == SQL_WCHAR || FSQLDataType == SQL_WVARCHAR)
            R = N == CUnlimited ? N : 2 * (N == 0 ? 255 : N) + 2;
        else
            R = InParam ? 0 : 2 * 255 + 2;
        break;
    case SQL_C_BINARY:
        if (FSQLDataType == SQL_BINARY || FSQLDataType == SQL_VARBINARY)
            R = N == 0 ? 255 : N;
        else
            R = InParam ? 0 : 255;
        break;
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: R = 4; break;
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT: R = 2; break;
    case SQL_C_FLOAT: case SQL_C_DOUBLE: R = 8; break;
    case SQL_C_SBIGINT: case SQL_C_UBIGINT: R = 8; break;
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_BIT: R = 1; break;
    case SQL_C_DATE: case SQL_C_TIME: case SQL_C_TYPE_DATE: case SQL_C_TYPE_TIME: R = 6; break;
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: case SQL_C_GUID: R = 16; break;
    default:
        if (ZqIsIntervalCType(FCDataType)) {
            R = 28;
            break;
        }
        RaiseUnsupported();
    }
    return R;
}

void TODBCVariable::Prepare()
{
    TODBCStatementBase *Stmt = Statement();
    const SQLLEN MaxStr = Stmt ? Stmt->MaxStringSize : 8192;
    const SQLLEN Inline = Stmt ? Stmt->InlineDataSize : 8000;
    if (!IsCharBinGroup(FSQLDataType)) {
        if (FCDataType == SQL_C_TIMESTAMP || FCDataType == SQL_C_TYPE_TIMESTAMP) {
            ColumnSize = 23;
            Scale = 3;
            DataSize = CalcDataSize(ColumnSize);
        } else if (FParamType == SQL_PARAM_OUTPUT &&
                   (FSQLDataType == SQL_LONGVARCHAR || FSQLDataType == SQL_WLONGVARCHAR ||
                    FSQLDataType == SQL_LONGVARBINARY)) {
            ColumnSize = FSQLDataType == SQL_WLONGVARCHAR ? 4000 : 8000;
            DataSize = 8000;
        } else {
            if (IsNumeric(FSQLDataType)) {
                if (ColumnSize == 0)
                    ColumnSize = 30;
                if (Scale == 0)
                    Scale = SQLSMALLINT(ColumnSize < 5 ? ColumnSize : 4);
            }
            DataSize = CalcDataSize(ColumnSize);
        }
    } else {
        if (ColumnSize == 0)
            ColumnSize = SQLULEN(MaxStr);
        DataSize = CalcDataSize(ColumnSize);
        TODBCConnection *Conn = Stmt ? Stmt->Connection() : nullptr;
        if (Conn && Conn->OnGetMaxSizes) {
            SQLULEN MaxCol = 0;
            SQLLEN MaxData = 0;
            Conn->OnGetMaxSizes(FCDataType,
                                FSQLDataType == SQL_CHAR || FSQLDataType == SQL_WCHAR || FSQLDataType == SQL_BINARY,
                                IsNumeric(FSQLDataType), MaxCol, MaxData);
            if (MaxCol > 0 && (ColumnSize == 0 || ColumnSize > MaxCol))
                ColumnSize = MaxCol;
            if (MaxData > 0 && !(DataSize >= 1 && DataSize <= MaxData))
                DataSize = FCDataType == SQL_C_CHAR ? MaxData + 1 : FCDataType == SQL_C_WCHAR ? MaxData + 2 : MaxData;
        }
    }
    LongData = false;
    if (IsTextOrBinaryC(FCDataType)) {
        switch (FSQLDataType) {
        case SQL_LONGVARCHAR: case SQL_LONGVARBINARY: case SQL_WLONGVARCHAR:
        case -97: case -98: case -99: case SQL_SS_VARIANT_TYPE:
            LongData = true;
            break;
        case SQL_CHAR: case SQL_VARCHAR: case SQL_BINARY: case SQL_VARBINARY: case SQL_WCHAR: case SQL_WVARCHAR:
            LongData = !IsParam() && DataSize > Inline;
            break;
        default:
            break;
        }
    }
    Prepared = true;
}

void TODBCVariable::Bind()
{
    if (!Prepared)
        Prepare();
    if (IsParam()) {
        static_cast<TODBCCommandStatement *>(Statement())->BindParameter(this);
        return;
    }
    if (LongData)
        return;
    TODBCStatementBase *Stmt = Statement();
    Stmt->Check(Stmt->Lib()->SQLBindCol(Stmt->Handle(), Number(), FCDataType, DataPtr, DataSize, IndPtr));
    Bound = true;
}

void TODBCVariable::GetBuffers(int ARow, uint8_t *&AData, SQLLEN *&AInd) const
{
    TODBCPageBuffer *Page = Owner ? Owner->PageBuffer() : nullptr;
    ZQ_ASSERT(Page && Page->Allocated, CUnit);
    Page->GetBuffers(this, ARow, AData, AInd);
}

void TODBCVariable::AllocLongData(int ARow, SQLLEN ASize)
{
    ZQ_ASSERT(LongData, CUnit);
    uint8_t *Data;
    SQLLEN *Ind;
    GetBuffers(ARow, Data, Ind);
    const SQLLEN Bytes = FCDataType == SQL_C_WCHAR ? 2 * ASize : ASize;
    void *&Slot = *reinterpret_cast<void **>(Data);
    void *P = std::realloc(Slot, size_t(std::max<SQLLEN>(Bytes, 1)));
    if (!P)
        throw std::bad_alloc();
    Slot = P;
}

void TODBCVariable::FreeLongData(int ARow)
{
    ZQ_ASSERT(LongData, CUnit);
    uint8_t *Data;
    SQLLEN *Ind;
    GetBuffers(ARow, Data, Ind);
    void *&Slot = *reinterpret_cast<void **>(Data);
    std::free(Slot);
    Slot = nullptr;
}

uint8_t *TODBCVariable::LongDataBlock(int ARow, SQLLEN &ALength)
{
    ZQ_ASSERT(LongData, CUnit);
    uint8_t *Data;
    SQLLEN *Ind;
    GetBuffers(ARow, Data, Ind);
    auto *Block = *reinterpret_cast<uint8_t **>(Data);
    if (!Block)
        ALength = 0;
    else if (*Ind >= 0)
        ALength = *Ind;
    else if (*Ind <= -100)
        ALength = -100 - *Ind;
    else
        ALength = 0;
    return Block;
}

bool TODBCVariable::Cut(int ARow, SQLLEN &AWhole) const
{
    const auto It = FCut.empty() ? FCut.end() : FCut.find(ARow);
    if (It == FCut.end())
        return false;
    AWhole = It->second;
    return true;
}

SQLLEN TODBCVariable::BufferCapacity() const
{
    return std::max<SQLLEN>(DataSize - (FCDataType == SQL_C_CHAR ? 1 : FCDataType == SQL_C_WCHAR ? 2 : 0), 0);
}

bool TODBCVariable::GetData(int ARow, void *&AValue, bool AByRef, SQLLEN &ALength)
{
    uint8_t *Data;
    SQLLEN *Ind;
    GetBuffers(ARow, Data, Ind);
    if (LongData)
        Data = *reinterpret_cast<uint8_t **>(Data);
    if (*Ind == SQL_NULL_DATA || !Data) {
        ALength = 0;
        if (AByRef)
            AValue = nullptr;
        return false;
    }
    auto Out = [&](const void *ASrc, SQLLEN ALen) {
        if (AByRef)
            AValue = const_cast<void *>(ASrc);
        else
            std::memcpy(AValue, ASrc, size_t(ALen));
        ALength = ALen;
    };
    switch (FCDataType) {
    case SQL_C_CHAR: {
        TODBCConnection *Conn = Statement() ? Statement()->Connection() : nullptr;
        SQLLEN Len = *Ind == SQL_NTS ? SQLLEN(std::strlen(reinterpret_cast<char *>(Data))) : *Ind;
        if (IsNumeric(FSQLDataType)) {
            const char Sep = Conn ? (IsParam() ? Conn->ParamDecimalSeparator : Conn->ColumnDecimalSeparator) : '.';
            rtl::TBcd Bcd;
            ZqStrToBcd(reinterpret_cast<char *>(Data), int(Len), Bcd, Sep);
            // A by-reference reader gets the text; the BCD form is a copy.
            if (AByRef) {
                AValue = Data;
                ALength = Len;
            } else {
                std::memcpy(AValue, &Bcd, sizeof Bcd);
                ALength = sizeof Bcd;
            }
            return true;
        }
        if (FSQLDataType == SQL_CHAR && Statement() && Statement()->StrsTrim)
            while (Len > 0 && uint8_t(Data[Len - 1]) <= 32)
                --Len;
        if (Len == 0 && Statement() && Statement()->StrsEmpty2Null) {
            ALength = 0;
            if (AByRef)
                AValue = nullptr;
            return false;
        }
        if (AByRef) {
            AValue = Data;
            ALength = Len;
        } else {
            std::memcpy(AValue, Data, size_t(Len));
            if (FSQLDataType == SQL_CHAR && !LongData && DataSize > Len)
                std::memset(static_cast<uint8_t *>(AValue) + Len, 0, size_t(DataSize - Len));
            ALength = Len;
        }
        return true;
    }
    case SQL_C_WCHAR: {
        const auto *W = reinterpret_cast<const uint16_t *>(Data);
        SQLLEN Chars = 0;
        if (*Ind == SQL_NTS)
            while (W[Chars])
                ++Chars;
        else
            Chars = *Ind / 2;
        if (FSQLDataType == SQL_WCHAR && Statement() && Statement()->StrsTrim)
            while (Chars > 0 && W[Chars - 1] == 0x20)
                --Chars;
        if (Chars == 0 && Statement() && Statement()->StrsEmpty2Null) {
            ALength = 0;
            if (AByRef)
                AValue = nullptr;
            return false;
        }
        if (AByRef)
            AValue = Data;
        else {
            std::memcpy(AValue, Data, size_t(2 * Chars));
            if (FSQLDataType == SQL_WCHAR && !LongData && DataSize / 2 > Chars)
                std::memset(static_cast<uint8_t *>(AValue) + 2 * Chars, 0, size_t(DataSize - 2 * Chars));
        }
        ALength = Chars;
        return true;
    }
    case SQL_C_BINARY:
        Out(Data, *Ind);
        return true;
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_FLOAT:
        Out(Data, 4);
        return true;
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT:
        Out(Data, 2);
        return true;
    case SQL_C_DOUBLE: case SQL_C_SBIGINT: case SQL_C_UBIGINT:
        Out(Data, 8);
        return true;
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT:
        Out(Data, 1);
        return true;
    case SQL_C_GUID:
        Out(Data, 16);
        return true;
    default:
        break;
    }
    if (AByRef) {
        // Converted forms exist only as copies.
        AValue = Data;
        ALength = DataSize;
        return true;
    }
    switch (FCDataType) {
    case SQL_C_BIT: {
        const int16_t B = *Data ? -1 : 0;
        std::memcpy(AValue, &B, 2);
        ALength = 2;
        return true;
    }
    case SQL_C_DATE: case SQL_C_TYPE_DATE: {
        SQL_DATE_STRUCT D;
        std::memcpy(&D, Data, sizeof D);
        const int32_t Day = int32_t(rtl::EncodeDate(D.year, D.month, D.day)) + rtl::DateDelta;
        std::memcpy(AValue, &Day, 4);
        ALength = 4;
        return true;
    }
    case SQL_C_TIME: case SQL_C_TYPE_TIME: {
        SQL_TIME_STRUCT T;
        std::memcpy(&T, Data, sizeof T);
        const int32_t Ms = (T.hour * 3600 + T.minute * 60 + T.second) * 1000;
        std::memcpy(AValue, &Ms, 4);
        ALength = 4;
        return true;
    }
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT T;
        std::memcpy(&T, Data, sizeof T);
        rtl::TSQLTimeStamp S;
        S.Year = T.year;
        S.Month = T.month;
        S.Day = T.day;
        S.Hour = T.hour;
        S.Minute = T.minute;
        S.Second = T.second;
        S.Fractions = T.fraction / 1000000;
        std::memcpy(AValue, &S, sizeof S);
        ALength = sizeof S;
        return true;
    }
    default:
        RaiseUnsupported();
    }
}

void TODBCVariable::SetData(int ARow, const void *AValue, SQLLEN ALength)
{
    uint8_t *Data;
    SQLLEN *Ind;
    GetBuffers(ARow, Data, Ind);
    // A number of a fixed size, most values a statement sends, goes into its
    // slot as it is.
    if (AValue && !LongData) {
        if (const int Fixed = ZqPlainNumberCSize(FCDataType)) {
            switch (Fixed) {
            case 8: std::memcpy(Data, AValue, 8); break;
            case 4: std::memcpy(Data, AValue, 4); break;
            case 2: std::memcpy(Data, AValue, 2); break;
            default: std::memcpy(Data, AValue, 1); break;
            }
            *Ind = SQLLEN(Fixed);
            return;
        }
    }
    TODBCStatementBase *Stmt = Statement();
    TODBCConnection *Conn = Stmt ? Stmt->Connection() : nullptr;
    const bool Trim = Stmt && Stmt->StrsTrim;
    const bool Empty2Null = Stmt && Stmt->StrsEmpty2Null;
    const bool InOut = FParamType == SQL_PARAM_INPUT_OUTPUT || FParamType == SQL_PARAM_OUTPUT;
    const auto *Src = static_cast<const uint8_t *>(AValue);

    // Sizes first, so that a value too large leaves the row as it was.
    SQLLEN Len = ALength;
    if (AValue && FCDataType == SQL_C_CHAR && !IsNumeric(FSQLDataType)) {
        if (Len == SQL_NTS)
            Len = SQLLEN(std::strlen(reinterpret_cast<const char *>(Src)));
        if (!LongData && Len > DataSize)
            RaiseTooLarge(Len);
        // The buffer holds the UTF-8 of ColumnSize characters; a text of more
        // characters does not fit the column, whatever its bytes.
        if (!LongData && ColumnSize > 0 && Len > SQLLEN(ColumnSize)) {
            const SQLLEN Chars = Utf8Chars(Src, Len);
            if (Chars > SQLLEN(ColumnSize))
                RaiseTooLarge(Chars, SQLLEN(ColumnSize));
        }
    } else if (AValue && FCDataType == SQL_C_WCHAR) {
        if (Len == SQL_NTS) {
            const auto *W = reinterpret_cast<const uint16_t *>(Src);
            Len = 0;
            while (W[Len])
                ++Len;
        }
        if (!LongData && 2 * Len > DataSize)
            RaiseTooLarge(2 * Len);
    } else if (AValue && FCDataType == SQL_C_BINARY && !LongData && Len > DataSize)
        RaiseTooLarge(Len);

    std::string NumText;
    if (AValue && FCDataType == SQL_C_CHAR && IsNumeric(FSQLDataType)) {
        const char Sep = Conn ? (IsParam() ? Conn->ParamDecimalSeparator : Conn->ColumnDecimalSeparator) : '.';
        rtl::TBcd Bcd;
        std::memcpy(&Bcd, Src, sizeof Bcd);
        NumText = ZqBcdToStr(Bcd, Sep);
        if (SQLLEN(NumText.size()) > DataSize)
            RaiseTooLarge(SQLLEN(NumText.size()));
    }

    if (LongData) {
        const SQLLEN Need = FCDataType == SQL_C_WCHAR ? Len : Len;
        AllocLongData(ARow, AValue ? (InOut ? std::max(FCDataType == SQL_C_WCHAR ? DataSize / 2 : DataSize, Need) : Need) : 0);
        Data = *reinterpret_cast<uint8_t **>(Data);
    }

    if (!AValue) {
        *Ind = SQL_NULL_DATA;
        if (LongData)
            return;
        if (FCDataType == SQL_C_CHAR && IsNumeric(FSQLDataType))
            return;
        const SQLLEN Zero = IsTextOrBinaryC(FCDataType) ? DataSize : CalcDataSize(ColumnSize);
        std::memset(Data, 0, size_t(Zero));
        return;
    }

    SQLLEN OutLen = 0;
    bool Null = false;
    switch (FCDataType) {
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: {
        rtl::TSQLTimeStamp S;
        std::memcpy(&S, Src, sizeof S);
        SQL_TIMESTAMP_STRUCT T{};
        T.year = S.Year;
        T.month = S.Month;
        T.day = S.Day;
        T.hour = S.Hour;
        T.minute = S.Minute;
        T.second = S.Second;
        T.fraction = S.Fractions * 1000000;
        std::memcpy(Data, &T, sizeof T);
        OutLen = 16;
        break;
    }
    case SQL_C_TIME: case SQL_C_TYPE_TIME: {
        int32_t Ms;
        std::memcpy(&Ms, Src, 4);
        SQL_TIME_STRUCT T{};
        T.hour = SQLUSMALLINT(Ms / 3600000);
        T.minute = SQLUSMALLINT((Ms / 60000) % 60);
        T.second = SQLUSMALLINT((Ms / 1000) % 60);
        std::memcpy(Data, &T, sizeof T);
        OutLen = 6;
        break;
    }
    case SQL_C_DATE: case SQL_C_TYPE_DATE: {
        int32_t Day;
        std::memcpy(&Day, Src, 4);
        int Y, M, D;
        rtl::DecodeDate(double(Day - rtl::DateDelta), Y, M, D);
        SQL_DATE_STRUCT T{SQLSMALLINT(Y), SQLUSMALLINT(M), SQLUSMALLINT(D)};
        std::memcpy(Data, &T, sizeof T);
        OutLen = 6;
        break;
    }
    case SQL_C_CHAR:
        if (IsNumeric(FSQLDataType)) {
            std::memcpy(Data, NumText.data(), NumText.size());
            if (SQLLEN(NumText.size()) < DataSize)
                Data[NumText.size()] = 0;
            OutLen = SQLLEN(NumText.size());
            break;
        }
        if (FSQLDataType == SQL_CHAR && Trim)
            while (Len > 0 && Src[Len - 1] <= 32)
                --Len;
        std::memcpy(Data, Src, size_t(Len));
        OutLen = Len;
        if (FSQLDataType == SQL_CHAR && !LongData) {
            // A fixed-length text is padded to its column's characters.
            const SQLLEN Pad = std::min(std::max<SQLLEN>(SQLLEN(ColumnSize) - Utf8Chars(Src, Len), 0), DataSize - Len);
            std::memset(Data + Len, ' ', size_t(Pad));
            OutLen = Len + Pad;
            if (OutLen < DataSize)
                Data[OutLen] = 0;
        } else if (!LongData && Len < DataSize)
            Data[Len] = 0;
        if (Len == 0 && Empty2Null)
            Null = true;
        break;
    case SQL_C_WCHAR: {
        const auto *W = reinterpret_cast<const uint16_t *>(Src);
        if (FSQLDataType == SQL_WCHAR && Trim)
            while (Len > 0 && W[Len - 1] == 0x20)
                --Len;
        std::memcpy(Data, Src, size_t(2 * Len));
        OutLen = 2 * Len;
        if (FSQLDataType == SQL_WCHAR && !LongData) {
            auto *D = reinterpret_cast<uint16_t *>(Data);
            for (SQLLEN I = Len; I < DataSize / 2; ++I)
                D[I] = 0x20;
            OutLen = DataSize / 2;
        }
        if (Len == 0 && Empty2Null)
            Null = true;
        break;
    }
    case SQL_C_BINARY:
        std::memcpy(Data, Src, size_t(Len));
        OutLen = Len;
        if (FSQLDataType == SQL_BINARY && !LongData) {
            std::memset(Data + Len, 0, size_t(DataSize - Len));
            OutLen = DataSize;
        }
        break;
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_FLOAT:
        std::memcpy(Data, Src, 4);
        OutLen = 4;
        break;
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT:
        std::memcpy(Data, Src, 2);
        OutLen = 2;
        break;
    case SQL_C_DOUBLE: case SQL_C_SBIGINT: case SQL_C_UBIGINT:
        std::memcpy(Data, Src, 8);
        OutLen = 8;
        break;
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT:
        Data[0] = Src[0];
        OutLen = 1;
        break;
    case SQL_C_BIT: {
        int16_t B;
        std::memcpy(&B, Src, 2);
        Data[0] = B ? 1 : 0;
        OutLen = 1;
        break;
    }
    case SQL_C_GUID:
        std::memcpy(Data, Src, 16);
        OutLen = 16;
        break;
    default:
        RaiseUnsupported();
    }
    if (Null)
        *Ind = SQL_NULL_DATA;
    else if (LongData)
        *Ind = InOut ? OutLen : ZqSqlLenDataAtExec(OutLen);
    else
        *Ind = OutLen;
}

// ---- TODBCSelectItem --------------------------------------------------------------

TODBCSelectItem::TODBCSelectItem(TODBCStatementBase *AStatement, SQLSMALLINT AColumn)
    : Position(AColumn), FStatement(AStatement)
{
    AStatement->DescribeCol(SQLUSMALLINT(AColumn), Name, ColumnSize, Scale, Nullable, SQLDataType);
    TODBCConnection *Conn = AStatement->Connection();
    if (Conn && Conn->RDBMSKind == ODBCKindMSSQL && ColumnSize == 0 &&
        (SQLDataType == SQL_VARCHAR || SQLDataType == SQL_VARBINARY || SQLDataType == SQL_WVARCHAR))
        ColumnSize = CUnlimited;
}

SQLLEN TODBCSelectItem::Attr(SQLUSMALLINT AField) const { return FStatement->ColAttribute(SQLUSMALLINT(Position), AField); }

SQLLEN TODBCSelectItem::RowVer() const
{
    SQLLEN V = 0;
    if (FStatement->Lib()->SQLColAttribute(FStatement->Handle(), SQLUSMALLINT(Position), SQL_DESC_ROWVER, nullptr, 0,
                                           nullptr, &V) != SQL_SUCCESS)
        return 0;
    return V;
}

bool TODBCSelectItem::IsFixedLen() const
{
    return SQLDataType == SQL_CHAR || SQLDataType == SQL_BINARY || SQLDataType == SQL_WCHAR ||
           SQLDataType == SQL_GUID || ZqIsIntervalCType(SQLDataType);
}

// ---- TODBCVariableList ---------------------------------------------------------------

TODBCVariableList::~TODBCVariableList() { Clear(); }

TODBCVariable *TODBCVariableList::Add(std::unique_ptr<TODBCVariable> AVariable)
{
    AVariable->Owner = this;
    AVariable->SetParamType(FIsParams ? SQL_PARAM_INPUT : SQL_RESULT_COL);
    AVariable->Position = SQLSMALLINT(FItems.size() + 1);
    FItems.push_back(std::move(AVariable));
    return FItems.back().get();
}

void TODBCVariableList::Clear()
{
    if (FPageBuffer)
        FPageBuffer->Release();
    FPageBuffer.reset();
    FItems.clear();
    FHasLongData = false;
}

void TODBCVariableList::BindVariables()
{
    for (auto &V : FItems) {
        if (!V->Prepared)
            V->Prepare();
        const bool Variable = IsTextOrBinaryC(V->CDataType());
        if (FOnlyFixed && Variable &&
            !(V->ParamType() == SQL_PARAM_INPUT || V->ParamType() == SQL_PARAM_INPUT_OUTPUT))
            continue;
        V->Bind();
    }
}

void TODBCVariableList::Rebind() { BindVariables(); }

void TODBCVariableList::Bind(TODBCBufferKind AKind, int ARowCount, bool AOnlyFixed)
{
    ZQ_ASSERT(!FItems.empty(), CUnit);
    FOnlyFixed = AOnlyFixed;
    for (auto &V : FItems)
        if (!V->Prepared)
            V->Prepare();
    if (!FPageBuffer || FPageBuffer->Kind() != AKind) {
        if (FPageBuffer)
            FPageBuffer->Release();
        if (AKind == TODBCBufferKind::RowWise)
            FPageBuffer = std::make_unique<TODBCRowWiseBuffer>(this);
        else
            FPageBuffer = std::make_unique<TODBCColWiseBuffer>(this);
    }
    if (!(FPageBuffer->Allocated && FPageBuffer->RowCount == ARowCount)) {
        if (FPageBuffer->Allocated)
            FPageBuffer->Release();
        FPageBuffer->RowCount = ARowCount;
        FPageBuffer->Allocate();
        BindVariables();
    }
    FHasLongData = std::any_of(FItems.begin(), FItems.end(), [](const auto &V) { return V->LongData; });
}

// ---- page buffers --------------------------------------------------------------------

SQLLEN TODBCPageBuffer::ValueSize(const TODBCVariable *AVar)
{
    return AVar->LongData ? ODBC_PTR_SIZE : std::max<SQLLEN>(AVar->DataSize, 0);
}

void TODBCPageBuffer::ReleaseLongData()
{
    if (!Allocated)
        return;
    for (int I = 0; I < FList->Count(); ++I) {
        TODBCVariable *V = FList->Items(I);
        if (V->LongData)
            for (int R = 0; R < RowCount; ++R)
                V->FreeLongData(R);
    }
}

void TODBCPageBuffer::Release()
{
    Allocated = false;
    RowCount = 1;
}

void TODBCPageBuffer::SetAttributes()
{
    TODBCStatementBase *Stmt = FList->Statement();
    Stmt->BufferAttrsSet = true;
    RowStatus.assign(size_t(RowCount), 0);
    if (!FList->IsParams()) {
        Stmt->RowArraySizeSet = -1;
        Stmt->SetIntAttr(SQL_ATTR_ROW_ARRAY_SIZE, RowCount);
        Stmt->SetPtrAttr(SQL_ATTR_ROW_STATUS_PTR, RowStatus.data());
        Stmt->SetPtrAttr(SQL_ATTR_ROWS_FETCHED_PTR, &RowsProcessed);
    } else {
        auto *Cmd = static_cast<TODBCCommandStatement *>(Stmt);
        if (Cmd->ParamSetSupported) {
            Stmt->SetIntAttr(SQL_ATTR_PARAMSET_SIZE, RowCount);
            Stmt->SetPtrAttr(SQL_ATTR_PARAM_STATUS_PTR, RowStatus.data());
        }
        Stmt->SetPtrAttr(SQL_ATTR_PARAMS_PROCESSED_PTR, &RowsProcessed);
    }
}

TODBCRowWiseBuffer::~TODBCRowWiseBuffer() { TODBCRowWiseBuffer::Release(); }

void TODBCRowWiseBuffer::SetAttributes()
{
    TODBCStatementBase *Stmt = FList->Statement();
    if (!FList->IsParams())
        Stmt->SetIntAttr(SQL_ATTR_ROW_BIND_TYPE, FRowSize);
    else if (static_cast<TODBCCommandStatement *>(Stmt)->ParamSetSupported)
        Stmt->SetIntAttr(SQL_ATTR_PARAM_BIND_TYPE, FRowSize);
    TODBCPageBuffer::SetAttributes();
}

void TODBCRowWiseBuffer::Allocate()
{
    ZQ_ASSERT(!Allocated, CUnit);
    FOffsets.clear();
    SQLLEN Off = 0;
    for (int I = 0; I < FList->Count(); ++I) {
        FOffsets.push_back(Off);
        Off += AlignSlot(ODBC_IND_SIZE + ValueSize(FList->Items(I)));
    }
    FRowSize = std::max<SQLLEN>(Off, ODBC_IND_SIZE);
    FBlock = static_cast<uint8_t *>(std::calloc(size_t(FRowSize) * size_t(RowCount), 1));
    if (!FBlock)
        throw std::bad_alloc();
    for (int R = 0; R < RowCount; ++R)
        for (int I = 0; I < FList->Count(); ++I) {
            const SQLLEN Ind = SQL_NULL_DATA;
            std::memcpy(FBlock + R * FRowSize + FOffsets[size_t(I)], &Ind, sizeof Ind);
        }
    for (int I = 0; I < FList->Count(); ++I) {
        TODBCVariable *V = FList->Items(I);
        V->IndPtr = reinterpret_cast<SQLLEN *>(FBlock + FOffsets[size_t(I)]);
        V->DataPtr = FBlock + FOffsets[size_t(I)] + ODBC_IND_SIZE;
    }
    Allocated = true;
    SetAttributes();
}

void TODBCRowWiseBuffer::Release()
{
    ReleaseLongData();
    std::free(FBlock);
    FBlock = nullptr;
    if (FList)
        for (int I = 0; I < FList->Count(); ++I) {
            FList->Items(I)->DataPtr = nullptr;
            FList->Items(I)->IndPtr = nullptr;
        }
    TODBCPageBuffer::Release();
}

void TODBCRowWiseBuffer::GetBuffers(const TODBCVariable *AVar, int ARow, uint8_t *&AData, SQLLEN *&AInd) const
{
    ZQ_ASSERT(ARow >= 0 && ARow < RowCount, CUnit);
    uint8_t *Ind = FBlock + ARow * FRowSize + FOffsets[size_t(AVar->Position - 1)];
    AInd = reinterpret_cast<SQLLEN *>(Ind);
    AData = Ind + ODBC_IND_SIZE;
}

void TODBCRowWiseBuffer::Shift(int ARows)
{
    for (int I = 0; I < FList->Count(); ++I) {
        TODBCVariable *V = FList->Items(I);
        V->DataPtr += ARows * FRowSize;
        V->IndPtr = reinterpret_cast<SQLLEN *>(reinterpret_cast<uint8_t *>(V->IndPtr) + ARows * FRowSize);
    }
}

TODBCColWiseBuffer::~TODBCColWiseBuffer() { TODBCColWiseBuffer::Release(); }

void TODBCColWiseBuffer::SetAttributes()
{
    FList->Statement()->SetIntAttr(SQL_ATTR_ROW_BIND_TYPE, SQL_BIND_BY_COLUMN);
    TODBCPageBuffer::SetAttributes();
}

void TODBCColWiseBuffer::Allocate()
{
    ZQ_ASSERT(!Allocated, CUnit);
    FData.clear();
    FInd.clear();
    for (int I = 0; I < FList->Count(); ++I) {
        TODBCVariable *V = FList->Items(I);
        auto *D = static_cast<uint8_t *>(std::calloc(size_t(std::max<SQLLEN>(ValueSize(V), 1)) * size_t(RowCount), 1));
        auto *Ind = static_cast<SQLLEN *>(std::malloc(sizeof(SQLLEN) * size_t(RowCount)));
        if (!D || !Ind) {
            std::free(D);
            std::free(Ind);
            throw std::bad_alloc();
        }
        std::memset(Ind, 0xFF, sizeof(SQLLEN) * size_t(RowCount));
        FData.push_back(D);
        FInd.push_back(Ind);
        V->DataPtr = D;
        V->IndPtr = Ind;
    }
    Allocated = true;
    SetAttributes();
}

void TODBCColWiseBuffer::Release()
{
    ReleaseLongData();
    for (size_t I = 0; I < FData.size(); ++I) {
        std::free(FData[I]);
        std::free(FInd[I]);
        if (FList && int(I) < FList->Count()) {
            FList->Items(int(I))->DataPtr = nullptr;
            FList->Items(int(I))->IndPtr = nullptr;
        }
    }
    FData.clear();
    FInd.clear();
    TODBCPageBuffer::Release();
}

void TODBCColWiseBuffer::GetBuffers(const TODBCVariable *AVar, int ARow, uint8_t *&AData, SQLLEN *&AInd) const
{
    ZQ_ASSERT(ARow >= 0 && ARow < RowCount, CUnit);
    const size_t I = size_t(AVar->Position - 1);
    AData = FData[I] + ARow * ValueSize(AVar);
    AInd = FInd[I] + ARow;
}

void TODBCColWiseBuffer::Shift(int ARows)
{
    for (int I = 0; I < FList->Count(); ++I) {
        TODBCVariable *V = FList->Items(I);
        V->DataPtr += ARows * ValueSize(V);
        V->IndPtr += ARows;
    }
}

// ---- TODBCPieceList ---------------------------------------------------------------------

TODBCPieceList::~TODBCPieceList() { std::free(FScratch); }

int TODBCPieceList::Payload() const
{
    return CDataType == SQL_C_BINARY ? 32768 : CDataType == SQL_C_WCHAR ? 32766 : 32767;
}

uint8_t *TODBCPieceList::Piece(int AIndex)
{
    ZQ_ASSERT(AIndex >= 0 && AIndex < MaxPieces, CUnit);
    if (!FScratch) {
        FScratch = static_cast<uint8_t *>(std::malloc(ScratchSize));
        if (!FScratch)
            throw std::bad_alloc();
    }
    return FScratch + Payload() * AIndex;
}

void TODBCPieceList::Append(TODBCVariable *AVar, int ARow, int AFull, SQLLEN ALast, SQLLEN &ALength)
{
    if (AFull <= 0 && ALast <= 0)
        return;
    uint8_t *Data;
    SQLLEN *Ind;
    AVar->GetBuffers(ARow, Data, Ind);
    void *&Slot = *reinterpret_cast<void **>(Data);
    SQLLEN L = Slot ? ALength : 0;
    if (L > 0 && CDataType == SQL_C_CHAR)
        L -= 1;
    else if (L > 0 && CDataType == SQL_C_WCHAR)
        L -= 2;
    const SQLLEN Add = SQLLEN(Payload()) * std::max(AFull, 0) + std::max<SQLLEN>(ALast, 0);
    void *P = std::realloc(Slot, size_t(L + Add + 2));
    if (!P)
        throw std::bad_alloc();
    Slot = P;
    std::memcpy(static_cast<uint8_t *>(P) + L, Piece(0), size_t(Add));
    // Keep a terminator past the value for readers of zero-terminated text.
    static_cast<uint8_t *>(P)[L + Add] = 0;
    static_cast<uint8_t *>(P)[L + Add + 1] = 0;
    ALength = L + Add;
}
