// The program tests' private installations, direct database reads and
// window pictures.
#include "tests/app_support/AppTestSupport.h"

#include "app/WorkTables.h"
#include "app/uQCMain.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/toolkit/TApplication.h"
#include "tests/support/TestEnvironment.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTextDocument>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <map>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <typeinfo>
#include <unistd.h>

namespace fs = std::filesystem;

namespace apptest {

namespace {

std::atomic<int> GInstallations{0};

} // namespace

std::string ProgramFolder() { return testsupport::ProgramDir(); }

TTestInstallation::TTestInstallation()
{
    const fs::path Dir = fs::temp_directory_path() /
                         ("marlinqc_" + std::to_string(::getpid()) + "_" + std::to_string(GInstallations++));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    const fs::path Source = ProgramFolder();
    for (const char *Folder : {"Cfg", "Maps", "Imgs", "doc", "QCCont", "SoftDB", "BDE", "temp"}) {
        if (fs::exists(Source / Folder))
            fs::copy(Source / Folder, Dir / Folder, fs::copy_options::recursive);
        else
            fs::create_directories(Dir / Folder);
    }
    // Only the installation data: work tables left in the build's own
    // folder by a run of the program are not part of it.
    for (const char *Stale : {"worktables.sqlite3", "worktables.sqlite3-wal", "worktables.sqlite3-shm"})
        fs::remove(Dir / "SoftDB" / Stale);
    fs::create_directories(Dir / "demo");
    fs::copy_file(Source / "demo" / "marlin_demo.mdb", Dir / "demo" / "marlin_demo.mdb");
    FDir = Dir.string() + "/";
    SetDatabaseSetting("demo/marlin_demo.mdb");
    SetProgramFileName(FDir + "marlinqc");
}

TTestInstallation::~TTestInstallation()
{
    SetProgramFileName("");
    std::error_code Ec;
    fs::remove_all(FDir, Ec);
}

void TTestInstallation::SetDatabaseSetting(const std::string &AValue) const
{
    // Written as the installation writes it, not through the program's
    // own ini routines that the tests check.
    const std::string Ini = FDir + "Cfg/main.ini";
    std::ifstream In(Ini);
    std::string Line, Out;
    bool InDatabase = false;
    while (std::getline(In, Line)) {
        if (!Line.empty() && Line[0] == '[') {
            InDatabase = Line == "[Database]";
            if (InDatabase)
                continue;
        }
        if (InDatabase)
            continue;
        Out += Line + "\n";
    }
    In.close();
    if (!AValue.empty())
        Out = "[Database]\nDatabaseName=" + AValue + "\n\n" + Out;
    std::ofstream(Ini, std::ios::trunc) << Out;
}

std::string TTestInstallation::DatabaseSetting() const
{
    std::ifstream In(FDir + "Cfg/main.ini");
    std::string Line;
    bool InDatabase = false;
    while (std::getline(In, Line)) {
        if (!Line.empty() && Line[0] == '[')
            InDatabase = Line == "[Database]";
        else if (InDatabase && Line.rfind("DatabaseName=", 0) == 0)
            return Line.substr(13);
    }
    return std::string();
}

std::string TTestInstallation::CopyDatabase(const std::string &ARelativePath) const
{
    const fs::path Target = fs::path(FDir) / ARelativePath;
    fs::create_directories(Target.parent_path());
    fs::copy_file(DbPath(), Target, fs::copy_options::overwrite_existing);
    return Target.string();
}

std::string SaveScreenshot(QWidget &AWidget, const std::string &AName)
{
    if (!AWidget.isVisible())
        AWidget.show();
    ProcessMessages();
    const fs::path Dir = APP_SUPPORT_ARTEFACT_DIR;
    fs::create_directories(Dir);
    const std::string Path = (Dir / (AName + ".png")).string();
    AWidget.grab().toImage().save(QString::fromStdString(Path), "PNG");
    return Path;
}

// ---- captions a reader cannot read -----------------------------------------------

namespace {

// A caption as its control draws it, in the control's coordinates (the
// root's once collected): the rectangle the whole text takes (placed as
// the control aligns it) and the room the control gives the text.
struct TCaption {
    const QWidget *Control = nullptr;
    QString Text;
    QRect Needed;
    QRect Room;
};

// A control whose inner widgets (a spin box's edit, a list's viewport, a
// tab bar's scroll buttons) are its own business: judged as one piece.
bool IsAtomic(const QWidget *W)
{
    if (qobject_cast<const QScrollArea *>(W))
        return false; // it holds a form of its own
    return qobject_cast<const QAbstractButton *>(W) || qobject_cast<const QLabel *>(W) ||
           qobject_cast<const QLineEdit *>(W) || qobject_cast<const QAbstractSpinBox *>(W) ||
           qobject_cast<const QComboBox *>(W) || qobject_cast<const QAbstractScrollArea *>(W) ||
           qobject_cast<const QProgressBar *>(W) || qobject_cast<const QAbstractSlider *>(W) ||
           qobject_cast<const QTabBar *>(W);
}

bool HasVisibleChildWidget(const QWidget *W)
{
    for (const QObject *Child : W->children())
        if (auto *C = qobject_cast<const QWidget *>(Child); C && !C->isWindow() && !C->isHidden())
            return true;
    return false;
}

QString Name(const QWidget *W)
{
    const QString N = W->objectName();
    return N.isEmpty() ? QString::fromLatin1(W->metaObject()->className()) : N;
}

std::string Describe(const TCaption &C)
{
    return (Name(C.Control) + QStringLiteral(" \"") + C.Text + QStringLiteral("\"")).toStdString();
}

std::string SizeText(const QSize &S) { return std::to_string(S.width()) + "x" + std::to_string(S.height()); }

// The part of the root that shows a widget: its rectangle cut by every
// window between it and the root. Inside a scrolled view the view's own
// edge is no cut: the reader scrolls.
QRect ShownRect(const QWidget *W, const QWidget &ARoot)
{
    QRect Shown(W->mapTo(&ARoot, QPoint(0, 0)), W->size());
    for (const QWidget *P = W->parentWidget(); P && P != &ARoot; P = P->parentWidget()) {
        if (auto *Area = qobject_cast<const QAbstractScrollArea *>(P->parentWidget()); Area && Area->viewport() == P)
            return Shown;
        Shown &= QRect(P->mapTo(&ARoot, QPoint(0, 0)), P->size());
    }
    return Shown & ARoot.rect();
}

QString WithoutMnemonics(const QString &AText)
{
    QString Out;
    for (int I = 0; I < AText.size(); ++I) {
        if (AText[I] == QLatin1Char('&') && I + 1 < AText.size())
            ++I;
        Out += AText[I];
    }
    return Out;
}

int TextWidth(const QFontMetrics &AMetrics, const QString &AText)
{
    return AMetrics.size(Qt::TextShowMnemonic, AText).width();
}

void AddLabel(const QLabel &L, std::vector<TCaption> &ACaptions)
{
    if (L.text().isEmpty())
        return;
    QRect Room = L.contentsRect().adjusted(L.margin(), L.margin(), -L.margin(), -L.margin());
    int Indent = L.indent();
    if (Indent < 0 && L.frameWidth() > 0)
        Indent = L.fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
    if (Indent > 0) {
        const Qt::Alignment A = QStyle::visualAlignment(L.layoutDirection(), L.alignment());
        if (A & Qt::AlignLeft)
            Room.setLeft(Room.left() + Indent);
        else if (A & Qt::AlignRight)
            Room.setRight(Room.right() - Indent);
    }
    QSize Size;
    QString Shown = L.text();
    const bool Rich = L.textFormat() == Qt::RichText ||
                      (L.textFormat() == Qt::AutoText && Qt::mightBeRichText(L.text()));
    if (Rich) {
        QTextDocument Doc;
        Doc.setDefaultFont(L.font());
        Doc.setDocumentMargin(0);
        Doc.setHtml(L.text());
        Shown = Doc.toPlainText();
        if (L.wordWrap())
            Doc.setTextWidth(Room.width());
        Size = QSize(int(std::ceil(L.wordWrap() ? Doc.idealWidth() : Doc.size().width())),
                     int(std::ceil(Doc.size().height())));
    } else {
        // A label shows its '&' as a mnemonic only when it has a buddy. The
        // size is taken unaligned: centring in a scratch rectangle rounds
        // its height up by a pixel the label itself does not ask for.
        const int Flags = (L.wordWrap() ? Qt::TextWordWrap : 0) | (L.buddy() ? Qt::TextShowMnemonic : 0);
        const QFontMetrics M = L.fontMetrics();
        Size = L.wordWrap() ? M.boundingRect(QRect(0, 0, Room.width(), 1 << 20), Flags, L.text()).size()
                            : M.size(Flags, L.text());
        if (L.buddy())
            Shown = WithoutMnemonics(Shown);
    }
    ACaptions.push_back({&L, Shown, QStyle::alignedRect(L.layoutDirection(), L.alignment(), Size, Room), Room});
}

void AddButton(const QAbstractButton &B, std::vector<TCaption> &ACaptions)
{
    if (B.text().isEmpty())
        return;
    QStyleOptionButton Option;
    Option.initFrom(&B);
    Option.text = B.text();
    Option.icon = B.icon();
    Option.iconSize = B.iconSize();
    const QFontMetrics M = B.fontMetrics();
    const int Icon = B.icon().isNull() ? 0 : B.iconSize().width() + 4;
    QSize Size(Icon + TextWidth(M, B.text()), M.height());
    QRect Room;
    Qt::Alignment Align = Qt::AlignCenter;
    if (qobject_cast<const QCheckBox *>(&B) || qobject_cast<const QRadioButton *>(&B)) {
        Room = B.style()->subElementRect(qobject_cast<const QCheckBox *>(&B) ? QStyle::SE_CheckBoxContents
                                                                           : QStyle::SE_RadioButtonContents,
                                         &Option, &B);
        Align = Qt::AlignLeft | Qt::AlignVCenter;
        // A box whose height follows its width wraps its caption.
        if (B.hasHeightForWidth())
            Size = M.boundingRect(QRect(0, 0, Room.width(), 1 << 20), Qt::TextWordWrap | Qt::TextShowMnemonic, B.text())
                       .size();
    } else if (auto *P = qobject_cast<const QPushButton *>(&B)) {
        if (P->isFlat())
            Option.features |= QStyleOptionButton::Flat;
        if (P->isDefault())
            Option.features |= QStyleOptionButton::DefaultButton;
        if (P->autoDefault())
            Option.features |= QStyleOptionButton::AutoDefaultButton;
        Room = B.style()->subElementRect(QStyle::SE_PushButtonContents, &Option, &B);
    } else if (auto *T = qobject_cast<const QToolButton *>(&B)) {
        const bool HasIcon = !B.icon().isNull();
        if (HasIcon && T->toolButtonStyle() == Qt::ToolButtonIconOnly)
            return;
        if (HasIcon && T->toolButtonStyle() == Qt::ToolButtonTextUnderIcon)
            Size = QSize(std::max(B.iconSize().width(), TextWidth(M, B.text())), B.iconSize().height() + M.height());
        else if (HasIcon && T->toolButtonStyle() == Qt::ToolButtonTextOnly)
            Size = QSize(TextWidth(M, B.text()), M.height());
        const int Frame = B.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &Option, &B);
        Room = B.rect().adjusted(Frame, Frame, -Frame, -Frame);
    } else {
        Room = B.rect();
    }
    ACaptions.push_back(
        {&B, WithoutMnemonics(B.text()), QStyle::alignedRect(B.layoutDirection(), Align, Size, Room), Room});
}

QRect GroupBoxTitleRect(const QGroupBox &G)
{
    QStyleOptionGroupBox Option;
    Option.initFrom(&G);
    Option.text = G.title();
    Option.lineWidth = 1;
    Option.midLineWidth = 0;
    Option.textAlignment = G.alignment();
    Option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (G.isCheckable())
        Option.subControls |= QStyle::SC_GroupBoxCheckBox;
    if (G.isFlat())
        Option.features |= QStyleOptionFrame::Flat;
    return G.style()->subControlRect(QStyle::CC_GroupBox, &Option, QStyle::SC_GroupBoxLabel, &G);
}

void AddGroupBox(const QGroupBox &G, std::vector<TCaption> &ACaptions)
{
    if (!G.title().isEmpty())
        ACaptions.push_back({&G, WithoutMnemonics(G.title()), GroupBoxTitleRect(G), G.rect()});
}

void AddTabs(const QTabBar &Bar, std::vector<TCaption> &ACaptions)
{
    const QFontMetrics M = Bar.fontMetrics();
    for (int I = 0; I < Bar.count(); ++I) {
        if (!Bar.isTabVisible(I) || Bar.tabText(I).isEmpty())
            continue;
        QStyleOptionTab Option;
        Option.initFrom(&Bar);
        const int Frame = Bar.style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &Option, &Bar);
        const int Icon = Bar.tabIcon(I).isNull() ? 0 : Bar.iconSize().width() + 4;
        const QRect Room = Bar.tabRect(I);
        const QSize Size(Frame + Icon + TextWidth(M, Bar.tabText(I)), std::min(M.height(), Room.height()));
        ACaptions.push_back({&Bar, WithoutMnemonics(Bar.tabText(I)),
                             QStyle::alignedRect(Bar.layoutDirection(), Qt::AlignCenter, Size, Room), Room});
    }
}

