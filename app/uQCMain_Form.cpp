// uQCMain_Form: the main window's controls and data components, made in
// code under the names they carry, their handlers bound, and the layout
// handlers that place the wizard's pages.
#include "app/uQCMain.h"

#include "app/Globals.h"
#include "app/manual/CheckTree.h"
#include "app/uDBPath.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "dataaccess/comp/qxZqGUIxFormsWait.h"
#include "dataaccess/phys/dialects/qxZqPhysMSAcc.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TForm.h"
#include "platform/toolkit/TItemClick.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>

namespace {

QString Latin1(const char *AText) { return QString::fromLatin1(AText); }

QFrame *MakePanel(QWidget *AParent, const char *AName)
{
    QFrame *Panel = MakeControl<QFrame>(AParent, AName);
    Panel->setFrameShape(QFrame::StyledPanel);
    return Panel;
}

// A threshold: its caption above the up-down.
QSpinBox *MakeUpDown(QWidget *AParent, QVBoxLayout *ABox, const char *ALabelName, const char *ACaption,
                     const char *AName, int AMin, int AMax, int APosition)
{
    if (ACaption)
        ABox->addWidget(MakeControl<QLabel>(AParent, ALabelName, Latin1(ACaption)));
    QSpinBox *UpDown = MakeControl<QSpinBox>(AParent, AName);
    UpDown->setRange(AMin, AMax);
    UpDown->setValue(APosition);
    UpDown->setMaximumWidth(90);
    ABox->addWidget(UpDown);
    return UpDown;
}

int RoundHalfEven(double AValue) { return int(std::nearbyint(AValue)); }

// A radio button whose caption goes on over further lines when the button
// is narrower than the caption: the actions' captions are longer than the
// wizard's column is wide. The whole button takes the click.
class TWrappingRadioButton : public QRadioButton {
public:
    TWrappingRadioButton(const QString &AText, QWidget *AParent) : QRadioButton(AText, AParent)
    {
        QSizePolicy Policy = sizePolicy();
        Policy.setHeightForWidth(true);
        setSizePolicy(Policy);
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int AWidth) const override
    {
        const QStyleOptionButton Option = StyleOption();
        const QSize Text = TextSize(AWidth - IndicatorRoom());
        return style()->sizeFromContents(QStyle::CT_RadioButton, &Option, Text, this).height();
    }
    QSize minimumSizeHint() const override
    {
        // The longest word on a line of its own.
        int Widest = 0;
        for (const QString &Word : text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
            Widest = std::max(Widest, fontMetrics().horizontalAdvance(Word));
        return QSize(IndicatorRoom() + Widest, heightForWidth(IndicatorRoom() + Widest));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter Painter(this);
        QStyleOptionButton Option = StyleOption();
        const QRect Text = style()->subElementRect(QStyle::SE_RadioButtonContents, &Option, this);
        // The indicator beside the first line of the caption.
        QStyleOptionButton Indicator = Option;
        Indicator.rect = style()->subElementRect(QStyle::SE_RadioButtonIndicator, &Option, this);
        const QSize Used = TextSize(Text.width());
        const int FirstLine = Text.top() + (Text.height() - Used.height()) / 2;
        Indicator.rect.moveTop(FirstLine + (fontMetrics().height() - Indicator.rect.height()) / 2);
        Painter.drawPrimitive(QStyle::PE_IndicatorRadioButton, Indicator);
        const int Flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        style()->drawItemText(&Painter, Text, Flags, palette(), isEnabled(), text(), QPalette::WindowText);
        if (hasFocus()) {
            QStyleOptionFocusRect Focus;
            Focus.initFrom(this);
            Focus.rect = QRect(QPoint(Text.left(), FirstLine), Used).adjusted(-1, -1, 1, 1);
            Painter.drawPrimitive(QStyle::PE_FrameFocusRect, Focus);
        }
    }
    bool hitButton(const QPoint &APos) const override { return rect().contains(APos); }

private:
    QStyleOptionButton StyleOption() const
    {
        QStyleOptionButton Option;
        initStyleOption(&Option);
        return Option;
    }
    int IndicatorRoom() const
    {
        return style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, this) +
               style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, this);
    }
    QSize TextSize(int AWidth) const
    {
        return fontMetrics()
            .boundingRect(QRect(0, 0, std::max(1, AWidth), 1 << 20), Qt::TextWordWrap | Qt::TextShowMnemonic, text())
            .size();
    }
};

} // namespace

// ---- Tag and the radio group ---------------------------------------------------

void SetTag(QObject *AControl, int ATag) { AControl->setProperty("Tag", ATag); }

