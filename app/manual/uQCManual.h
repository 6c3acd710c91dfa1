// TForm2: the manual QC editor ("MANUAL QUALITY CONTROL MODE").
//
// The main window creates it after a QC run in the visual mode (or for
// manual checking without a run), fills its cruise list and shows it
// modally. The upper half is the map of the shown cruise's stations (with
// the cruise list, "MAP TOOLS" and "MAP STATUS" on its left); the lower half
// holds the metadata grid with the possible duplicates, the profile plot
// with its parameter list, and on the right the re-check buttons, the tree
// of possible errors and the data grid of the shown profile.
//
// The form is split by topic:
//   uQCManual_Form.cpp   building the controls and laying them out
//   uQCManual.cpp        creation, the cruise list, the metadata grids,
//                        the duplicate mark, closing
//   uQCManual_Map.cpp    the map panel: painting, read-out, picking, zoom,
//                        the velocity blink
//   uQCManual_Profile.cpp  loading a station's profile into TmpData, the
//                        data grid, the other profiles of the square
//   uQCManual_Plot.cpp   the profile plot, its read-out, zoom and picking,
//                        values typed next to the plot
//   uQCManual_Edit.cpp   station and level edits with their undo values
//                        (each written through StoredEdit)
//   uQCManual_Commands.cpp  the re-checks, Auto/Manual QC, the error tree's
//                        navigation, the QC settings window
//   uQCManual_Window.cpp the plot in a floating window
//
// States of the station list (StationsReady):
//   false --ListBox1Click starts a rebuild--> TmpCast, station arrays and
//   error bits rebuilt --ListBox1Click ends--> true
// While it is false the grid's data-change events load no profile, so a
// half-built station list never reaches the profile side.
#pragma once

#include "app/Globals.h"
#include "app/UQC.h"
#include "app/HandFlags.h"
#include "app/manual/Recalcs.h"
#include "platform/rtl/Classes.h"
#include "platform/toolkit/TApplication.h"
#include "platform/toolkit/TForm.h"

#include <QPointer>
#include <QTableView>

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLockFile;
class QListWidget;
class QProgressBar;
class QPushButton;
class QToolButton;
class TDataSet;
class TDataSource;
class TDBGridModel;
class TField;
class TImage;
class TPaintBox;
class TQuery;
class TTable;
class TTimer;
class TTreeView;
class TZqCommand;
class TZqQuery;

// The data-aware grid of the editor: a table view over a data source whose
// current row follows the dataset's current record and moves it when the
// operator picks another row. The fixed cells take FixedColor.
//
// A value typed into a cell is committed before the key or click that ends
// it moves anywhere: the commit may build the grid's rows again (the editor
// reloads what it wrote), and a move Qt had begun before would go on from a
// row that is no longer there. The place is kept through the commit (see
// TPlaceKeeper) and the key's move starts from it: Down and Up go to the
// next level or station in the same column, Tab and Backtab along the row,
// Return and Enter stay. A refused commit stays on the refused cell. A
// typed character edits the current cell and never searches for another.
// Tab never goes round from the last cell to the first (which would show
// another station): there, and with Ctrl+Tab anywhere, the focus leaves. In
// a grid whose rows are the stations shown (RowIsStation), Tab leaves at the
// end of every row and Shift+Tab at its start.
class TDBGrid : public QTableView {
public:
    explicit TDBGrid(QWidget *Parent = nullptr);
    ~TDBGrid() override;

