// The ODBC library binding, the handle objects and the diagnostics.
#include "dataaccess/phys/odbc/qxZqPhysODBCWrapper.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "platform/rtl/CLocaleText.h"
#include "platform/rtl/Format.h"

namespace {

const char *const CUnit = "qxZqPhysODBCWrapper";
const std::vector<std::string> CODBCWords = {"Phys", "ODBC"};

std::mutex GLibLock;
TODBCLib *GLib = nullptr;
int GLibRefs = 0;

std::string CutText(const SQLCHAR *ABuffer, SQLLEN ALength, SQLLEN ACapacity)
{
    if (ALength < 0)
        ALength = 0;
    if (ALength > ACapacity)
        ALength = ACapacity;
    std::string S(reinterpret_cast<const char *>(ABuffer), size_t(ALength));
    while (!S.empty() && S.back() == '\0')
        S.pop_back();
    return S;
}

std::string LastDlError()
{
    const char *E = dlerror();
    return E ? std::string(E) + "\r\n" : std::string();
}

const char *StatusName(SQLRETURN ARC)
{
    switch (ARC) {
    case SQL_SUCCESS: return "SQL_SUCCESS";
    case SQL_SUCCESS_WITH_INFO: return "SQL_SUCCESS_WITH_INFO";
    case SQL_NO_DATA: return "SQL_NO_DATA";
    case SQL_ERROR: return "SQL_ERROR";
    case SQL_INVALID_HANDLE: return "SQL_INVALID_HANDLE";
    case SQL_STILL_EXECUTING: return "SQL_STILL_EXECUTING";
    case SQL_NEED_DATA: return "SQL_NEED_DATA";
    default: return "";
    }
}

// The driver manager finds its own keywords (DSN, DRIVER, FILEDSN, SAVEFILE)
// with the C library's case folding, which under tr_TR does not take
// "Driver" for "DRIVER": they reach it spelt as it spells them. Values, and
// the driver's keywords, pass as written.
std::string ManagerKeywordsUpper(const std::string &AConnect)
{
    std::string R;
    size_t P = 0;
    while (P < AConnect.size()) {
        const size_t Eq = AConnect.find('=', P);
        if (Eq == std::string::npos) {
            R.append(AConnect, P, std::string::npos);
            break;
        }
        std::string Key = AConnect.substr(P, Eq - P);
        const std::string Up = rtl::UpperCase(rtl::Trim(Key));
        if (Up == "DSN" || Up == "DRIVER" || Up == "FILEDSN" || Up == "SAVEFILE") Key = Up;
        // A value in braces may hold ";".
        size_t End = Eq + 1 < AConnect.size() && AConnect[Eq + 1] == '{' ? AConnect.find('}', Eq + 1) : Eq;
        End = End == std::string::npos ? End : AConnect.find(';', End);
        End = End == std::string::npos ? AConnect.size() : End + 1;
        R += Key;
        R.append(AConnect, Eq, End - Eq);
        P = End;
    }
    return R;
}

} // namespace

// ---- TODBCLib ------------------------------------------------------------------

const char *TODBCLib::DefaultLibrary() { return "libodbc.so.2"; }

std::string TODBCLib::LibraryName(const std::string &AVendorHome, const std::string &AVendorLib)
{
    std::string Name = AVendorLib.empty() ? std::string(DefaultLibrary()) : AVendorLib;
    if (!AVendorHome.empty())
        Name = AVendorHome.back() == '/' ? AVendorHome + Name : AVendorHome + "/" + Name;
    return Name;
}