int TagOf(const QObject *AControl)
{
    const QVariant Value = AControl->property("Tag");
    return Value.isValid() ? Value.toInt() : 0;
}

TRadioGroup::TRadioGroup(const QString &ACaption, QWidget *Parent) : QGroupBox(ACaption, Parent)
{
    FGroup = MakeControl<QButtonGroup>(this, "Items");
    MakeControl<QVBoxLayout>(this, "ItemsLayout");
    QObject::connect(FGroup, &QButtonGroup::idClicked, this, [this](int) {
        if (OnClick)
            OnClick();
    });
}

void TRadioGroup::AddItem(const std::string &AText)
{
    const std::string Name = objectName().toStdString() + "_Item" + std::to_string(FButtons.size());
    QRadioButton *Button = MakeControl<QRadioButton>(this, Name.c_str(), QString::fromStdString(AText));
    FGroup->addButton(Button, int(FButtons.size()));
    layout()->addWidget(Button);
    FButtons.push_back(Button);
}

std::string TRadioGroup::ItemText(int AIndex) const { return Button(AIndex)->text().toStdString(); }

int TRadioGroup::ItemIndex() const { return FGroup->checkedId(); }

void TRadioGroup::SetItemIndex(int AIndex)
{
    if (AIndex == ItemIndex())
        return;
    if (AIndex < 0 || AIndex >= Count()) {
        // An exclusive group keeps one button checked; drop the choice.
        FGroup->setExclusive(false);
        for (QRadioButton *B : FButtons)
            B->setChecked(false);
        FGroup->setExclusive(true);
    } else {
        FButtons[size_t(AIndex)]->setChecked(true);
    }
    if (OnClick)
        OnClick();
}

// ---- the form ------------------------------------------------------------------

TForm1::TForm1(QWidget *Parent) : QWidget(Parent), Components(std::make_unique<rtl::TComponent>(nullptr))
{
    setObjectName(Latin1("Form1"));
    setWindowTitle(Latin1("MARLIN QUALITY CONTROL UNIT"));
    BuildDataComponents();
    BuildControls();
    BindHandlers();
}

void TForm1::BuildDataComponents()
{
    rtl::TComponent *Owner = Components.get();
    ZqConnection1 = MakeComponent<TZqConnection>(Owner, "ZqConnection1");
    ZqPhysMSAccessDriverLink1 = MakeComponent<TZqPhysMSAccessDriverLink>(Owner, "ZqPhysMSAccessDriverLink1");
    ZqGUIxWaitCursor1 = MakeComponent<TZqGUIxWaitCursor>(Owner, "ZqGUIxWaitCursor1");
    ZqGUIxWaitCursor1->SetScreenCursor(gcrHourGlass);
    ZqConnection1->FetchOptions()->SetMode(fmAll);

    const auto OnConnection = [this](auto *ADataSet) {
        ADataSet->SetConnection(ZqConnection1);
        return ADataSet;
    };
    MainCruTbl = OnConnection(MakeComponent<TZqTable>(Owner, "MainCruTbl"));
    ZqTable2 = OnConnection(MakeComponent<TZqTable>(Owner, "ZqTable2"));
    ZqTable3 = OnConnection(MakeComponent<TZqTable>(Owner, "ZqTable3"));
    ZqQuery1 = OnConnection(MakeComponent<TZqQuery>(Owner, "ZqQuery1"));
    ZqQuery2 = OnConnection(MakeComponent<TZqQuery>(Owner, "ZqQuery2"));
    ZqQuery3 = OnConnection(MakeComponent<TZqQuery>(Owner, "ZqQuery3"));
    ZqQuery4 = OnConnection(MakeComponent<TZqQuery>(Owner, "ZqQuery4"));
    ZqQuery5 = OnConnection(MakeComponent<TZqQuery>(Owner, "ZqQuery5"));
    ZqdupQuery = OnConnection(MakeComponent<TZqQuery>(Owner, "ZqdupQuery"));
    ZqDataQuery = OnConnection(MakeComponent<TZqQuery>(Owner, "ZqDataQuery"));
    ZqQCQuery = OnConnection(MakeComponent<TZqQuery>(Owner, "ZqQCQuery"));
    ZqCruQuery = OnConnection(MakeComponent<TZqQuery>(Owner, "ZqCruQuery"));
    ZqCommand1 = MakeComponent<TZqCommand>(Owner, "ZqCommand1");
    ZqCommand1->SetConnection(ZqConnection1);
    ZqCommand2 = MakeComponent<TZqCommand>(Owner, "ZqCommand2");
    ZqCommand2->SetConnection(ZqConnection1);
    // The data query posts the station flags the checks change: only the
    // changed fields, and no re-read of the row after the post.
    ZqDataQuery->UpdateOptions()->SetUpdateChangedFields(false);
    ZqDataQuery->UpdateOptions()->SetRefreshMode(rmManual);
    for (TZqTable *Table : {MainCruTbl, ZqTable2, ZqTable3})
        Table->UpdateOptions()->SetUseProviderFlags(false);

    QCCruQry = MakeComponent<TQuery>(Owner, "QCCruQry");
    WorkQry = MakeComponent<TQuery>(Owner, "WorkQry");
    TmpParamQry = MakeComponent<TQuery>(Owner, "TmpParamQry");
    TmpQcQry = MakeComponent<TQuery>(Owner, "TmpQcQry");
    StructTbl = MakeComponent<TTable>(Owner, "StructTbl");
    TmpCruTbl = MakeComponent<TTable>(Owner, "TmpCruTbl");
    QcCruTbl = MakeComponent<TTable>(Owner, "QcCruTbl");
    CastFlagtbl = MakeComponent<TTable>(Owner, "CastFlagtbl");
    CastOldFlagTbl = MakeComponent<TTable>(Owner, "CastOldFlagTbl");
    PTS_DataFlagTbl = MakeComponent<TTable>(Owner, "PTS_DataFlagTbl");
    PTS_DataOldFlagTbl = MakeComponent<TTable>(Owner, "PTS_DataOldFlagTbl");
    ChemFlagTbl = MakeComponent<TTable>(Owner, "ChemFlagTbl");
    tmpparamtbl = MakeComponent<TTable>(Owner, "tmpparamtbl");
    ClimMSTbl = MakeComponent<TTable>(Owner, "ClimMSTbl");
    ClimBSTbl = MakeComponent<TTable>(Owner, "ClimBSTbl");
}

