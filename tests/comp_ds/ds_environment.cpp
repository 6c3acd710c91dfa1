// Filters, sorts by expression and aggregates compile their texts through
// the library's expression parser: it is registered once for the run.
#include <gtest/gtest.h>

#include "dataaccess/stan/qxZqStanExpr.h"

namespace {

class TExprEnvironment : public ::testing::Environment {
public:
    void SetUp() override { RegisterStanExpr(); }
};

const auto *const GExprEnvironment = ::testing::AddGlobalTestEnvironment(new TExprEnvironment);

} // namespace