bool IsUnder(const QWidget *W, const QWidget *AAncestor)
{
    for (const QWidget *P = W->parentWidget(); P; P = P->parentWidget())
        if (P == AAncestor)
            return true;
    return false;
}

// True when A is painted after (over) B: they are compared through the
// children of their nearest common ancestor, the later child on top.
bool PaintedOver(const QWidget *A, const QWidget *B)
{
    for (const QWidget *PA = A; PA; PA = PA->parentWidget())
        for (const QWidget *PB = B; PB; PB = PB->parentWidget())
            if (PA->parentWidget() && PA->parentWidget() == PB->parentWidget()) {
                const QObjectList &Siblings = PA->parentWidget()->children();
                return Siblings.indexOf(const_cast<QWidget *>(PA)) > Siblings.indexOf(const_cast<QWidget *>(PB));
            }
    return false;
}

// Whether a control hides part of the text rectangle AText: a control or
// a widget that paints itself hides all it covers; a filled holder all,
// when it is painted over the text; a framed holder its frame (and a group
// box its title); a bare holder nothing.
bool Covers(const QWidget *V, const QRect &AShown, const QRect &AText, const QWidget *ACaptionControl,
            const QWidget &ARoot)
{
    if (!AShown.intersects(AText))
        return false;
    if (IsAtomic(V))
        return true;
    if (V->autoFillBackground())
        return PaintedOver(V, ACaptionControl);
    const QPoint Origin = V->mapTo(&ARoot, QPoint(0, 0));
    if (auto *G = qobject_cast<const QGroupBox *>(V)) {
        if (!G->title().isEmpty() && GroupBoxTitleRect(*G).translated(Origin).intersects(AText))
            return true;
        return !G->contentsRect().translated(Origin).contains(AText);
    }
    if (auto *F = qobject_cast<const QFrame *>(V))
        return F->frameShape() != QFrame::NoFrame && !F->contentsRect().translated(Origin).contains(AText);
    return typeid(*V) != typeid(QWidget) && !HasVisibleChildWidget(V);
}

} // namespace

