// Helpers shared by the in-memory table tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRelation.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"

namespace datstest {

// The library error code of a call, 0 when it does not raise.
template <class F> int ErrorCodeOf(F &&AFn) {
    try {
        AFn();
    } catch (const EZqException &E) {
        return E.ErrorCode();
    }
    return 0;
}

inline void SetInt(dats::TZqDatSRow *R, int C, int32_t V) { R->SetData(C, &V, 4); }
inline int32_t GetInt(dats::TZqDatSRow *R, int C, dats::TZqDatSRowVersion V = dats::rvDefault) {
    void *P = nullptr;
    uint32_t L = 0;
    int32_t X = -999999;
    if (!R->GetData(C, V, P, 0, L, false)) return -1;
    std::memcpy(&X, P, 4);
    return X;
}
inline void SetStr(dats::TZqDatSRow *R, int C, const std::string &S) { R->SetData(C, S.data(), uint32_t(S.size())); }
inline std::string GetStr(dats::TZqDatSRow *R, int C, dats::TZqDatSRowVersion V = dats::rvDefault) {
    void *P = nullptr;
    uint32_t L = 0;
    if (!R->GetData(C, V, P, 0, L, false)) return "<null>";
    return std::string(static_cast<const char *>(P), L);
}
// True when the version has no buffer or a NULL at the column.
inline bool IsNullAt(dats::TZqDatSRow *R, int C, dats::TZqDatSRowVersion V) { return R->IsNull(C, V); }

// A parent table P with a reference column of the given type and a nested
// child table C (V int, PARENT) under it, linked by a nested relation.
inline void MakeNestedTables(dats::TZqDatSManager &M, TZqDataType ARefType, dats::TZqDatSTable *&P,
                             dats::TZqDatSTable *&C) {
    P = M.Tables()->AddTable("P");
    C = M.Tables()->AddTable("C");
    P->Columns()->AddColumn("REF", ARefType);
    C->Columns()->AddColumn("V", dtInt32);
    C->Columns()->AddColumn("PARENT", dtParentRowRef);
    auto *Rel = new dats::TZqDatSRelation();
    M.Relations()->AddSafe(Rel);
    Rel->SetNested(true); // first: a reference column is refused by an ordinary relation
    Rel->SetParentTable(P);
    Rel->SetChildTable(C);
    Rel->SetParentColumnNames("REF");
    Rel->SetChildColumnNames("PARENT");
}

} // namespace datstest