const std::vector<const char *> &TODBCLib::EntryNames()
{
    static const std::vector<const char *> Names = {
        "SQLAllocHandle", "SQLBindCol", "SQLBindParameter", "SQLCancel", "SQLColAttribute", "SQLColumns",
        "SQLDataSources", "SQLDescribeCol", "SQLDescribeParam", "SQLDisconnect", "SQLDriverConnect", "SQLDrivers",
        "SQLEndTran", "SQLExecDirect", "SQLExecute", "SQLFetch", "SQLForeignKeys", "SQLFreeHandle", "SQLFreeStmt",
        "SQLGetConnectAttr", "SQLGetCursorName", "SQLGetData", "SQLGetDescField", "SQLGetDescRec", "SQLGetDiagRec",
        "SQLGetEnvAttr", "SQLGetFunctions", "SQLGetInfo", "SQLGetStmtAttr", "SQLGetTypeInfo", "SQLMoreResults",
        "SQLNumParams", "SQLNumResultCols", "SQLParamData", "SQLPrepare", "SQLPrimaryKeys", "SQLProcedureColumns",
        "SQLProcedures", "SQLPutData", "SQLRowCount", "SQLSetConnectAttr", "SQLSetCursorName", "SQLSetDescField",
        "SQLSetDescRec", "SQLSetEnvAttr", "SQLSetPos", "SQLSetStmtAttr", "SQLSpecialColumns", "SQLStatistics",
        "SQLTablePrivileges", "SQLTables"};
    return Names;
}

TODBCLib::TODBCLib(rtl::TObject *AOwningObj, const std::string &AVendorHome, const std::string &AVendorLib)
    : FOwningObj(AOwningObj), FName(LibraryName(AVendorHome, AVendorLib))
{
    LoadLib();
    try {
        GetEntries();
    } catch (...) {
        // The object is not constructed, so its destructor will not run.
        Unload();
        throw;
    }
}

TODBCLib::~TODBCLib() { Unload(); }

void TODBCLib::Unload()
{
    if (FModule)
        dlclose(FModule);
    FModule = nullptr;
}

void TODBCLib::LoadLib()
{
    dlerror();
    // The driver manager keeps process-wide state (its ini cache, the
    // drivers it loaded) that it never releases; unmapping it would strand
    // that state, so the last release closes our reference only.
    FModule = dlopen(FName.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!FModule)
        ZqRaiseError(FOwningObj, CODBCWords, 314, {FName, LastDlError(), FName});
}

void TODBCLib::GetEntries()
{
    void **Slots[] = {
        reinterpret_cast<void **>(&SQLAllocHandle), reinterpret_cast<void **>(&SQLBindCol),
        reinterpret_cast<void **>(&SQLBindParameter), reinterpret_cast<void **>(&SQLCancel),
        reinterpret_cast<void **>(&SQLColAttribute), reinterpret_cast<void **>(&SQLColumns),
        reinterpret_cast<void **>(&SQLDataSources), reinterpret_cast<void **>(&SQLDescribeCol),
        reinterpret_cast<void **>(&SQLDescribeParam), reinterpret_cast<void **>(&SQLDisconnect),
        reinterpret_cast<void **>(&SQLDriverConnect), reinterpret_cast<void **>(&SQLDrivers),
        reinterpret_cast<void **>(&SQLEndTran), reinterpret_cast<void **>(&SQLExecDirect),
        reinterpret_cast<void **>(&SQLExecute), reinterpret_cast<void **>(&SQLFetch),
        reinterpret_cast<void **>(&SQLForeignKeys), reinterpret_cast<void **>(&SQLFreeHandle),
        reinterpret_cast<void **>(&SQLFreeStmt), reinterpret_cast<void **>(&SQLGetConnectAttr),
        reinterpret_cast<void **>(&SQLGetCursorName), reinterpret_cast<void **>(&SQLGetData),
        reinterpret_cast<void **>(&SQLGetDescField), reinterpret_cast<void **>(&SQLGetDescRec),
        reinterpret_cast<void **>(&SQLGetDiagRec), reinterpret_cast<void **>(&SQLGetEnvAttr),
        reinterpret_cast<void **>(&SQLGetFunctions), reinterpret_cast<void **>(&SQLGetInfo),
        reinterpret_cast<void **>(&SQLGetStmtAttr), reinterpret_cast<void **>(&SQLGetTypeInfo),
        reinterpret_cast<void **>(&SQLMoreResults), reinterpret_cast<void **>(&SQLNumParams),
        reinterpret_cast<void **>(&SQLNumResultCols), reinterpret_cast<void **>(&SQLParamData),
        reinterpret_cast<void **>(&SQLPrepare), reinterpret_cast<void **>(&SQLPrimaryKeys),
        reinterpret_cast<void **>(&SQLProcedureColumns), reinterpret_cast<void **>(&SQLProcedures),
        reinterpret_cast<void **>(&SQLPutData), reinterpret_cast<void **>(&SQLRowCount),
        reinterpret_cast<void **>(&SQLSetConnectAttr), reinterpret_cast<void **>(&SQLSetCursorName),
        reinterpret_cast<void **>(&SQLSetDescField), reinterpret_cast<void **>(&SQLSetDescRec),
        reinterpret_cast<void **>(&SQLSetEnvAttr), reinterpret_cast<void **>(&SQLSetPos),
        reinterpret_cast<void **>(&SQLSetStmtAttr), reinterpret_cast<void **>(&SQLSpecialColumns),
        reinterpret_cast<void **>(&SQLStatistics), reinterpret_cast<void **>(&SQLTablePrivileges),
        reinterpret_cast<void **>(&SQLTables)};
    static_assert(sizeof(Slots) / sizeof(Slots[0]) == 51, "one slot per entry point");
    const auto &Names = EntryNames();
    for (size_t I = 0; I < Names.size(); ++I) {
        dlerror();
        void *P = dlsym(FModule, Names[I]);
        if (!P)
            ZqRaiseError(FOwningObj, CODBCWords, 315, {std::string(Names[I]), LastDlError()});
        *Slots[I] = P;
    }
    SQLGetDiagField = reinterpret_cast<decltype(SQLGetDiagField)>(dlsym(FModule, "SQLGetDiagField"));
}

