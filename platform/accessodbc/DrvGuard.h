// The one guard every ODBC entry point runs in: it checks the handle, clears
// the handle's diagnostics (unless the call reads them) and turns anything
// thrown below into SQL_ERROR with a diagnostic record, so that no exception
// ever unwinds into the driver manager.
#pragma once

#include "platform/accessodbc/DrvObjects.h"

#include <cstring>
#include <exception>
#include <new>

namespace accessodbc {

// Live handles: a stale or foreign handle answers SQL_INVALID_HANDLE.
void RegisterHandle(TDrvHandle *AHandle);
void UnregisterHandle(TDrvHandle *AHandle);
TDrvHandle *LookupHandle(SQLHANDLE AHandle, SQLSMALLINT AType);

enum class TGuardMode { ClearDiags, KeepDiags };

template <typename T, typename F>
SQLRETURN Guard(SQLHANDLE AHandle, SQLSMALLINT AType, F &&ABody, TGuardMode AMode = TGuardMode::ClearDiags)
{
    TDrvHandle *H = LookupHandle(AHandle, AType);
    if (!H)
        return SQL_INVALID_HANDLE;
    if (AMode == TGuardMode::ClearDiags)
        H->ClearDiags();
    try {
        return ABody(*static_cast<T *>(H));
    } catch (const TDrvError &E) {
        H->AddDiag(E.State, E.Native, E.Message);
    } catch (const std::bad_alloc &) {
        H->AddDiag("HY001", 0, "Memory allocation error.");
    } catch (const std::exception &E) {
        H->AddDiag("HY000", 0, std::string("Internal error: ") + E.what());
    } catch (...) {
        H->AddDiag("HY000", 0, "Internal error.");
    }
    return SQL_ERROR;
}

// Text out of the driver into an application buffer of ABufferBytes bytes:
// cut with 01004 when it does not fit; the full length goes to ALength.
template <typename L>
SQLRETURN PutString(const std::string &AText, SQLPOINTER ABuf, SQLLEN ABufferBytes, L *ALength, TDrvHandle &ADiag)
{
    if (ALength)
        *ALength = static_cast<L>(AText.size());
    if (!ABuf || ABufferBytes <= 0)
        return AText.empty() || !ABuf ? SQL_SUCCESS : (ADiag.AddDiag("01004", 0, "String data, right truncated."), SQL_SUCCESS_WITH_INFO);
    const size_t Room = static_cast<size_t>(ABufferBytes) - 1;
    const size_t N = AText.size() < Room ? AText.size() : Room;
    std::memcpy(ABuf, AText.data(), N);
    static_cast<char *>(ABuf)[N] = 0;
    if (N < AText.size()) {
        ADiag.AddDiag("01004", 0, "String data, right truncated.");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

inline std::string InText(const SQLCHAR *AText, SQLLEN ALength)
{
    if (!AText)
        return {};
    if (ALength == SQL_NTS)
        return reinterpret_cast<const char *>(AText);
    if (ALength < 0)
        Fail("HY090", 0, "Invalid string or buffer length.");
    return std::string(reinterpret_cast<const char *>(AText), static_cast<size_t>(ALength));
}

// Catalog functions (DrvCatalog.cpp).
void CatalogTables(TDrvStatement &S, const std::string &ATable, const std::string &ATypes);
void CatalogColumns(TDrvStatement &S, const std::string &ATable, const std::string &AColumn);
void CatalogStatistics(TDrvStatement &S, const std::string &ATable, SQLUSMALLINT AUnique);
void CatalogPrimaryKeys(TDrvStatement &S, const std::string &ATable);
void CatalogSpecialColumns(TDrvStatement &S, SQLUSMALLINT AType, const std::string &ATable);
void CatalogForeignKeys(TDrvStatement &S, const std::string &APkTable, const std::string &AFkTable);
void CatalogProcedures(TDrvStatement &S);
void CatalogProcedureColumns(TDrvStatement &S);
void CatalogTypeInfo(TDrvStatement &S, SQLSMALLINT AType);

} // namespace accessodbc
