// qxZqPhysCmdGenerator: the generic command generator. Texts are built in
// one pass over the table's columns; the parameters are appended to the
// caller's list as the markers are written, so their positions follow the
// markers' order in the text.
#include "dataaccess/phys/qxZqPhysCmdGenerator.h"

#include <algorithm>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanParam.h"

using dats::TZqDatSColumn;
using dats::TZqDatSRow;

namespace {

bool IsBlobType(TZqDataType T) { return T >= dtBlob && T <= dtHBFile; }
bool IsDetailType(TZqDataType T) { return T == dtRowSetRef || T == dtCursorRef; }

// Parameters live in a list the caller owns; when it gave none the text is
// still written and the markers refer to a list that nobody reads.
TZqParams &ScratchParams()
{
    static thread_local TZqParams P;
    return P;
}

const TZqFormatOptions &DefaultFormat()
{
    static const TZqFormatOptions F(nullptr);
    return F;
}

} // namespace

TZqPhysCommandGenerator::TZqPhysCommandGenerator(const TZqIntfPtr<IZqPhysConnectionMetadata> &AMetadata,
                                                 IZqStanOptions *AOptions, IZqPhysCommandNames *ANames)
    : FMetadata(AMetadata), FOptions(AOptions), FNames(ANames)
{
    ZQ_ASSERT(FMetadata, "qxZqPhysCmdGenerator");
}

TZqPhysCommandGenerator::~TZqPhysCommandGenerator() = default;

void TZqPhysCommandGenerator::SetTable(dats::TZqDatSTable *AValue)
{
    FTable = AValue;
    FLastInfo.Column = nullptr;
    FNameCache.clear();
}

void TZqPhysCommandGenerator::SetDescribeHandler(const TZqIntfPtr<IZqPhysDescribeHandler> &AValue)
{
    FDescribeHandler = AValue;
    FLastInfo.Column = nullptr;
}

void TZqPhysCommandGenerator::SetMappingHandler(const TZqIntfPtr<IZqPhysMappingHandler> &AValue)
{
    FMappingHandler = AValue;
    FLastInfo.Column = nullptr;
}

void TZqPhysCommandGenerator::Error(int32_t ACode)
{
    ZqRaiseError(this, {"Phys"}, ACode);
    // A handler that clears the error still ends the statement: nothing
    // half-built may reach a command.
    throw EZqException(ACode, std::string());
}

TZqUpdateOptions *TZqPhysCommandGenerator::UpdateOptions()
{
    if (FOptions)
        if (TZqUpdateOptions *U = FOptions->GetUpdateOptions()) return U;
    if (!FDefaultUpdateOptions) FDefaultUpdateOptions = std::make_unique<TZqUpdateOptions>(nullptr);
    return FDefaultUpdateOptions.get();
}

std::string TZqPhysCommandGenerator::Sep() const { return (FNameOptions & gnMultiLine) ? "\r\n" : " "; }

void TZqPhysCommandGenerator::TListBuilder::Add(const std::string &AItem)
{
    if (!FText.empty()) {
        if ((FOwner.FNameOptions & gnMultiLine) && FText.size() - FLineStart >= 60) {
            FText += ",\r\n";
            FLineStart = FText.size();
        } else
            FText += ", ";
    }
    FText += AItem;
}

// ---- columns ------------------------------------------------------------------

