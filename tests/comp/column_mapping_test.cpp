// Column mappings of a table adapter: display names, name fall-backs and
// look-up by each key kind.
#include <gtest/gtest.h>

#include "dataaccess/dats/qxZqDAptColumn.h"
#include "tests/support/comp_test_util.h"

using namespace comptest;

namespace {

TEST(ColumnMapping, SourceNameAloneStandsForEveryName)
{
    TZqDAptColumnMappings M;
    TZqDAptColumnMapping *I = M.Add();
    I->SetSourceColumnName("ID");
    EXPECT_EQ(I->DisplayName(), "ID");
    EXPECT_EQ(I->DatSColumnName(), "ID");
    EXPECT_EQ(I->UpdateColumnName(), "ID");
    TZqColumnMapResult R;
    I->FillResult(R);
    EXPECT_EQ(R.SourceID, -1);
    EXPECT_EQ(R.SourceName, "ID");
    EXPECT_EQ(R.DatSName, "ID");
    EXPECT_EQ(R.UpdateName, "ID");
}

TEST(ColumnMapping, PositionWithTargetShowsBothAndSettersClearEachOther)
{
    TZqDAptColumnMappings M;
    TZqDAptColumnMapping *I = M.Add();
    I->SetSourceColumnName("LON");
    I->SetSourceColumnID(2);
    EXPECT_EQ(I->SourceColumnName(), "");
    I->SetDatSColumnName("X");
    EXPECT_EQ(I->DisplayName(), "[2] -> X");
    I->SetSourceColumnName("LAT");
    EXPECT_EQ(I->SourceColumnID(), -1);
    TZqDAptColumnMapping *Empty = M.Add();
    EXPECT_EQ(Empty->DisplayName(), "TZqDAptColumnMapping");
}

TEST(ColumnMapping, LookupByEachKind)
{
    dats::TZqDatSTable *T = NewTable("T");
    dats::TZqDatSColumn *C = T->Columns()->AddColumn("DEPTH", dtDouble);
    dats::TZqDatSColumn *Other = T->Columns()->AddColumn("OTHER", dtDouble);
    TZqDAptColumnMappings M;
    M.SetDatSTable(T);
    TZqDAptColumnMapping *A = M.Add();
    A->SetSourceColumnID(4);
    TZqDAptColumnMapping *B = M.Add();
    B->SetSourceColumnName("Bottom");
    B->SetDatSColumnName("depth");
    EXPECT_EQ(M.Lookup(4, mkSourceID), A);
    EXPECT_EQ(M.Lookup("BOTTOM", mkSourceName), B);
    EXPECT_EQ(M.Lookup("DEPTH", mkDatSName), B);
    EXPECT_EQ(M.Lookup(C, mkDatSColumn), B);
    EXPECT_EQ(B->DatSColumn(), C);
    EXPECT_EQ(M.Lookup(Other, mkDatSColumn), nullptr);
    EXPECT_EQ(M.IndexOf("Bottom", mkNone), -1);
    EXPECT_EQ(M.Lookup(4, mkNone), nullptr);
    // A column whose source position is the mapping's matches by it.
    Other->SetSourceID(4);
    EXPECT_EQ(M.Lookup(Other, mkDatSColumn), A);
    T->Release();
}

} // namespace