void TForm1::BuildControls()
{
    auto *Main = MakeControl<QHBoxLayout>(this, "Form1Layout");
    auto *Left = MakeControl<QWidget>(this, "WizardColumn");
    auto *LeftBox = MakeControl<QVBoxLayout>(Left, "WizardColumnLayout");
    LeftBox->setContentsMargins(0, 0, 0, 0);
    // The pages scroll where the window is too small for them (a small or
    // scaled screen): the panel is never narrower than step 0's choice.
    Panel1Scroll = MakeControl<QScrollArea>(Left, "Panel1Scroll");
    Panel1Scroll->setFrameShape(QFrame::NoFrame);
    Panel1Scroll->setWidgetResizable(true);
    // No stop of Tab's own, where nothing would show the focus: the page's
    // controls take it, and the area scrolls to the one that has it.
    Panel1Scroll->setFocusPolicy(Qt::NoFocus);
    Panel1 = MakePanel(Panel1Scroll, "Panel1");
    Panel1Scroll->setWidget(Panel1);
    Panel1->installEventFilter(this);
    Panel19 = MakePanel(Left, "Panel19");
    LeftBox->addWidget(Panel1Scroll, 1);
    LeftBox->addWidget(Panel19);
    Main->addWidget(Left, 3);

    GroupBox1 = MakeControl<QGroupBox>(this, "GroupBox1", Latin1("INFORMATION"));
    auto *InfoBox = MakeControl<QVBoxLayout>(GroupBox1, "GroupBox1Layout");
    WebBrowser1 = MakeControl<QTextBrowser>(GroupBox1, "WebBrowser1");
    WebBrowser1->setOpenLinks(false);
    InfoBox->addWidget(WebBrowser1);
    Main->addWidget(GroupBox1, 2);

    CheckBox1 = MakeControl<QCheckBox>(this, "CheckBox1", Latin1("Allow to select only unchecked cruises"));
    CheckBox1->hide();

    // Step 0.
    RadioGroup1 = MakeControl<TRadioGroup>(Panel1, "RadioGroup1", Latin1("SELECT QUALITY CHECK MODE"));
    RadioGroup1->AddItem("QUALITY CONTROL PROCEDURE FOR ALL CRUISES");
    RadioGroup1->AddItem("QUALITY CONTROL PROCEDURE FOR ALL TOTAL UNCHECKED CRUISES");
    RadioGroup1->AddItem("QUALITY CONTROL PROCEDURE FOR ALL PARTIALLY UNCHECKED CRUISES");
    RadioGroup1->AddItem("QUALITY CONTROL PROCEDURE FOR CUSTOM SELECTED CRUISES");
    RadioGroup1->Button(0)->setChecked(true);
    SetTag(RadioGroup1, 0);
    BitBtn8 = MakeControl<QPushButton>(Panel1, "BitBtn8", Latin1("Change Database"));
    SetTag(BitBtn8, 0);

    // Step 1.
    Pagecontrol1 = MakeControl<QTabWidget>(Panel1, "Pagecontrol1");
    SetTag(Pagecontrol1, 1);
    TabSheet1 = MakeControl<QWidget>(Pagecontrol1, "TabSheet1");
    TabSheet2 = MakeControl<QWidget>(Pagecontrol1, "TabSheet2");
    Pagecontrol1->addTab(TabSheet1, Latin1("QUALITY CHECK OPTIONS"));
    Pagecontrol1->addTab(TabSheet2, Latin1("SELECT CRUISE"));
    BuildOptionsPage();
    BuildCruiseChoicePage();

    // Step 2.
    BuildParamPage();
    // Step 3.
    BuildActionPage();
    BuildProgressPanel();
}