const TZqPhysCommandGenerator::TColumnInfo &TZqPhysCommandGenerator::ColumnInfo(TZqDatSColumn *AColumn)
{
    // The same column is asked for several times while one statement is
    // built (list, WHERE, refresh); the facts cannot change in between.
    if (FLastInfo.Column == AColumn && FLastInfoAlias == FTableAlias && FLastInfoNameOptions == FNameOptions)
        return FLastInfo;
    TColumnInfo I;
    I.Column = AColumn;
    I.Attributes = AColumn->Attributes();
    I.Options = AColumn->Options();
    if (!AColumn->OriginName().empty())
        I.UpdateName = AColumn->OriginName();
    else if (!AColumn->SourceName().empty())
        I.UpdateName = AColumn->SourceName();
    else
        I.UpdateName = AColumn->Name();
    if (FMappingHandler && FTable) {
        TZqColumnMapResult M;
        if (FMappingHandler->MapColumn(TZqMappingKey(FTable), mkDatSTable, TZqMappingKey(AColumn), mkDatSColumn, M) ==
                1 &&
            !M.UpdateName.empty())
            I.UpdateName = M.UpdateName;
    }
    if (FDescribeHandler) FDescribeHandler->DescribeColumn(AColumn, I.UpdateName, I.Attributes, I.Options);
    I.Usable = !I.Attributes.Contains(caInternal) && !I.Attributes.Contains(caCalculated) &&
               !I.Attributes.Contains(caUnnamed) && !I.UpdateName.empty();
    I.InWhere = I.Usable && I.Attributes.Contains(caSearchable) &&
                (I.Options.Contains(coInWhere) || I.Options.Contains(coInKey));
    I.InUpdate = I.Usable && I.Options.Contains(coInUpdate);
    I.IsKey = I.Options.Contains(coInKey);
    if (I.Usable) {
        const size_t Slot = size_t(std::max(AColumn->Index(), 0));
        if (FNameCache.size() <= Slot) FNameCache.resize(Slot + 1);
        TNameCache &Cache = FNameCache[Slot];
        if (!Cache.Valid || Cache.UpdateName != I.UpdateName || Cache.Alias != FTableAlias ||
            Cache.NameOptions != FNameOptions) {
            TZqPhysParsedName N;
            FMetadata->ParseObjName(I.UpdateName, N,
                                    poSingle | poNormalize | ((FNameOptions & gnColumnsQuoted) ? poDequote : 0),
                                    FNames);
            Cache.SQLName = FMetadata->EncodeObjName(N, FNames, (FNameOptions & gnQuoteColumns) ? eoQuote : 0);
            if (!FTableAlias.empty()) Cache.SQLName = FTableAlias + "." + Cache.SQLName;
            Cache.UpdateName = I.UpdateName;
            Cache.Alias = FTableAlias;
            Cache.NameOptions = FNameOptions;
            Cache.Valid = true;
        }
        I.SQLName = Cache.SQLName;
    }
    FLastInfo = std::move(I);
    FLastInfoAlias = FTableAlias;
    FLastInfoNameOptions = FNameOptions;
    return FLastInfo;
}

bool TZqPhysCommandGenerator::IsChanged(const TColumnInfo &AInfo)
{
    if (!FRow) return true;
    return !FRow->VersionsEqual(AInfo.Column->Index(), dats::rvCurrent, dats::rvOriginal);
}

bool TZqPhysCommandGenerator::IsLocatorLob(const TColumnInfo &AInfo)
{
    const TZqDataType T = AInfo.Column->DataType();
    return T == dtHBlob || T == dtHMemo || T == dtWideHMemo || T == dtHBFile;
}

bool TZqPhysCommandGenerator::NeedsRefresh(const TColumnInfo &AInfo, TZqPhysRequest ARequest, bool AByGenOptions)
{
    const TZqDataAttributes A = AInfo.Attributes;
    TZqRefreshMode Mode = AByGenOptions ? rmOnDemand : UpdateOptions()->RefreshMode();
    if (Mode == rmManual) return false;
    if (Mode == rmAll) return true;
    if (ARequest == arInsert) {
        if (AInfo.Options.Contains(coAfterInsChanged)) return true;
        // A server-numbered column is always read back: through the
        // dialect's identity expression where it has one (SelectList).
        return A.Contains(caAutoInc) || A.Contains(caROWID) || A.Contains(caDefault) || A.Contains(caRowVersion) ||
               A.Contains(caCalculated) || A.Contains(caVolatile);
    }
    return AInfo.Options.Contains(coAfterUpdChanged) || A.Contains(caRowVersion) || A.Contains(caCalculated) ||
           A.Contains(caVolatile);
}

