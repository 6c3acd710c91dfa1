// The climatology import dialog, built in code.
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
#include "platform/toolkit/TShellTreeView.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
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

namespace {

// At most this many unknown sub-regions are named in the warning: a file of
// another sea would otherwise fill the screen with names.
constexpr int MaxNamedSubRegions = 20;

struct TFilter {
    const char *Caption;
    const char *Mask;
};
const TFilter Filters[] = {
    {"All files (*.*)", "*"}, {"TXT files", "*.txt"}, {"CSV files", "*.csv"}, {"DAT files", "*.dat"}};

void FillList(TCheckListBox &AList, const TClimChoice &AChoice)
{
    AList.Clear();
    for (const std::string &Item : AChoice.Items)
        AList.AddItem(Item);
}

void TakeTicks(const TCheckListBox &AList, TClimChoice &AChoice)
{
    AChoice.Checked.assign(AChoice.Items.size(), false);
    for (int I = 0; I < AList.Count() && size_t(I) < AChoice.Items.size(); ++I)
        AChoice.Checked[size_t(I)] = AList.Checked(I);
}

} // namespace

// ---- the parameters a header may name -------------------------------------------

std::vector<std::string> ClimParamsOf(TDataSet *AParams)
{
    std::vector<std::string> Out;
    if (!AParams)
        return Out;
    for (AParams->First(); !AParams->Eof(); AParams->Next())
        Out.push_back(AParams->FieldByName("Param")->AsString());
    return Out;
}

// The grid's model: the view asks only for the cells it shows, so a file of
// tens of thousands of lines stays responsive.
class TfmClimatDlg::TGridModel : public QAbstractTableModel {
public:
    TGridModel(const TClimImport &AImport, QObject *AParent) : QAbstractTableModel(AParent), FImport(AImport) {}
    int rowCount(const QModelIndex &AParent = QModelIndex()) const override
    {
        return AParent.isValid() ? 0 : int(FImport.Grid.size());
    }
    int columnCount(const QModelIndex &AParent = QModelIndex()) const override
    {
        return AParent.isValid() || FImport.Grid.empty() ? 0 : int(FImport.Grid[0].size());
    }
    QVariant data(const QModelIndex &AIndex, int ARole) const override
    {
        if (ARole != Qt::DisplayRole || !AIndex.isValid())
            return QVariant();
        const auto &Row = FImport.Grid[size_t(AIndex.row())];
        const size_t Col = size_t(AIndex.column());
        return Col < Row.size() ? QString::fromStdString(Row[Col]) : QString();
    }
    // The grid is rebuilt whole; views are told once, around it.
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }

private:
    const TClimImport &FImport;
};

// ---- form ----------------------------------------------------------------------

