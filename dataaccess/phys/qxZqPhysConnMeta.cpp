// qxZqPhysConnMeta: the base dialect: name parsing, quoting and folding,
// literal forms, escape translation and the command-kind lookup.
#include "dataaccess/phys/qxZqPhysConnMeta.h"

#include <cctype>
#include <map>

#include "dataaccess/phys/qxZqPhysManager.h"
#include "platform/rtl/SysUtils.h"

namespace {

bool HasPart(TZqPhysNameParts AParts, TZqPhysNamePart APart) { return (AParts & ZqNamePart(APart)) != 0; }

const std::map<std::string, int> &FunctionTable()
{
    static const std::map<std::string, int> Table = [] {
        static const char *const Names[] = {
            "ASCII", "LTRIM", "REPLACE", "RTRIM", "SOUNDEX", "ABS", "COS", "EXP", "FLOOR", "MOD", "POWER",
            "ROUND", "SIGN", "SIN", "SQRT", "TAN", "DECODE", "BIT_LENGTH", "CHAR", "CHAR_LENGTH", "CONCAT",
            "DIFFERENCE", "INSERT", "LCASE", "LEFT", "LENGTH", "LOCATE", "OCTET_LENGTH", "POSITION", "REPEAT",
            "RIGHT", "SPACE", "SUBSTRING", "UCASE", "ACOS", "ASIN", "ATAN", "ATAN2", "COT", "CEILING",
            "DEGREES", "LOG", "LOG10", "PI", "RADIANS", "RANDOM", "TRUNCATE", "CURRENT_DATE",
            "CURRENT_TIME", "CURRENT_TIMESTAMP", "DAYNAME", "DAYOFMONTH", "DAYOFWEEK", "DAYOFYEAR",
            "EXTRACT", "HOUR", "MINUTE", "MONTH", "MONTHNAME", "QUARTER", "SECOND", "TIMESTAMPADD",
            "TIMESTAMPDIFF", "WEEK", "YEAR", "CATALOG", "SCHEMA", "IFNULL", "IF", "CONVERT"};
        std::map<std::string, int> M;
        for (int i = 0; i < int(std::size(Names)); ++i) M[Names[i]] = i;
        // Second names of one code.
        M["CHARACTER_LENGTH"] = efCHAR_LENGTH;
        M["CURDATE"] = efCURDATE;
        M["CURTIME"] = efCURTIME;
        M["NOW"] = efNOW;
        M["IIF"] = efIF;
        return M;
    }();
    return Table;
}

} // namespace

// ---- errors and small pieces -------------------------------------------------------

void TZqPhysConnectionMetadata::Error(int32_t ACode, const std::vector<rtl::Variant> &AArgs)
{
    ZqRaiseError(this, {"Phys"}, ACode, AArgs);
    throw rtl::EAbort();
}

std::string TZqPhysConnectionMetadata::Arg(const TZqPhysEscapeData &AEscape, size_t AIndex)
{
    return AIndex < AEscape.FArgs.size() ? AEscape.FArgs[AIndex] : std::string();
}

std::string TZqPhysConnectionMetadata::Args(const TZqPhysEscapeData &AEscape)
{
    std::string R;
    for (size_t i = 0; i < AEscape.FArgs.size(); ++i) {
        if (i) R += ", ";
        R += AEscape.FArgs[i];
    }
    return R;
}

std::string TZqPhysConnectionMetadata::Call(const std::string &AName, const TZqPhysEscapeData &AEscape)
{
    return AName + "(" + Args(AEscape) + ")";
}

std::string TZqPhysConnectionMetadata::CaseWhen(const TZqPhysEscapeData &AEscape)
{
    if (AEscape.FFunc == efIFNULL)
        return "CASE WHEN " + Arg(AEscape, 0) + " IS NULL THEN " + Arg(AEscape, 1) + " ELSE " + Arg(AEscape, 0) +
               " END";
    return "CASE WHEN " + Arg(AEscape, 0) + " THEN " + Arg(AEscape, 1) + " ELSE " + Arg(AEscape, 2) + " END";
}

