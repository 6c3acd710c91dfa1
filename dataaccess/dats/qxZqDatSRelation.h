// qxZqDatSRelation: relations between two tables of a manager (master and
// detail, or a nested table under a reference column) and the manager's
// relation list with its look-ups.
#pragma once

#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSObject.h"

namespace dats {

class TZqDatSRelation : public TZqDatSNamedObject {
public:
    TZqDatSRelation();
    const std::string &ChildColumnNames() const { return FChildColumnNames; }
    const std::string &ParentColumnNames() const { return FParentColumnNames; }
    TZqDatSColumnSublist *ChildColumns() { return &FChildColumns; }
    TZqDatSColumnSublist *ParentColumns() { return &FParentColumns; }
    TZqDatSTable *ChildTable() const { return FChildTable; }
    TZqDatSTable *ParentTable() const { return FParentTable; }
    bool Nested() const { return FNested; }
    TZqDatSConstraintBase *ChildKeyConstraint() const { return FChildKeyConstraint; }
    TZqDatSConstraintBase *ParentKeyConstraint() const { return FParentKeyConstraint; }

    void SetChildColumnNames(const std::string &AValue);
    void SetParentColumnNames(const std::string &AValue);
    void SetChildTable(TZqDatSTable *AValue);
    void SetParentTable(TZqDatSTable *AValue);
    void SetNested(bool AValue);
    void SetChildKeyConstraint(TZqDatSConstraintBase *AValue);
    void SetParentKeyConstraint(TZqDatSConstraintBase *AValue);
    // Error 36 when the two sides cannot form this kind of relation.
    void Validate();

    bool IsComplete() const;
    int ChildColumnCount() const { return FChildColumns.Count(); }
    int ParentColumnCount() const { return FParentColumns.Count(); }
    TZqDatSColumn *GetParentColumn(int AIndex) const {
        return AIndex < FParentColumns.Count() ? FParentColumns.GetItem(AIndex) : nullptr;
    }

    void HandleNotification(TZqDatSNotification &ANotification) override;
    void Assign(TZqDatSObject *ASource) override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSRelation(); }

protected:
    std::string FChildColumnNames;
    TZqDatSColumnSublist FChildColumns;
    TZqDatSConstraintBase *FChildKeyConstraint = nullptr;
    TZqDatSTable *FChildTable = nullptr;
    bool FNested = false;
    std::string FParentColumnNames;
    TZqDatSColumnSublist FParentColumns;
    TZqDatSConstraintBase *FParentKeyConstraint = nullptr;
    TZqDatSTable *FParentTable = nullptr;
};

class TZqDatSRelationList : public TZqDatSNamedList {
public:
    explicit TZqDatSRelationList(TZqDatSManager *AManager);
    TZqDatSRelation *GetItem(int AIndex) const { return static_cast<TZqDatSRelation *>(TZqDatSList::GetItem(AIndex)); }
    // Each look-up prefers a complete relation over an incomplete one.
    TZqDatSRelation *FindRelation(TZqDatSTable *AParent, TZqDatSTable *AChild, bool ANestedOnly);
    TZqDatSRelation *FindNestedByParentColumn(TZqDatSTable *AParent, TZqDatSColumn *AColumn);
    TZqDatSRelation *FindNestedByChildTable(TZqDatSTable *AChild);
    std::vector<TZqDatSRelation *> GetRelationsOf(bool AChildSide, TZqDatSTable *ATable);
    void HandleNotification(TZqDatSNotification &ANotification) override;
    TZqDatSManager *GetManager() override { return FManager; }

private:
    TZqDatSManager *FManager;
};

} // namespace dats
