// Shared folders, list and tree routines, integer lists and the depth colours.
#include "app/Globals.h"

#include "app/manual/Isolines.h"
#include "platform/rtl/IniFiles.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TTreeView.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sys/mman.h>
#include <unistd.h>

std::string ProgramDir;
std::string MapsDir;
std::string ImgsDir;
std::string CfgDir;
std::string LocalDbDir;
std::string MainDbPath;
std::string MainDbDir;
std::string MainDbSqlName;
std::string ExtraLinesFile;
std::string GridFileName;

namespace {

template <class F>
void ForNonHeaders(TCheckListBox &List, F Change)
{
    for (int i = 0; i < List.Count(); ++i)
        if (!List.Header(i))
            List.SetChecked(i, Change(List.Checked(i)));
    if (List.OnClickCheck)
        List.OnClickCheck(List);
}

} // namespace

void CheckListCheckAll(TCheckListBox &List) { ForNonHeaders(List, [](bool) { return true; }); }
void CheckListUncheckAll(TCheckListBox &List) { ForNonHeaders(List, [](bool) { return false; }); }
void CheckListInvert(TCheckListBox &List) { ForNonHeaders(List, [](bool b) { return !b; }); }

void CheckListCheckSelected(TCheckListBox &List)
{
    for (int i = 0; i < List.Count(); ++i)
        if (!List.Checked(i))
            List.SetChecked(i, List.Selected(i));
}

void CheckListUncheckSelected(TCheckListBox &List)
{
    for (int i = 0; i < List.Count(); ++i)
        if (List.Checked(i))
            List.SetChecked(i, !List.Selected(i));
}

namespace {
int Summary(int Ticked, int Total) { return Ticked == 0 ? 0 : Ticked == Total ? 2 : 1; }
} // namespace

int CheckListState(const TCheckListBox &List)
{
    int Ticked = 0;
    for (int i = 0; i < List.Count(); ++i)
        Ticked += List.Checked(i);
    return Summary(Ticked, List.Count());
}

int TreeCheckState(const TTreeView &Tree)
{
    int Ticked = 0, Total = 0;
    for (const TTreeNode *N = Tree.GetFirstNode(); N; N = N->GetNext()) {
        ++Total;
        Ticked += N->StateIndex() >= 2;
    }
    return Summary(Ticked, Total);
}

TTreeNode *FindTreeNode(const TTreeView &Tree, const std::string &Text)
{
    const std::string Wanted = rtl::AnsiUpperCase(Text);
    for (TTreeNode *N = Tree.GetFirstNode(); N; N = N->GetNext())
        if (rtl::AnsiUpperCase(N->Text()) == Wanted)
            return N;
    return nullptr;
}

TTreeNode *FindChildNode(const TTreeView &, const std::string &Text, const TTreeNode *Parent)
{
    if (!Parent)
        return nullptr;
    TTreeNode *Found = nullptr;
    for (int i = 0; i < Parent->Count(); ++i)
        if (Parent->Item(i)->Text() == Text)
            Found = Parent->Item(i);
    return Found;
}

TTreeNode *FindOrAddRootNode(TTreeView &Tree, const std::string &Text)
{
    if (!FindTreeNode(Tree, Text))
        Tree.AddNode(nullptr, Text);
    return FindTreeNode(Tree, Text);
}

TTreeNode *FindOrAddChildNode(TTreeView &Tree, const std::string &Text, TTreeNode *Parent)
{
    if (!Parent)
        return nullptr;
    if (!FindChildNode(Tree, Text, Parent))
        Tree.AddChild(Parent, Text);
    return FindChildNode(Tree, Text, Parent);
}

TTreeNode *TopParentNode(const TTreeView &, TTreeNode *Node)
{
    while (Node && Node->Parent())
        Node = Node->Parent();
    return Node;
}

void ReadIntList(const std::string &FileName, TIntArr &List)
{
    List.clear();
    rtl::TTextFileReader In(FileName);
    while (In.NextNonBlankLine())
        List.push_back(In.ReadInteger());
}

