// qxZqPhysManager_Define: how a command describes its result set as DatS
// tables and columns (Define) and marks the source table's key columns
// through the catalog cache, which column types are fetched, the layout of
// catalog-query results, the name parts a catalog query needs and the
// stored-procedure parameters built from the catalog.
#include <algorithm>
#include <memory>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/qxZqPhysManager.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "platform/rtl/SysUtils.h"

namespace {

const std::vector<std::string> CPhys{"Phys"};

enum TColKind : uint8_t { ckStr, ckRecNo, ckI16, ckI32, ckU32 };
struct TMetaCol {
    const char *Name;
    TColKind Kind;
};
using TMetaLayout = std::vector<TMetaCol>;

const TMetaLayout &MetaLayout(TZqPhysMetaInfoKind AKind)
{
    static const TMetaLayout CEmpty;
    static const TMetaLayout CLayouts[] = {
        {},
        {{"RECNO", ckRecNo}, {"CATALOG_NAME", ckStr}, {"SCHEMA_NAME", ckStr}, {"TABLE_NAME", ckStr},
         {"TABLE_TYPE", ckI16}, {"TABLE_SCOPE", ckI16}},
        {{"RECNO", ckRecNo}, {"CATALOG_NAME", ckStr}, {"SCHEMA_NAME", ckStr}, {"TABLE_NAME", ckStr},
         {"COLUMN_NAME", ckStr}, {"COLUMN_POSITION", ckI16}, {"COLUMN_DATATYPE", ckI16}, {"COLUMN_TYPENAME", ckStr},
         {"COLUMN_ATTRIBUTES", ckU32}, {"COLUMN_PRECISION", ckI16}, {"COLUMN_SCALE", ckI16},
         {"COLUMN_LENGTH", ckI32}},
        {{"RECNO", ckRecNo}, {"CATALOG_NAME", ckStr}, {"SCHEMA_NAME", ckStr}, {"TABLE_NAME", ckStr},
         {"INDEX_NAME", ckStr}, {"PKEY_NAME", ckStr}, {"INDEX_TYPE", ckI16}},
        {{"RECNO", ckRecNo}, {"CATALOG_NAME", ckStr}, {"SCHEMA_NAME", ckStr}, {"TABLE_NAME", ckStr},
         {"INDEX_NAME", ckStr}, {"COLUMN_NAME", ckStr}, {"COLUMN_POSITION", ckI16}, {"SORT_ORDER", ckStr},
         {"FILTER", ckStr}},
        {},
        {},
        {{"RECNO", ckRecNo}, {"CATALOG_NAME", ckStr}, {"SCHEMA_NAME", ckStr}, {"TABLE_NAME", ckStr},
         {"FKEY_NAME", ckStr}, {"PKEY_CATALOG_NAME", ckStr}, {"PKEY_SCHEMA_NAME", ckStr},
         {"PKEY_TABLE_NAME", ckStr}, {"DELETE_RULE", ckI16}, {"UPDATE_RULE", ckI16}},
        {{"RECNO", ckRecNo}, {"CATALOG_NAME", ckStr}, {"SCHEMA_NAME", ckStr}, {"TABLE_NAME", ckStr},
         {"FKEY_NAME", ckStr}, {"COLUMN_NAME", ckStr}, {"PKEY_COLUMN_NAME", ckStr}, {"COLUMN_POSITION", ckI16}},
        {{"RECNO", ckRecNo}, {"CATALOG_NAME", ckStr}, {"SCHEMA_NAME", ckStr}, {"PACKAGE_NAME", ckStr},
         {"PACKAGE_SCOPE", ckI16}},
        {{"RECNO", ckRecNo}, {"CATALOG_NAME", ckStr}, {"SCHEMA_NAME", ckStr}, {"PACK_NAME", ckStr},
         {"PROC_NAME", ckStr}, {"OVERLOAD", ckI16}, {"PROC_TYPE", ckI16}, {"PROC_SCOPE", ckI16},
         {"IN_PARAMS", ckI16}, {"OUT_PARAMS", ckI16}},
        {{"RECNO", ckRecNo}, {"CATALOG_NAME", ckStr}, {"SCHEMA_NAME", ckStr}, {"PACK_NAME", ckStr},
         {"PROC_NAME", ckStr}, {"OVERLOAD", ckI16}, {"PARAM_NAME", ckStr}, {"PARAM_POSITION", ckI16},
         {"PARAM_TYPE", ckI16}, {"PARAM_DATATYPE", ckI16}, {"PARAM_TYPENAME", ckStr}, {"PARAM_ATTRIBUTES", ckU32},
         {"PARAM_PRECISION", ckI16}, {"PARAM_SCALE", ckI16}, {"PARAM_LENGTH", ckI32}},
    };
    if (AKind == 5) return CLayouts[3]; // primary keys share the indexes' layout
    if (AKind == 6) return CLayouts[4]; // primary key fields share the index fields' layout
    return AKind >= 1 && AKind <= 11 ? CLayouts[AKind] : CEmpty;
}

} // namespace

