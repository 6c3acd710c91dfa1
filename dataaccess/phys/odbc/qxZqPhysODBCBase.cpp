#include "dataaccess/phys/odbc/qxZqPhysODBCBase.h"

#include "dataaccess/phys/qxZqPhysCmdGenerator.h"
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

namespace {

std::string TrimBlanks(const std::string &S)
{
    size_t B = 0, E = S.size();
    while (B < E && static_cast<unsigned char>(S[B]) <= ' ') ++B;
    while (E > B && static_cast<unsigned char>(S[E - 1]) <= ' ') --E;
    return S.substr(B, E - B);
}

TZqIntfPtr<IZqStanConnectionDef> NewTempDef()
{
    TZqIntfPtr<IZqStanConnectionDef> D;
    ZqCreateInterface(D, true);
    return D;
}

void DeleteParam(IZqStanDefinition &ADef, const char *AName)
{
    rtl::TStrings &P = ADef.GetParams();
    const int I = P.IndexOfName(AName);
    if (I >= 0) P.Delete(I);
}

bool HasSource(IZqStanDefinition &ADef) { return ADef.HasValue("DSN") || ADef.HasValue("FIL"); }

} // namespace

// ---- the driver -------------------------------------------------------------------------------

TZqPhysODBCDriverBase::TZqPhysODBCDriverBase(TZqPhysDriverHost *AHost) : TZqPhysDriver(AHost)
{
    std::string Home, LibName;
    AHost->GetVendorParams(Home, LibName);
    FLib = ZqODBCLibAcquire(Home, LibName, this);
    try {
        FEnvironment = std::make_unique<TODBCEnvironment>(FLib, this);
    } catch (...) {
        ZqODBCLibRelease(FLib);
        throw;
    }
    FKeywords = std::make_unique<rtl::TStringList>();
}

TZqPhysODBCDriverBase::~TZqPhysODBCDriverBase()
{
    FKeywords.reset();
    FEnvironment.reset();
    ZqODBCLibRelease(FLib);
}

void TZqPhysODBCDriverBase::InitKeywords()
{
    FKeywords->Clear();
    GetConnectionStringKeywords(*FKeywords);
}

void TZqPhysODBCDriverBase::GetConnectionStringKeywords(rtl::TStringList &AKeywords)
{
    AKeywords.Add("User_Name=UID");
    AKeywords.Add("Password=PWD");
    AKeywords.Add("DSN");
    AKeywords.Add("FIL");
}

int TZqPhysODBCDriverBase::GetParamCount(const rtl::TStrings *AParams)
{
    return TZqPhysDriver::GetParamCount(AParams) + 2;
}

void TZqPhysODBCDriverBase::GetParamInfo(const rtl::TStrings *AParams, int AIndex, std::string &AName,
                                         std::string &AType, std::string &ADefault, std::string &ACaption,
                                         int &ALoginIndex)
{
    const int Base = TZqPhysDriver::GetParamCount(AParams);
    if (AIndex < Base) {
        TZqPhysDriver::GetParamInfo(AParams, AIndex, AName, AType, ADefault, ACaption, ALoginIndex);
        return;
    }
    AName.clear(); AType.clear(); ADefault.clear(); ACaption.clear(); ALoginIndex = -1;
    if (AIndex == Base) {
        AName = "ODBCAdvanced";
        AType = "@S";
    } else if (AIndex == Base + 1) {
        AName = "LoginTimeout";
        AType = "@I";
    } else {
        return;
    }
    ACaption = AName;
}

void TZqPhysODBCDriverBase::GetODBCDriver(TZqIntfPtr<IZqPhysODBCDriver> &ADriver)
{
    ADriver = TZqIntfPtr<IZqPhysODBCDriver>(static_cast<IZqPhysODBCDriver *>(this));
}

