// The climatology import dialog, built in code, and the climatology text
// format's reader.
#include "app/manual/UClimatDlg.h"

#include "app/Globals.h"
#include "app/manual/map.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TField.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>
#include <fstream>
#include <unordered_set>

const TClimGrid *ClimGrid = nullptr;
TCheckListBox *ClimParamList1 = nullptr;
TCheckListBox *ClimParamList2 = nullptr;
TCheckListBox *ClimParamList3 = nullptr;
TCheckListBox *ClimParamList4 = nullptr;
bool ClimFileHasBs = false;
bool ClimFileHasMs = false;
std::string ClimSearchPath;

namespace {

const std::string Empty;

// At most this many unknown sub-regions are named in the warning: a file of
// another sea would otherwise fill the screen with names.
constexpr int MaxNamedSubRegions = 20;

struct TFilter {
    const char *Caption;
    const char *Mask;
};
const TFilter Filters[] = {
    {"All files (*.*)", "*"}, {"TXT files", "*.txt"}, {"CSV files", "*.csv"}, {"DAT files", "*.dat"}};

// The three left lists take a cell of every data line; a set of upper-cased
// texts keeps "already listed" cheap on files of tens of thousands of lines.
class TDistinctList {
public:
    explicit TDistinctList(TCheckListBox &AList) : FList(AList) {}
    void Add(const std::string &AText)
    {
        if (FSeen.insert(rtl::UpperCase(AText)).second)
            FList.AddItem(AText);
    }

private:
    TCheckListBox &FList;
    std::unordered_set<std::string> FSeen;
};

std::unordered_set<std::string> UpperSet(const rtl::TStringList &AList)
{
    std::unordered_set<std::string> Out;
    for (int I = 0; I < AList.Count(); ++I)
        Out.insert(rtl::UpperCase(AList.Strings(I)));
    return Out;
}

// A header cell P + "_" + suffix, cut at its first "_".
std::pair<std::string, std::string> SplitPairCell(const std::string &ACell)
{
    const size_t At = ACell.find('_');
    if (At == std::string::npos)
        return {ACell, std::string()};
    return {ACell.substr(0, At), ACell.substr(At + 1)};
}

} // namespace

// ---- grid --------------------------------------------------------------------

const std::string &TClimGrid::Cells(int ACol, int ARow) const
{
    if (ARow < 0 || ARow >= RowCount() || ACol < 0)
        return Empty;
    const auto &Row = FRows[size_t(ARow)];
    return size_t(ACol) < Row.size() ? Row[size_t(ACol)] : Empty;
}

void TClimGrid::Clear()
{
    FRows.clear();
    FColCount = 0;
}

void TClimGrid::AddRow(std::vector<std::string> ACells)
{
    if (FRows.empty())
        FColCount = int(ACells.size());
    else if (ACells.size() > size_t(FColCount))
        ACells.resize(size_t(FColCount));
    FRows.push_back(std::move(ACells));
}

std::vector<std::string> SplitClimLine(const std::string &ALine, const std::string &ASeparator)
{
    std::vector<std::string> Cells;
    if (ASeparator.empty()) {
        if (!ALine.empty())
            Cells.push_back(ALine);
        return Cells;
    }
    size_t From = 0;
    for (;;) {
        const size_t At = ALine.find(ASeparator, From);
        if (At == std::string::npos) {
            if (From < ALine.size())
                Cells.push_back(ALine.substr(From));
            return Cells;
        }
        Cells.push_back(ALine.substr(From, At - From));
        From = At + ASeparator.size();
    }
}

std::vector<std::string> ClimParamsOf(TDataSet &AParams)
{
    std::vector<std::string> Out;
    for (AParams.First(); !AParams.Eof(); AParams.Next())
        Out.push_back(AParams.FieldByName("Param")->AsString());
    return Out;
}

