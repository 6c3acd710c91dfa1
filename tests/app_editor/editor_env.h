// The editor's environment as the main window leaves it after a run, for
// the editor's tests and its benchmark: a station database opened as the
// main window opens it, a fresh work folder with the per-database tables,
// the map state of the installation's files, and the engine's shared state
// pointed at these components. The run is prepared as it leaves the work
// tables: the station flags in "-Cast_TitlesFlags" (PrepareRunFlags), the
// candidate duplicates in DuplicatesQry with TestResults bit 0
// (PrepareDuplicates). OpenEditor is the wizard's hand-over.
#pragma once

#include "app/manual/uQCManual.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class TQuery;
class TTable;
class TZqCommand;
class TZqConnection;
class TZqQuery;

namespace editortest {

// The flags a run left for one station.
struct TRunFlags {
    int FLon = 1, FLat = 1, FDT = 1, FD = 1;
};

class TEditorEnvironment {
public:
    // ProgramFolder: the staged program folder; DbPath: the station database
    // (opened in place); Root: a folder of the caller's for the work tables.
    void Setup(const std::string &ProgramFolder, const std::string &ADbPath, const std::string &Root);
    void Teardown();

    // Writes the run's flags of every station of a cruise into
    // "-Cast_TitlesFlags": 1 everywhere, except where Special says otherwise.
    void PrepareRunFlags(int IdCruise, const std::map<int, TRunFlags> &Special = {});
    void PrepareDuplicates(const std::string &IdCastList);
    TForm2 &OpenEditor(const std::vector<int> &Cruises);
    void CloseEditor();
    // Clicks a cruise's item in the cruise list; false when it is not there.
    bool PickCruise(int IdCruise);

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
    TTable *ParamsTbl = nullptr;  // "param", the known parameters
    TTable *WorkDataTbl = nullptr; // the engine's ParamTbl (the profile work table)
    TQuery *WorkQry = nullptr;
    std::unique_ptr<TForm2> Form;
};

} // namespace editortest