std::string TODBCLib::EncodeValue(const std::string &AValue)
{
    if (AValue.find_first_of("[]{}(),;?*=!@") != std::string::npos)
        return "{" + AValue + "}";
    return AValue;
}

TODBCLib *ZqODBCLibAcquire(const std::string &AVendorHome, const std::string &AVendorLib, rtl::TObject *AOwningObj)
{
    std::lock_guard<std::mutex> Guard(GLibLock);
    // A failed load counts no acquisition, so nothing half-made stays shared.
    if (GLibRefs == 0)
        GLib = new TODBCLib(AOwningObj, AVendorHome, AVendorLib);
    ++GLibRefs;
    return GLib;
}

void ZqODBCLibRelease(TODBCLib *ALib)
{
    std::lock_guard<std::mutex> Guard(GLibLock);
    if (ALib != GLib || GLibRefs < 1 || !ALib)
        return;
    if (--GLibRefs == 0) {
        delete GLib;
        GLib = nullptr;
    }
}

int ZqODBCLibRefCount()
{
    std::lock_guard<std::mutex> Guard(GLibLock);
    return GLibRefs;
}

// ---- EODBCNativeException -----------------------------------------------------

std::unique_ptr<rtl::Exception> EODBCNativeException::Clone() const
{
    return std::make_unique<EODBCNativeException>(*this);
}

namespace {

// A statement's record about one row of a fetch: the row's page index and
// the name of the column it names.
void NameFetchedValue(TZqDBError &AItem, TODBCHandle *AHandle, SQLSMALLINT ARec)
{
    auto *Stmt = dynamic_cast<TODBCStatementBase *>(AHandle);
    if (!Stmt || !Stmt->Lib()->SQLGetDiagField)
        return;
    SQLLEN Row = 0;
    SQLINTEGER Column = 0;
    if (!SQL_SUCCEEDED(Stmt->Lib()->SQLGetDiagField(SQL_HANDLE_STMT, Stmt->Handle(), ARec, SQL_DIAG_ROW_NUMBER, &Row,
                                                    0, nullptr)) ||
        Row < 1)
        return;
    AItem.RowIndex = int32_t(Row - 1);
    if (!SQL_SUCCEEDED(Stmt->Lib()->SQLGetDiagField(SQL_HANDLE_STMT, Stmt->Handle(), ARec, SQL_DIAG_COLUMN_NUMBER,
                                                    &Column, 0, nullptr)) ||
        !AItem.ObjName.empty())
        return;
    for (int I = 0; I < Stmt->ColumnList().Count(); ++I)
        if (Stmt->ColumnList().Items(I)->Number() == Column)
            AItem.ObjName = Stmt->ColumnList().Items(I)->Name;
}

} // namespace

