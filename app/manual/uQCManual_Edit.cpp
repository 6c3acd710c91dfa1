// The manual QC editor's edits: a station or level value changed in a grid
// goes at once to the station database with one statement, the value it
// replaced is kept in the per-database undo tables, "Find Undo Value" lists
// the earlier values of a cell and "UNDO" puts one back as a new edit.
#include "app/manual/uQCManual.h"

#include "app/UQC.h"
#include "app/WorkTables.h"
#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/comp/qxZqCompClientDataSets.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TDataSource.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/toolkit/TDialogs.h"
#include "platform/toolkit/TPaintBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QToolButton>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const char *const StationFlagColumns[] = {"FLAT", "FLON", "FDT", "FD"};

bool IsStationFlag(const std::string &Upper)
{
    for (const char *N : StationFlagColumns)
        if (Upper == N)
            return true;
    return false;
}

// A stored real as a literal that reads back as the same double, so that a
// level is found by the very pressure the database holds.
std::string ExactFloat(double v)
{
    char Buf[40];
    std::snprintf(Buf, sizeof Buf, "%.17g", v);
    return Buf;
}

std::string QuotedText(const std::string &Text) { return QuoteDoubled(Text, '\''); }

std::string LocalName(const std::string &Suffix) { return QuoteDoubled(DbTablePrefix + Suffix, '"'); }

bool IsDateTimeField(const TField &F) { return dynamic_cast<const TDateTimeField *>(&F) != nullptr; }

// Dates and times are kept in the undo tables in one form that the editor
// writes and reads back: "MM/dd/yyyy" and "hh:mm:ss".
std::string UndoText(const TField &F)
{
    if (F.IsNull())
        return "";
    if (IsDateTimeField(F)) {
        char Buf[32];
        int a = 0, b = 0, c = 0, ms = 0;
        if (rtl::SameText(F.FieldName(), "Time_Cast")) {
            rtl::DecodeTime(F.AsDateTime(), a, b, c, ms);
            std::snprintf(Buf, sizeof Buf, "%02d:%02d:%02d", a, b, c);
        } else {
            rtl::DecodeDate(F.AsDateTime(), a, b, c);
            std::snprintf(Buf, sizeof Buf, "%02d/%02d/%04d", b, c, a);
        }
        return Buf;
    }
    return F.AsString();
}

