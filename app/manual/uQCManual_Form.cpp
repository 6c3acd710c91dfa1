// The manual QC editor's controls: making them, wiring them to their
// handlers, and laying them out from the screen size. Also the editor's
// data-aware grid.
#include "app/manual/uQCManual.h"

#include "app/manual/map.h"
#include "app/uWriteFlags.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TDBGridModel.h"
#include "platform/toolkit/TItemClick.h"
#include "platform/toolkit/TNumberEntry.h"
#include "platform/toolkit/TPaintBox.h"
#include "platform/toolkit/TTimer.h"
#include "platform/toolkit/TTreeView.h"

#include <QApplication>
#include <QGuiApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPalette>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace {

QString ColorName(TColor C)
{
    const TColor R = ColorToRGB(C);
    return QStringLiteral("#%1%2%3")
        .arg(GetRValue(R), 2, 16, QLatin1Char('0'))
        .arg(GetGValue(R), 2, 16, QLatin1Char('0'))
        .arg(GetBValue(R), 2, 16, QLatin1Char('0'));
}

QFrame *MakePanel(QWidget *Parent, const char *Name)
{
    QFrame *P = MakeControl<QFrame>(Parent, Name);
    P->setFrameShape(QFrame::Panel);
    P->setFrameShadow(QFrame::Raised);
    return P;
}

QToolButton *MakeSpeedButton(QWidget *Parent, const char *Name, const QString &Caption, bool Toggle,
                             const QString &Hint = QString())
{
    QToolButton *B = MakeControl<QToolButton>(Parent, Name);
    B->setText(Caption);
    B->setCheckable(Toggle);
    B->setToolTip(Hint.isEmpty() ? Caption : Hint);
    B->setAutoRaise(false);
    return B;
}

QGroupBox *MakeGroup(QWidget *Parent, const char *Name, const QString &Caption)
{
    QGroupBox *G = MakeControl<QGroupBox>(Parent, Name);
    G->setTitle(Caption);
    return G;
}

template <class T> T *MakeComponent(rtl::TComponent *Owner, const char *Name)
{
    T *C = new T(Owner); // owned by Owner, freed with it
    C->SetName(Name);
    return C;
}

int Nearest(double v) { return RoundPixel(v); }

// The grid's cell editors: in a number cell the keypad's decimal key types ".".
class TCellDelegate : public QStyledItemDelegate {
public:
    TCellDelegate(TDBGridModel &AModel, QObject *AParent) : QStyledItemDelegate(AParent), FModel(AModel) {}
    QWidget *createEditor(QWidget *Parent, const QStyleOptionViewItem &Option, const QModelIndex &Index) const override
    {
        QWidget *Editor = QStyledItemDelegate::createEditor(Parent, Option, Index);
        if (Editor && dynamic_cast<TNumericField *>(FModel.ColumnField(Index.column())))
            TypeKeypadDecimalPoint(*Editor);
        return Editor;
    }

private:
    TDBGridModel &FModel;
};

} // namespace

// ---- the data-aware grid ------------------------------------------------------

TDBGrid::TDBGrid(QWidget *Parent)
    : QTableView(Parent), FModel(new TDBGridModel(this)), FFixedColor(clBtnFace) // model owned by the view
{
    setModel(FModel);
    setItemDelegate(new TCellDelegate(*FModel, this)); // owned by the view
    // A move of the dataset by any road commits what the cell editor holds.
    FModel->SetCommitOpenEditor([this] { return CommitOpenEditor(); });
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    verticalHeader()->setDefaultSectionSize(18);
    QObject::connect(FModel, &QAbstractItemModel::modelReset, this, [this] {
        SizeColumns();
        FollowDataSet();
    });
    QObject::connect(FModel, &QAbstractItemModel::dataChanged, this, [this] { FollowDataSet(); });
    QObject::connect(FModel, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        ++FResets;
        if (currentIndex().isValid())
            if (TField *F = FModel->ColumnField(currentIndex().column()))
                FResetColumn = F->FieldName();
    });
    SetFixedColor(clBtnFace);
}

TDBGrid::TPlaceKeeper::TPlaceKeeper(TDBGrid &AGrid)
    : FGrid(AGrid), FOuter(AGrid.FKeepers++ == 0), FResets(AGrid.FResets), FTop(AGrid.verticalScrollBar()->value()),
      FLeft(AGrid.horizontalScrollBar()->value())
{
    if (!FOuter)
        return;
    if (TField *F = AGrid.currentIndex().isValid() ? AGrid.SelectedField() : nullptr)
        FColumn = F->FieldName();
    QWidget *W = QApplication::focusWidget();
    FFocus = W && (W == &AGrid || AGrid.isAncestorOf(W)) ? &AGrid : W;
}

TDBGrid::TPlaceKeeper::~TPlaceKeeper()
{
    --FGrid.FKeepers;
    if (!FOuter)
        return;
    RunGuarded([this] {
        // Rows not built again still show the place, and a cell editor
        // still open there stays.
        if (FGrid.FResets != FResets && FGrid.FModel->CurrentRow() >= 0 && FGrid.FModel->columnCount() > 0) {
            if (FColumn.empty() || !FGrid.SelectFieldByName(FColumn))
                FGrid.FollowDataSet();
            // The rows are laid out before the scroll bars take their old
            // values; the current cell is shown whatever they were.
            FGrid.doItemsLayout();
            FGrid.verticalScrollBar()->setValue(FTop);
            FGrid.horizontalScrollBar()->setValue(FLeft);
            FGrid.scrollTo(FGrid.currentIndex());
        }
        // A rebuild hides the cell's editor, and Qt hands its focus on to
        // the next control (the cruise list, where the next arrow key would
        // pick another cruise); a message box takes it too. Where it is
        // still, a cell editor keeps it.
        QWidget *W = QApplication::focusWidget();
        if (FFocus && FFocus->isEnabled() && FFocus->isVisible() && !(W && (W == FFocus || FFocus->isAncestorOf(W))))
            FFocus->setFocus();
    });
}

