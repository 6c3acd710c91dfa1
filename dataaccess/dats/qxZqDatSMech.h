// qxZqDatSMech: the mechanisms that decide what a view shows and in which
// order: row states, key ranges, expression or callback filters, child rows
// of a parent row, and the sort (by columns, by an expression or by row
// number). A mechanism is configured while off; any setter switches it off,
// and switching it on prepares it again and asks its view for a rebuild.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSObject.h"
#include "dataaccess/dats/qxZqDatSRow.h"

namespace dats {

class TZqDatSExpression;

// Mechanism kinds (bits).
constexpr uint8_t mkFilter = 1;
constexpr uint8_t mkSort = 2;
constexpr uint8_t mkNarrowing = 4;

class TZqDatSMechBase : public TZqDatSObject {
public:
    bool ActualActive() const { return FActualActive; }
    bool Active() const { return FActive; }
    void SetActive(bool AValue);
    bool Passive() const { return FPassive; }
    void SetPassive(bool AValue) { FPassive = AValue; }
    uint8_t Kinds() const { return FKinds; }
    TZqDatSView *View() const;

    virtual bool GetActualActive();
    virtual void ActualActiveChanged();
    virtual bool NarrowRange(TZqDatSRowListBase *&ARows, int &AFirst, int &ALast);
    virtual bool AcceptRow(TZqDatSRow *ARow, TZqDatSRowVersion AVersion);
    // Refreshes the actual state.
    void UpdateActualActive();

    TZqDatSTable *GetTable() override;
    void AfterInsert() override { UpdateActualActive(); }
    void AfterRemove(TZqDatSObject *) override { UpdateActualActive(); }
    void BeforeRemove() override { SetActive(false); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

protected:
    bool FActualActive = false;
    bool FActive = false;
    bool FPassive = false;
    uint8_t FKinds = 0;
};

class TZqDatSMechRowState : public TZqDatSMechBase {
public:
    explicit TZqDatSMechRowState(TZqDatSRowStates AStates = 0);
    TZqDatSRowStates States() const { return FStates; }
    void SetStates(TZqDatSRowStates AValue);
    bool AcceptRow(TZqDatSRow *ARow, TZqDatSRowVersion AVersion) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSMechRowState(); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

private:
    TZqDatSRowStates FStates;
};

class TZqDatSMechRange : public TZqDatSMechBase {
public:
    TZqDatSMechRange();
    void SetTop(TZqDatSRow *ARow);
    void SetBottom(TZqDatSRow *ARow);
    void SetTopExclusive(bool AValue);
    void SetBottomExclusive(bool AValue);
    void SetTopColumnCount(int AValue);
    void SetBottomColumnCount(int AValue);
    void SetSort(IZqDataMechSort *ASort);
    void SetTopColumns(TZqDatSColumnSublist *AColumns);
    void SetBottomColumns(TZqDatSColumnSublist *AColumns);
    TZqDatSRow *Top() const { return FTop; }
    TZqDatSRow *Bottom() const { return FBottom; }
    IZqDataMechSort *Sort() const { return FSort; }

    virtual bool NarrowsUnsorted() { return false; }
    void HandleNotification(TZqDatSNotification &ANotification) override;
    void ActualActiveChanged() override;
    bool NarrowRange(TZqDatSRowListBase *&ARows, int &AFirst, int &ALast) override;
    bool AcceptRow(TZqDatSRow *ARow, TZqDatSRowVersion AVersion) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSMechRange(); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

private:
    TZqDatSRow *FTop = nullptr;
    TZqDatSRow *FBottom = nullptr;
    bool FTopExclusive = false;
    bool FBottomExclusive = false;
    IZqDataMechSort *FSort = nullptr;
    int FTopColumnCount = -1;
    int FBottomColumnCount = -1;
    TZqDatSColumnSublist *FBottomColumns = nullptr;
    TZqDatSColumnSublist *FTopColumns = nullptr;
};

class TZqDatSMechFilter;
using TZqDatSFilterRowEvent = std::function<bool(TZqDatSMechFilter *, TZqDatSRow *, TZqDatSRowVersion)>;

class TZqDatSMechFilter : public TZqDatSMechBase {
public:
    TZqDatSMechFilter(const std::string &AExpression = "", uint8_t AOptions = 0,
                      TZqDatSFilterRowEvent ACallback = nullptr);
    ~TZqDatSMechFilter() override;
    const std::string &Expression() const { return FExpression; }
    void SetExpression(const std::string &AValue);
    uint8_t Options() const { return FOptions; }
    void SetOptions(uint8_t AValue);
    void SetCallback(TZqDatSFilterRowEvent AValue);
    // Navigation-only filters are driven by the client dataset.
    bool NavigationOnly() const { return FPassive; }

