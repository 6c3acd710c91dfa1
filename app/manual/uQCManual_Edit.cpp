// The manual QC editor's edits: a station or level value changed in a grid
// goes at once to the station database (StoredEdit: one statement on one
// row, the value it replaced kept in the per-database undo tables, flags
// mirrored into the run's tables), "Find Undo Value" lists the earlier values
// of the cell that UNDO will write and "UNDO" puts one back as a new edit.
//
// States of a grid edit (LevelEditArmed, CastEditArmed):
//   disarmed --BeforeEdit of the grid's table--> armed
//   armed --AfterPost--> the change written (or refused and the row put back),
//            then the re-check or redraw --> disarmed
//   armed --AfterCancel or AfterClose (a refused text, a reload)--> disarmed
// Rows the editor writes itself (a refused edit put back, the duplicate mark
// shown) go through PostQuietly and are never taken for an operator's edit.
#include "app/manual/uQCManual.h"

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "app/manual/StoredEdit.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TDBGridModel.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TPaintBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QToolButton>

#include <cstdio>
#include <functional>

namespace {

bool IsDateTimeField(const TField &F) { return dynamic_cast<const TDateTimeField *>(&F) != nullptr; }

// Dates and times are kept in the undo tables in one form that the editor
// writes and reads back: "MM/dd/yyyy", and a station's time as the grid
// edits it, "hh:mm:ss" from the start of its day, with the decimals of a
// fraction of a second, so that UNDO puts back the very value stored.
std::string UndoText(const TField &F)
{
    if (F.IsNull())
        return "";
    if (IsDateTimeField(F)) {
        if (rtl::SameText(F.FieldName(), "Time_Cast"))
            return StationTimeExactText(F.AsFloat());
        char Buf[32];
        int a = 0, b = 0, c = 0;
        rtl::DecodeDate(F.AsDateTime(), a, b, c);
        std::snprintf(Buf, sizeof Buf, "%02d/%02d/%04d", b, c, a);
        return Buf;
    }
    return F.AsString();
}

bool ParseUndoDateTime(const std::string &Text, bool IsTime, rtl::TDateTime &Value)
{
    if (IsTime)
        return TryStationTime(Text, Value);
    int a = 0, b = 0, c = 0;
    if (std::sscanf(Text.c_str(), "%d/%d/%d", &a, &b, &c) != 3)
        return false;
    Value = rtl::EncodeDate(c, a, b);
    return true;
}

// Puts a text back into a field in the field's own kind.
void AssignUndoText(TField &F, const std::string &Text)
{
    if (Text.empty()) {
        F.Clear();
        return;
    }
    if (IsDateTimeField(F)) {
        rtl::TDateTime V = 0;
        if (!ParseUndoDateTime(Text, rtl::SameText(F.FieldName(), "Time_Cast"), V))
            throw rtl::EConvertError("'" + Text + "' is not a valid date or time");
        F.SetAsDateTime(V);
    } else if (dynamic_cast<TStringField *>(&F)) {
        F.SetAsString(Text);
    } else {
        F.SetAsFloat(rtl::StrToFloat(Text));
    }
}

std::vector<std::string> Snapshot(const TDataSet &D)
{
    std::vector<std::string> Texts;
    for (int i = 0; i < D.FieldCount(); ++i)
        Texts.push_back(UndoText(*D.Fields()[i]));
    return Texts;
}

// The field that a post changed: the grid's column is only a hint, since
// UNDO, the plot and the keyboard edit rows too. Columns the station
// database does not have are never the edited one.
TField *ChangedField(const TDataSet &D, const std::vector<std::string> &Before,
                     std::initializer_list<const char *> LocalOnly)
{
    for (int i = 0; i < D.FieldCount() && size_t(i) < Before.size(); ++i) {
        TField *F = D.Fields()[i];
        bool Skip = false;
        for (const char *N : LocalOnly)
            Skip = Skip || rtl::SameText(F->FieldName(), N);
        if (!Skip && UndoText(*F) != Before[size_t(i)])
            return F;
    }
    return nullptr;
}

} // namespace