bool TDBGrid::CommitOpenEditor()
{
    // During the grid's own commit (what its post starts may move the
    // datasets) the editor is that commit's to end.
    if (FInCommit)
        return true;
    QWidget *Editor = state() == EditingState ? indexWidget(currentIndex()) : nullptr;
    if (!Editor)
        return true;
    commitData(Editor);
    closeEditor(Editor, QAbstractItemDelegate::NoHint);
    return !FRefused;
}

void TDBGrid::commitData(QWidget *Editor)
{
    // A message box shown by the commit takes the focus from the cell's
    // editor, which commits once more: that commit leaves the first one's
    // outcome as it is.
    if (FInCommit) {
        QTableView::commitData(Editor);
        return;
    }
    const QScopedValueRollback<bool> InCommit(FInCommit, true);
    const unsigned Resets = FResets, Refusals = FModel->Refusals();
    FRefused = FKeepTyped = false;
    // Whatever ends the typing (a key, the program, the focus gone
    // elsewhere), a text that cannot be stored for now goes back into the
    // cell.
    const auto *Line = qobject_cast<QLineEdit *>(Editor);
    FTyped = Line ? Line->text() : QString();
    if (Line && !FHeldText.isNull() && FTyped == FHeldText && OperatorGesture() == FHeldGesture) {
        // Refused by the lock a moment ago, in the same gesture: refused
        // again at once, the text kept.
        FRefused = FKeepTyped = true;
        FClosedEditor = nullptr;
        return;
    }
    FHeldText = QString();
    {
        const TPlaceKeeper Keep(*this);
        QTableView::commitData(Editor);
    }
    FRefused = FRefused || FModel->Refusals() != Refusals;
    FClosedEditor = FResets != Resets ? Editor : nullptr;
}

bool TDBGrid::AtEdge(bool Next) const
{
    const QModelIndex I = currentIndex();
    if (!I.isValid())
        return false;
    const bool RowEnd = Next ? I.column() == FModel->columnCount() - 1 : I.column() == 0;
    return RowEnd && (RowIsStation || I.row() == (Next ? FModel->rowCount() - 1 : 0));
}

void TDBGrid::LeaveGrid(bool Next)
{
    // The control before or after the grid in the window's tab order.
    QAbstractScrollArea::focusNextPrevChild(Next);
}

void TDBGrid::ReopenTyped()
{
    // An editor closed while a commit is under way (its message box took the
    // focus) is opened again by the close that ends the commit, after the
    // rows the commit may have read anew.
    if (FInCommit || !std::exchange(FKeepTyped, false) || !currentIndex().isValid())
        return;
    const QString Typed = std::exchange(FTyped, QString());
    if (Typed.isNull())
        return;
    edit(currentIndex());
    if (auto *Line = qobject_cast<QLineEdit *>(indexWidget(currentIndex())))
        Line->setText(Typed);
}

void TDBGrid::closeEditor(QWidget *Editor, QAbstractItemDelegate::EndEditHint Hint)
{
    struct TReopen {
        TDBGrid &Grid;
        ~TReopen() { Grid.ReopenTyped(); }
    } Reopen{*this};
    const bool Along = Hint == QAbstractItemDelegate::EditNextItem || Hint == QAbstractItemDelegate::EditPreviousItem;
    // A refused value stays where it was typed, for the operator to mend.
    if (FRefused && Along)
        Hint = QAbstractItemDelegate::NoHint;
    // Tab in the last cell (Shift+Tab in the first) leaves the grid instead
    // of going round to another station; Ctrl+Tab leaves it from any cell.
    const bool Next = Hint == QAbstractItemDelegate::EditNextItem;
    if (!FRefused && Along &&
        ((QGuiApplication::keyboardModifiers() & Qt::ControlModifier) || AtEdge(Next))) {
        if (Editor && Editor == FClosedEditor) {
            FClosedEditor = nullptr;
            QTableView::closeEditor(nullptr, QAbstractItemDelegate::NoHint);
        } else {
            QTableView::closeEditor(Editor, QAbstractItemDelegate::NoHint);
        }
        LeaveGrid(Next);
        return;
    }
    if (Editor && Editor == FClosedEditor) {
        // Gone with the rebuild: only the key's move is left, from the place
        // kept (Tab to the next cell).
        FClosedEditor = nullptr;
        QTableView::closeEditor(nullptr, Hint);
        return;
    }
    QTableView::closeEditor(Editor, Hint);
}

TDBGrid::~TDBGrid() = default;

TDataSource *TDBGrid::DataSource() const { return FModel->DataSource(); }

void TDBGrid::SetDataSource(TDataSource *AValue)
{
    FModel->SetDataSource(AValue);
    FollowDataSet();
}

TField *TDBGrid::SelectedField() const
{
    const int Col = currentIndex().isValid() ? currentIndex().column() : 0;
    return FModel->ColumnField(Col);
}

bool TDBGrid::SelectFieldByName(const std::string &AName)
{
    for (int c = 0; c < FModel->columnCount(); ++c) {
        TField *F = FModel->ColumnField(c);
        if (F && rtl::SameText(F->FieldName(), AName)) {
            const int Row = std::max(FModel->CurrentRow(), 0);
            setCurrentIndex(FModel->index(Row, c));
            return true;
        }
    }
    return false;
}