EODBCNativeException::EODBCNativeException(SQLRETURN AStatus, TODBCHandle *AHandle)
{
    const std::string Status = StatusName(AStatus);
    TODBCConnection *Conn = AHandle ? AHandle->Connection() : nullptr;
    SetErrorCode(1200);

    // The records first: any other call on the handle (the driver's name
    // asked of the connection below) clears them, and a refusal of the
    // connection itself (a commit on a full disk) would lose its words.
    TODBCHandle *H = AHandle;
    while (H && H->Handle() == SQL_NULL_HANDLE)
        H = H->Owner();
    int Rec = 0;
    if (H && H->Lib()) {
        for (Rec = 1;; ++Rec) {
            SQLCHAR State[6] = {};
            SQLINTEGER Native = 0;
            SQLCHAR Msg[512] = {};
            SQLSMALLINT Len = 0;
            const SQLRETURN RC =
                H->Lib()->SQLGetDiagRec(H->HandleType(), H->Handle(), SQLSMALLINT(Rec), State, &Native, Msg,
                                        sizeof Msg, &Len);
            if (RC != SQL_SUCCESS && RC != SQL_SUCCESS_WITH_INFO)
                break;
            const std::string Text = CutText(Msg, Len, sizeof Msg - 1);
            const std::string StateText = CutText(State, 5, 5);
            if (Rec == 1)
                SetMessage(ZqBuildErrorPrefix(CODBCWords) + Text);
            std::string ObjName;
            uint8_t Kind = 0;
            int32_t Offset = -1;
            if (Conn && Conn->OnGetErrorInfo)
                Conn->OnGetErrorInfo(AHandle, Rec, StateText, Native, Text, Conn->LastCommandText, ObjName, Kind,
                                     Offset);
            auto Item = std::make_unique<TZqDBError>(
                Rec, Native,
                rtl::Format("SQL state: %s. Native error: %d. Error message: \r\n%s", {StateText, int(Native), Text}),
                ObjName, Kind, Offset);
            NameFetchedValue(*Item, H, SQLSMALLINT(Rec));
            Append(std::move(Item));
        }
        --Rec;
    }
    if (Rec <= 0) {
        std::string DriverWord = "CLI";
        if (Conn && Conn->Connected && Conn->Lib()) {
            SQLCHAR Buf[256] = {};
            SQLSMALLINT Len = 0;
            Conn->Lib()->SQLGetInfo(Conn->Handle(), SQL_DRIVER_NAME, Buf, sizeof Buf, &Len);
            DriverWord = CutText(Buf, Len, sizeof Buf - 1);
        }
        SetMessage(ZqBuildErrorPrefix({"Phys", "ODBC", DriverWord}) + " " + Status);
        Append(std::make_unique<TZqDBError>(1, int32_t(AStatus), Status, std::string(),
                                            uint8_t(AStatus == SQL_NO_DATA ? 1 : 0), -1));
    }
}

std::unique_ptr<EZqDBEngineException> EODBCNativeException::OfRow(int ARow) const
{
    // The records naming the row; all of them when none does (a driver that
    // numbers no record, or not this one's).
    bool RowNamed = false;
    for (int I = 0; I < ErrorCount(); ++I)
        RowNamed = RowNamed || Errors(I).RowIndex == ARow;
    auto E = std::make_unique<EZqDBEngineException>(ErrorCode(), std::string());
    for (int I = 0; I < ErrorCount(); ++I) {
        const TZqDBError &Item = Errors(I);
        if (RowNamed && Item.RowIndex != ARow)
            continue;
        if (E->ErrorCount() == 0) {
            // The record's own text follows its state and native code.
            const size_t Text = Item.Message.find("\r\n");
            E->SetMessage(ZqBuildErrorPrefix(CODBCWords) +
                          (Text == std::string::npos ? Item.Message : Item.Message.substr(Text + 2)));
        }
        E->Append(std::make_unique<TZqDBError>(Item));
    }
    return E;
}

// ---- TODBCHandle ------------------------------------------------------------------

TODBCHandle::~TODBCHandle()
{
    if (FHandle != SQL_NULL_HANDLE && FLib) {
        // Freeing must not throw from a destructor; a failure leaves nothing to mend.
        FLib->SQLFreeHandle(FHandleType, FHandle);
        FHandle = SQL_NULL_HANDLE;
    }
}

