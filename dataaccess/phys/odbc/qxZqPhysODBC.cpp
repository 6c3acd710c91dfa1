// qxZqPhysODBC: the generic ODBC driver and its connection.
#include "dataaccess/phys/odbc/qxZqPhysODBC.h"

#include <mutex>

#include "dataaccess/phys/dialects/qxZqPhysDialectGen.h"
#include "dataaccess/phys/odbc/qxZqPhysODBCMeta.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

namespace {

// The parameters this driver adds after the ODBC base's, in this order.
enum { pDriver, pDataSource, pMetaDefSchema, pMetaDefCatalog, pRDBMS, pCount };

std::string KindNames()
{
    std::string R;
    for (int K = mkOracle; K <= mkOther; ++K) {
        if (!R.empty()) R += ';';
        R += TZqPhysConnectionMetadata::KindName(TZqRDBMSKind(K));
    }
    return R;
}

// Joins the items that AFirst and ANext walk through, each as a list item.
template <typename TFirst, typename TNext>
std::string EnumerationList(TFirst AFirst, TNext ANext)
{
    std::string R, Item, Extra;
    for (bool More = AFirst(Item, Extra); More; More = ANext(Item, Extra)) {
        if (!R.empty()) R += ';';
        R += TODBCLib::EncodeValue(Item);
    }
    return R;
}

} // namespace

TZqRDBMSKind ZqPhysODBCKindByName(const std::string &AName)
{
    const std::string N = rtl::UpperCase(rtl::Trim(AName));
    if (N.empty()) return mkUnknown;
    for (int K = mkOracle; K <= mkOther; ++K)
        if (N == TZqPhysConnectionMetadata::KindName(TZqRDBMSKind(K))) return TZqRDBMSKind(K);
    return mkUnknown;
}

// ---- the driver -------------------------------------------------------------------------------

TZqPhysODBCDriver::TZqPhysODBCDriver(TZqPhysDriverHost *AHost) : TZqPhysODBCDriverBase(AHost)
{
    InitKeywords();
}

int TZqPhysODBCDriver::GetParamCount(const rtl::TStrings *AParams)
{
    return TZqPhysODBCDriverBase::GetParamCount(AParams) + pCount;
}

void TZqPhysODBCDriver::GetParamInfo(const rtl::TStrings *AParams, int AIndex, std::string &AName,
                                     std::string &AType, std::string &ADefault, std::string &ACaption,
                                     int &ALoginIndex)
{
    const int Base = TZqPhysODBCDriverBase::GetParamCount(AParams);
    if (AIndex < Base) {
        TZqPhysODBCDriverBase::GetParamInfo(AParams, AIndex, AName, AType, ADefault, ACaption, ALoginIndex);
        return;
    }
    AName.clear(); AType.clear(); ADefault.clear(); ACaption.clear(); ALoginIndex = -1;
    switch (AIndex - Base) {
    case pDriver:
        AName = "Driver";
        AType = InstalledDrivers();
        break;
    case pDataSource:
        AName = "DataSource";
        AType = DataSources();
        ALoginIndex = 2;
        break;
    case pMetaDefSchema:
        AName = "MetaDefSchema";
        AType = "@S";
        break;
    case pMetaDefCatalog:
        AName = "MetaDefCatalog";
        AType = "@S";
        break;
    case pRDBMS:
        AName = "RDBMS";
        AType = KindNames();
        break;
    default:
        return;
    }
    ACaption = AName;
}

std::string TZqPhysODBCDriver::InstalledDrivers()
{
    TODBCEnvironment *Env = Environment();
    return EnumerationList([Env](std::string &D, std::string &A) { return Env->DriversFirst(D, A); },
                           [Env](std::string &D, std::string &A) { return Env->DriversNext(D, A); });
}

std::string TZqPhysODBCDriver::DataSources()
{
    TODBCEnvironment *Env = Environment();
    return EnumerationList([Env](std::string &N, std::string &D) { return Env->DataSourcesFirst(N, D); },
                           [Env](std::string &N, std::string &D) { return Env->DataSourcesNext(N, D); });
}

void TZqPhysODBCDriver::GetConnectionStringKeywords(rtl::TStringList &AKeywords)
{
    AKeywords.Add("Driver");
    AKeywords.Add("DataSource=DSN");
    AKeywords.Add("Database=DBQ");
    TZqPhysODBCDriverBase::GetConnectionStringKeywords(AKeywords);
}

// ---- the connection -----------------------------------------------------------------------------

TZqPhysODBCConnection::TZqPhysODBCConnection(TZqPhysDriver *ADriver, TZqPhysConnectionHost *AHost)
    : TZqPhysODBCConnectionBase(ADriver, AHost)
{
    DetectKind();
}

