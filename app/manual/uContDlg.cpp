// The contour dialog: preview of a contour polygon file and its region.
#include "app/manual/uContDlg.h"

#include "app/Globals.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TPaintBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

std::string ContourFileName;
const TRealRect ContourWorldRect = {-14, 30, 42, 50};

namespace {

// 15 pixels a degree over the fixed window, plus the one-pixel offset of the
// drawing rectangle (1, 1, width, height).
constexpr int PreviewWidth = 56 * 15 + 1;
constexpr int PreviewHeight = 20 * 15 + 1;

std::string FileSignature(const std::string &Path)
{
    std::error_code E;
    const auto Time = std::filesystem::last_write_time(Path, E);
    if (E)
        return std::string();
    const auto Size = std::filesystem::file_size(Path, E);
    return std::to_string(Time.time_since_epoch().count()) + ":" + std::to_string(E ? 0 : Size);
}

} // namespace

TfmContDlg::TfmContDlg(QWidget *AOwner) : TForm(AOwner, "fmContDlg")
{
    setWindowTitle(QStringLiteral("Set Contour for station location check"));
    PaintBox1 = MakeControl<TPaintBox>(this, "PaintBox1");
    PaintBox1->setFixedSize(PreviewWidth, PreviewHeight);
    PaintBox1->Color = clWhite;
    Label1 = MakeControl<QLabel>(this, "Label1");
    Button1 = MakeControl<QPushButton>(this, "Button1", QStringLiteral("Change coloumns"));
    Memo1 = MakeControl<QPlainTextEdit>(this, "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setPlainText(QStringLiteral("if the first coloumn in your \n"
                                       "bk\\ln fail is longitude then \n"
                                       "Click \"Change Coloumns\"\n"
                                       "button please"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setFixedSize(230, 80);
    BitBtn1 = MakeControl<QPushButton>(this, "BitBtn1", QStringLiteral("OK"));
    BitBtn2 = MakeControl<QPushButton>(this, "BitBtn2", QStringLiteral("Cancel"));
    BitBtn1->setDefault(true);
    SetCancelButton(BitBtn2);

    auto *Side = new QVBoxLayout; // owned by the form's layout
    Side->addWidget(Label1);
    Side->addWidget(Button1);
    Side->addWidget(Memo1);
    Side->addStretch(1);
    Side->addWidget(BitBtn1);
    Side->addWidget(BitBtn2);
    auto *Main = new QHBoxLayout(this); // owned by the form
    Main->addWidget(PaintBox1);
    Main->addLayout(Side);

    PaintBox1->OnPaint = [this] { PaintBox1Paint(); };
    PaintBox1->OnMouseMove = [this](int X, int Y) { PaintBox1MouseMove(X, Y); };
    QObject::connect(Button1, &QPushButton::clicked, this, [this] { RunGuarded([this] { Button1Click(); }); });
    QObject::connect(BitBtn1, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
    QObject::connect(BitBtn2, &QPushButton::clicked, this, [this] { SetModalResult(mrCancel); });
    // The file is read and checked before anything is drawn: a bad line is
    // said here, once, and not from inside a paint.
    Rebuild();
    PaintBox1->Repaint();
}

void TfmContDlg::Rebuild()
{
    const std::string Stamp = FileSignature(ContourFileName);
    if (ContourFileName == FBuiltFile && Stamp == FBuiltStampText && SwapCoordColumns == FBuiltSwap &&
        PaintBox1->width() == FBuiltWidth && PaintBox1->height() == FBuiltHeight)
        return;
    FBuiltFile = ContourFileName;
    FBuiltStampText = Stamp;
    FBuiltSwap = SwapCoordColumns;
    FBuiltWidth = PaintBox1->width();
    FBuiltHeight = PaintBox1->height();
    FPolygons.clear();
    FRegion = TRegion();
    std::vector<TContourPolygon> File;
    try {
        File = ReadContourFile(ContourFileName, SwapCoordColumns);
    } catch (const EInOutError &E) {
        // Once per file version and column order: the next paint finds the
        // same signature and keeps the empty drawing without a new box. The
        // reader's message names the file and the line.
        MessageDlg(E.Message(), mtError, mbOK);
        return;
    }
    const TRect Screen{1, 1, PaintBox1->width(), PaintBox1->height()};
    std::vector<TPointArr> Areas, Holes;
    for (const TContourPolygon &P : File) {
        TPolygon Q;
        Q.Hole = P.Kind != 0;
        for (const TRealPoint &p : P.Points)
            Q.Points.push_back(WorldToScreen(p, ContourWorldRect, Screen, MapInvertX, MapInvertY));
        (Q.Hole ? Holes : Areas).push_back(Q.Points);
        FPolygons.push_back(std::move(Q));
    }
    FRegion = ContourRegionOf(Areas, Holes);
}

void TfmContDlg::PaintBox1Paint()
{
    Rebuild();
    TCanvas &C = PaintBox1->Canvas();
    C.Brush.Style = bsClear;
    C.Pen.Color = clBlack;
    C.Pen.Mode = pmCopy;
    C.Pen.Width = 1;
    for (const TPolygon &P : FPolygons)
        C.Polygon(P.Points);
    C.Brush.Style = bsSolid;
}

void TfmContDlg::PaintBox1MouseMove(int X, int Y)
{
    Label1->setText(FRegion.Contains(X, Y) ? QStringLiteral("In region") : QStringLiteral("Out of region"));
}

void TfmContDlg::Button1Click()
{
    SwapCoordColumns = !SwapCoordColumns;
    Rebuild();
    PaintBox1->Repaint();
}