void TDBGrid::SetFixedColor(TColor AValue)
{
    FFixedColor = AValue;
    // Through the palette, not a style sheet: under a style sheet every
    // paint of a header section gets a palette of its own, and the style
    // caches each such paint under a key of its own, a few kilobytes per
    // station shown that the pixmap cache keeps.
    for (QHeaderView *Header : {horizontalHeader(), verticalHeader()}) {
        QPalette P = Header->palette();
        P.setColor(QPalette::Button, QColor(ColorName(AValue)));
        Header->setPalette(P);
    }
}

void TDBGrid::focusInEvent(QFocusEvent *Event)
{
    QTableView::focusInEvent(Event);
    if (OnEnter)
        RunGuarded(OnEnter);
}

void TDBGrid::focusOutEvent(QFocusEvent *Event)
{
    QTableView::focusOutEvent(Event);
    if (OnExit)
        RunGuarded(OnExit);
}

void TDBGrid::keyPressEvent(QKeyEvent *Event)
{
    // An arrow or page key that a cell editor leaves to the grid moves on:
    // the value is committed first, and a refused one keeps the cursor.
    const int Key = Event->key();
    if (Key == Qt::Key_Tab || Key == Qt::Key_Backtab) {
        const bool Next = Key == Qt::Key_Tab && !(Event->modifiers() & Qt::ShiftModifier);
        // Ctrl+Tab and Ctrl+Shift+Tab leave the grid, as in any control that
        // takes Tab itself; Tab past the last cell leaves it too (ignored,
        // the key moves the focus on) instead of going round.
        if (Event->modifiers() & Qt::ControlModifier) {
            if (state() == EditingState && !CommitOpenEditor())
                return;
            LeaveGrid(Next);
            return;
        }
        if (AtEdge(Next)) {
            Event->ignore();
            return;
        }
    }
    const bool Moves = Key == Qt::Key_Up || Key == Qt::Key_Down || Key == Qt::Key_PageUp || Key == Qt::Key_PageDown;
    if (Moves && state() == EditingState && !CommitOpenEditor())
        return;
    if (OnKeyDown)
        RunGuarded([&] { OnKeyDown(Event->key()); });
    QTableView::keyPressEvent(Event);
}

void TDBGrid::mousePressEvent(QMouseEvent *Event)
{
    if (state() == EditingState && indexAt(Event->position().toPoint()) != currentIndex() && !CommitOpenEditor())
        return;
    QTableView::mousePressEvent(Event);
}

void TDBGrid::currentChanged(const QModelIndex &Current, const QModelIndex &Previous)
{
    const unsigned Resets = FResets;
    QTableView::currentChanged(Current, Previous);
    // A cell editor committed on the way may have built the rows again:
    // Current belongs to rows that are gone.
    if (FFollowing || !Current.isValid() || FResets != Resets)
        return;
    TDataSource *S = DataSource();
    TDataSet *D = S ? S->DataSet() : nullptr;
    if (D && D->Active()) {
        const int Now = FModel->CurrentRow();
        if (Now >= 0 && Current.row() != Now) {
            RunGuarded([&] { D->MoveBy(Current.row() - Now); });
            // A move refused (a cell the lock keeps open elsewhere) leaves
            // the dataset where it was: the grid shows that row again once
            // the click that asked for the move is over.
            if (FResets == Resets && FModel->CurrentRow() != Current.row())
                QTimer::singleShot(0, this, [this] { FollowDataSet(); });
        }
    }
    if (!Previous.isValid() || Previous.column() != Current.column())
        if (OnColEnter)
            RunGuarded(OnColEnter);
}

void TDBGrid::SizeColumns()
{
    // A column is as wide as its field's display width in characters, or
    // its title when that is longer.
    const QFontMetrics M = fontMetrics();
    for (int c = 0; c < FModel->columnCount(); ++c)
        if (TField *F = FModel->ColumnField(c)) {
            const int Chars = std::max<int>(F->DisplayWidth(), int(F->DisplayLabel().size()));
            setColumnWidth(c, (Chars + 1) * M.averageCharWidth() + 12);
        }
}

void TDBGrid::FollowDataSet()
{
    const int Row = FModel->CurrentRow();
    if (Row < 0 || FModel->columnCount() == 0)
        return;
    // Rebuilt rows show the column the grid showed before.
    int Col = currentIndex().isValid() ? std::min(currentIndex().column(), FModel->columnCount() - 1) : 0;
    for (int c = 0; !currentIndex().isValid() && c < FModel->columnCount(); ++c)
        if (rtl::SameText(FModel->ColumnField(c)->FieldName(), FResetColumn))
            Col = c;
    if (currentIndex().row() == Row && currentIndex().column() == Col)
        return;
    FFollowing = true;
    setCurrentIndex(FModel->index(Row, Col));
    FFollowing = false;
}

// ---- the form's controls ----------------------------------------------------------

