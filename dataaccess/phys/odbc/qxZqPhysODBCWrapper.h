// qxZqPhysODBCWrapper: a thin object layer over the ODBC 3 call-level
// interface. The driver manager (libodbc.so.2) is loaded at run time and
// every entry point is resolved by name, so a program without unixODBC still
// starts and reports the missing library as an ordinary error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/phys/odbc/qxZqPhysODBCCli.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/rtl/Classes.h"

class TODBCHandle;
class TODBCConnection;
class TODBCStatementBase;
class TODBCVariableList;

// ---- the driver-manager library -------------------------------------------

class TODBCLib {
public:
    TODBCLib(rtl::TObject *AOwningObj, const std::string &AVendorHome, const std::string &AVendorLib);
    ~TODBCLib();
    TODBCLib(const TODBCLib &) = delete;
    TODBCLib &operator=(const TODBCLib &) = delete;

    // The value, or "{value}" when it holds a connect-string special character.
    static std::string EncodeValue(const std::string &AValue);
    // The file loaded for a vendor home and library name ("" home: as given).
    static std::string LibraryName(const std::string &AVendorHome, const std::string &AVendorLib);
    // The default library of this platform.
    static const char *DefaultLibrary();
    // Entry-point names in resolution order (51).
    static const std::vector<const char *> &EntryNames();

    const std::string &Name() const { return FName; }