namespace {

// The settings' booleans: "TRUE"/"FALSE" in any case, or a number (0 false).
bool IniBool(rtl::TCustomIniFile &AIni, const char *ASection, const char *AKey, bool ADefault)
{
    const std::string Text = rtl::UpperCase(rtl::Trim(AIni.ReadString(ASection, AKey, ADefault ? "TRUE" : "FALSE")));
    int Value = 0;
    return Text == "TRUE" || (Text != "FALSE" && !Text.empty() && !(rtl::TryStrToInt(Text, Value) && Value == 0));
}

} // namespace

std::string SettingPath(const std::string &AValue)
{
    if (AValue.empty() || std::filesystem::path(AValue).is_absolute())
        return AValue;
    return (std::filesystem::path(ProgramDir) / AValue).lexically_normal().string();
}

std::string SettingValue(const std::string &APath)
{
    // Kept relative, a file of the installation goes with its folder when
    // the folder is copied or moved: the copy never reads the old folder's
    // grid or contour in silence.
    const std::string Path = std::filesystem::path(APath).lexically_normal().string();
    if (ProgramDir.empty() || (Path + "/").rfind(ProgramDir, 0) != 0)
        return APath;
    const std::string Inside = Path.size() > ProgramDir.size() ? Path.substr(ProgramDir.size()) : std::string();
    return Inside.empty() ? "./" : Inside;
}

namespace {

bool IsProgramFolder(const std::filesystem::path &AFolder)
{
    std::error_code Ec;
    return std::filesystem::is_regular_file(AFolder / "Cfg/main.ini", Ec) &&
           (std::filesystem::is_regular_file(AFolder / "SoftDB/worktables.def", Ec) ||
            std::filesystem::is_regular_file(AFolder / "SoftDB/worktables.sqlite3", Ec));
}

} // namespace

std::string OtherProgramFolder(const std::string &APath)
{
    namespace fs = std::filesystem;
    if (APath.empty() || !fs::path(APath).is_absolute() || SettingValue(APath) != APath)
        return std::string();
    fs::path Folder = fs::path(APath).lexically_normal();
    if (Folder.filename().empty())
        Folder = Folder.parent_path();
    for (;; Folder = Folder.parent_path()) {
        // This program's folder reached under another name (a link).
        std::error_code Ec;
        if (fs::equivalent(Folder, ProgramDir, Ec))
            return std::string();
        if (IsProgramFolder(Folder))
            return Folder.string() + (Folder.string().back() == '/' ? "" : "/");
        if (Folder == Folder.root_path())
            return std::string();
    }
}

std::vector<TForeignSetting> ForeignSettings(rtl::TCustomIniFile &AIni)
{
    std::vector<TForeignSetting> Found;
    for (const auto &[Section, Key] : {std::pair{"Database", "DatabaseName"}, {"MAP", "BlnName"},
                                       {"Clim", "SearchClimPath"}, {"Grd", "GrdName"}}) {
        TForeignSetting S{Section, Key, SettingPath(AIni.ReadString(Section, Key, "")), "", "", 0};
        S.Folder = OtherProgramFolder(S.Path);
        if (S.Folder.empty())
            continue;
        const std::string Inside = std::filesystem::path(S.Path).lexically_normal().lexically_relative(S.Folder).string();
        const std::string Own = (std::filesystem::path(ProgramDir) / Inside).lexically_normal().string();
        std::error_code Ec;
        if (std::filesystem::exists(Own, Ec))
            S.Own = Own;
        else if (!std::filesystem::exists(S.Path, Ec))
            continue;
        S.Line = AIni.KeyLine(Section, Key);
        Found.push_back(S);
    }
    return Found;
}

namespace {

// The odbcinst.ini text with each relative driver and set-up path made
// whole from AFolder.
std::string OdbcInstWithWholePaths(const std::string &AFolder)
{
    rtl::TMemIniFile Ini(AFolder + "odbcinst.ini");
    rtl::TStringList Sections, Lines;
    Ini.ReadSections(Sections);
    for (int I = 0; I < Sections.Count(); ++I)
        for (const char *Key : {"Driver", "Setup"}) {
            const std::string Value = Ini.ReadString(Sections[I], Key, "");
            if (!Value.empty() && !std::filesystem::path(Value).is_absolute())
                Ini.WriteString(Sections[I], Key, (std::filesystem::path(AFolder) / Value).lexically_normal().string());
        }
    Ini.GetStrings(Lines);
    return Lines.Text();
}

} // namespace