std::string TZqPhysODBCDriverBase::BuildConnectionString(const TZqIntfPtr<IZqStanConnectionDef> &ADef)
{
    const std::string D = TrimBlanks(ADef->GetExpandedDatabase());
    std::string S, Rest;
    bool Source;
    if (D.find('=') == std::string::npos) {
        S = ADef->BuildString(FKeywords.get());
        Source = HasSource(*ADef);
    } else {
        // The Database parameter holds connect-string text of its own: its
        // pairs join (and override) the definition's other parameters.
        TZqIntfPtr<IZqStanConnectionDef> T = NewTempDef();
        T->SetParams(ADef->GetParams());
        DeleteParam(*T, "Database");
        const std::string Own = T->BuildString(FKeywords.get());
        T->ParseString(Own, nullptr, Rest);
        T->ParseString(D, nullptr, Rest);
        S = T->BuildString(FKeywords.get());
        Source = HasSource(*T);
    }
    const std::string P = GetConnectionStringPrefix();
    if (!P.empty()) S = S.empty() ? P : P + ";" + S;
    const std::string A = ADef->GetAsString("ODBCAdvanced");
    if (!A.empty()) S = S.empty() ? A : S + ";" + A;
    if (Source) {
        // A data source brings its own driver.
        TZqIntfPtr<IZqStanConnectionDef> T = NewTempDef();
        T->ParseString(S, nullptr, Rest);
        DeleteParam(*T, "DRIVER");
        S = T->BuildString(nullptr);
    }
    return S;
}

bool TZqPhysODBCDriverBase::EditConnectionDef(const TZqIntfPtr<IZqStanConnectionDef> &ADef)
{
    TODBCConnection Conn(FEnvironment.get(), this);
    std::string C;
    try {
        C = Conn.DriverConnect(BuildConnectionString(ADef), true);
        Conn.Disconnect();
    } catch (EODBCNativeException &E) {
        if (E.Kind() == 1) return false; // the user cancelled the dialog
        throw;
    }
    std::string Rest;
    ADef->ParseString(C, FKeywords.get(), Rest);
    ADef->SetAsString("ODBCAdvanced", Rest);
    return true;
}

// ---- the connection -----------------------------------------------------------------------------

TZqPhysODBCConnectionBase::TZqPhysODBCConnectionBase(TZqPhysDriver *ADriver, TZqPhysConnectionHost *AHost)
    : TZqPhysConnection(ADriver, AHost)
{
    FODBCConnection = std::make_unique<TODBCConnection>(ODBCDriver()->Environment(), this);
    FODBCConnection->OnGetErrorInfo = [this](TODBCHandle *H, int R, const std::string &St, int32_t N,
                                             const std::string &M, const std::string &T, std::string &O, uint8_t &K,
                                             int32_t &Off) { GetErrorInfo(H, R, St, N, M, T, O, K, Off); };
    FODBCConnection->OnGetMaxSizes = [this](SQLSMALLINT C, bool F, bool N, SQLULEN &MC, SQLLEN &MD) {
        GetMaxSizes(C, F, N, MC, MD);
    };
}

TZqPhysODBCConnectionBase::~TZqPhysODBCConnectionBase()
{
    // The base has closed the connection through our overrides before the
    // object was torn down; what is left is only a connection that failed
    // half-way.
    if (FConnected) {
        try {
            FODBCConnection->Disconnect();
        } catch (...) {
        }
    }
    FODBCConnection.reset();
}

TZqPhysODBCDriverBase *TZqPhysODBCConnectionBase::ODBCDriver() const
{
    return static_cast<TZqPhysODBCDriverBase *>(DriverObj());
}

int TZqPhysODBCConnectionBase::GetItemCount()
{
    return TZqPhysConnection::GetItemCount() + 1 + (FConnected ? 5 : 0);
}

void TZqPhysODBCConnectionBase::GetItem(int AIndex, std::string &AName, rtl::Variant &AValue, uint8_t &AKind)
{
    const int Base = TZqPhysConnection::GetItemCount();
    if (AIndex < Base) {
        TZqPhysConnection::GetItem(AIndex, AName, AValue, AKind);
        return;
    }
    struct TInfo {
        const char *Name;
        SQLUSMALLINT Info;
    };
    static const TInfo CInfo[] = {{"Driver Manager version", SQL_DM_VER},
                                  {"Driver name", SQL_DRIVER_NAME},
                                  {"Driver version", SQL_DRIVER_VER},
                                  {"Driver conformance", SQL_ODBC_INTERFACE_CONFORMANCE},
                                  {"DBMS name", SQL_DBMS_NAME},
                                  {"DBMS version", SQL_DBMS_VER}};
    const int I = AIndex - Base;
    if (I < 0 || I > 5) return;
    AName = CInfo[I].Name;
    AKind = I == 0 ? 3 : 4;
    if (I == 3) AValue = std::to_string(FODBCConnection->GetInfoInt(CInfo[I].Info));
    else AValue = FODBCConnection->GetInfoStr(CInfo[I].Info);
}

