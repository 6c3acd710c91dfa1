// The report window over the per-database cruise table and the two floating
// windows that borrow panels of other windows and give them back.
#include "tests/app_wizard/wizard_fixture.h"
#include "tests/app_support/AppTestSupport.h"

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/uProfile.h"
#include "app/uQCSettings.h"
#include "app/uReport.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/Classes.h"
#include "platform/toolkit/TDBGridModel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

using namespace wizardtest;

namespace {

class ReportWindow : public WizardDb {
protected:
    void SetUp() override
    {
        WizardDb::SetUp();
        TTable Struct;
        Struct.SetDatabaseName(WorkDir);
        Struct.SetTableName("QCCruise");
        Struct.Open();
        QcCruTbl.SetDatabaseName(WorkDir);
        QcCruTbl.SetTableName("station-QCCruise");
        QcCruTbl.FieldDefs().Assign(Struct.FieldDefs());
        QcCruTbl.CreateTable();
        QcCruTbl.AddIndex("", "ID_Cruise", ixPrimary);
        QcCruTbl.Open();
        for (int Id = 1; Id <= 2; ++Id) {
            QcCruTbl.Append();
            QcCruTbl.FieldByName("ID_Cruise")->SetAsInteger(Id);
            QcCruTbl.FieldByName("MAR")->SetAsString("TR199100" + std::to_string(Id));
            QcCruTbl.FieldByName("Cruise_Name")->SetAsString("BS91_BI0" + std::to_string(Id));
            QcCruTbl.FieldByName("ChLocation")->SetAsBoolean(Id == 2);
            QcCruTbl.FieldByName("Location")->SetAsBoolean(false);
            QcCruTbl.Post();
        }
        QcCruTbl.First();
    }
    void TearDown() override
    {
        QcCruTbl.Close();
        WizardDb::TearDown();
    }
    TTable QcCruTbl;
};

int ColumnOf(const TDBGridModel &AModel, const QString &ACaption)
{
    for (int C = 0; C < AModel.columnCount(); ++C)
        if (AModel.headerData(C, Qt::Horizontal).toString() == ACaption)
            return C;
    return -1;
}

TEST_F(ReportWindow, CaptionsAndHiddenCruiseId)
{
    TfmReport Report(nullptr, &QcCruTbl);
    EXPECT_EQ(Report.windowTitle(), QStringLiteral("Quality Check Report"));
    const TDBGridModel &M = *Report.GridModel;
    ASSERT_EQ(M.columnCount(), 14);
    ASSERT_EQ(M.rowCount(), 2);
    const char *Expected[] = {"MARIS CRUISE ID", "Cruise Name", "Checked on duplicates ", "Checked on location",
                              "Checked on velosity", "Checked on depth", "Climatic Data Control", "Spike Data Control",
                              "Duplicates", "Location Errors", "Velosity Errors", "Depth Errors", "Data errors",
                              "Spikes"};
    for (int C = 0; C < 14; ++C)
        EXPECT_EQ(M.headerData(C, Qt::Horizontal).toString().toStdString(), Expected[C]) << C;
    EXPECT_EQ(M.data(M.index(1, 1)).toString(), QStringLiteral("BS91_BI02"));
    Report.resize(1100, 200);
    Report.show();
    apptest::SaveScreenshot(Report, "report_window");
}

TEST_F(ReportWindow, BooleansDrawnAsTheirBitmaps)
{
    TfmReport Report(nullptr, &QcCruTbl);
    const TDBGridModel &M = *Report.GridModel;
    const int Col = ColumnOf(M, QStringLiteral("Checked on location"));
    ASSERT_GE(Col, 0);
    auto Drawn = [&](int ARow) {
        QImage Cell(40, 30, QImage::Format_RGB32);
        Cell.fill(Qt::red);
        QPainter P(&Cell);
        EXPECT_TRUE(Report.DBGrid1DrawDataCell(P, QRect(0, 0, 40, 30), M.index(ARow, Col)));
        P.end();
        return Cell.copy(1, 1, 16, 16);
    };
    const QImage False = Report.ReportCheckBmp.toImage().convertToFormat(QImage::Format_RGB32);
    const QImage True = Report.ReportCheck1Bmp.toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_NE(False, True);
    EXPECT_EQ(Drawn(0), False); // cruise 1: ChLocation false
    EXPECT_EQ(Drawn(1), True);
    // A text cell is left to the grid.
    QImage Any(10, 10, QImage::Format_RGB32);
    QPainter P(&Any);
    EXPECT_FALSE(Report.DBGrid1DrawDataCell(P, QRect(0, 0, 10, 10), M.index(0, ColumnOf(M, "Cruise Name"))));
}

TEST_F(ReportWindow, MissingBitmapFailsWithTheFileError)
{
    const std::string Saved = ImgsDir;
    ImgsDir = WorkDir;
    EXPECT_THROW(TfmReport(nullptr, &QcCruTbl), rtl::EFOpenError);
    ImgsDir = Saved;
}

TEST(HostWindows, SettingsPagesComeBackToTheirPlace)
{
    QWidget Main;
    auto *Row = new QHBoxLayout(&Main); // owned by Main
    auto *Left = new QPushButton(QStringLiteral("left"), &Main);
    auto *Pages = new QTabWidget(&Main);
    auto *Right = new QPushButton(QStringLiteral("right"), &Main);
    Row->addWidget(Left);
    Row->addWidget(Pages);
    Row->addWidget(Right);
    QcSettingsPages = Pages;
    {
        TfmQCSettings Settings;
        Settings.show();
        EXPECT_EQ(Pages->parentWidget(), &Settings);
        EXPECT_TRUE(Pages->isVisible());
        ASSERT_NE(Settings.findChild<QPushButton *>("BitBtn1"), nullptr);
        ASSERT_NE(Settings.findChild<QPushButton *>("BitBtn2"), nullptr);
        apptest::SaveScreenshot(Settings, "qc_settings_window");
        Settings.hide();
        EXPECT_EQ(Pages->parentWidget(), &Main);
        EXPECT_EQ(Row->indexOf(Pages), 1);
        // Shown again and freed while shown: the pages still survive.
        Settings.show();
        EXPECT_EQ(Pages->parentWidget(), &Settings);
    }
    QPointer<QTabWidget> Alive(Pages);
    ASSERT_TRUE(Alive);
    EXPECT_EQ(Pages->parentWidget(), &Main);
    EXPECT_EQ(Row->indexOf(Pages), 1);
    QcSettingsPages = nullptr;
}

TEST(HostWindows, ProfilePanelGoesBackAlignedRight)
{
    QWidget Editor;
    auto *Row = new QHBoxLayout(&Editor); // owned by Editor
    auto *Undock = new QPushButton(QStringLiteral("undock"), &Editor);
    Row->addWidget(Undock);
    auto *Plot = new QWidget(&Editor);
    Row->addWidget(Plot);
    ProfilePanel = &Editor;
    ProfilePanelWidth = 321;
    ProfileUndockButton = Undock;
    Undock->hide();
    QPointer<TfmProfile> Window = new TfmProfile(&Editor); // frees itself on close
    Row->removeWidget(Plot);
    Window->HostPanel(Plot);
    Window->show();
    EXPECT_EQ(Plot->parentWidget(), Window.data());
    Window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Window.isNull());
    EXPECT_EQ(Plot->parentWidget(), &Editor);
    EXPECT_EQ(Plot->width(), 321);
    EXPECT_EQ(Row->indexOf(Plot), Row->count() - 1);
    EXPECT_FALSE(Undock->isHidden());
    ProfilePanel = nullptr;
    ProfileUndockButton = nullptr;
}

} // namespace