// ---- names and parameters -------------------------------------------------------

std::string TZqPhysCommandGenerator::TableName()
{
    std::string Name;
    if (FMappingHandler && FTable) {
        TZqTableMapResult M;
        if (FMappingHandler->MapTable(TZqMappingKey(FTable), mkDatSTable, M) == 1) Name = M.UpdateName;
    }
    if (Name.empty() && FTable) Name = FTable->SourceName().empty() ? FTable->Name() : FTable->SourceName();
    if (FDescribeHandler) FDescribeHandler->DescribeTable(FTable, Name);
    std::string Result;
    if (!Name.empty()) {
        TZqPhysParsedName N;
        FMetadata->ParseObjName(Name, N, poNormalize | ((FNameOptions & gnTableQuoted) ? poDequote : 0), FNames);
        Result = FMetadata->EncodeObjName(N, FNames, (FNameOptions & gnQuoteTable) ? eoQuote : 0);
    }
    if (Result.empty()) Error(330);
    if (!FTableAlias.empty()) Result += " " + FTableAlias;
    return Result;
}

std::string TZqPhysCommandGenerator::AddParam(const TColumnInfo &AInfo, bool ANew, rtl::TParamType AType)
{
    TZqParams &List = FParams ? *FParams : ScratchParams();
    TZqDatSColumn *C = AInfo.Column;
    // The adapter finds the value of a parameter by the column named after
    // the prefix, so the name is the in-memory column's, not the update name.
    const std::string Base = (FNameOptions & gnPlainParams) ? C->Name() : (ANew ? "NEW_" : "OLD_") + C->Name();
    std::string Name = Base;
    for (int N = 1; List.FindParam(Name); ++N) Name = Base + "#" + std::to_string(N);

    TZqParam *P = List.Add();
    P->SetName(Name);
    P->SetPosition(List.Count());
    P->SetParamType(AType);
    const TZqFormatOptions *F = FOptions ? FOptions->GetFormatOptions() : nullptr;
    if (!F) F = &DefaultFormat();
    const TZqDataType DT = F->MapDataType(C->DataType(), uint32_t(C->Size()), false, C->Scale(), C->Precision());
    rtl::TFieldType FT = rtl::ftUnknown;
    uint32_t Size = 0;
    int Prec = 0;
    F->DataTypeToFieldType(DT, AInfo.Attributes, uint32_t(C->Size()), C->Precision(), C->Scale(), FT, Size, Prec);
    P->SetDataType(FT);
    P->SetZqDataType(DT);
    P->SetSize(int(Size));
    P->SetPrecision(Prec);
    P->SetNumericScale(C->Scale());

    if (FNameOptions & gnPlainParams) return ":" + Name;
    switch (FMetadata->GetParamMark()) {
    case 1: return ":" + Name;
    case 2: return ":" + std::to_string(List.Count() - 1);
    default: return "?";
    }
}

// ---- clauses --------------------------------------------------------------------

std::string TZqPhysCommandGenerator::WhereCondition(bool AKeyForm)
{
    const bool Current = AKeyForm || (FGenOptions & goAfterUpdate);
    const dats::TZqDatSRowVersion Version = Current ? dats::rvCurrent : dats::rvOriginal;
    TUpdateMode Mode = AKeyForm ? upWhereKeyOnly : UpdateOptions()->UpdateMode();
    for (;;) {
        std::string Result;
        if (FTable) {
            auto *Cols = FTable->Columns();
            for (int I = 0; I < Cols->Count(); ++I) {
                const TColumnInfo &Info = ColumnInfo(Cols->GetItem(I));
                if (!Info.InWhere) continue;
                bool Take = Mode == upWhereAll || (Mode == upWhereChanged && (Info.IsKey || IsChanged(Info))) ||
                            (Mode == upWhereKeyOnly && Info.IsKey);
                if (Take && AKeyForm && Info.Attributes.Contains(caRowVersion)) Take = false;
                if (!Take) continue;
                if (!Result.empty()) Result += " AND ";
                if (!FRow || FRow->IsNull(I, Version))
                    Result += Info.SQLName + " IS NULL";
                else {
                    const std::string SQLName = Info.SQLName; // AddParam may not disturb it, but be explicit
                    Result += SQLName + " = " + AddParam(Info, Current);
                }
            }
        }
        if (!Result.empty()) return Result;
        // A table without a key is still found: by every column it has.
        if (Mode == upWhereKeyOnly) {
            Mode = upWhereAll;
            continue;
        }
        Error(329);
    }
}