void TForm1::BuildOptionsPage()
{
    auto *Row = MakeControl<QHBoxLayout>(TabSheet1, "TabSheet1Layout");
    // The test tree is made by the set-up and goes before Panel2, as wide
    // as its names need; the threshold panel takes the rest, and its room
    // stays empty while no panel is open, so the tree never moves.
    Panel2 = MakePanel(TabSheet1, "Panel2");
    Row->addWidget(Panel2, 1);
    Row->addStretch(0);
    auto *Stack = MakeControl<QVBoxLayout>(Panel2, "Panel2Layout");

    const auto Threshold = [&](const char *AName, int ATag) {
        QFrame *Panel = MakePanel(Panel2, AName);
        SetTag(Panel, ATag);
        Stack->addWidget(Panel);
        Panel->hide();
        auto *Box = MakeControl<QVBoxLayout>(Panel, (std::string(AName) + "Layout").c_str());
        return std::make_pair(Panel, Box);
    };

    auto [P3, Box3] = Threshold("Panel3", 0);
    Panel3 = P3;
    UpDown1 = MakeUpDown(Panel3, Box3, "Label3", "SPATIAL ADDITION, minute", "UpDown1", 0, 5, 0);
    UpDown2 = MakeUpDown(Panel3, Box3, "Label4", "TEMPORAL ADDITION, hours", "UpDown2", 0, 5, 0);
    RadioGroup2 = MakeControl<TRadioGroup>(Panel3, "RadioGroup2", Latin1("Duplicates Search For"));
    RadioGroup2->AddItem("Each station");
    RadioGroup2->AddItem("Full cruise");
    RadioGroup2->Button(1)->setChecked(true);
    Box3->addWidget(RadioGroup2);
    CheckBox5 = MakeControl<QCheckBox>(Panel3, "CheckBox5", Latin1("Visual mode only"));
    CheckBox5->setChecked(true);
    Box3->addWidget(CheckBox5);
    Box3->addStretch(1);

    auto [P4, Box4] = Threshold("Panel4", 1);
    Panel4 = P4;
    ShellTreeView1 = MakeControl<TShellTreeView>(Panel4, "ShellTreeView1", "ShellFolderModel");
    FileListBox1 = MakeControl<QListWidget>(Panel4, "FileListBox1");
    FileListBox2 = MakeControl<QListWidget>(Panel4, "FileListBox2");
    FileListBox2->hide();
    auto *ContourButtons = MakeControl<QWidget>(Panel4, "Panel4Buttons");
    auto *ContourRow = MakeControl<QHBoxLayout>(ContourButtons, "Panel4ButtonsLayout");
    ContourRow->setContentsMargins(0, 0, 0, 0);
    BitBtn3 = MakeControl<QPushButton>(ContourButtons, "BitBtn3", Latin1("View"));
    BitBtn4 = MakeControl<QPushButton>(ContourButtons, "BitBtn4", Latin1("Apply"));
    BitBtn4->setEnabled(false);
    ContourRow->addWidget(BitBtn3);
    ContourRow->addWidget(BitBtn4);
    Box4->addWidget(ShellTreeView1, 2);
    Box4->addWidget(FileListBox1, 1);
    Box4->addWidget(ContourButtons);

    auto [P5, Box5] = Threshold("Panel5", 2);
    Panel5 = P5;
    UpDown3 = MakeUpDown(Panel5, Box5, "Label5", "Velosity Limit, knots", "UpDown3", 10, 22, 12);
    Box5->addStretch(1);

    auto [P7, Box7] = Threshold("Panel7", 3);
    Panel7 = P7;
    UpDown5 = MakeUpDown(Panel7, Box7, "Label7", "TOLERANCE, %", "UpDown5", 0, 25, 10);
    Box7->addStretch(1);

    auto [P6, Box6] = Threshold("Panel6", 4);
    Panel6 = P6;
    UpDown4 = MakeUpDown(Panel6, Box6, "Label6", nullptr, "UpDown4", 1, 7, 3);
    UpDown4->setSuffix(Latin1(" sd"));
    BitBtn5 = MakeControl<QPushButton>(Panel6, "BitBtn5", Latin1("Update climate/range"));
    Box6->addWidget(BitBtn5);
    Box6->addStretch(1);

    auto [P10, Box10] = Threshold("Panel10", 5);
    Panel10 = P10;
    UpDown6 = MakeUpDown(Panel10, Box10, "Label8", "Relative parameter jump, %", "UpDown6", 1, 10, 10);
    UpDown7 = MakeUpDown(Panel10, Box10, "Label9", "Correspondent pressure interval", "UpDown7", 1, 32767, 1);
    CheckBox4 = MakeControl<QCheckBox>(Panel10, "CheckBox4", Latin1("One - side change"));
    Box10->addWidget(CheckBox4);
    Box10->addStretch(1);
    Stack->addStretch(1);
    Panel2->hide();
}