void TForm2::BuildControls()
{
    setWindowTitle(QStringLiteral("MANUAL QUALITY CONTROL MODE"));

    // Upper half: the map with the cruise list and the map tools beside it.
    Panel1 = MakePanel(this, "Panel1");
    Panel3 = MakePanel(Panel1, "Panel3");
    GroupBox3 = MakeGroup(Panel3, "GroupBox3", QStringLiteral("CRUISE LIST VIEWER"));
    ListBox1 = MakeControl<QListWidget>(GroupBox3, "ListBox1");
    GroupBox1 = MakeGroup(Panel3, "GroupBox1", QStringLiteral("MAP TOOLS"));
    RctSelBtn = MakeSpeedButton(GroupBox1, "RctSelBtn", QStringLiteral("[ ]"), true, QStringLiteral("Select zoom area"));
    StatSelBtn = MakeSpeedButton(GroupBox1, "StatSelBtn", QStringLiteral("St"), true, QStringLiteral("Select station"));
    QuadrSelBtn = MakeSpeedButton(GroupBox1, "QuadrSelBtn", QStringLiteral("#"), true, QStringLiteral("QC squares"));
    AxesBtn = MakeSpeedButton(GroupBox1, "AxesBtn", QStringLiteral("Ax"), true, QStringLiteral("Axes"));
    QCContBtn = MakeSpeedButton(GroupBox1, "QCContBtn", QStringLiteral("Ct"), true, QStringLiteral("Contour lines"));
    SpeedButton3 = MakeSpeedButton(GroupBox1, "SpeedButton3", QStringLiteral("Rd"), true, QStringLiteral("Redraw"));
    ZoomInBtn = MakeSpeedButton(GroupBox1, "ZoomInBtn", QStringLiteral("+"), false, QStringLiteral("Zoom in"));
    ZoomOutBtn = MakeSpeedButton(GroupBox1, "ZoomOutBtn", QStringLiteral("-"), false, QStringLiteral("Zoom out"));
    ActSizeBtn = MakeSpeedButton(GroupBox1, "ActSizeBtn", QStringLiteral("1:1"), false, QStringLiteral("Full view"));
    SpeedButton12 = MakeSpeedButton(GroupBox1, "SpeedButton12", QStringLiteral("BRING TO FRONT"), true);
    GroupBox2 = MakeGroup(Panel3, "GroupBox2", QStringLiteral("MAP STATUS"));
    Label6 = MakeControl<QLabel>(GroupBox2, "Label6");
    Label6->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Panel2 = MakePanel(Panel1, "Panel2");
    Image1 = MakeControl<TImage>(Panel2, "Image1");
    PaintBox1 = MakeControl<TPaintBox>(Panel2, "PaintBox1");
    PaintBox1->SetBackground(Image1);
    Label10 = MakeControl<QLabel>(Panel2, "Label10");
    // The label lies over the map only to tell when the mouse enters and
    // leaves it; clicks and moves go through to the paint box.
    Label10->setAttribute(Qt::WA_TransparentForMouseEvents);

    // Lower half, left: the metadata grid and the possible duplicates.
    Panel12 = MakePanel(this, "Panel12");
    SpeedButton2 = MakeSpeedButton(Panel12, "SpeedButton2", QStringLiteral("Possible Duplicates"), true);
    SpeedButton13 = MakeSpeedButton(Panel12, "SpeedButton13", QStringLiteral("CHECK SELECTED STATION AS DUPLICATE"), false);
    SpeedButton18 = MakeSpeedButton(Panel12, "SpeedButton18", QStringLiteral("Refresh Query"), false);
    SpeedButton15 = MakeSpeedButton(Panel12, "SpeedButton15", QStringLiteral("Find Undo Value"), true);
    ComboBox1 = MakeControl<QComboBox>(Panel12, "ComboBox1");
    Bevel1 = MakeControl<QFrame>(Panel12, "Bevel1");
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    BitBtn1 = MakeControl<QPushButton>(Panel12, "BitBtn1", QStringLiteral("UNDO"));
    DBGrid1 = MakeControl<TDBGrid>(Panel12, "DBGrid1");
    DBGrid1->RowIsStation = true; // a move to another row shows another station
    Panel17 = MakePanel(Panel12, "Panel17");
    auto *DuplCaption = MakeControl<QLabel>(Panel17, "Label17", QStringLiteral("POSSIBLE DUPLICATES"));
    DuplCaption->setGeometry(4, 2, 300, 16);
    DBGrid3 = MakeControl<TDBGrid>(Panel17, "DBGrid3");

    // Lower half, middle: the profile plot and the parameter list.
    Panel4 = MakePanel(this, "Panel4");
    Panel8 = MakeControl<QFrame>(Panel4, "Panel8");
    SpeedButton1 = MakeSpeedButton(Panel8, "SpeedButton1", QStringLiteral("[ ]"), true, QStringLiteral("Select zoom area"));
    SpeedButton4 = MakeSpeedButton(Panel8, "SpeedButton4", QStringLiteral("+"), false, QStringLiteral("Zoom in"));
    SpeedButton5 = MakeSpeedButton(Panel8, "SpeedButton5", QStringLiteral("-"), false, QStringLiteral("Zoom out"));
    SpeedButton6 = MakeSpeedButton(Panel8, "SpeedButton6", QStringLiteral("1:1"), false, QStringLiteral("Full view"));
    SpeedButton7 = MakeSpeedButton(Panel8, "SpeedButton7", QStringLiteral("Ax"), true, QStringLiteral("Axes"));
    SpeedButton8 = MakeSpeedButton(Panel8, "SpeedButton8", QStringLiteral("T"), true);
    SpeedButton9 = MakeSpeedButton(Panel8, "SpeedButton9", QStringLiteral("S"), true);
    SpeedButton10 = MakeSpeedButton(Panel8, "SpeedButton10", QStringLiteral("Pt"), true, QStringLiteral("Pick points"));
    SpeedButton16 = MakeSpeedButton(Panel8, "SpeedButton16", QStringLiteral("Mean"), true, QStringLiteral("Climatic mean"));
    SpeedButton17 = MakeSpeedButton(Panel8, "SpeedButton17", QStringLiteral("SD"), true, QStringLiteral("Climatic band"));
    SpeedButton11 = MakeSpeedButton(Panel8, "SpeedButton11", QStringLiteral("Density Profile"), true);
    // The T-S panel has nothing to draw yet: its button stays hidden.
    SpeedButton11->hide();
    SpeedButton19 = MakeSpeedButton(Panel8, "SpeedButton19", QStringLiteral("Show other profiles"), true);
    SpeedButton14 = MakeSpeedButton(Panel8, "SpeedButton14", QStringLiteral("^"), false, QStringLiteral("Undock"));
    PaintBox2 = MakeControl<TPaintBox>(Panel4, "PaintBox2");
    PaintBox2->Color = clWhite;
    Label11 = MakeControl<QLabel>(Panel4, "Label11");
    Label11->setAttribute(Qt::WA_TransparentForMouseEvents);
    Edit1 = MakeControl<QLineEdit>(Panel4, "Edit1");
    Edit2 = MakeControl<QLineEdit>(Panel4, "Edit2");
    Edit3 = MakeControl<QLineEdit>(Panel4, "Edit3");
    Edit4 = MakeControl<QLineEdit>(Panel4, "Edit4");
    // The read-out of the level under the mouse; empty, each box says what
    // it shows.
    const struct {
        QLineEdit *Box;
        const char *Placeholder, *Tip;
    } Readout[] = {{Edit1, "PRES", "Pressure of the level"},
                   {Edit2, "Value", "Value of the level"},
                   {Edit3, "FPRES", "Flag of the pressure"},
                   {Edit4, "Flag", "Flag of the value"}};
    for (QLineEdit *Box : {Edit1, Edit2})
        TypeKeypadDecimalPoint(*Box);
    for (const auto &R : Readout) {
        R.Box->setFrame(false);
        R.Box->setPlaceholderText(QString::fromLatin1(R.Placeholder));
        R.Box->setToolTip(QString::fromLatin1(R.Tip));
    }
    Panel11 = MakePanel(Panel4, "Panel11");
    PaintBox3 = MakeControl<TPaintBox>(Panel11, "PaintBox3");
    PaintBox3->Color = clWhite;
    RadioGroup1 = MakeGroup(Panel11, "RadioGroup1", QString());
    Panel11->hide();
    ListBox2 = MakeControl<QListWidget>(Panel4, "ListBox2");
    BitBtn2 = MakeControl<QPushButton>(Panel4, "BitBtn2");

    // Lower half, right: re-checks, the tree of possible errors, the data grid.
    Panel5 = MakePanel(this, "Panel5");
    Panel15 = MakePanel(Panel5, "Panel15");
    CheckBox1 = MakeControl<QCheckBox>(Panel15, "CheckBox1", QStringLiteral("Auto/Manual QC"));
    BitBtn5 = MakeControl<QPushButton>(Panel15, "BitBtn5", QStringLiteral("Check Current profile"));
    BitBtn4 = MakeControl<QPushButton>(Panel15, "BitBtn4", QStringLiteral("Check metadata"));
    BitBtn3 = MakeControl<QPushButton>(Panel15, "BitBtn3", QStringLiteral("Check full Cruise"));
    SpeedButton20 = MakeSpeedButton(Panel15, "SpeedButton20", QStringLiteral("QC Parameters"), false);
    Gauge1 = MakeControl<QProgressBar>(Panel15, "Gauge1");
    Gauge1->hide();
    GroupBox4 = MakeGroup(Panel5, "GroupBox4", QStringLiteral("POSSIBLE ERRORS"));
    TreeView1 = MakeControl<TTreeView>(GroupBox4, "TreeView1");
    TreeView1->setHeaderHidden(true);
    // A node wider than the panel scrolls into view instead of being cut.
    TreeView1->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    TreeView1->header()->setStretchLastSection(false);
    Panel6 = MakePanel(Panel5, "Panel6");
    GroupBox5 = MakeGroup(Panel6, "GroupBox5", QStringLiteral("DATA PROFILE"));
    DBGrid2 = MakeControl<TDBGrid>(GroupBox5, "DBGrid2");

    Timer1 = std::make_unique<TTimer>();
    Timer1->SetEnabled(false);

    // Data components, all owned by the form's component owner.
    FDataOwner = std::make_unique<rtl::TComponent>(nullptr);
    ZqQuery1 = MakeComponent<TZqQuery>(FDataOwner.get(), "ZqQuery1");
    ZqQuery2 = MakeComponent<TZqQuery>(FDataOwner.get(), "ZqQuery2");
    ZqQuery3 = MakeComponent<TZqQuery>(FDataOwner.get(), "ZqQuery3");
    ZqQuery4 = MakeComponent<TZqQuery>(FDataOwner.get(), "ZqQuery4");
    ZqQuery5 = MakeComponent<TZqQuery>(FDataOwner.get(), "ZqQuery5");
    ZqQuery7 = MakeComponent<TZqQuery>(FDataOwner.get(), "ZqQuery7");
    ZqQuery8 = MakeComponent<TZqQuery>(FDataOwner.get(), "ZqQuery8");
    ZqEditQry = MakeComponent<TZqQuery>(FDataOwner.get(), "ZqEditQry");
    ZqEditCmmnd = MakeComponent<TZqCommand>(FDataOwner.get(), "ZqEditCmmnd");
    tmpStatTbl = MakeComponent<TTable>(FDataOwner.get(), "tmpStatTbl");
    tmpstatqry = MakeComponent<TQuery>(FDataOwner.get(), "tmpstatqry");
    tmpDuplQry = MakeComponent<TQuery>(FDataOwner.get(), "tmpDuplQry");
    undoqry = MakeComponent<TQuery>(FDataOwner.get(), "undoqry");
    DataSource1 = MakeComponent<TDataSource>(FDataOwner.get(), "DataSource1");
    DataSource2 = MakeComponent<TDataSource>(FDataOwner.get(), "DataSource2");
    DataSource3 = MakeComponent<TDataSource>(FDataOwner.get(), "DataSource3");
    DBGrid1->SetDataSource(DataSource1);
    DBGrid2->SetDataSource(DataSource2);
    // Columns the editor computes take no typing: nothing would store it.
    DBGrid1->Model().SetComputedFields({"Velosity"});
    // A station whose verdicts the last write-back held back is marked
    // where the operator picks it.
    DBGrid1->Model().SetRowNote([](TDataSet &AStations) {
        TField *Cruise = AStations.FindField("ID_Cruise"), *Cast = AStations.FindField("ID_Cast");
        const std::string Mark = Cruise && Cast ? NotWrittenMarkOf(Cruise->AsInteger(), Cast->AsInteger()) : "";
        return Mark.empty() ? Mark : NotWrittenNodeText(Mark);
    });
    DBGrid2->Model().SetComputedFields({"DENS", "FDENS"});
    DBGrid3->SetDataSource(DataSource3);

    // States at start: picking stations is on but waits for a cruise; the
    // axes and the contour lines show; the zoom buttons wait for a zoom.
    StatSelBtn->setChecked(true);
    StatSelBtn->setEnabled(false);
    AxesBtn->setChecked(true);
    QCContBtn->setChecked(true);
    ZoomInBtn->setEnabled(false);
    ZoomOutBtn->setEnabled(false);
    ActSizeBtn->setEnabled(false);
    SpeedButton4->setEnabled(false);
    SpeedButton5->setEnabled(false);
    SpeedButton6->setEnabled(false);
    SpeedButton7->setChecked(true);
    Panel17->hide();
    GroupBox2->hide();
    ComboBox1->hide();
    Bevel1->hide();
    BitBtn1->hide();
}

