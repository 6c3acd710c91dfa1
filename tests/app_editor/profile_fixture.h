// The fixture of the editor's profile-side tests: the editor opened on the
// Black Sea cruise of the demo database whose first station has TEMP, PSAL
// and NO3, with helpers to pick a parameter and read the data grid, and a
// climatology of the station's square for the re-checks.
#pragma once
#include "tests/app_editor/editor_fixture.h"

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/map.h"
#include "platform/dataset/TDataSource.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"

#include <QListWidget>

#include <memory>
#include <string>

namespace editortest {

inline constexpr int BlackSeaCruise = 30;
inline constexpr int Station = 1137;

class ProfileFixture : public EditorFixture {
protected:
    TForm2 *F = nullptr;
    std::unique_ptr<TTable> PtsFlags;
    // The run showed TEMP and PSAL (its parameter page), for a test's length.
    struct TShownParams {
        TShownParams() { ParamDisplayList.Add("TEMP"), ParamDisplayList.Add("PSAL"); }
        ~TShownParams() { ParamDisplayList.Clear(); }
    };
    void TearDown() override
    {
        if (PtsDataFlagTbl == PtsFlags.get())
            PtsDataFlagTbl = nullptr;
        EditorFixture::TearDown();
    }
    // A climatology of TEMP and PSAL for the station's square in every
    // month, its mean far from the data between 20 and 60 dbar.
    void LoadClimatology()
    {
        const auto At = Sql("select Lon, Lat from Cast_Titles where ID_Cast=" + std::to_string(Station));
        const std::string Square = FindSquare(rtl::StrToFloat(At[0][0]), rtl::StrToFloat(At[0][1]));
        ASSERT_EQ(SeaCode, "BS");
        TTable ClimMS(nullptr), ClimBS(nullptr);
        for (const char *P : {"TEMP", "PSAL"}) {
            TClimImport Import;
            Import.Grid.push_back({"REGION", "Month", "PRES", std::string(P) + "_PAVG", std::string(P) + "_PSTD"});
            Import.SubRegions = {{Square}, {true}};
            for (int M = 1; M <= 12; ++M) {
                Import.Months.Items.push_back(std::to_string(M));
                Import.Months.Checked.push_back(true);
                for (int Pres : {20, 30, 40, 60}) {
                    Import.Grid.push_back({Square, std::to_string(M), std::to_string(Pres), "100", "0.1"});
                    if (M == 1) {
                        Import.Pressures.Items.push_back(std::to_string(Pres));
                        Import.Pressures.Checked.push_back(true);
                    }
                }
            }
            Import.Params = {{std::string(P) + "(climat)"}, {true}};
            Import.HasBs = true;
            ::LoadClimatology(Import, *StructTbl, ClimMS, ClimBS, WorkDir);
        }
        TQuery Q(nullptr);
        Q.SetDatabaseName(WorkDir);
        Q.SQL().Add("Update param set QC = True where (Param = 'TEMP') or (Param = 'PSAL')");
        Q.ExecSQL();
        ParamsTbl->Close();
        ParamsTbl->Open();
        PtsFlags = std::make_unique<TTable>(nullptr);
        MakeWorkTable(*PtsFlags, *StructTbl, WorkDir, "-PTS_DataFlags.db", "StructTsFlags", "ID_Cast;PRES");
        PtsDataFlagTbl = PtsFlags.get();
    }
    // The data grid's dataset (the profile work table).
    TDataSet &Grid() { return *F->DataSource2->DataSet(); }
    // Picks a parameter in the list as the operator does.
    void PickParam(const std::string &P)
    {
        const int i = ParamList.IndexOf(P);
        ASSERT_GE(i, 0) << P;
        F->ListBox2->setCurrentRow(i);
        F->ListBox2Click();
        ASSERT_EQ(CurParamName, P);
    }
    // Every message box shown, one a line.
    std::string Messages() const
    {
        std::string All;
        for (const TMessageRequest &M : Script->Messages)
            All += M.Text + "\n";
        return All;
    }
};

} // namespace editortest
