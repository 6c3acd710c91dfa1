// marlin_stageclim: loads the installation's climatology files into the
// "MS_" and "BS_" tables of a program folder's work folder, through the
// program's own loader, so that a first QC run finds climatology.
//
//   marlin_stageclim PROGRAM_DIR
//
// Reads Cfg/QuadrHMS.txt and Cfg/QuadrMedClim.txt (the squares that tell
// the seas apart) and every Clim/*.txt; tables of the same parameters are
// made afresh. Messages go to standard error; the exit status is 1 when
// a file could not be read or loaded.
#include "app/UQC.h"
#include "app/manual/map.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TDialogs.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace {

// Every message of the loader is printed; nothing waits for an answer.
class TConsoleDialogs : public IDialogSeam {
public:
    int Message(const TMessageRequest &Request) override
    {
        std::cerr << "marlin_stageclim: " << Request.Text << "\n";
        if (Request.Text.find("already loaded") == std::string::npos)
            Failed = true;
        return mrOk;
    }
    int RunModal(TForm &) override { return mrCancel; }
    bool Failed = false;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: marlin_stageclim PROGRAM_DIR\n";
        return 2;
    }
    namespace fs = std::filesystem;
    const std::string Dir = fs::path(argv[1]).string() + "/";
    TConsoleDialogs Seam;
    SetDialogSeam(&Seam);
    try {
        LoadSquares(Dir + "Cfg/QuadrHMS.txt", BsSquareNames, BsSquares);
        LoadSquares(Dir + "Cfg/QuadrMedClim.txt", MsSquareNames, MsSquares);
        std::vector<fs::path> Files;
        for (const fs::directory_entry &E : fs::directory_iterator(Dir + "Clim"))
            if (E.path().extension() == ".txt")
                Files.push_back(E.path());
        std::sort(Files.begin(), Files.end());
        const std::string WorkDir = Dir + "SoftDB/";
        TTable StructTbl, ClimMSTbl, ClimBSTbl;
        for (const fs::path &F : Files) {
            TClimImport Import;
            std::string Error;
            if (!ReadClimatologyFile(F.string(), Import, Error)) {
                std::cerr << "marlin_stageclim: " << F.string() << ": " << Error << "\n";
                return 1;
            }
            // The installation's tables follow its files: a changed file is
            // loaded afresh.
            for (const std::string &Item : Import.Params.Items) {
                const std::string P = Item.substr(0, Item.find('('));
                for (const char *Sea : {"MS_", "BS_"}) {
                    if (!(Sea[0] == 'M' ? Import.HasMs : Import.HasBs))
                        continue;
                    TTable Old;
                    Old.SetDatabaseName(WorkDir);
                    Old.SetTableName(Sea + P);
                    if (Old.Exists())
                        Old.DeleteTable();
                }
            }
            const int Rows = LoadClimatology(Import, StructTbl, ClimMSTbl, ClimBSTbl, WorkDir);
            std::cout << F.filename().string() << ": " << Rows << " rows loaded\n";
        }
    } catch (const std::exception &E) {
        std::cerr << "marlin_stageclim: " << E.what() << "\n";
        return 1;
    }
    return Seam.Failed ? 1 : 0;
}