    TDataSource *DataSource() const;
    void SetDataSource(TDataSource *AValue);
    // The field of the selected column (nullptr when none).
    TField *SelectedField() const;
    // Selects the column that shows the named field.
    bool SelectFieldByName(const std::string &AName);
    TColor FixedColor() const { return FFixedColor; }
    void SetFixedColor(TColor AValue);
    TDBGridModel &Model() const { return *FModel; }
    // The commit under way was refused: the key or click that made it leaves
    // the cursor on the refused cell.
    void KeepRefusedCell() { FRefused = true; }
    // The commit under way could not be stored for now: the cell keeps the
    // text typed in its editor, opened again (with the focus, wherever the
    // operator was going) for the operator to commit once more. Outside a
    // commit (an UNDO, say) there is no typed text to keep. The same gesture
    // of the operator (the click that took the focus from the cell) does not
    // try that text again: it would wait for the same lock once more.
    void KeepTypedText()
    {
        FRefused = true;
        FKeepTyped = FInCommit;
        if (FInCommit) {
            FHeldText = FTyped;
            FHeldGesture = OperatorGesture();
        }
    }
    // Commits the open cell editor and closes it; false when refused.
    bool CommitOpenEditor();
    bool RowIsStation = false;

    // Keeps the grid's place through work that may build its rows again: the
    // column of the current cell (by its field), the scroll and the focus
    // (the grid's, when the grid or its cell editor had it) come back on the
    // dataset's current record when the outermost keeper of the grid ends.
    // Which record that is, is the caller's to say: the one edited, found by
    // what it is, not by its number.
    class TPlaceKeeper {
    public:
        explicit TPlaceKeeper(TDBGrid &AGrid);
        ~TPlaceKeeper();
        TPlaceKeeper(const TPlaceKeeper &) = delete;
        TPlaceKeeper &operator=(const TPlaceKeeper &) = delete;

    private:
        TDBGrid &FGrid;
        bool FOuter;
        unsigned FResets;
        std::string FColumn;
        int FTop = 0, FLeft = 0;
        QPointer<QWidget> FFocus;
    };

    std::function<void()> OnEnter;
    std::function<void()> OnExit;
    std::function<void()> OnColEnter;
    std::function<void(int Key)> OnKeyDown;

protected:
    void focusInEvent(QFocusEvent *Event) override;
    void focusOutEvent(QFocusEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void keyboardSearch(const QString &) override {}
    void currentChanged(const QModelIndex &Current, const QModelIndex &Previous) override;
    // A posted edit may rebuild the grid (a re-check reloads its dataset):
    // the rebuild has closed the cell's editor already, and the end of the
    // edit moves on from the place kept.
    void commitData(QWidget *Editor) override;
    void closeEditor(QWidget *Editor, QAbstractItemDelegate::EndEditHint Hint) override;

private:
    void FollowDataSet();
    // The current cell is the last (Next) or the first one of the grid, or
    // of its row where a row is a station.
    bool AtEdge(bool Next) const;
    // Moves the focus to the control after (Next) or before the grid.
    void LeaveGrid(bool Next);
    unsigned FResets = 0;           // model resets so far
    QWidget *FClosedEditor = nullptr; // compared only: closed by a reset during its commit
    std::string FResetColumn;       // the current column's field before the last reset
    int FKeepers = 0;               // place keepers alive
    bool FRefused = false;          // the last commit was refused
    bool FKeepTyped = false;        // ... and its text goes back into the cell
    bool FInCommit = false;         // a commit is under way
    QString FTyped;                 // the text of the editor being committed (null: none)
    QString FHeldText;              // the text kept after the last commit the lock refused
    unsigned FHeldGesture = 0;      // the operator's gesture that commit belonged to
    void ReopenTyped();
    void SizeColumns();
    TDBGridModel *FModel; // owned by the view
    TColor FFixedColor;
    bool FFollowing = false;
};

// The editor's scratch list of stations in the station database (QCCastID
// followed by the program's process number): other programs may have the
// database open with an editor of their own, each with its own list.
std::string ScratchCastIdTable();
// The lock an open editor holds for its scratch list, beside the work tables.
std::string ScratchCastIdLockFile(const std::string &ATable);
// Drops the scratch lists of this installation's editors whose program no
// longer runs (their lock is stale), all but AOwn.
void DropAbandonedScratchLists(TZqQuery &AQuery, const std::string &AOwn);

// Set while "Check metadata" runs: edits are not recorded meanwhile.
extern bool MetadataCheckRunning;

// The work-table columns of a parameter's value and flag: the parameter's
// own for TEMP, PSAL and DENS, "Chem"/"FChem" for any other.
std::string ProfileValueField(const std::string &Param);
std::string ProfileFlagField(const std::string &Param);

// A station's time as the editor shows, takes and keeps it for UNDO: hours,
// minutes and seconds from the start of its day, so that 24:00 and a time
// above one day (Time_Cast of 1 or more) keep their day. "hh:mm" shown,
// "hh:mm:ss" to edit; any time text of the runtime is taken as well.
std::string StationTimeText(double ADays, bool ASeconds);
bool TryStationTime(std::string_view AText, double &ADays);
// The same as the undo tables keep it, to be put back exactly: "hh:mm:ss",
// and the decimals of a fraction of a second ("23:59:51.36").
std::string StationTimeExactText(double ADays);

class TForm2 : public TForm {
    // The engine's links and visual mode, borrowed for the editor's
    // lifetime: the first member, so it is taken before any of the editor
    // exists and given back after its data components are gone.
    TQcLinksLoan FEngineLoan;

public:
    explicit TForm2(QWidget *AOwner = nullptr);
    ~TForm2() override;

