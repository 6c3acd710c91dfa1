// qxZqPhysMSSQLMeta: Microsoft SQL Server and Adaptive Server Anywhere.
#include "dataaccess/phys/dialects/qxZqPhysMSSQLMeta.h"

#include "platform/rtl/SysUtils.h"

namespace {
std::string TrueAsOne(const std::string &AValue) { return rtl::SameText(AValue, "True") ? "1" : "0"; }
} // namespace

std::string TZqPhysMSSQLMetadata::FormatBoolean(const std::string &AValue) { return TrueAsOne(AValue); }
std::string TZqPhysMSSQLMetadata::FormatDate(const std::string &AValue)
{
    return "CONVERT(DATETIME, '" + AValue + "', 20)";
}
std::string TZqPhysMSSQLMetadata::FormatDateTime(const std::string &AValue)
{
    return "CONVERT(DATETIME, '" + AValue + "', 20)";
}
std::string TZqPhysMSSQLMetadata::FormatTime(const std::string &AValue)
{
    return "CONVERT(DATETIME, '" + AValue + "', 114)";
}

std::string TZqPhysMSSQLMetadata::TranslateFunction(TZqPhysEscapeData &E)
{
    const std::string A1 = Arg(E, 0), A2 = Arg(E, 1);
    switch (E.FFunc) {
    case efMOD: return "((" + A1 + ") % (" + A2 + "))";
    case efROUND: return E.FArgs.size() >= 2 ? Call(E.FName, E) : E.FName + "(" + A1 + ", 0)";
    case efDECODE: return Decode(E);
    case efBIT_LENGTH: return "(LEN(" + A1 + ") * 8)";
    case efCHAR_LENGTH: return Call("LEN", E);
    case efCONCAT: return "(" + A1 + " + " + A2 + ")";
    case efINSERT: return Call("STUFF", E);
    case efLCASE: return Call("LOWER", E);
    case efLENGTH: return "LEN(RTRIM(" + A1 + "))";
    case efLOCATE: return "CHARINDEX(" + A1 + ", " + A2 + (E.FArgs.size() == 3 ? ", " + Arg(E, 2) : "") + ")";
    case efOCTET_LENGTH: return Call("LEN", E);
    case efPOSITION: return Call("CHARINDEX", E);
    case efREPEAT: return Call("REPLICATE", E);
    case efUCASE: return Call("UPPER", E);
    case efATAN2: return Call("ATN2", E);
    case efRADIANS: return E.FName + "(" + A1 + " + 0.0)";
    case efRANDOM: return Call("RAND", E);
    case efTRUNCATE: return "CAST(" + A1 + " AS BIGINT)";
    case efCURDATE:
    case efCURTIME:
    case efNOW: return "GETDATE()";
    case efDAYNAME: return "DATENAME(WEEKDAY, " + A1 + ")";
    case efDAYOFMONTH: return "DATEPART(DAY, " + A1 + ")";
    case efDAYOFWEEK: return "DATEPART(WEEKDAY, " + A1 + ")";
    case efDAYOFYEAR: return "DATEPART(DAYOFYEAR, " + A1 + ")";
    case efEXTRACT: return ExtractAsFunction(E);
    case efHOUR: return "DATEPART(HOUR, " + A1 + ")";
    case efMINUTE: return "DATEPART(MINUTE, " + A1 + ")";
    case efMONTH: return "DATEPART(MONTH, " + A1 + ")";
    case efMONTHNAME: return "DATENAME(MONTH, " + A1 + ")";
    case efQUARTER: return "DATEPART(QUARTER, " + A1 + ")";
    case efSECOND: return "DATEPART(SECOND, " + A1 + ")";
    case efWEEK: return "DATEPART(WEEK, " + A1 + ")";
    case efYEAR: return "DATEPART(YEAR, " + A1 + ")";
    case efTIMESTAMPADD:
    case efTIMESTAMPDIFF: {
        TZqPhysEscapeData D = E;
        if (!D.FArgs.empty()) D.FArgs[0] = Dequote(rtl::Trim(D.FArgs[0]), '\'', '\'');
        return Call(E.FFunc == efTIMESTAMPADD ? "DATEADD" : "DATEDIFF", D);
    }
    case efCATALOG: return "''";
    case efSCHEMA: return "CURRENT_USER()";
    case efIFNULL:
    case efIF: return CaseWhen(E);
    case efCONVERT: return "CONVERT(" + A2 + ", " + A1 + ")";
    case efDIFFERENCE:
    case efLEFT:
    case efRIGHT:
    case efSPACE:
    case efSUBSTRING:
    case efCHAR:
    case efACOS:
    case efASIN:
    case efATAN:
    case efCOT:
    case efCEILING:
    case efDEGREES:
    case efLOG:
    case efLOG10:
    case efPI:
    case efSIGN:
    case efSIN:
    case efSQRT:
    case efTAN:
    case efPOWER: return Call(E.FName, E);
    default:
        if (E.FFunc <= efFLOOR) return Call(E.FName, E); // ASCII .. FLOOR
        Unsupported(E);
    }
}

TZqPhysCommandKind TZqPhysMSSQLMetadata::GetKeywordCommandKind(const std::string &AToken)
{
    return AToken == "EXEC" || AToken == "EXECUTE" ? skExecute : skOther;
}

std::string TZqPhysASAMetadata::TranslateFunction(TZqPhysEscapeData &E)
{
    const std::string A1 = Arg(E, 0), A2 = Arg(E, 1);
    switch (E.FFunc) {
    case efMOD: return Call("MOD", E);
    case efBIT_LENGTH: return "(LENGTH(" + A1 + ") * 8)";
    case efCHAR_LENGTH:
    case efOCTET_LENGTH: return Call("LENGTH", E);
    case efLENGTH: return "LENGTH(RTRIM(" + A1 + "))";
    case efLOCATE: return "LOCATE(" + A1 + ", " + A2 + (E.FArgs.size() == 3 ? ", " + Arg(E, 2) : "") + ")";
    default: return TZqPhysMSSQLMetadata::TranslateFunction(E);
    }
}

TZqPhysCommandKind TZqPhysASAMetadata::GetKeywordCommandKind(const std::string &AToken)
{
    return AToken == "CALL" ? skExecute : skOther;
}
