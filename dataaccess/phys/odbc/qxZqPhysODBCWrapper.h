// qxZqPhysODBCWrapper: a thin object layer over the ODBC 3 call-level
// interface. The driver manager (libodbc.so.2) is loaded at run time and
// every entry point is resolved by name, so a program without unixODBC still
// starts and reports the missing library as an ordinary error.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
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
    // Not one of the entries a manager must have: resolved when it has it
    // (every ODBC 3 manager does). It tells the row and the column a
    // fetch's record is about.
    SQLRETURN (*SQLGetDiagField)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLSMALLINT,
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
    // owner chain of AHandle. A statement's record about one row of a fetch
    // (SQL_DIAG_ROW_NUMBER) gets that row's page index as its RowIndex and
    // the name of the column it names as its ObjName.
    EODBCNativeException(SQLRETURN AStatus, TODBCHandle *AHandle);

    // The records about the fetch's row ARow (every record, when none names
    // that row), the first one's text as the message.
    std::unique_ptr<EZqDBEngineException> OfRow(int ARow) const;

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
    friend class TODBCStatementBase;
    void DetectRDBMSKind();
    // Statements made on this connection. The driver manager releases a
    // connection's statement handles when it disconnects, so each of them is
    // told to forget its handle then (and when the connection goes away):
    // whatever order the owners close in, no freed handle reaches a driver.
    void AttachStatement(TODBCStatementBase *AStatement);
    void DetachStatement(TODBCStatementBase *AStatement);
    void DropStatements();
    std::unique_ptr<TODBCTransaction> FTransaction;
    std::unique_ptr<EODBCNativeException> FInfo;
    std::vector<TODBCStatementBase *> FStatements; // not owned: each detaches itself
    // A command may make or free its statement on an executor's thread.
    std::mutex FStatementsLock;
};

// ---- variables and page buffers ----------------------------------------------

class TODBCPageBuffer;

// One bound result column or one statement parameter.
class TODBCVariable {
public:
    TODBCVariable() = default;
    virtual ~TODBCVariable() = default;

    SQLSMALLINT CDataType() const { return FCDataType; }
    void SetCDataType(SQLSMALLINT AValue);
    SQLSMALLINT ParamType() const { return FParamType; }
    void SetParamType(SQLSMALLINT AValue);
    SQLSMALLINT SQLDataType() const { return FSQLDataType; }
    void SetSQLDataType(SQLSMALLINT AValue);
    bool IsParam() const { return FParamType != SQL_RESULT_COL; }

    // Works out DataSize and LongData (once per change of the types).
    void Prepare();
    SQLLEN CalcDataSize(SQLULEN AColumnSize) const;
    void Bind();
    // False for NULL. AValue receives the buffer address when AByRef is set,
    // else the value is copied into the memory AValue points at.
    bool GetData(int ARow, void *&AValue, bool AByRef, SQLLEN &ALength);
    // AValue nullptr writes NULL; ALength may be SQL_NTS for texts.
    void SetData(int ARow, const void *AValue, SQLLEN ALength);
    // Long data: a row's heap block (ASize in characters for wide texts).
    void AllocLongData(int ARow, SQLLEN ASize);
    void FreeLongData(int ARow);
    uint8_t *LongDataBlock(int ARow, SQLLEN &ALength);
    std::string DumpLabel() const;
    // A bound text or binary value of a page row that did not fit the
    // buffer: the buffer holds its first BufferCapacity() bytes, and the
    // statement marked the row after the fetch with the value's length in
    // bytes (SQL_NO_TOTAL: longer, by how much the driver did not say).
    // Cut tells the mark; false for a row whose buffer holds its value.
    bool Cut(int ARow, SQLLEN &AWhole) const;
    void KeepCut(int ARow, SQLLEN AWhole) { FCut[ARow] = AWhole; }
    void ForgetCuts() { FCut.clear(); }
    // The bytes the bound buffer takes without its terminator.
    SQLLEN BufferCapacity() const;

    // The value and indicator addresses of a row in the page buffer.
    void GetBuffers(int ARow, uint8_t *&AData, SQLLEN *&AInd) const;
    TODBCStatementBase *Statement() const;

    SQLULEN ColumnSize = 0;
    SQLLEN DataSize = -1;
    uint8_t *DataPtr = nullptr;
    SQLLEN *IndPtr = nullptr;
    SQLSMALLINT Position = -1;
    // The result column the variable reads (0: its position in the list),
    // for results whose columns are not all fetched.
    SQLUSMALLINT ColumnNumber = 0;
    SQLUSMALLINT Number() const { return ColumnNumber > 0 ? ColumnNumber : SQLUSMALLINT(Position); }
    std::string Name;
    SQLSMALLINT Scale = 0;
    SQLUSMALLINT VariantType = 0;
    TODBCVariableList *Owner = nullptr;
    bool LongData = false;
    bool Bound = false;
    bool Prepared = false;

private:
    // AMax < 0: the buffer's DataSize is the limit.
    [[noreturn]] void RaiseTooLarge(SQLLEN ALength, SQLLEN AMax = -1) const;
    [[noreturn]] void RaiseUnsupported() const;