// ---- rows the editor writes itself ------------------------------------------------

void TForm2::PostQuietly(TDataSet &D, const std::function<void()> &Set)
{
    const bool Was = FQuietPost;
    FQuietPost = true;
    try {
        D.Edit();
        Set();
        D.Post();
    } catch (...) {
        if (D.State() == dsEdit)
            D.Cancel();
        FQuietPost = Was;
        throw;
    }
    FQuietPost = Was;
}

// ---- level edits -------------------------------------------------------------

void TForm2::TmpDataBeforeEdit()
{
    if (FQuietPost || !ProfileGridReady || CurCastId < 0 || !ParamTbl)
        return;
    if (TField *F = DBGrid2->SelectedField()) {
        const std::string Upper = rtl::UpperCase(F->FieldName());
        if (Upper == "TEMP" || Upper == "PSAL" || Upper == "CHEM")
            if (auto *N = dynamic_cast<TNumericField *>(F); N && N->DisplayFormat() != "#0.000")
                N->SetDisplayFormat("#0.000");
    }
    LevelSnapshot = Snapshot(*ParamTbl);
    // A level stored without a pressure is found by its empty PRES; one
    // whose pressure cannot be read is empty there too, and is not it.
    EditedLevelPres = TStoredEdit::StoredPres(*ParamTbl->FieldByName("PRES"));
    EditedLevelPresUnread = TStoredEdit::UnreadPres(*ParamTbl);
    LevelEditArmed = true;
}

void TForm2::TmpDataAfterPost()
{
    if (FQuietPost || !LevelEditArmed)
        return;
    LevelEditArmed = false;
    // Whatever fails on the way, the grid is made ready for the next edit
    // again: left unready, every later edit would stay in the work table.
    // It comes back on the edited level, where it showed it, so that the
    // next value typed goes where the operator looks.
    const TDBGrid::TPlaceKeeper Keep(*DBGrid2);
    const auto Ready = [&] {
        ProfileGridReady = true;
        DataSource2->SetDataSet(ParamTbl);
    };
    try {
        bool Refused = false;
        if (VisualMode && ProfileGridReady) {
            ProfileGridReady = false;
            if (TField *F = ChangedField(*ParamTbl, LevelSnapshot, {"ID_Cast", "DENS", "FDENS"})) {
                EditedLevelField = F->FieldName();
                EditedLevelOldValue = LevelSnapshot[size_t(F->Index())];
                Refused = !WriteLevelEdit(*F);
            }
        }
        DataSource2->SetDataSet(nullptr);
        ProfileGridReady = false;
        // A refused edit left the profile as it was checked: nothing to check
        // again, as for a refused station edit. The check reloads the
        // profile and finds the edited level again by its pressure.
        if (Refused)
            PaintBox2->Repaint();
        else
            AfterLevelEdit();
    } catch (...) {
        Ready();
        throw;
    }
    Ready();
}

bool TForm2::WriteLevelEdit(TField &F)
{
    TStoredEdit Stored(*ZqEditCmmnd, *ZqEditQry, *undoqry);
    // A value the driver could not read is empty in the copy: its undo row
    // says what it was, never an empty value that UNDO would store.
    TField *Unread = ParamTbl->FindField(UnreadLevelColumn);
    const std::string Column = TStoredEdit::LevelColumn(CurParamName, F.FieldName());
    const std::string Words = Unread ? UnreadLevelWords(Unread->AsString(), Column) : std::string();
    const std::string Failure =
        Stored.SetLevel(CurParamName, CurCastId, EditedLevelPres, EditedLevelPresUnread,
                        {F.FieldName(), F.IsNull() ? std::string("NULL") : SqlFloat(F.AsFloat()),
                         Words.empty() ? EditedLevelOldValue : TStoredEdit::UnreadUndoText(Words), UndoText(F),
                         &F == FUndoField});
    if (!Failure.empty()) {
        PostQuietly(*ParamTbl, [&] { AssignUndoText(F, EditedLevelOldValue); });
        Stored.Locked() ? DBGrid2->KeepTypedText() : DBGrid2->KeepRefusedCell();
        MessageDlg(Failure, mtError, mbOK);
        return false;
    }
    if (!Stored.WorkFailure().empty())
        MessageDlg(Stored.WorkFailure(), mtError, mbOK);
    // The cell holds what was typed now: the driver's words on what it held
    // no longer stand for it.
    if (!Words.empty()) {
        std::string Left;
        const std::string Text = Unread->AsString(), Head = Column + "=";
        for (size_t At = 0; At < Text.size();) {
            const size_t End = std::min(Text.find('\n', At), Text.size());
            if (Text.compare(At, Head.size(), Head) != 0)
                Left += Text.substr(At, End - At) + "\n";
            At = End + 1;
        }
        PostQuietly(*ParamTbl, [&] { Left.empty() ? Unread->Clear() : Unread->SetAsString(Left); });
    }
    FollowGridEditInPlot(EditedLevelPres, EditedLevelField, F);
    return true;
}

