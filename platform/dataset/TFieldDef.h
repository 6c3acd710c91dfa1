// Field and index definitions: what a dataset's records consist of before
// any field object exists. One TFieldDef type serves every dataset, so the
// program can create a local table from the definitions of a main-database
// query (TFieldDefs::Assign) and from those of a template table.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dataset/DBConsts.h"
#include "platform/rtl/DB.h"

class TFieldDefs;
class TIndexDefs;

class TFieldDef {
public:
    TFieldDef(TFieldDefs *AOwner, const std::string &AName, rtl::TFieldType ADataType,
              int ASize, bool ARequired, int AFieldNo);
    ~TFieldDef();
    TFieldDef(const TFieldDef &) = delete;
    TFieldDef &operator=(const TFieldDef &) = delete;

    // Creates the field object of this definition (class chosen by the
    // dataset's GetFieldClass) and adds it to the dataset's fields.
    TField *CreateField(TDataSet *AOwner, TField *AParentField = nullptr,
                        const std::string &AFieldName = "");
    void Assign(const TFieldDef &ASource);

    const std::string &Name() const { return FName; }
    void SetName(const std::string &AValue);
    const std::string &DisplayName() const { return FName; }
    rtl::TFieldType DataType() const { return FDataType; }
    void SetDataType(rtl::TFieldType AValue);
    int Size() const { return FSize; }
    void SetSize(int AValue) { FSize = AValue; Changed(); }
    int Precision() const { return FPrecision; }
    void SetPrecision(int AValue) { FPrecision = AValue; Changed(); }
    int FieldNo() const { return FFieldNo; }
    void SetFieldNo(int AValue) { FFieldNo = AValue; }
    bool Required() const { return (FAttributes & faRequired) != 0; }
    void SetRequired(bool AValue);
    TFieldAttributes Attributes() const { return FAttributes; }
    void SetAttributes(TFieldAttributes AValue) { FAttributes = AValue; Changed(); }
    bool InternalCalcField() const { return FInternalCalcField; }
    void SetInternalCalcField(bool AValue) { FInternalCalcField = AValue; }
    // A value the storage fills in when a new row leaves the field empty; the
    // local table engine makes it the column's default.
    const std::string &DefaultExpression() const { return FDefaultExpression; }
    void SetDefaultExpression(const std::string &AValue) { FDefaultExpression = AValue; Changed(); }
    TFieldDefs *ChildDefs();
    bool HasChildDefs() const;
    TFieldDefs *Collection() const { return FOwner; }
    int Index() const;

private:
    friend class TFieldDefs;
    void Changed();
    TFieldDefs *FOwner;
    std::string FName;
    rtl::TFieldType FDataType;
    int FSize = 0;
    int FPrecision = 0;
    int FFieldNo = 0;
    TFieldAttributes FAttributes = 0;
    bool FInternalCalcField = false;
    std::string FDefaultExpression;
    std::unique_ptr<TFieldDefs> FChildDefs;
};

class TFieldDefs {
public:
    explicit TFieldDefs(TDataSet *ADataSet, TFieldDef *AParentDef = nullptr);
    ~TFieldDefs();
    TFieldDefs(const TFieldDefs &) = delete;
    TFieldDefs &operator=(const TFieldDefs &) = delete;

    TFieldDef *AddFieldDef();
    // Raises "Duplicate field name" when the name exists already.
    TFieldDef *Add(const std::string &AName, rtl::TFieldType ADataType, int ASize = 0,
                   bool ARequired = false);
    void Assign(const TFieldDefs &ASource);
    void Clear();
    void Delete(int AIndex);
    TFieldDef *Find(const std::string &AName) const; // raises "Field '%s' not found"
    int IndexOf(const std::string &AName) const;     // case-insensitive; -1 when absent
    int Count() const { return int(FItems.size()); }
    TFieldDef *Items(int AIndex) const;
    TFieldDef *operator[](int AIndex) const { return Items(AIndex); }
    // Brings the definitions in line with the dataset (asks the dataset to
    // describe its records when they are not current).
    void Update();
    bool Updated() const { return FUpdated; }
    void SetUpdated(bool AValue) { FUpdated = AValue; }
    TDataSet *DataSet() const { return FDataSet; }
    TFieldDef *ParentDef() const { return FParentDef; }

private:
    friend class TFieldDef;
    void Changed();
    TDataSet *FDataSet;
    TFieldDef *FParentDef;
    std::vector<std::unique_ptr<TFieldDef>> FItems;
    bool FUpdated = false;
};

class TIndexDef {
public:
    TIndexDef(const std::string &AName, const std::string &AFields, TIndexOptions AOptions)
        : Name(AName), Fields(AFields), Options(AOptions) {}
    std::string Name;
    std::string Fields;     // field names separated by ";"
    TIndexOptions Options;
    std::string DescFields; // fields sorted descending
    std::string CaseInsFields;
    std::string Expression;
    std::string Source;
};

class TIndexDefs {
public:
    explicit TIndexDefs(TDataSet *ADataSet) : FDataSet(ADataSet) {}
    TIndexDef *Add(const std::string &AName, const std::string &AFields, TIndexOptions AOptions);
    void Assign(const TIndexDefs &ASource);
    void Clear() { FItems.clear(); }
    int Count() const { return int(FItems.size()); }
    TIndexDef *Items(int AIndex) const { return FItems.at(size_t(AIndex)).get(); }
    int IndexOf(const std::string &AName) const;
    TIndexDef *Find(const std::string &AName) const;
    // The first primary (else unique) index whose fields start with AFields.
    TIndexDef *FindIndexForFields(const std::string &AFields) const;
    TIndexDef *GetIndexForFields(const std::string &AFields, bool ACaseInsensitive) const;
    void Update();
    bool Updated() const { return FUpdated; }
    void SetUpdated(bool AValue) { FUpdated = AValue; }
    TDataSet *DataSet() const { return FDataSet; }

private:
    TDataSet *FDataSet;
    std::vector<std::unique_ptr<TIndexDef>> FItems;
    bool FUpdated = false;
};

// The native buffer size of a field type given its definition size, as the
// record buffers and field reads use it.
int FieldTypeDataSize(rtl::TFieldType AType, int ASize);
// Splits "A;B;C" into names (blanks around each name dropped, empty parts skipped).
std::vector<std::string> SplitFieldNames(const std::string &ANames);