    // ---- controls (named as on the form) -----------------------------------
    // Upper half.
    QFrame *Panel1;   // map panel
    QFrame *Panel3;   // left of the map: cruise list, map tools, map status
    QFrame *Panel2;   // holds the map image
    QGroupBox *GroupBox3; // "CRUISE LIST VIEWER"
    QListWidget *ListBox1;
    QGroupBox *GroupBox1; // "MAP TOOLS"
    QToolButton *RctSelBtn;
    QToolButton *StatSelBtn;
    QToolButton *QuadrSelBtn;
    QToolButton *AxesBtn;
    QToolButton *QCContBtn;
    QToolButton *SpeedButton3;
    QToolButton *ZoomInBtn;
    QToolButton *ZoomOutBtn;
    QToolButton *ActSizeBtn;
    QToolButton *SpeedButton12; // "BRING TO FRONT"
    QGroupBox *GroupBox2;       // "MAP STATUS"
    QLabel *Label6;
    TImage *Image1;
    TPaintBox *PaintBox1;
    QLabel *Label10;
    // Lower half, left: station metadata and possible duplicates.
    QFrame *Panel12;
    TDBGrid *DBGrid1;
    QToolButton *SpeedButton2;  // "Possible Duplicates"
    QToolButton *SpeedButton13; // "CHECK SELECTED STATION AS DUPLICATE"
    QToolButton *SpeedButton18; // "Refresh Query"
    QToolButton *SpeedButton15; // "Find Undo Value"
    QComboBox *ComboBox1;
    QFrame *Bevel1;
    QPushButton *BitBtn1; // "UNDO"
    QFrame *Panel17;      // "POSSIBLE DUPLICATES"
    TDBGrid *DBGrid3;
    // Lower half, middle: the profile plot.
    QFrame *Panel4;
    QFrame *Panel8;
    QToolButton *SpeedButton1;
    QToolButton *SpeedButton4;
    QToolButton *SpeedButton5;
    QToolButton *SpeedButton6;
    QToolButton *SpeedButton7;
    QToolButton *SpeedButton8;
    QToolButton *SpeedButton9;
    QToolButton *SpeedButton10;
    QToolButton *SpeedButton11; // "Density Profile"
    QToolButton *SpeedButton14; // undock the profile
    QToolButton *SpeedButton16;
    QToolButton *SpeedButton17;
    QToolButton *SpeedButton19; // "Show other profiles"
    TPaintBox *PaintBox2;
    QLabel *Label11;
    QLineEdit *Edit1;
    QLineEdit *Edit2;
    QLineEdit *Edit3;
    QLineEdit *Edit4;
    QFrame *Panel11; // the T-S panel
    TPaintBox *PaintBox3;
    QGroupBox *RadioGroup1;
    QListWidget *ListBox2;
    QPushButton *BitBtn2; // all profiles of the square and month
    // Lower half, right: re-checks, the error tree, the data grid.
    QFrame *Panel5;
    QFrame *Panel15;
    QCheckBox *CheckBox1; // "Auto/Manual QC"
    QPushButton *BitBtn3; // "Check full Cruise"
    QPushButton *BitBtn4; // "Check metadata"
    QPushButton *BitBtn5; // "Check Current profile"
    QToolButton *SpeedButton20; // "QC Parameters"
    QProgressBar *Gauge1;
    QGroupBox *GroupBox4; // "POSSIBLE ERRORS"
    TTreeView *TreeView1;
    QFrame *Panel6;
    QGroupBox *GroupBox5; // "DATA PROFILE"
    TDBGrid *DBGrid2;