    void ActualActiveChanged() override;
    bool AcceptRow(TZqDatSRow *ARow, TZqDatSRowVersion AVersion) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSMechFilter(); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

private:
    std::string FExpression;
    uint8_t FOptions = 0;
    std::unique_ptr<TZqDatSExpression> FEvaluator;
    TZqDatSFilterRowEvent FCallback;
};

class TZqDatSMechChilds : public TZqDatSMechBase {
public:
    explicit TZqDatSMechChilds(TZqDatSRow *AParent = nullptr);
    ~TZqDatSMechChilds() override;
    TZqDatSRow *ParentRow() const { return FParent; }
    void SetParentRow(TZqDatSRow *AValue);
    void ActualActiveChanged() override;
    bool NarrowRange(TZqDatSRowListBase *&ARows, int &AFirst, int &ALast) override;
    bool AcceptRow(TZqDatSRow *ARow, TZqDatSRowVersion AVersion) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSMechChilds(); }
    void Assign(TZqDatSObject *ASource) override;

private:
    TZqDatSRow *FParent = nullptr;
    int FRefColumn = -1;
    TZqDataType FRefType = ::dtUnknown;
    // The one child row of a row or array reference, as a list.
    std::unique_ptr<TZqDatSNestedRowList> FSingle;
};

class TZqDatSUniqueConstraint;

class TZqDatSMechSort : public TZqDatSMechBase, public IZqDataMechSort {
public:
    TZqDatSMechSort();
    ~TZqDatSMechSort() override;

    const std::string &Columns() const { return FColumnNames; }
    void SetColumns(const std::string &AValue);
    const std::string &DescendingColumns() const { return FDescNames; }
    void SetDescendingColumns(const std::string &AValue);
    const std::string &NoCaseColumns() const { return FNoCaseNames; }
    void SetNoCaseColumns(const std::string &AValue);
    const std::string &Expression() const { return FExpression; }
    void SetExpression(const std::string &AValue);
    void SetSortOptions(TZqSortOptions AValue);
    TZqDatSConstraintBase *UniqueConstraint() const { return FUnique; }

    // IZqDataMechSort
    TZqSortOptions GetSortOptions() override { return FOptions; }
    TZqDatSColumnSublist *GetSortColumns() override { return &FSortColumns; }
    TZqDatSColumnSublist *GetDescendingColumns() override { return FDescColumns.get(); }
    TZqDatSColumnSublist *GetNoCaseColumns() override { return FNoCaseColumns.get(); }
    uint8_t GetSortKind() override { return FKind; }
    void Sort(TZqDatSRowListBase *ARows) override;
    bool MatchesColumnNames(const std::string &ANames, TZqSortOptions ARequired, TZqSortOptions AForbidden) override;
    bool MatchesColumns(TZqDatSColumnSublist *AColumns, int ACount, TZqSortOptions ARequired,
                        TZqSortOptions AForbidden) override;
    int CompareRowsEx(TZqDatSRow *ARow1, TZqDatSRow *ARow2, TZqDatSCompareOptions AOptions, int ACount) override;
    int CompareRows(TZqDatSRow *ARow1, TZqDatSRow *ARow2, int ACount) override;
    void Search(TZqDatSRowListBase *ARows, TZqDatSRow *AKeyRow, TZqDatSRowVersion AVersion, bool &AFound,
                int &AIndex, TZqDatSSearchOptions AOptions, int AColumnCount, TZqDatSColumnSublist *AKeyRowColumns,
                TZqDatSColumnSublist *AKeyColumns) override;