namespace {

// The five list buttons over a check list, in the order tick all, untick
// all, invert, tick highlighted, untick highlighted.
QWidget *MakeListButtons(QWidget *AParent, const char *AName, QToolButton **AButtons, int AFirstNumber)
{
    static const char *const Glyphs[5] = {"+", "-", "~", "+s", "-s"};
    static const char *const Hints[5] = {"Tick all", "Untick all", "Invert", "Tick highlighted",
                                         "Untick highlighted"};
    auto *Bar = MakeControl<QWidget>(AParent, AName);
    auto *Row = MakeControl<QHBoxLayout>(Bar, (std::string(AName) + "Layout").c_str());
    Row->setContentsMargins(0, 0, 0, 0);
    for (int I = 0; I < 5; ++I) {
        const std::string Name = "SpeedButton" + std::to_string(AFirstNumber + I);
        QToolButton *Button = MakeControl<QToolButton>(Bar, Name.c_str());
        Button->setText(Latin1(Glyphs[I]));
        Button->setToolTip(Latin1(Hints[I]));
        Row->addWidget(Button);
        AButtons[AFirstNumber - 1 + I] = Button;
    }
    Row->addStretch(1);
    return Bar;
}

} // namespace

void TForm1::BuildCruiseChoicePage()
{
    auto *Box = MakeControl<QVBoxLayout>(TabSheet2, "TabSheet2Layout");
    PageControl4 = MakeControl<QTabWidget>(TabSheet2, "PageControl4");
    Box->addWidget(PageControl4);
    TabSheet3 = MakeControl<QWidget>(PageControl4, "TabSheet3");
    TabSheet4 = MakeControl<QWidget>(PageControl4, "TabSheet4");
    PageControl4->addTab(TabSheet3, Latin1("Country/Ship/Cuise"));
    PageControl4->addTab(TabSheet4, Latin1("Context Searh"));

    auto *Grid = MakeControl<QGridLayout>(TabSheet3, "TabSheet3Layout");
    CheckListBox6 = MakeControl<TCheckListBox>(TabSheet3, "CheckListBox6");
    CheckListBox7 = MakeControl<TCheckListBox>(TabSheet3, "CheckListBox7");
    CheckListBox1 = MakeControl<TCheckListBox>(TabSheet3, "CheckListBox1");
    Label19 = MakeControl<QLabel>(TabSheet3, "Label19");
    Label20 = MakeControl<QLabel>(TabSheet3, "Label20");
    Label21 = MakeControl<QLabel>(TabSheet3, "Label21");
    const TCheckListBox *Lists[3] = {CheckListBox6, CheckListBox7, CheckListBox1};
    QLabel *Counts[3] = {Label19, Label20, Label21};
    for (int C = 0; C < 3; ++C) {
        // A count wider than its column ("2008 cruises were loaded") takes
        // a second line instead of being cut.
        Counts[C]->setWordWrap(true);
        Grid->addWidget(Counts[C], 0, C);
        Grid->addWidget(MakeListButtons(TabSheet3, ("ListButtons" + std::to_string(C)).c_str(), SpeedButtons,
                                        1 + 5 * C),
                        1, C);
        Grid->addWidget(const_cast<TCheckListBox *>(Lists[C]), 2, C);
    }
    CheckBox6 = MakeControl<QCheckBox>(TabSheet3, "CheckBox6", Latin1("Show ships for the selected country"));
    CheckBox6->setChecked(true);
    CheckBox7 = MakeControl<QCheckBox>(TabSheet3, "CheckBox7", Latin1("Show cruises for the selected ship"));
    CheckBox7->setChecked(true);
    // A second switch bound to the ship list's click; it has no caption of
    // its own and stays hidden.
    CheckBox8 = MakeControl<QCheckBox>(TabSheet3, "CheckBox8");
    CheckBox8->hide();
    Grid->addWidget(CheckBox6, 3, 0, 1, 3);
    Grid->addWidget(CheckBox7, 4, 0, 1, 3);
    Panel23 = MakePanel(TabSheet3, "Panel23");
    auto *GaugeRow = MakeControl<QHBoxLayout>(Panel23, "Panel23Layout");
    Gauge3 = MakeControl<QProgressBar>(Panel23, "Gauge3");
    Gauge3->setRange(0, 100);
    Gauge3->hide();
    GaugeRow->addWidget(Gauge3);
    Grid->addWidget(Panel23, 5, 0, 1, 3);

    auto *Search = MakeControl<QVBoxLayout>(TabSheet4, "TabSheet4Layout");
    Edit4 = MakeControl<QLineEdit>(TabSheet4, "Edit4");
    CheckBox9 = MakeControl<QCheckBox>(TabSheet4, "CheckBox9", Latin1("Auto adding of '*' symbol in the end"));
    CheckListBox5 = MakeControl<TCheckListBox>(TabSheet4, "CheckListBox5");
    Search->addWidget(Edit4);
    Search->addWidget(CheckBox9);
    Search->addWidget(MakeListButtons(TabSheet4, "ListButtons3", SpeedButtons, 16));
    Search->addWidget(CheckListBox5, 1);
}