void UseProgramFolderDriver(const std::string &AFolder)
{
    // unixODBC takes a driver's path in its odbcinst.ini literally (a
    // relative one from the working folder), while the program folder's file
    // names the driver relative to the folder, so that a copied, moved or
    // installed folder loads its own. unixODBC gets that file with the paths
    // made whole, in a file of this process alone: no folder need be
    // writable, and nothing is left behind. Kept open for the process's life.
    if (rtl::FileExists(AFolder + "odbcinst.ini")) {
        try {
            const std::string Text = OdbcInstWithWholePaths(AFolder);
            const int Fd = ::memfd_create("odbcinst.ini", MFD_CLOEXEC);
            if (Fd >= 0 && ::write(Fd, Text.data(), Text.size()) == ssize_t(Text.size())) {
                ::setenv("ODBCSYSINI", "/proc/self/fd", 1);
                ::setenv("ODBCINSTINI", std::to_string(Fd).c_str(), 1);
                return;
            }
            if (Fd >= 0)
                ::close(Fd);
        } catch (const std::exception &) {
            // A file that cannot be read as it stands: the connection says so.
        }
    }
    ::setenv("ODBCSYSINI", AFolder.c_str(), 1);
    ::setenv("ODBCINSTINI", "odbcinst.ini", 1);
}

void NoteMissingSetting(rtl::TCustomIniFile &AIni, const std::string &ASection, const std::string &AKey,
                        const std::string &AInstead, std::string &ANotes)
{
    const std::string Value = AIni.ReadString(ASection, AKey, "");
    if (Value.empty())
        return;
    ANotes += (ANotes.empty() ? "" : "\n") + AIni.FileName() + ", line " +
              std::to_string(AIni.KeyLine(ASection, AKey)) + ": the file \"" + Value + "\" named in " + AKey +
              " of [" + ASection + "] was not found" +
              (rtl::IsUtf8(Value) ? "" : " (its name is not UTF-8: the settings file is of another encoding)") +
              (AInstead.empty() ? "" : "\n" + AInstead);
}

TFileSettings ReadFileSettings(rtl::TCustomIniFile &AIni, std::string &ANotes)
{
    TFileSettings S;
    S.Database = SettingPath(AIni.ReadString("Database", "DatabaseName", ""));
    S.Contour = SettingPath(AIni.ReadString("MAP", "BlnName", ""));
    S.ClimFolder = SettingPath(AIni.ReadString("Clim", "SearchClimPath", ""));
    S.Grid = SettingPath(AIni.ReadString("Grd", "GrdName", ""));
    if (!rtl::DirectoryExists(S.ClimFolder)) {
        S.ClimFolder = ProgramDir;
        NoteMissingSetting(AIni, "Clim", "SearchClimPath", "Climatology files are looked for in " + S.ClimFolder,
                           ANotes);
    }
    if (!rtl::FileExists(S.Grid)) {
        S.Grid = MapsDir + "out.grd";
        NoteMissingSetting(AIni, "Grd", "GrdName", "The depths are those of " + S.Grid, ANotes);
    }
    if (!rtl::FileExists(S.Contour)) {
        S.Contour = ProgramDir + "QCCont/ALL_.bln";
        NoteMissingSetting(AIni, "MAP", "BlnName", "The location check's region is that of " + S.Contour, ANotes);
    } else {
        S.InvertX = IniBool(AIni, "MAP", "InvX", false);
        S.InvertY = IniBool(AIni, "MAP", "InvY", true);
        S.SwapColumns = IniBool(AIni, "MAP", "XY", false);
    }
    return S;
}

