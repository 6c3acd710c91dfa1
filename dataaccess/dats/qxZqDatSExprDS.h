// qxZqDatSExprDS: the data source through which the expression engine reads
// and writes the columns of one row of an in-memory table. The aggregate
// data source of a view derives from it.
#pragma once

#include <string>

#include "dataaccess/dats/qxZqDatSIntf.h"
#include "dataaccess/stan/qxZqStanExpr.h"
#include "dataaccess/stan/qxZqStanFactory.h"

namespace dats {

class TZqDatSTableExpressionDS : public TZqObject, public virtual IZqStanExpressionDataSource {
public:
    explicit TZqDatSTableExpressionDS(TZqDatSTable *ATable);

    // Column look-up by name (case-insensitive), -1 when absent.
    int GetVarIndex(const std::string &AName) override;
    TZqDataType GetVarType(int AIndex) override;
    TZqExpressionScopeKind GetVarScope(int AIndex) override;
    // The current row's value (rvDefault) and its write.
    void GetVarData(int AIndex, rtl::Variant &AValue) override;
    void SetVarData(int AIndex, const rtl::Variant &AValue) override;
    // Not a source of aggregates.
    void GetSubAggregateValue(int AIndex, rtl::Variant &AValue) override;
    void *GetPosition() override;
    void SetPosition(void *AValue) override;
    // The current row's index in its table + 1.
    int GetRowNum() override;

    TZqDatSTable *Table() const { return FTable; }
    TZqDatSRow *Row() const { return FRow; }

protected:
    TZqDatSTable *FTable;
    TZqDatSRow *FRow = nullptr;
};

} // namespace dats