// ---- station edits -------------------------------------------------------------

void TForm2::tmpStatTblBeforeEdit()
{
    if (FQuietPost || FullCruiseCheckRunning || !StationsReady)
        return;
    if (tmpStatTbl->FieldByName("ID_Cast")->AsString().empty())
        return;
    CastSnapshot = Snapshot(*tmpStatTbl);
    CastEditArmed = true;
}

std::string TForm2::CastValueLiteral(const TField &F) const
{
    if (F.IsNull() || (dynamic_cast<const TStringField *>(&F) && F.AsString().empty()))
        return "NULL";
    const bool IsDate = rtl::SameText(F.FieldName(), "Date_Cast");
    // A time of a day or more (24:00, a time UNDO puts back) goes whole, as
    // the number of days the station database keeps, and so does one with a
    // fraction of a second, which a time literal would drop.
    const bool IsTime = rtl::SameText(F.FieldName(), "Time_Cast");
    const double Days = IsTime ? F.AsFloat() : 0;
    if (IsTime && (Days < 0 || Days >= 1 || StationTimeExactText(Days).find('.') != std::string::npos))
        return SqlExactFloat(Days);
    if (IsDate || IsTime) {
        std::string Literal(1, '#');
        Literal += IsDate ? SqlDate(F.AsDateTime()) : SqlTime(F.AsDateTime());
        Literal += '#';
        return Literal;
    }
    if (dynamic_cast<const TStringField *>(&F))
        return rtl::QuotedStr(F.AsString());
    return SqlFloat(F.AsFloat());
}

void TForm2::tmpStatTblAfterPost()
{
    if (FQuietPost || !CastEditArmed)
        return;
    CastEditArmed = false;
    if (FullCruiseCheckRunning || MetadataCheckRunning || !VisualMode || !StationsReady)
        return;
    TField *F = ChangedField(*tmpStatTbl, CastSnapshot, {"ID_Cast", "ID_Cruise", "Velosity"});
    if (!F)
        return;
    // The station list is built again from the station database (and
    // checked again under AUTO QC); the edited station stays current, in the
    // edited column, where the grid showed it.
    const TDBGrid::TPlaceKeeper Keep(*DBGrid1);
    EditedCastField = F->FieldName();
    EditedCastOldValue = CastSnapshot[size_t(F->Index())];
    TStoredEdit Stored(*ZqEditCmmnd, *ZqEditQry, *undoqry);
    const std::string Failure =
        Stored.SetStation(tmpStatTbl->FieldByName("ID_Cruise")->AsInteger(),
                          tmpStatTbl->FieldByName("ID_Cast")->AsInteger(),
                          {{EditedCastField, CastValueLiteral(*F), EditedCastOldValue, UndoText(*F), F == FUndoField}});
    if (!Failure.empty()) {
        PostQuietly(*tmpStatTbl, [&] { AssignUndoText(*F, EditedCastOldValue); });
        Stored.Locked() ? DBGrid1->KeepTypedText() : DBGrid1->KeepRefusedCell();
        MessageDlg(Failure, mtError, mbOK);
        return;
    }
    if (!Stored.WorkFailure().empty())
        MessageDlg(Stored.WorkFailure(), mtError, mbOK);
    if (CheckBox1->isChecked()) {
        BitBtn4Click(); // keeps the station by its ID_Cast
        return;
    }
    const int IdCast = tmpStatTbl->FieldByName("ID_Cast")->AsInteger();
    ListBox1Click();
    if (tmpStatTbl->Active())
        tmpStatTbl->Locate("ID_Cast", rtl::Variant(IdCast));
}