bool ParseUndoDateTime(const std::string &Text, bool IsTime, rtl::TDateTime &Value)
{
    int a = 0, b = 0, c = 0;
    if (IsTime) {
        if (std::sscanf(Text.c_str(), "%d:%d:%d", &a, &b, &c) != 3)
            return false;
        Value = rtl::EncodeTime(a, b, c, 0);
        return true;
    }
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

// Keeps an undo row of an earlier value: one row per distinct earlier value
// of a cell, the first of them marked.
void KeepUndoRow(TQuery &Query, TTable &Table, const std::string &Suffix, const std::string &Where,
                 const std::function<void()> &FillKey, const std::string &FldName, const std::string &OldValue)
{
    Query.Close();
    Query.SQL().Clear();
    Query.SQL().Add("Select FldValue From " + LocalName(Suffix) + " Where " + Where + " and (FldName = " +
                    QuotedText(FldName) + ")");
    Query.Open();
    const bool First = Query.Eof();
    bool Known = false;
    for (Query.First(); !Query.Eof() && !Known; Query.Next())
        Known = Query.Fields()[0]->AsString() == OldValue;
    Query.Close();
    if (Known)
        return;
    if (!Table.Active())
        Table.Open();
    Table.Append();
    FillKey();
    Table.FieldByName("FldName")->SetAsString(FldName);
    Table.FieldByName("FldValue")->SetAsString(OldValue);
    Table.FieldByName("FirstCh")->SetAsBoolean(First);
    Table.Post();
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

std::string QuoteDoubled(const std::string &Text, char Quote)
{
    std::string Out(1, Quote);
    for (char c : Text) {
        Out += c;
        if (c == Quote)
            Out += Quote;
    }
    return Out + Quote;
}

// ---- level edits -------------------------------------------------------------

void TForm2::TmpDataBeforeEdit()
{
    if (!ProfileGridReady || CurCastId < 0 || !ParamTbl)
        return;
    if (TField *F = DBGrid2->SelectedField()) {
        const std::string Upper = rtl::UpperCase(F->FieldName());
        if (Upper == "TEMP" || Upper == "PSAL" || Upper == "CHEM")
            if (auto *N = dynamic_cast<TNumericField *>(F))
                N->SetDisplayFormat("#0.000");
    }
    LevelSnapshot = Snapshot(*ParamTbl);
    EditedLevelPres = ParamTbl->FieldByName("PRES")->AsFloat();
    LevelEditArmed = true;
}

void TForm2::TmpDataAfterPost()
{
    if (FRevertingEdit)
        return;
    if (VisualMode && ProfileGridReady && LevelEditArmed) {
        ProfileGridReady = false;
        if (TField *F = ChangedField(*ParamTbl, LevelSnapshot, {"ID_Cast", "DENS", "FDENS"})) {
            EditedLevelField = F->FieldName();
            EditedLevelOldValue = LevelSnapshot[size_t(F->Index())];
            WriteLevelEdit();
        }
    }
    if (!LevelEditArmed)
        return;
    DataSource2->SetDataSet(nullptr);
    ProfileGridReady = false;
    LevelEditArmed = false;
    if (CheckBox1->isChecked())
        BitBtn5Click();
    else
        PaintBox2->Repaint();
    ProfileGridReady = true;
    DataSource2->SetDataSet(ParamTbl);
}

std::string TForm2::LevelEditColumn() const
{
    const std::string Upper = rtl::UpperCase(EditedLevelField);
    if (IsPtsParam(CurParamName))
        return Upper;
    if (Upper == "CHEM")
        return CurParamName;
    if (Upper == "FCHEM")
        return "F" + CurParamName;
    return Upper;
}

bool TForm2::WriteLevelEdit()
{
    TField *F = ParamTbl->FindField(EditedLevelField);
    if (!F)
        return false;
    const std::string Column = LevelEditColumn();
    const std::string Value = F->IsNull() ? std::string("NULL") : SqlFloat(F->AsFloat());
    const std::string Failure = UpdateLevel(CurParamName, CurCastId, EditedLevelPres, Column, Value);
    if (!Failure.empty()) {
        RevertLevelEdit(*F);
        MessageDlg(Failure, mtError, mbOK);
        return false;
    }
    const double Pres = EditedLevelPres;
    KeepLevelUndo(CurCastId, Pres, rtl::UpperCase(EditedLevelField), EditedLevelOldValue);
    // A flag set by hand in the manual mode goes into the run's flag table
    // too: the station list rebuild and the write-back read the flags there.
    if (!CheckBox1->isChecked() && !Column.empty() && (Column[0] == 'F' || Column[0] == 'f'))
        UpdateRunLevelFlag(Column, Pres, F->IsNull() ? std::string("NULL") : std::to_string(F->AsInteger()));
    FollowGridEditInPlot(Pres, EditedLevelField, *F);
    return true;
}

std::string TForm2::UpdateLevel(const std::string &Param, int CastId, double StoredPres, const std::string &Column,
                                const std::string &Literal)
{
    const std::string Table = IsPtsParam(Param) ? std::string("PTS_Data") : Param;
    ZqEditCmmnd->CommandText().Clear();
    ZqEditCmmnd->CommandText().Add("Update (select * from " + Table + " where (ID_Cast = " + std::to_string(CastId) +
                                    ") and (PRES = " + ExactFloat(StoredPres) + ")) SET " + Column + " = " + Literal);
    try {
        ZqEditCmmnd->Execute();
        if (ZqEditCmmnd->RowsAffected() != 1)
            return "The edit of " + Column + " at " + rtl::FloatToStr(StoredPres) + " dbar changed " +
                   std::to_string(ZqEditCmmnd->RowsAffected()) + " rows of " + Table + " instead of one.";
    } catch (const std::exception &E) {
        return E.what();
    }
    return "";
}

void TForm2::KeepLevelUndo(int CastId, double StoredPres, const std::string &FldName, const std::string &OldValue)
{
    KeepUndoRow(*undoqry, *UndoParamTbl, "-Undoparam",
                "(ID_Cast = " + std::to_string(CastId) + ") and (PRES = " + ExactFloat(StoredPres) + ")",
                [&] {
                    UndoParamTbl->FieldByName("ID_Cast")->SetAsInteger(CastId);
                    UndoParamTbl->FieldByName("Pres")->SetAsFloat(StoredPres);
                },
                FldName, OldValue);
}

void TForm2::UpdateRunLevelFlag(const std::string &Column, double Pres, const std::string &Value)
{
    const bool Pts = IsPtsParam(CurParamName);
    const std::string Suffix = Pts ? std::string("-PTS_DataFlags") : "-" + CurParamName + "flags";
    if (!LocalTableFileExists(LocalDbDir + DbTablePrefix + Suffix + ".db"))
        return;
    LocalWorkQry->Close();
    LocalWorkQry->SQL().Clear();
    LocalWorkQry->SQL().Add("Update " + LocalName(Suffix) + " Set " + Column + " = " + Value +
                            " Where (ID_Cast = " + std::to_string(CurCastId) + ") and (PRES = " +
                            SqlFloat(RoundPres(Pres)) + ")");
    LocalWorkQry->ExecSQL();
}

void TForm2::RevertLevelEdit(TField &F)
{
    FRevertingEdit = true;
    try {
        ParamTbl->Edit();
        AssignUndoText(F, EditedLevelOldValue);
        ParamTbl->Post();
    } catch (...) {
        FRevertingEdit = false;
        throw;
    }
    FRevertingEdit = false;
}

// ---- station edits -------------------------------------------------------------

void TForm2::tmpStatTblBeforeEdit()
{
    if (FullCruiseCheckRunning || !StationsReady || FRevertingEdit)
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
    if (IsDate || rtl::SameText(F.FieldName(), "Time_Cast")) {
        std::string Literal(1, '#');
        Literal += IsDate ? SqlDate(F.AsDateTime()) : SqlTime(F.AsDateTime());
        Literal += '#';
        return Literal;
    }
    if (dynamic_cast<const TStringField *>(&F))
        return QuotedText(F.AsString());
    return SqlFloat(F.AsFloat());
}

void TForm2::tmpStatTblAfterPost()
{
    if (FRevertingEdit || !CastEditArmed)
        return;
    CastEditArmed = false;
    if (FullCruiseCheckRunning || MetadataCheckRunning || !VisualMode || !StationsReady)
        return;
    TField *F = ChangedField(*tmpStatTbl, CastSnapshot, {"ID_Cast", "ID_Cruise", "Velosity"});
    if (!F)
        return;
    EditedCastField = F->FieldName();
    EditedCastOldValue = CastSnapshot[size_t(F->Index())];
    StationsReady = false;
    const std::string Upper = rtl::UpperCase(EditedCastField);
    const int IdCruise = tmpStatTbl->FieldByName("ID_Cruise")->AsInteger();
    const int IdCast = tmpStatTbl->FieldByName("ID_Cast")->AsInteger();

    ZqEditCmmnd->CommandText().Clear();
    ZqEditCmmnd->CommandText().Add("Update Cast_Titles SET " + EditedCastField + " = " + CastValueLiteral(*F) +
                                    " where ID_Cast = " + std::to_string(IdCast));
    std::string Failure;
    try {
        ZqEditCmmnd->Execute();
        if (ZqEditCmmnd->RowsAffected() != 1)
            Failure = "The edit of " + EditedCastField + " changed " + std::to_string(ZqEditCmmnd->RowsAffected()) +
                      " stations instead of one.";
    } catch (const std::exception &E) {
        Failure = E.what();
    }
    if (!Failure.empty()) {
        FRevertingEdit = true;
        try {
            tmpStatTbl->Edit();
            AssignUndoText(*F, EditedCastOldValue);
            tmpStatTbl->Post();
        } catch (...) {
            FRevertingEdit = false;
            StationsReady = true;
            throw;
        }
        FRevertingEdit = false;
        StationsReady = true;
        MessageDlg(Failure, mtError, mbOK);
        return;
    }
    if (IsStationFlag(Upper) && TmpCastFlagsTbl && TmpCastFlagsTbl->Active() &&
        TmpCastFlagsTbl->Locate("ID_Cruise;ID_Cast",
                                rtl::Variant::FromArray({rtl::Variant(IdCruise), rtl::Variant(IdCast)}))) {
        TmpCastFlagsTbl->Edit();
        TmpCastFlagsTbl->FieldByName(EditedCastField)->SetAsString(F->AsString());
        TmpCastFlagsTbl->Post();
    }
    KeepUndoRow(*undoqry, *UndoCastTbl, "-undocast",
                "(ID_Cruise = " + std::to_string(IdCruise) + ") and (ID_Cast = " + std::to_string(IdCast) + ")",
                [&] {
                    UndoCastTbl->FieldByName("ID_Cruise")->SetAsInteger(IdCruise);
                    UndoCastTbl->FieldByName("ID_Cast")->SetAsInteger(IdCast);
                },
                Upper, EditedCastOldValue);
    StationsReady = true;
    if (CheckBox1->isChecked())
        BitBtn4Click();
    else
        ListBox1Click();
}

// ---- the undo list and UNDO ------------------------------------------------------

void TForm2::SpeedButton15Click()
{
    const bool Down = SpeedButton15->isChecked();
    ComboBox1->setVisible(Down);
    Bevel1->setVisible(Down);
    BitBtn1->setVisible(Down);
    FindCastUndoValues();
    FindLevelUndoValues();
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
    for (const std::string &V : UndoValues)
        ComboBox1->addItem(QString::fromStdString(V));
    if (!UndoValues.empty()) {
        ComboBox1->setCurrentIndex(0);
        ComboBox1Change();
    }
    BitBtn1->setEnabled(!UndoValues.empty());
}

void TForm2::FindCastUndoValues()
{
    if (ActiveEditGrid != DBGrid1)
        return;
    ComboBox1->clear();
    UndoValues.clear();
    if (!SpeedButton15->isChecked() || !tmpStatTbl->Active() || tmpStatTbl->IsEmpty())
        return;
    TField *F = tmpStatTbl->FindField(EditedColumnName);
    if (!F)
        return;
    FillUndoList("Select * from " + LocalName("-undocast") + " where (ID_Cruise = " +
                     tmpStatTbl->FieldByName("ID_Cruise")->AsString() + ")and(ID_Cast = " +
                     tmpStatTbl->FieldByName("ID_Cast")->AsString() + ")and(FldName = " +
                     QuotedText(rtl::UpperCase(EditedColumnName)) + ")",
                 UndoText(*F));
}

void TForm2::FindLevelUndoValues()
{
    if (!DBGrid2->DataSource() || ActiveEditGrid != DBGrid2)
        return;
    ComboBox1->clear();
    UndoValues.clear();
    if (!SpeedButton15->isChecked() || !ParamTbl || !ParamTbl->Active() || ParamTbl->IsEmpty())
        return;
    const std::string Column = IsPtsParam(CurParamName) ? rtl::UpperCase(CurParamName) : std::string("CHEM");
    TField *F = ParamTbl->FindField(Column);
    if (!F)
        return;
    FillUndoList("Select * From " + LocalName("-Undoparam") + " Where (ID_Cast = " + std::to_string(CurCastId) +
                     ")and(PRES = " + ExactFloat(ParamTbl->FieldByName("PRES")->AsFloat()) + ")and(FldName = " +
                     QuotedText(Column) + ")",
                 UndoText(*F));
}

void TForm2::ComboBox1Change() {}

void TForm2::BitBtn1Click()
{
    if (ComboBox1->currentIndex() < 0)
        return;
    const std::string Text = ComboBox1->currentText().toStdString();
    TDataSet *D = nullptr;
    TField *F = nullptr;
    if (ActiveEditGrid == DBGrid2 && ParamTbl && ParamTbl->Active()) {
        D = ParamTbl;
        F = ParamTbl->FindField(IsPtsParam(CurParamName) ? rtl::UpperCase(CurParamName) : std::string("Chem"));
    } else if (ActiveEditGrid == DBGrid1 && tmpStatTbl->Active()) {
        D = tmpStatTbl;
        F = tmpStatTbl->FindField(EditedColumnName);
    }
    if (!D || !F)
        return;
    // The post records and writes the change as any edit.
    try {
        D->Edit();
        AssignUndoText(*F, Text);
        D->Post();
    } catch (...) {
        if (D->State() == dsEdit)
            D->Cancel();
        throw;
    }
    BitBtn1->setEnabled(false);
}

void TForm2::DBGrid1CellClick()
{
    if (tmpStatTbl->ControlsDisabled())
        tmpStatTbl->EnableControls();
}
