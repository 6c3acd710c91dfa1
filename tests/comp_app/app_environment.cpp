// The program's own wait cursor is the one registered first (the first
// registration of a service wins), so that the hourglass tests see what the
// program's users see; the rest of the services as the query tests set them.
#include <gtest/gtest.h>

#include "dataaccess/comp/qxZqGUIxFormsWait.h"
#include "tests/support/query_fixture.h"

namespace {

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        RegisterGUIxFormsWait();
        querytest::InitServices();
    }
};

const auto *const GEnvironment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

} // namespace
