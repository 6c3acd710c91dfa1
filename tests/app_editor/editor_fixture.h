// The editor's test fixture: a private copy of the demo station database
// opened as the main window opens it, a fresh work folder with the
// per-database tables, the map state of the installation's files, and the
// engine's shared state pointed at the fixture's components, so that the
// editor opens "after a run" exactly as the wizard hands it over.
//
// The run is prepared as it leaves the work tables: the station flags of
// the run in "-Cast_TitlesFlags" for the cruises the test names (Flags),
// the candidate duplicates in DuplicatesQry with TestResults bit 0.
#pragma once

#include "app/manual/uQCManual.h"
#include "tests/comp_query/query_fixture.h"

#include "platform/toolkit/TDialogs.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

class TTable;
class TQuery;

namespace editortest {

// The flags a run left for one station.
struct TRunFlags {
    int FLon = 1, FLat = 1, FDT = 1, FD = 1;
};

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the run's flags of every station of a cruise into
    // "-Cast_TitlesFlags": 1 everywhere, except where Special says otherwise.
    void PrepareRunFlags(int IdCruise, const std::map<int, TRunFlags> &Special = {});
    // The duplicate check's result as the run leaves it: DuplicatesQry open
    // on the given stations, TestResults bit 0 set.
    void PrepareDuplicates(const std::string &IdCastList);
    // The hand-over of the wizard: the editor created, the engine's station
    // and level queries pointed at its components, the visual mode on, the
    // run's cruises in its list; then shown (which loads the first cruise).
    TForm2 &OpenEditor(const std::vector<int> &Cruises);
    // What the wizard does when the editor has closed.
    void CloseEditor();
    // Picks a cruise in the list as the operator does.
    void PickCruise(int IdCruise);

    std::vector<querytest::TRow> Sql(const std::string &ASql) { return querytest::SqliteRows(DbPath, ASql); }
    bool MainTableExists(const std::string &Name);

    std::unique_ptr<TScriptedDialogs> Script;
    std::unique_ptr<QTemporaryDir> Dir;
    std::string DbPath;
    std::string WorkDir;
    std::unique_ptr<rtl::TComponent> Owner;
    TZqConnection *Conn = nullptr;
    TZqQuery *DuplQry = nullptr;
    TZqCommand *DuplCmd = nullptr;
    TTable *StructTbl = nullptr;
    TTable *QcCruTbl = nullptr;
    TTable *CastFlagtbl = nullptr;
    TTable *CastOldFlagTbl = nullptr;
    TTable *UndoCastTbl = nullptr;
    TTable *UndoParamTbl = nullptr;
    TTable *TmpCruTbl = nullptr; // the run's cruises ("TmpCru")
    TTable *TmpCastFlags = nullptr;
    TTable *TmpCastOldFlags = nullptr;
    TTable *ParamTbl = nullptr; // "param"
    TQuery *WorkQry = nullptr;
    std::unique_ptr<TForm2> Form;
};

} // namespace editortest
