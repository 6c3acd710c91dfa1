// TDBGridModel: the table model of the data-aware grid. It shows the visible
// fields of the dataset behind a data source, one row per record, and edits
// through the dataset.
//
// The model is a data link that asks the dataset to keep every record in its
// buffer window (BufferCount = record count + 1), so row r is the link's
// record r. Painting a cell points the dataset's fields at that record
// (TDataLink::SetActiveRecord) and back: the cursor never moves and no scroll
// event fires while the grid paints. An edited cell moves the dataset to its
// record, puts it in edit state, sets the field's text and posts. Before the
// dataset leaves its record the view's open cell editor is written.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDataSource;
class TField;
class TDataSet;

class TDBGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDBGridModel(QObject *AParent = nullptr);
    ~TDBGridModel() override;

    TDataSource *DataSource() const;
    void SetDataSource(TDataSource *AValue);
    // The field shown in a column (nullptr outside).
    TField *ColumnField(int AColumn) const;
    // The row of the dataset's current record (-1 when there is none).
    int CurrentRow() const;
    // The text of the last edit that failed to post, as the message said.
    const QString &LastError() const { return FLastError; }
    // Edits refused so far (a text the field or the dataset would not take).
    unsigned Refusals() const { return FRefusals; }
    // Fields shown but never typed into: columns the dataset computes and
    // does not store.
    void SetComputedFields(std::vector<std::string> ANames) { FComputed = std::move(ANames); }
    // Writes the text of a cell editor the view has open; false when the
    // write was refused. The model asks for it whenever the dataset is about
    // to leave its record, by whatever road (a key, the grid, a plot's
    // read-out, the program's own Locate), and before its data source leaves
    // the dataset, so that no move drops a value typed and not yet committed:
    // a refused write stops the move (silently, EAbort), and the text stays
    // where it was typed.
    void SetCommitOpenEditor(std::function<bool()> AValue) { FCommitOpenEditor = std::move(AValue); }
    // A note on a record, read while the dataset's fields show it: a row
    // with one is tinted, its header marked " !", and the note is the tip of
    // its cells and header.
    void SetRowNote(std::function<std::string(TDataSet &)> AValue) { FRowNote = std::move(AValue); }

    int rowCount(const QModelIndex &AParent = QModelIndex()) const override;
    int columnCount(const QModelIndex &AParent = QModelIndex()) const override;
    QVariant data(const QModelIndex &AIndex, int ARole = Qt::DisplayRole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &AIndex) const override;
    bool setData(const QModelIndex &AIndex, const QVariant &AValue, int ARole = Qt::EditRole) override;

    // Records beyond this many are not shown (the window would hold them all).
    static constexpr int MaxRows = 100000;

private:
    class TLink;
    friend class TLink;
    void Rebuild();
    void RefreshAll();
    void RefreshRow(int ARow);
    std::unique_ptr<TLink> FLink;
    std::vector<TField *> FColumns;
    int FRows = 0;
    QString FLastError;
    bool FSetting = false; // an edit is being written
    unsigned FRefusals = 0;
    std::vector<std::string> FComputed;
    bool IsComputed(const TField &F) const;
    std::function<bool()> FCommitOpenEditor;
    std::function<std::string(TDataSet &)> FRowNote;
    std::string RowNote(int ARow) const;
    bool FCommitting = false; // the open editor is being written before a move
    void CommitBeforeMove();
};
