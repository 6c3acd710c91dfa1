// qxZqDatSExpr: expressions of the in-memory tables, compiled by the
// library's expression parser against a table data source.
#include "dataaccess/dats/qxZqDatSExpr.h"

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"

#include "dataaccess/dats/qxZqDatSExprDS.h"
#include "dataaccess/stan/qxZqStanFactory.h"

namespace dats {

// ---- table data source ---------------------------------------------------

TZqDatSTableExpressionDS::TZqDatSTableExpressionDS(TZqDatSTable *ATable) : FTable(ATable) {
    DATS_ASSERT(ATable != nullptr);
}

int TZqDatSTableExpressionDS::GetVarIndex(const std::string &AName) { return FTable->Columns()->IndexOfName(AName); }

TZqDataType TZqDatSTableExpressionDS::GetVarType(int AIndex) {
    return FTable->Columns()->GetItem(AIndex)->DataType();
}

TZqExpressionScopeKind TZqDatSTableExpressionDS::GetVarScope(int) { return ckField; }

void TZqDatSTableExpressionDS::GetVarData(int AIndex, rtl::Variant &AValue) {
    DATS_ASSERT(FRow != nullptr);
    AValue = FRow->GetDataAsVariant(AIndex, rvDefault);
}

void TZqDatSTableExpressionDS::SetVarData(int AIndex, const rtl::Variant &AValue) {
    DATS_ASSERT(FRow != nullptr);
    FRow->SetDataFromVariant(AIndex, AValue);
}

void TZqDatSTableExpressionDS::GetSubAggregateValue(int, rtl::Variant &AValue) {
    AValue = rtl::Variant();
    DATS_ASSERT(false);
}

void *TZqDatSTableExpressionDS::GetPosition() { return FRow; }

void TZqDatSTableExpressionDS::SetPosition(void *AValue) { FRow = static_cast<TZqDatSRow *>(AValue); }

int TZqDatSTableExpressionDS::GetRowNum() {
    DATS_ASSERT(FRow != nullptr);
    return FTable->Rows()->IndexOf(FRow) + 1;
}

// ---- compiled expression -------------------------------------------------

namespace {

class TZqDatSEngineExpression : public TZqDatSExpression {
public:
    TZqDatSEngineExpression(TZqIntfPtr<TZqDatSTableExpressionDS> ADS, TZqIntfPtr<IZqStanExpressionEvaluator> AEval)
        : FDS(std::move(ADS)), FEval(std::move(AEval)) {}

    rtl::Variant Evaluate(TZqDatSRow *ARow) override {
        rtl::Variant V;
        FDS->SetPosition(ARow);
        try {
            FEval->Evaluate(V);
        } catch (...) {
            FDS->SetPosition(nullptr);
            throw;
        }
        FDS->SetPosition(nullptr);
        return V;
    }

    TZqDataType DataType() override { return FEval->GetDataType(); }

private:
    TZqIntfPtr<TZqDatSTableExpressionDS> FDS;
    TZqIntfPtr<IZqStanExpressionEvaluator> FEval;
};

} // namespace

std::unique_ptr<TZqDatSExpression> TZqDatSExpression::Prepare(TZqDatSTable *ATable, const std::string &AText,
                                                              uint8_t AExprOptions, int AParserOptions,
                                                              const std::string &AColumnName) {
    DATS_ASSERT(ATable != nullptr);
    TZqIntfPtr<IZqStanExpressionParser> Parser;
    ZqCreateInterface(Parser, true);
    TZqIntfPtr<TZqDatSTableExpressionDS> DS(new TZqDatSTableExpressionDS(ATable));
    TZqExpressionOptions Opts;
    if (AExprOptions & 1) Opts.Include(ekNoCase);
    if (AExprOptions & 2) Opts.Include(ekPartial);
    TZqIntfPtr<IZqStanExpressionEvaluator> Eval =
        Parser->Prepare(DS.Get(), AText, Opts, TZqParserOptions::FromBits(uint8_t(AParserOptions)), AColumnName);
    return std::make_unique<TZqDatSEngineExpression>(std::move(DS), std::move(Eval));
}

} // namespace dats

