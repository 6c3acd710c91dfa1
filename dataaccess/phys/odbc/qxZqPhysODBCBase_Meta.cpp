// Catalog questions of the ODBC command: one ODBC catalog function per
// metadata kind, each catalog row turned into a row of the library's
// metadata table for that kind.
#include <algorithm>
#include <cstring>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/odbc/qxZqPhysODBCBase.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanUtil.h"
#include "platform/rtl/SysUtils.h"

std::string BestRowIDName = "SQL_BEST_ROWID";

namespace {

struct TBestRowIDNameFinalizer {
    ~TBestRowIDNameFinalizer() { BestRowIDName.clear(); }
} GBestRowIDNameFinalizer;

// Table kinds and object scopes as the command's bit sets number them.
enum : uint8_t { tkSynonym = 1, tkTable = 2, tkView = 4, tkGlobalTemp = 8, tkLocalTemp = 16 };
enum : uint8_t { osMy = 1, osOther = 2, osSystem = 4 };

bool StartsNoCase(const std::string &AValue, const char *AWord)
{
    // Compared over the length of the value, as drivers pad or cut type names.
    const size_t N = AValue.size();
    return N > 0 && N == std::strlen(AWord) && rtl::SameText(AValue, AWord);
}

// The in-memory column type decides how an integer is stored.
void SetInt(TZqDatSRow *ARow, int ACol, int64_t AValue)
{
    switch (ARow->Table()->Columns()->GetItem(ACol)->DataType()) {
    case dtInt16: { const int16_t V = int16_t(AValue); ARow->SetData(ACol, &V, 2); break; }
    case dtUInt32: { const uint32_t V = uint32_t(AValue); ARow->SetData(ACol, &V, 4); break; }
    case dtInt64: { ARow->SetData(ACol, &AValue, 8); break; }
    default: { const int32_t V = int32_t(AValue); ARow->SetData(ACol, &V, 4); break; }
    }
}

void SetText(TZqDatSRow *ARow, int ACol, const std::string &AValue)
{
    const int Max = ARow->Table()->Columns()->GetItem(ACol)->Size();
    const size_t N = Max > 0 ? std::min<size_t>(AValue.size(), size_t(Max)) : AValue.size();
    ARow->SetData(ACol, AValue.data(), uint32_t(N));
}

} // namespace

std::string TZqPhysODBCCommand::BuildTableTypeList(uint8_t ATableKinds, uint8_t AObjectScopes)
{
    std::string S;
    auto Add = [&S](const char *AType) { S += (S.empty() ? "" : ",") + std::string(AType); };
    if (ATableKinds & tkTable) Add("TABLE");
    if (ATableKinds & tkView) Add("VIEW");
    if (ATableKinds & tkSynonym) Add("SYNONYM");
    if (ATableKinds & tkGlobalTemp) Add("GLOBAL TEMPORARY");
    if (ATableKinds & tkLocalTemp) Add("LOCAL TEMPORARY");
    if ((AObjectScopes & osSystem) && (ATableKinds & tkTable)) Add("SYSTEM TABLE");
    return S;
}

void TZqPhysODBCCommand::DecodeMetaName(TZqPhysParsedName &AName)
{
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    ConnectionObj()->CreateMetadata(Meta);
    AName = TZqPhysParsedName();
    Meta->ParseObjName(rtl::Trim(GetCommandText()), AName, 3, this);
    const TZqPhysMetaInfoKind K = GetMetaInfoKind();
    if ((K == 4 || K == 6 || K == 8) && AName.FBaseObject.empty()) {
        // The table of a key or index comes with the command's base object
        // name; a primary key asked for by the table's own name works too.
        if (!GetBaseObjectName().empty()) {
            TZqPhysParsedName T;
            Meta->ParseObjName(GetBaseObjectName(), T, 3, this);
            AName.FBaseObject = T.FObject;
            if (!T.FCatalog.empty()) AName.FCatalog = T.FCatalog;
            if (!T.FSchema.empty()) AName.FSchema = T.FSchema;
        } else if (K == 6) {
            AName.FBaseObject = AName.FObject;
        }
    }
    CheckMetaInfoArgs(AName);
}