    SQLSMALLINT FCDataType = SQL_C_CHAR;
    SQLSMALLINT FParamType = SQL_RESULT_COL;
    SQLSMALLINT FSQLDataType = SQL_VARCHAR;
    // Of the last fetch, by page row.
    std::map<int, SQLLEN> FCut;
};

// A result column as the driver describes it, before a variable is made.
class TODBCSelectItem {
public:
    TODBCSelectItem(TODBCStatementBase *AStatement, SQLSMALLINT AColumn);
    SQLLEN AutoUnique() const { return Attr(SQL_DESC_AUTO_UNIQUE_VALUE); }
    SQLLEN FixedPrecScale() const { return Attr(SQL_DESC_FIXED_PREC_SCALE); }
    SQLLEN Searchable() const { return Attr(SQL_DESC_SEARCHABLE); }
    SQLLEN Unsigned() const { return Attr(SQL_DESC_UNSIGNED); }
    SQLLEN Updatable() const { return Attr(SQL_DESC_UPDATABLE); }
    SQLLEN RowVer() const;
    bool IsFixedLen() const;

    SQLULEN ColumnSize = 0;
    std::string Name;
    SQLSMALLINT Scale = 0;
    SQLSMALLINT Position = 0;
    SQLSMALLINT Nullable = 0;
    SQLSMALLINT SQLDataType = 0;

private:
    SQLLEN Attr(SQLUSMALLINT AField) const;
    TODBCStatementBase *FStatement;
};

enum class TODBCBufferKind { RowWise, ColWise };

class TODBCVariableList {
public:
    TODBCVariableList(TODBCStatementBase *AStatement, bool AIsParams) : FStatement(AStatement), FIsParams(AIsParams) {}
    ~TODBCVariableList();

    // The list owns the variable from now on; it gets the next position.
    TODBCVariable *Add(std::unique_ptr<TODBCVariable> AVariable);
    int Count() const { return int(FItems.size()); }
    TODBCVariable *Items(int AIndex) const { return FItems[size_t(AIndex)].get(); }
    void Clear();
    void Bind(TODBCBufferKind AKind, int ARowCount, bool AOnlyFixed);
    // Binds every variable again (after a shift of the page).
    void Rebind();

    TODBCStatementBase *Statement() const { return FStatement; }
    bool IsParams() const { return FIsParams; }
    TODBCPageBuffer *PageBuffer() const { return FPageBuffer.get(); }
    bool HasLongData() const { return FHasLongData; }

private:
    void BindVariables();
    TODBCStatementBase *FStatement;
    bool FIsParams;
    bool FOnlyFixed = false;
    bool FHasLongData = false;
    std::vector<std::unique_ptr<TODBCVariable>> FItems;
    std::unique_ptr<TODBCPageBuffer> FPageBuffer;
};

// N rows of values: a rowset for fetching or a parameter array for executing.
class TODBCPageBuffer {
public:
    explicit TODBCPageBuffer(TODBCVariableList *AList) : FList(AList) {}
    virtual ~TODBCPageBuffer() = default;

    virtual void SetAttributes();
    virtual void Allocate() = 0;
    virtual void Release();
    virtual void GetBuffers(const TODBCVariable *AVar, int ARow, uint8_t *&AData, SQLLEN *&AInd) const = 0;
    virtual void Shift(int ARows) = 0;
    virtual TODBCBufferKind Kind() const = 0;

    bool Allocated = false;
    int RowCount = 1;
    SQLULEN RowsProcessed = 0;
    std::vector<SQLUSMALLINT> RowStatus;

protected:
    // The bytes a variable's value takes in one row.
    static SQLLEN ValueSize(const TODBCVariable *AVar);
    void ReleaseLongData();
    TODBCVariableList *FList;
};

class TODBCRowWiseBuffer : public TODBCPageBuffer {
public:
    using TODBCPageBuffer::TODBCPageBuffer;
    ~TODBCRowWiseBuffer() override;
    void SetAttributes() override;
    void Allocate() override;
    void Release() override;
    void GetBuffers(const TODBCVariable *AVar, int ARow, uint8_t *&AData, SQLLEN *&AInd) const override;
    void Shift(int ARows) override;
    TODBCBufferKind Kind() const override { return TODBCBufferKind::RowWise; }
    SQLLEN RowSize() const { return FRowSize; }

private:
    std::vector<SQLLEN> FOffsets; // of each variable's indicator in a row
    SQLLEN FRowSize = 0;
    uint8_t *FBlock = nullptr;
};