    std::unique_ptr<TTimer> Timer1;

    // ---- data components --------------------------------------------------
    // Main database (on the main window's connection).
    TZqQuery *ZqQuery1;
    TZqQuery *ZqQuery2;
    TZqQuery *ZqQuery3;
    TZqQuery *ZqQuery4;
    TZqQuery *ZqQuery5;
    TZqQuery *ZqQuery7;
    TZqQuery *ZqQuery8;
    TZqQuery *ZqEditQry;
    TZqCommand *ZqEditCmmnd;
    // Work folder.
    TTable *tmpStatTbl; // "TmpCast"
    TQuery *tmpstatqry;
    TQuery *tmpDuplQry;
    TQuery *undoqry;
    TDataSource *DataSource1; // of tmpStatTbl
    TDataSource *DataSource2; // of the profile work table
    TDataSource *DataSource3; // of the possible duplicates

    // ---- state -------------------------------------------------------------
    const std::string CastIdTable = ScratchCastIdTable(); // made when the editor opens, dropped when it closes
    bool StationsReady = false;
    rtl::TStringList MetaFieldCaptions;
    int CurParamIndex = 0;
    TDBGrid *ActiveEditGrid = nullptr;
    // Map panel.
    int MapMouseX = 0;
    int MapMouseY = 0;
    int HotStationIndex = -1;
    int PrevStationIndex = -1;
    bool RubberActive = false;
    // The editor's bit sets besides the three station error sets of the map.
    TBits StationDataErrors;
    TBits StationSpikeErrors;
    TBits SpikePoints;
    TBits DataErrorParams;
    TBits ExtraBits;
    // The cruise shown (ID_Cruise of the picked list item, -1 none).
    int ShownCruiseId = -1;
    // The stations of other cruises the duplicate search leaves out, as last
    // said: said again at a pick only when they changed.
    std::string UnsearchedSaid;
    // ID_Cast of each possible duplicate drawn on the map, in query order.
    std::vector<int> DuplStationIds;
    // Zoom history of each parameter's profile plot and the element shown.
    std::vector<TRealRectArr> ProfileZoomStacks;
    std::vector<int> ProfileZoomIndex;