std::string TZqPhysConnectionMetadata::Decode(const TZqPhysEscapeData &AEscape)
{
    std::string R = "CASE " + Arg(AEscape, 0);
    size_t i = 1;
    for (; i + 1 < AEscape.FArgs.size(); i += 2) R += " WHEN " + AEscape.FArgs[i] + " THEN " + AEscape.FArgs[i + 1];
    if (i < AEscape.FArgs.size()) R += " ELSE " + AEscape.FArgs[i];
    return R + " END";
}

std::string TZqPhysConnectionMetadata::ExtractAsFunction(TZqPhysEscapeData &AEscape)
{
    std::string Unit = rtl::UpperCase(Dequote(rtl::Trim(Arg(AEscape, 0)), '\'', '\''));
    if (Unit == "DAY") Unit = "DAYOFMONTH";
    const int Code = FunctionCode(Unit);
    if (Code < 0 || Code == efEXTRACT) Unsupported(AEscape);
    TZqPhysEscapeData Inner;
    Inner.FKind = eskFunction;
    Inner.FName = Unit;
    Inner.FFunc = TZqPhysEscapeFunction(Code);
    Inner.FArgs = {Arg(AEscape, 1)};
    return TranslateFunction(Inner);
}

int TZqPhysConnectionMetadata::FunctionCode(const std::string &AName)
{
    const auto &T = FunctionTable();
    const auto It = T.find(AName);
    return It == T.end() ? -1 : It->second;
}

const char *TZqPhysConnectionMetadata::KindName(TZqRDBMSKind AKind)
{
    static const char *const Names[] = {"", "ORACLE", "MSSQL", "MSACCESS", "MYSQL", "DB2", "ASA", "ADS", "OTHER"};
    return AKind <= mkOther ? Names[AKind] : "";
}

// ---- names -------------------------------------------------------------------------

int TZqPhysConnectionMetadata::NamePartCount()
{
    const TZqPhysNameParts Parts = GetNameParts() & ~ZqNamePart(npDBLink);
    int N = 0;
    for (int i = 0; i < 5; ++i)
        if (Parts & (1u << i)) ++N;
    return N;
}

bool TZqPhysConnectionMetadata::IsQuoted(const std::string &AName)
{
    const char Q1 = GetNameQuoteChar1(), Q2 = GetNameQuoteChar2();
    return AName.size() >= 3 && Q1 > ' ' && Q2 > ' ' && AName.front() == Q1 && AName.back() == Q2;
}

bool TZqPhysConnectionMetadata::IsPlainIdentifier(const std::string &AName)
{
    if (AName.empty() || !std::isalpha(static_cast<unsigned char>(AName[0]))) return false;
    for (unsigned char C : AName)
        if (C > 127 || !(std::isalnum(C) || C == '_' || C == '#' || C == '$')) return false; // ASCII only
    return true;
}

std::string TZqPhysConnectionMetadata::Quote(const std::string &AName)
{
    const char Q1 = GetNameQuoteChar1(), Q2 = GetNameQuoteChar2();
    if (AName.empty() || IsQuoted(AName) || Q1 <= ' ' || Q2 <= ' ') return AName;
    return Q1 + AName + Q2;
}

std::string TZqPhysConnectionMetadata::Dequote(const std::string &AName, char AOpen, char AClose)
{
    if (AName.size() >= 3 && AName.front() == AOpen && AName.back() == AClose)
        return AName.substr(1, AName.size() - 2);
    return AName;
}

std::string TZqPhysConnectionMetadata::FoldCase(const std::string &AName, TZqPhysNamePart APart)
{
    return HasPart(GetNameDefLowCaseParts(), APart) ? rtl::AnsiLowerCase(AName) : rtl::AnsiUpperCase(AName);
}

std::string TZqPhysConnectionMetadata::NormalizeName(const std::string &AName, TZqPhysNamePart APart)
{
    if (AName.empty()) return AName;
    if (IsQuoted(AName))
        return HasPart(GetNameQuotedCaseSensParts(), APart) ? AName : FoldCase(AName, APart);
    std::string R = HasPart(GetNameCaseSensParts(), APart) ? AName : FoldCase(AName, APart);
    return IsPlainIdentifier(R) ? R : Quote(R);
}

