// qxZqDatSConstraints: the unique, foreign-key and check constraints of a
// table. Keys are checked by binary search in sorted views that the
// constraints create once and find again by their sort.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSConstraint.h"

namespace dats {

class TZqDatSExpression;

class TZqDatSUniqueConstraint : public TZqDatSConstraintBase {
public:
    TZqDatSUniqueConstraint();
    TZqDatSUniqueConstraint(const std::string &AName, const std::string &AColumnNames, bool APrimary);
    static TZqDatSUniqueConstraint *CreateByColumns(const std::string &AName, TZqDatSColumnSublist *AColumns,
                                                    bool APrimary);
    const std::string &ColumnNames() const { return FColumnNames; }
    void SetColumnNames(const std::string &AValue);
    TZqDatSColumnSublist *Columns() { return &FColumns; }
    TZqSortOptions Options() const { return FOptions; }
    void SetOptions(TZqSortOptions AValue);
    TZqDatSView *GetView();
    // A primary key's columns refuse NULL and are marked as key columns.
    static void SetKeyFlags(TZqDatSColumn *AColumn, bool AOn);

    void DoCheck(TZqDatSRow *ARow, TZqDatSRowState AAction) override;
    void Prepare() override;
    const std::string *UniqueColumnNames() const override { return &FColumnNames; }
    void HandleNotification(TZqDatSNotification &ANotification) override;
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSUniqueConstraint(); }

private:
    std::string FColumnNames;
    TZqDatSColumnSublist FColumns;
    TZqSortOptions FOptions = soUnique;
};

class TZqDatSForeignKeyConstraint : public TZqDatSConstraintBase {
public:
    TZqDatSForeignKeyConstraint();
    const std::string &ColumnNames() const { return FColumnNames; }
    void SetColumnNames(const std::string &AValue);
    TZqDatSColumnSublist *Columns() { return &FColumns; }
    const std::string &RelatedColumnNames() const { return FRelatedColumnNames; }
    void SetRelatedColumnNames(const std::string &AValue);
    TZqDatSColumnSublist *RelatedColumns() { return &FRelatedColumns; }
    TZqDatSTable *RelatedTable() const override { return FRelatedTable; }
    void SetRelatedTable(TZqDatSTable *AValue);
    const std::string &RelatedTableName() const { return FRelatedTableName; }
    uint8_t DeleteRule() const { return FDeleteRule; }
    void SetDeleteRule(uint8_t AValue) { FDeleteRule = AValue; }
    uint8_t UpdateRule() const { return FUpdateRule; }
    void SetUpdateRule(uint8_t AValue) { FUpdateRule = AValue; }
    uint8_t AcceptRejectRule() const { return FAcceptRejectRule; }
    void SetAcceptRejectRule(uint8_t AValue) { FAcceptRejectRule = AValue; }
    const std::string &ChildMessage() const { return FChildMessage; }
    void SetChildMessage(const std::string &AValue) { FChildMessage = AValue; }
    bool CompleteKeysOnly() const { return FCompleteKeysOnly; }
    void SetCompleteKeysOnly(bool AValue) { FCompleteKeysOnly = AValue; }
    bool NoChildRowFill() const { return FNoChildRowFill; }
    void SetNoChildRowFill(bool AValue) { FNoChildRowFill = AValue; }

    TZqDatSView *GetChildView();
    TZqDatSView *GetParentView();
    void CopyKey(TZqDatSRow *AParent, TZqDatSRow *AChild);

    void DoCheck(TZqDatSRow *ARow, TZqDatSRowState AAction) override;
    void Prepare() override;
    void FillChildRow(TZqDatSRow *AParent, TZqDatSRow *AChild) override {
        if (!FNoChildRowFill) CopyKey(AParent, AChild);
    }
    void HandleNotification(TZqDatSNotification &ANotification) override;
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSForeignKeyConstraint(); }

private:
    bool KeyComplete(TZqDatSRow *ARow, TZqDatSColumnSublist *AColumns, TZqDatSRowVersion AVersion) const;
    bool InProgress(TZqDatSRow *ARow) const;
    void CheckParent(TZqDatSRow *ARow, TZqDatSRowState AAction);
    void Cascade(TZqDatSRow *AParent, const std::vector<TZqDatSRow *> &AChildren, int AStep);

    std::string FColumnNames;
    TZqDatSColumnSublist FColumns;
    uint8_t FDeleteRule = 0;
    std::string FRelatedColumnNames;
    TZqDatSColumnSublist FRelatedColumns;
    TZqDatSTable *FRelatedTable = nullptr;
    uint8_t FUpdateRule = 0;
    std::string FChildMessage;
    std::string FRelatedTableName;
    std::vector<TZqDatSRow *> FInProgress;
    uint8_t FAcceptRejectRule = 1;
    bool FCompleteKeysOnly = false;
    bool FNoChildRowFill = false;
};

class TZqDatSCheckConstraint : public TZqDatSConstraintBase {
public:
    TZqDatSCheckConstraint();
    TZqDatSCheckConstraint(const std::string &AName, const std::string &AExpression, const std::string &AMessage,
                           uint8_t ATiming);
    ~TZqDatSCheckConstraint() override;
    const std::string &Expression() const { return FExpression; }
    void SetExpression(const std::string &AValue);

    void DoCheck(TZqDatSRow *ARow, TZqDatSRowState AAction) override;
    void Prepare() override;
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSCheckConstraint(); }

private:
    std::unique_ptr<TZqDatSExpression> FEvaluator;
    std::string FExpression;
};

// The list's typed additions (each appended with AddSafe).
TZqDatSUniqueConstraint *ZqAddUnique(TZqDatSConstraintList *AList, const std::string &AName,
                                     const std::string &AColumnNames, bool APrimary);
TZqDatSUniqueConstraint *ZqAddUniqueEx(TZqDatSConstraintList *AList, const std::string &AName,
                                       TZqDatSColumnSublist *AColumns, bool APrimary);
TZqDatSCheckConstraint *ZqAddCheck(TZqDatSConstraintList *AList, const std::string &AName,
                                   const std::string &AExpression, const std::string &AMessage, uint8_t ATiming);
TZqDatSForeignKeyConstraint *ZqAddForeignKey(TZqDatSConstraintList *AList, const std::string &AName,
                                             const std::string &AColumnNames, TZqDatSTable *ARelatedTable,
                                             const std::string &ARelatedColumnNames);

} // namespace dats