std::string KeepFileSettings(const std::string &AIniFile, const TFileSettings &ANow, const TFileSettings &AAtStart)
{
    rtl::TMemIniFile Ini(AIniFile);
    bool Changed = false;
    std::string Refused;
    const auto Keep = [&](const char *ASection, const char *AKey, const std::string &ANowValue,
                          const std::string &AStartValue, const std::string &AText) {
        if (ANowValue == AStartValue && !rtl::Trim(Ini.ReadString(ASection, AKey, "")).empty())
            return;
        // Asked before the key goes: a value the file cannot take leaves
        // the key as it was and costs no other.
        if (const std::string Refusal = Ini.WriteRefusal(ASection, AKey, AText); !Refusal.empty()) {
            Refused += (Refused.empty() ? "" : "\n") + Refusal + " (" + AKey + " of [" + ASection + "])";
            return;
        }
        // Deleted and written again: the key goes to its section's end.
        Ini.DeleteKey(ASection, AKey);
        Ini.WriteString(ASection, AKey, AText);
        Changed = true;
    };
    const auto Path = [&](const char *ASection, const char *AKey, const std::string &ANowValue,
                          const std::string &AStartValue) {
        // A file of the installation that an earlier close kept whole is
        // kept as SettingValue says, changed or not: whole, it ties a copy
        // of the folder to this one.
        const std::string Stored = Ini.ReadString(ASection, AKey, ""), Text = SettingValue(ANowValue);
        const bool KeptWhole = ANowValue == AStartValue && SettingPath(Stored) == ANowValue && Stored != Text;
        Keep(ASection, AKey, ANowValue, KeptWhole ? std::string() : AStartValue, Text);
    };
    const auto Bool = [](bool B) { return std::string(B ? "True" : "False"); };
    if (!ANow.Database.empty())
        Path("Database", "DatabaseName", ANow.Database, ANow.Database);
    Path("Map", "BlnName", ANow.Contour, AAtStart.Contour);
    // The column order belongs to the contour file: another contour's is
    // written whatever the key held.
    const std::string XY = Bool(ANow.SwapColumns);
    Keep("Map", "XY", XY, ANow.Contour != AAtStart.Contour ? std::string() : Bool(AAtStart.SwapColumns), XY);
    Path("Clim", "SearchClimPath", ANow.ClimFolder, AAtStart.ClimFolder);
    Path("Grd", "GrdName", ANow.Grid, AAtStart.Grid);
    const std::string Note = Changed ? Ini.UpdateFile() : std::string();
    if (!Refused.empty())
        throw rtl::EFCreateError(Refused + (Note.empty() ? "" : "\n" + Note));
    return Note;
}

const float DepthColorLevels[23] = {-2000, -1500, -1000, -500, -200, -100, -50, -20, -10, 0,    1,    10,
                                    20,    50,    100,   200,  500,  1000, 1500, 2000, 2500, 3000, 3500};

namespace {

constexpr TColor DeepSea = 0x800000, ShallowSea = 0xFFFF00, LowLand = 0xC0DCC0, HighLand = 0x003C00;

// Each channel low + (high - low) * weight, to the nearest integer, halves to even.
TColor Blend(TColor Low, TColor High, double Weight)
{
    auto Channel = [&](int l, int h) { return int(std::nearbyint(l + (h - l) * Weight)); };
    return RGBColor(Channel(GetRValue(Low), GetRValue(High)), Channel(GetGValue(Low), GetGValue(High)),
                    Channel(GetBValue(Low), GetBValue(High)));
}

} // namespace

void BuildMapColors()
{
    MapColors.assign(24, clBlack);
    for (int i = 0; i < 23; ++i) {
        if (DepthColorLevels[i] > 0) {
            MapColors[size_t(i) + 1] = Blend(LowLand, HighLand, (i - 9) / 14.0);
        } else {
            MapColors[size_t(i)] = Blend(DeepSea, ShallowSea, i / 10.0);
            if (DepthColorLevels[i] == 0)
                MapColors[size_t(i) + 1] = Blend(LowLand, HighLand, (i - 9) / 14.0);
        }
    }
}

void BuildDepthColors()
{
    // The start holds no grid but the one it reads: a refused one leaves
    // none, which a run that checks depths says.
    DepthGrid.clear();
    GridNX = GridNY = 0;
    LoadGrid(GridFileName, DepthGrid);
    BuildMapColors();
}
