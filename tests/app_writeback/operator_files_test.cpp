// The files operators bring, as Windows desktops and decimal-comma locales
// make them: each kind and variant is read exactly as the good file (what
// the program uses of it compared), or refused in words that name the file
// and the line; none is misread in silence.
#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/manual/Isolines.h"
#include "app/manual/map.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/IniFiles.h"
#include "platform/toolkit/TCanvas.h"
#include "platform/toolkit/TDialogs.h"
#include "tests/support/LocalRows.h"

namespace fs = std::filesystem;

namespace {

std::string Program() { return std::getenv("MARLIN_PROGRAM_DIR"); }
std::string Folder(const std::string &Path) { return fs::path(Path).parent_path().string() + "/"; }

// What the program uses of each kind of file. Settings: what the start
// says and the close keeps (each row is an installation of its own), an
// operator's own contour chosen in between.
std::string Settings(const std::string &Path)
{
    ProgramDir = Folder(Path);
    MapsDir = ProgramDir + "Maps/";
    std::ofstream(ProgramDir + "a.bln"); // the contour the file names
    std::string D;
    rtl::TIniFile Start(Path);
    const TFileSettings AtStart = ReadFileSettings(Start, D);
    TFileSettings Now = AtStart;
    Now.Contour = ProgramDir + "QCCont/свой.bln";
    try {
        KeepFileSettings(Path, Now, AtStart);
    } catch (const rtl::EFCreateError &E) {
        D += E.what();
    }
    rtl::TIniFile Ini(Path);
    for (const auto &[Section, Key] : {std::pair{"Database", "DatabaseName"}, {"MAP", "BlnName"}, {"MAP", "XY"},
                                       {"Clim", "SearchClimPath"}, {"Grd", "GrdName"}})
        D += " " + Ini.ReadString(Section, Key, "?");
    return D;
}

// The lists the import dialog fills, then the tables the loader fills.
std::string Climatology(const std::string &Path)
{
    TClimImport Import;
    std::string D;
    if (!ReadClimatologyFile(Path, Import, D))
        return D;
    for (const TClimChoice *C : {&Import.SubRegions, &Import.Months, &Import.Pressures, &Import.Params})
        for (const std::string &Item : C->Items)
            D += Item + " ";
    fs::copy_file(Program() + "/SoftDB/worktables.def", Folder(Path) + "worktables.def");
    TTable Struct, Ms, Bs;
    for (TTable *T : {&Struct, &Ms, &Bs})
        T->SetDatabaseName(Folder(Path));
    LoadClimatology(Import, Struct, Ms, Bs, Folder(Path));
    for (const char *T : {"BS_TEMP", "MS_TEMP"})
        if (LocalTableFileExists(Folder(Path) + T + ".db"))
            for (const std::string &R : testsupport::LocalRows(Folder(Path), std::string("select * from ") + T))
                D += R + " ";
    return D;
}

std::string Contour(const std::string &Path)
{
    std::string D;
    for (const TContourPolygon &P : ReadContourFile(Path, false))
        for (const TRealPoint &p : P.Points)
            D += std::to_string(P.Kind) + ":" + rtl::FloatToStr(p.x) + " " + rtl::FloatToStr(p.y) + " ";
    return D;
}

std::string Grid(const std::string &Path)
{
    DepthGrid.clear();
    GridNX = GridNY = 0;
    LoadGrid(Path, DepthGrid);
    std::string D = std::to_string(GridNX) + " " + rtl::FloatToStr(GridWorldRect.xmin) + " " + rtl::FloatToStr(GridZMin);
    for (const TSingleArr &Row : DepthGrid)
        for (float v : Row)
            D += rtl::FloatToStr(v) + " ";
    return D;
}

std::string Squares(const std::string &Path)
{
    rtl::TStringList Names;
    TRealRectArr Read;
    try {
        LoadSquares(Path, Names, Read);
    } catch (const EInOutError &E) {
        return Read.empty() ? E.what() : "squares kept"; // a refusal leaves none of them in force
    }
    std::string D;
    for (size_t I = 0; I < Read.size(); ++I)
        D += Names[int(I)] + ":" + rtl::FloatToStr(Read[I].xmin) + " " + rtl::FloatToStr(Read[I].ymax) + " ";
    return D;
}

std::string Map(const std::string &Path)
{
    MapsDir = Folder(Path);
    TBitmap Bmp(200, 120);
    DrawCoast(Bmp.Canvas());
    return std::to_string(qHash(QByteArrayView(Bmp.Image().constBits(), Bmp.Image().sizeInBytes())));
}

const struct {
    const char *File, *Good;
    // The variants refused, with the line named; 0: not compared (a
    // settings file holds whatever it holds).
    std::map<std::string_view, int> Refused;
    std::string (*Read)(const std::string &Path);
} Kinds[] = {
    {"main.ini", "[Database]\nDatabaseName=demo/marlin_demo.mdb\n\n[MAP]\nBlnName=a.bln\nXY = TRUE\n",
     {{"empty", 0}, {"cut short", 0}, {"names no file", 5}, {"windows-1251 name", 5}, {"latin-1", 0},
      {"latin-1 at the end", 0}, {"utf-16 without mark", 0}},
     Settings},
    {"clim.txt", "REGION;Month;PRES;TEMP_PAVG;TEMP_PSTD\n1;1;0;7.85;1.5\n1;1;10.5;7.7;1.25\nM44N008E;2;0;13.7;1.5\n",
     {{"decimal commas", 2}, {"cut short", 4}, {"latin-1", 1}, {"latin-1 at the end", 4}, {"utf-16 without mark", 1}},
     Climatology},
    {"clim.csv", "REGION,Month,PRES,TEMP_PAVG,TEMP_PSTD\n1,1,0,7.85,1.5\n1,1,10.5,7.7,1.25\nM44N008E,2,0,13.7,1.5\n",
     {{"decimal commas", 2}, {"cut short", 4}, {"latin-1", 1}, {"latin-1 at the end", 4}, {"utf-16 without mark", 1}},
     Climatology},
    {"c.bln", "4 0\n30.5 -14.25\n30.5 42\n50 42\n50 -14.25\n3 1\n40 10\n41.5 10\n40 11 (a hole)\n",
     {{"decimal commas", 2}, {"empty", 1}, {"only holes", 1}, {"utf-16 without mark", 1}}, Contour},
    {"out.grd", "DSAA\n4 3\n10.5 13.5\n40 42\n-300.5 50\n-100.25 -200 -300 -250\n-50 -60 -70 -80\n10 20 30 50.5\n",
     {{"decimal commas", 3}, {"empty", 1}, {"cut short", 8}, {"latin-1", 1}, {"latin-1 at the end", 8},
      {"utf-16 without mark", 1}, {"fewer nodes in the header", 8}, {"rows and columns swapped in the header", 6}},
     Grid},
    {"map.bln", "4\n4 12\n10.5 35\n20 35\n20 45.5\n10.5 45.5\n",
     {{"decimal commas", 3}, {"empty", 1}, {"cut short", 6}, {"utf-16 without mark", 1}}, Map},
    {"QuadrHMS.txt", "27.5 41 28 41.5 1\n28 41 28.5 41.5 2\n27.5 41.5 28 42 M44N008E\n28 41.5 28.5 42 Aegean\n",
     {{"decimal commas", 1}, {"empty", 0}, {"cut short", 0}, {"latin-1", 1}, {"latin-1 at the end", 4},
      {"utf-16 without mark", 1}},
     Squares},
};

std::string Utf16(const std::string &S, bool BigEndian)
{
    std::string U = BigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char C : S) // the good texts are ASCII
        U.append(BigEndian ? std::string{'\0', C} : std::string{C, '\0'});
    return U;
}

