// qxZqPhysOraMeta: Oracle.
#include "dataaccess/phys/dialects/qxZqPhysOraMeta.h"

#include "platform/rtl/SysUtils.h"

namespace {
constexpr const char *Pi = "3.141592653589";
constexpr int32_t Oracle9 = 900010101; // 9.0.1.1.1: DBMS_RANDOM, CASE in SQL, CAST to DATE
} // namespace

std::string TZqPhysOraMetadata::FormatBoolean(const std::string &AValue)
{
    return rtl::SameText(AValue, "True") ? "1" : "0";
}
std::string TZqPhysOraMetadata::FormatDate(const std::string &AValue)
{
    return "TO_DATE('" + AValue + "', 'YYYY-MM-DD')";
}
std::string TZqPhysOraMetadata::FormatTime(const std::string &AValue)
{
    return "(TO_DATE('1900-01-01', 'YYYY-MM-DD') + (TO_DATE('" + AValue + "', 'HH24:MI:SS') - TRUNC(TO_DATE('" +
           AValue + "', 'HH24:MI:SS'))))";
}
std::string TZqPhysOraMetadata::FormatDateTime(const std::string &AValue)
{
    return "TO_DATE('" + AValue + "', 'YYYY-MM-DD HH24:MI:SS')";
}
std::string TZqPhysOraMetadata::FormatFloat(const std::string &AValue) { return "TO_NUMBER('" + AValue + "')"; }