void TForm2::WireControls()
{
    const auto Click = [this](QAbstractButton *B, void (TForm2::*Handler)()) {
        QObject::connect(B, &QAbstractButton::clicked, this, [this, Handler] { RunGuarded([&] { (this->*Handler)(); }); });
    };
    // The lists and the tree follow the operator's keyboard as well as the
    // mouse: what they highlight is what the editor shows. Each of them, and
    // each check command, leaves what the grids and the plot show: what was
    // typed there is stored first, and when it cannot be, the command does
    // not start and the lists go back to what the editor shows, once the
    // click is over (a list selects the item pressed after telling of it).
    const auto Leaving = [this](void (TForm2::*Handler)()) {
        return [this, Handler] {
            RunGuarded([&] {
                if (CommitOpenCells())
                    (this->*Handler)();
                else
                    QTimer::singleShot(0, this, [this] { RunGuarded([this] { ShowShownInLists(); }); });
            });
        };
    };
    InstallItemClick(*ListBox1, Leaving(&TForm2::ListBox1Click));
    InstallItemClick(*ListBox2, Leaving(&TForm2::ListBox2Click));
    InstallItemClick(*TreeView1, Leaving(&TForm2::TreeView1Click));
    for (auto [B, Handler] : {std::pair{BitBtn3, &TForm2::BitBtn3Click}, std::pair{BitBtn4, &TForm2::BitBtn4Click},
                              std::pair{BitBtn5, &TForm2::BitBtn5Click}})
        QObject::connect(B, &QAbstractButton::clicked, this, Leaving(Handler));
    Click(ZoomInBtn, &TForm2::ZoomInBtnClick);
    Click(ZoomOutBtn, &TForm2::ZoomOutBtnClick);
    Click(ActSizeBtn, &TForm2::ActSizeBtnClick);
    for (QToolButton *B : {QuadrSelBtn, AxesBtn, QCContBtn, SpeedButton3})
        Click(B, &TForm2::QuadrSelBtnClick);
    Click(SpeedButton12, &TForm2::SpeedButton12Click);
    Click(SpeedButton2, &TForm2::SpeedButton2Click);
    Click(SpeedButton13, &TForm2::SpeedButton13Click);
    // "Refresh Query" does nothing.
    Click(SpeedButton15, &TForm2::SpeedButton15Click);
    Click(BitBtn1, &TForm2::BitBtn1Click);
    Click(SpeedButton1, &TForm2::SpeedButton1Click);
    Click(SpeedButton4, &TForm2::SpeedButton4Click);
    Click(SpeedButton5, &TForm2::SpeedButton5Click);
    Click(SpeedButton6, &TForm2::SpeedButton6Click);
    Click(SpeedButton7, &TForm2::SpeedButton7Click);
    Click(SpeedButton10, &TForm2::SpeedButton10Click);
    Click(SpeedButton11, &TForm2::SpeedButton11Click);
    Click(SpeedButton14, &TForm2::SpeedButton14Click);
    Click(SpeedButton16, &TForm2::SpeedButton16Click);
    Click(SpeedButton17, &TForm2::SpeedButton17Click);
    Click(SpeedButton19, &TForm2::SpeedButton19Click);
    Click(SpeedButton20, &TForm2::SpeedButton20Click);
    Click(BitBtn2, &TForm2::BitBtn2Click);
    Click(CheckBox1, &TForm2::CheckBox1Click);
    QObject::connect(ComboBox1, &QComboBox::activated, this, [this] { RunGuarded([this] { ComboBox1Change(); }); });
    QObject::connect(Edit1, &QLineEdit::returnPressed, this, [this] { RunGuarded([this] { Edit1KeyDown(Qt::Key_Return); }); });
    QObject::connect(Edit2, &QLineEdit::returnPressed, this, [this] { RunGuarded([this] { Edit2KeyDown(Qt::Key_Return); }); });
    // A box being typed into is not refilled by the read-out nor emptied
    // when the mouse leaves the plot.
    for (QLineEdit *E : {Edit1, Edit2})
        QObject::connect(E, &QLineEdit::textEdited, this, [this] { InPlotEditing = true; });

    PaintBox1->OnPaint = [this] { PaintBox1Paint(); };
    PaintBox1->OnMouseDown = [this](TMouseButton, int X, int Y) { RunGuarded([&] { PaintBox1MouseDown(X, Y); }); };
    PaintBox1->OnMouseMove = [this](int X, int Y) { RunGuarded([&] { PaintBox1MouseMove(X, Y); }); };
    PaintBox1->OnMouseUp = [this](TMouseButton, int X, int Y) { RunGuarded([&] { PaintBox1MouseUp(X, Y); }); };
    PaintBox1->installEventFilter(this);
    PaintBox2->OnPaint = [this] { PaintBox2Paint(); };
    PaintBox2->OnMouseDown = [this](TMouseButton, int X, int Y) { RunGuarded([&] { PaintBox2MouseDown(X, Y); }); };
    PaintBox2->OnMouseMove = [this](int X, int Y) { RunGuarded([&] { PaintBox2MouseMove(X, Y); }); };
    PaintBox2->OnMouseUp = [this](TMouseButton, int X, int Y) { RunGuarded([&] { PaintBox2MouseUp(X, Y); }); };
    PaintBox2->installEventFilter(this);
    // Docked or in its own window, the plot panel lays itself out anew
    // whenever its size changes.
    Panel4->installEventFilter(this);
    // The boxes lie over the plot: reaching one leaves the plot, and the
    // boxes then take their level's values again from the profile query.
    for (QLineEdit *E : {Edit1, Edit2, Edit3, Edit4}) {
        E->setMouseTracking(true);
        E->installEventFilter(this);
    }
    Timer1->OnTimer = [this] { RunGuarded([this] { Timer1Timer(); }); };

    for (TDBGrid *G : {DBGrid1, DBGrid3}) {
        G->OnEnter = [this, G] { DBGrid1Enter(G); };
        G->OnExit = [this, G] { DBGrid1Exit(G); };
        G->OnColEnter = [this, G] { DBGrid1ColEnter(G); };
        G->OnKeyDown = [this, G](int Key) { DBGrid1KeyDown(G, Key); };
    }
    QObject::connect(DBGrid1, &QAbstractItemView::clicked, this, [this] { RunGuarded([this] { DBGrid1CellClick(); }); });
    DBGrid2->OnEnter = [this] { DBGrid2Enter(); };
    DBGrid2->OnExit = [this] { DBGrid2Exit(); };
    DBGrid2->OnColEnter = [this] { DBGrid2ColEnter(); };
    DBGrid2->OnKeyDown = [this](int Key) { DBGrid2KeyDown(Key); };
    DataSource1->OnDataChange = [this](rtl::TObject *, TField *) { DataSource1DataChange(); };
    DataSource2->OnDataChange = [this](rtl::TObject *, TField *) { DataSource2DataChange(); };
    tmpStatTbl->BeforeEdit = [this](TDataSet *) { tmpStatTblBeforeEdit(); };
    tmpStatTbl->AfterPost = [this](TDataSet *) { tmpStatTblAfterPost(); };
    // A level typed and not yet committed is the shown station's: it is
    // written, and checked under AUTO QC, before another station is shown,
    // whatever moves the station list (a click on the map, say).
    // One refused (or not stored) keeps the station, as it keeps its cell.
    tmpStatTbl->BeforeScroll = [this](TDataSet *) {
        if (!CommitOpenCells())
            rtl::Abort();
    };
}

