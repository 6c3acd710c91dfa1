// The fixture of the editing sessions: the editor on the Black Sea station
// with TEMP shown (MANUAL QC unless asked otherwise), the station's stored
// pressures, a level or a station field changed in its grid's dataset or
// typed into a grid's cell editor as the operator types it, UNDO clicked as
// the operator clicks it, the run's level flags of the station, and readers
// of the station database, the level undo table and the run's flags.
#pragma once
#include "tests/app_editor/profile_fixture.h"
#include "tests/app_support/AppTestSupport.h"
#include "tests/support/LocalRows.h"

#include "app/Globals.h"
#include "app/WorkTables.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TDBGridModel.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include <map>
#include <string>
#include <vector>

namespace editortest {

class EditorEdit : public ProfileFixture {
protected:
    std::vector<std::string> Pres;
    void Open(bool Manual = true, const std::map<int, TRunFlags> &RunFlags = {})
    {
        for (const auto &R : Sql("select PRES from PTS_Data where ID_Cast=" + std::to_string(Station) +
                                 " order by PRES"))
            Pres.push_back(R[0]);
        PrepareRunFlags(BlackSeaCruise, RunFlags);
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
    // The editor as the active window: focus then moves as clicks move it.
    void Activate()
    {
        F->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(F));
    }
    // Types into a cell through the grid's own cell editor, Enter commits, Esc
    // cancels; the grid says nothing on the way, whatever the commit rebuilds.
    void TypeInto(TDBGrid *G, int Row, const char *Column, const std::string &Text, Qt::Key End = Qt::Key_Return)
    {
        static std::vector<std::string> *Said = nullptr;
        std::vector<std::string> Warnings;
        Said = &Warnings;
        const QtMessageHandler Before = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &Message) { Said->push_back(Message.toStdString()); });
        TypeIntoCell(G, Row, Column, Text, End);
        qInstallMessageHandler(Before);
        EXPECT_EQ(Warnings, std::vector<std::string>()) << Column;
    }
    void TypeIntoCell(TDBGrid *G, int Row, const char *Column, const std::string &Text, Qt::Key End)
    {
        G->setFocus();
        ASSERT_TRUE(G->SelectFieldByName(Column)) << Column;
        const QModelIndex Cell = G->Model().index(Row, G->currentIndex().column());
        G->setCurrentIndex(Cell);
        G->edit(Cell);
        QLineEdit *E = nullptr;
        for (QLineEdit *L : G->viewport()->findChildren<QLineEdit *>())
            if (L->isVisible())
                E = L;
        ASSERT_TRUE(E) << "no cell editor for " << Column;
        E->selectAll();
        QTest::keyClicks(E, QString::fromStdString(Text));
        if (End != Qt::Key_unknown) // unknown: the editor stays open
            QTest::keyClick(E, End);
        QCoreApplication::processEvents(); // the delegate commits on a queued call
    }
    // UNDO as the operator clicks it: the button takes the focus first.
    void ClickUndo()
    {
        F->BitBtn1->setFocus();
        F->BitBtn1->click();
    }
    // The station's row of the metadata grid (from 0), made current.
    int StationRow()
    {
        EXPECT_TRUE(F->tmpStatTbl->Locate("ID_Cast", rtl::Variant(Station)));
        return F->tmpStatTbl->RecNo() - 1;
    }
    // A field of the station as the metadata grid shows it, and as the
    // station database holds it.
    std::string StationShown(const char *Column)
    {
        StationRow();
        return F->tmpStatTbl->FieldByName(Column)->AsString();
    }
    std::string StationDb(const std::string &Column)
    {
        return Sql("select " + Column + " from Cast_Titles where ID_Cast=" + std::to_string(Station))[0][0];
    }
    // Changes a field of the station in the metadata grid's dataset, as an
    // edit in the grid posts it.
    void EditStation(const char *Column, const std::string &Text)
    {
        F->DBGrid1Enter(F->DBGrid1);
        ASSERT_TRUE(F->DBGrid1->SelectFieldByName(Column));
        StationRow();
        F->tmpStatTbl->Edit();
        F->tmpStatTbl->FieldByName(Column)->SetAsString(Text);
        F->tmpStatTbl->Post();
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
    // The run's level flags of the station in the flag table of level table
    // ATable ("PTS_Data" or a chemical parameter's own): 1 at every level
    // but Suspect (from 0), where they are 2.
    void LeaveRunFlagsOf(const std::string &ATable, size_t Suspect = size_t(-1))
    {
        TTable T(nullptr);
        if (ATable == "PTS_Data")
            MakeWorkTable(T, *StructTbl, WorkDir, LevelFlagTableSuffix(ATable) + ".db", "StructTsFlags", "ID_Cast;PRES");
        else
            MakeParamFlagTable(T, *StructTbl, WorkDir, ATable);
        const auto Levels = Sql("select PRES from " + ATable + " where ID_Cast=" + std::to_string(Station) +
                                " order by PRES");
        for (size_t Level = 0; Level < Levels.size(); ++Level) {
            T.Append();
            T.FieldByName("ID_Cast")->SetAsInteger(Station);
            T.FieldByName("PRES")->SetAsFloat(RoundPres(rtl::StrToFloat(Levels[Level][0])));
            for (int i = 2; i < T.FieldCount(); ++i)
                T.Fields()[i]->SetAsInteger(Level == Suspect ? 2 : 1);
            T.Post();
        }
        apptest::KeepProfilePrints(DbPath, WorkDir, ATable, "ID_Cast = " + std::to_string(Station));
    }
    // One column of that table, level by level.
    std::vector<std::string> RunFlags(const std::string &ATable, const std::string &AColumn)
    {
        return testsupport::LocalRows(WorkDir, "Select " + AColumn + " From \"" + LevelFlagTableName(ATable) +
                                                   "\" order by PRES");
    }
};

} // namespace editortest
