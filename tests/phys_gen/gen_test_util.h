// Helpers of the command generator tests: a dialect with the facts of each
// DBMS kind and plain name handling (split at ".", quote on request), an
// option holder, and the sample STATION table with one edited row.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/dialects/qxZqPhysDialectGen.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanParam.h"

namespace gentest {

class TFakeDialect : public TZqObject, public virtual IZqPhysConnectionMetadata {
public:
    explicit TFakeDialect(TZqRDBMSKind AKind) : FKind(AKind) {}
    TZqRDBMSKind GetKind() override { return FKind; }
    int32_t GetClientVersion() override { return 0; }
    int32_t GetServerVersion() override { return 0; }
    bool GetTxSupported() override { return true; }
    bool GetTxNested() override { return false; }
    bool GetTxSavepoints() override { return FKind != mkMSAccess && FKind != mkOther; }
    bool GetServerAutoCommit() override { return true; }
    int GetNameMaxLength() override { return 32; }
    TZqPhysNameParts GetNameParts() override { return ZqNamePart(npBaseObject) | ZqNamePart(npObject); }
    TZqPhysNameParts GetNameQuotedCaseSensParts() override { return ZqAllNameParts; }
    TZqPhysNameParts GetNameCaseSensParts() override { return 0; }
    TZqPhysNameParts GetNameDefLowCaseParts() override { return 0; }
    char GetNameQuoteChar1() override { return FKind == mkMSSQL || FKind == mkMSAccess ? '[' : FKind == mkMySQL ? '`' : '"'; }
    char GetNameQuoteChar2() override { return FKind == mkMSSQL || FKind == mkMSAccess ? ']' : FKind == mkMySQL ? '`' : '"'; }
    bool GetLocatorLobs() override { return FLocatorLobs; }
    bool GetIdentityInsertSupported() override { return FKind == mkMSSQL || FKind == mkASA; }
    uint8_t GetParamMark() override { return FParamMark >= 0 ? uint8_t(FParamMark) : FKind == mkOracle ? 1 : 0; }
    bool GetTruncateSupported() override { return FKind != mkDB2 && FKind != mkMSAccess; }
    uint8_t GetDefaultValuesForm() override { return FKind == mkMSSQL ? 1 : FKind == mkMSAccess ? 0 : 2; }
    bool GetInlineRefreshSupported() override { return FKind == mkMSSQL || FKind == mkOracle; }
    bool GetRefreshIdentityByExpr() override { return FKind != mkDB2 && FKind != mkOracle; }
    bool GetDialectFlagB() override { return false; }
    bool GetAsyncAbortSupported() override { return false; }
    std::string GetCommandSeparator() override { return ";"; }
    void ParseObjName(const std::string &AName, TZqPhysParsedName &AParsed, uint8_t AOpts,
                      IZqPhysCommandNames *) override
    {
        AParsed = TZqPhysParsedName();
        std::string Name = AName;
        if (!(AOpts & poSingle)) {
            const size_t Dot = Name.rfind('.');
            if (Dot != std::string::npos) {
                AParsed.FBaseObject = Name.substr(0, Dot);
                Name = Name.substr(Dot + 1);
            }
        }
        if ((AOpts & poDequote) && Name.size() > 2 && Name.front() == GetNameQuoteChar1() &&
            Name.back() == GetNameQuoteChar2())
            Name = Name.substr(1, Name.size() - 2);
        AParsed.FObject = Name;
    }
    std::string EncodeObjName(const TZqPhysParsedName &AParsed, IZqPhysCommandNames *, uint8_t AOpts) override
    {
        auto Q = [&](const std::string &S) {
            return (AOpts & eoQuote) ? std::string(1, GetNameQuoteChar1()) + S + GetNameQuoteChar2() : S;
        };
        if (AParsed.FObject.empty()) return std::string();
        return AParsed.FBaseObject.empty() ? Q(AParsed.FObject) : Q(AParsed.FBaseObject) + "." + Q(AParsed.FObject);
    }
    std::string TranslateEscape(TZqPhysEscapeData &) override { return std::string(); }
    TZqPhysCommandKind GetSQLCommandKind(const std::string &) override { return skOther; }