void TForm1::BuildParamPage()
{
    Label2 = MakeControl<QLabel>(Panel1, "Label2", Latin1("LISt OF PARAMETETRS"));
    QFont Bold = Label2->font();
    Bold.setBold(true);
    Label2->setFont(Bold);
    SetTag(Label2, 2);
    Panel8 = MakePanel(Panel1, "Panel8");
    SetTag(Panel8, 2);
    auto *Box = MakeControl<QVBoxLayout>(Panel8, "Panel8Layout");
    Box->addWidget(MakeListButtons(Panel8, "ListButtons4", SpeedButtons, 21));
    CheckListBox2 = MakeControl<TCheckListBox>(Panel8, "CheckListBox2");
    Box->addWidget(CheckListBox2, 1);
}

void TForm1::BuildActionPage()
{
    GroupBox2 = MakeControl<QGroupBox>(Panel1, "GroupBox2", Latin1("WHAT TO DO?"));
    SetTag(GroupBox2, 3);
    const auto Action = [this](const char *AName, int ATag, const char *ACaption) {
        QRadioButton *Button = MakeControl<TWrappingRadioButton>(GroupBox2, AName, Latin1(ACaption));
        SetTag(Button, ATag);
        return Button;
    };
    RadioButton1 = Action("RadioButton1", 0,
                          "CHECK DATA AUTOMATICALLY AND LAUNCH UTILITY FOR VISUAL METADATA AND DATA ERRORS "
                          "CORRECTION");
    RadioButton2 = Action("RadioButton2", 1, "CHECK AUTOMATICALLY AND COME BACK TO THE FIRST STEP");
    RadioButton3 = Action("RadioButton3", 2, "CHECK AUTOMATICALLY AND CLOSE MARLIN CONTROL UNIT");
    RadioButton4 = Action("RadioButton4", 3,
                          "LAUNCH UTILITY FOR VISUAL METADATA AND DATA CHECK AND CORRECTION OF POSSIBLE ERRORS");
    RadioButton4->setChecked(true);
    CheckBox3 = MakeControl<QCheckBox>(GroupBox2, "CheckBox3", Latin1("CRUISE INFO"));
}

