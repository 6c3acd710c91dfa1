// qxZqPhysDb2Meta: DB2.
#include "dataaccess/phys/dialects/qxZqPhysDb2Meta.h"

#include "platform/rtl/SysUtils.h"

std::string TZqPhysDb2Metadata::FormatBoolean(const std::string &AValue)
{
    return rtl::SameText(AValue, "True") ? "1" : "0";
}
std::string TZqPhysDb2Metadata::FormatDate(const std::string &AValue) { return "DATE('" + AValue + "')"; }
std::string TZqPhysDb2Metadata::FormatTime(const std::string &AValue) { return "TIME('" + AValue + "')"; }
std::string TZqPhysDb2Metadata::FormatDateTime(const std::string &AValue)
{
    return "TIMESTAMP_FORMAT('" + AValue + "', 'YYYY-MM-DD HH24:MI:SS')";
}

std::string TZqPhysDb2Metadata::TranslateFunction(TZqPhysEscapeData &E)
{
    const std::string A1 = Arg(E, 0), A2 = Arg(E, 1), A3 = Arg(E, 2);
    switch (E.FFunc) {
    case efROUND:
    case efTRUNCATE: return E.FArgs.size() >= 2 ? Call(E.FName, E) : E.FName + "(" + A1 + ", 0)";
    case efDECODE: return Decode(E);
    case efBIT_LENGTH: return "(LENGTH(" + A1 + ") * 8)";
    case efCHAR: return Call("CHR", E);
    case efCHAR_LENGTH:
    case efOCTET_LENGTH: return Call("LENGTH", E);
    case efPOSITION: return "POSSTR(" + A2 + ", " + A1 + ")";
    case efSUBSTRING: return Call("SUBSTR", E);
    case efPI: return "3.141592653589";
    case efRANDOM: return Call("RAND", E);
    case efCURDATE: return "CURRENT_DATE";
    case efCURTIME: return "CURRENT_TIME";
    case efNOW: return "CURRENT_TIMESTAMP";
    case efDAYOFMONTH: return Call("DAY", E);
    case efEXTRACT: return ExtractAsFunction(E);
    case efTIMESTAMPADD: {
        const std::string Unit = rtl::UpperCase(rtl::Trim(Dequote(rtl::Trim(A1), '\'', '\'')));
        std::string Count = A2, U = Unit;
        if (Unit == "QUARTER") {
            Count = "((" + A2 + ") * 3)";
            U = "MONTH";
        } else if (Unit == "WEEK") {
            Count = "((" + A2 + ") * 7)";
            U = "DAY";
        } else if (Unit == "FRAC_SECOND") {
            U = "MICROSECOND";
        }
        return "((" + A3 + ") + (" + Count + ") " + U + ")";
    }
    case efTIMESTAMPDIFF: {
        static const std::pair<const char *, const char *> Codes[] = {
            {"YEAR", "256"}, {"QUARTER", "128"}, {"MONTH", "64"}, {"WEEK", "32"}, {"DAY", "16"},
            {"HOUR", "8"},   {"MINUTE", "4"},    {"SECOND", "2"}, {"FRAC_SECOND", "1"}};
        const std::string Unit = rtl::UpperCase(rtl::Trim(Dequote(rtl::Trim(A1), '\'', '\'')));
        for (const auto &[Name, Code] : Codes)
            if (Unit == Name) return std::string("TIMESTAMPDIFF(") + Code + ", CHAR((" + A3 + ") - (" + A2 + ")))";
        Unsupported(E);
    }
    case efCATALOG: return "''";
    case efSCHEMA: return "CURRENT_SCHEMA";
    case efIFNULL:
    case efIF: return CaseWhen(E);
    case efCONVERT: {
        std::string T = rtl::UpperCase(rtl::Trim(Dequote(rtl::Trim(A2), '\'', '\'')));
        static const std::pair<const char *, const char *> Renamed[] = {
            {"LONGVARCHAR", "LONG_VARCHAR"}, {"WLONGVARCHAR", "LONG_VARCHAR"}, {"WCHAR", "CHAR"},
            {"WVARCHAR", "VARCHAR"}, {"DATETIME", "TIMESTAMP"}, {"NUMERIC", "DECIMAL"}, {"TINYINT", "SMALLINT"},
            {"VARBINARY", "BLOB"}, {"BINARY", "BLOB"}, {"LONGVARBINARY", "BLOB"}};
        static const char *const Kept[] = {"BIGINT", "CHAR", "INTEGER", "REAL", "SMALLINT", "DATE", "TIME",
                                           "TIMESTAMP", "VARCHAR", "DECIMAL", "DOUBLE", "FLOAT"};
        for (const auto &[From, To] : Renamed)
            if (T == From) return std::string(To) + "(" + A1 + ")";
        for (const char *K : Kept)
            if (T == K) return T + "(" + A1 + ")";
        Unsupported(E);
    }
    case efSOUNDEX:
    case efLTRIM:
    case efRTRIM:
    case efREPLACE:
    case efASCII:
    case efABS:
    case efCOS:
    case efEXP:
    case efFLOOR:
    case efMOD:
    case efPOWER:
    case efSIGN:
    case efSIN:
    case efSQRT:
    case efTAN:
    case efDAYNAME:
    case efDAYOFWEEK:
    case efDAYOFYEAR:
    case efHOUR:
    case efMINUTE:
    case efMONTH:
    case efMONTHNAME:
    case efQUARTER:
    case efSECOND:
    case efWEEK:
    case efYEAR:
    case efRADIANS: return Call(E.FName, E);
    default:
        // CONCAT .. LOCATE, REPEAT .. RIGHT, UCASE .. LOG10.
        if ((E.FFunc >= efCONCAT && E.FFunc <= efLOCATE) || E.FFunc == efREPEAT || E.FFunc == efSPACE ||
            E.FFunc == efRIGHT || (E.FFunc >= efUCASE && E.FFunc <= efLOG10))
            return Call(E.FName, E);
        Unsupported(E);
    }
}

TZqPhysCommandKind TZqPhysDb2Metadata::GetKeywordCommandKind(const std::string &AToken)
{
    return AToken == "CALL" ? skExecute : skOther;
}