std::string ZqPhysMetaInfoTableName(TZqPhysMetaInfoKind AKind, const std::string &ADefName)
{
    static const char *const CSuffix[] = {"",          "#TABLES",      "#TABLEFIELDS",      "#INDEXES",
                                          "#INDEXFIELDS", "#PRIMARYKEYS", "#PRIMARYKEYFIELDS", "#FOREIGNKEYS",
                                          "#FOREIGNKEYFIELDS", "#PACKAGES", "#PROCS",       "#PROCARGS"};
    return "_Zq_#" + ADefName + (AKind <= 11 ? CSuffix[AKind] : "");
}

void ZqPhysDefineMetaInfoTable(TZqPhysMetaInfoKind AKind, TZqDatSTable *ATable)
{
    const TZqDataAttributes CAttrs{caReadOnly, caSearchable, caAllowNull};
    for (const TMetaCol &C : MetaLayout(AKind)) {
        TZqDataType T = C.Kind == ckStr ? dtAnsiString
                        : C.Kind == ckI16 ? dtInt16
                        : C.Kind == ckU32 ? dtUInt32
                                          : dtInt32;
        TZqDatSColumn *Col = ATable->Columns()->AddColumn(C.Name, T, C.Kind == ckStr ? 128 : 0);
        Col->SetAttributes(CAttrs);
    }
}

bool TZqPhysCommand::IsColumnFetched(TZqDataType AType)
{
    const TZqFetchItems Items = GetFetchOptions()->Items();
    if (AType == dtRowSetRef || AType == dtCursorRef) return Items.Contains(fiDetails);
    if (AType >= dtBlob && AType <= dtHBFile) return Items.Contains(fiBlobs);
    return true;
}

void TZqPhysCommand::CheckMetaInfoArgs(const TZqPhysParsedName &AName)
{
    auto Need = [&](const std::string &APart, const char *AWhat) {
        if (APart.empty()) RaisePhys(339, {std::string(AWhat)});
    };
    switch (FMetaInfoKind) {
    case 2: case 3: case 5: case 7: Need(AName.FObject, "table name"); break;
    case 4: Need(AName.FBaseObject, "table name"); Need(AName.FObject, "index name"); break;
    case 6: Need(AName.FBaseObject, "table name"); break;
    case 8: Need(AName.FBaseObject, "table name"); Need(AName.FObject, "foreign key name"); break;
    case 11: Need(AName.FObject, "procedure name"); break;
    default: break;
    }
}

TZqPhysMetaView TZqPhysCommand::ReadKeyFields()
{
    const std::string &Src = FSourceObjectName;
    if (!GetFetchOptions()->Items().Contains(fiMeta) || Src.empty()) return {};
    // A sub-query or a text with literals is no table the catalog knows.
    if ((Src.front() == '(' && Src.back() == ')') || Src.find('\'') != std::string::npos) return {};
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    FConnectionObj->CreateMetadata(Meta);
    try {
        return Meta->GetPrimaryKeyFields(FCatalogName, FSchemaName, Src, std::string());
    } catch (const EZqException &E) {
        // A source the dialect cannot take apart as a name (a table
        // qualified by a database path with dots in it) has no key the
        // catalog could name: the query runs without key columns.
        if (E.ErrorCode() == 331) return {};
        throw;
    }
}