    // Profile side: the loaded station, the grid's readiness, the plot.
    int CurCastId = -1;
    int LoadedCastId = -1;
    bool ProfileGridReady = false;
    int LevelMarkerX = 0;
    int LevelMarkerY = 0;
    bool ShowOtherProfiles = false;
    std::string OtherProfilesTable;
    TRealRect OtherProfilesExtent;
    // The other profiles of the square and month, read once per choice:
    // (value, -pressure) of each station's levels where both are present.
    std::vector<TRealPointArr> OtherProfiles;
    // The extents of the other profiles "Check full Cruise" framed its
    // stations' plots with, by sea, square, month and parameter.
    std::map<std::string, TRealRect> WalkOtherExtents;
    TRect PlotScreenRect;
    TRealPointArr ProfilePoints;
    TPointArr ProfilePts;
    int PlotMouseX = 0;
    int PlotMouseY = 0;
    bool PlotRubberActive = false;
    TRect PlotRubberRect;
    TRect PlotSelectionRect;
    int PlotHotPoint = -1;
    int SelectedLevelIndex = -1;
    int PrevLevelIndex = -1;
    bool ReadoutFrozen = false;
    // Edits: the column and text before the edit, the level's stored
    // pressure.
    std::string EditedCastField;
    std::string EditedCastOldValue;
    bool CastEditArmed = false;
    std::string EditedLevelField;
    std::string EditedLevelOldValue;
    double EditedLevelPres = 0;
    std::string EditedLevelPresUnread; // the driver's words on a pressure it could not read
    bool LevelEditArmed = false;
    QWidget *ProfileWindow = nullptr; // the floating plot window while undocked
    std::vector<std::string> CastSnapshot;  // every field's text before the edit
    std::vector<std::string> LevelSnapshot;
    std::vector<std::string> UndoValues;
    int CheckParamIndex = 0;
    // The read-out's marker on the plot (box +-5, not-xor); none when false.
    bool ReadoutMarkerShown = false;
    TPoint ReadoutMarker;
    // Values typed next to the plot live in ZqQuery2's cached rows until the
    // profile is loaded again; each cached row remembers the work-table level
    // it came from and what the station database held for it, so that the
    // plot can show the typed values and the reload can write them first.
    struct TInPlotRow {
        int Level = 0;
        double StoredPres = 0; // NaN: stored without a pressure
        std::string PresUnread; // the driver's words on a pressure it could not read
        std::string Pres;  // PRES as loaded
        std::string Value; // the parameter's value as loaded
    };
    std::vector<TInPlotRow> InPlotRows; // parallel to ZqQuery2's rows
    int InPlotCastId = -1;
    std::string InPlotParam;
    bool InPlotChanged = false; // a value or pressure was typed since the load
    // The level the boxes show: a station, a parameter and a row of ZqQuery2.
    // What is typed there goes to that level or nowhere; a load empties the
    // boxes and they show no level (Row -1) until the mouse points at one.
    struct TInPlotBoxes {
        int CastId = -1;
        std::string Param;
        int Row = -1;
    } InPlotBoxes;
    bool InPlotEditing = false; // the operator is typing into a box
    bool InPlotEditShown = true;

    // ---- creation, cruise list, metadata grids -----------------------------
    void FormCreate();
    // Adds a cruise to the cruise list; the item carries its ID_Cruise.
    void AddCruise(int IdCruise, const std::string &CruiseName);
    void ListBox1Click();
    // The first show selects the first cruise and loads it; later shows and
    // every resize only lay the form out again.
    void FormShow();
    void Panel2Resize();
    void LoadCurrentProfile();
    void DataSource1DataChange();
    void DBGrid1Enter(TDBGrid *Grid);
    void DBGrid1Exit(TDBGrid *Grid);
    void DBGrid1ColEnter(TDBGrid *Grid);
    void DBGrid1KeyDown(TDBGrid *Grid, int Key);
    void SpeedButton13Click();
    void SpeedButton2Click();
    void FormClose();
    // The tree of possible errors: a node per station with a metadata error
    // (its kinds below it) or a parameter with levels flagged 2, 3 or 4 by
    // the verdicts the editor holds, each such level below its parameter
    // (a flag typed by hand that the station holds as "Set by hand").
    void BuildErrorTree();
    void AddDataErrorNodes(const std::string &IdCast);
    // A profile check judged the station again: its data-error nodes become
    // the verdicts held now, those the levels no longer carry gone.
    void RenewDataErrorNodes(const std::string &IdCast);
    // A level of a station's profile with the flags the editor holds for it:
    // the last run's (or check's) verdict where it gave one, the stored flag
    // elsewhere (where it judged nothing, or gave 0), as the write-back
    // leaves them in the station database.
    struct THeldLevel {
        double Pres = 0; // NaN: stored without a pressure
        std::vector<int> Flags;
        std::vector<int> Stored; // the stored flags alone, -1 for none
    };
    // Every level of station AId in level table ATable, in pressure order,
    // with its flags of the columns AFlags; ARunJudged, when given, tells
    // for each column whether the run's rows give any level a verdict there.
    std::vector<THeldLevel> HeldLevels(const std::string &ATable, const std::string &AId,
                                       const std::vector<std::string> &AFlags,
                                       std::vector<bool> *ARunJudged = nullptr);
    // Marks one station as a duplicate: 17 into all four flags of its
    // Cast_Titles row, its TmpCastFlags row, and the undo table, by ID_Cast.
    void MarkStationAsDuplicate(int IdCruise, int IdCast);