class TODBCColWiseBuffer : public TODBCPageBuffer {
public:
    using TODBCPageBuffer::TODBCPageBuffer;
    ~TODBCColWiseBuffer() override;
    void SetAttributes() override;
    void Allocate() override;
    void Release() override;
    void GetBuffers(const TODBCVariable *AVar, int ARow, uint8_t *&AData, SQLLEN *&AInd) const override;
    void Shift(int ARows) override;
    TODBCBufferKind Kind() const override { return TODBCBufferKind::ColWise; }

private:
    std::vector<uint8_t *> FData; // the arrays as allocated, before any shift
    std::vector<SQLLEN *> FInd;
};

// The scratch area long values are read into, piece by piece.
class TODBCPieceList {
public:
    static constexpr int ScratchSize = 0x100000;
    static constexpr int MaxPieces = 32;
    ~TODBCPieceList();
    // Bytes of one piece for the current C type.
    int Payload() const;
    uint8_t *Piece(int AIndex);
    // Appends AFull pieces and ALast bytes to a row's block of a variable
    // whose value is ALength bytes long (updated).
    void Append(TODBCVariable *AVar, int ARow, int AFull, SQLLEN ALast, SQLLEN &ALength);

    SQLSMALLINT CDataType = SQL_C_CHAR;

private:
    uint8_t *FScratch = nullptr;
};

// ---- statements -----------------------------------------------------------------

class TODBCStatementBase : public TODBCHandle {
    friend class TODBCConnection;

public:
    TODBCStatementBase(TODBCConnection *AConnection, rtl::TObject *AOwningObj);
    ~TODBCStatementBase() override;
    using TODBCHandle::GetIntAttr;

    void GetIntAttr(SQLINTEGER AAttr, SQLLEN &AValue) override;
    void GetStrAttr(SQLINTEGER AAttr, std::string &AValue) override;
    void SetAttr(SQLINTEGER AAttr, SQLPOINTER AValue, bool AIsText) override;
    virtual void Close();

    SQLLEN ColAttribute(SQLUSMALLINT AColumn, SQLUSMALLINT AField);
    std::string GetCursorName();
    SQLSMALLINT NumResultCols();
    bool HasResultSet();
    void DescribeCol(SQLUSMALLINT AColumn, std::string &AName, SQLULEN &AColumnSize, SQLSMALLINT &ADigits,
                     SQLSMALLINT &ANullable, SQLSMALLINT &ASQLType);
    void BindColumns(int ARowCount);
    void Unbind();
    SQLRETURN GetData(TODBCVariable *AVar, int ARow, SQLLEN ABufferLength);
    // SQLGetData of a column into ATarget, with the row's indicator.
    SQLRETURN GetDataInto(TODBCVariable *AVar, int ARow, void *ATarget, SQLLEN ABufferLength);
    void SetPos(SQLSETPOSIROW ARow, SQLUSMALLINT AOperation, SQLUSMALLINT ALockType);
    // Fills up to ARows rows of the page (-1: exactly one SQLFetch).
    int Fetch(int ARows);
    // Of the last Fetch: the error of a page row the driver fetched with an
    // error (a value the bound type cannot take, whose indicator it set to
    // NULL; the row's other values are as stored), nil for a sound row.
    const EZqDBEngineException *RowError(int ARow) const;
    void FetchLongData(int ARow);
    bool MoreResults();
    void Cancel();
    void CloseCursor();

    TODBCVariableList &ColumnList() { return FColumnList; }
    TODBCPieceList &PieceList() { return FPieceList; }

    TODBCBufferKind BufferKind = TODBCBufferKind::RowWise;
    SQLLEN InlineDataSize = 8000;
    bool StrsTrim = false;
    bool StrsEmpty2Null = true;
    SQLLEN MaxStringSize = 8192;
    bool Opened = false;
    // Set once a page buffer gave the driver its addresses (status arrays,
    // counters, bind sizes): a statement used again must take them back.
    bool BufferAttrsSet = false;
    // The row array size the command's setup set and the driver took (-1:
    // not known). Whatever else sets the attribute forgets it.
    SQLLEN RowArraySizeSet = -1;
    // The row limit the command's setup set (-1: not known); nothing else
    // sets it.
    SQLLEN MaxRowsSet = -1;