void TZqPhysCommand::FillStoredProcParams(const TZqPhysParsedName &AName, uint16_t AOverload)
{
    TZqParams *Params = GetParams();
    Params->Clear();
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    FConnectionObj->CreateMetadata(Meta);
    TZqPhysMetaView Args =
        Meta->GetProcArgs(AName.FCatalog, AName.FSchema, AName.FBaseObject, AName.FObject, AOverload, std::string());
    TZqFormatOptions *Fmt = GetFormatOptions();
    auto Int = [&](int ARow, const char *ACol, int ADefault) {
        const rtl::Variant V = Args.Value(ARow, ACol);
        return V.IsNull() || V.IsEmpty() ? ADefault : V.AsInteger();
    };
    bool HasCursor = false;
    for (int R = 0; R < Args.RowCount(); ++R) {
        TZqParam *P = Params->Add();
        P->SetPosition(Int(R, "PARAM_POSITION", 0));
        const rtl::Variant Kind = Args.Value(R, "PARAM_TYPE");
        if (!Kind.IsNull() && !Kind.IsEmpty()) P->SetParamType(rtl::TParamType(Kind.AsInteger()));
        const rtl::Variant Name = Args.Value(R, "PARAM_NAME");
        P->SetName(Name.IsNull() || Name.IsEmpty() ? std::string("Result") : Name.AsString());
        const auto Source = TZqDataType(Int(R, "PARAM_DATATYPE", 0));
        const auto Attrs = TZqDataAttributes::FromBits(uint16_t(Int(R, "PARAM_ATTRIBUTES", 0)));
        const int Prec = Int(R, "PARAM_PRECISION", 0);
        const int Scale = Int(R, "PARAM_SCALE", 0);
        const int Len = Int(R, "PARAM_LENGTH", 0);
        const TZqDataType Type = Fmt->MapDataType(Source, uint32_t(std::max(Len, 0)), true, Scale, Prec);
        rtl::TFieldType FieldType = rtl::ftUnknown;
        uint32_t Size = 0;
        int FieldPrec = 0;
        Fmt->DataTypeToFieldType(Type, Attrs, uint32_t(std::max(Len, 0)), Prec, Scale, FieldType, Size, FieldPrec);
        P->SetZqDataType(Type);
        P->SetDataType(FieldType);
        P->SetSize(int(Size));
        P->SetPrecision(FieldPrec);
        if (FieldType == rtl::ftFloat || FieldType == rtl::ftCurrency || FieldType == rtl::ftBCD ||
            FieldType == rtl::ftFMTBcd)
            P->SetNumericScale(Scale);
        if (FieldType == rtl::ftCursor || FieldType == rtl::ftDataSet) HasCursor = true;
    }
    if (HasCursor && GetCommandKind() == skStoredProc) SetCommandKind(skStoredProcWithCrs);
}

TZqDatSTable *TZqPhysCommand::Define(TZqDatSManager *AManager, TZqDatSTable *ATable,
                                     TZqPhysMetaInfoMergeMode AMergeMode)
{
    if (FState.load() == 0) Prepare();
    if (FState.load() == 0) RaisePhys(309);
    if (AMergeMode == mmReset) {
        if (FMetaInfoKind == 0) {
            if (ATable) ATable->Reset();
            AMergeMode = mmOverride;
        } else if (AManager) {
            AManager->Clear();
        }
    }
    return DefineCore(AManager, ATable, AMergeMode);
}

TZqDatSTable *TZqPhysCommand::Define(TZqDatSTable *ATable, TZqPhysMetaInfoMergeMode AMergeMode)
{
    if (FState.load() == 0) Prepare();
    if (FState.load() == 0) RaisePhys(309);
    return DefineCore(nullptr, ATable, AMergeMode);
}