// ---- the undo list and UNDO ------------------------------------------------------
// The list is read for one cell: the active grid's column (a station's
// field, or the shown parameter's value) in its current row. It is read
// again whenever that cell changes, never while its row is being edited
// (the value being written must not empty the list under UNDO's feet), and
// UNDO writes only into the cell the list was read for.

void TForm2::SpeedButton15Click()
{
    const bool Down = SpeedButton15->isChecked();
    ComboBox1->setVisible(Down);
    Bevel1->setVisible(Down);
    BitBtn1->setVisible(Down);
    FindCastUndoValues();
    FindLevelUndoValues();
}

TForm2::TUndoCell TForm2::CurrentUndoCell() const
{
    // The cell the operator sees current: the active grid's current cell in
    // the row its dataset stands on. None while the grid shows no current
    // cell, or a current row the dataset has left.
    TDBGrid *G = ActiveEditGrid;
    if (!G || !G->currentIndex().isValid() || G->currentIndex().row() != G->Model().CurrentRow())
        return {};
    TField *F = G->SelectedField();
    if (!F)
        return {};
    // A level whose pressure cannot be read has no undo rows: its edits are
    // refused, and the rows of the level stored without a pressure are
    // another's.
    if (G == DBGrid2 && ParamTbl && ParamTbl->Active() && !ParamTbl->IsEmpty() && DBGrid2->DataSource() &&
        !LevelUndoColumn(F->FieldName()).empty() && TStoredEdit::UnreadPres(*ParamTbl).empty())
        // A level is named by its station and pressure within the shown
        // parameter: "Chem" is the value of every chemical parameter.
        return {DBGrid2, F->FieldName(),
                CurParamName + "/" + std::to_string(CurCastId) + "/" + ParamTbl->FieldByName("PRES")->AsString()};
    if (G == DBGrid1 && tmpStatTbl->Active() && !tmpStatTbl->IsEmpty())
        return {DBGrid1, F->FieldName(), tmpStatTbl->FieldByName("ID_Cast")->AsString()};
    return {};
}

std::string TForm2::LevelUndoColumn(const std::string &Field) const
{
    // Density is computed. A level's undo rows are kept under the pressure
    // it is stored at and move with it: an edit of PRES is undone as any.
    for (const char *N : {"ID_Cast", "DENS", "FDENS"})
        if (rtl::SameText(Field, N))
            return "";
    return rtl::UpperCase(TStoredEdit::LevelColumn(CurParamName, Field));
}

void TForm2::EnableUndo(bool On)
{
    // A focused button that goes grey hands the focus to the next control,
    // which may be another grid; the focus goes back to the grid the list
    // belongs to instead.
    if (!On && BitBtn1->hasFocus() && ActiveEditGrid)
        ActiveEditGrid->setFocus();
    BitBtn1->setEnabled(On);
}

void TForm2::FillUndoList(const std::string &Sql, const std::string &Current)
{
    UndoValues.clear();
    undoqry->Close();
    undoqry->SQL().Clear();
    undoqry->SQL().Add(Sql);
    undoqry->Open();
    for (undoqry->First(); !undoqry->Eof(); undoqry->Next()) {
        const std::string V = undoqry->FieldByName("FldValue")->AsString();
        if (V != Current)
            UndoValues.push_back(V);
    }
    undoqry->Close();
    UndoListCell = CurrentUndoCell();
    for (const std::string &V : UndoValues)
        ComboBox1->addItem(QString::fromStdString(V));
    if (!UndoValues.empty()) {
        ComboBox1->setCurrentIndex(0);
        ComboBox1Change();
    }
    EnableUndo(!UndoValues.empty());
}