bool TZqPhysODBCCommand::ExecuteMetaInfo()
{
    TODBCMetaInfoStatement *S = FMetaInfoStatement;
    ZQ_ASSERT(S != nullptr, "qxZqPhysODBCBase");
    TZqPhysParsedName &N = FMetaName;
    N = TZqPhysParsedName();
    const TZqPhysMetaInfoKind K = GetMetaInfoKind();
    const bool PKeys = ODBCConn()->PrimaryKeysSupported();
    switch (K) {
    case 1:
        N.FCatalog = GetCatalogName();
        N.FSchema = GetSchemaName();
        S->Tables(N.FCatalog, N.FSchema, GetWildcard(), BuildTableTypeList(GetTableKinds(), GetObjectScopes()));
        break;
    case 2:
        DecodeMetaName(N);
        S->Columns(N.FCatalog, N.FSchema, N.FObject, GetWildcard());
        break;
    case 3: {
        DecodeMetaName(N);
        // The primary key's name tells the key among the indexes.
        FIndexFilter.clear();
        if (PKeys) {
            TODBCMetaInfoStatement P(ODBCConn()->ODBCConnection(), this);
            P.PrimaryKeys(N.FCatalog, N.FSchema, N.FObject);
            P.Execute();
            char Buf[256];
            SQLLEN Ind = 0;
            if (SQL_SUCCEEDED(P.Lib()->SQLFetch(P.Handle())) &&
                SQL_SUCCEEDED(P.Lib()->SQLGetData(P.Handle(), 6, SQL_C_CHAR, Buf, sizeof Buf, &Ind)) && Ind > 0)
                FIndexFilter.assign(Buf, size_t(std::min<SQLLEN>(Ind, SQLLEN(sizeof Buf - 1))));
            P.CloseCursor();
        }
        S->Statistics(N.FCatalog, N.FSchema, N.FObject, SQL_INDEX_ALL);
        break;
    }
    case 4:
        DecodeMetaName(N);
        S->Statistics(N.FCatalog, N.FSchema, N.FBaseObject, SQL_INDEX_ALL);
        break;
    case 5:
    case 6: {
        // A table name that cannot be told apart into its parts (a database
        // path with dots in it) has no key the catalog could name: the
        // question has no rows rather than failing the query that asked.
        try {
            DecodeMetaName(N);
        } catch (const EZqException &E) {
            if (E.ErrorCode() != 331) throw;
            return false;
        }
        const std::string &Table = K == 5 ? N.FObject : N.FBaseObject;
        if (PKeys) S->PrimaryKeys(N.FCatalog, N.FSchema, Table);
        else S->SpecialColumns(N.FCatalog, N.FSchema, Table, SQL_BEST_ROWID);
        break;
    }
    case 7:
        DecodeMetaName(N);
        S->ForeignKeys("", "", "", N.FCatalog, N.FSchema, N.FObject);
        break;
    case 8:
        DecodeMetaName(N);
        S->ForeignKeys("", "", "", N.FCatalog, N.FSchema, N.FBaseObject);
        break;
    case 10: {
        DecodeMetaName(N);
        if (N.FBaseObject.empty()) {
            N.FCatalog = GetCatalogName();
            N.FSchema = GetSchemaName();
        }
        S->Procedures(N.FCatalog, N.FSchema, GetWildcard());
        break;
    }
    case 11: {
        DecodeMetaName(N);
        const std::string Proc = N.FBaseObject.empty() ? N.FObject : N.FBaseObject + "." + N.FObject;
        S->ProcedureColumns(N.FCatalog, N.FSchema, Proc, GetWildcard());
        break;
    }
    default:
        return false; // generators: nothing to ask
    }
    S->Execute();
    return true;
}