TfmClimatDlg::TfmClimatDlg(QWidget *AOwner, const std::string &ASearchPath) : TForm(AOwner, "fmClimatDlg")
{
    setWindowTitle(QStringLiteral("Climate Addition Dialog"));
    auto *Layout = new QVBoxLayout(this); // owned by the form

    // Top panel: the folder tree and the file list share it in halves.
    auto *Top = new QHBoxLayout; // owned by the form's layout
    ShellTreeView1 = MakeControl<TShellTreeView>(this, "ShellTreeView1", "FolderModel");
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
    FGridModel = new TGridModel(FImport, this); // owned by the form
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
    BitBtn1->setDefault(true);
    SetCancelButton(BitBtn2);
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

TfmClimatDlg::~TfmClimatDlg() = default;

std::string TfmClimatDlg::FolderPath() const
{
    std::string Path = ShellTreeView1->Folder();
    if (Path.empty())
        Path = FFiles->rootPath().toStdString();
    if (!Path.empty() && Path.back() != '/')
        Path += '/';
    return Path;
}

void TfmClimatDlg::SetFolderPath(const std::string &APath)
{
    const QString Path = QDir::cleanPath(QString::fromStdString(APath));
    ShellTreeView1->SetFolder(Path.toStdString());
    FileListBox1->setRootIndex(FFiles->setRootPath(Path));
}

void TfmClimatDlg::ShellTreeView1Change()
{
    const QString Path = ShellTreeView1->Model()->filePath(ShellTreeView1->currentIndex());
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

    // Nothing of the file before is offered any more, whatever becomes of
    // this one: a file refused (unreadable, not UTF-8) leaves nothing to
    // load, and OK says so.
    Forget();
    const std::vector<std::string> Lines = ReadClimatologyLines(FileName);
    if (Lines.empty() || Lines[0].size() < 7 || rtl::UpperCase(Lines[0].substr(0, 6)) != "REGION") {
        // Without its header no line can be split into cells: the lists
        // would fill with whole lines as sub-regions, all ticked.
        MessageDlg("Wrong File Format", mtError, mbOK);
        return;
    }
    const QString PanelCaption = Panel1->title();
    Panel1->setTitle(QStringLiteral("Climate Building..."));
    Gauge2->setValue(0);
    Gauge2->show();

    StringGrid1->setEnabled(false);
    FGridModel->BeginReset();
    TClimFileCheck Check;
    CheckClimatologyLines(Lines, ClimParamsOf(RangeQry), FImport, Check, [this](int APercent) {
        Gauge2->setValue(APercent);
        ProcessMessages();
    });
    FImport.FileName = FileName;
    FGridModel->EndReset();
    Gauge2->hide();
    Panel1->setTitle(PanelCaption);
    FillList(*CheckListBox1, FImport.SubRegions);
    FillList(*CheckListBox2, FImport.Months);
    FillList(*CheckListBox3, FImport.Pressures);
    FillList(*CheckListBox4, FImport.Params);

    if (!Check.UnknownSubRegions.empty()) {
        const auto &Unknown = Check.UnknownSubRegions;
        std::string Names;
        for (size_t I = 0; I < Unknown.size() && I < size_t(MaxNamedSubRegions); ++I)
            Names += (I ? ", " : "") + Unknown[I];
        if (Unknown.size() > size_t(MaxNamedSubRegions))
            Names += ", ... (" + std::to_string(Unknown.size()) + " in all)";
        MessageDlg("Error subregions:" + Names + " will be excluded from addition", mtWarning, mbOK);
    }
    CheckBox1->setChecked(FImport.HasBs);
    CheckBox2->setChecked(FImport.HasMs);
    StringGrid1->setEnabled(true);
    // Each column as wide as its widest text plus 10 pixels.
    const QFontMetrics Metrics = StringGrid1->fontMetrics();
    std::vector<int> Widths;
    for (const auto &Row : FImport.Grid) {
        Widths.resize(std::max(Widths.size(), Row.size()), 0);
        for (size_t C = 0; C < Row.size(); ++C)
            if (!Row[C].empty())
                Widths[C] = std::max(Widths[C], Metrics.horizontalAdvance(QString::fromStdString(Row[C])) + 10);
    }
    for (size_t C = 0; C < Widths.size(); ++C)
        StringGrid1->setColumnWidth(int(C), Widths[C]);

    if (Check.HeaderError) {
        MessageDlg("Error in the First String", mtError, mbOK);
        return;
    }
    StringGrid1->show();
    for (int N : {1, 6, 11, 16})
        SpeedButton[N]->click();
}

void TfmClimatDlg::Forget()
{
    FGridModel->BeginReset();
    FImport = TClimImport();
    FGridModel->EndReset();
    for (TCheckListBox *List : {CheckListBox1, CheckListBox2, CheckListBox3, CheckListBox4})
        List->Clear();
    CheckBox1->setChecked(false);
    CheckBox2->setChecked(false);
    StringGrid1->hide();
}

void TfmClimatDlg::FormClose()
{
    ClimSearchPath = FolderPath();
    TakeTicks(*CheckListBox1, FImport.SubRegions);
    TakeTicks(*CheckListBox2, FImport.Months);
    TakeTicks(*CheckListBox3, FImport.Pressures);
    TakeTicks(*CheckListBox4, FImport.Params);
}
