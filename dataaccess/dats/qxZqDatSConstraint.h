// qxZqDatSConstraint: the constraint base and the table's constraint list.
// Rows ask the list to check them when they are inserted, modified, deleted,
// taken out of the table, accepted or rejected; a foreign key of another
// table that points at this table is asked too. The unique, foreign-key and
// check constraints derive from TZqDatSConstraintBase.
#pragma once

#include <string>

#include "dataaccess/dats/qxZqDatSObject.h"

namespace dats {

class TZqDatSConstraintBase : public TZqDatSNamedObject {
public:
    TZqDatSConstraintBase();
    ~TZqDatSConstraintBase() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool AValue);
    const std::string &Message() const { return FMessage; }
    void SetMessage(const std::string &AValue) { FMessage = AValue; }
    uint8_t Timing() const { return FTiming; }
    void SetTiming(uint8_t AValue) { FTiming = AValue; }
    bool SkipExistingRows() const { return FSkipExistingRows; }
    void SetSkipExistingRows(bool AValue) { FSkipExistingRows = AValue; }

    // The action is a row state naming what happens to the row.
    virtual void DoCheck(TZqDatSRow *ARow, TZqDatSRowState AAction) { (void)ARow; (void)AAction; }
    virtual void Prepare() {}
    virtual bool AppliesTo(TZqDatSRow *ARow) { (void)ARow; return true; }
    // A foreign key answers the parent table it points at; others nil.
    virtual TZqDatSTable *RelatedTable() const { return nullptr; }
    // A unique constraint answers its ";"-separated key column names.
    virtual const std::string *UniqueColumnNames() const { return nullptr; }
    // A foreign key copies its parent's key into a new child row.
    virtual void FillChildRow(TZqDatSRow *AParent, TZqDatSRow *AChild) { (void)AParent; (void)AChild; }

    bool IsActive();
    void Recheck();
    void Check(TZqDatSRow *ARow, TZqDatSRowState AAction, uint8_t ATiming);
    void CheckAllRows();

    void AfterInsert() override { Recheck(); }
    void AfterRemove(TZqDatSObject *) override { Recheck(); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

protected:
    bool FEnabled = true;
    bool FActive = false;
    std::string FMessage;
    uint8_t FTiming = 0;
    bool FSkipExistingRows = true;
};

class TZqDatSConstraintList : public TZqDatSNamedList {
public:
    explicit TZqDatSConstraintList(TZqDatSTable *ATable);
    TZqDatSConstraintBase *GetItem(int AIndex) const {
        return static_cast<TZqDatSConstraintBase *>(TZqDatSList::GetItem(AIndex));
    }
    bool Enforce() const { return FEnforce; }
    void SetEnforce(bool AValue);
    void RecheckAll();
    void CheckAll(TZqDatSRow *ARow, TZqDatSRowState AAction, uint8_t ATiming);
    void CheckAllRowsAll();
    TZqDatSConstraintBase *ConstraintByName(const std::string &AName);
    // The first unique constraint on exactly these column names, nil when none.
    TZqDatSConstraintBase *FindUnique(const std::string &AColumnNames);
    // A column's coUnique switched: the single-column unique constraint
    // follows it. The unique constraint class registers the routine that
    // makes one (nil until it does: no constraint is made).
    void UpdateColumnUnique(TZqDatSColumn *AColumn, bool AUnique);
    using TMakeUnique = TZqDatSConstraintBase *(*)(TZqDatSConstraintList *AList, const std::string &AName,
                                                    const std::string &AColumnNames, TZqSortOptions AOptions);
    static void SetUniqueMaker(TMakeUnique AMaker) { FMakeUnique = AMaker; }
    static TMakeUnique UniqueMaker() { return FMakeUnique; }

    void Assign(TZqDatSObject *ASource) override;
    void HandleNotification(TZqDatSNotification &ANotification) override;
    TZqDatSTable *GetTable() override { return FTable; }

private:
    TZqDatSTable *FTable;
    bool FEnforce = true;
    static TMakeUnique FMakeUnique;
};

} // namespace dats
