// The files operators bring, as Windows desktops and decimal-comma locales
// make them: each kind and variant is read exactly as the good file (what
// the program uses of it compared), or refused in words that name the file
// and the line; none is misread in silence.
#include <gtest/gtest.h>

#include <QLineEdit>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

#include "app/UQC.h"
#include "app/manual/Isolines.h"
#include "app/manual/UClimatDlg.h"
#include "app/manual/map.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/IniFiles.h"
#include "platform/toolkit/TCanvas.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"
#include "tests/support/LocalRows.h"

namespace fs = std::filesystem;

namespace {

struct TKind {
    const char *File;
    const char *Good;
    int CommaLine; // the first line a decimal comma spoils; 0 none
    std::string (*Read)(const std::string &Path);
};

std::unique_ptr<TfmClimatDlg> Dlg;
std::string Def; // the work tables' definitions

std::string Settings(const std::string &Path)
{
    std::string D;
    for (int Pass = 0; Pass < 2; ++Pass) {
        rtl::TIniFile Ini(Path);
        for (const auto &[Section, Key] : {std::pair{"Database", "DatabaseName"}, {"MAP", "BlnName"}, {"MAP", "XY"},
                                           {"MAP", "InvY"}, {"Grd", "GrdName"}})
            D += Ini.ReadString(Section, Key, "?") + "|";
        Ini.WriteString("MAP", "BlnName", "QCCont/own.bln"); // as at close
    }
    return D;
}

std::string Climatology(const std::string &Path)
{
    Dlg->Edit1->setText(QString::fromStdString(Path));
    Dlg->FileListBox1DblClick();
    Dlg->FormClose();
    std::string D;
    for (TCheckListBox *L : {Dlg->CheckListBox1, Dlg->CheckListBox2, Dlg->CheckListBox3, Dlg->CheckListBox4})
        for (int I = 0; I < L->Count(); ++I)
            D += L->ItemText(I) + (L->Checked(I) ? "+ " : "- ");
    const std::string Work = fs::path(Path).parent_path().string() + "/";
    fs::copy_file(Def, Work + "worktables.def");
    TTable Struct, Ms, Bs;
    for (TTable *T : {&Struct, &Ms, &Bs})
        T->SetDatabaseName(Work);
    LoadClimatology(Dlg->Import(), Struct, Ms, Bs, Work);
    for (const char *T : {"BS_TEMP", "MS_TEMP"})
        if (LocalTableFileExists(Work + T + ".db"))
            for (const std::string &R : testsupport::LocalRows(Work, std::string("select * from ") + T))
                D += R + " ";
    return D;
}

std::string Contour(const std::string &Path)
{
    std::string D;
    try {
        for (const TContourPolygon &P : ReadContourFile(Path, false))
            for (const TRealPoint &p : P.Points)
                D += std::to_string(P.Kind) + ":" + rtl::FloatToStr(p.x) + " " + rtl::FloatToStr(p.y) + " ";
    } catch (const EInOutError &E) {
        D = E.what();
    }
    return D;
}

std::string Grid(const std::string &Path)
{
    DepthGrid.clear();
    GridNX = GridNY = 0;
    LoadGrid(Path, DepthGrid);
    const TRealRect &R = GridWorldRect;
    std::string D = std::to_string(GridNX) + " " + std::to_string(GridNY) + " " + rtl::FloatToStr(R.xmin) + " " +
                    rtl::FloatToStr(R.xmax) + " " + rtl::FloatToStr(R.ymax) + " " + rtl::FloatToStr(GridZMin) + ":";
    for (const TSingleArr &Row : DepthGrid)
        for (float v : Row)
            D += rtl::FloatToStr(v) + " ";
    return D;
}

std::string Map(const std::string &Path)
{
    MapsDir = fs::path(Path).parent_path().string() + "/";
    TBitmap Bmp(200, 120);
    try {
        DrawCoast(Bmp.Canvas());
    } catch (const EInOutError &E) {
        return E.what();
    }
    const QImage &I = Bmp.Image();
    return std::to_string(std::hash<std::string_view>{}({reinterpret_cast<const char *>(I.constBits()), size_t(I.sizeInBytes())}));
}

const TKind Kinds[] = {
    {"main.ini", "[Database]\nDatabaseName=demo/marlin_demo.mdb\n\n[MAP]\nBlnName=QCCont/ALL_.bln\nXY = TRUE\n"
                 "InvY=FALSE\n[Grd]\nGrdName=Maps/out.grd\n", 0, Settings},
    {"clim.txt", "REGION;Month;PRES;TEMP_PAVG;TEMP_PSTD\n1;1;0;7.85;1.5\n1;1;10.5;7.7;1.25\nM44N008E;2;0;13.7;1.5\n", 2,
     Climatology},
    {"c.bln", "4 0\n30.5 -14.25\n30.5 42\n50 42\n50 -14.25\n3 1\n40 10\n41.5 10\n40 11 (a hole)\n", 2, Contour},
    {"out.grd", "DSAA\n4 3\n10.5 13.5\n40 42\n-300.5 50\n-100.25 -200 -300 -250\n-50 -60 -70 -80\n10 20 30 50.5\n",
     3, Grid},
    {"map.bln", "4\n4 12\n10.5 35\n20 35\n20 45.5\n10.5 45.5\n", 3, Map},
};

std::string Replace(std::string S, const std::string &From, const std::string &To)
{
    for (size_t At = 0; (At = S.find(From, At)) != std::string::npos; At += To.size())
        S.replace(At, From.size(), To);
    return S;
}

const std::pair<const char *, std::function<std::string(const std::string &)>> Variants[] = {
    {"crlf", [](const std::string &S) { return Replace(S, "\n", "\r\n"); }},
    {"bom", [](const std::string &S) { return std::string("\xEF\xBB\xBF").append(S); }},
    {"tabs", [](const std::string &S) { return Replace(Replace(S, " ", "\t"), ";", "\t"); }},
    {"trailing blanks", [](const std::string &S) { return Replace(S, "\n", " \t \n"); }},
    {"blank lines", [](const std::string &S) { return Replace(S, "\n", "\n \n"); }},
    {"no final newline", [](const std::string &S) { return S.substr(0, S.size() - 1); }},
    {"decimal commas", [](const std::string &S) { return std::regex_replace(S, std::regex("(\\d)\\.(\\d)"), "$1,$2"); }},
    {"empty", [](const std::string &) { return std::string(); }},
    {"long line", [](const std::string &S) { return Replace(S, "\n", "\n" + std::string(100000, ' ')); }},
};

TEST(OperatorFiles, EachIsReadAsTheGoodFileOrRefusedNamingTheFileAndTheLine)
{
    const fs::path Dir = fs::temp_directory_path() / ("operator_files_" + std::to_string(::getpid()));
    const std::string Program = std::getenv("MARLIN_PROGRAM_DIR");
    TRealRectArr Squares;
    LoadSquares(Program + "/Cfg/QuadrHMS.txt", BsSquareNames, Squares);
    LoadSquares(Program + "/Cfg/QuadrMedClim.txt", MsSquareNames, Squares);
    Def = Program + "/SoftDB/worktables.def";
    fs::create_directories(Dir / "params");
    fs::copy_file(Def, Dir / "params/worktables.def");
    TTable Params;
    Params.SetDatabaseName((Dir / "params/").string());
    Params.SetTableName("param");
    Params.Open();
    RangeQry = &Params;
    Dlg = std::make_unique<TfmClimatDlg>(nullptr, Dir.string());
    BuildMapColors();
    ZoomStack = {MakeWorldRect(8, 30, 24, 50)};
    ZoomIndex = 0;
    MapScreenRect = Rect(10, 10, 190, 110);
    TScriptedDialogs Dialogs;
    const auto Read = [&](const TKind &K, const std::string &Row, const std::string &Text) {
        fs::create_directories(Dir / Row);
        const std::string Path = (Dir / Row / K.File).string();
        std::ofstream(Path, std::ios::binary) << Text;
        Dialogs.Messages.clear();
        std::string D = K.Read(Path);
        for (const std::string &T : Dialogs.Texts())
            D += "\n" + T;
        return std::make_pair(Path, D);
    };
    for (const TKind &K : Kinds) {
        const std::string Good = Read(K, K.File, K.Good).second;
        EXPECT_EQ(Good.find('\n'), std::string::npos) << K.File << " says: " << Good;
        for (const auto &[Name, Make] : Variants) {
            const auto [Path, Got] = Read(K, std::string(K.File) + " " + Name, Make(K.Good));
            const std::string_view V = Name;
            const int Line = V == "empty" ? 1 : V == "decimal commas" ? K.CommaLine : 0;
            if (V == "empty" && K.Read == Climatology) {
                EXPECT_EQ(Got, "\nWrong File Format");
            } else if (Line && K.Read != Settings) { // an empty settings file is a first start
                EXPECT_NE(Got.find(Path + ", line " + std::to_string(Line)), std::string::npos)
                    << K.File << ", " << Name << ": " << Got;
            } else if (V != "empty") {
                EXPECT_EQ(Got, Good) << K.File << ", " << Name;
            }
        }
    }
    Dlg.reset();
    RangeQry = nullptr;
    Params.Close();
    TLocalDatabase::CloseAll();
    fs::remove_all(Dir);
}

} // namespace