void TForm1::BuildProgressPanel()
{
    // NEXT and BACK at the right; to their left the run's progress: the
    // Esc hint on the first line, the total and the cruise gauge under it,
    // each after its label. The cruise label's text grows with the
    // cruise's name; its column grows with it (the window too, if need
    // be) rather than cut it.
    Panel19->setMinimumHeight(44);
    auto *Grid = MakeControl<QGridLayout>(Panel19, "Panel19Layout");
    Grid->setContentsMargins(5, 2, 5, 2);
    Grid->setVerticalSpacing(1);
    BitBtn1 = MakeControl<QPushButton>(Panel19, "BitBtn1", Latin1("NEXT"));
    BitBtn2 = MakeControl<QPushButton>(Panel19, "BitBtn2", Latin1("BACK"));
    BitBtn2->setEnabled(false);
    Label1 = MakeControl<QLabel>(Panel19, "Label1");
    Label11 = MakeControl<QLabel>(Panel19, "Label11", Latin1("Cruise"));
    Label12 = MakeControl<QLabel>(Panel19, "Label12", Latin1("Total"));
    Gauge1 = MakeControl<QProgressBar>(Panel19, "Gauge1");
    Gauge2 = MakeControl<QProgressBar>(Panel19, "Gauge2");
    for (QProgressBar *Gauge : {Gauge1, Gauge2}) {
        Gauge->setRange(0, 100);
        Gauge->setValue(0);
        Gauge->resize(150, 16);
        Gauge->setMinimumWidth(60);
        Gauge->setFixedHeight(16);
    }
    Label1->resize(330, 16);
    Grid->addWidget(Label1, 0, 0, 1, 2);
    Grid->addWidget(Label12, 1, 0);
    Grid->addWidget(Gauge1, 1, 1);
    Grid->addWidget(Label11, 2, 0);
    Grid->addWidget(Gauge2, 2, 1);
    Grid->addWidget(BitBtn2, 0, 2, 3, 1, Qt::AlignVCenter);
    Grid->addWidget(BitBtn1, 0, 3, 3, 1, Qt::AlignVCenter);
    Grid->setColumnStretch(1, 1);
    for (QWidget *W : std::initializer_list<QWidget *>{Label1, Label11, Label12, Gauge1, Gauge2})
        W->hide();
}

void TForm1::BindHandlers()
{
    const auto Click = [this](QPushButton *AButton, void (TForm1::*AHandler)()) {
        QObject::connect(AButton, &QPushButton::clicked, this, [this, AHandler] { RunGuarded([this, AHandler] {
                             (this->*AHandler)();
                         }); });
    };
    Click(BitBtn1, &TForm1::BitBtn1Click);
    Click(BitBtn2, &TForm1::BitBtn2Click);
    Click(BitBtn8, &TForm1::ChangeDatabase);
    Click(BitBtn3, &TForm1::BitBtn3Click);
    Click(BitBtn4, &TForm1::BitBtn4Click);
    Click(BitBtn5, &TForm1::BitBtn5Click);
    RadioGroup1->OnClick = [this] { RunGuarded([this] { RadioGroup1Click(); }); };
    for (QRadioButton *Button : {RadioButton1, RadioButton2, RadioButton3, RadioButton4})
        QObject::connect(Button, &QRadioButton::clicked, this,
                         [this, Button] { RunGuarded([this, Button] { RadioButton1Click(Button); }); });

    const auto ListClick = [this](TCheckListBox *AList, void (TForm1::*AHandler)()) {
        const auto Run = [this, AHandler] { RunGuarded([this, AHandler] { (this->*AHandler)(); }); };
        InstallItemClick(*AList, Run);
        AList->OnClickCheck = [Run](TCheckListBox &) { Run(); };
    };
    ListClick(CheckListBox1, &TForm1::CheckListBox1Click);
    ListClick(CheckListBox5, &TForm1::CheckListBox5Click);
    ListClick(CheckListBox2, &TForm1::CheckListBox2Click);
    ListClick(CheckListBox6, &TForm1::CheckListBox6Click);
    ListClick(CheckListBox7, &TForm1::CheckListBox7Click);
    QObject::connect(PageControl4, &QTabWidget::currentChanged, this,
                     [this] { RunGuarded([this] { PageControl4Change(); }); });
    QObject::connect(Pagecontrol1, &QTabWidget::currentChanged, this,
                     [this] { RunGuarded([this] { Pagecontrol1Change(); }); });
    QObject::connect(CheckBox6, &QCheckBox::clicked, this, [this] { RunGuarded([this] { CheckBox6Click(); }); });
    for (QCheckBox *Box : {CheckBox7, CheckBox8})
        QObject::connect(Box, &QCheckBox::clicked, this, [this] { RunGuarded([this] { CheckBox7Click(); }); });
    QObject::connect(CheckBox9, &QCheckBox::clicked, this, [this] { RunGuarded([this] { CheckBox9Click(); }); });
    QObject::connect(Edit4, &QLineEdit::textChanged, this, [this] { RunGuarded([this] { Edit4Change(); }); });
    QObject::connect(ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
                     [this] { RunGuarded([this] { ShellTreeView1Change(); }); });
    QObject::connect(FileListBox1, &QListWidget::currentItemChanged, this,
                     [this] { RunGuarded([this] { FileListBox1Change(); }); });
    QObject::connect(FileListBox1, &QListWidget::itemDoubleClicked, this,
                     [this] { RunGuarded([this] { FileListBox1DblClick(); }); });

    // The list buttons: the shared check-list routines on their list; tick
    // all and tick highlighted on a cruise list also allow NEXT.
    TCheckListBox *ButtonLists[5] = {CheckListBox6, CheckListBox7, CheckListBox1, CheckListBox5, CheckListBox2};
    void (*const Routines[5])(TCheckListBox &) = {CheckListCheckAll, CheckListUncheckAll, CheckListInvert,
                                                  CheckListCheckSelected, CheckListUncheckSelected};
    for (int L = 0; L < 5; ++L)
        for (int R = 0; R < 5; ++R) {
            TCheckListBox *List = ButtonLists[L];
            const auto Routine = Routines[R];
            const bool EnablesNext = (L == 2 || L == 3) && (R == 0 || R == 3);
            QObject::connect(SpeedButtons[5 * L + R], &QToolButton::clicked, this,
                             [this, List, Routine, EnablesNext] {
                                 RunGuarded([&] {
                                     Routine(*List);
                                     if (EnablesNext)
                                         BitBtn1->setEnabled(true);
                                 });
                             });
        }
}