bool TZqPhysODBCConnectionBase::GetDataSourceReadOnly()
{
    if (!FConnected) return false;
    try {
        return FODBCConnection->GetInfoStr(SQL_DATA_SOURCE_READ_ONLY) == "Y";
    } catch (const std::exception &) {
        return false; // a driver that cannot say is taken as writable
    }
}

void TZqPhysODBCConnectionBase::InternalConnect()
{
    TZqIntfPtr<IZqStanConnectionDef> Def = GetConnectionDef();
    SetAllowReconnect(Def->GetAsBoolean("AllowReconnect"));
    try {
        if (Def->HasValue("LoginTimeout"))
            FODBCConnection->SetIntAttr(SQL_ATTR_LOGIN_TIMEOUT, Def->GetAsInteger("LoginTimeout"));
        FODBCConnection->DriverConnect(ODBCDriver()->BuildConnectionString(Def), false);
        FConnected = true;
        TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
        CreateMetadata(Meta);
        FODBCConnection->RDBMSKind = uint8_t(Meta->GetKind());
        if (FODBCConnection->RDBMSKind == ODBCKindDB2) FODBCConnection->SetIntAttr(1253, 1);
        FGetDataInBlock = (FODBCConnection->GetInfoInt(SQL_GETDATA_EXTENSIONS) & SQL_GD_BLOCK) == SQL_GD_BLOCK;
        FPrimaryKeysSupported = FODBCConnection->GetFunctions(SQL_API_SQLPRIMARYKEYS) == SQL_TRUE;
        // A driver that does not say is asked for arrays on every statement,
        // as before it could.
        SQLUINTEGER Selects = SQL_PAS_BATCH;
        FParamArraySelects =
            !SQL_SUCCEEDED(FODBCConnection->Lib()->SQLGetInfo(FODBCConnection->Handle(), SQL_PARAM_ARRAY_SELECTS,
                                                              &Selects, sizeof Selects, nullptr)) ||
            Selects != SQL_PAS_NO_SELECT;
        if (FODBCConnection->GetInfoSmallint(SQL_TXN_CAPABLE) != 0) BuildIsolationMap();
        SetupDecimalSeparators();
    } catch (...) {
        InternalDisconnect();
        throw;
    }
}

void TZqPhysODBCConnectionBase::InternalDisconnect()
{
    if (!FConnected) return;
    FConnected = false;
    FODBCConnection->Disconnect();
}

SQLUINTEGER TZqPhysODBCConnectionBase::MapIsolation(SQLUINTEGER AWanted, SQLUINTEGER ASupported)
{
    SQLUINTEGER V = AWanted;
    while (V != 0 && (V & ASupported) == 0) V >>= 1;
    if (V == 0) {
        V = AWanted;
        while (V != 0 && (V & ASupported) == 0) V <<= 1;
    }
    return V;
}

void TZqPhysODBCConnectionBase::BuildIsolationMap()
{
    const SQLUINTEGER Supported = FODBCConnection->GetInfoInt(SQL_TXN_ISOLATION_OPTION);
    static const SQLUINTEGER CWanted[4] = {SQL_TXN_READ_UNCOMMITTED, SQL_TXN_READ_COMMITTED,
                                           SQL_TXN_REPEATABLE_READ, SQL_TXN_SERIALIZABLE};
    for (int I = 0; I < 4; ++I) FIsolationMap[I] = MapIsolation(CWanted[I], Supported);
}

void TZqPhysODBCConnectionBase::SetupDecimalSeparators()
{
    FODBCConnection->ParamDecimalSeparator = '.';
    FODBCConnection->ColumnDecimalSeparator = '.';
}

void TZqPhysODBCConnectionBase::GetErrorInfo(TODBCHandle *, int, const std::string &ASQLState, int32_t,
                                             const std::string &, const std::string &, std::string &,
                                             uint8_t &AKind, int32_t &)
{
    if (ASQLState == "HY008") AKind = 9;
    else if (ASQLState == "08S01") AKind = 10;
    else AKind = 0;
}