    // ---- map panel ---------------------------------------------------------
    void PaintBox1Paint();
    void PaintBox1MouseDown(int X, int Y);
    void PaintBox1MouseMove(int X, int Y);
    void PaintBox1MouseUp(int X, int Y);
    void SelectHotStation();
    void ZoomInBtnClick();
    void ZoomOutBtnClick();
    void ActSizeBtnClick();
    void QuadrSelBtnClick();
    void SpeedButton12Click();
    void Timer1Timer();
    void Label10MouseEnter();
    void Label10MouseLeave();
    // Draws the coast into Image1 and repaints the overlay.
    void RedrawMap();

    // ---- profile side ---------------------------------------------------------
    // Loading and the data grid (uQCManual_Profile.cpp).
    void ListBox2Click();
    void LoadProfile();
    void DataSource2DataChange();
    void DrawLevelMarker();
    void SelectOtherProfiles();
    void SpeedButton19Click();
    void DBGrid2Enter();
    void DBGrid2Exit();
    void DBGrid2ColEnter();
    void DBGrid2KeyDown(int Key);
    // No profile: the data grid, the plot and its read-out show nothing.
    void ClearProfile();
    // DENS and its inversion flag FDENS of every level with T and S.
    void ComputeDensity();
    // Visible fields, formats and titles of the data grid.
    void SetupProfileFields();
    // The plot and its mouse (uQCManual_Plot.cpp).
    void PaintBox2Paint();
    // The climatic mean and band at a profile's levels (points of value and
    // minus pressure, 9999 for no value), as the plot draws them with its
    // buttons; and the full view of the plot of such a profile.
    void ClimaticLines(const TRealPointArr &APoints, TRealPointArr &AMean, TRealPointArr &ALower,
                       TRealPointArr &AUpper) const;
    TRealRect FullPlotView(const TRealPointArr &APoints, const TRealPointArr &AMean, const TRealPointArr &ALower,
                           const TRealPointArr &AUpper, const TRealRect *AOthers) const;
    // The value span the spike test of AParam takes: the plot on screen's
    // for the parameter it shows, the full view its own plot would have for
    // any other profile (the other PTS parameter, every station of "Check
    // full Cruise").
    double SpikeSpanOf(const std::string &AParam, const TRealPointArr &APoints);
    void PaintBox2MouseDown(int X, int Y);
    void PaintBox2MouseMove(int X, int Y);
    void PaintBox2MouseUp(int X, int Y);
    // The ellipse about a density inversion: the level and the one above.
    TRect InversionBox(int Level) const;
    void SpeedButton1Click() {}
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void SpeedButton10Click();
    void SpeedButton11Click();
    void SpeedButton16Click();
    void SpeedButton17Click();
    void RadioGroup1Click() {}
    // Editing with undo (uQCManual_Edit.cpp).
    void TmpDataBeforeEdit();
    void TmpDataAfterPost();
    void tmpStatTblBeforeEdit();
    void tmpStatTblAfterPost();
    // The station value edited as an SQL literal: dates and times as Jet
    // literals, texts quoted, an emptied cell NULL.
    std::string CastValueLiteral(const TField &F) const;
    void SpeedButton15Click();
    void FindCastUndoValues();
    void FindLevelUndoValues();
    void ComboBox1Change();
    void BitBtn1Click();
    void DBGrid1CellClick();
    // The commands and the error tree (uQCManual_Commands.cpp).
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void CheckBox1Click();
    // "Check metadata" and "Check Current profile" as Auto/Manual QC and
    // the shown parameter allow.
    void EnableCheckButtons();
    void TreeView1Click();
    void SpeedButton20Click();
    // The plot in a window of its own (uQCManual_Window.cpp).
    void SpeedButton14Click();
    // Puts an undocked plot back into the editor at once.
    void DockProfileBack();
    // In-plot editing (uQCManual_Plot.cpp).
    void Edit1KeyDown(int Key);
    void Edit2KeyDown(int Key);
    void Label11MouseLeave();
    // Writes the values and pressures typed next to the plot and still
    // cached in ZqQuery2 to the station database, each as a level edit with
    // its undo value; true when anything was written. When another program
    // holds the station database's write lock, what was not written stays
    // typed (the operator is told) and EAbort stops whatever was to follow.
    bool ApplyInPlotEdits();
    // Writes what the operator typed and has not committed (an open cell of
    // either grid, values typed next to the plot) before a command leaves
    // what it was typed into; false when any of it could not be stored: it
    // stays where it was typed.
    bool CommitOpenCells();
    // The cruise list, the parameter list and the error tree highlight what
    // the editor shows (after a command that did not start).
    void ShowShownInLists();
    // The button under the parameter list and the T-S plot have no action of
    // their own.
    void BitBtn2Click() {}
    // The mouse on one of the four boxes: once after leaving the plot, the
    // boxes show ZqQuery2's current row again and its level is marked.
    void Edit4MouseMove();

