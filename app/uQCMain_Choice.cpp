// uQCMain_Choice: the custom cruise choice of the wizard's step 1 (tab
// "SELECT CRUISE"): the local table Cruises and the country list built at
// start and after a change of database, the cascading country -> ship ->
// cruise lists, the cruise-name search and the list buttons.
#include "app/uQCMain.h"

#include "app/CruiseChoice.h"
#include "app/Globals.h"
#include "app/UQC.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTabWidget>

namespace {

TCruiseChoiceLists ChoiceListsOf(TForm1 &AForm)
{
    return {AForm.CountryCodes, AForm.ShipNames,       AForm.ShipCodes, AForm.ShipCountryCodes,
            AForm.CruiseMars,   AForm.CruiseNames,     AForm.CruiseShipCodes, AForm.CruiseIds,
            AForm.CruiseCountryCodes};
}

QString Counted(int ACount, const char *AWhat)
{
    return QString::number(ACount) + QString::fromLatin1(AWhat);
}

} // namespace

void TForm1::ClearCruiseChoice()
{
    for (TCheckListBox *List : {CheckListBox6, CheckListBox7, CheckListBox1, CheckListBox5})
        List->Clear();
    for (QLabel *Count : {Label19, Label20, Label21})
        Count->clear();
}

void TForm1::BuildCruiseLists()
{
    // Every list of the choice is the database's now open, also after a
    // change of database: a ship or cruise of the one before would be
    // offered, and recorded, under its old name.
    ClearCruiseChoice();
    TCruiseChoiceLists Lists = ChoiceListsOf(*this);
    BuildCruiseChoiceData(*WorkQry, *ZqCruQuery, *TmpCruTbl, LocalDbDir, MainDbSqlName, *CheckListBox6, Lists,
                          FCruiseRowNotes);
    // The search text stays; its results are those of this database.
    std::string Text = Edit4->text().toStdString();
    SearchCruises(*ZqQuery1, CruiseSearchPattern(Text, CheckBox9->isChecked()), *CheckListBox5);
    BindEngine();
}

void TForm1::CheckListBox6Click()
{
    THourglass Wait;
    const int Ships = FillShipList(*CheckListBox6, *CheckListBox7, CheckBox6->isChecked(), ChoiceListsOf(*this));
    CheckListBox7Click();
    if (Ships > 0)
        Label20->setText(Counted(Ships, " ships were loaded"));
}

void TForm1::CheckListBox7Click()
{
    THourglass Wait;
    Gauge3->setVisible(true);
    const int Cruises = FillCruiseList(*CheckListBox7, *CheckListBox1, CheckBox7->isChecked(), ChoiceListsOf(*this),
                                       [this](int APercent) { Gauge3->setValue(APercent); });
    Label21->setText(Counted(Cruises, " cruises were loaded"));
    // The ticks of the cruise list decide NEXT in the custom mode.
    CheckListBox1Click();
}

void TForm1::CheckBox6Click()
{
    CheckListBox6Click();
}

void TForm1::CheckBox7Click()
{
    CheckListBox7Click();
}

void TForm1::Pagecontrol1Change()
{
    if (Pagecontrol1->currentWidget() != TabSheet2)
        return;
    Label19->setText(Counted(CheckListBox6->Count(), " countries were loaded"));
    Label20->clear();
    Label21->clear();
}

void TForm1::Edit4Change()
{
    THourglass Wait;
    std::string Text = Edit4->text().toStdString();
    if (Text.empty()) {
        CheckListBox5->Clear();
        CheckListBox5Click();
        return;
    }
    const std::string Typed = Text;
    int Caret = -1;
    const std::string Pattern = CruiseSearchPattern(Text, CheckBox9->isChecked(), &Caret);
    if (Text != Typed) {
        // The text is corrected in place; the search below is the one for it.
        // The caret counts characters of the box, the pattern's rule bytes.
        const QSignalBlocker Quiet(Edit4);
        const int Keep = Edit4->cursorPosition();
        const QString Shown = QString::fromStdString(Text);
        Edit4->setText(Shown);
        Edit4->setCursorPosition(Caret >= 0 ? int(QString::fromStdString(Text.substr(0, Caret)).size())
                                            : std::min(Keep, int(Shown.size())));
    }
    SearchCruises(*ZqQuery1, Pattern, *CheckListBox5);
    CheckListBox5Click();
}

void TForm1::CheckBox9Click()
{
    QString Text = Edit4->text();
    if (Text.isEmpty())
        return;
    if (CheckBox9->isChecked() && !Text.endsWith(QLatin1Char('*')))
        Text += QLatin1Char('*');
    else if (!CheckBox9->isChecked() && Text.endsWith(QLatin1Char('*')))
        Text.chop(1);
    else
        return;
    {
        const QSignalBlocker Quiet(Edit4);
        Edit4->setText(Text);
    }
    Edit4Change();
}
