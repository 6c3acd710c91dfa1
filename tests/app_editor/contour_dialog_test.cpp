// The contour dialog over the shipped contour file and small files of known
// shape: the in/out read-out under the mouse, the column swap, and a bad
// file reported once.
#include "app/manual/uContDlg.h"

#include "app/Globals.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TPaintBox.h"
#include "tests/app_editor/editor_test_util.h"
#include "tests/app_support/AppTestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <fstream>

using namespace editortest;

namespace {

// 15 pixels a degree over longitude -14..42 and latitude 30..50, north up:
// x = 15 (lon + 14) + 1, y = 301 - 15 (lat - 30).
TPoint Pixel(double Lon, double Lat)
{
    return Point(int(15 * (Lon + 14) + 1 + 0.5), int(301 - 15 * (Lat - 30) + 0.5));
}

class ContourDialog : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    TScriptedDialogs Script;

    void SetUp() override
    {
        MapInvertX = false;
        MapInvertY = true;
        SwapCoordColumns = false;
    }
    std::string Write(const std::string &Name, const std::string &Text)
    {
        const std::string Path = Dir.path().toStdString() + "/" + Name;
        std::ofstream(Path) << Text;
        return Path;
    }
    static std::string Under(TfmContDlg &D, TPoint P)
    {
        MoveTo(D.PaintBox1, P.X, P.Y);
        return D.Label1->text().toStdString();
    }
};

TEST_F(ContourDialog, ShippedContourTellsSeaFromLand)
{
    ContourFileName = apptest::ProgramFolder() + "QCCont/ALL_.bln";
    TfmContDlg D;
    D.PaintBox1->Repaint();
    EXPECT_TRUE(Script.Messages.empty());
    EXPECT_EQ(Under(D, Pixel(18, 34)), "In region");      // Ionian Sea
    EXPECT_EQ(Under(D, Pixel(33, 43)), "In region");      // Black Sea
    EXPECT_EQ(Under(D, Pixel(3, 45)), "Out of region");   // France, a hole of the file
    EXPECT_EQ(Under(D, Pixel(35, 39)), "Out of region");  // Anatolia
    // The outline of the view's rectangle is drawn along the box's edges.
    EXPECT_EQ(D.PaintBox1->Canvas().Pixel(400, 1), clBlack);
    D.show();
    apptest::SaveScreenshot(D, "contour_dialog");
}

TEST_F(ContourDialog, AHoleIsOutAndAHeaderWithoutKindIsAnArea)
{
    // Area 0..20 E, 35..45 N (no kind on its header); hole 5..10 E, 38..42 N.
    ContourFileName = Write("c.bln", "4\n35 0\n35 20\n45 20\n45 0\n4 1\n38 5\n38 10\n42 10\n42 5\n");
    TfmContDlg D;
    D.PaintBox1->Repaint();
    EXPECT_EQ(Under(D, Pixel(15, 40)), "In region");
    EXPECT_EQ(Under(D, Pixel(7, 40)), "Out of region");
    EXPECT_EQ(Under(D, Pixel(30, 40)), "Out of region");
}

TEST_F(ContourDialog, HolesWithoutAnAreaAreRefusedAndGiveAnEmptyRegion)
{
    ContourFileName = Write("h.bln", "4 1\n35 0\n35 20\n45 20\n45 0\n");
    TfmContDlg D;
    D.PaintBox1->Repaint();
    EXPECT_EQ(Under(D, Pixel(10, 40)), "Out of region");
    EXPECT_EQ(Under(D, Pixel(30, 33)), "Out of region");
    EXPECT_EQ(Script.Texts(), std::vector<std::string>{ContourFileName + ", line 1: no polygon encloses an area"});
}

TEST_F(ContourDialog, ChangeColoumnsDrawsALongitudeFirstFileAsTheLatitudeFirstOne)
{
    const std::string LatFirst = Write("lat.bln", "3\n35 0\n45 10\n35 20\n");
    const std::string LonFirst = Write("lon.bln", "3\n0 35\n10 45\n20 35\n");
    ContourFileName = LatFirst;
    TfmContDlg A;
    A.PaintBox1->Repaint();
    const QImage Expected = A.PaintBox1->Bitmap().Image().copy();
    EXPECT_EQ(Under(A, Pixel(10, 38)), "In region");

    ContourFileName = LonFirst;
    TfmContDlg B;
    B.PaintBox1->Repaint();
    EXPECT_NE(B.PaintBox1->Bitmap().Image(), Expected);
    B.Button1->click();
    EXPECT_TRUE(SwapCoordColumns);
    EXPECT_EQ(B.PaintBox1->Bitmap().Image(), Expected);
    EXPECT_EQ(Under(B, Pixel(10, 38)), "In region");
    B.Button1->click();
    EXPECT_FALSE(SwapCoordColumns);
    EXPECT_NE(B.PaintBox1->Bitmap().Image(), Expected);
}

TEST_F(ContourDialog, TheColumnOrderOutlivesTheDialog)
{
    ContourFileName = Write("x.bln", "3\n35 0\n45 10\n35 20\n");
    {
        TfmContDlg D;
        D.Button1->click();
    }
    EXPECT_TRUE(SwapCoordColumns);
}

TEST_F(ContourDialog, ABadFileIsReportedOnceAndGivesAnEmptyRegion)
{
    ContourFileName = Write("bad.bln", "4\n35 0\n35 x\n");
    TfmContDlg D;
    for (int i = 0; i < 3; ++i)
        D.PaintBox1->Repaint();
    ASSERT_EQ(Script.Messages.size(), 1u);
    EXPECT_EQ(Script.Messages[0].Icon, mtError);
    EXPECT_EQ(Under(D, Pixel(10, 40)), "Out of region");
    // Fixed on disk, the file is read again.
    Write("bad.bln", "4\n35 0\n35 20\n45 20\n45 0\n");
    std::filesystem::last_write_time(ContourFileName, std::filesystem::file_time_type::clock::now() +
                                                          std::chrono::seconds(2));
    D.PaintBox1->Repaint();
    EXPECT_EQ(Under(D, Pixel(10, 40)), "In region");
    EXPECT_EQ(Script.Messages.size(), 1u);
}

TEST_F(ContourDialog, OKAndCancelSetTheModalResult)
{
    ContourFileName = Write("ok.bln", "3\n35 0\n45 10\n35 20\n");
    TfmContDlg D;
    Script.ModalHandlers.push_back([](TForm &F) {
        static_cast<TfmContDlg &>(F).BitBtn1->click();
        return F.ModalResult();
    });
    EXPECT_EQ(D.ShowModal(), mrOk);
}

} // namespace