    TZqRDBMSKind FKind;
    bool FLocatorLobs = false;
    int FParamMark = -1;
};

class TOptions : public IZqStanOptions {
public:
    TZqFetchOptions *GetFetchOptions() override { return &FFetch; }
    TZqFormatOptions *GetFormatOptions() override { return &FFormat; }
    TZqUpdateOptions *GetUpdateOptions() override { return &FUpdate; }
    TZqResourceOptions *GetResourceOptions() override { return &FResource; }
    bool GetParentOptions(IZqStanOptions *&AParent) override
    {
        AParent = nullptr;
        return false;
    }
    TZqFetchOptions FFetch{this};
    TZqFormatOptions FFormat{this};
    TZqUpdateOptions FUpdate{this};
    TZqResourceOptions FResource{this};
};

// STATION (ID Int32 key, CRUISE AnsiString(10), DEPTH Double); one row that
// was read as (7, 'BS1', NULL) and then edited to CRUISE 'BS2'.
struct TSample {
    TSample()
    {
        Table.SetSourceName("STATION");
        Add("ID", dtInt32, 0).SetOptions({coInUpdate, coInWhere, coInKey});
        Add("CRUISE", dtAnsiString, 10);
        Add("DEPTH", dtDouble, 0);
    }
    dats::TZqDatSColumn &Add(const std::string &AName, TZqDataType AType, int ASize)
    {
        dats::TZqDatSColumn *C = Table.Columns()->AddColumn(AName, AType, ASize);
        C->SetAttributes(C->Attributes() + TZqDataAttributes{caSearchable, caAllowNull});
        return *C;
    }
    // The row with its read values; Edit() then changes CRUISE.
    dats::TZqDatSRow *Read(int32_t AId = 7, const char *ACruise = "BS1")
    {
        Row = Table.NewRow();
        Row->SetData(0, &AId, 4);
        Row->SetData(1, ACruise, uint32_t(std::strlen(ACruise)));
        Row->SetData(2, nullptr, 0);
        Table.Rows()->Add(Row);
        Row->AcceptChanges();
        return Row;
    }
    void Edit(const char *ACruise = "BS2")
    {
        Row->BeginEdit();
        Row->SetData(1, ACruise, uint32_t(std::strlen(ACruise)));
        Row->EndEdit();
    }
    dats::TZqDatSTable Table{"STATION"};
    dats::TZqDatSRow *Row = nullptr;
};

// A generator of the kind's class over the fake dialect.
inline TZqIntfPtr<IZqPhysCommandGenerator> MakeGen(TZqRDBMSKind AKind, IZqStanOptions *AOptions, TZqParams *AParams,
                                                   TFakeDialect **ADialect = nullptr)
{
    auto *D = new TFakeDialect(AKind);
    if (ADialect) *ADialect = D;
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta(D);
    TZqIntfPtr<IZqPhysCommandGenerator> G = ZqCreateCommandGenerator(Meta, AOptions);
    G->SetParams(AParams);
    return G;
}

// A generator over the connection's real dialect of that kind (servers and
// clients of current versions).
inline TZqIntfPtr<IZqPhysCommandGenerator> MakeRealGen(TZqRDBMSKind AKind, IZqStanOptions *AOptions,
                                                       TZqParams *AParams)
{
    const int32_t Version = 1000000000;
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta(ZqCreateDialectMetadata(AKind, Version, Version).Get());
    TZqIntfPtr<IZqPhysCommandGenerator> G = ZqCreateCommandGenerator(Meta, AOptions);
    G->SetParams(AParams);
    return G;
}

template <class F> int ErrorCodeOf(F &&AFn)
{
    try {
        AFn();
    } catch (const EZqException &E) {
        return E.ErrorCode();
    }
    return 0;
}

inline std::string ParamNames(const TZqParams &AParams)
{
    std::string S;
    for (int I = 0; I < AParams.Count(); ++I) S += (I ? "," : "") + AParams.Items(I)->Name();
    return S;
}

} // namespace gentest