    // Compares a list row with a key row as the searches do: the key row
    // read at the version, row-number ties when asked.
    int CompareKey(TZqDatSRow *AListRow, TZqDatSRow *AKeyRow, TZqDatSRowVersion AVersion,
                   TZqDatSCompareOptions AOptions, int AColumnCount, TZqDatSColumnSublist *AKeyRowColumns,
                   TZqDatSColumnSublist *AKeyColumns, TZqDatSCompareRowsCache *ACache, bool ARowOrder);
    // The options that a comparison of two sorted rows uses.
    TZqDatSCompareOptions CompareOptions() const;
    bool Unique() const { return (FOptions & (soUnique | soPrimary)) != 0; }

    void ActualActiveChanged() override;
    void HandleNotification(TZqDatSNotification &ANotification) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSMechSort(); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

private:
    int CompareExpression(TZqDatSRow *ARow1, TZqDatSRow *ARow2, TZqDatSCompareOptions AOptions);
    bool SortByKeys(TZqDatSRowListBase *ARows);

    std::unique_ptr<TZqDatSColumnSublist> FNoCaseColumns;
    std::string FNoCaseNames;
    TZqDatSColumnSublist FSortColumns;
    std::string FColumnNames;
    std::unique_ptr<TZqDatSColumnSublist> FDescColumns;
    std::string FDescNames;
    TZqSortOptions FOptions = 0;
    std::string FExpression;
    std::unique_ptr<TZqDatSExpression> FEvaluator;
    uint8_t FKind = skRowNumber;
    bool FOptionsSet = false;
    TZqDatSConstraintBase *FUnique = nullptr;
};

// A key row prepared for one search over rows sorted by a mechanism: the
// key's values are read once, and list rows of the usual kinds (fixed-size
// and inline text columns) are compared straight from their buffers. Other
// cases take the general row comparison; both give the same order.
class TZqDatSSortKey {
public:
    TZqDatSSortKey(TZqDatSMechSort *ASort, TZqDatSRow *AKeyRow, TZqDatSRowVersion AVersion,
                   TZqDatSCompareOptions AOptions, int AColumnCount, TZqDatSColumnSublist *AKeyRowColumns,
                   TZqDatSColumnSublist *AKeyColumns, bool ARowOrder);
    int Compare(TZqDatSRow *AListRow);

private:
    struct TPart {
        TZqDatSLayoutColumn Col;
        TZqDatSCompareOptions Options;
        const void *Value;
        uint32_t Length;
        bool Null;
    };
    TZqDatSMechSort *FSort;
    TZqDatSRow *FKeyRow;
    TZqDatSRowVersion FVersion;
    TZqDatSCompareOptions FOptions;
    int FColumnCount;
    TZqDatSColumnSublist *FKeyRowColumns;
    TZqDatSColumnSublist *FKeyColumns;
    bool FRowOrder;
    bool FFast = false;
    TZqDatSRowLayout *FLayout = nullptr;
    int FLocale = 1024;
    static constexpr int CMaxParts = 8;
    TPart FParts[CMaxParts];
    int FPartCount = 0;
    TZqDatSCompareRowsCache FCache;
};

class TZqDatSViewMechList : public TZqDatSList {
public:
    explicit TZqDatSViewMechList(TZqDatSView *AView);
    TZqDatSMechBase *GetItem(int AIndex) const { return static_cast<TZqDatSMechBase *>(TZqDatSList::GetItem(AIndex)); }
    TZqDatSView *View() const { return FView; }
    int AddMech(TZqDatSMechBase *AMech);
    TZqDatSMechSort *AddSort(const std::string &AColumns, TZqSortOptions AOptions = 0,
                             const std::string &ADescending = "", const std::string &ANoCase = "");
    TZqDatSMechSort *AddSortExpression(const std::string &AExpression, TZqSortOptions AOptions = 0);
    TZqDatSMechFilter *AddFilter(const std::string &AExpression, uint8_t AOptions = 0,
                                 TZqDatSFilterRowEvent ACallback = nullptr);
    TZqDatSMechRowState *AddRowState(TZqDatSRowStates AStates);
    void Clear() override;
    void HandleNotification(TZqDatSNotification &ANotification) override;
    TZqDatSTable *GetTable() override;

private:
    TZqDatSView *FView;
};

} // namespace dats