void TODBCHandle::Check(SQLRETURN ARC)
{
    switch (ARC) {
    case SQL_SUCCESS:
        return;
    case SQL_SUCCESS_WITH_INFO: {
        TODBCConnection *Conn = Connection();
        if (!Conn)
            return;
        auto E = std::make_unique<EODBCNativeException>(ARC, this);
        if (Conn->RDBMSKind == ODBCKindMSSQL && E->ErrorCount() >= 2 &&
            E->Errors(E->ErrorCount() - 1).ErrorCode == 3621) {
            ZqHandleAndRaise(FOwningObj, std::move(E));
            return;
        }
        Conn->SetInfo(std::move(E));
        return;
    }
    case SQL_ERROR:
    case SQL_INVALID_HANDLE:
    case SQL_STILL_EXECUTING:
    case SQL_NEED_DATA:
    case SQL_NO_DATA:
        ZqHandleAndRaise(FOwningObj, std::make_unique<EODBCNativeException>(ARC, this));
        return;
    default:
        return;
    }
}

void TODBCHandle::AllocHandle()
{
    ZQ_ASSERT(FHandle == SQL_NULL_HANDLE, CUnit);
    Check(FLib->SQLAllocHandle(FHandleType, FOwner ? FOwner->Handle() : SQL_NULL_HANDLE, &FHandle));
}

void TODBCHandle::FreeHandle()
{
    if (FHandle == SQL_NULL_HANDLE)
        return;
    const SQLRETURN RC = FLib->SQLFreeHandle(FHandleType, FHandle);
    if (RC == SQL_SUCCESS || RC == SQL_SUCCESS_WITH_INFO)
        FHandle = SQL_NULL_HANDLE;
    Check(RC);
}

TODBCConnection *TODBCHandle::Connection()
{
    // Only TODBCConnection objects carry the connection handle type.
    for (TODBCHandle *H = this; H; H = H->FOwner)
        if (H->FHandleType == SQL_HANDLE_DBC)
            return static_cast<TODBCConnection *>(H);
    return nullptr;
}

void TODBCHandle::GetIntAttr(SQLINTEGER, SQLLEN &) { ZQ_ASSERT(false, CUnit); }
void TODBCHandle::GetStrAttr(SQLINTEGER, std::string &) { ZQ_ASSERT(false, CUnit); }
void TODBCHandle::SetAttr(SQLINTEGER, SQLPOINTER, bool) { ZQ_ASSERT(false, CUnit); }

SQLLEN TODBCHandle::GetIntAttr(SQLINTEGER AAttr)
{
    SQLLEN V = 0;
    GetIntAttr(AAttr, V);
    return V;
}

// ---- TODBCEnvironment -----------------------------------------------------------

