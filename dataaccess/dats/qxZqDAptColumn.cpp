// qxZqDAptColumn: column mappings of a table adapter.
#include "dataaccess/dats/qxZqDAptColumn.h"

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanFastCode.h"
#include "platform/rtl/Format.h"

namespace {

bool SameName(const std::string &A, const std::string &B) { return ZqCompareText(A, B) == 0; }

} // namespace

void TZqDAptColumnMapping::Assign(const rtl::TPersistent &ASource)
{
    if (auto *S = dynamic_cast<const TZqDAptColumnMapping *>(&ASource)) {
        FDatSColumnName = S->FDatSColumnName;
        FSourceColumnID = S->FSourceColumnID;
        FSourceColumnName = S->FSourceColumnName;
        FUpdateColumnName = S->FUpdateColumnName;
        return;
    }
    rtl::TCollectionItem::Assign(ASource);
}

void TZqDAptColumnMapping::SetSourceColumnID(int32_t AValue)
{
    FSourceColumnID = AValue;
    if (AValue >= 0)
        FSourceColumnName.clear();
}

void TZqDAptColumnMapping::SetSourceColumnName(const std::string &AValue)
{
    FSourceColumnName = AValue;
    if (!AValue.empty())
        FSourceColumnID = -1;
}

std::string TZqDAptColumnMapping::DisplayName() const
{
    std::string S = FSourceColumnName;
    if (S.empty() && FSourceColumnID >= 0)
        S = rtl::Format("[%d]", {rtl::Variant(FSourceColumnID)});
    if (!S.empty() && !FDatSColumnName.empty())
        S += " -> " + FDatSColumnName;
    return S.empty() ? rtl::TCollectionItem::DisplayName() : S;
}

dats::TZqDatSColumn *TZqDAptColumnMapping::DatSColumn() const
{
    auto *L = dynamic_cast<TZqDAptColumnMappings *>(Collection());
    std::string Name = DatSColumnName();
    if (!L || !L->DatSTable() || Name.empty())
        return nullptr;
    int Index = -1;
    return static_cast<dats::TZqDatSColumn *>(L->DatSTable()->Columns()->FindByName(Name, Index));
}

bool TZqDAptColumnMapping::Matches(const TZqMappingKey &AKey, TZqMappingKeyKind AKind) const
{
    switch (AKind) {
    case mkSourceID:
        return FSourceColumnID == AKey.ID;
    case mkSourceName:
        return SameName(FSourceColumnName, AKey.Name);
    case mkDatSName:
        return SameName(DatSColumnName(), AKey.Name);
    case mkDatSColumn: {
        dats::TZqDatSColumn *C = AKey.Column;
        if (!C)
            return false;
        if (DatSColumn() == C)
            return true;
        if (FSourceColumnID != -1 && FSourceColumnID == C->SourceID())
            return true;
        if (!FSourceColumnName.empty() && SameName(FSourceColumnName, C->SourceName()))
            return true;
        return !FDatSColumnName.empty() && SameName(FDatSColumnName, C->Name());
    }
    default:
        return false;
    }
}

void TZqDAptColumnMapping::FillResult(TZqColumnMapResult &AResult) const
{
    if (FSourceColumnID != -1)
        AResult.SourceID = FSourceColumnID;
    if (!FSourceColumnName.empty())
        AResult.SourceName = FSourceColumnName;
    std::string D = DatSColumnName();
    if (!D.empty())
        AResult.DatSName = D;
    std::string U = UpdateColumnName();
    if (!U.empty())
        AResult.UpdateName = U;
    if (dats::TZqDatSColumn *C = DatSColumn())
        AResult.DatSColumn = C;
}

TZqDAptColumnMappings::TZqDAptColumnMappings()
    : rtl::TCollection([] { return std::make_unique<TZqDAptColumnMapping>(); })
{
}

TZqDAptColumnMappings::~TZqDAptColumnMappings() { FDatSTable = nullptr; }

int TZqDAptColumnMappings::IndexOf(const TZqMappingKey &AKey, TZqMappingKeyKind AKind) const
{
    for (int I = 0; I < Count(); ++I)
        if (Items(I)->Matches(AKey, AKind))
            return I;
    return -1;
}

TZqDAptColumnMapping *TZqDAptColumnMappings::Lookup(const TZqMappingKey &AKey, TZqMappingKeyKind AKind) const
{
    int I = IndexOf(AKey, AKind);
    return I >= 0 ? Items(I) : nullptr;
}