std::string TZqPhysCommandGenerator::SelectList(bool &AReadsColumn)
{
    AReadsColumn = false;
    TListBuilder L(*this);
    if (!FTable) return std::string();
    const bool Pessimistic = UpdateOptions()->LockMode() == lmPessimistic;
    const std::string Identity =
        (FGenOptions & goAfterInsert) && FMetadata->GetRefreshIdentityByExpr() ? GetIdentity() : std::string();
    auto *Cols = FTable->Columns();
    for (int I = 0; I < Cols->Count(); ++I) {
        TZqDatSColumn *C = Cols->GetItem(I);
        if (FColumn && C != FColumn) continue;
        const TColumnInfo &Info = ColumnInfo(C);
        if (!Info.Usable) continue;
        if (!FColumn) {
            const TZqDataType T = C->DataType();
            const uint8_t Need = IsBlobType(T) ? goBlobs : IsDetailType(T) ? goDetails : goOthers;
            if (!(FGenOptions & Need)) continue;
            if ((FGenOptions & goInWhereOnly) && !Info.InWhere && !(Pessimistic && IsLocatorLob(Info))) continue;
            if ((FGenOptions & goAfterInsert) && !NeedsRefresh(Info, arInsert, true)) continue;
            if (!(FGenOptions & goAfterInsert) && (FGenOptions & goAfterUpdate) && !NeedsRefresh(Info, arUpdate, true))
                continue;
        }
        if (!Identity.empty() && Info.Attributes.Contains(caAutoInc)) {
            std::string Bare = Info.SQLName;
            if (!FTableAlias.empty()) Bare.erase(0, FTableAlias.size() + 1);
            L.Add(Identity + " AS " + Bare);
        } else {
            L.Add(Info.SQLName);
            AReadsColumn = true;
        }
    }
    return L.Text();
}

std::string TZqPhysCommandGenerator::PlainSelect(bool AKeyForm)
{
    bool ReadsColumn = false;
    const std::string List = SelectList(ReadsColumn);
    if (List.empty()) return std::string();
    if (!ReadsColumn) {
        std::string Text = "SELECT " + List;
        const std::string One = GetSingleRowTable();
        if (!One.empty()) Text += " FROM " + One;
        return Text;
    }
    const std::string Table = TableName();
    return "SELECT " + List + Sep() + "FROM " + Table + Sep() + "WHERE " + WhereCondition(AKeyForm);
}

void TZqPhysCommandGenerator::SetCommandKindFromDML(TZqPhysCommandKind AKind)
{
    // A generator fresh from construction leaves the kind to the command,
    // which reads it from the text's first keyword.
    if (FCommandKind != skUnknown) FCommandKind = AKind;
}

// ---- INSERT and UPDATE -------------------------------------------------------------