    SQLRETURN (*SQLAllocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *) = nullptr;
    SQLRETURN (*SQLBindCol)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *) = nullptr;
    SQLRETURN (*SQLBindParameter)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN,
                                  SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *) = nullptr;
    SQLRETURN (*SQLCancel)(SQLHSTMT) = nullptr;
    // One entry, three typed call forms (string, numeric, both).
    SQLRETURN (*SQLColAttribute)(SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT *,
                                 SQLLEN *) = nullptr;
    SQLRETURN (*SQLColumns)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                            SQLCHAR *, SQLSMALLINT) = nullptr;
    SQLRETURN (*SQLDataSources)(SQLHENV, SQLUSMALLINT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *, SQLCHAR *,
                                SQLSMALLINT, SQLSMALLINT *) = nullptr;
    SQLRETURN (*SQLDescribeCol)(SQLHSTMT, SQLUSMALLINT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *, SQLSMALLINT *,
                                SQLULEN *, SQLSMALLINT *, SQLSMALLINT *) = nullptr;
    SQLRETURN (*SQLDescribeParam)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT *, SQLULEN *, SQLSMALLINT *,
                                  SQLSMALLINT *) = nullptr;
    SQLRETURN (*SQLDisconnect)(SQLHDBC) = nullptr;
    SQLRETURN (*SQLDriverConnect)(SQLHDBC, SQLHWND, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *,
                                  SQLUSMALLINT) = nullptr;
    SQLRETURN (*SQLDrivers)(SQLHENV, SQLUSMALLINT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *, SQLCHAR *, SQLSMALLINT,
                            SQLSMALLINT *) = nullptr;
    SQLRETURN (*SQLEndTran)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT) = nullptr;
    SQLRETURN (*SQLExecDirect)(SQLHSTMT, SQLCHAR *, SQLINTEGER) = nullptr;
    SQLRETURN (*SQLExecute)(SQLHSTMT) = nullptr;
    SQLRETURN (*SQLFetch)(SQLHSTMT) = nullptr;
    SQLRETURN (*SQLForeignKeys)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                                SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT) = nullptr;
    SQLRETURN (*SQLFreeHandle)(SQLSMALLINT, SQLHANDLE) = nullptr;
    SQLRETURN (*SQLFreeStmt)(SQLHSTMT, SQLUSMALLINT) = nullptr;
    SQLRETURN (*SQLGetConnectAttr)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *) = nullptr;
    SQLRETURN (*SQLGetCursorName)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *) = nullptr;
    SQLRETURN (*SQLGetData)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *) = nullptr;
    SQLRETURN (*SQLGetDescField)(SQLHDESC, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLINTEGER, SQLINTEGER *) = nullptr;
    SQLRETURN (*SQLGetDescRec)(SQLHDESC, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *, SQLSMALLINT *,
                               SQLSMALLINT *, SQLLEN *, SQLSMALLINT *, SQLSMALLINT *, SQLSMALLINT *) = nullptr;
    SQLRETURN (*SQLGetDiagRec)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR *, SQLINTEGER *, SQLCHAR *, SQLSMALLINT,
                               SQLSMALLINT *) = nullptr;
    SQLRETURN (*SQLGetEnvAttr)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *) = nullptr;
    SQLRETURN (*SQLGetFunctions)(SQLHDBC, SQLUSMALLINT, SQLUSMALLINT *) = nullptr;
    // One entry, typed forms for text, 32-bit, 16-bit and pointer results.
    SQLRETURN (*SQLGetInfo)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT *) = nullptr;
    SQLRETURN (*SQLGetStmtAttr)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *) = nullptr;
    SQLRETURN (*SQLGetTypeInfo)(SQLHSTMT, SQLSMALLINT) = nullptr;
    SQLRETURN (*SQLMoreResults)(SQLHSTMT) = nullptr;
    SQLRETURN (*SQLNumParams)(SQLHSTMT, SQLSMALLINT *) = nullptr;
    SQLRETURN (*SQLNumResultCols)(SQLHSTMT, SQLSMALLINT *) = nullptr;
    SQLRETURN (*SQLParamData)(SQLHSTMT, SQLPOINTER *) = nullptr;
    SQLRETURN (*SQLPrepare)(SQLHSTMT, SQLCHAR *, SQLINTEGER) = nullptr;
    SQLRETURN (*SQLPrimaryKeys)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *,
                                SQLSMALLINT) = nullptr;
    SQLRETURN (*SQLProcedureColumns)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *,
                                     SQLSMALLINT, SQLCHAR *, SQLSMALLINT) = nullptr;
    SQLRETURN (*SQLProcedures)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *,
                               SQLSMALLINT) = nullptr;
    SQLRETURN (*SQLPutData)(SQLHSTMT, SQLPOINTER, SQLLEN) = nullptr;
    SQLRETURN (*SQLRowCount)(SQLHSTMT, SQLLEN *) = nullptr;
    SQLRETURN (*SQLSetConnectAttr)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER) = nullptr;
    SQLRETURN (*SQLSetCursorName)(SQLHSTMT, SQLCHAR *, SQLSMALLINT) = nullptr;
    SQLRETURN (*SQLSetDescField)(SQLHDESC, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLINTEGER) = nullptr;
    SQLRETURN (*SQLSetDescRec)(SQLHDESC, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLLEN, SQLSMALLINT, SQLSMALLINT,
                               SQLPOINTER, SQLLEN *, SQLLEN *) = nullptr;
    SQLRETURN (*SQLSetEnvAttr)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) = nullptr;
    SQLRETURN (*SQLSetPos)(SQLHSTMT, SQLSETPOSIROW, SQLUSMALLINT, SQLUSMALLINT) = nullptr;
    SQLRETURN (*SQLSetStmtAttr)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER) = nullptr;
    SQLRETURN (*SQLSpecialColumns)(SQLHSTMT, SQLUSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                                   SQLCHAR *, SQLSMALLINT, SQLUSMALLINT, SQLUSMALLINT) = nullptr;
    SQLRETURN (*SQLStatistics)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                               SQLUSMALLINT, SQLUSMALLINT) = nullptr;
    SQLRETURN (*SQLTablePrivileges)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *,
                                    SQLSMALLINT) = nullptr;
    SQLRETURN (*SQLTables)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                           SQLCHAR *, SQLSMALLINT) = nullptr;