void TForm2::LayoutForm(int W, int H)
{
    if (W <= 0 || H <= 0)
        return;
    const int HalfH = Nearest(H / 2.0);
    const int P3W = Nearest(W / 5.0);
    const int P2W = Nearest(4.0 * W / 5.0) - 2;
    const int ImgW = Nearest(4.0 * W / 5.0) - 4;
    const int ImgH = HalfH - 4;

    // Upper half.
    Panel1->setGeometry(0, 0, W, HalfH);
    Panel3->setGeometry(0, 0, P3W, HalfH);
    Panel2->setGeometry(P3W + 2, 1, P2W, HalfH - 2);
    const int ListH = Nearest(HalfH * 0.42);
    GroupBox3->setGeometry(2, 2, P3W - 4, ListH);
    ListBox1->setGeometry(6, 18, P3W - 16, ListH - 24);
    const int ToolsH = 110;
    GroupBox1->setGeometry(2, ListH + 4, P3W - 4, ToolsH);
    {
        const int Bw = std::max(24, (P3W - 20) / 5), Bh = 26;
        QToolButton *Grid[] = {RctSelBtn, StatSelBtn, QuadrSelBtn, AxesBtn, QCContBtn,
                               SpeedButton3, ZoomInBtn, ZoomOutBtn, ActSizeBtn};
        for (int i = 0; i < 9; ++i)
            Grid[i]->setGeometry(6 + (i % 5) * Bw, 18 + (i / 5) * (Bh + 2), Bw - 2, Bh);
        SpeedButton12->setGeometry(6, 18 + 2 * (Bh + 2), P3W - 16, Bh);
    }
    GroupBox2->setGeometry(2, ListH + ToolsH + 6, P3W - 4, HalfH - ListH - ToolsH - 8);
    Label6->setGeometry(6, 18, P3W - 16, std::max(10, HalfH - ListH - ToolsH - 30));
    Image1->setGeometry(1, 1, ImgW, ImgH);
    PaintBox1->setGeometry(Image1->geometry());
    Label10->setGeometry(Image1->geometry());
    Label10->raise();

    // Lower half.
    const int Top = HalfH, BH = std::max(40, H - HalfH);
    const int P12W = Nearest(W / 3.0), P5W = Nearest(W / 4.0);
    const int P4W = std::max(40, W - P12W - P5W);
    Panel12->setGeometry(0, Top, P12W, BH);
    {
        // UNDO comes and goes with "Find Undo Value" (as the list and its
        // bevel below do): it keeps its place while hidden, so that it
        // shows beside the buttons, not over them.
        const int RowH = FlowButtons({SpeedButton2, SpeedButton18, SpeedButton15, BitBtn1}, P12W, 2, true);
        SpeedButton13->setGeometry(2, RowH + 2, P12W - 4, 24);
        Bevel1->setGeometry(2, RowH + 28, P12W - 4, 28);
        ComboBox1->setGeometry(6, RowH + 30, P12W - 12, 24);
        const int GridTop = RowH + 58, GridH = BH - GridTop - 2;
        if (Panel17->isVisible()) {
            DBGrid1->setGeometry(2, GridTop, P12W - 4, GridH / 2);
            Panel17->setGeometry(2, GridTop + GridH / 2 + 2, P12W - 4, GridH - GridH / 2 - 2);
        } else {
            DBGrid1->setGeometry(2, GridTop, P12W - 4, GridH);
            Panel17->setGeometry(2, GridTop + GridH / 2 + 2, P12W - 4, GridH - GridH / 2 - 2);
        }
        DBGrid3->setGeometry(2, 20, Panel17->width() - 4, std::max(10, Panel17->height() - 22));
    }

    // Undocked, the plot panel keeps the size of its own window.
    if (Panel4->parentWidget() == this)
        Panel4->setGeometry(P12W, Top, P4W, BH);
    LayoutProfilePanel();

    Panel5->setGeometry(W - P5W, Top, P5W, BH);
    {
        // The check buttons end at 104: on a low screen the panel keeps
        // them whole, and the errors tree and the data grid share the rest.
        const int P15H = std::max(Nearest(H / 6.5), 106);
        const int TreeH = std::max(20, Nearest((BH - P15H) / 2.0));
        Panel15->setGeometry(0, 0, P5W, P15H);
        const int Bw = (P5W - 8) / 2;
        CheckBox1->setGeometry(4, 4, Bw, 22);
        SpeedButton20->setGeometry(Bw + 6, 4, Bw, 22);
        BitBtn5->setGeometry(4, 28, P5W - 8, 24);
        BitBtn4->setGeometry(4, 54, P5W - 8, 24);
        BitBtn3->setGeometry(4, 80, P5W - 8, 24);
        Gauge1->setGeometry(4, std::min(P15H - 20, 106), P5W - 8, 16);
        GroupBox4->setGeometry(0, P15H, P5W, TreeH + 20);
        TreeView1->setGeometry(2, 18, P5W - 4, TreeH);
        const int P6Top = P15H + TreeH + 20;
        Panel6->setGeometry(0, P6Top, P5W, std::max(20, BH - P6Top));
        GroupBox5->setGeometry(0, 0, P5W, Panel6->height());
        DBGrid2->setGeometry(2, 18, P5W - 4, std::max(10, Panel6->height() - 20));
    }

    // The map image keeps its drawing between repaints; a new size needs a
    // new drawing of the coast.
    if (Image1->Bitmap().Width() != ImgW || Image1->Bitmap().Height() != ImgH) {
        Image1->Bitmap().SetSize(ImgW, ImgH);
        MapScreenRect = Rect(50, 30, ImgW - 50, ImgH - 30);
        if (FLaidOut)
            RedrawMap();
    }
    FLaidOut = true;
}

