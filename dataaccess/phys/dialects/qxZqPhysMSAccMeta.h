// qxZqPhysMSAccMeta: the SQL dialect of Microsoft Access databases reached through the Access ODBC driver: names in brackets, positional markers, no savepoints, Jet's own date functions, and LIKE escapes written as bracketed characters since Jet has no ESCAPE clause.
#pragma once

#include "dataaccess/phys/qxZqPhysConnMeta.h"

class TZqPhysMSAccMetadata : public TZqPhysConnectionMetadata {
public:
    TZqRDBMSKind GetKind() override { return mkMSAccess; }
    bool GetTxSupported() override { return true; }
    bool GetTxNested() override { return false; }
    bool GetTxSavepoints() override { return false; }
    bool GetServerAutoCommit() override { return true; }
    int GetNameMaxLength() override { return 30; }
    TZqPhysNameParts GetNameParts() override { return ZqNamePart(npBaseObject) | ZqNamePart(npObject); }
    TZqPhysNameParts GetNameQuotedCaseSensParts() override { return 0; }
    TZqPhysNameParts GetNameCaseSensParts() override { return 0; }
    TZqPhysNameParts GetNameDefLowCaseParts() override { return 0; }
    char GetNameQuoteChar1() override { return '['; }
    char GetNameQuoteChar2() override { return ']'; }
    uint8_t GetParamMark() override { return 0; }
    bool GetAsyncAbortSupported() override { return true; }
    bool GetTruncateSupported() override { return false; }
    uint8_t GetDefaultValuesForm() override { return 0; }
    std::string FormatBoolean(const std::string &AValue) override { return AValue; }
    std::string FormatDate(const std::string &AValue) override { return "DATEVALUE('" + AValue + "')"; }
    std::string FormatDateTime(const std::string &AValue) override { return "CDATE('" + AValue + "')"; }
    std::string FormatFloat(const std::string &AValue) override { return AValue; }
    std::string FormatTime(const std::string &AValue) override { return "TIMEVALUE('" + AValue + "')"; }
    std::string FormatLikeEscape(char AEscape, const std::string &APattern) override;
    std::string TranslateFunction(TZqPhysEscapeData &AEscape) override;
};
