// Jet column types as ODBC reports them, and the conversion of stored values
// into the C types an application binds.
#include "platform/accessodbc/DrvObjects.h"

#include "platform/accessodbc/JetDate.h"
#include "platform/accessodbc/JetText.h"
#include "platform/rtl/CLocaleText.h"

#include <sqlite3.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <limits>

namespace accessodbc {

const char *const DriverPrefix = "[Marlin][ODBC Access Driver] ";

[[noreturn]] void Fail(const char *AState, int ANative, const std::string &AMessage)
{
    throw TDrvError{AState, ANative, AMessage};
}

void TDrvHandle::AddDiag(const std::string &AState, int ANative, const std::string &AMessage)
{
    Diags.push_back({AState, ANative, DriverPrefix + AMessage});
}

// ------------------------------------------------------------ Jet types

TJetType JetTypeOfDecl(const char *ADecl, int &ASize)
{
    ASize = 0;
    if (!ADecl || !*ADecl)
        return TJetType::Unknown;
    std::string U;
    for (const char *P = ADecl; *P; ++P)
        U += rtl::CUpCase(*P);
    const size_t Paren = U.find('(');
    const std::string Word = U.substr(0, Paren);
    if (Paren != std::string::npos)
        ASize = std::atoi(U.c_str() + Paren + 1);
    if (Word == "BYTE") return TJetType::Byte;
    if (Word == "SHORT") return TJetType::Short;
    if (Word == "LONG") return TJetType::Long;
    if (Word == "COUNTER") return TJetType::Counter;
    if (Word == "SINGLE") return TJetType::Single;
    if (Word == "DOUBLE") return TJetType::Double;
    if (Word == "CURRENCY") return TJetType::Currency;
    if (Word == "DATETIME") return TJetType::DateTime;
    if (Word == "YESNO") return TJetType::YesNo;
    if (Word == "TEXT") {
        if (ASize <= 0 || ASize > 255)
            ASize = 255;
        return TJetType::Text;
    }
    // LONGTEXT is the canonical word: its "TEXT" gives the column SQLite's
    // text affinity, so a memo that reads as a number keeps its spelling.
    // MEMO columns of older files are read the same way.
    if (Word == "LONGTEXT" || Word == "MEMO") return TJetType::Memo;
    if (Word == "BINARY") {
        if (ASize <= 0 || ASize > 510)
            ASize = 510;
        return TJetType::Binary;
    }
    if (Word == "LONGBINARY") return TJetType::LongBinary;
    // Tables made by other SQLite tools: SQLite's own affinity rules.
    if (U.find("INT") != std::string::npos) return TJetType::Long;
    if (U.find("CHAR") != std::string::npos || U.find("TEXT") != std::string::npos || U.find("CLOB") != std::string::npos) {
        if (ASize > 0 && ASize <= 255)
            return TJetType::Text;
        return TJetType::Memo;
    }
    if (U.find("BLOB") != std::string::npos) return TJetType::LongBinary;
    if (U.find("REAL") != std::string::npos || U.find("FLOA") != std::string::npos || U.find("DOUB") != std::string::npos)
        return TJetType::Double;
    if (U.find("DATE") != std::string::npos || U.find("TIME") != std::string::npos) return TJetType::DateTime;
    if (U.find("BOOL") != std::string::npos) return TJetType::YesNo;
    return TJetType::Double;
}

SQLSMALLINT SqlTypeOf(TJetType T)
{
    switch (T) {
    case TJetType::Byte: return SQL_TINYINT;
    case TJetType::Short: return SQL_SMALLINT;
    case TJetType::Long:
    case TJetType::Counter: return SQL_INTEGER;
    case TJetType::Single: return SQL_REAL;
    case TJetType::Double: return SQL_DOUBLE;
    case TJetType::Currency: return SQL_NUMERIC;
    case TJetType::DateTime: return SQL_TYPE_TIMESTAMP;
    case TJetType::YesNo: return SQL_BIT;
    case TJetType::Text: return SQL_VARCHAR;
    case TJetType::Memo: return SQL_LONGVARCHAR;
    case TJetType::Binary: return SQL_VARBINARY;
    case TJetType::LongBinary: return SQL_LONGVARBINARY;
    default: return SQL_VARCHAR;
    }
}

const char *TypeNameOf(TJetType T)
{
    switch (T) {
    case TJetType::Byte: return "BYTE";
    case TJetType::Short: return "SMALLINT";
    case TJetType::Long: return "INTEGER";
    case TJetType::Counter: return "COUNTER";
    case TJetType::Single: return "REAL";
    case TJetType::Double: return "DOUBLE";
    case TJetType::Currency: return "CURRENCY";
    case TJetType::DateTime: return "DATETIME";
    case TJetType::YesNo: return "BIT";
    case TJetType::Text: return "VARCHAR";
    case TJetType::Memo: return "LONGCHAR";
    case TJetType::Binary: return "VARBINARY";
    case TJetType::LongBinary: return "LONGBINARY";
    default: return "VARCHAR";
    }
}

SQLULEN ColumnSizeOf(TJetType T, int ASize)
{
    switch (T) {
    case TJetType::Byte: return 3;
    case TJetType::Short: return 5;
    case TJetType::Long:
    case TJetType::Counter: return 10;
    case TJetType::Single: return 24; // binary digits of the mantissa, as FLOAT(24)
    case TJetType::Double: return 53;
    case TJetType::Currency: return 19;
    case TJetType::DateTime: return 23;
    case TJetType::YesNo: return 1;
    case TJetType::Text:
    case TJetType::Binary: return static_cast<SQLULEN>(ASize);
    case TJetType::Memo:
    case TJetType::LongBinary: return 1073741823;
    default: return 255;
    }
}

SQLSMALLINT DecimalDigitsOf(TJetType T)
{
    if (T == TJetType::Currency)
        return 4;
    if (T == TJetType::DateTime)
        return 3;
    return 0;
}

SQLLEN OctetLengthOf(TJetType T, int ASize)
{
    switch (T) {
    case TJetType::Byte:
    case TJetType::YesNo: return 1;
    case TJetType::Short: return 2;
    case TJetType::Long:
    case TJetType::Counter:
    case TJetType::Single: return 4;
    case TJetType::Double: return 8;
    case TJetType::Currency: return 21;
    case TJetType::DateTime: return 16;
    // UTF-8 needs at most three bytes per UTF-16 unit of the declared size.
    case TJetType::Text: return 3 * static_cast<SQLLEN>(ASize);
    case TJetType::Binary: return ASize;
    case TJetType::Memo:
    case TJetType::LongBinary: return 1073741823;
    default: return 765;
    }
}

SQLSMALLINT DefaultCType(SQLSMALLINT ASqlType)
{
    switch (ASqlType) {
    case SQL_TINYINT: return SQL_C_UTINYINT;
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    case SQL_TYPE_DATE:
    case SQL_DATE: return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME:
    case SQL_TIME: return SQL_C_TYPE_TIME;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    default: return SQL_C_CHAR;
    }
}

// ----------------------------------------------------------- value views

TValueView ViewOf(const TValue &V)
{
    TValueView R;
    R.Kind = V.Kind;
    R.I = V.I;
    R.D = V.D;
    R.P = V.S.data();
    R.N = V.S.size();
    return R;
}

TValueView ViewOf(sqlite3_stmt *AStmt, int ACol)
{
    // The column's value once, then read as it is stored: each
    // sqlite3_column_* call finds the column and checks the statement anew.
    // The link has no mutex to take (see DrvConnection.cpp), so the
    // unprotected value may be read directly.
    sqlite3_value *V = sqlite3_column_value(AStmt, ACol);
    TValueView R;
    R.Kind = sqlite3_value_type(V);
    switch (R.Kind) {
    case SQLITE_INTEGER: R.I = sqlite3_value_int64(V); break;
    case SQLITE_FLOAT: R.D = sqlite3_value_double(V); break;
    case SQLITE_TEXT:
        R.P = reinterpret_cast<const char *>(sqlite3_value_text(V));
        R.N = static_cast<size_t>(sqlite3_value_bytes(V));
        break;
    case SQLITE_BLOB:
        R.P = static_cast<const char *>(sqlite3_value_blob(V));
        R.N = static_cast<size_t>(sqlite3_value_bytes(V));
        break;
    default: break;
    }
    return R;
}

void CopyInto(TValue &ADst, const TValueView &V)
{
    ADst.Kind = V.Kind;
    ADst.I = V.I;
    ADst.D = V.D;
    if (V.Kind == SQLITE_TEXT || V.Kind == SQLITE_BLOB)
        ADst.S.assign(V.P ? V.P : "", V.N);
    else
        ADst.S.clear();
}

// ----------------------------------------------------------------- UTF

std::u16string Utf8ToUtf16(const char *S, size_t N)
{
    size_t Units = 0;
    return jet::Utf8ToUtf16(S, N, std::numeric_limits<size_t>::max(), Units);
}

std::string Utf16ToUtf8(const SQLWCHAR *S, SQLLEN N)
{
    std::string R;
    if (!S)
        return R;
    if (N == SQL_NTS) {
        N = 0;
        while (S[N])
            ++N;
    }
    for (SQLLEN i = 0; i < N; ++i) {
        char32_t Cp = S[i];
        if (Cp >= 0xD800 && Cp < 0xDC00 && i + 1 < N && S[i + 1] >= 0xDC00 && S[i + 1] < 0xE000) {
            Cp = 0x10000 + ((Cp - 0xD800) << 10) + (S[i + 1] - 0xDC00);
            ++i;
        }
        jet::AppendUtf8(R, Cp);
    }
    return R;
}

// ---------------------------------------------------------- conversions

namespace {

// Shortest text that reads back as the same double.
std::string DoubleText(double V)
{
    std::string S;
    for (int Digits = 15; Digits <= 17; ++Digits) {
        S = rtl::CFloatText(V, 'g', Digits);
        double Back;
        if (rtl::CTryTextToFloat(S, Back) && Back == V)
            break;
    }
    return S;
}
std::string SingleText(double V)
{
    std::string S;
    const float F = static_cast<float>(V);
    for (int Digits = 7; Digits <= 9; ++Digits) {
        S = rtl::CFloatText(static_cast<double>(F), 'g', Digits);
        double Back;
        if (rtl::CTryTextToFloat(S, Back) && static_cast<float>(Back) == F)
            break;
    }
    return S;
}
std::string CurrencyText(std::int64_t Scaled)
{
    const bool Neg = Scaled < 0;
    const std::uint64_t A = Neg ? static_cast<std::uint64_t>(-(Scaled + 1)) + 1 : static_cast<std::uint64_t>(Scaled);
    std::string S = std::to_string(A / 10000);
    std::uint64_t F = A % 10000;
    if (F) {
        char Buf[8];
        std::snprintf(Buf, sizeof Buf, ".%04u", static_cast<unsigned>(F));
        std::string Frac = Buf;
        while (Frac.back() == '0')
            Frac.pop_back();
        S += Frac;
    }
    return Neg ? "-" + S : S;
}

bool ParseNumber(const char *P, size_t N, double &AOut)
{
    std::string S(P, N);
    size_t B = 0, E = S.size();
    while (B < E && std::isspace(static_cast<unsigned char>(S[B])))
        ++B;
    while (E > B && std::isspace(static_cast<unsigned char>(S[E - 1])))
        --E;
    if (B == E)
        return false;
    return rtl::CTryTextToFloat(std::string_view(S).substr(B, E - B), AOut) && std::isfinite(AOut);
}

// The value as a number: Currency unscaled, YesNo as ODBC's 1/0 of SQL_BIT.
double NumberOf(const TValueView &V, const TColumnInfo &C)
{
    double D;
    switch (V.Kind) {
    case SQLITE_INTEGER:
        if (C.Type == TJetType::Currency)
            return static_cast<double>(V.I) / 10000.0;
        if (C.Type == TJetType::YesNo)
            return V.I != 0 ? 1.0 : 0.0;
        return static_cast<double>(V.I);
    case SQLITE_FLOAT:
        if (C.Type == TJetType::YesNo)
            return V.D != 0 ? 1.0 : 0.0;
        return V.D;
    case SQLITE_TEXT:
        if (ParseNumber(V.P, V.N, D))
            return D;
        Fail("22018", -3030, "Invalid character value for a conversion: '" + std::string(V.P, std::min<size_t>(V.N, 40)) + "' is no number.");
    default:
        Fail("07006", -3030, "Restricted data type attribute violation: binary data cannot be read as a number.");
    }
}

std::string TextOf(const TValueView &V, const TColumnInfo &C)
{
    switch (V.Kind) {
    case SQLITE_INTEGER:
        if (C.Type == TJetType::Currency)
            return CurrencyText(V.I);
        if (C.Type == TJetType::YesNo)
            return V.I ? "1" : "0";
        if (C.Type == TJetType::DateTime)
            return jet::FormatJetDateCanonical(static_cast<double>(V.I));
        return std::to_string(V.I);
    case SQLITE_FLOAT:
        if (C.Type == TJetType::DateTime)
            return jet::FormatJetDateCanonical(V.D);
        if (C.Type == TJetType::Single)
            return SingleText(V.D);
        if (C.Type == TJetType::YesNo)
            return V.D != 0 ? "1" : "0";
        return DoubleText(V.D);
    case SQLITE_BLOB: {
        static const char Hex[] = "0123456789ABCDEF";
        std::string S;
        for (size_t i = 0; i < V.N; ++i) {
            S += Hex[static_cast<unsigned char>(V.P[i]) >> 4];
            S += Hex[static_cast<unsigned char>(V.P[i]) & 15];
        }
        return S;
    }
    default: return std::string(V.P ? V.P : "", V.N);
    }
}

// The value as a Jet date: a number is a day number, a text is parsed.
double DateOf(const TValueView &V)
{
    if (V.Kind == SQLITE_INTEGER)
        return static_cast<double>(V.I);
    if (V.Kind == SQLITE_FLOAT)
        return V.D;
    if (V.Kind == SQLITE_TEXT) {
        double D;
        if (jet::ReadJetDateText(std::string_view(V.P, V.N), D))
            return D;
        Fail("22018", -3030, "Invalid character value for a conversion: '" + std::string(V.P, std::min<size_t>(V.N, 40)) + "' is no date.");
    }
    Fail("07006", -3030, "Restricted data type attribute violation: binary data cannot be read as a date.");
}

template <typename T>
SQLRETURN PutInteger(double D, SQLPOINTER Buf, SQLLEN *Ind, TDrvHandle &Diag)
{
    const double Whole = std::trunc(D);
    if (Whole < static_cast<double>(std::numeric_limits<T>::min()) ||
        Whole > static_cast<double>(std::numeric_limits<T>::max()))
        // The stored value is said: an identity that does not fit is found
        // by it.
        Fail("22003", -3030, "Numeric value out of range for the bound C type: " +
                                 (std::fabs(Whole) < 9.2e18 ? std::to_string(static_cast<long long>(Whole))
                                                            : std::string("beyond 64 bits")) + ".");
    if (Buf)
        *static_cast<T *>(Buf) = static_cast<T>(Whole);
    if (Ind)
        *Ind = sizeof(T);
    if (Whole != D) {
        Diag.AddDiag("01S07", 0, "Fractional truncation.");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

// Hands out bytes (or UTF-16 units) of a long value in pieces. AData holds
// ABytes of it: all of it, or for a bound column (no pieces) the first
// bytes of a value AWhole bytes long.
SQLRETURN PutPieces(const char *AData, size_t ABytes, size_t AUnit, size_t ATerminator, SQLPOINTER Buf, SQLLEN Len,
                    SQLLEN *Ind, TPieceState *Piece, TDrvHandle &Diag, size_t AWhole = SIZE_MAX)
{
    size_t Offset = Piece ? Piece->Offset : 0;
    if (Piece && Piece->Started && Offset >= ABytes)
        return SQL_NO_DATA;
    const size_t Remaining = (AWhole == SIZE_MAX ? ABytes : AWhole) - Offset;
    size_t Capacity = 0;
    if (Len > 0 && static_cast<size_t>(Len) >= ATerminator)
        Capacity = (static_cast<size_t>(Len) - ATerminator) / AUnit * AUnit;
    const size_t Now = std::min(ABytes - Offset, Capacity);
    if (Buf && Len > 0) {
        if (Now)
            std::memcpy(Buf, AData + Offset, Now);
        if (ATerminator && static_cast<size_t>(Len) >= ATerminator)
            std::memset(static_cast<char *>(Buf) + Now, 0, ATerminator);
    }
    if (Ind)
        *Ind = static_cast<SQLLEN>(Remaining);
    if (Piece) {
        Piece->Started = true;
        Piece->Offset = Offset + Now;
    }
    if (Now < Remaining) {
        Diag.AddDiag("01004", 0, "String data, right truncated: the value holds " + std::to_string(Remaining) +
                                     " bytes, the buffer takes " + std::to_string(Now) + ".");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

} // namespace

SQLRETURN PutValue(const TValueView &AValue, const TColumnInfo &C, SQLSMALLINT CType, SQLPOINTER Buf, SQLLEN Len,
                   SQLLEN *Ind, TPieceState *Piece, TDrvHandle &Diag, SQLULEN AMaxLength)
{
    // A statement's SQL_ATTR_MAX_LENGTH: no more of a text or binary value
    // is handed out (and its length counts no further), in whatever piece.
    TValueView V = AValue;
    if (AMaxLength && (V.Kind == SQLITE_TEXT || V.Kind == SQLITE_BLOB) && CType != SQL_C_WCHAR)
        V.N = std::min<size_t>(V.N, AMaxLength);
    const size_t MaxUnits = AMaxLength ? AMaxLength / 2 : std::numeric_limits<size_t>::max();
    const bool Fixed = !(CType == SQL_C_CHAR || CType == SQL_C_WCHAR || CType == SQL_C_BINARY);
    if (Piece && Fixed) {
        if (Piece->Started)
            return SQL_NO_DATA;
        Piece->Started = true;
    }
    if (V.Kind == SQLITE_NULL) {
        if (Piece && !Fixed) {
            if (Piece->Started)
                return SQL_NO_DATA;
            Piece->Started = true;
        }
        if (!Ind)
            Fail("22002", 0, "Indicator variable required but not supplied: the value is Null.");
        *Ind = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    if (CType == SQL_C_DEFAULT)
        CType = DefaultCType(SqlTypeOf(C.Type));
    // A Jet number is finite. SQLite keeps an overflowing literal (1e400)
    // as an infinite REAL (and a NaN as Null): no number, as the text
    // 'inf' is none, in whatever type it is asked for. Its bytes as they
    // are stay to be had.
    if (V.Kind == SQLITE_FLOAT && !std::isfinite(V.D) && CType != SQL_C_BINARY)
        Fail("22003", -3030, std::string("Numeric value out of range: '") + (V.D < 0 ? "-Inf" : "Inf") +
                                 "' is no finite number.");

    // A level's numbers into numbers, the bulk of every fetch: written
    // straight. Currency (scaled) and YesNo (any true value is 1) go the
    // long way, and so does a value the C type cannot hold (22003).
    const bool Plain = C.Type != TJetType::Currency && C.Type != TJetType::YesNo;
    if (Plain && CType == SQL_C_DOUBLE && (V.Kind == SQLITE_FLOAT || V.Kind == SQLITE_INTEGER)) {
        if (Buf)
            *static_cast<double *>(Buf) = V.Kind == SQLITE_FLOAT ? V.D : static_cast<double>(V.I);
        if (Ind)
            *Ind = sizeof(double);
        return SQL_SUCCESS;
    }
    if (Plain && (CType == SQL_C_SLONG || CType == SQL_C_LONG) && V.Kind == SQLITE_INTEGER &&
        V.I >= std::numeric_limits<SQLINTEGER>::min() && V.I <= std::numeric_limits<SQLINTEGER>::max()) {
        if (Buf)
            *static_cast<SQLINTEGER *>(Buf) = static_cast<SQLINTEGER>(V.I);
        if (Ind)
            *Ind = sizeof(SQLINTEGER);
        return SQL_SUCCESS;
    }
    if (Plain && (CType == SQL_C_SSHORT || CType == SQL_C_SHORT) && V.Kind == SQLITE_INTEGER &&
        V.I >= std::numeric_limits<short>::min() && V.I <= std::numeric_limits<short>::max()) {
        if (Buf)
            *static_cast<short *>(Buf) = static_cast<short>(V.I);
        if (Ind)
            *Ind = sizeof(short);
        return SQL_SUCCESS;
    }

    switch (CType) {
    case SQL_C_CHAR: {
        if (V.Kind == SQLITE_TEXT || (V.Kind == SQLITE_BLOB && C.Type != TJetType::LongBinary && C.Type != TJetType::Binary))
            return PutPieces(V.P, V.N, 1, 1, Buf, Len, Ind, Piece, Diag);
        if (Piece) {
            if (!Piece->Started)
                Piece->Text = TextOf(V, C);
            return PutPieces(Piece->Text.data(), Piece->Text.size(), 1, 1, Buf, Len, Ind, Piece, Diag);
        }
        const std::string T = TextOf(V, C);
        return PutPieces(T.data(), T.size(), 1, 1, Buf, Len, Ind, nullptr, Diag);
    }
    case SQL_C_WCHAR: {
        size_t Units = 0;
        if (Piece) {
            std::u16string &W = Piece->Wide;
            if (!Piece->Started) {
                if (V.Kind == SQLITE_TEXT)
                    W = jet::Utf8ToUtf16(V.P, V.N, MaxUnits, Units);
                else {
                    const std::string T = TextOf(V, C);
                    W = jet::Utf8ToUtf16(T.data(), T.size(), MaxUnits, Units);
                }
            }
            return PutPieces(reinterpret_cast<const char *>(W.data()), W.size() * 2, 2, 2, Buf, Len, Ind, Piece, Diag);
        }
        // A bound buffer takes the units it has room for; the rest of a
        // long text is counted, not converted.
        const size_t Room = std::min(Len >= 2 ? static_cast<size_t>(Len - 2) / 2 : 0, MaxUnits);
        const std::string T = V.Kind == SQLITE_TEXT ? std::string() : TextOf(V, C);
        const std::u16string W = V.Kind == SQLITE_TEXT ? jet::Utf8ToUtf16(V.P, V.N, Room, Units)
                                                       : jet::Utf8ToUtf16(T.data(), T.size(), Room, Units);
        return PutPieces(reinterpret_cast<const char *>(W.data()), W.size() * 2, 2, 2, Buf, Len, Ind, nullptr, Diag,
                         std::min(Units, MaxUnits) * 2);
    }
    case SQL_C_BINARY: {
        if (V.Kind == SQLITE_TEXT || V.Kind == SQLITE_BLOB)
            return PutPieces(V.P, V.N, 1, 0, Buf, Len, Ind, Piece, Diag);
        if (V.Kind == SQLITE_INTEGER)
            return PutPieces(reinterpret_cast<const char *>(&V.I), sizeof V.I, 1, 0, Buf, Len, Ind, Piece, Diag);
        return PutPieces(reinterpret_cast<const char *>(&V.D), sizeof V.D, 1, 0, Buf, Len, Ind, Piece, Diag);
    }
    case SQL_C_BIT: {
        const double D = NumberOf(V, C);
        if (D < 0 || D >= 2)
            Fail("22003", -3030, "Numeric value out of range for SQL_C_BIT.");
        if (Buf)
            *static_cast<unsigned char *>(Buf) = D >= 1 ? 1 : 0;
        if (Ind)
            *Ind = 1;
        if (D != 0 && D != 1) {
            Diag.AddDiag("01S07", 0, "Fractional truncation.");
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    }
    case SQL_C_TINYINT:
    case SQL_C_STINYINT: return PutInteger<signed char>(NumberOf(V, C), Buf, Ind, Diag);
    case SQL_C_UTINYINT: return PutInteger<unsigned char>(NumberOf(V, C), Buf, Ind, Diag);
    case SQL_C_SHORT:
    case SQL_C_SSHORT: return PutInteger<short>(NumberOf(V, C), Buf, Ind, Diag);
    case SQL_C_USHORT: return PutInteger<unsigned short>(NumberOf(V, C), Buf, Ind, Diag);
    case SQL_C_LONG:
    case SQL_C_SLONG: return PutInteger<SQLINTEGER>(NumberOf(V, C), Buf, Ind, Diag);
    case SQL_C_ULONG: return PutInteger<SQLUINTEGER>(NumberOf(V, C), Buf, Ind, Diag);
    case SQL_C_SBIGINT:
        if (V.Kind == SQLITE_INTEGER && C.Type != TJetType::Currency && C.Type != TJetType::YesNo) {
            if (Buf)
                *static_cast<SQLBIGINT *>(Buf) = V.I;
            if (Ind)
                *Ind = sizeof(SQLBIGINT);
            return SQL_SUCCESS;
        }
        return PutInteger<SQLBIGINT>(NumberOf(V, C), Buf, Ind, Diag);
    case SQL_C_UBIGINT: return PutInteger<SQLUBIGINT>(NumberOf(V, C), Buf, Ind, Diag);
    case SQL_C_FLOAT:
        if (Buf)
            *static_cast<float *>(Buf) = static_cast<float>(C.Type == TJetType::DateTime ? DateOf(V) : NumberOf(V, C));
        if (Ind)
            *Ind = sizeof(float);
        return SQL_SUCCESS;
    case SQL_C_DOUBLE:
        if (Buf)
            *static_cast<double *>(Buf) = C.Type == TJetType::DateTime ? DateOf(V) : NumberOf(V, C);
        if (Ind)
            *Ind = sizeof(double);
        return SQL_SUCCESS;
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: {
        const jet::TJetDateTime T = jet::DecodeJetDate(DateOf(V));
        if (Buf) {
            auto *D = static_cast<SQL_DATE_STRUCT *>(Buf);
            D->year = static_cast<SQLSMALLINT>(T.Year);
            D->month = static_cast<SQLUSMALLINT>(T.Month);
            D->day = static_cast<SQLUSMALLINT>(T.Day);
        }
        if (Ind)
            *Ind = sizeof(SQL_DATE_STRUCT);
        if (T.Hour || T.Minute || T.Second || T.Millisecond) {
            Diag.AddDiag("01S07", 0, "Fractional truncation: the time of day was dropped.");
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    }
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: {
        const jet::TJetDateTime T = jet::DecodeJetDate(DateOf(V));
        if (Buf) {
            auto *D = static_cast<SQL_TIME_STRUCT *>(Buf);
            D->hour = static_cast<SQLUSMALLINT>(T.Hour);
            D->minute = static_cast<SQLUSMALLINT>(T.Minute);
            D->second = static_cast<SQLUSMALLINT>(T.Second);
        }
        if (Ind)
            *Ind = sizeof(SQL_TIME_STRUCT);
        if (T.Millisecond) {
            Diag.AddDiag("01S07", 0, "Fractional truncation: the milliseconds were dropped.");
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    }
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: {
        const jet::TJetDateTime T = jet::DecodeJetDate(DateOf(V));
        if (Buf) {
            auto *D = static_cast<SQL_TIMESTAMP_STRUCT *>(Buf);
            D->year = static_cast<SQLSMALLINT>(T.Year);
            D->month = static_cast<SQLUSMALLINT>(T.Month);
            D->day = static_cast<SQLUSMALLINT>(T.Day);
            D->hour = static_cast<SQLUSMALLINT>(T.Hour);
            D->minute = static_cast<SQLUSMALLINT>(T.Minute);
            D->second = static_cast<SQLUSMALLINT>(T.Second);
            D->fraction = static_cast<SQLUINTEGER>(T.Millisecond) * 1000000u;
        }
        if (Ind)
            *Ind = sizeof(SQL_TIMESTAMP_STRUCT);
        return SQL_SUCCESS;
    }
    default:
        Fail("07006", 0, "Restricted data type attribute violation: C type " + std::to_string(CType) +
                             " is not supported for this column.");
    }
}

} // namespace accessodbc