bool TZqPhysODBCCommand::FetchMetaRow(TZqDatSTable *ATable, TZqDatSRow *AParentRow, int ARow)
{
    const int ResultCols = int(FColumnInfos.size());
    // A value of the catalog row by its 1-based column number.
    auto Text = [&](int ACol, std::string &AValue) -> bool {
        if (ACol > ResultCols || ARow < 0) return false;
        TODBCVariable *V = FColumnInfos[size_t(ACol - 1)].Variable;
        if (!V) return false;
        void *P = nullptr;
        SQLLEN L = 0;
        if (V->CDataType() == SQL_C_CHAR) {
            if (!V->GetData(ARow, P, true, L)) return false;
            AValue.assign(static_cast<const char *>(P), size_t(std::max<SQLLEN>(L, 0)));
            return true;
        }
        int64_t I = 0;
        alignas(16) uint8_t Buf[64] = {};
        P = Buf;
        if (!V->GetData(ARow, P, false, L)) return false;
        switch (V->CDataType()) {
        case SQL_C_SSHORT: { int16_t X; std::memcpy(&X, Buf, 2); I = X; break; }
        case SQL_C_USHORT: { uint16_t X; std::memcpy(&X, Buf, 2); I = X; break; }
        case SQL_C_SLONG: { int32_t X; std::memcpy(&X, Buf, 4); I = X; break; }
        case SQL_C_ULONG: { uint32_t X; std::memcpy(&X, Buf, 4); I = X; break; }
        case SQL_C_SBIGINT: case SQL_C_UBIGINT: std::memcpy(&I, Buf, 8); break;
        case SQL_C_STINYINT: I = int8_t(Buf[0]); break;
        case SQL_C_UTINYINT: I = Buf[0]; break;
        case SQL_C_DOUBLE: { double X; std::memcpy(&X, Buf, 8); I = int64_t(X); break; }
        default: break;
        }
        AValue = std::to_string(I);
        return true;
    };
    auto Int = [&](int ACol, int64_t &AValue) -> bool {
        std::string S;
        if (!Text(ACol, S)) return false;
        char *End = nullptr;
        AValue = std::strtoll(S.c_str(), &End, 10);
        return End != S.c_str();
    };

    const TZqPhysMetaInfoKind K = GetMetaInfoKind();
    TZqDatSRow *Row = ATable->NewRow(false);
    bool Accept = true;
    try {
        SetInt(Row, 0, int64_t(ATable->Rows()->Count()) + 1);
        auto Copy = [&](int AFrom, int ATo) {
            std::string S;
            if (Text(AFrom, S)) SetText(Row, ATo, S);
        };
        auto CopyInt = [&](int AFrom, int ATo) {
            int64_t I;
            if (Int(AFrom, I)) SetInt(Row, ATo, I);
        };
        // True when a row already in the table holds the same text in a column.
        auto Seen = [&](int ACol, const std::string &AValue) {
            for (int I = 0; I < ATable->Rows()->Count(); ++I) {
                rtl::Variant V = ATable->Rows()->GetItem(I)->GetDataAsVariant(ACol);
                if (!V.IsNull() && !V.IsClear() && V.AsString() == AValue) return true;
            }
            return false;
        };
        const bool PKeys = ODBCConn()->PrimaryKeysSupported();
        switch (K) {
        case 1: {
            Copy(1, 1);
            Copy(2, 2);
            Copy(3, 3);
            std::string Schema, Type;
            Text(2, Schema);
            int Scope = rtl::SameText(Schema, ConnectionObj()->MetaDefSchema()) ? 0 : 1;
            int Kind = 1;
            if (Text(4, Type)) {
                if (StartsNoCase(Type, "TABLE")) Kind = 1;
                else if (StartsNoCase(Type, "VIEW")) Kind = 2;
                else if (StartsNoCase(Type, "SYSTEM TABLE")) { Kind = 1; Scope = 2; }
                else if (StartsNoCase(Type, "GLOBAL TEMPORARY")) Kind = 3;
                else if (StartsNoCase(Type, "LOCAL TEMPORARY")) Kind = 4;
                else if (StartsNoCase(Type, "ALIAS") || StartsNoCase(Type, "SYNONYM")) Kind = 0;
            }
            SetInt(Row, 4, Kind);
            SetInt(Row, 5, Scope);
            break;
        }
        case 2: {
            for (int C = 1; C <= 4; ++C) Copy(C, C);
            int64_t Pos = ATable->Rows()->Count() + 1;
            if (ResultCols >= 17) Int(17, Pos);
            SetInt(Row, 5, Pos);
            Copy(6, 7);
            TZqDataAttributes Attrs;
            std::string Def;
            if (ResultCols >= 13 && Text(13, Def) && !Def.empty()) Attrs.Include(caDefault);
            int64_t Nullable = 1;
            if (!Int(11, Nullable) || Nullable != 0) Attrs.Include(caAllowNull);
            int64_t Type = 0, Size = 0, Digits = 0;
            Int(5, Type);
            Int(7, Size);
            Int(9, Digits);
            if (ODBCConn()->ODBCConnection()->RDBMSKind == ODBCKindMSSQL && Size == 0 &&
                (Type == SQL_VARCHAR || Type == SQL_VARBINARY || Type == SQL_WVARCHAR))
                Size = 2147483647;
            const TZqODBCTypeMapping M =
                SQLTypeToDataType(SQLSMALLINT(Type), SQLLEN(Size), SQLSMALLINT(Digits), GetFormatOptions());
            Attrs = Attrs + M.Attrs;
            SetInt(Row, 6, M.Type);
            SetInt(Row, 8, Attrs.Bits());
            SetInt(Row, 9, M.Precision);
            SetInt(Row, 10, M.Scale);
            SetInt(Row, 11, M.Size);
            break;
        }
        case 3: {
            int64_t Type = -1;
            if (Int(7, Type) && Type == SQL_TABLE_STAT) { Accept = false; break; }
            std::string Name;
            Text(6, Name);
            if (Seen(4, Name)) { Accept = false; break; }
            for (int C = 1; C <= 3; ++C) Copy(C, C);
            SetText(Row, 4, Name);
            int64_t NonUnique = 1;
            Int(4, NonUnique);
            // Index kinds: 0 non-unique, 1 unique, 2 the primary key.
            int Kind = NonUnique == 0 ? 1 : 0;
            if (!FIndexFilter.empty() && rtl::SameText(Name, FIndexFilter)) {
                Kind = 2;
                SetText(Row, 5, Name);
            }
            SetInt(Row, 6, Kind);
            break;
        }
        case 4: {
            int64_t Type = -1;
            if (Int(7, Type) && Type == SQL_TABLE_STAT) { Accept = false; break; }
            std::string Name;
            Text(6, Name);
            if (!rtl::SameText(rtl::Trim(Name), FMetaName.FObject)) { Accept = false; break; }
            for (int C = 1; C <= 3; ++C) Copy(C, C);
            SetText(Row, 4, Name);
            Copy(9, 5);
            CopyInt(8, 6);
            Copy(10, 7);
            Copy(13, 8);
            break;
        }
        case 5:
        case 6: {
            if (PKeys) {
                std::string Name;
                Text(6, Name);
                if (K == 5 && Seen(5, Name)) { Accept = false; break; }
                for (int C = 1; C <= 3; ++C) Copy(C, C);
                SetText(Row, 4, Name);
                if (K == 5) {
                    SetText(Row, 5, Name);
                    SetInt(Row, 6, 2);
                } else {
                    Copy(4, 5);
                    CopyInt(5, 6);
                }
            } else {
                // The best row identifier stands in for the key.
                if (K == 5 && ATable->Rows()->Count() > 0) { Accept = false; break; }
                SetText(Row, 1, FMetaName.FCatalog);
                SetText(Row, 2, FMetaName.FSchema);
                SetText(Row, 3, K == 5 ? FMetaName.FObject : FMetaName.FBaseObject);
                SetText(Row, 4, BestRowIDName);
                if (K == 5) {
                    SetText(Row, 5, BestRowIDName);
                    SetInt(Row, 6, 2);
                } else {
                    Copy(2, 5);
                    SetInt(Row, 6, ATable->Rows()->Count() + 1);
                }
            }
            break;
        }
        case 7: {
            std::string Name;
            Text(12, Name);
            if (Seen(4, Name)) { Accept = false; break; }
            Copy(5, 1);
            Copy(6, 2);
            Copy(7, 3);
            SetText(Row, 4, Name);
            Copy(1, 5);
            Copy(2, 6);
            Copy(3, 7);
            auto Rule = [&](int AFrom, int ATo) {
                int64_t R;
                if (!Int(AFrom, R)) return;
                SetInt(Row, ATo, R == SQL_CASCADE ? 1 : R == SQL_RESTRICT ? 2 : R == SQL_SET_NULL ? 3
                                                     : R == SQL_SET_DEFAULT ? 4 : 0);
            };
            Rule(11, 8);
            Rule(10, 9);
            break;
        }
        case 8:
            Copy(5, 1);
            Copy(6, 2);
            Copy(7, 3);
            Copy(12, 4);
            Copy(8, 5);
            Copy(4, 6);
            CopyInt(9, 7);
            break;
        case 10: {
            Copy(1, 1);
            Copy(2, 2);
            std::string Name;
            if (Text(3, Name)) {
                if (ODBCConn()->ODBCConnection()->RDBMSKind == ODBCKindMSSQL && Name.size() >= 2 &&
                    Name.compare(Name.size() - 2, 2, ";1") == 0)
                    Name.resize(Name.size() - 2);
                SetText(Row, 4, Name);
            }
            int64_t PT = 0;
            SetInt(Row, 6, Int(8, PT) && PT == SQL_PT_FUNCTION ? 1 : 0);
            std::string Schema;
            Text(2, Schema);
            SetInt(Row, 7, rtl::SameText(Schema, ConnectionObj()->MetaDefSchema()) ? 0 : 1);
            auto Count = [&](int AFrom, int ATo) {
                int64_t V;
                if (Int(AFrom, V)) SetInt(Row, ATo, V == -1 ? 0 : V);
            };
            Count(4, 8);
            Count(5, 9);
            break;
        }
        case 11: {
            int64_t CT = 0;
            Int(5, CT);
            if (CT == SQL_RESULT_COL) { Accept = false; break; }
            Copy(1, 1);
            Copy(2, 2);
            Copy(3, 4);
            Copy(4, 6);
            if (ResultCols >= 18) CopyInt(18, 7);
            SetInt(Row, 8, CT == SQL_PARAM_INPUT ? 1 : CT == SQL_PARAM_INPUT_OUTPUT ? 3 : CT == SQL_PARAM_OUTPUT ? 2
                           : CT == SQL_RETURN_VALUE ? 4 : 0);
            int64_t Type = 0, Size = 0, Digits = 0;
            Int(6, Type);
            Int(8, Size);
            Int(10, Digits);
            const TZqODBCTypeMapping M =
                SQLTypeToDataType(SQLSMALLINT(Type), SQLLEN(Size), SQLSMALLINT(Digits), GetFormatOptions());
            SetInt(Row, 9, M.Type);
            Copy(7, 10);
            SetInt(Row, 11, M.Attrs.Bits());
            SetInt(Row, 12, M.Precision);
            SetInt(Row, 13, M.Scale);
            SetInt(Row, 14, M.Size);
            break;
        }
        default:
            Accept = false;
            break;
        }
        if (!Accept) {
            delete Row;
            return false;
        }
        if (AParentRow) Row->SetParentRow(AParentRow);
        ATable->Rows()->Add(Row);
    } catch (...) {
        delete Row;
        throw;
    }
    return true;
}
