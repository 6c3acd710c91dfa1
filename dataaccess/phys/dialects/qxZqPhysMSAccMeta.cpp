// qxZqPhysMSAccMeta: the Access dialect. Function escapes that Jet's ODBC
// driver understands are passed on as ODBC escapes; the others are written
// in Jet's own functions (LEN, MID, INSTR, IIF, DATEPART/DATEADD/DATEDIFF).
#include "dataaccess/phys/dialects/qxZqPhysMSAccMeta.h"

#include "platform/rtl/SysUtils.h"

namespace {
constexpr const char *Pi = "3.141592653589";
} // namespace

std::string TZqPhysMSAccMetadata::FormatLikeEscape(char AEscape, const std::string &APattern)
{
    // Jet has no ESCAPE clause: an escaped character is written in brackets,
    // where Jet reads it literally. A trailing escape character has nothing
    // to protect; it is taken as a literal character itself, bracketed too,
    // so that it cannot start a character class.
    std::string R;
    R.reserve(APattern.size() + 8);
    for (size_t i = 0; i < APattern.size(); ++i) {
        if (APattern[i] == AEscape) {
            const char C = i + 1 < APattern.size() ? APattern[++i] : AEscape;
            R += '[';
            R += C;
            R += ']';
        } else {
            R += APattern[i];
        }
    }
    return R;
}

std::string TZqPhysMSAccMetadata::TranslateFunction(TZqPhysEscapeData &E)
{
    const std::string A1 = Arg(E, 0), A2 = Arg(E, 1), A3 = Arg(E, 2), A4 = Arg(E, 3);
    auto Interval = [&](const std::string &AUnit) -> std::string {
        std::string U = AUnit;
        if (!U.empty() && U.front() == '\'' && U.size() >= 2) U = U.substr(1, U.size() - 2);
        U = rtl::UpperCase(U);
        if (U == "YEAR") return "'yyyy'";
        if (U == "QUARTER") return "'Q'";
        if (U == "MONTH") return "'m'";
        if (U == "WEEK") return "'ww'";
        if (U == "DAY") return "'d'";
        if (U == "HOUR") return "'H'";
        if (U == "MINUTE") return "'N'";
        if (U == "SECOND") return "'S'";
        Unsupported(E);
    };
    switch (E.FFunc) {
    case efREPLACE: return "REPLACE(" + Args(E) + ")";
    case efDECODE: {
        // IIF(x = v1, r1, IIF(x = v2, r2, default))
        std::string R, Close;
        const size_t Count = E.FArgs.size();
        size_t i = 1;
        for (; i + 1 < Count; i += 2) {
            if (i > 1) R += ", ";
            R += "IIF(" + A1 + " = " + E.FArgs[i] + ", " + E.FArgs[i + 1];
            Close += ")";
        }
        if (i < Count) {
            if (i > 1) R += ", ";
            R += E.FArgs[i];
        }
        return R + Close;
    }
    case efBIT_LENGTH: return "(LEN(" + A1 + ") * 8)";
    case efCHAR_LENGTH:
    case efLENGTH:
    case efOCTET_LENGTH: return "LEN(" + A1 + ")";
    case efINSERT:
        return "MID(" + A1 + ", 1, " + A2 + "- 1) & " + A4 + "& MID(" + A1 + ", (" + A2 + ") + (" + A3 + "), LEN(" +
               A1 + "))";
    case efPOSITION: return "INSTR(1, " + A2 + ", " + A1 + ")";
    case efDEGREES: return std::string("(180 * (") + A1 + ") / " + Pi + ")";
    case efLOG10: return "(LOG(" + A1 + ") / LOG(10))";
    case efPI: return Pi;
    case efRADIANS: return std::string("(") + Pi + " * (" + A1 + ") / 180)";
    case efTRUNCATE: return "INT(" + A1 + ")";
    case efEXTRACT: return "DATEPART(" + Interval(A1) + ", " + A2 + ")";
    case efTIMESTAMPADD: return "DATEADD(" + Interval(A1) + ", " + A2 + ", " + A3 + ")";
    case efTIMESTAMPDIFF: return "DATEDIFF(" + Interval(A1) + ", " + A2 + ", " + A3 + ")";
    case efCATALOG: return "{fn DATABASE()}";
    case efSCHEMA: return "{fn USER()}";
    case efIFNULL: return "IIF(" + A1 + " IS NULL, " + A2 + ", " + A1 + ")";
    case efIF: return "IIF(" + Args(E) + ")";
    case efCONVERT: {
        std::string T = A2;
        if (T.size() >= 2 && T.front() == '\'' && T.back() == '\'') T = T.substr(1, T.size() - 2);
        return "{fn CONVERT(" + A1 + ", SQL_" + rtl::UpperCase(T) + ")}";
    }
    default:
        if (E.FFunc > ZqEscapeFunctionLast) Unsupported(E);
        // Everything else is an ODBC scalar function that the driver knows.
        return "{fn " + E.FName + "(" + Args(E) + ")}";
    }
}
