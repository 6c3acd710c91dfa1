// The fixture of the editor's profile-side tests: the editor opened on the
// Black Sea cruise of the demo database whose first station has TEMP, PSAL
// and NO3, with helpers to pick a parameter and read the data grid.
#pragma once
#include "tests/app_editor/editor_fixture.h"

#include "app/UQC.h"
#include "platform/dataset/TDataSource.h"

#include <QListWidget>

#include <string>

namespace editortest {

inline constexpr int BlackSeaCruise = 30;
inline constexpr int Station = 1137;

class ProfileFixture : public EditorFixture {
protected:
    TForm2 *F = nullptr;
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