std::string TZqPhysCommandGenerator::InsertOrUpdate(bool AInsert, bool AHBlobsOnly)
{
    FTableAlias.clear();
    FHasLocatorLob = false;
    FIdentityInserted = false;
    const std::string Table = TableName();
    const bool Locators = FMetadata->GetLocatorLobs();
    const bool ChangedOnly = !AInsert && (AHBlobsOnly || UpdateOptions()->UpdateChangedFields());
    TListBuilder Names(*this), Values(*this), Sets(*this);
    if (FTable) {
        auto *Cols = FTable->Columns();
        for (int I = 0; I < Cols->Count(); ++I) {
            TZqDatSColumn *C = Cols->GetItem(I);
            const TColumnInfo &Info = ColumnInfo(C);
            if (!Info.InUpdate) continue;
            const bool Lob = IsLocatorLob(Info);
            if (AHBlobsOnly && !Lob) continue;
            if (ChangedOnly && !IsChanged(Info) && !(Lob && !AHBlobsOnly)) continue;
            const std::string Name = Info.SQLName;
            std::string Value;
            const TZqDataType T = C->DataType();
            if (Locators && !AHBlobsOnly && Lob) {
                if (T == dtHBlob)
                    Value = "EMPTY_BLOB()";
                else if (T == dtHBFile) {
                    const std::string File = FRow ? FRow->GetDataAsVariant(I, dats::rvCurrent).AsString() : "";
                    Value = "BFILENAME('" + C->OriginText() + "', '" + File + "')";
                } else
                    Value = "EMPTY_CLOB()";
                FHasLocatorLob = true;
            } else {
                Value = AddParam(Info, true);
                if (Lob) FHasLocatorLob = true;
            }
            if (AInsert) {
                Names.Add(Name);
                Values.Add(Value);
                if (Info.Attributes.Contains(caAutoInc)) FIdentityInserted = true;
            } else
                Sets.Add(Name + " = " + Value);
        }
    }

    std::string Text;
    if (AInsert) {
        Text = "INSERT INTO " + Table + Sep();
        if (!Names.Empty())
            Text += "(" + Names.Text() + ")" + Sep() + "VALUES (" + Values.Text() + ")";
        else {
            // Every value is the server's own: name one nullable column
            // (preferably one without a default) when the dialect needs one.
            // No column is writable here, so the one named is any column
            // the statement may name.
            std::string Col;
            const uint8_t Form = FMetadata->GetDefaultValuesForm();
            if (Form != 1 && FTable) {
                auto *Cols = FTable->Columns();
                for (int Pass = 0; Pass < 2 && Col.empty(); ++Pass)
                    for (int I = 0; I < Cols->Count() && Col.empty(); ++I) {
                        const TColumnInfo &Info = ColumnInfo(Cols->GetItem(I));
                        if (Info.Usable && Info.Options.Contains(coAllowNull) &&
                            Info.Attributes.Contains(caDefault) == (Pass == 1))
                            Col = Info.SQLName;
                    }
            }
            if (Form == 1 || Col.empty())
                Text += "DEFAULT VALUES";
            else
                Text += "(" + Col + ") VALUES (" + (Form == 0 ? "NULL" : "DEFAULT") + ")";
        }
    } else {
        if (Sets.Empty()) return std::string();
        Text = "UPDATE " + Table + Sep() + "SET " + Sets.Text() + Sep() + "WHERE " + WhereCondition(false);
    }
    if (AHBlobsOnly) {
        FCommandKind = skUpdate;
        return Text;
    }

    if (FMetadata->GetInlineRefreshSupported() || (FHasLocatorLob && Locators)) {
        const uint8_t Saved = FGenOptions;
        const TZqPhysCommandKind SavedKind = FCommandKind;
        FGenOptions = goOthers | (AInsert ? goAfterInsert : goAfterUpdate);
        try {
            Text = GenerateInlineRefresh(Text, AInsert ? arInsert : arUpdate);
        } catch (...) {
            FGenOptions = Saved;
            throw;
        }
        FGenOptions = Saved;
        FCommandKind = SavedKind;
    }
    if (AInsert && FIdentityInserted && FMetadata->GetIdentityInsertSupported())
        Text = GenerateIdentityInsert(Table, Text);
    SetCommandKindFromDML(AInsert ? skInsert : skUpdate);
    return Text;
}

std::string TZqPhysCommandGenerator::GenerateInsert() { return InsertOrUpdate(true, false); }
std::string TZqPhysCommandGenerator::GenerateUpdate() { return InsertOrUpdate(false, false); }
std::string TZqPhysCommandGenerator::GenerateUpdateHBlobs() { return InsertOrUpdate(false, true); }

