// qxZqDatSTable: the in-memory table. It owns its columns, constraints,
// rows, views and its own updates journal, and belongs to a manager through
// the manager's table list (or stands alone). Load modes suspend checks and,
// in modes 2, 4 and 5, view maintenance while many rows arrive or leave; the
// views are rebuilt once at the end.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSObject.h"

namespace dats {

class TZqDatSRelation;

class TZqDatSTable : public TZqDatSBindedObject, public TZqDatSCounted {
public:
    TZqDatSTable();
    explicit TZqDatSTable(const std::string &AName); // CreateNamed
    ~TZqDatSTable() override;

    TZqDatSColumnList *Columns() const { return FColumns.get(); }
    TZqDatSConstraintList *Constraints() const { return FConstraints.get(); }
    TZqDatSTableRowList *Rows() const { return FRows.get(); }
    TZqDatSViewList *Views() const { return FViews.get(); }
    TZqDatSUpdatesJournal *Journal() const { return FJournal.get(); }
    bool OwnJournal() const { return FOwnJournal; }
    void SetOwnJournal(bool AValue) { FOwnJournal = AValue; }
    TZqDatSLoadMode LoadMode() const { return FLoadMode; }
    TZqDatSManager *Manager() const { return FManager; }
    int Locale() const { return FLocale; }
    bool CaseSensitive() const { return FCaseSensitive; }
    IZqDataTableCallback *Callback() const { return FCallback; }
    void SetCallback(IZqDataTableCallback *AValue) { FCallback = AValue; }
    TZqDatSView *DefaultView() const { return FDefaultView; }
    TZqDatSView *View2() const { return FView2; }
    TZqDatSView *View3() const { return FView3; }
    void SetView2(TZqDatSView *AView) { FView2 = AView; }
    void SetView3(TZqDatSView *AView) { FView3 = AView; }

    TZqDatSRow *NewRow(bool AAssignDefaults = true);
    TZqDatSRow *NewChildRow(bool AAssignDefaults, const std::vector<TZqDatSRow *> &AParents);
    TZqDatSRow *ImportRow(TZqDatSRow *ASource, TZqDatSRow *ADestination = nullptr);
    TZqDatSView *Select(const std::string &AFilter, const std::string &ASort,
                        TZqDatSRowStates AStates = 0);
    TZqDatSView *GetDefaultView();
    void BeginLoadData(TZqDatSLoadMode AMode);
    void EndLoadData();
    void ClearRows();
    void Reset();
    bool HasChanges(TZqDatSRowStates AStates);
    void CheckNoRows();
    bool ConstraintsEnforced() const;
    std::vector<TZqDatSRelation *> GetParentRelations();
    std::vector<TZqDatSRelation *> GetChildRelations();
    int GetRowsCapacity() const;
    void SetRowsCapacity(int AValue);
    void SetLocale(int AValue);
    void SetCaseSensitive(bool AValue);

    // Computes the row layout when it is not computed yet.
    void EnsureLayout();

    TZqDatSManager *GetManager() override { return FManager; }
    TZqDatSTable *GetTable() override { return this; }
    void HandleNotification(TZqDatSNotification &ANotification) override;
    void AfterInsert() override;
    void AfterRemove(TZqDatSObject *AFormerOwner) override;
    void BeforeRemove() override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSTable(); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

private:
    friend class TZqDatSManager;
    void Init();
    void RecheckAfterCompareChange();
    std::vector<TZqDatSTable *> NestedTables();

    // Owned parts; a constructor that fails half-way frees the ones it made.
    std::unique_ptr<TZqDatSColumnList> FColumns;
    std::unique_ptr<TZqDatSConstraintList> FConstraints;
    TZqDatSView *FDefaultView = nullptr;
    TZqDatSView *FView2 = nullptr;
    TZqDatSView *FView3 = nullptr;
    std::unique_ptr<TZqDatSTableRowList> FRows;
    std::unique_ptr<TZqDatSViewList> FViews;
    std::unique_ptr<TZqDatSUpdatesJournal> FJournal;
    bool FOwnJournal = true;
    TZqDatSLoadMode FLoadMode = lmNormal;
    TZqDatSManager *FManager = nullptr;
    int FLocale = 1024;
    bool FCaseSensitive = true;
    IZqDataTableCallback *FCallback = nullptr;
    // Begin calls ignored because another mode was in force: their End
    // calls must not end the outer mode.
    int FIgnoredLoads = 0;
};

class TZqDatSTableList : public TZqDatSBindedList {
public:
    explicit TZqDatSTableList(TZqDatSManager *AManager);
    TZqDatSTable *GetItem(int AIndex) const { return static_cast<TZqDatSTable *>(TZqDatSList::GetItem(AIndex)); }
    TZqDatSTable *operator[](int AIndex) const { return GetItem(AIndex); }
    TZqDatSTable *AddTable(const std::string &AName);
    TZqDatSTable *TableByName(const std::string &AName);
    TZqDatSManager *GetManager() override;
};

} // namespace dats
