#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"

#include <mutex>

#include "dataaccess/phys/dialects/qxZqPhysDialectGen.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAccMeta.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/rtl/Classes.h"

// ---- the driver -------------------------------------------------------------------------------

TZqPhysODBCMSAccessDriver::TZqPhysODBCMSAccessDriver(TZqPhysDriverHost *AHost) : TZqPhysODBCDriverBase(AHost)
{
    InitKeywords();
}

int TZqPhysODBCMSAccessDriver::GetParamCount(const rtl::TStrings *AParams)
{
    return TZqPhysODBCDriverBase::GetParamCount(AParams) + 2;
}

void TZqPhysODBCMSAccessDriver::GetParamInfo(const rtl::TStrings *AParams, int AIndex, std::string &AName,
                                             std::string &AType, std::string &ADefault, std::string &ACaption,
                                             int &ALoginIndex)
{
    const int Base = TZqPhysODBCDriverBase::GetParamCount(AParams);
    if (AIndex < Base) {
        TZqPhysODBCDriverBase::GetParamInfo(AParams, AIndex, AName, AType, ADefault, ACaption, ALoginIndex);
        if (AName == "Database") ALoginIndex = 2;
        return;
    }
    AName.clear(); AType.clear(); ADefault.clear(); ACaption.clear(); ALoginIndex = -1;
    if (AIndex == Base) {
        AName = "SystemDB";
        AType = "@S";
    } else if (AIndex == Base + 1) {
        AName = "ReadOnly";
        AType = "@L";
    } else {
        return;
    }
    ACaption = AName;
}

void TZqPhysODBCMSAccessDriver::GetConnectionStringKeywords(rtl::TStringList &AKeywords)
{
    AKeywords.Add("Database=DBQ");
    AKeywords.Add("SystemDB");
    AKeywords.Add("ReadOnly");
    AKeywords.Add("=DRIVER");
    AKeywords.Add("=ExtendedAnsiSQL");
    TZqPhysODBCDriverBase::GetConnectionStringKeywords(AKeywords);
}

std::string TZqPhysODBCMSAccessDriver::GetConnectionStringPrefix()
{
    return "DRIVER={Microsoft Access Driver (*.mdb)};ExtendedAnsiSQL=1";
}

// ---- the connection -----------------------------------------------------------------------------

IZqPhysConnectionMetadata *TZqPhysODBCMSAccessConnection::InternalCreateMetadata()
{
    return new TZqPhysMSAccMetadata();
}

void TZqPhysODBCMSAccessConnection::InternalCreateCommandGenerator(TZqIntfPtr<IZqPhysCommandGenerator> &AGen,
                                                                   const TZqIntfPtr<IZqPhysCommand> &ACommand)
{
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    CreateMetadata(Meta);
    IZqStanOptions *Opts = ACommand ? ACommand->GetOptions() : GetOptions();
    AGen = TZqIntfPtr<IZqPhysCommandGenerator>(new TZqPhysMSAccCommandGenerator(Meta, Opts));
}

void TZqPhysODBCMSAccessConnection::GetErrorInfo(TODBCHandle *AHandle, int ARecord, const std::string &ASQLState,
                                                 int32_t ANativeError, const std::string &AMessage,
                                                 const std::string &ACommandText, std::string &AObjName,
                                                 uint8_t &AKind, int32_t &ACommandTextOffset)
{
    switch (ANativeError) {
    case -1305: {
        AKind = 5;
        const size_t A = AMessage.find('\'');
        const size_t B = A == std::string::npos ? A : AMessage.find('\'', A + 1);
        if (B != std::string::npos) AObjName = AMessage.substr(A + 1, B - A - 1);
        break;
    }
    case -1102: AKind = ekRecordLocked; break;
    case -1605: AKind = 3; break;
    case -1613: AKind = 4; break;
    case -1905: AKind = 6; break;
    default:
        TZqPhysODBCConnectionBase::GetErrorInfo(AHandle, ARecord, ASQLState, ANativeError, AMessage, ACommandText,
                                                AObjName, AKind, ACommandTextOffset);
    }
}

void TZqPhysODBCMSAccessConnection::GetMaxSizes(SQLSMALLINT ACType, bool, bool ANumericType, SQLULEN &AMaxColSize,
                                                SQLLEN &AMaxDataSize)
{
    switch (ACType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: AMaxColSize = ANumericType ? 38 : 255; break;
    case SQL_C_BINARY: AMaxColSize = 510; break;
    default: ZqRaiseCapabilityNotSupported(this, {"Phys", "MSAcc"}); return;
    }
    // Narrow text is UTF-8: 255 characters may take three bytes each.
    AMaxDataSize = SQLLEN(AMaxColSize) * (ACType == SQL_C_WCHAR ? 2 : ACType == SQL_C_CHAR && !ANumericType ? ODBC_UTF8_UNIT_BYTES : 1) +
                   (ANumericType ? 2 : 0);
}

// ---- registration ------------------------------------------------------------------------------

const TZqPhysDriverClass ZqPhysMSAccDriverClass{
    "MSAcc", [](TZqPhysDriverHost *H) -> TZqPhysDriver * { return new TZqPhysODBCMSAccessDriver(H); }};
const TZqPhysConnectionClass ZqPhysMSAccConnectionClass{
    &ZqPhysMSAccDriverClass, [](TZqPhysDriver *D, TZqPhysConnectionHost *H) -> TZqPhysConnection * {
        return new TZqPhysODBCMSAccessConnection(D, H);
    }};

void ZqPhysMSAccRegister()
{
    static std::once_flag Once;
    std::call_once(Once, [] { ZqPhysRegisterDriverClass(&ZqPhysMSAccConnectionClass); });
}

TZqPhysMSAccessDriverLink::TZqPhysMSAccessDriverLink(rtl::TComponent *AOwner) : TZqPhysDriverLinkBase(AOwner)
{
    ZqPhysMSAccRegister();
}