std::vector<std::string> CaptionProblems(const QWidget &ARoot)
{
    // Every widget the reader sees, with the captions among them; the
    // inner widgets of a control and windows of their own are left out.
    std::vector<const QWidget *> Shown;
    std::vector<TCaption> Captions;
    std::vector<const QWidget *> Pending{&ARoot};
    while (!Pending.empty()) {
        const QWidget *W = Pending.back();
        Pending.pop_back();
        if (W != &ARoot) {
            if (W->isWindow() || !W->isVisibleTo(&ARoot) || W->width() <= 0 || W->height() <= 0)
                continue;
            Shown.push_back(W);
        }
        if (auto *L = qobject_cast<const QLabel *>(W))
            AddLabel(*L, Captions);
        else if (auto *B = qobject_cast<const QAbstractButton *>(W))
            AddButton(*B, Captions);
        else if (auto *G = qobject_cast<const QGroupBox *>(W))
            AddGroupBox(*G, Captions);
        else if (auto *T = qobject_cast<const QTabBar *>(W))
            AddTabs(*T, Captions);
        if (W != &ARoot && IsAtomic(W))
            continue;
        const QObjectList &Children = W->children();
        for (auto It = Children.rbegin(); It != Children.rend(); ++It)
            if (auto *C = qobject_cast<const QWidget *>(*It))
                Pending.push_back(C);
    }

    for (TCaption &C : Captions) {
        const QPoint Origin = C.Control->mapTo(&ARoot, QPoint(0, 0));
        C.Needed.translate(Origin);
        C.Room.translate(Origin);
    }
    std::vector<std::string> Problems;
    for (const TCaption &C : Captions) {
        const QRect Visible = C.Control == &ARoot ? ARoot.rect() : ShownRect(C.Control, ARoot);
        if (C.Needed.width() > C.Room.width() || C.Needed.height() > C.Room.height())
            Problems.push_back(Describe(C) + ": its text takes " + SizeText(C.Needed.size()) +
                               " px, its control gives " + SizeText(C.Room.size()));
        else if (!Visible.contains(C.Needed))
            Problems.push_back(Describe(C) + ": its text runs past the edge of " +
                               Name(C.Control->parentWidget() ? C.Control->parentWidget() : C.Control).toStdString());
    }
    std::set<std::pair<const QWidget *, const QWidget *>> Reported;
    for (const TCaption &C : Captions) {
        const QRect Text = C.Needed & C.Room;
        for (const QWidget *V : Shown) {
            if (V == C.Control || IsUnder(C.Control, V))
                continue;
            // A group box's own controls may not lie over its title; other
            // holders' controls lie inside them by right.
            if (IsUnder(V, C.Control) && !qobject_cast<const QGroupBox *>(C.Control))
                continue;
            if (!Covers(V, ShownRect(V, ARoot), Text, C.Control, ARoot))
                continue;
            const auto Pair = std::minmax(C.Control, V);
            if (!Reported.insert(Pair).second)
                continue;
            Problems.push_back(Name(V).toStdString() + " lies over the text of " + Describe(C));
        }
    }
    return Problems;
}

