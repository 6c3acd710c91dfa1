// qxZqDatSView: views and the view list. A view is an ordered, filtered list
// of a table's rows (or of another view's rows) that its mechanisms decide
// and that stays current while rows change: a changed row is re-placed by one
// binary search and one move instead of a rebuild.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dataaccess/dats/qxZqDatSObject.h"

namespace dats {

class TZqDatSViewMechList;

struct TZqDatSViewChange {
    uint8_t ChangeKind = 0; // 0 added, 1 moved or changed in place, 2 removed
    int NewIndex = -1;
    int OldIndex = -1;
    TZqDatSRow *Row = nullptr;
};

class TZqDatSView : public TZqDatSNamedObject, public TZqDatSCounted {
public:
    TZqDatSView();
    ~TZqDatSView() override;
    // A view on the table with the given filter, sort and row states (the
    // default states when 0), active and in the table's view list.
    static TZqDatSView *CreateForTable(TZqDatSTable *ATable, const std::string &AFilter,
                                       const std::string &ASort, TZqDatSRowStates AStates);
    static TZqDatSView *CreateEx(TZqDatSTable *ATable, const std::string &AName, uint8_t ACreatorKind,
                                 bool ACountRef);

    bool Active() const { return FActive; }
    void SetActive(bool AValue);
    bool GetActualActive() const { return FUsable; }
    TZqDatSViewMechList *Mechanisms() const { return FMechanisms.get(); }
    TZqDatSViewRowList *Rows() const { return FRows.get(); }
    TZqDatSView *SourceView() const { return FSourceView; }
    void SetSourceView(TZqDatSView *AView);
    uint8_t CreatorKind() const { return FCreatorKind; }
    void SetCreatorKind(uint8_t AValue) { FCreatorKind = AValue; }
    TZqDatSAggregateList *Aggregates() const { return FAggregates.get(); }
    IZqDataMechSort *SortMech() const { return FSortMech; }
    bool IsValid() const { return (FStateFlags & 1) == 0; }
    void SetPositionHint(int AValue) { FPositionHint = AValue; }
    int PositionHint() const { return FPositionHint; }
    int LastPosition() const { return FLastPosition; }

    void Rebuild();
    void RebuildIfNeeded();
    void ForceRebuild();
    void Invalidate();
    void RowInserted(TZqDatSRow *ARow);
    void RowModified(TZqDatSRow *ARow);
    void RowRemoved(TZqDatSRow *ARow);

    // Answers 0 found, 1 answering the end position, -1 otherwise.
    int Search(TZqDatSRow *AKeyRow, TZqDatSColumnSublist *AKeyColumns, TZqDatSColumnSublist *AKeyRowColumns,
               int AColumnCount, TZqDatSSearchOptions AOptions, int &AIndex, bool &AFound,
               TZqDatSRowVersion AVersion = rvDefault);
    int IndexOf(TZqDatSRow *ARow, TZqDatSRowVersion AVersion = rvDefault);
    int GetSortKeyCount();
    TZqDatSMechBase *FindMechanism(const std::type_info &AClass, uint8_t AKindBit);
    std::string GetRowFilter();
    void SetRowFilter(const std::string &AText);
    bool FindFilteredRow(int &AIndex, bool AForward, bool ARestart);
    void DeleteRows();
    void UpdateActive();
    void FindSortMech(TZqDatSView *AExcluded = nullptr);

    TZqDatSTable *GetTable() override;
    void HandleNotification(TZqDatSNotification &ANotification) override;
    void AfterInsert() override;
    void BeforeRemove() override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSView(); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

private:
    bool ComputeUsable();
    // 0 placed, 1 not in the view, 2 left in place.
    int RowChanged(TZqDatSRow *ARow, int &ANewPos, int &AOldPos, bool AInsert);
    bool AcceptedByFilters(TZqDatSRow *ARow);
    int InsertPosition(TZqDatSRow *ARow, int AOldPos);
    int SortedIndexOf(TZqDatSRow *ARow, TZqDatSRowVersion AVersion);
    void SendChange(uint8_t AKind, int ANewIndex, int AOldIndex, TZqDatSRow *ARow);
    bool IsSourceOf(TZqDatSView *AView);
    bool SourceInRowIDOrder();

    bool FActive = false;
    bool FUsable = false;
    // Owned parts; a constructor that fails half-way frees the ones it made.
    std::unique_ptr<TZqDatSViewMechList> FMechanisms;
    std::unique_ptr<TZqDatSViewRowList> FRows;
    TZqDatSView *FSourceView = nullptr;
    uint8_t FStateFlags = 1;
    uint8_t FCreatorKind = 0;
    std::unique_ptr<TZqDatSAggregateList> FAggregates;
    IZqDataMechSort *FSortMech = nullptr;
    int FPositionHint = -1;
    int FLastPosition = -1;
    // The row being edited and where it stood when its edit began: after the
    // edit is posted its old key is gone, and this spares a scan for it.
    TZqDatSRow *FEditRow = nullptr;
    int FEditPos = -1;
};

class TZqDatSViewList : public TZqDatSNamedList {
public:
    explicit TZqDatSViewList(TZqDatSTable *ATable);
    TZqDatSView *GetItem(int AIndex) const { return static_cast<TZqDatSView *>(TZqDatSList::GetItem(AIndex)); }
    TZqDatSView *FindView(const std::string &AName);
    // The first built view whose only mechanism is a column sort matching
    // the names (as a prefix, or exactly with AExact) and the options.
    TZqDatSView *FindSortedView(const std::string &AColumnNames, TZqSortOptions ARequired,
                                TZqSortOptions AForbidden, bool AExact = false);
    bool ViewsActive() const { return FViewsActive; }
    void SetViewsActive(bool AValue);
    void RebuildAll();
    void Clear() override;
    void Assign(TZqDatSObject *ASource) override;
    void HandleNotification(TZqDatSNotification &ANotification) override;
    TZqDatSTable *GetTable() override { return FTable; }

private:
    TZqDatSTable *FTable;
    bool FViewsActive = true;
};

} // namespace dats
