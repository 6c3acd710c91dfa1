// The fixture of the editing sessions: the editor on the Black Sea station
// with TEMP shown (MANUAL QC unless asked otherwise), the station's stored
// pressures, a level typed into the data grid as the operator types it, and
// readers of the station database and the level undo table.
#pragma once
#include "tests/app_editor/profile_fixture.h"
#include "tests/app_support/AppTestSupport.h"

#include "app/Globals.h"
#include "app/WorkTables.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"

#include <QCheckBox>

#include <string>
#include <vector>

namespace editortest {

class EditorEdit : public ProfileFixture {
protected:
    std::vector<std::string> Pres;
    void Open(bool Manual = true)
    {
        for (const auto &R : Sql("select PRES from PTS_Data where ID_Cast=" + std::to_string(Station) +
                                 " order by PRES"))
            Pres.push_back(R[0]);
        PrepareRunFlags(BlackSeaCruise);
        F = &OpenEditor({BlackSeaCruise});
        if (Manual && F->CheckBox1->isChecked())
            F->CheckBox1->click();
        ASSERT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
        PickParam("TEMP");
    }
    // Types a value into a cell of the data grid, as the operator does.
    void EditLevel(int Level, const char *Column, const std::string &Text)
    {
        F->DBGrid2Enter();
        ASSERT_TRUE(F->DBGrid2->SelectFieldByName(Column));
        Grid().SetRecNoValue(Level + 1);
        Grid().Edit();
        if (Text.empty())
            Grid().FieldByName(Column)->Clear();
        else
            Grid().FieldByName(Column)->SetAsString(Text);
        Grid().Post();
    }
    std::string Db(const std::string &Column, int Level)
    {
        const auto R = Sql("select " + Column + " from PTS_Data where ID_Cast=" + std::to_string(Station) +
                           " and PRES=" + Pres[size_t(Level)]);
        return R.size() == 1 ? R[0][0] : "<" + std::to_string(R.size()) + " rows>";
    }
    std::vector<apptest::TRow> UndoRows()
    {
        TQuery Q(nullptr);
        Q.SetDatabaseName(WorkDir);
        Q.SQL().Add("Select FldName, FldValue, FirstCh From \"" + DbTablePrefix + "-Undoparam\" order by FirstCh desc");
        Q.Open();
        std::vector<apptest::TRow> Rows;
        for (Q.First(); !Q.Eof(); Q.Next())
            Rows.push_back({Q.Fields()[0]->AsString(), Q.Fields()[1]->AsString(), Q.Fields()[2]->AsString()});
        return Rows;
    }
};

} // namespace editortest
