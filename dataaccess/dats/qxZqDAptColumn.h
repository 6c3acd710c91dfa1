// qxZqDAptColumn: column mappings of a table adapter. A mapping ties one
// result-set column (by position or name) to a column of the in-memory
// table and to the column name used in generated update statements. With at
// least one mapping only mapped columns are known to the adapter's mapping
// handler; with none, columns keep their own names.
#pragma once

#include <cstdint>
#include <string>

#include "platform/rtl/Classes.h"

namespace dats {
class TZqDatSTable;
class TZqDatSColumn;
} // namespace dats

// What a mapping is looked up by: 0 nothing (never matches), 1 the source
// column's position, 2 its source name, 3 the DatS column name, 4 a DatS
// column. Tables are looked up the same way, 4 being the DatS table.
enum TZqMappingKeyKind : uint8_t {
    mkNone = 0, mkSourceID = 1, mkSourceName = 2, mkDatSName = 3, mkDatSColumn = 4, mkDatSTable = 4
};

struct TZqMappingKey {
    TZqMappingKey() = default;
    TZqMappingKey(int32_t AID) : ID(AID) {}
    TZqMappingKey(std::string AName) : Name(std::move(AName)) {}
    TZqMappingKey(const char *AName) : Name(AName) {}
    TZqMappingKey(dats::TZqDatSColumn *AColumn) : Column(AColumn) {}
    TZqMappingKey(dats::TZqDatSTable *ATable) : Table(ATable) {}
    int32_t ID = -1;
    std::string Name;
    dats::TZqDatSColumn *Column = nullptr;
    dats::TZqDatSTable *Table = nullptr; // kind 4 of a table key
};

// The outputs a mapping fills for the mapping handler; each is written only
// when the mapping has a value for it.
struct TZqColumnMapResult {
    int32_t SourceID = -1;
    std::string SourceName;
    std::string DatSName;
    std::string UpdateName;
    dats::TZqDatSColumn *DatSColumn = nullptr;
};

// The outputs a table adapter fills for the mapping handler when it names
// a result set or a DatS table; each is written only when it has a value.
struct TZqTableMapResult {
    int32_t SourceID = -1;
    std::string SourceName;
    std::string DatSName;
    std::string UpdateName;
    dats::TZqDatSTable *DatSTable = nullptr;
};

class TZqDAptColumnMappings;

class TZqDAptColumnMapping : public rtl::TCollectionItem {
public:
    std::string ClassName() const override { return "TZqDAptColumnMapping"; }
    void Assign(const rtl::TPersistent &ASource) override;

    // Reads as SourceColumnName when empty.
    std::string DatSColumnName() const { return FDatSColumnName.empty() ? FSourceColumnName : FDatSColumnName; }
    void SetDatSColumnName(const std::string &AValue) { FDatSColumnName = AValue; }
    int32_t SourceColumnID() const { return FSourceColumnID; }
    // A position of 0 or more clears the source name.
    void SetSourceColumnID(int32_t AValue);
    const std::string &SourceColumnName() const { return FSourceColumnName; }
    // A non-empty name clears the source position.
    void SetSourceColumnName(const std::string &AValue);
    // Reads as SourceColumnName when empty.
    std::string UpdateColumnName() const { return FUpdateColumnName.empty() ? FSourceColumnName : FUpdateColumnName; }
    void SetUpdateColumnName(const std::string &AValue) { FUpdateColumnName = AValue; }

    std::string DisplayName() const override;
    // The column of the bound table named DatSColumnName; nil when there is
    // no such name, table or column.
    dats::TZqDatSColumn *DatSColumn() const;
    bool Matches(const TZqMappingKey &AKey, TZqMappingKeyKind AKind) const;
    // Writes into AResult the values this mapping has.
    void FillResult(TZqColumnMapResult &AResult) const;

private:
    std::string FDatSColumnName;
    int32_t FSourceColumnID = -1;
    std::string FSourceColumnName;
    std::string FUpdateColumnName;
};

class TZqDAptColumnMappings : public rtl::TCollection {
public:
    TZqDAptColumnMappings();
    ~TZqDAptColumnMappings() override;
    std::string ClassName() const override { return "TZqDAptColumnMappings"; }

    TZqDAptColumnMapping *Add() { return static_cast<TZqDAptColumnMapping *>(rtl::TCollection::Add()); }
    TZqDAptColumnMapping *Items(int AIndex) const
    {
        return static_cast<TZqDAptColumnMapping *>(rtl::TCollection::Items(AIndex));
    }
    int IndexOf(const TZqMappingKey &AKey, TZqMappingKeyKind AKind) const;
    TZqDAptColumnMapping *Lookup(const TZqMappingKey &AKey, TZqMappingKeyKind AKind) const;

    // The table DatS column names are resolved against (set by the adapter
    // each time it hands out its mappings; not owned).
    dats::TZqDatSTable *DatSTable() const { return FDatSTable; }
    void SetDatSTable(dats::TZqDatSTable *AValue) { FDatSTable = AValue; }

private:
    dats::TZqDatSTable *FDatSTable = nullptr;
};
