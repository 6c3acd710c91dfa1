// TfmContDlg: the preview of a contour polygon file before the location
// check uses it ("Set Contour for station location check"). It draws every
// polygon of the file in a fixed window (longitude -14 to 42, latitude 30 to
// 50), builds the region the check would build (areas less holes), says
// under the mouse whether a point is "In region" or "Out of region", and
// swaps the two coordinate columns of the file ("Change coloumns").
//
// The file is read and the region built once per file version and column
// order, not at every paint: a large contour file would otherwise be parsed
// again on every mouse-driven repaint, and a bad file would raise its error
// box again and again.
#pragma once

#include "app/manual/Recalcs.h"
#include "app/manual/map.h"
#include "platform/toolkit/TForm.h"
#include "platform/toolkit/TRegion.h"

#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TPaintBox;

// The contour file to show; the main window sets it before opening the dialog.
extern std::string ContourFileName;
// The fixed geographic window of the preview.
extern const TRealRect ContourWorldRect;

class TfmContDlg : public TForm {
public:
    explicit TfmContDlg(QWidget *AOwner = nullptr);

    TPaintBox *PaintBox1;
    QLabel *Label1;
    QPushButton *Button1;
    QPlainTextEdit *Memo1;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;

    void PaintBox1Paint();
    void PaintBox1MouseMove(int X, int Y);
    void Button1Click();

    // The region of the last paint (pixels of PaintBox1).
    const TRegion &ContourRegion() const { return FRegion; }

private:
    // Reads the file and builds outlines and region when the file, its
    // contents or the column order changed since the last build.
    void Rebuild();

    struct TPolygon {
        TPointArr Points;
        bool Hole = false;
    };
    std::vector<TPolygon> FPolygons;
    TRegion FRegion;
    std::string FBuiltFile;
    std::string FBuiltStampText;
    bool FBuiltSwap = false;
    int FBuiltWidth = -1;
    int FBuiltHeight = -1;
};
