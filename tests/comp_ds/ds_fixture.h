// The dataset-features tests' table: stations with an ID, a NAME, a group
// (GRP), an amount (AMT) and long values (MEMO, BIN, WMEMO), under the test
// dataset of the client-component tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/comp_test_util.h"

namespace dstest {

struct TStation {
    int Id;
    std::string Name;
    int Grp;
    double Amt;
};

inline void PutDouble(dats::TZqDatSRow *R, int C, double V) { R->SetData(C, &V, 8); }

// Column indexes of the fixture table.
enum : int { cID = 0, cNAME = 1, cGRP = 2, cAMT = 3, cMEMO = 4, cBIN = 5, cWMEMO = 6 };

inline dats::TZqDatSTable *MakeStations(const std::string &AName, const std::vector<TStation> &ARows)
{
    dats::TZqDatSTable *T = comptest::NewTable(AName);
    T->Columns()->AddColumn("ID", dtInt32);
    T->Columns()->AddColumn("NAME", dtAnsiString, 20);
    T->Columns()->AddColumn("GRP", dtInt32);
    T->Columns()->AddColumn("AMT", dtDouble);
    T->Columns()->AddColumn("MEMO", dtMemo);
    T->Columns()->AddColumn("BIN", dtBlob);
    T->Columns()->AddColumn("WMEMO", dtWideMemo);
    T->BeginLoadData(dats::lmFetchAll);
    for (const TStation &S : ARows) {
        dats::TZqDatSRow *R = T->NewRow(false);
        comptest::PutInt(R, cID, S.Id);
        comptest::PutStr(R, cNAME, S.Name);
        comptest::PutInt(R, cGRP, S.Grp);
        PutDouble(R, cAMT, S.Amt);
        T->Rows()->Add(R);
    }
    T->EndLoadData();
    return T;
}

// The IDs of the records in cursor order, from the first.
inline std::vector<int> Ids(TDataSet &D)
{
    std::vector<int> R;
    D.First();
    while (!D.Eof()) {
        R.push_back(D.FieldByName("ID")->AsInteger());
        D.Next();
    }
    return R;
}

class TStationFixture : public ::testing::Test {
protected:
    void Make(const std::vector<TStation> &ARows, bool AOpen = true)
    {
        Table = MakeStations("STATIONS", ARows);
        DS = std::make_unique<comptest::TTestDataSet>();
        DS->AttachTable(Table, nullptr);
        if (AOpen)
            DS->Open();
    }
    void TearDown() override
    {
        DS.reset();
        if (Table)
            Table->Release();
    }
    dats::TZqDatSTable *Table = nullptr;
    std::unique_ptr<comptest::TTestDataSet> DS;
};

// Five stations in two groups, loaded out of order.
inline std::vector<TStation> FiveStations()
{
    return {{4, "Delta", 2, 40.0}, {1, "Alpha", 1, 10.0}, {5, "echo", 2, 50.0}, {2, "Bravo", 1, 20.0},
            {3, "Charlie", 2, 30.0}};
}

} // namespace dstest