TZqDatSTable *TZqPhysCommand::DefineCore(TZqDatSManager *AManager, TZqDatSTable *ATable,
                                         TZqPhysMetaInfoMergeMode AMode)
{
    if (FMetaInfoKind != 0) {
        if (AMode != mmReset) RaisePhys(328);
        TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
        FConnectionObj->CreateMetadata(Meta);
        auto T = std::make_unique<TZqDatSTable>(Meta->GetMetaInfoTableName(FMetaInfoKind));
        Meta->DefineMetaInfoTable(FMetaInfoKind, T.get());
        if (AManager) AManager->Tables()->Add(T.get());
        return T.release();
    }
    TZqPhysMetaView KeyFields = ReadKeyFields();
    TZqPhysDataTableInfo TabInfo;
    if (!InternalColInfoStart(TabInfo)) {
        KeyFields = TZqPhysMetaView();
        RaisePhys(308);
    }
    const std::string SetName = GetSourceRecordSetName();

    // The table.
    TZqDatSTable *Table = ATable;
    std::string DatSName;
    int Answer = 0;
    if (FMappingHandler) {
        TZqTableMapResult Mapped;
        // By position, then by name: a handler that knows no position
        // answers "not mapped" to it, and the name decides.
        if (TabInfo.FSourceID >= 0) Answer = FMappingHandler->MapTable(TZqMappingKey(TabInfo.FSourceID), mkSourceID, Mapped);
        if (Answer != 1) {
            Mapped = TZqTableMapResult();
            Answer = FMappingHandler->MapTable(TZqMappingKey(SetName), mkSourceName, Mapped);
        }
        DatSName = Mapped.DatSName;
        if (Answer == 1 && !Table) Table = Mapped.DatSTable;
    }
    if (Answer == 0 && AManager && !ATable && AMode != mmReset) {
        int I = AManager->Tables()->IndexOfSourceName(SetName);
        if (I < 0 && TabInfo.FSourceID >= 0) I = AManager->Tables()->IndexOfSourceID(TabInfo.FSourceID);
        if (I >= 0) Table = AManager->Tables()->GetItem(I);
    }
    if (AMode == mmRely && Table && ATable && Table != ATable) RaisePhys(313);
    const bool Existing = Table != nullptr;
    if (!Table) {
        if (AMode == mmRely) RaisePhys(313);
        if (Answer == 2) return nullptr;
        Table = new TZqDatSTable();
    } else if (AMode == mmReset) {
        Table->Reset();
    }
    if (!(AMode == mmRely && Existing)) {
        std::string Name = !DatSName.empty() ? DatSName : SetName;
        if (AManager && !Existing && !Name.empty()) Name = AManager->Tables()->BuildUniqueName(Name);
        // A new table is born with its class name: the mapped (or result
        // set) name replaces it; a table the caller gave keeps its own.
        if (!Name.empty() && !Existing) Table->SetName(Name);
        Table->SetSourceName(SetName);
        Table->SetSourceID(TabInfo.FSourceID);
        Table->SetRowsCapacity(GetFetchOptions()->RowsetSize());
        if (AManager && !Existing) AManager->Tables()->Add(Table);
    }
    const bool FromHandler = Answer == 1;

    // The columns.
    TZqFormatOptions *Fmt = GetFormatOptions();
    TZqDatSColumn *RowIDCol = nullptr;
    TZqPhysDataColumnInfo Info;
    while (InternalColInfoGet(Info)) {
        dats::TZqDatSColumnList *Cols = Table->Columns();
        if (Info.FSourceName.empty()) Info.FAttrs.Include(caUnnamed);
        const std::string SrcName =
            Info.FSourceName.empty() ? "Column" + std::to_string(Info.FSourceID) : Info.FSourceName;
        TZqDatSColumn *Col = nullptr;
        int ColAnswer = 0;
        std::string ColName;
        if (FromHandler && FMappingHandler) {
            TZqColumnMapResult Mapped;
            const TZqMappingKey TableKey(Table);
            ColAnswer = FMappingHandler->MapColumn(TableKey, mkDatSTable, TZqMappingKey(Info.FSourceID), mkSourceID,
                                                   Mapped);
            if (ColAnswer != 1) {
                Mapped = TZqColumnMapResult();
                ColAnswer = FMappingHandler->MapColumn(TableKey, mkDatSTable, TZqMappingKey(SrcName), mkSourceName,
                                                       Mapped);
            }
            ColName = Mapped.DatSName;
            if (ColAnswer == 1 && Mapped.DatSColumn && Mapped.DatSColumn->GetColumnList() == Cols)
                Col = Mapped.DatSColumn;
        } else if (AMode != mmReset) {
            int I = Cols->IndexOfSourceName(SrcName);
            if (I < 0) I = Cols->IndexOfSourceID(Info.FSourceID);
            if (I >= 0) Col = Cols->GetItem(I);
        }
        bool IsNew = false;
        if (!Col) {
            if (AMode == mmRely || ColAnswer == 2) {
                Info = TZqPhysDataColumnInfo();
                continue;
            }
            Col = new TZqDatSColumn();
            IsNew = true;
        }
        if (IsNew || Info.FAttrs.Contains(caUnnamed))
            Col->SetName(!ColName.empty() ? ColName : Cols->BuildUniqueName(SrcName));
        Col->SetSourceName(SrcName);
        Col->SetSourceID(Info.FSourceID);
        Col->SetSourceDataType(Info.FType);
        Col->SetSourcePrecision(Info.FPrec);
        Col->SetSourceScale(Info.FScale);
        Col->SetSourceSize(int(Info.FLen));
        Col->SetOriginName(Info.FOriginName);
        const TZqDataType T = Fmt->MapDataType(Info.FType, uint32_t(std::max<int64_t>(Info.FLen, 0)), true,
                                               Info.FScale, Info.FPrec);
        Col->SetAttributes(Info.FAttrs);
        if (Info.FAttrs.Contains(caROWID)) RowIDCol = Col;
        Col->SetDataType(T);
        if ((T == dtAnsiString || T == dtWideString || T == dtByteString) && Info.FLen != -1)
            Col->SetSize(int(Info.FLen));
        if (T == dtDouble || T == dtCurrency || T == dtBCD || T == dtFmtBCD) {
            Col->SetPrecision(Info.FPrec);
            Col->SetScale(Info.FScale);
        }
        TZqDataOptions Opts = Col->Options();
        Opts = Opts + Info.FForceAddOpts;
        Col->SetOptions(Opts);
        if (IsNew) Cols->Add(Col);
        Info = TZqPhysDataColumnInfo();
    }
    // Key columns: those the catalog names as the source table's primary
    // key, else the row identifier the driver reported.
    bool KeyFound = false;
    dats::TZqDatSColumnList *Cols = Table->Columns();
    for (int R = 0; R < KeyFields.RowCount(); ++R) {
        const rtl::Variant V = KeyFields.Value(R, "COLUMN_NAME");
        if (V.IsNull() || V.IsEmpty()) continue;
        const std::string Name = V.AsString();
        int I = Cols->IndexOfName(Name);
        for (int J = 0; I < 0 && J < Cols->Count(); ++J)
            if (rtl::SameText(Cols->GetItem(J)->Name(), Name)) I = J; // catalogs may report another case
        if (I < 0) continue;
        TZqDataOptions O = Cols->GetItem(I)->Options();
        O.Include(coInKey);
        Cols->GetItem(I)->SetOptions(O);
        KeyFound = true;
    }
    if (KeyFields && !GetFetchOptions()->Cache().Contains(fiMeta)) KeyFields.Uncache();
    if (RowIDCol && !KeyFound) {
        bool AnyKey = false;
        for (int I = 0; I < Table->Columns()->Count(); ++I)
            if (Table->Columns()->GetItem(I)->Options().Contains(coInKey)) AnyKey = true;
        if (!AnyKey) {
            TZqDataOptions O = RowIDCol->Options();
            O.Include(coInKey);
            RowIDCol->SetOptions(O);
        }
    }
    return Table;
}