std::string TZqPhysConnectionMetadata::QuoteIfNeeded(const std::string &AName, TZqPhysNamePart APart)
{
    if (AName.empty() || IsQuoted(AName)) return AName;
    if (!IsPlainIdentifier(AName)) return Quote(AName);
    if (HasPart(GetNameCaseSensParts(), APart)) return AName;
    if (HasPart(GetNameQuotedCaseSensParts(), APart) && FoldCase(AName, APart) != AName) return Quote(AName);
    return AName;
}

void TZqPhysConnectionMetadata::DecodeName(const std::string &AName, TZqPhysParsedName &AParsedName)
{
    AParsedName = TZqPhysParsedName();
    const char Q1 = GetNameQuoteChar1(), Q2 = GetNameQuoteChar2();
    std::vector<std::string> Pieces;
    std::string Piece;
    bool InQuote = false;
    size_t i = 0;
    for (; i < AName.size(); ++i) {
        const char C = AName[i];
        if (InQuote) {
            if (C == Q2) InQuote = false;
            Piece += C;
        } else if (C == Q1 && Q1 > ' ') {
            InQuote = true;
            Piece += C;
        } else if (C == '.') {
            Pieces.push_back(rtl::Trim(Piece));
            Piece.clear();
        } else if (C == '@') {
            AParsedName.FLink = rtl::Trim(AName.substr(i + 1));
            break;
        } else {
            Piece += C;
        }
    }
    Pieces.push_back(rtl::Trim(Piece));
    const TZqPhysNameParts Parts = GetNameParts();
    const int Count = NamePartCount();
    if (InQuote || int(Pieces.size()) > Count) Error(331, {AName});
    int n = int(Pieces.size());
    AParsedName.FObject = Pieces[--n];
    if (n > 0 && int(Pieces.size()) == Count) AParsedName.FBaseObject = Pieces[--n];
    if (n > 0 && HasPart(Parts, npSchema)) AParsedName.FSchema = Pieces[--n];
    if (n > 0 && HasPart(Parts, npCatalog)) AParsedName.FCatalog = Pieces[--n];
    if (n > 0) Error(331, {AName});
}

void TZqPhysConnectionMetadata::CompleteName(TZqPhysParsedName &AParsedName, IZqPhysCommandNames *ACommand)
{
    if (ACommand) {
        if (AParsedName.FCatalog.empty()) AParsedName.FCatalog = ACommand->GetCatalogName();
        if (AParsedName.FSchema.empty()) AParsedName.FSchema = ACommand->GetSchemaName();
        // A catalog query about a part of an owner (an index or key of a
        // table, a procedure of a package) carries the owner as its base
        // object; for every other command the base object is the object.
        auto *Cmd = dynamic_cast<IZqPhysCommand *>(ACommand);
        const TZqPhysMetaInfoKind Kind = Cmd ? Cmd->GetMetaInfoKind() : 0;
        const bool OwnerPart = Kind == mikIndexFields || Kind == mikPrimaryKeyFields ||
                               Kind == mikForeignKeyFields || Kind == mikProcs || Kind == mikProcArgs;
        if (OwnerPart) {
            if (AParsedName.FBaseObject.empty()) AParsedName.FBaseObject = ACommand->GetBaseObjectName();
        } else if (AParsedName.FObject.empty()) {
            AParsedName.FObject = ACommand->GetBaseObjectName();
        }
        if (AParsedName.FObject.find('.') != std::string::npos) {
            TZqPhysParsedName Inner;
            DecodeName(AParsedName.FObject, Inner);
            AParsedName.FObject = Inner.FObject;
            if (!Inner.FBaseObject.empty() && AParsedName.FBaseObject.empty())
                AParsedName.FBaseObject = Inner.FBaseObject;
            if (!Inner.FCatalog.empty()) AParsedName.FCatalog = Inner.FCatalog;
            if (!Inner.FSchema.empty()) AParsedName.FSchema = Inner.FSchema;
        }
    }
    if (FConnection) {
        FConnection->FillMetaDefaults(AParsedName, dynamic_cast<IZqPhysCommand *>(ACommand));
        return;
    }
    if (AParsedName.FCatalog.empty()) AParsedName.FCatalog = FDefCatalog;
    if (AParsedName.FSchema.empty()) AParsedName.FSchema = FDefSchema;
}