private:
    void LoadLib();
    void GetEntries();
    void Unload();

    rtl::TObject *FOwningObj;
    std::string FName;
    void *FModule = nullptr;
};

// The process-wide library: the first acquisition loads it, the last
// release unloads it; later acquisitions share it whatever they name.
TODBCLib *ZqODBCLibAcquire(const std::string &AVendorHome, const std::string &AVendorLib, rtl::TObject *AOwningObj);
void ZqODBCLibRelease(TODBCLib *ALib);
// Acquisitions counted now (for checks).
int ZqODBCLibRefCount();

// ---- diagnostics -------------------------------------------------------------

class EODBCNativeException : public EZqDBEngineException {
public:
    EODBCNativeException() = default;
    EODBCNativeException(int32_t AErrorCode, std::string AMessage)
        : EZqDBEngineException(AErrorCode, std::move(AMessage)) {}
    // Reads every diagnostic record of the first allocated handle on the
    // owner chain of AHandle.
    EODBCNativeException(SQLRETURN AStatus, TODBCHandle *AHandle);

    std::unique_ptr<EZqException> CreateDefault() const override { return std::make_unique<EODBCNativeException>(); }
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<rtl::Exception> Clone() const override;
};

// ---- handles -------------------------------------------------------------------

class TODBCHandle : public rtl::TObject {
public:
    ~TODBCHandle() override;

    SQLHANDLE Handle() const { return FHandle; }
    SQLSMALLINT HandleType() const { return FHandleType; }
    TODBCLib *Lib() const { return FLib; }
    TODBCHandle *Owner() const { return FOwner; }
    rtl::TObject *OwningObj() const { return FOwningObj; }

    // Nothing for success; info is kept on the connection; everything else raises.
    void Check(SQLRETURN ARC);
    void AllocHandle();
    void FreeHandle();
    // The first connection on the owner chain, starting with this handle.
    TODBCConnection *Connection();

    virtual void GetIntAttr(SQLINTEGER AAttr, SQLLEN &AValue);
    virtual void GetStrAttr(SQLINTEGER AAttr, std::string &AValue);
    virtual void SetAttr(SQLINTEGER AAttr, SQLPOINTER AValue, bool AIsText);

    SQLLEN GetIntAttr(SQLINTEGER AAttr);
    void SetIntAttr(SQLINTEGER AAttr, SQLLEN AValue) { SetAttr(AAttr, reinterpret_cast<SQLPOINTER>(AValue), false); }
    void SetPtrAttr(SQLINTEGER AAttr, void *AValue) { SetAttr(AAttr, AValue, false); }

protected:
    TODBCHandle(TODBCLib *ALib, TODBCHandle *AOwner, SQLSMALLINT AType, rtl::TObject *AOwningObj)
        : FHandleType(AType), FLib(ALib), FOwner(AOwner), FOwningObj(AOwningObj) {}

    SQLHANDLE FHandle = SQL_NULL_HANDLE;
    SQLSMALLINT FHandleType;
    TODBCLib *FLib;
    TODBCHandle *FOwner;
    rtl::TObject *FOwningObj;
};

class TODBCEnvironment : public TODBCHandle {
public:
    TODBCEnvironment(TODBCLib *ALib, rtl::TObject *AOwningObj);
    using TODBCHandle::GetIntAttr;

    void GetIntAttr(SQLINTEGER AAttr, SQLLEN &AValue) override;
    void GetStrAttr(SQLINTEGER AAttr, std::string &AValue) override;
    void SetAttr(SQLINTEGER AAttr, SQLPOINTER AValue, bool AIsText) override;

