// Program-wide folders and paths, the shared dynamic-array types, and the
// small routines over check list boxes and tree views that the main window,
// the QC engine, the editor and the dialogs share; also the map's depth
// colour scale, built once at start-up.
#pragma once

#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TTextFileReader.h"
#include "platform/toolkit/TTypes.h"

#include <string>
#include <vector>

class TCheckListBox;
class TTreeView;
class TTreeNode;

using TRealArr = std::vector<double>;
using TIntArr = std::vector<int>;

// A bit set that grows when a bit past its end is set; a bit past its end
// reads as clear. One bit per station or per test.
class TBits {
public:
    int Size() const { return int(FBits.size()); }
    void SetSize(int ASize) { FBits.resize(size_t(ASize > 0 ? ASize : 0), false); }
    bool Bits(int Index) const { return Index >= 0 && Index < Size() && FBits[size_t(Index)]; }
    void SetBit(int Index, bool AValue)
    {
        if (Index < 0)
            return;
        if (Index >= Size())
            SetSize(Index + 1);
        FBits[size_t(Index)] = AValue;
    }
    void Clear() { FBits.assign(FBits.size(), false); }

private:
    std::vector<bool> FBits;
};

// The run-time library's input-output error of text files (the program's
// text files are read through rtl::TTextFileReader).
using EInOutError = rtl::EInOutError;

// Folders carry a trailing "/" (the system's "\"). Set once at start-up by
// the main window.
extern std::string ProgramDir;
extern std::string MapsDir;
extern std::string ImgsDir;
extern std::string CfgDir;
extern std::string LocalDbDir;
extern std::string MainDbPath;
extern std::string MainDbDir;
extern std::string MainDbSqlName;
// The settings file's choices that the map and the grid read.
extern std::string ExtraLinesFile; // MAP/BlnName
extern std::string GridFileName;   // Grd/GrdName

// ---- check lists ----------------------------------------------------------
// The tick routines skip header items and fire the list's OnClickCheck once,
// after the whole pass; the two routines for selected items do neither.
void CheckListCheckAll(TCheckListBox &List);
void CheckListUncheckAll(TCheckListBox &List);
void CheckListInvert(TCheckListBox &List);
void CheckListCheckSelected(TCheckListBox &List);
void CheckListUncheckSelected(TCheckListBox &List);
// 0 none ticked (also for an empty list), 2 all ticked, 1 some; headers count.
int CheckListState(const TCheckListBox &List);

// ---- trees ----------------------------------------------------------------
// Over all nodes at every level; a state index of 2 or more counts as ticked.
int TreeCheckState(const TTreeView &Tree);
// The first node in display order whose text equals Text, letter case aside.
TTreeNode *FindTreeNode(const TTreeView &Tree, const std::string &Text);
// The last direct child of Parent with exactly this text.
TTreeNode *FindChildNode(const TTreeView &Tree, const std::string &Text, const TTreeNode *Parent);
TTreeNode *FindOrAddRootNode(TTreeView &Tree, const std::string &Text);
TTreeNode *FindOrAddChildNode(TTreeView &Tree, const std::string &Text, TTreeNode *Parent);
TTreeNode *TopParentNode(const TTreeView &Tree, TTreeNode *Node);

// ---- files ----------------------------------------------------------------
// The first integer of each line that holds one, blank lines skipped.
// Raises EInOutError, naming the file and the line, when the file cannot be
// opened or a line does not start with an integer.
void ReadIntList(const std::string &FileName, TIntArr &List);

// ---- the station database's driver ----------------------------------------------
// Points unixODBC (ODBCSYSINI, ODBCINSTINI) at the odbcinst.ini of the program
// folder AFolder (with its "/"), a relative driver path in it counting from
// that folder. Called before the first connection: unixODBC reads the
// variables once.
void UseProgramFolderDriver(const std::string &AFolder);

// ---- settings ---------------------------------------------------------------
namespace rtl {
class TCustomIniFile;
}
// The settings file's choices of files and the contour's axes (sections
// "MAP", "Clim" and "Grd" of main.ini), and the database it names (kept
// where it is chosen; the close only keeps relative one inside the folder).
struct TFileSettings {
    std::string Database;     // Database/DatabaseName
    std::string Contour;      // MAP/BlnName
    std::string ClimFolder;   // Clim/SearchClimPath
    std::string Grid;         // Grd/GrdName
    bool SwapColumns = false; // MAP/XY
    bool InvertX = false;     // MAP/InvX
    bool InvertY = true;      // MAP/InvY
};
// The path a setting names: a relative one counts from the program folder.
std::string SettingPath(const std::string &AValue);
// What a setting keeps for APath: a path inside the program folder relative
// to it ("./" for the folder itself), any other as it is.
std::string SettingValue(const std::string &APath);
// The folder of another installation of this program that holds APath (a
// file or folder), with its "/"; empty for a path inside ProgramDir or in no
// program folder. A program folder holds Cfg/main.ini beside the work
// folder's SoftDB/worktables.def or SoftDB/worktables.sqlite3: a folder of
// the operator's data is none.
std::string OtherProgramFolder(const std::string &APath);
// A setting naming a file or folder inside another program folder (a
// folder copied with settings an earlier version kept whole, or a settings
// file brought from another installation): the key, its line, the path,
// the other folder, and this program's own file of that name (empty where
// this folder has none).
struct TForeignSetting {
    std::string Section, Key, Path, Folder, Own;
    int Line = 0;
};
// Those of DatabaseName, BlnName, SearchClimPath and GrdName, in this order;
// one whose file is in neither folder is left to the start's own fallbacks.
std::vector<TForeignSetting> ForeignSettings(rtl::TCustomIniFile &AIni);
// ANotes gets "Ini, line N: the file "F" named in Key of [Section] was not
// found" and AInstead, on a line of its own: the operator learns which
// setting to mend. Nothing for an empty value (a first start).
void NoteMissingSetting(rtl::TCustomIniFile &AIni, const std::string &ASection, const std::string &AKey,
                        const std::string &AInstead, std::string &ANotes);
// The choices as the start reads them: a contour, folder or grid that is
// not there gives way to QCCont/ALL_.bln (with the vertical inversion only,
// the column order not read), the program folder or Maps/out.grd, each
// said in ANotes.
TFileSettings ReadFileSettings(rtl::TCustomIniFile &AIni, std::string &ANotes);
// At close, in one replacement of the file: each choice the operator
// changed since AAtStart, and each the file holds no value for, as
// SettingValue keeps it. A setting the operator did not change stays as the
// file has it, found or not. A value the file cannot take
// (TCustomIniFile::WriteRefusal) leaves its key as it was and the others
// are written; EFCreateError then names each. Returns the replacement's note.
std::string KeepFileSettings(const std::string &AIniFile, const TFileSettings &ANow, const TFileSettings &AAtStart);

// ---- depth colour scale -------------------------------------------------------
// Levels in metres of elevation (negative below sea level) of the map palette.
extern const float DepthColorLevels[23];
// MapColors := 24 colours: ten sea shades from navy to aqua, fourteen land
// shades from pale to dark green (does not depend on any grid).
void BuildMapColors();
// The start-up step "Building Map...": loads GridFileName into DepthGrid
// (reporting the grid reader's own errors), then builds MapColors.
void BuildDepthColors();