int TForm2::FlowButtons(std::initializer_list<QAbstractButton *> Buttons, int Width, int Top, bool KeepHidden)
{
    // Each button as wide as its caption needs (a glyph's at least), in
    // rows across the width; the bottom of the last row is returned.
    constexpr int MinW = 28, H = 24, Gap = 2;
    int x = Gap, y = Top;
    for (QAbstractButton *B : Buttons) {
        if (B->isHidden() && !KeepHidden)
            continue;
        const int w = std::max(MinW, B->sizeHint().width());
        if (x > Gap && x + w > Width - Gap) {
            x = Gap;
            y += H + Gap;
        }
        B->setGeometry(x, y, w, H);
        x += w + Gap;
    }
    return y + H + Gap;
}

void TForm2::LayoutProfilePanel()
{
    const int W = Panel4->width(), H = Panel4->height();
    if (W <= 0 || H <= 0)
        return;
    // The tools across the top, the read-out of the level under the mouse
    // below them, then the plot with the parameter list on its right:
    // nothing lies over the plot.
    const int ToolH = FlowButtons({SpeedButton1, SpeedButton4, SpeedButton5, SpeedButton6, SpeedButton7, SpeedButton8,
                                   SpeedButton9, SpeedButton10, SpeedButton16, SpeedButton17, SpeedButton14,
                                   SpeedButton11, SpeedButton19},
                                  W, 2);
    Panel8->setGeometry(0, 0, W, ToolH);
    constexpr int BoxW = 64, BoxH = 18;
    int x = 2;
    for (QLineEdit *E : {Edit1, Edit2, Edit3, Edit4}) {
        E->setGeometry(x, ToolH, BoxW, BoxH);
        x += BoxW + 4;
    }
    const int Top = ToolH + BoxH + 2;
    const int ListW = std::min(170, W / 3);
    const int PlotW = std::max(20, W - ListW - 4), PlotH = std::max(20, H - Top - 1);
    PaintBox2->setGeometry(1, Top, PlotW, PlotH);
    Label11->setGeometry(PaintBox2->geometry());
    Label11->raise();
    Panel11->setGeometry(PaintBox2->geometry());
    PaintBox3->setGeometry(0, 0, PlotW, PlotH);
    RadioGroup1->setGeometry(0, 0, 0, 0);
    const int ButtonH = BitBtn2->sizeHint().height() + 4;
    const int ListH = std::max(10, PlotH - ButtonH - 2);
    ListBox2->setGeometry(PlotW + 2, Top, ListW, ListH);
    BitBtn2->setGeometry(PlotW + 2, Top + ListH + 2, ListW, ButtonH);
}