// The grid's model: the view asks only for the cells it shows, so a file of
// tens of thousands of lines stays responsive.
class TfmClimatDlg::TGridModel : public QAbstractTableModel {
public:
    TGridModel(const TClimGrid &AGrid, QObject *AParent) : QAbstractTableModel(AParent), FGrid(AGrid) {}
    int rowCount(const QModelIndex &AParent = QModelIndex()) const override
    {
        return AParent.isValid() ? 0 : FGrid.RowCount();
    }
    int columnCount(const QModelIndex &AParent = QModelIndex()) const override
    {
        return AParent.isValid() ? 0 : FGrid.ColCount();
    }
    QVariant data(const QModelIndex &AIndex, int ARole) const override
    {
        if (ARole != Qt::DisplayRole || !AIndex.isValid())
            return QVariant();
        return QString::fromStdString(FGrid.Cells(AIndex.column(), AIndex.row()));
    }
    // The grid is rebuilt whole; views are told once, around it.
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }

private:
    const TClimGrid &FGrid;
};

// ---- form ----------------------------------------------------------------------

TfmClimatDlg::TfmClimatDlg(QWidget *AOwner, const std::string &ASearchPath, std::vector<std::string> AKnownParams)
    : TForm(AOwner, "fmClimatDlg"), FGrid(std::make_unique<TClimGrid>()), FKnownParams(std::move(AKnownParams))
{
    setWindowTitle(QStringLiteral("Climate Addition Dialog"));
    auto *Layout = new QVBoxLayout(this); // owned by the form

    // Top panel: the folder tree and the file list share it in halves.
    auto *Top = new QHBoxLayout; // owned by the form's layout
    FFolders = new QFileSystemModel(this); // owned by the form
    FFolders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    FFolders->setRootPath(QStringLiteral("/"));
    ShellTreeView1 = MakeControl<QTreeView>(this, "ShellTreeView1");
    ShellTreeView1->setModel(FFolders);
    for (int C = 1; C < FFolders->columnCount(); ++C)
        ShellTreeView1->hideColumn(C);
    ShellTreeView1->setHeaderHidden(true);
    FFiles = new QFileSystemModel(this); // owned by the form
    FFiles->setFilter(QDir::Files);
    FFiles->setNameFilterDisables(false);
    FileListBox1 = MakeControl<QListView>(this, "FileListBox1");
    FileListBox1->setModel(FFiles);
    auto *FileColumn = new QVBoxLayout; // owned by Top
    FilterComboBox1 = MakeControl<QComboBox>(this, "FilterComboBox1");
    for (const TFilter &F : Filters)
        FilterComboBox1->addItem(QString::fromLatin1(F.Caption), QString::fromLatin1(F.Mask));
    Edit1 = MakeControl<QLineEdit>(this, "Edit1");
    FileColumn->addWidget(FileListBox1);
    FileColumn->addWidget(FilterComboBox1);
    FileColumn->addWidget(Edit1);
    Top->addWidget(ShellTreeView1, 1);
    Top->addLayout(FileColumn, 1);
    Layout->addLayout(Top, 2);

    // The grid's panel.
    Panel1 = MakeControl<QGroupBox>(this, "Panel1");
    auto *PanelLayout = new QVBoxLayout(Panel1); // owned by Panel1
    Gauge2 = MakeControl<QProgressBar>(Panel1, "Gauge2");
    Gauge2->setRange(0, 100);
    Gauge2->hide();
    StringGrid1 = MakeControl<QTableView>(Panel1, "StringGrid1");
    FGridModel = new TGridModel(*FGrid, this); // owned by the form
    StringGrid1->setModel(FGridModel);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(StringGrid1->fontMetrics().height() + 4);
    StringGrid1->hide();
    PanelLayout->addWidget(Gauge2);
    PanelLayout->addWidget(StringGrid1);
    Layout->addWidget(Panel1, 3);

    // The four lists, each with its column of five select buttons.
    auto *Lists = new QHBoxLayout; // owned by the form's layout
    TCheckListBox **ListOf[4] = {&CheckListBox1, &CheckListBox2, &CheckListBox3, &CheckListBox4};
    QLabel **LabelOf[4] = {&Label1, &Label2, &Label3, &Label4};
    const char *ListNames[4] = {"CheckListBox1", "CheckListBox2", "CheckListBox3", "CheckListBox4"};
    const char *LabelNames[4] = {"Label1", "Label2", "Label3", "Label4"};
    const char *Captions[4] = {"   Available sub-regions", "   Available months", "   Available PRES values",
                               "   Available parameters"};
    void (*const Routines[5])(TCheckListBox &) = {CheckListCheckAll, CheckListUncheckAll, CheckListInvert,
                                                  CheckListCheckSelected, CheckListUncheckSelected};
    const char *Texts[5] = {"All", "None", "Inv", "+Sel", "-Sel"};
    SpeedButton[0] = nullptr;
    for (int L = 0; L < 4; ++L) {
        auto *Column = new QVBoxLayout; // owned by Lists
        *LabelOf[L] = MakeControl<QLabel>(this, LabelNames[L], QString::fromLatin1(Captions[L]));
        *ListOf[L] = MakeControl<TCheckListBox>(this, ListNames[L]);
        TCheckListBox *List = *ListOf[L];
        List->SetMultiSelect(true);
        auto *Row = new QHBoxLayout;     // owned by Column
        auto *Buttons = new QVBoxLayout; // owned by Row
        for (int B = 0; B < 5; ++B) {
            const int N = L * 5 + B + 1;
            const std::string Name = "SpeedButton" + std::to_string(N);
            QToolButton *Button = MakeControl<QToolButton>(this, Name.c_str());
            Button->setText(QString::fromLatin1(Texts[B]));
            auto *Routine = Routines[B];
            connect(Button, &QToolButton::clicked, this, [List, Routine] { Routine(*List); });
            Buttons->addWidget(Button);
            SpeedButton[N] = Button;
        }
        Buttons->addStretch();
        Row->addWidget(List, 1);
        Row->addLayout(Buttons);
        Column->addWidget(*LabelOf[L]);
        Column->addLayout(Row);
        // The three left lists share their room in thirds.
        Lists->addLayout(Column, 1);
    }
    auto *Right = new QVBoxLayout; // owned by Lists
    GroupBox1 = MakeControl<QGroupBox>(this, "GroupBox1", QStringLiteral("Select Region"));
    auto *Seas = new QVBoxLayout(GroupBox1); // owned by GroupBox1
    CheckBox1 = MakeControl<QCheckBox>(GroupBox1, "CheckBox1", QStringLiteral("The Black Sea"));
    CheckBox2 = MakeControl<QCheckBox>(GroupBox1, "CheckBox2", QStringLiteral("The Mediterranean Sea"));
    Seas->addWidget(CheckBox1);
    Seas->addWidget(CheckBox2);
    BitBtn1 = MakeControl<QPushButton>(this, "BitBtn1", QStringLiteral("OK"));
    BitBtn2 = MakeControl<QPushButton>(this, "BitBtn2", QStringLiteral("Cancel"));
    BitBtn3 = MakeControl<QPushButton>(this, "BitBtn3", QStringLiteral("Help"));
    Right->addWidget(GroupBox1);
    Right->addStretch();
    Right->addWidget(BitBtn1);
    Right->addWidget(BitBtn2);
    Right->addWidget(BitBtn3);
    Lists->addLayout(Right);
    Layout->addLayout(Lists, 3);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { SetModalResult(mrCancel); });
    connect(ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ShellTreeView1Change(); });
    connect(FilterComboBox1, &QComboBox::currentIndexChanged, this, [this] { FilterComboBox1Change(); });
    connect(FileListBox1, &QListView::doubleClicked, this, [this] { RunGuarded([this] { FileListBox1DblClick(); }); });

    FilterComboBox1Change();
    SetFolderPath(ASearchPath);
    resize(900, 700);
}