TODBCEnvironment::TODBCEnvironment(TODBCLib *ALib, rtl::TObject *AOwningObj)
    : TODBCHandle(ALib, nullptr, SQL_HANDLE_ENV, AOwningObj)
{
    AllocHandle();
    Check(FLib->SQLSetEnvAttr(FHandle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
}

void TODBCEnvironment::GetIntAttr(SQLINTEGER AAttr, SQLLEN &AValue)
{
    SQLINTEGER V = 0;
    Check(FLib->SQLGetEnvAttr(FHandle, AAttr, &V, 0, nullptr));
    AValue = V;
}

void TODBCEnvironment::GetStrAttr(SQLINTEGER, std::string &) { ZqRaiseCapabilityNotSupported(FOwningObj, CODBCWords); }

void TODBCEnvironment::SetAttr(SQLINTEGER AAttr, SQLPOINTER AValue, bool AIsText)
{
    Check(FLib->SQLSetEnvAttr(FHandle, AAttr, AValue,
                              AIsText ? SQLINTEGER(std::strlen(static_cast<const char *>(AValue))) : 0));
}

bool TODBCEnvironment::Drivers(SQLUSMALLINT ADirection, std::string &ADescription, std::string &AAttributes)
{
    SQLCHAR Desc[256] = {};
    SQLCHAR Attrs[4001] = {};
    SQLSMALLINT L1 = 0, L2 = 0;
    const SQLRETURN RC = FLib->SQLDrivers(FHandle, ADirection, Desc, 255, &L1, Attrs, 4000, &L2);
    if (RC == SQL_NO_DATA)
        return false;
    Check(RC);
    ADescription = CutText(Desc, L1, 254);
    // The attribute list is a run of zero-terminated pairs ending in an empty one.
    SQLLEN N = std::min<SQLLEN>(L2, 3999);
    AAttributes.assign(reinterpret_cast<const char *>(Attrs), size_t(N < 0 ? 0 : N));
    return true;
}

bool TODBCEnvironment::DataSources(SQLUSMALLINT ADirection, std::string &AName, std::string &ADescription)
{
    SQLCHAR Name[33] = {};
    SQLCHAR Desc[256] = {};
    SQLSMALLINT L1 = 0, L2 = 0;
    const SQLRETURN RC = FLib->SQLDataSources(FHandle, ADirection, Name, 32, &L1, Desc, 255, &L2);
    if (RC == SQL_NO_DATA)
        return false;
    Check(RC);
    AName = CutText(Name, L1, 31);
    ADescription = CutText(Desc, L2, 254);
    return true;
}

// ---- TODBCTransaction -------------------------------------------------------------

TODBCTransaction::TODBCTransaction(TODBCConnection *AConnection) : FConnection(AConnection)
{
    ZQ_ASSERT(AConnection != nullptr, CUnit);
}

void TODBCTransaction::StartTransaction() { FConnection->SetIntAttr(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF); }

void TODBCTransaction::EndTran(SQLSMALLINT ACompletion, bool AEnvironmentWide)
{
    TODBCHandle *H = AEnvironmentWide ? FConnection->Owner() : FConnection;
    FConnection->Check(FConnection->Lib()->SQLEndTran(H->HandleType(), H->Handle(), ACompletion));
}

// ---- TODBCConnection ----------------------------------------------------------------

TODBCConnection::TODBCConnection(TODBCEnvironment *AEnvironment, rtl::TObject *AOwningObj)
    : TODBCHandle(AEnvironment ? AEnvironment->Lib() : nullptr, AEnvironment, SQL_HANDLE_DBC, AOwningObj)
{
    ZQ_ASSERT(AEnvironment != nullptr, CUnit);
    FTransaction = std::make_unique<TODBCTransaction>(this);
    AllocHandle();
}

TODBCConnection::~TODBCConnection()
{
    // A statement outliving its connection object frees its handle now,
    // while the connection handle it belongs to still exists, and is left
    // with nothing to free later.
    std::vector<TODBCStatementBase *> Left;
    {
        std::lock_guard<std::mutex> G(FStatementsLock);
        Left.swap(FStatements);
    }
    for (TODBCStatementBase *S : Left) {
        if (S->FHandle != SQL_NULL_HANDLE && FLib)
            FLib->SQLFreeHandle(SQL_HANDLE_STMT, S->FHandle);
        S->ConnectionDropped();
    }
    ClearInfo();
    FTransaction.reset();
}

void TODBCConnection::AttachStatement(TODBCStatementBase *AStatement)
{
    std::lock_guard<std::mutex> G(FStatementsLock);
    FStatements.push_back(AStatement);
}

void TODBCConnection::DetachStatement(TODBCStatementBase *AStatement)
{
    std::lock_guard<std::mutex> G(FStatementsLock);
    FStatements.erase(std::remove(FStatements.begin(), FStatements.end(), AStatement), FStatements.end());
}

void TODBCConnection::DropStatements()
{
    std::vector<TODBCStatementBase *> Left;
    {
        std::lock_guard<std::mutex> G(FStatementsLock);
        Left.swap(FStatements);
    }
    for (TODBCStatementBase *S : Left)
        S->ConnectionDropped();
}

void TODBCConnection::GetIntAttr(SQLINTEGER AAttr, SQLLEN &AValue)
{
    SQLUINTEGER V = 0;
    Check(FLib->SQLGetConnectAttr(FHandle, AAttr, &V, 0, nullptr));
    AValue = SQLLEN(V);
}

void TODBCConnection::GetStrAttr(SQLINTEGER AAttr, std::string &AValue)
{
    SQLCHAR Buf[513] = {};
    SQLINTEGER Len = 0;
    Check(FLib->SQLGetConnectAttr(FHandle, AAttr, Buf, 512, &Len));
    AValue = CutText(Buf, Len, 512);
}

void TODBCConnection::SetAttr(SQLINTEGER AAttr, SQLPOINTER AValue, bool AIsText)
{
    Check(FLib->SQLSetConnectAttr(FHandle, AAttr, AValue,
                                  AIsText ? SQLINTEGER(std::strlen(static_cast<const char *>(AValue))) : 0));
}

std::string TODBCConnection::DriverConnect(const std::string &AConnectString, bool APrompt)
{
    SQLCHAR Out[1025] = {};
    SQLSMALLINT OutLen = 0;
    const std::string Connect = ManagerKeywordsUpper(AConnectString);
    Check(FLib->SQLDriverConnect(FHandle, nullptr, (SQLCHAR *)Connect.c_str(), SQL_NTS, Out, 1024, &OutLen,
                                 APrompt ? SQL_DRIVER_COMPLETE : SQL_DRIVER_NOPROMPT));
    Connected = true;
    DetectRDBMSKind();
    return CutText(Out, OutLen, 1024);
}

void TODBCConnection::Disconnect()
{
    Connected = false;
    const SQLRETURN RC = FLib->SQLDisconnect(FHandle);
    // A disconnect that went through released every statement handle of the
    // link; a refused one (an open transaction) left them as they were.
    if (SQL_SUCCEEDED(RC))
        DropStatements();
    Check(RC);
}

std::string TODBCConnection::GetInfoStr(SQLUSMALLINT AType)
{
    SQLCHAR Buf[1025] = {};
    SQLSMALLINT Len = 0;
    Check(FLib->SQLGetInfo(FHandle, AType, Buf, 1024, &Len));
    return CutText(Buf, Len, 1024);
}

SQLUINTEGER TODBCConnection::GetInfoInt(SQLUSMALLINT AType)
{
    SQLUINTEGER V = 0;
    Check(FLib->SQLGetInfo(FHandle, AType, &V, sizeof V, nullptr));
    return V;
}

SQLUSMALLINT TODBCConnection::GetInfoSmallint(SQLUSMALLINT AType)
{
    SQLUSMALLINT V = 0;
    Check(FLib->SQLGetInfo(FHandle, AType, &V, sizeof V, nullptr));
    return V;
}

SQLUSMALLINT TODBCConnection::GetFunctions(SQLUSMALLINT AFunction)
{
    SQLUSMALLINT V = 0;
    Check(FLib->SQLGetFunctions(FHandle, AFunction, &V));
    return V;
}

uint8_t TODBCConnection::KindOfDriver(const std::string &ADriverName, const std::string &ADBMSName)
{
    std::string N = ADriverName;
    for (char &C : N)
        C = rtl::CUpCase(C);
    auto Starts = [&](const char *P) { return N.rfind(P, 0) == 0; };
    if (Starts("SQLSRV") || Starts("SQLNCLI") || Starts("IVSS") || Starts("IVMSSS"))
        return ODBCKindMSSQL;
    if (Starts("NTL") && N.size() >= 5 && N[4] == 'M')
        return ODBCKindMSSQL;
    if (Starts("DB2CLI") || Starts("LIBDB2") || Starts("IVDB2"))
        return ODBCKindDB2;
    if (Starts("MYODBC"))
        return ODBCKindMySQL;
    if (Starts("SQORA") || Starts("MSORCL") || Starts("IVOR"))
        return ODBCKindOracle;
    if (Starts("ODBCJT"))
        return ADBMSName == "ACCESS" ? ODBCKindMSAccess : ODBCKindOther;
    return ODBCKindOther;
}

void TODBCConnection::DetectRDBMSKind()
{
    const std::string Name = GetInfoStr(SQL_DRIVER_NAME);
    std::string Upper = Name;
    for (char &C : Upper)
        C = rtl::CUpCase(C);
    RDBMSKind = KindOfDriver(Name, Upper.rfind("ODBCJT", 0) == 0 ? GetInfoStr(SQL_DBMS_NAME) : std::string());
}
