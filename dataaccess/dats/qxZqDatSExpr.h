// qxZqDatSExpr: an expression of the in-memory tables (a filter, a sort key,
// a calculated or default value) compiled by the library's expression parser
// against a table, and evaluated for one row at a time.
#pragma once

#include <memory>
#include <string>

#include "dataaccess/dats/qxZqDatSIntf.h"
#include "platform/rtl/Variant.h"

namespace dats {

class TZqDatSExpression {
public:
    virtual ~TZqDatSExpression() = default;
    // AExprOptions: ekNoCase 1, ekPartial 2. AParserOptions: 1 condition,
    // 2 aggregate, 4 column expression checked against AColumnName.
    static std::unique_ptr<TZqDatSExpression> Prepare(TZqDatSTable *ATable, const std::string &AText,
                                                      uint8_t AExprOptions, int AParserOptions,
                                                      const std::string &AColumnName);
    // The value for the row (read at rvDefault); the data source is pointed
    // back at no row afterwards, also on failure.
    virtual rtl::Variant Evaluate(TZqDatSRow *ARow) = 0;
    virtual TZqDataType DataType() = 0;
};

} // namespace dats
