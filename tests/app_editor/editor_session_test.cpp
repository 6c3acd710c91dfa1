// Seeded random operator sessions over both editor grids, MANUAL and AUTO QC
// (MARLIN_EDITOR_SESSIONS sets the number of seeds): after each step the
// station database has changed only in the cell typed into, to the text typed.
#include "tests/app_editor/edit_fixture.h"

#include <QComboBox>
#include <QDate>
#include <QListWidget>
#include <QTime>
#include <QToolButton>

#include <cmath>
#include <random>

using namespace editortest;

namespace {

// A message box takes the focus while it is up, as on a window system.
struct TBoxesTakeFocus : TScriptedDialogs {
    int Message(const TMessageRequest &R) override
    {
        QWidget Box;
        Box.show(), Box.activateWindow(), (void)QTest::qWaitForWindowActive(&Box);
        return TScriptedDialogs::Message(R);
    }
};

// A stored value against a typed text; dates and times are kept as days.
bool SameValue(const std::string &Db, const std::string &Typed)
{
    const QString T = QString::fromStdString(Typed);
    bool Number = T.count('/') == 2 || T.contains(':');
    const double Want = T.count('/') == 2 ? double(QDate(1899, 12, 30).daysTo(QDate::fromString(T, "MM/dd/yyyy")))
                        : T.contains(':') ? QTime(0, 0).secsTo(QTime::fromString(T, Qt::ISODate)) / 86400.0
                                          : T.toDouble(&Number);
    return Number ? !Db.empty() && std::fabs(rtl::StrToFloat(Db) - Want) < 1e-6 : Db == Typed;
}

class EditorSession : public EditorEdit {};

TEST_F(EditorSession, OnlyTheCellTypedIntoChangesAndTheCursorGoesWhereTheKeySendsIt)
{
    LoadClimatology();
    Script.reset(); // the session's seam in its place
    Script = std::make_unique<TBoxesTakeFocus>();
    Open(false);
    Activate();
    // Every stored value of the cruise, by "C" or "P", the row, "." and the column.
    const auto Stored = [&] {
        std::map<std::string, std::string> S;
        for (const bool C : {true, false}) {
            const QStringList Cols = QString(C ? "DATE_CAST TIME_CAST LON LAT DEPTH STATIONNAME FLON FLAT FDT FD"
                                               : "PRES FPRES TEMP FTEMP PSAL FPSAL").split(' ');
            const std::string From = C ? "Cast_Titles X where X.ID_Cruise="
                                       : "PTS_Data X, Cast_Titles T where X.ID_Cast=T.ID_Cast and T.ID_Cruise=";
            for (const auto &R : Sql("select X.rowid, X." + Cols.join(", X.").toStdString() + " from " + From +
                                     std::to_string(BlackSeaCruise)))
                for (int i = 0; i < Cols.size(); ++i)
                    S[(C ? "C" : "P") + R[0] + "." + Cols[i].toStdString()] = R[size_t(i) + 1];
        }
        return S;
    };
    // A row's identity as the grid shows it: ID_Cast, or the level's pressure.
    const auto Id = [&](TDBGrid *G, int Row) {
        for (int c = 0; c < G->Model().columnCount(); ++c)
            if (rtl::SameText(G->Model().ColumnField(c)->FieldName(), G == F->DBGrid1 ? "ID_Cast" : "PRES"))
                return G->Model().data(G->Model().index(Row, c), Qt::EditRole).toString().toStdString();
        return std::string();
    };
    // The stored cell the grid's current cell shows, "" when it takes no value.
    const auto Cell = [&](TDBGrid *G) {
        const QModelIndex I = G->currentIndex();
        if (!I.isValid() || !(G->Model().flags(I) & Qt::ItemIsEditable))
            return std::string();
        const std::string Row = Id(G, I.row());
        const std::string Where = G == F->DBGrid1 ? "Cast_Titles where ID_Cast=" + Row
                                                  : "PTS_Data where ID_Cast=" + std::to_string(F->CurCastId) +
                                                        (Row.empty() ? " and PRES is null" : " and PRES=" + Row);
        return (G == F->DBGrid1 ? "C" : "P") + Sql("select rowid from " + Where)[0][0] + "." +
               rtl::UpperCase(G->SelectedField()->FieldName());
    };
    const auto FocusGrid = [&]() -> TDBGrid * {
        QWidget *W = QApplication::focusWidget();
        return W && (W == F->DBGrid1 || F->DBGrid1->isAncestorOf(W)) ? F->DBGrid1
               : W && (W == F->DBGrid2 || F->DBGrid2->isAncestorOf(W)) ? F->DBGrid2 : nullptr;
    };
    const auto Click = [](QAbstractItemView *G, const QModelIndex &I) {
        G->scrollTo(I);
        QTest::mouseClick(G->viewport(), Qt::LeftButton, {}, G->visualRect(I).center());
    };
    const auto Key = [&](int K, Qt::KeyboardModifiers M = {}) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : F, Qt::Key(K), M);
        QCoreApplication::processEvents(); // Return commits on a queued call
    };
    const int Seeds = std::getenv("MARLIN_EDITOR_SESSIONS") ? std::atoi(std::getenv("MARLIN_EDITOR_SESSIONS")) : 5;
    const int Ends[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Tab, Qt::Key_Down, Qt::Key_Up, Qt::Key_Escape, 0};
    for (int Seed = 1; Seed <= Seeds && !HasFailure(); ++Seed) {
        std::mt19937 R{unsigned(Seed)};
        auto N = [&](int n) { return std::uniform_int_distribution<int>(0, std::max(n, 1) - 1)(R); };
        for (int Step = 0; Step < 40 && !HasFailure(); ++Step) {
            SCOPED_TRACE("seed " + std::to_string(Seed) + " step " + std::to_string(Step));
            const auto Before = Stored();
            const size_t Boxes = Script->Messages.size();
            std::string Target, Typed; // the cell typed into and the text
            bool Must = false;         // the text differs from the one shown: it is stored
            TDBGrid *G = N(2) ? F->DBGrid2 : F->DBGrid1;
            const int Kind = N(10);
            if (Kind < 2)
                Click(G, G->Model().index(N(G->Model().rowCount()), N(G->Model().columnCount())));
            else if (Kind == 2)
                Key(std::vector<int>{Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right, Qt::Key_Tab}[size_t(N(5))]);
            else if (Kind == 3)
                F->CheckBox1->click();
            else if (Kind == 4)
                Click(F->ListBox1, F->ListBox1->model()->index(0, 0)); // the cruise again
            else if (Kind == 5) {
                if (!F->SpeedButton15->isChecked())
                    F->SpeedButton15->click();
                if (F->ActiveEditGrid && F->BitBtn1->isEnabled() && !(Target = Cell(F->ActiveEditGrid)).empty()) {
                    Typed = F->ComboBox1->currentText().toStdString();
                    QTest::mouseClick(F->BitBtn1, Qt::LeftButton);
                }
            } else if ((G = FocusGrid())) {
                // Values the editor takes (in the Black Sea), or refuses: a flag 7, a pressure another level
                // has; into a cell that takes none (or no cell), 6.44 then Down.
                const QModelIndex At = G->currentIndex();
                const std::string Column = (Target = Cell(G)).substr(Target.find('.') + 1), Was = Id(G, At.row());
                const int Lo = Column == "LON" ? 30 : Column == "LAT" ? 42 : Column == "DEPTH" ? 100 : 5;
                Typed = Target.empty()          ? "6.44"
                        : Column[0] == 'F'      ? (N(5) ? std::to_string(1 + N(4)) : "7")
                        : Column == "PRES"      ? std::to_string(1 + N(120)) + "5"
                        : Column == "DATE_CAST" ? QDate(2002, 1, 1).addDays(N(60)).toString("MM/dd/yyyy").toStdString()
                        : Column == "TIME_CAST" ? QTime(N(24), N(60)).toString("hh:mm").toStdString()
                        : Column == "STATIONNAME" ? "S" + std::to_string(1 + N(999))
                                                : std::to_string(Lo + N(9)) + "." + std::to_string(10 + N(90));
                Must = !Target.empty() && G->Model().data(At, Qt::EditRole).toString().toStdString() != Typed;
                if (!Target.empty() && N(2))
                    Key(Qt::Key_F2);
                if (!Target.empty())
                    Key(Qt::Key_A, Qt::ControlModifier);
                for (char Ch : Typed)
                    QTest::keyClick(QApplication::focusWidget(), Ch);
                const int Rows = G->Model().rowCount();
                const int End = Target.empty() ? Qt::Key_Down : Rows > 1 ? Ends[N(7)] : Qt::Key_Escape;
                if (End)
                    Key(End);
                else // a click on another row
                    Click(G, G->Model().index((At.row() + 1 + N(Rows - 1)) % Rows, N(G->Model().columnCount())));
                if (End == Qt::Key_Escape)
                    Target.clear(), Must = false;
                Activate(); // the window system, after a box
                const bool Refused = Script->Messages.size() != Boxes, Tab = End == Qt::Key_Tab && !Refused;
                if (End && !Target.empty() && (!Tab || At.column() + 1 < G->Model().columnCount())) {
                    ASSERT_EQ(FocusGrid(), G) << Typed << " ended by " << End;
                    int Now = -1; // the edited row, by what it is
                    for (int r = 0; r < Rows; ++r)
                        Now = SameValue(Id(G, r), Refused || Column != "PRES" ? Was : Typed) ? r : Now;
                    const int Move = Refused ? 0 : End == Qt::Key_Down ? 1 : End == Qt::Key_Up ? -1 : 0;
                    EXPECT_EQ(std::make_pair(G->currentIndex().row(), G->currentIndex().column()),
                              std::make_pair(std::clamp(Now + Move, 0, Rows - 1), At.column() + Tab))
                        << Typed << " ended by " << End;
                }
            }
            Activate();
            const bool Refused = Script->Messages.size() != Boxes;
            const auto After = Stored();
            for (const auto &[K, V] : After)
                ASSERT_TRUE(V == Before.at(K) || (K == Target && !Refused && SameValue(V, Typed)))
                    << K << ": " << Before.at(K) << " -> " << V << " (" << Typed << " into " << Target << ")\n"
                    << Messages();
            ASSERT_TRUE(!Must || Refused || SameValue(After.at(Target), Typed)) << Typed << " into " << Target;
        }
    }
}

} // namespace
