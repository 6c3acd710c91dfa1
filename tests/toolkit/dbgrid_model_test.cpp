// The data-aware grid's model over a dataset, offscreen: it shows the
// records, paints without moving the cursor, and edits through the dataset.
#include <QTableView>
#include <gtest/gtest.h>

#include "platform/dataset/TDataSource.h"
#include "platform/toolkit/TDBGridModel.h"
#include "platform/toolkit/TDialogs.h"
// The dataset model's test dataset; this suite's sources are its own folder
// only, so the fixture's implementation comes in here.
#include "tests/support/ArrayDataSet.h"

namespace {

class DBGridModel : public ::testing::Test {
protected:
    DBGridModel()
        : DS({{"ID_Cast", rtl::ftInteger, 0}, {"PRES", rtl::ftFloat, 0}, {"Hidden", rtl::ftInteger, 0},
              {"Name", rtl::ftString, 8}})
    {
        for (int I = 0; I < 6; ++I)
            DS.AddRow({4711 + I, 2.5 * I, I, "St" + std::to_string(I)});
        Src.SetDataSet(&DS);
        DS.Open();
        DS.FieldByName("Hidden")->SetVisible(false);
        static_cast<TFloatField *>(DS.FieldByName("PRES"))->SetDisplayFormat("0.00");
        DS.FieldByName("PRES")->SetDisplayLabel("Pressure");
        Model.SetDataSource(&Src);
        DS.AfterScroll = [this](TDataSet *) { ++Scrolls; };
        DS.AfterPost = [this](TDataSet *) { ++Posts; };
    }
    QString Cell(int R, int C, int Role = Qt::DisplayRole)
    {
        return Model.data(Model.index(R, C), Role).toString();
    }
    TArrayDataSet DS;
    TDataSource Src;
    TDBGridModel Model;
    TScriptedDialogs Script;
    int Scrolls = 0, Posts = 0;
};

} // namespace

TEST_F(DBGridModel, ShowsVisibleFieldsOfEveryRecord)
{
    EXPECT_EQ(Model.rowCount(), 6);
    ASSERT_EQ(Model.columnCount(), 3);
    EXPECT_EQ(Model.headerData(1, Qt::Horizontal).toString(), "Pressure");
    EXPECT_EQ(Model.headerData(2, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(Cell(0, 0), "4711");
    EXPECT_EQ(Cell(3, 1), "7.50");
    EXPECT_EQ(Cell(3, 1, Qt::EditRole), "7.50");
    EXPECT_EQ(Cell(5, 2), "St5");
    EXPECT_EQ(Model.CurrentRow(), 0);
    // Linked again while the cursor stands further down: still every record.
    Src.SetDataSet(nullptr);
    DS.MoveBy(3);
    Src.SetDataSet(&DS);
    EXPECT_EQ(Model.rowCount(), 6);
    EXPECT_EQ(Cell(0, 0), "4711");
    EXPECT_EQ(Model.CurrentRow(), 3);
}

TEST_F(DBGridModel, PaintingMovesNoCursor)
{
    DS.Next();
    DS.Next();
    Scrolls = 0;
    QTableView View;
    View.setModel(&Model);
    View.resize(400, 300);
    View.grab(); // paints every visible cell
    for (int R = 0; R < Model.rowCount(); ++R)
        for (int C = 0; C < Model.columnCount(); ++C)
            Cell(R, C);
    EXPECT_EQ(Scrolls, 0);
    EXPECT_EQ(DS.RecNo(), 3);
    EXPECT_EQ(DS.FieldByName("Name")->AsString(), "St2");
    EXPECT_EQ(Model.CurrentRow(), 2);
}

TEST_F(DBGridModel, EditsAndPostsThroughTheDataSet)
{
    EXPECT_TRUE(Model.flags(Model.index(1, 2)) & Qt::ItemIsEditable);
    EXPECT_TRUE(Model.setData(Model.index(4, 2), "Renamed"));
    EXPECT_EQ(Posts, 1);
    EXPECT_EQ(DS.State(), dsBrowse);
    EXPECT_EQ(DS.RecNo(), 5);
    EXPECT_EQ(Cell(4, 2), "Renamed");
    // A cell left with the text it showed writes nothing, rounded or not.
    EXPECT_TRUE(Model.setData(Model.index(1, 1), "2.50"));
    EXPECT_EQ(Posts, 1);
    // The stored record changed, not just the grid.
    DS.Close();
    DS.Open();
    DS.SetRecNoValue(5);
    EXPECT_EQ(DS.FieldByName("Name")->AsString(), "Renamed");
    // A text the field refuses leaves the record as it was.
    EXPECT_FALSE(Model.setData(Model.index(0, 1), "abc"));
    EXPECT_EQ(Script.Texts(), std::vector<std::string>{Model.LastError().toStdString()});
    EXPECT_EQ(DS.State(), dsBrowse);
    EXPECT_EQ(Cell(0, 1), "0"); // fields made afresh at the reopen have no display format
    // Each move of the dataset, by any road, and its data source leaving it
    // first have the view write its open cell editor; the model's own write
    // is no move. A write refused stops the move, and the source stays.
    int Asked = 0;
    bool Refuse = false;
    Model.SetCommitOpenEditor([&] { return ++Asked, !Refuse; });
    DS.Next();
    DS.SetRecNoValue(5);
    DS.First();
    EXPECT_TRUE(Model.setData(Model.index(0, 3), "Again")); // Hidden shows again after the reopen
    Refuse = true;
    EXPECT_THROW(DS.Next(), rtl::EAbort);
    EXPECT_THROW(Src.SetDataSet(nullptr), rtl::EAbort);
    EXPECT_EQ(DS.RecNo(), 1);
    EXPECT_EQ(Src.DataSet(), &DS);
    Refuse = false;
    Src.SetDataSet(nullptr);
    EXPECT_EQ(Asked, 6);
}

TEST_F(DBGridModel, FollowsInsertsDeletesAndClose)
{
    DS.Last();
    DS.Append();
    DS.FieldByName("ID_Cast")->SetAsInteger(9999);
    DS.Post();
    EXPECT_EQ(Model.rowCount(), 7);
    EXPECT_EQ(Cell(6, 0), "9999");
    DS.First();
    DS.Delete();
    EXPECT_EQ(Model.rowCount(), 6);
    EXPECT_EQ(Cell(0, 0), "4712");
    DS.Close();
    EXPECT_EQ(Model.rowCount(), 0);
    EXPECT_EQ(Model.columnCount(), 0);
}