    bool DriversFirst(std::string &ADescription, std::string &AAttributes) { return Drivers(SQL_FETCH_FIRST, ADescription, AAttributes); }
    bool DriversNext(std::string &ADescription, std::string &AAttributes) { return Drivers(SQL_FETCH_NEXT, ADescription, AAttributes); }
    bool DataSourcesFirst(std::string &AName, std::string &ADescription) { return DataSources(SQL_FETCH_FIRST, AName, ADescription); }
    bool DataSourcesNext(std::string &AName, std::string &ADescription) { return DataSources(SQL_FETCH_NEXT, AName, ADescription); }

private:
    bool Drivers(SQLUSMALLINT ADirection, std::string &ADescription, std::string &AAttributes);
    bool DataSources(SQLUSMALLINT ADirection, std::string &AName, std::string &ADescription);
};

class TODBCTransaction {
public:
    explicit TODBCTransaction(TODBCConnection *AConnection);
    void StartTransaction();
    void Commit(bool AEnvironmentWide = false) { EndTran(SQL_COMMIT, AEnvironmentWide); }
    void Rollback(bool AEnvironmentWide = false) { EndTran(SQL_ROLLBACK, AEnvironmentWide); }

private:
    void EndTran(SQLSMALLINT ACompletion, bool AEnvironmentWide);
    TODBCConnection *FConnection;
};

// Called once per diagnostic record: (handle, record, SQLSTATE, native
// error, message, last command text, var object name, var kind, var offset).
using TODBCGetErrorInfo = std::function<void(TODBCHandle *, int, const std::string &, int32_t,
                                             const std::string &, const std::string &, std::string &, uint8_t &,
                                             int32_t &)>;
// (C type, SQL type is fixed character/binary, SQL type is numeric, var
// maximum column size, var maximum data size).
using TODBCGetMaxSizes = std::function<void(SQLSMALLINT, bool, bool, SQLULEN &, SQLLEN &)>;

// RDBMS kinds detected from the driver file name.
enum : uint8_t {
    ODBCKindUnknown = 0, ODBCKindOracle = 1, ODBCKindMSSQL = 2, ODBCKindMSAccess = 3, ODBCKindMySQL = 4,
    ODBCKindDB2 = 5, ODBCKindASA = 6, ODBCKindADS = 7, ODBCKindOther = 8
};

class TODBCConnection : public TODBCHandle {
public:
    TODBCConnection(TODBCEnvironment *AEnvironment, rtl::TObject *AOwningObj);
    ~TODBCConnection() override;
    using TODBCHandle::GetIntAttr;

    void GetIntAttr(SQLINTEGER AAttr, SQLLEN &AValue) override;
    void GetStrAttr(SQLINTEGER AAttr, std::string &AValue) override;
    void SetAttr(SQLINTEGER AAttr, SQLPOINTER AValue, bool AIsText) override;

    // Connects and returns the completed connect string.
    std::string DriverConnect(const std::string &AConnectString, bool APrompt);
    void Disconnect();
    std::string GetInfoStr(SQLUSMALLINT AType);
    SQLUINTEGER GetInfoInt(SQLUSMALLINT AType);
    SQLUSMALLINT GetInfoSmallint(SQLUSMALLINT AType);
    SQLUSMALLINT GetFunctions(SQLUSMALLINT AFunction);
    void ClearInfo() { FInfo.reset(); }
    // The kind for a driver file name and DBMS name.
    static uint8_t KindOfDriver(const std::string &ADriverName, const std::string &ADBMSName);

    TODBCTransaction &Transaction() { return *FTransaction; }
    EODBCNativeException *Info() const { return FInfo.get(); }
    void SetInfo(std::unique_ptr<EODBCNativeException> AInfo) { FInfo = std::move(AInfo); }

    TODBCGetErrorInfo OnGetErrorInfo;
    TODBCGetMaxSizes OnGetMaxSizes;
    uint8_t RDBMSKind = ODBCKindUnknown;
    bool Connected = false;
    char ParamDecimalSeparator = '.';
    char ColumnDecimalSeparator = '.';
    std::string LastCommandText;

private:
    void DetectRDBMSKind();
    std::unique_ptr<TODBCTransaction> FTransaction;
    std::unique_ptr<EODBCNativeException> FInfo;
};