void TZqPhysODBCConnectionBase::InternalTxBegin(int32_t)
{
    FODBCConnection->Transaction().StartTransaction();
}

void TZqPhysODBCConnectionBase::InternalTxCommit(int32_t)
{
    FODBCConnection->Transaction().Commit();
    if (GetTxOptions()->AutoCommit()) FODBCConnection->SetIntAttr(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
}

void TZqPhysODBCConnectionBase::InternalTxRollback(int32_t)
{
    FODBCConnection->Transaction().Rollback();
    if (GetTxOptions()->AutoCommit()) FODBCConnection->SetIntAttr(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
}

std::string TZqPhysODBCConnectionBase::GeneratedTxText(int AWhich, const std::string &AName)
{
    TZqIntfPtr<IZqPhysCommandGenerator> Gen;
    CreateCommandGenerator(Gen, TZqIntfPtr<IZqPhysCommand>());
    if (!Gen) return std::string();
    switch (AWhich) {
    case 0: return Gen->GenerateSavepoint(AName);
    case 1: return Gen->GenerateRollbackToSavepoint(AName);
    default: return Gen->GenerateCommitSavepoint(AName);
    }
}

void TZqPhysODBCConnectionBase::InternalTxSetSavepoint(const std::string &AName)
{
    const std::string S = GeneratedTxText(0, AName);
    if (!S.empty()) ExecuteDirect(S);
}

void TZqPhysODBCConnectionBase::InternalTxRollbackToSavepoint(const std::string &AName)
{
    const std::string S = GeneratedTxText(1, AName);
    if (!S.empty()) ExecuteDirect(S);
}

void TZqPhysODBCConnectionBase::InternalTxCommitSavepoint(const std::string &AName)
{
    const std::string S = GeneratedTxText(2, AName);
    if (!S.empty()) ExecuteDirect(S);
}

void TZqPhysODBCConnectionBase::InternalTxChanged()
{
    TZqTxOptions *Tx = GetTxOptions();
    if (Tx->Changes() & TZqTxOptions::tcAutoCommit)
        FODBCConnection->SetIntAttr(SQL_ATTR_AUTOCOMMIT, Tx->AutoCommit() ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
    if (Tx->Changes() & TZqTxOptions::tcIsolation)
        FODBCConnection->SetIntAttr(SQL_ATTR_TXN_ISOLATION, SQLLEN(FIsolationMap[Tx->Isolation()]));
}

void TZqPhysODBCConnectionBase::ApplyTxOptions()
{
    // A new connection starts with the driver's defaults: the options the
    // old one ran with are set again.
    TZqTxOptions *Tx = GetTxOptions();
    FODBCConnection->SetIntAttr(SQL_ATTR_AUTOCOMMIT, Tx->AutoCommit() ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
    if (FIsolationMap[Tx->Isolation()] != 0)
        FODBCConnection->SetIntAttr(SQL_ATTR_TXN_ISOLATION, SQLLEN(FIsolationMap[Tx->Isolation()]));
}

bool TZqPhysODBCConnectionBase::ExecuteWithReconnect(const std::function<bool()> &ARun,
                                                     const std::function<void()> &AUnprepare,
                                                     const std::function<void()> &APrepare)
{
    try {
        return ARun();
    } catch (EODBCNativeException &E) {
        if (!MayReconnect(E)) throw;
    }
    Reconnect(AUnprepare, APrepare);
    // Once only: a second failure goes to the caller.
    return ARun();
}

bool TZqPhysODBCConnectionBase::MayReconnect(const EODBCNativeException &AError)
{
    return AllowReconnect() && AError.Kind() == 10 && !GetInTransaction();
}

void TZqPhysODBCConnectionBase::Reconnect(const std::function<void()> &AUnprepare,
                                          const std::function<void()> &APrepare)
{
    if (AUnprepare) AUnprepare();
    try {
        InternalDisconnect();
    } catch (EODBCNativeException &) {
        // the link is gone: its handle is dropped with the reconnect
    }
    InternalConnect();
    ApplyTxOptions();
    if (APrepare) APrepare();
}

void TZqPhysODBCConnectionBase::ExecuteDirect(const std::string &ASQL)
{
    TODBCCommandStatement S(FODBCConnection.get(), this);
    SQLLEN Rows = 0;
    S.Execute(1, 0, &ASQL, false, Rows);
    S.Close();
}