TfmClimatDlg::~TfmClimatDlg()
{
    // The loader's view of the grid and the lists ends with the dialog.
    if (ClimGrid == FGrid.get()) {
        ClimGrid = nullptr;
        ClimParamList1 = ClimParamList2 = ClimParamList3 = ClimParamList4 = nullptr;
    }
}

std::string TfmClimatDlg::FolderPath() const
{
    std::string Path = FFolders->filePath(ShellTreeView1->currentIndex()).toStdString();
    if (Path.empty())
        Path = FFiles->rootPath().toStdString();
    if (!Path.empty() && Path.back() != '/')
        Path += '/';
    return Path;
}

void TfmClimatDlg::SetFolderPath(const std::string &APath)
{
    const QModelIndex Index = FFolders->index(QString::fromStdString(APath));
    if (Index.isValid()) {
        ShellTreeView1->setCurrentIndex(Index);
        ShellTreeView1->scrollTo(Index);
    }
    FileListBox1->setRootIndex(FFiles->setRootPath(QString::fromStdString(APath)));
}

void TfmClimatDlg::ShellTreeView1Change()
{
    const QString Path = FFolders->filePath(ShellTreeView1->currentIndex());
    if (!Path.isEmpty())
        FileListBox1->setRootIndex(FFiles->setRootPath(Path));
}

