// qxZqDatSManager: the updates journal and the DatS manager.
//
// The journal keeps the rows that hold pending changes in the order of their
// first change. It needs no storage of its own: it is a doubly linked list
// threaded through the rows. The manager is the root of a set of tables and
// their relations and may keep one shared journal for all of them.
#pragma once

#include <cstdint>
#include <memory>

#include "dataaccess/dats/qxZqDatSObject.h"

namespace dats {

class TZqDatSUpdatesJournal {
public:
    explicit TZqDatSUpdatesJournal(TZqDatSObject *AOwner);
    ~TZqDatSUpdatesJournal();

    // Answers the row's change serial; a row already journalled keeps its
    // place and serial.
    uint32_t AddRow(TZqDatSRow *ARow);
    void RemoveRow(TZqDatSRow *ARow);
    // Filter: nil matches every row, a table its rows, a manager the rows
    // whose manager it is.
    TZqDatSRow *FirstChange(TZqDatSObject *AFilter = nullptr);
    TZqDatSRow *NextChange(TZqDatSRow *ARow, TZqDatSObject *AFilter = nullptr);
    bool HasChanges(TZqDatSObject *AFilter = nullptr) { return FirstChange(AFilter) != nullptr; }
    void AcceptChanges(TZqDatSObject *AFilter = nullptr);
    TZqDatSObject *Owner() const { return FOwner; }
    TZqDatSRow *First() const { return FFirst; }
    TZqDatSRow *Last() const { return FLast; }
    uint32_t NextSerial() const { return FNextSerial; }

    static bool Matches(TZqDatSRow *ARow, TZqDatSObject *AFilter);

private:
    uint32_t FNextSerial = 0;
    TZqDatSObject *FOwner;
    TZqDatSRow *FFirst = nullptr;
    TZqDatSRow *FLast = nullptr;
    TZqDatSRow *FCursor = nullptr;
    bool FWalking = false;
};

class TZqDatSManager : public TZqDatSNamedObject, public TZqDatSCounted {
public:
    TZqDatSManager();
    ~TZqDatSManager() override;

    bool EnforceConstraints() const { return FEnforceConstraints; }
    TZqDatSRelationList *Relations() const { return FRelations.get(); }
    TZqDatSTableList *Tables() const { return FTables.get(); }
    TZqDatSUpdatesJournal *Journal() const { return FJournal.get(); }
    bool UpdatesRegistry() const { return FUpdatesRegistry; }
    bool CaseSensitive() const { return FCaseSensitive; }
    int Locale() const { return FLocale; }

    void Clear();
    void SetEnforceConstraints(bool AValue);
    void SetUpdatesRegistry(bool AValue);
    void SetCaseSensitive(bool AValue);
    void SetLocale(int AValue);

    TZqDatSManager *GetManager() override { return this; }
    void HandleNotification(TZqDatSNotification &ANotification) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSManager(); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

private:
    bool FEnforceConstraints = true;
    // Owned parts; a constructor that fails half-way frees the ones it made.
    std::unique_ptr<TZqDatSRelationList> FRelations;
    std::unique_ptr<TZqDatSTableList> FTables;
    std::unique_ptr<TZqDatSUpdatesJournal> FJournal;
    bool FUpdatesRegistry = false;
    bool FCaseSensitive = true;
    int FLocale = 1024;
};

} // namespace dats