void TZqPhysConnectionMetadata::ParseObjName(const std::string &AName, TZqPhysParsedName &AParsedName, uint8_t AOpts,
                                             IZqPhysCommandNames *ACommand)
{
    const char Q1 = GetNameQuoteChar1(), Q2 = GetNameQuoteChar2();
    auto Treat = [&](std::string &S, TZqPhysNamePart APart) {
        if (AOpts & poNormalize) S = NormalizeName(S, APart);
        if (AOpts & poDequote) S = Dequote(S, Q1, Q2);
    };
    if (AOpts & poSingle) {
        AParsedName = TZqPhysParsedName();
        AParsedName.FObject = AName;
        Treat(AParsedName.FObject, npObject);
        return;
    }
    DecodeName(AName, AParsedName);
    if (ACommand) CompleteName(AParsedName, ACommand);
    Treat(AParsedName.FCatalog, npCatalog);
    Treat(AParsedName.FSchema, npSchema);
    Treat(AParsedName.FBaseObject, npBaseObject);
    Treat(AParsedName.FObject, npObject);
    if (AParsedName.FBaseObject.empty() && AParsedName.FObject.empty()) {
        AParsedName.FCatalog.clear();
        AParsedName.FSchema.clear();
        AParsedName.FLink.clear();
    }
}

std::string TZqPhysConnectionMetadata::EncodeObjName(const TZqPhysParsedName &AParsedName,
                                                     IZqPhysCommandNames *ACommand, uint8_t AOpts)
{
    (void)ACommand;
    TZqPhysParsedName N = AParsedName;
    const std::pair<std::string *, TZqPhysNamePart> Parts[] = {
        {&N.FCatalog, npCatalog}, {&N.FSchema, npSchema}, {&N.FBaseObject, npBaseObject}, {&N.FObject, npObject}};
    if (AOpts & eoBeShort) {
        if (rtl::SameText(N.FCatalog, DefCatalog())) N.FCatalog.clear();
        if (rtl::SameText(N.FSchema, DefSchema())) N.FSchema.clear();
        for (auto &[S, P] : Parts) *S = QuoteIfNeeded(*S, P);
    } else {
        for (auto &[S, P] : Parts) {
            if (AOpts & eoNormalize) *S = NormalizeName(*S, P);
            if (AOpts & eoQuote) *S = Quote(*S);
        }
    }
    return BuildName(N);
}

std::string TZqPhysConnectionMetadata::BuildName(const TZqPhysParsedName &AParsedName)
{
    const TZqPhysNameParts Parts = GetNameParts();
    std::string R;
    auto Append = [&R](const std::string &S) {
        if (!R.empty()) R += '.';
        R += S;
    };
    if (HasPart(Parts, npCatalog) && !AParsedName.FCatalog.empty()) R = AParsedName.FCatalog;
    if (HasPart(Parts, npSchema)) {
        if (!AParsedName.FSchema.empty())
            Append(AParsedName.FSchema);
        else if (HasPart(Parts, npCatalog) && !R.empty())
            R += '.'; // catalog..object
    }
    if (HasPart(Parts, npBaseObject) && !AParsedName.FBaseObject.empty()) Append(AParsedName.FBaseObject);
    if (HasPart(Parts, npObject) && !AParsedName.FObject.empty()) Append(AParsedName.FObject);
    if (HasPart(Parts, npDBLink) && !AParsedName.FLink.empty()) R += "@" + AParsedName.FLink;
    return R;
}

// ---- literals and escapes -------------------------------------------------------------

std::string TZqPhysConnectionMetadata::FormatLikeEscape(char AEscape, const std::string &APattern)
{
    return APattern + " ESCAPE '" + AEscape + "'";
}

std::string TZqPhysConnectionMetadata::TranslateFunction(TZqPhysEscapeData &)
{
    Error(303);
}