void TForm2::ClearUndoList()
{
    ComboBox1->clear();
    UndoValues.clear();
    UndoListCell = {};
    EnableUndo(false);
}

void TForm2::FindCastUndoValues()
{
    if (ActiveEditGrid != DBGrid1 || (tmpStatTbl->Active() && tmpStatTbl->State() != dsBrowse))
        return;
    ClearUndoList();
    const TUndoCell Cell = CurrentUndoCell();
    if (!SpeedButton15->isChecked() || Cell.Grid != DBGrid1)
        return;
    FillUndoList("Select * from " + LocalQuoteName(DbTablePrefix + "-undocast") + " where (ID_Cruise = " +
                     tmpStatTbl->FieldByName("ID_Cruise")->AsString() + ")and(ID_Cast = " + Cell.Key +
                     ")and(FldName = " + rtl::QuotedStr(rtl::UpperCase(Cell.Field)) + ")",
                 UndoText(*tmpStatTbl->FieldByName(Cell.Field)));
}

void TForm2::FindLevelUndoValues()
{
    if (!DBGrid2->DataSource() || ActiveEditGrid != DBGrid2 ||
        (ParamTbl && ParamTbl->Active() && ParamTbl->State() != dsBrowse))
        return;
    ClearUndoList();
    const TUndoCell Cell = CurrentUndoCell();
    if (!SpeedButton15->isChecked() || Cell.Grid != DBGrid2)
        return;
    // The undo rows of a level are kept under the station database's
    // column: the parameter's own for "Chem" and "FChem".
    FillUndoList("Select * From " + LocalQuoteName(DbTablePrefix + "-Undoparam") + " Where " +
                     TStoredEdit::LevelWhere(CurCastId, TStoredEdit::StoredPres(*ParamTbl->FieldByName("PRES"))) +
                     " and (FldName = " + rtl::QuotedStr(LevelUndoColumn(Cell.Field)) + ")",
                 UndoText(*ParamTbl->FieldByName(Cell.Field)));
}

void TForm2::ComboBox1Change() {}

void TForm2::BitBtn1Click()
{
    if (ComboBox1->currentIndex() < 0)
        return;
    const TUndoCell Cell = CurrentUndoCell();
    if (!Cell.Grid || !(Cell == UndoListCell)) {
        // The operator has moved on since the list was read: it is read for
        // the cell UNDO would write, and nothing is written.
        FindCastUndoValues();
        FindLevelUndoValues();
        return;
    }
    const std::string Text = ComboBox1->currentText().toStdString();
    TDataSet *D = Cell.Grid == DBGrid2 ? static_cast<TDataSet *>(ParamTbl) : tmpStatTbl;
    TField *F = D->FindField(Cell.Field);
    if (!F)
        return;
    // A value the driver could not read was never read: it cannot be put
    // back as stored, and an empty one in its place would be no UNDO.
    if (Cell.Grid == DBGrid2 && TStoredEdit::IsUnreadUndoText(Text)) {
        MessageDlg(LevelUndoColumn(Cell.Field) + " held " + Text +
                       " before, a value the driver could not read: it cannot be put back as it was stored; nothing "
                       "was changed.",
                   mtError, mbOK);
        return;
    }
    // The post records and writes the change as any edit; a value the cell
    // held before goes back whatever it is (an empty flag, one of another
    // system's flags).
    const QScopedValueRollback<const TField *> Undoing(FUndoField, F);
    try {
        D->Edit();
        AssignUndoText(*F, Text);
        D->Post();
    } catch (...) {
        if (D->State() == dsEdit)
            D->Cancel();
        throw;
    }
    EnableUndo(false);
}

void TForm2::DBGrid1CellClick()
{
    if (tmpStatTbl->ControlsDisabled())
        tmpStatTbl->EnableControls();
}
