// uQCMain_Close: what closing the main window saves and cleans up: the
// threshold positions ("updowns.txt"), the map, climatology and grid
// choices of the settings file, the connection, the local table engine and
// its private folder.
#include "app/uQCMain.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "platform/localdb/TLocalDataSet.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/IniFiles.h"
#include "platform/toolkit/TDialogs.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSpinBox>

#include <functional>

void TForm1::CloseLocalDataSets()
{
    for (int I = 0; I < Components->ComponentCount(); ++I)
        if (auto *Local = dynamic_cast<TLocalDataSet *>(Components->Components(I)))
            Local->Close();
    TDataSet *const Shared[] = {LocalWorkQry, TmpCastFlagsTbl, TmpCastOldFlagsTbl, TmpFlagsTbl,
                                TmpDataQry,   ParamTbl,        UndoCastTbl,        UndoParamTbl,
                                TsFlagsStructTbl, ChemFlagsStructTbl, FlagCastQry, FlagLevelQry};
    for (TDataSet *Local : Shared)
        if (Local)
            Local->Close();
    for (TTable *Chem : ChemFlagTbls)
        if (Chem)
            Chem->Close();
}

void TForm1::FormClose()
{
    // A settings file that cannot be written (read-only, a full disk)
    // loses this session's settings, not the rest of the closing; the
    // operator is told once, when everything else is done, and also of a
    // file written in place.
    std::string NotKept, InPlace;
    const auto Keep = [&](const std::function<std::string()> &ASave) {
        try {
            const std::string Note = ASave();
            InPlace += Note.empty() ? "" : "\n" + Note;
        } catch (const std::exception &E) {
            NotKept += std::string("\n") + E.what();
        }
    };
    // UpDown6 and UpDown7 are not kept from one start to the next.
    if (FThresholdsTaken)
        Keep([this] {
            rtl::TStringList Positions;
            for (QSpinBox *UpDown : {UpDown1, UpDown2, UpDown3, UpDown4, UpDown5})
                Positions.Add(std::to_string(UpDown->value()));
            return Positions.SaveToFile(CfgDir + "updowns.txt");
        });
    if (rtl::TIniFile *Ini = MainIni())
        Keep([this, Ini] {
            TFileSettings Now = FFilesAtStart;
            // A contour the reader refused is not offered to the next start.
            if (LocationRefusal.empty()) {
                Now.Contour = ExtraLinesFile;
                Now.SwapColumns = SwapCoordColumns;
            }
            Now.ClimFolder = ClimSearchPath;
            Now.Grid = GridFileName;
            return KeepFileSettings(Ini->FileName(), Now, FFilesAtStart);
        });

    try {
        ZqConnection1->SetConnected(false);
    } catch (const std::exception &) {
        // The program ends either way.
    }

    // The session closes only with every local table and query closed.
    CloseLocalDataSets();
    Session.Close();

    const QString Temp = QString::fromStdString(ProgramDir + "temp");
    FileListBox2->clear();
    const QStringList Files = QDir(Temp).entryList(QDir::Files | QDir::Hidden | QDir::System);
    FileListBox2->addItems(Files);
    for (const QString &Name : Files)
        QFile::remove(Temp + QLatin1Char('/') + Name); // one that cannot go stays

    const std::string Said =
        (NotKept.empty() ? "" : "\nNot all settings of this session were kept for the next start:" + NotKept) + InPlace;
    if (!Said.empty())
        MessageDlg(Said.substr(1), mtWarning, mbOK);
}