void KeepProfilePrints(const std::string &AStationDb, const std::string &AWorkDir, const std::string &ALevelTable,
                       const std::string &ACastWhere)
{
    const std::string Values = ALevelTable == "PTS_Data" ? "TEMP, PSAL, FPRES, FTEMP, FPSAL"
                                                         : ALevelTable + ", NULL, FPRES, F" + ALevelTable + ", NULL";
    std::map<std::string, TProfilePrint> Prints;
    for (const TRow &L : SqliteRows(AStationDb, "select ID_Cast, PRES, " + Values + " from " + ALevelTable +
                                                    " where " + ACastWhere)) {
        double V[6] = {};
        for (size_t C = 0; C < 6; ++C)
            std::from_chars(L[C + 1].data(), L[C + 1].data() + L[C + 1].size(), V[C]);
        Prints[L[0]].AddLevel(V[0], L[1] == "<null>", V[1], L[2] == "<null>", V[2], L[3] == "<null>");
        Prints[L[0]].AddFlags(V[0], L[1] == "<null>", int(V[3]), L[4] == "<null>", int(V[4]), L[5] == "<null>",
                              int(V[5]), L[6] == "<null>");
    }
    const std::string Work = AWorkDir + LocalDbFileName, Table = LocalQuoteName(DbTablePrefix + "-Cast_TitlesFlags");
    for (const auto &[Cast, Print] : Prints) {
        TStationColumns Station;
        for (const TRow &C : SqliteRows(AStationDb, "select Date_Cast, Time_Cast, Lon, Lat from Cast_Titles where ID_Cast = " + Cast)) {
            double *Values[4] = {&Station.Date, &Station.Time, &Station.Lon, &Station.Lat};
            bool *Empty[4] = {&Station.DateEmpty, &Station.TimeEmpty, &Station.LonEmpty, &Station.LatEmpty};
            for (size_t I = 0; I < 4; ++I) {
                *Empty[I] = C[I] == "<null>";
                std::from_chars(C[I].data(), C[I].data() + C[I].size(), *Values[I]);
            }
        }
        for (const TRow &R : SqliteRows(Work, "select ifnull(ProfilePrints, '') from " + Table + " where ID_Cast = " + Cast))
            SqliteExec(Work, "update " + Table + " set ProfilePrints = '" +
                                 WithProfilePrint(R[0], ALevelTable, TJudgedPrint(Print, Station).Text()) + "' where ID_Cast = " + Cast);
    }
}

} // namespace apptest