void TfmClimatDlg::FilterComboBox1Change()
{
    FFiles->setNameFilters({FilterComboBox1->currentData().toString()});
}

void TfmClimatDlg::FileListBox1DblClick()
{
    THourglass Wait; // the cursor comes back on every way out
    const QModelIndex Chosen = FileListBox1->currentIndex();
    if (Chosen.isValid() && !FFiles->isDir(Chosen))
        Edit1->setText(FFiles->filePath(Chosen));
    const std::string FileName = Edit1->text().toStdString();
    if (FileName.empty())
        return;

    const QString PanelCaption = Panel1->title();
    Panel1->setTitle(QStringLiteral("Climate Building..."));
    Gauge2->setValue(0);
    Gauge2->show();
    std::vector<std::string> Lines;
    {
        std::ifstream In(FileName, std::ios::binary);
        if (!In)
            throw rtl::EFOpenError("Cannot open file \"" + FileName + "\"");
        std::string Line;
        while (std::getline(In, Line)) {
            if (!Line.empty() && Line.back() == '\r')
                Line.pop_back();
            Lines.push_back(std::move(Line));
        }
    }

    // A header shorter than seven characters has no separator to give.
    std::string Separator;
    if (!Lines.empty() && Lines[0].size() >= 7 && rtl::UpperCase(Lines[0].substr(0, 6)) == "REGION")
        Separator = Lines[0].substr(6, 1);
    else
        MessageDlg("Wrong File Format", mtError, mbOK);

    for (TCheckListBox *List : {CheckListBox1, CheckListBox2, CheckListBox3, CheckListBox4})
        List->Clear();
    ClimFileHasBs = ClimFileHasMs = false;
    CheckBox1->setChecked(false);
    CheckBox2->setChecked(false);
    StringGrid1->setEnabled(false);
    for (TCheckListBox *List : {CheckListBox1, CheckListBox2, CheckListBox3})
        List->setUpdatesEnabled(false);
    FGridModel->BeginReset();
    FGrid->Clear();
    std::vector<int> Widths;
    const QFontMetrics Metrics = StringGrid1->fontMetrics();
    TDistinctList SubRegions(*CheckListBox1), Months(*CheckListBox2), Pressures(*CheckListBox3);
    const int LineCount = int(Lines.size());
    for (int I = 0; I < LineCount; ++I) {
        FGrid->AddRow(SplitClimLine(Lines[size_t(I)], Separator));
        Widths.resize(size_t(FGrid->ColCount()), 0);
        for (int C = 0; C < FGrid->ColCount(); ++C) {
            const std::string &Cell = FGrid->Cells(C, I);
            if (!Cell.empty())
                Widths[size_t(C)] =
                    std::max(Widths[size_t(C)], Metrics.horizontalAdvance(QString::fromStdString(Cell)) + 10);
        }
        if (I > 0) {
            SubRegions.Add(FGrid->Cells(0, I));
            Months.Add(FGrid->Cells(1, I));
            Pressures.Add(FGrid->Cells(2, I));
        }
        const int Percent = int(std::nearbyint(I * 100.0 / LineCount));
        if (Percent != Gauge2->value()) {
            Gauge2->setValue(Percent);
            ProcessMessages();
        }
    }
    FGridModel->EndReset();
    Gauge2->hide();
    Panel1->setTitle(PanelCaption);
    Lines.clear();

    // Seas of the file, and the sub-regions the loader will pass over.
    const auto Bs = UpperSet(BsSquareNames);
    const auto Ms = UpperSet(MsSquareNames);
    std::vector<std::string> Unknown;
    for (int I = 0; I < CheckListBox1->Count(); ++I) {
        const std::string Name = rtl::UpperCase(CheckListBox1->ItemText(I));
        const bool InBs = Bs.count(Name) > 0, InMs = Ms.count(Name) > 0;
        ClimFileHasBs = ClimFileHasBs || InBs;
        ClimFileHasMs = ClimFileHasMs || InMs;
        if (!InBs && !InMs)
            Unknown.push_back(CheckListBox1->ItemText(I));
    }
    if (!Unknown.empty()) {
        std::string Names;
        for (size_t I = 0; I < Unknown.size() && I < size_t(MaxNamedSubRegions); ++I)
            Names += (I ? ", " : "") + Unknown[I];
        if (Unknown.size() > size_t(MaxNamedSubRegions))
            Names += ", ... (" + std::to_string(Unknown.size()) + " in all)";
        MessageDlg("Error subregions:" + Names + " will be excluded from addition", mtWarning, mbOK);
    }
    CheckBox1->setChecked(ClimFileHasBs);
    CheckBox2->setChecked(ClimFileHasMs);
    StringGrid1->setEnabled(true);
    for (TCheckListBox *List : {CheckListBox1, CheckListBox2, CheckListBox3})
        List->setUpdatesEnabled(true);
    for (int C = 0; C < int(Widths.size()); ++C)
        StringGrid1->setColumnWidth(C, Widths[size_t(C)]);

    // The header's value columns, pair by pair; a last unpaired column is
    // ignored.
    for (int C = 3; C <= FGrid->ColCount() - 2; C += 2) {
        const auto [P1, S1] = SplitPairCell(FGrid->Cells(C, 0));
        const auto [P2, S2] = SplitPairCell(FGrid->Cells(C + 1, 0));
        const bool Climat = S1 == "PAVG" && S2 == "PSTD";
        const bool Ranges = S1 == "PMIN" && S2 == "PMAX";
        const bool Known = std::find(FKnownParams.begin(), FKnownParams.end(), P1) != FKnownParams.end();
        if (P1 != P2 || !(Climat || Ranges) || !Known) {
            MessageDlg("Error in the First String", mtError, mbOK);
            return;
        }
        CheckListBox4->AddItem(P1 + (Climat ? "(climat)" : "(ranges)"));
    }
    StringGrid1->show();
    for (int N : {1, 6, 11, 16})
        SpeedButton[N]->click();
}

void TfmClimatDlg::FormClose()
{
    ClimSearchPath = FolderPath();
    ClimGrid = FGrid.get();
    ClimParamList1 = CheckListBox1;
    ClimParamList2 = CheckListBox2;
    ClimParamList3 = CheckListBox3;
    ClimParamList4 = CheckListBox4;
}