void TZqPhysODBCConnection::DetectKind()
{
    if (FRDBMSKind.load() != mkUnknown) return;
    TZqRDBMSKind K = ZqPhysODBCKindByName(GetConnectionDef()->GetAsString("RDBMS"));
    if (K == mkUnknown && ODBCConnection()->Connected) K = TZqRDBMSKind(ODBCConnection()->RDBMSKind);
    FRDBMSKind = K;
}

void TZqPhysODBCConnection::InternalConnect()
{
    // The base connect asks the metadata for the kind it hands to the ODBC
    // connection: a kind kept from an earlier connect (perhaps through
    // another ODBC driver) must not answer there.
    FRDBMSKind = mkUnknown;
    TZqPhysODBCConnectionBase::InternalConnect();
    FRDBMSKind = mkUnknown;
}

IZqPhysConnectionMetadata *TZqPhysODBCConnection::InternalCreateMetadata()
{
    DetectKind();
    const TZqRDBMSKind K = RDBMSKind();
    TZqIntfPtr<TZqPhysConnectionMetadata> Inner;
    // Through ODBC the versions of Oracle and MySQL are not read: the
    // version-dependent facts take their oldest form, and MySQL names count
    // as not case-sensitive.
    if (K >= mkOracle && K <= mkADS) Inner = ZqCreateDialectMetadata(K, 0, 0, false);
    return new TZqPhysODBCMetadata(this, Inner, ODBCConnection());
}

void TZqPhysODBCConnection::InternalCreateCommandGenerator(TZqIntfPtr<IZqPhysCommandGenerator> &AGen,
                                                           const TZqIntfPtr<IZqPhysCommand> &ACommand)
{
    DetectKind();
    // The metadata is made after the kind is decided and reports that kind,
    // so the generator it selects is the kind's own (the generic one for
    // an unknown or other kind).
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    CreateMetadata(Meta);
    if (ACommand) AGen = ZqCreateCommandGenerator(Meta, ACommand->GetOptions(), ACommand.Get());
    else AGen = ZqCreateCommandGenerator(Meta, GetOptions());
}

void TZqPhysODBCConnection::GetErrorInfo(TODBCHandle *AHandle, int ARecord, const std::string &ASQLState,
                                         int32_t ANativeError, const std::string &AMessage,
                                         const std::string &ACommandText, std::string &AObjName, uint8_t &AKind,
                                         int32_t &ACommandTextOffset)
{
    TZqPhysODBCConnectionBase::GetErrorInfo(AHandle, ARecord, ASQLState, ANativeError, AMessage, ACommandText,
                                            AObjName, AKind, ACommandTextOffset);
    // Servers that cancel a statement themselves (PostgreSQL, DB2) report
    // their own state for it rather than the driver manager's HY008.
    if (AKind == 0 && ASQLState == "57014") AKind = ekCmdAborted;
    // Asked only for a statement's records: asking the connection handle
    // clears that handle's own records, which may be the ones being read.
    if (AKind == 0 && AHandle && AHandle->HandleType() == SQL_HANDLE_STMT && ConnectionDead()) AKind = ekServerGone;
}

bool TZqPhysODBCConnection::ConnectionDead()
{
    TODBCConnection *C = ODBCConnection();
    if (!C->Connected || C->Handle() == SQL_NULL_HANDLE) return false;
    // Called while an exception is being built: the call goes past Check,
    // and a driver that does not know the attribute simply says nothing.
    SQLUINTEGER Dead = SQL_CD_FALSE;
    const SQLRETURN RC = C->Lib()->SQLGetConnectAttr(C->Handle(), SQL_ATTR_CONNECTION_DEAD, &Dead, sizeof Dead, nullptr);
    return SQL_SUCCEEDED(RC) && Dead == SQL_CD_TRUE;
}

void TZqPhysODBCConnection::GetMaxSizes(SQLSMALLINT, bool, bool, SQLULEN &, SQLLEN &) {}

// ---- registration ------------------------------------------------------------------------------

const TZqPhysDriverClass ZqPhysODBCDriverClass{
    "ODBC", [](TZqPhysDriverHost *H) -> TZqPhysDriver * { return new TZqPhysODBCDriver(H); }};
const TZqPhysConnectionClass ZqPhysODBCConnectionClass{
    &ZqPhysODBCDriverClass, [](TZqPhysDriver *D, TZqPhysConnectionHost *H) -> TZqPhysConnection * {
        return new TZqPhysODBCConnection(D, H);
    }};

void ZqPhysODBCRegister()
{
    static std::once_flag Once;
    std::call_once(Once, [] { ZqPhysRegisterDriverClass(&ZqPhysODBCConnectionClass); });
}
