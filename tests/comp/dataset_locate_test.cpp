// Locate and Lookup over the dataset's active view.
#include <gtest/gtest.h>

#include "tests/support/comp_test_util.h"

using namespace comptest;
using namespace dats;

namespace {

class DataSetLocate : public TTableFixture {
protected:
    void SetUp() override { Make("SHIPS", {{5, "Vityaz"}, {3, "Akademik"}, {5, "Professor"}, {9, "akademik"}}); }
};

TEST_F(DataSetLocate, FindsFirstMatchInViewOrderAndFiresScrollEvents)
{
    int Before = 0, After = 0;
    DS->BeforeScroll = [&](TDataSet *) { ++Before; };
    DS->AfterScroll = [&](TDataSet *) { ++After; };
    DS->Last();
    Before = After = 0;
    EXPECT_TRUE(DS->Locate("ID", 5));
    EXPECT_EQ(DS->RecNo(), 1);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Vityaz");
    EXPECT_EQ(Before, 1);
    EXPECT_EQ(After, 1);
}

TEST_F(DataSetLocate, NotFoundKeepsTheCursor)
{
    DS->Next();
    DS->Next();
    EXPECT_FALSE(DS->Locate("ID", 42));
    EXPECT_EQ(DS->RecNo(), 3);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Professor");
}

TEST_F(DataSetLocate, TextKeysHonourCaseAndPartialOptions)
{
    EXPECT_TRUE(DS->Locate("NAME", "akademik"));
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 9);
    DS->First();
    EXPECT_TRUE(DS->Locate("NAME", "AKADEMIK", loCaseInsensitive));
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
    EXPECT_TRUE(DS->Locate("NAME", "Prof", loPartialKey));
    EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 5);
    EXPECT_EQ(DS->RecNo(), 3);
}

TEST_F(DataSetLocate, SeveralKeyFieldsTakeAnArray)
{
    EXPECT_TRUE(DS->Locate("ID;NAME", rtl::VarArrayOf({rtl::Variant(5), rtl::Variant("Professor")})));
    EXPECT_EQ(DS->RecNo(), 3);
}

TEST_F(DataSetLocate, LocatePostsAPendingEdit)
{
    DS->Edit();
    DS->FieldByName("ID")->SetAsInteger(77);
    EXPECT_TRUE(DS->Locate("ID", 77));
    EXPECT_EQ(DS->State(), dsBrowse);
    EXPECT_EQ(DS->RecNo(), 1);
}

TEST_F(DataSetLocate, LookupReadsTheFoundRowWithoutMoving)
{
    DS->Next();
    EXPECT_EQ(DS->Lookup("ID", 9, "NAME").AsString(), "akademik");
    EXPECT_EQ(DS->RecNo(), 2);
    EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Akademik");
    EXPECT_TRUE(DS->Lookup("ID", 1234, "NAME").IsNull());
    EXPECT_EQ(DS->RecNo(), 2);
}

TEST_F(DataSetLocate, UnknownKeyFieldRaises)
{
    EXPECT_THROW(DS->Locate("NOPE", 1), EDatabaseError);
}

} // namespace