const std::pair<std::string_view, std::string (*)(const std::string &)> Variants[] = {
    {"crlf", [](const std::string &S) { return std::regex_replace(S, std::regex("\n"), "\r\n"); }},
    {"bom", [](const std::string &S) { return std::string("\xEF\xBB\xBF").append(S); }},
    {"tabs", [](const std::string &S) { return std::regex_replace(S, std::regex("[ ;]"), "\t"); }},
    {"trailing blanks", [](const std::string &S) { return std::regex_replace(S, std::regex("\n"), " \t \n"); }},
    {"blank lines", [](const std::string &S) { return std::regex_replace(S, std::regex("\n"), "\n \n"); }},
    {"no final newline", [](const std::string &S) { return S.substr(0, S.size() - 1); }},
    {"decimal commas", [](const std::string &S) { return std::regex_replace(S, std::regex("(\\d)\\.(\\d)"), "$1,$2"); }},
    {"empty", [](const std::string &) { return std::string(); }},
    {"long line",
     [](const std::string &S) { return std::regex_replace(S, std::regex("\n"), "\n" + std::string(100000, ' ')); }},
    {"cut short", // in the last word
     [](const std::string &S) { return std::regex_replace(S, std::regex("[ \t;,]*[^ \t;,\n]+\n?$"), ""); }},
    {"utf-16", [](const std::string &S) { return Utf16(S, false); }},
    {"utf-16 big-endian", [](const std::string &S) { return Utf16(S, true); }},
    {"latin-1",
     [](const std::string &S) {
         return std::regex_replace(S, std::regex("\n"), " \xE4\n", std::regex_constants::format_first_only);
     }},
    {"latin-1 at the end", [](const std::string &S) { return S.substr(0, S.size() - 1) + " \xE4\n"; }},
    {"utf-16 without mark", [](const std::string &S) { return Utf16(S, false).substr(2); }},
    {"fewer nodes in the header", // 12 values under "3 3"
     [](const std::string &S) { return std::regex_replace(S, std::regex("^DSAA\n4 3\n"), "DSAA\n3 3\n"); }},
    {"rows and columns swapped in the header", // its lines say rows of 4
     [](const std::string &S) { return std::regex_replace(S, std::regex("^DSAA\n4 3\n"), "DSAA\n3 4\n"); }},
    {"only holes", // an area's header made a hole's
     [](const std::string &S) { return std::regex_replace(S, std::regex("(^|\n)(\\d+) 0\n"), "$1$2 1\n"); }},
    {"names no file", [](const std::string &S) { return std::regex_replace(S, std::regex("a\\.bln"), "gone.bln"); }},
    {"windows-1251 name", // "карта"
     [](const std::string &S) { return std::regex_replace(S, std::regex("a\\.bln"), "\xEA\xE0\xF0\xF2\xE0.bln"); }},
};