std::string TZqPhysCommandGenerator::GenerateInlineRefresh(const std::string &AText, TZqPhysRequest)
{
    return AText;
}

std::string TZqPhysCommandGenerator::GenerateIdentityInsert(const std::string &, const std::string &AText)
{
    return AText;
}

// ---- DELETE ---------------------------------------------------------------------------

std::string TZqPhysCommandGenerator::GenerateDelete()
{
    FTableAlias.clear();
    const std::string Table = TableName();
    std::string Text = "DELETE FROM " + Table + Sep() + "WHERE " + WhereCondition(false);
    FCommandKind = skDelete;
    return Text;
}

std::string TZqPhysCommandGenerator::GenerateDeleteAll(bool ANoUndo)
{
    FTableAlias.clear();
    const std::string Table = TableName();
    if (ANoUndo && FMetadata->GetTruncateSupported()) {
        FCommandKind = skOther;
        return "TRUNCATE TABLE " + Table;
    }
    FCommandKind = skDelete;
    return "DELETE FROM " + Table;
}

// ---- SELECT, lock, unlock ------------------------------------------------------------

std::string TZqPhysCommandGenerator::GenerateSelect()
{
    std::string Text = PlainSelect((FGenOptions & goAfterInsert) != 0);
    FCommandKind = skSelect;
    return Text;
}

std::string TZqPhysCommandGenerator::GenerateLock()
{
    FCommandKind = skSelect;
    std::string Text;
    if (UpdateOptions()->LockMode() == lmPessimistic) Text = GenerateLockSelect();
    if (Text.empty()) {
        Text = PlainSelect(false);
        FCommandKind = skSelect;
    }
    return Text;
}

std::string TZqPhysCommandGenerator::GenerateUnLock()
{
    FCommandKind = skUnknown;
    return std::string();
}

// ---- savepoints, identity, calls ---------------------------------------------------------

std::string TZqPhysCommandGenerator::GenerateSavepoint(const std::string &AName)
{
    FCommandKind = skOther;
    return DoGenerateSavepoint(AName);
}

std::string TZqPhysCommandGenerator::GenerateRollbackToSavepoint(const std::string &AName)
{
    FCommandKind = skOther;
    return DoGenerateRollbackToSavepoint(AName);
}

std::string TZqPhysCommandGenerator::GenerateCommitSavepoint(const std::string &AName)
{
    FCommandKind = skOther;
    return DoGenerateCommitSavepoint(AName);
}

std::string TZqPhysCommandGenerator::GenerateReadIdentity(const std::string &AName)
{
    FCommandKind = skSelect;
    return DoGenerateReadIdentity(AName);
}

std::string TZqPhysCommandGenerator::GenerateCall(const std::string &AText)
{
    FCommandKind = skExecute;
    return DoGenerateCall(AText);
}

std::string TZqPhysCommandGenerator::DoGenerateSavepoint(const std::string &) { Error(303); }
std::string TZqPhysCommandGenerator::DoGenerateRollbackToSavepoint(const std::string &) { Error(303); }
std::string TZqPhysCommandGenerator::DoGenerateCall(const std::string &) { Error(303); }

std::string TZqPhysCommandGenerator::DoGenerateReadIdentity(const std::string &)
{
    const std::string Identity = GetIdentity();
    if (Identity.empty()) Error(303);
    std::string Text = "SELECT " + Identity;
    const std::string One = GetSingleRowTable();
    if (!One.empty()) Text += " FROM " + One;
    return Text;
}

std::string TZqPhysCommandGenerator::KeyLockSelect(const std::string &ATail)
{
    bool ReadsColumn = false;
    const std::string List = SelectList(ReadsColumn);
    if (List.empty()) return std::string();
    const std::string Table = TableName();
    std::string Text = "SELECT " + List + Sep() + "FROM " + Table + Sep() + "WHERE " + WhereCondition(true);
    if (!ATail.empty()) Text += Sep() + ATail;
    FCommandKind = skSelectForUpdate;
    return Text;
}