std::string TZqPhysOraMetadata::TranslateFunction(TZqPhysEscapeData &E)
{
    const std::string A1 = Arg(E, 0), A2 = Arg(E, 1), A3 = Arg(E, 2), A4 = Arg(E, 3);
    auto ToNumber = [&](const char *Fmt) { return "TO_NUMBER(TO_CHAR(" + A1 + ", '" + Fmt + "'))"; };
    auto Unit = [&]() { return rtl::UpperCase(rtl::Trim(Dequote(rtl::Trim(A1), '\'', '\''))); };
    const bool V9 = FServerVersion >= Oracle9;
    switch (E.FFunc) {
    case efBIT_LENGTH: return "(LENGTHB(" + A1 + ") * 8)";
    case efCHAR: return Call("CHR", E);
    case efCHAR_LENGTH: return Call("LENGTH", E);
    case efCONCAT: return "(" + A1 + " || " + A2 + ")";
    case efINSERT:
        return "(SUBSTR(" + A1 + ", 1, (" + A2 + ") - 1) || " + A4 + " || SUBSTR(" + A1 + ", (" + A2 + " + " + A3 +
               ")))";
    case efLCASE: return Call("LOWER", E);
    case efLEFT: return "SUBSTR(" + A1 + ", 1, " + A2 + ")";
    case efLENGTH: return "LENGTH(RTRIM(" + A1 + "))";
    case efLOCATE: return "INSTR(" + A2 + ", " + A1 + (E.FArgs.size() == 3 ? ", " + A3 : "") + ")";
    case efOCTET_LENGTH: return Call("LENGTHB", E);
    case efPOSITION: return "INSTR(" + A2 + ", " + A1 + ")";
    case efREPEAT: return "RPAD(" + A1 + ", (" + A2 + ") * LENGTH(" + A1 + "), " + A1 + ")";
    case efRIGHT: return "SUBSTR(" + A1 + ", LENGTH(" + A1 + ") + 1 - (" + A2 + "))";
    case efSPACE: return "RPAD(' ', " + A1 + ")";
    case efSUBSTRING: return Call("SUBSTR", E);
    case efUCASE: return Call("UPPER", E);
    case efCEILING: return Call("CEIL", E);
    case efDEGREES: return "(180 * (" + A1 + ") / " + Pi + ")";
    case efLOG: return Call("LN", E);
    case efLOG10: return "LOG(10, " + A1 + ")";
    case efPI: return Pi;
    case efRADIANS: return "((" + A1 + ") / 180 * " + Pi + ")";
    case efRANDOM:
        return V9 ? "DBMS_RANDOM.VALUE" : "MOD(TRUNC((SYSDATE - TRUNC(SYSDATE)) * 60 * 60 * 24), 1000)";
    case efTRUNCATE: return Call("TRUNC", E);
    case efCURDATE: return "TRUNC(SYSDATE)";
    case efCURTIME: return "(TO_DATE('1900-01-01', 'YYYY-MM-DD') + (SYSDATE - TRUNC(SYSDATE)))";
    case efNOW: return "SYSDATE";
    case efDAYNAME: return "RTRIM(TO_CHAR(" + A1 + ", 'DAY'))";
    case efMONTHNAME: return "RTRIM(TO_CHAR(" + A1 + ", 'MONTH'))";
    case efDAYOFMONTH: return ToNumber("DD");
    case efDAYOFWEEK: return ToNumber("D");
    case efDAYOFYEAR: return ToNumber("DDD");
    case efHOUR: return ToNumber("HH24");
    case efMINUTE: return ToNumber("MI");
    case efMONTH: return ToNumber("MM");
    case efQUARTER: return ToNumber("Q");
    case efSECOND: return ToNumber("SS");
    case efWEEK: return ToNumber("WW");
    case efYEAR: return ToNumber("YYYY");
    case efEXTRACT: return ExtractAsFunction(E);
    case efTIMESTAMPADD: {
        const std::string U = Unit();
        if (U == "YEAR") return "ADD_MONTHS(" + A3 + ", 12 * (" + A2 + "))";
        if (U == "MONTH") return "ADD_MONTHS(" + A3 + ", " + A2 + ")";
        if (U == "WEEK") return "(" + A3 + " + 7 * (" + A2 + "))";
        if (U == "DAY") return "(" + A3 + " + " + A2 + ")";
        if (U == "HOUR") return "(" + A3 + " + (" + A2 + ") / 24.0)";
        if (U == "MINUTE") return "(" + A3 + " + (" + A2 + ") / (24.0 * 60.0))";
        if (U == "SECOND") return "(" + A3 + " + (" + A2 + ") / (24.0 * 60.0 * 60.0))";
        Unsupported(E);
    }
    case efTIMESTAMPDIFF: {
        const std::string U = Unit();
        const std::string Diff = "((" + A3 + ") - (" + A2 + "))";
        if (U == "YEAR") return "TRUNC(MONTHS_BETWEEN(" + A3 + ", " + A2 + ") / 12)";
        if (U == "MONTH") return "MONTHS_BETWEEN(" + A3 + ", " + A2 + ")";
        if (U == "WEEK") return "TRUNC(" + Diff + " / 7)";
        if (U == "DAY") return Diff;
        if (U == "HOUR") return "TRUNC(" + Diff + " * 24.0)";
        if (U == "MINUTE") return "TRUNC(" + Diff + " * (24.0 * 60.0))";
        if (U == "SECOND") return "TRUNC(" + Diff + " * (24.0 * 60.0 * 60.0))";
        Unsupported(E);
    }
    case efCATALOG: return "''";
    case efSCHEMA: return "USER";
    case efIFNULL: return Call("NVL", E);
    case efIF:
        if (!V9) Unsupported(E);
        return CaseWhen(E);
    case efCONVERT: {
        const std::string T = rtl::UpperCase(rtl::Trim(Dequote(rtl::Trim(A2), '\'', '\'')));
        if (T == "CHAR" || T == "LONGVARCHAR" || T == "VARCHAR") return "TO_CHAR(" + A1 + ")";
        if (T == "WCHAR" || T == "WLONGVARCHAR" || T == "WVARCHAR") return "TO_NCHAR(" + A1 + ")";
        if (T == "DATE") return V9 ? "TRUNC(CAST(" + A1 + " AS DATE))" : "TRUNC(TO_DATE(" + A1 + "))";
        if (T == "DATETIME") return V9 ? "CAST(" + A1 + " AS DATE)" : "TO_DATE(" + A1 + ")";
        if (T == "TIME") {
            const std::string D = V9 ? "CAST(" + A1 + " AS DATE)" : "TO_DATE(" + A1 + ")";
            return "(TO_DATE('1900-01-01', 'YYYY-MM-DD') + (" + D + " - TRUNC(" + D + ")))";
        }
        if (T == "DECIMAL" || T == "DOUBLE" || T == "FLOAT" || T == "NUMERIC" || T == "REAL")
            return "TO_NUMBER(" + A1 + ")";
        if (T == "INTEGER" || T == "SMALLINT" || T == "TINYINT" || T == "BIGINT")
            return "TRUNC(TO_NUMBER(" + A1 + "))";
        Unsupported(E);
    }
    default:
        if (E.FFunc <= efDECODE || (E.FFunc >= efACOS && E.FFunc <= efATAN)) return Call(E.FName, E);
        Unsupported(E);
    }
}

TZqPhysCommandKind TZqPhysOraMetadata::GetKeywordCommandKind(const std::string &AToken)
{
    return AToken == "DECLARE" || AToken == "BEGIN" ? skExecute : skOther;
}