TEST(OperatorFiles, EachIsReadAsTheGoodFileOrRefusedNamingTheFileAndTheLine)
{
    const fs::path Dir = fs::temp_directory_path() / ("operator_files_" + std::to_string(::getpid()));
    TRealRectArr Squares;
    LoadSquares(Program() + "/Cfg/QuadrHMS.txt", BsSquareNames, Squares);
    LoadSquares(Program() + "/Cfg/QuadrMedClim.txt", MsSquareNames, Squares);
    BuildMapColors();
    ZoomStack = {MakeWorldRect(8, 30, 24, 50)};
    ZoomIndex = 0;
    MapScreenRect = Rect(10, 10, 190, 110);
    TScriptedDialogs Dialogs;
    for (const auto &K : Kinds) {
        const auto Read = [&](const std::string &Row, const std::string &Text) {
            fs::create_directories(Dir / Row);
            const std::string Path = (Dir / Row / K.File).string();
            std::ofstream(Path, std::ios::binary) << Text;
            Dialogs.Messages.clear();
            std::string D;
            try {
                D = K.Read(Path);
            } catch (const EInOutError &E) {
                D = E.what();
            }
            for (const std::string &T : Dialogs.Texts())
                D += "\n" + T;
            return std::make_pair(Path, D);
        };
        const std::string Good = Read(K.File, K.Good).second;
        EXPECT_EQ(Good.find('\n'), std::string::npos) << K.File << " says: " << Good;
        for (const auto &[Name, Make] : Variants) {
            const auto [Path, Got] = Read(std::string(K.File) + " " + std::string(Name), Make(K.Good));
            const auto Refused = K.Refused.find(Name);
            if (Name == "empty" && K.Read == Climatology)
                EXPECT_EQ(Got, "Wrong File Format");
            else if (Refused == K.Refused.end())
                EXPECT_EQ(Got, Good) << K.File << ", " << Name;
            else if (Refused->second) {
                EXPECT_NE(Got.find(Path + ", line " + std::to_string(Refused->second)), std::string::npos)
                    << Path << ": " << Got;
            }
        }
    }
    // The column order belongs to the contour: the session's own is kept
    // with the contour chosen in place of one that was not found.
    const auto Kept = [&](const char *Row, const char *Section, const char *Key) {
        return rtl::TIniFile((Dir / Row / "main.ini").string()).ReadString(Section, Key, "");
    };
    EXPECT_EQ(Kept("main.ini names no file", "MAP", "XY"), "False");
    // Files of the installation kept relative to it (a copy reads its own);
    // a legacy 8-bit line replaced is no obstacle, one elsewhere refuses
    // the new name alone.
    for (const auto &[Row, Contour] : {std::pair{"main.ini", "QCCont/свой.bln"},
                                       {"main.ini windows-1251 name", "QCCont/свой.bln"}, {"main.ini latin-1", "a.bln"}})
        EXPECT_EQ(Kept(Row, "MAP", "BlnName") + " " + Kept(Row, "Clim", "SearchClimPath") + " " +
                      Kept(Row, "Grd", "GrdName"),
                  std::string(Contour) + " ./ Maps/out.grd");
    // As are those an earlier version kept whole: a copy would read the old folder's database and grid.
    const fs::path Whole = Dir / "whole";
    fs::create_directories(Whole / "Maps");
    std::ofstream((Whole / "Maps/out.grd").string());
    std::ofstream((Whole / "main.ini").string()) << "[Database]\nDatabaseName=" + (Whole / "demo/a.mdb").string() +
                                                        "\n[Clim]\nSearchClimPath=" + Whole.string() + "/\n[Grd]\nGrdName=" +
                                                        (Whole / "Maps/out.grd").string() + "\n";
    Settings((Whole / "main.ini").string());
    EXPECT_EQ(Kept("whole", "Database", "DatabaseName") + " " + Kept("whole", "Clim", "SearchClimPath") + " " +
                  Kept("whole", "Grd", "GrdName"),
              "demo/a.mdb ./ Maps/out.grd");
    RefusedSquareFiles.clear();
    TLocalDatabase::CloseAll();
    fs::remove_all(Dir);
}

} // namespace
