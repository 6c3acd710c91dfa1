// The main-window fixture.
#include "tests/app_support/main_fixture.h"

#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"

namespace maintest {

void MainWindow::SetUp()
{
    Install = std::make_unique<apptest::TTestInstallation>();
    Dialogs = std::make_unique<TScriptedDialogs>();
}

void MainWindow::TearDown()
{
    Stop();
    Dialogs.reset();
    Install.reset();
}

bool MainWindow::Start()
{
    Stop();
    Form = std::make_unique<TForm1>();
    return Form->FormCreate();
}

void MainWindow::Stop() { Form.reset(); }

std::vector<std::string> MainWindow::WorkRows(const std::string &ATable, const std::vector<std::string> &AFields)
{
    TTable Table(nullptr);
    Table.SetDatabaseName(Install->Dir() + "SoftDB/");
    Table.SetTableName(ATable);
    Table.Open();
    std::vector<std::string> Rows;
    for (Table.First(); !Table.Eof(); Table.Next()) {
        std::string Row;
        for (size_t I = 0; I < AFields.size(); ++I)
            Row += (I ? "|" : "") + Table.FieldByName(AFields[I])->AsString();
        Rows.push_back(Row);
    }
    Table.Close();
    return Rows;
}

} // namespace maintest