    // False after the connection disconnected or went away: the handle was
    // released with it and the statement can only be closed and freed.
    bool HasHandle() const noexcept { return FHandle != SQL_NULL_HANDLE; }

protected:
    // After a fetch whose info says a value was cut (01004): marks every
    // bound value of page rows AFirst.. AFirst + ACount - 1 that did not fit
    // its buffer (TODBCVariable::Cut), so that no cut value passes for the
    // stored one; its buffer's bytes are what is read of it.
    void MarkCutValues(int AFirst, int ACount);
    // The statement's SQL_ATTR_MAX_LENGTH as BindColumns set it (0: none,
    // -1: not known).
    SQLLEN MaxLengthSet = -1;
    // Keeps the errors of the page rows AFirst.. AFirst + ACount - 1 whose
    // status the fetch returning ARC set to SQL_ROW_ERROR.
    void KeepRowErrors(SQLRETURN ARC, int AFirst, int ACount);
    std::map<int, std::unique_ptr<EZqDBEngineException>> FRowErrors;
    // Forgets the handle that the driver manager released with the
    // connection, and the connection itself.
    void ConnectionDropped() noexcept;
    TODBCConnection *FConnection;

    TODBCVariableList FColumnList{this, false};
    TODBCPieceList FPieceList;
};

class TODBCCommandStatement : public TODBCStatementBase {
public:
    using TODBCStatementBase::TODBCStatementBase;
    ~TODBCCommandStatement() override;
    void Close() override;

    SQLULEN GetParamSetSize();
    void SetParamSetSize(SQLULEN AValue);
    void BindParameter(TODBCVariable *AVar);
    void BindParams(int ARowCount, bool AOnlyFixed);
    void ResetParams();
    // Makes the statement as a freshly allocated one for its next text: no
    // cursor, no bound columns or parameters, and no address of a buffer
    // about to be freed left with the driver. The attributes its owner set
    // are the owner's to set again.
    void ResetForReuse();
    void Prepare(const std::string &AText);
    // Runs ATimes - AOffset parameter sets, starting at row AOffset.
    void Execute(int ATimes, int AOffset, const std::string *ADirectText, bool ARaiseOnNoData,
                 SQLLEN &ARowsAffected);
    SQLLEN RowCount();

    TODBCVariableList &ParamList() { return FParamList; }
    bool ParamSetSupported = false;

private:
    // Sends the values of data-at-execution parameters of page row ARow;
    // answers the statement's own return code.
    SQLRETURN PutDataAtExec(int ARow);
    // An array execute that failed: the error names the set that failed
    // (RowIndex, from the page's first row) and ARowsAffected gains the
    // rows the sets before it changed.
    void RaiseSetError(SQLRETURN ARC, int AOffset, SQLLEN &ARowsAffected);
    TODBCVariableList FParamList{this, true};
    // The driver's parameter set size was cut below the page's rows.
    bool FParamSetCut = false;
};

enum class TODBCMetaKind {
    Columns = 0, ForeignKeys, PrimaryKeys, Procedures, ProcedureColumns, SpecialColumns, Statistics, Tables
};

class TODBCMetaInfoStatement : public TODBCStatementBase {
public:
    using TODBCStatementBase::TODBCStatementBase;

    void Columns(const std::string &ACatalog, const std::string &ASchema, const std::string &ATable,
                 const std::string &AColumn);
    void ForeignKeys(const std::string &APKCatalog, const std::string &APKSchema, const std::string &APKTable,
                     const std::string &AFKCatalog, const std::string &AFKSchema, const std::string &AFKTable);
    void PrimaryKeys(const std::string &ACatalog, const std::string &ASchema, const std::string &ATable);
    void Procedures(const std::string &ACatalog, const std::string &ASchema, const std::string &AProc);
    void ProcedureColumns(const std::string &ACatalog, const std::string &ASchema, const std::string &AProc,
                          const std::string &AColumn);
    void SpecialColumns(const std::string &ACatalog, const std::string &ASchema, const std::string &ATable,
                        SQLUSMALLINT AIdentifierType);
    void Statistics(const std::string &ACatalog, const std::string &ASchema, const std::string &ATable,
                    SQLUSMALLINT AUnique);
    void Tables(const std::string &ACatalog, const std::string &ASchema, const std::string &ATable,
                const std::string &ATableTypes);
    void Execute();

    TODBCMetaKind Kind = TODBCMetaKind::Tables;
    std::string Catalog, Schema, ObjectName, ColumnName, FKCatalog, FKSchema, FKTable;
    SQLUSMALLINT IdentifierType = 0;
    SQLUSMALLINT Unique = 0;

private:
    void Set(TODBCMetaKind AKind, const std::string &ACatalog, const std::string &ASchema, const std::string &AName);
};