// ---- layout handlers -------------------------------------------------------------

void TForm1::FormShow()
{
    Panel1Scroll->setMinimumHeight(RoundHalfEven(height() / 2.0));
    // Room for the mode choice centred with "Change Database" below it, in
    // the fonts the window shows.
    const QSize Modes = RadioGroup1->sizeHint(), Change = BitBtn8->sizeHint();
    Panel1->setMinimumSize(std::max(Modes.width(), Change.width()) + 8, Modes.height() + 2 * (Change.height() + 12));
    // Where the screen has room the page column takes that width (no
    // scrolling); on a narrow one it keeps half of it and the page scrolls.
    Panel1Scroll->setMinimumWidth(std::min(Panel1->minimumWidth() + 2 * Panel1Scroll->frameWidth(),
                                           ScreenWorkArea().width() / 2));
    Panel19->setFixedHeight(3 * BitBtn1->sizeHint().height());
}

void TForm1::Panel1Resize()
{
    const int W = Panel1->width();
    const int H = Panel1->height();
    const QSize Modes = RadioGroup1->sizeHint();
    RadioGroup1->setGeometry((W - Modes.width()) / 2, (H - Modes.height()) / 2, Modes.width(), Modes.height());
    const QSize Change = BitBtn8->sizeHint();
    BitBtn8->setGeometry(W - Change.width() - 10, H - Change.height() - 10, Change.width(), Change.height());

    Pagecontrol1->setGeometry(4, 4, W - 8, H - 8);
    const int LabelHeight = Label2->sizeHint().height();
    Label2->setGeometry(8, 6, W - 16, LabelHeight);
    Panel8->setGeometry(4, LabelHeight + 10, W - 8, H - LabelHeight - 14);

    // The action choice: a band of two thirds of the panel's height,
    // centred, with its buttons at the top, a quarter, a half and three
    // quarters down, and CRUISE INFO at its bottom.
    GroupBox2->setGeometry(4, 4, W - 8, H - 8);
    const int Band = RoundHalfEven(GroupBox2->height() * 2 / 3.0);
    const int Top = (GroupBox2->height() - Band) / 2;
    const int Left = 16;
    const int Width = GroupBox2->width() - 2 * Left;
    const auto Place = [&](QWidget *AControl, int AY) {
        const int Height =
            AControl->hasHeightForWidth() ? AControl->heightForWidth(Width) : AControl->sizeHint().height();
        AControl->setGeometry(Left, AY, Width, Height);
    };
    Place(RadioButton4, Top);
    Place(RadioButton1, Top + Band / 4);
    Place(RadioButton2, Top + Band / 2);
    Place(RadioButton3, Top + 3 * Band / 4);
    Place(CheckBox3, Top + Band);
}

bool TForm1::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Event->type() == QEvent::Resize && Watched == Panel1)
        Panel1Resize();
    return QWidget::eventFilter(Watched, Event);
}

void TForm1::showEvent(QShowEvent *Event)
{
    QWidget::showEvent(Event);
    if (!Event->spontaneous())
        FormShow();
}

void TForm1::keyPressEvent(QKeyEvent *Event)
{
    // Enter presses the focused NEXT, BACK or CHECK as on any form.
    if (!TakeEnter(*this, Event))
        QWidget::keyPressEvent(Event);
}

void TForm1::closeEvent(QCloseEvent *Event)
{
    // A run (or its write-back) under way ends first; the window closes
    // when it does. Esc still interrupts it.
    if (FRunBusy) {
        FClosePending = true;
        Event->ignore();
        return;
    }
    if (!FClosing) {
        FClosing = true;
        RunGuarded([this] { FormClose(); });
    }
    Event->accept();
}