std::string TZqPhysConnectionMetadata::TranslateEscape(TZqPhysEscapeData &AEscape)
{
    auto Literal = [&]() { return Dequote(rtl::Trim(Arg(AEscape, 0)), '\'', '\''); };
    switch (AEscape.FKind) {
    case eskFloat: return FormatFloat(Literal());
    case eskDate: return FormatDate(Literal());
    case eskTime: return FormatTime(Literal());
    case eskDateTime: return FormatDateTime(Literal());
    case eskBoolean: return FormatBoolean(Literal());
    case eskIdentifier: {
        TZqPhysParsedName N;
        N.FObject = Literal();
        return EncodeObjName(N, nullptr, eoQuote);
    }
    case eskEscape: {
        const std::string E = Arg(AEscape, 0);
        return FormatLikeEscape(E.empty() ? '\\' : E[0], Arg(AEscape, 1));
    }
    case eskIF: {
        const size_t N = AEscape.FArgs.size();
        for (size_t i = 0; i + 1 < N; i += 2) {
            const std::string Cond = rtl::Trim(AEscape.FArgs[i]);
            if (Cond.empty()) continue;
            bool IsKindName = false;
            for (int k = 0; k <= mkOther; ++k)
                if (rtl::SameText(Cond, KindName(TZqRDBMSKind(k))) && k != mkUnknown) {
                    IsKindName = true;
                    if (k == GetKind()) return AEscape.FArgs[i + 1];
                }
            if (!IsKindName) return AEscape.FArgs[i + 1];
        }
        return N % 2 == 1 ? AEscape.FArgs[N - 1] : std::string();
    }
    case eskFunction: {
        const int Code = FunctionCode(AEscape.FName);
        if (Code < 0) Error(327, {AEscape.FName});
        AEscape.FFunc = TZqPhysEscapeFunction(Code);
        try {
            return TranslateFunction(AEscape);
        } catch (const EZqException &) {
            throw;
        } catch (const rtl::EAbort &) {
            throw;
        } catch (const std::exception &E) {
            Error(332, {AEscape.FName, std::string(E.what())});
        }
    }
    }
    return std::string();
}

TZqPhysCommandKind TZqPhysConnectionMetadata::GetSQLCommandKind(const std::string &AToken)
{
    if (AToken == "SELECT") return skSelect;
    if (AToken == "UPDATE") return skUpdate;
    if (AToken == "INSERT") return skInsert;
    if (AToken == "DELETE") return skDelete;
    if (AToken == "DROP") return skDrop;
    if (AToken == "CREATE") return skCreate;
    if (AToken == "ALTER") return skAlter;
    return GetKeywordCommandKind(AToken);
}

// ---- dialect objects by kind ---------------------------------------------------------------

#include "dataaccess/phys/dialects/qxZqPhysADSMeta.h"
#include "dataaccess/phys/dialects/qxZqPhysDb2Meta.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAccMeta.h"
#include "dataaccess/phys/dialects/qxZqPhysMSSQLMeta.h"
#include "dataaccess/phys/dialects/qxZqPhysMySQLMeta.h"
#include "dataaccess/phys/dialects/qxZqPhysOraMeta.h"

TZqIntfPtr<TZqPhysConnectionMetadata> ZqCreateDialectMetadata(TZqRDBMSKind AKind, int32_t AServerVersion,
                                                              int32_t AClientVersion, bool ANamesCaseSensitive)
{
    TZqPhysConnectionMetadata *M = nullptr;
    switch (AKind) {
    case mkOracle: M = new TZqPhysOraMetadata(AServerVersion, AClientVersion); break;
    case mkMSSQL: M = new TZqPhysMSSQLMetadata(); break;
    case mkMSAccess: M = new TZqPhysMSAccMetadata(); break;
    case mkMySQL: M = new TZqPhysMySQLMetadata(AServerVersion, AClientVersion, ANamesCaseSensitive); break;
    case mkDB2: M = new TZqPhysDb2Metadata(); break;
    case mkASA: M = new TZqPhysASAMetadata(); break;
    case mkADS: M = new TZqPhysADSMetadata(); break;
    default: M = new TZqPhysConnectionMetadata(); break;
    }
    return TZqIntfPtr<TZqPhysConnectionMetadata>(M);
}