    // Lays the form out for a client area of Width x Height pixels.
    void LayoutForm(int Width, int Height);
    // Lays the plot panel out for its own size, docked or in its window.
    void LayoutProfilePanel();

protected:
    void showEvent(QShowEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;
    void closeEvent(QCloseEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void BuildControls();
    void WireControls();
    // Places buttons in rows across Width from Top; the rows' bottom. A
    // hidden button takes no room unless KeepHidden.
    static int FlowButtons(std::initializer_list<QAbstractButton *> Buttons, int Width, int Top,
                           bool KeepHidden = false);
    // The field set-up of a metadata grid's dataset (TmpCast or the possible
    // duplicates): visibility, widths, display formats.
    void SetupMetaFields(TDataSet &DataSet, bool WithVelocity);
    void ApplyReadOnlyColumns(TDBGrid &Grid);
    void RebuildDuplicatePositions();
    void LoadCruise(int IdCruise);
    void ShowEmptyStoredFlags();
    // "Check Current profile" for the parameter at ParamIndex.
    void CheckProfile(int ParamIndex);
    // The parameters "Check Current profile" checks for the one at
    // ParamIndex: TEMP and PSAL together (the other one first), else that
    // one.
    std::vector<int> ProfileParamsChecked(int ParamIndex) const;
    // The flags typed by hand (HandFlags) of the station under tmpStatTbl's
    // cursor that the station database still holds and a check of the
    // parameters AParams would replace: not a 5
    // (carried), none of a station in no QC square (not checked). Appended
    // to ACells, each named in ALines ("station, level, parameter: flag").
    void HandFlagsJudged(const std::vector<std::string> &AParams, std::vector<THandFlag> &ACells,
                         std::vector<std::string> &ALines);
    // Before a check the operator starts: the flags set by hand that it
    // would replace, named, and whether it may (Yes); the cells to let go
    // once it ran, none when the operator keeps them (No, also the default
    // button) or there are none.
    std::vector<THandFlag> AskForHandFlags(std::vector<THandFlag> ACells, const std::vector<std::string> &ALines);
    // The same before "Check full Cruise", for every station of the cruise.
    std::vector<THandFlag> AskForCruiseHandFlags();
    // Makes the profile work table's level stored at StoredPres (NaN: the
    // one without a pressure) current, when it has one.
    void LocateLevel(double StoredPres);
    // A check the editor starts ("Check Current profile", "Check metadata",
    // "Check full Cruise", the station checks of a cruise it lists) is work
    // an Esc interrupts while one of these lives, and only then: an Esc
    // pressed before (in the idle editor, leaving a cell, closing a list, or
    // one that stopped a run) does not stop it at its first station, and an
    // Esc that stops it stops nothing after it: the run's interruption
    // (QcInterrupted) is as it was when the check began, so the write-back
    // the operator confirms later stops only for an Esc pressed while it
    // runs. The Esc hook hears one Esc until the abort is taken back
    // (AbortRequested): the outermost check gives it back as well, or the
    // write-back's own Esc would go unheard. A check run within another
    // (the station checks of "Check full Cruise") leaves both to the outer
    // one, which its Esc stops too.
    class TCheckRun {
    public:
        TCheckRun() : FOuter(Depth++ == 0), FInterrupted(QcInterrupted), FAborted(AbortRequested)
        {
            if (FOuter)
                AbortRequested = false;
        }
        ~TCheckRun()
        {
            --Depth;
            if (!FOuter)
                return;
            QcInterrupted = FInterrupted;
            AbortRequested = FAborted;
        }
        TCheckRun(const TCheckRun &) = delete;
        TCheckRun &operator=(const TCheckRun &) = delete;

    private:
        static inline int Depth = 0;
        TInterruptible FRunning;
        bool FOuter;
        bool FInterrupted;
        bool FAborted;
    };
    // Writes the posted level edit of field F to the station database; unless
    // exactly one level changed, the row is put back, the reason shown and
    // false returned.
    bool WriteLevelEdit(TField &F);
    // Writes a row of a grid's table that no operator typed (a refused edit
    // put back, the duplicate mark shown): its edit events record nothing.
    void PostQuietly(TDataSet &D, const std::function<void()> &Set);
    // The in-plot rows after a grid edit of the same level: the later edit
    // stands, and the cache no longer counts it as typed.
    void FollowGridEditInPlot(double StoredPres, const std::string &Field, const TField &F);
    void BuildInPlotRows();
    std::string InPlotValueColumn() const;
    void ApplyInPlotValue();
    void ApplyInPlotPressure();
    // Empties the four boxes: they show no level.
    void ClearInPlotBoxes();
    // Makes the boxes' level ZqQuery2's current row; false (and, for a typed
    // text, why nothing is stored) when they show no level of the profile.
    bool GoToInPlotBoxesLevel(const QLineEdit &Box);
    // After an edit of a stored value, in the grid or next to the plot: under
    // AUTO QC the profile is checked again, else the plot drawn again.
    void AfterLevelEdit();
    // The cell an undo list is read for: a grid, its dataset's field and the
    // row's key (ID_Cast, and the pressure for a level).
    struct TUndoCell {
        TDBGrid *Grid = nullptr;
        std::string Field;
        std::string Key;
        bool operator==(const TUndoCell &A) const { return Grid == A.Grid && Field == A.Field && Key == A.Key; }
    };
    TUndoCell CurrentUndoCell() const;
    // The undo tables' name of a data-grid column of the shown parameter;
    // empty for a column that keeps no undo rows.
    std::string LevelUndoColumn(const std::string &Field) const;
    void FillUndoList(const std::string &Sql, const std::string &Current);
    bool FProfileEligible = false; // the shown parameter is checked by the run and shown by it
    void ClearUndoList();
    // Enables or greys UNDO; a greyed UNDO gives the focus back to its grid.
    void EnableUndo(bool On);
    TUndoCell UndoListCell; // the cell ComboBox1's values belong to
    bool FQuietPost = false; // PostQuietly is writing a row
    const TField *FUndoField = nullptr; // the field UNDO is putting a value back into

    std::unique_ptr<QLockFile> FScratchLock; // held while the scratch list exists
    std::unique_ptr<rtl::TComponent> FDataOwner; // owns the data components
    // The climatology query the editor lends the engine when none is set.
    TQuery *FClimQuery = nullptr;
    bool FFirstShown = false;
    bool FClosed = false;
    bool FLaidOut = false;
};
