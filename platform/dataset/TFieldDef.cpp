// Field and index definitions.
#include "platform/dataset/TFieldDef.h"

#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TField.h"

using rtl::Variant;

int FieldTypeDataSize(rtl::TFieldType AType, int ASize)
{
    switch (AType) {
    case rtl::ftString:
    case rtl::ftFixedChar:
        return ASize * CTextUnitBytes + 1;
    case rtl::ftWideString:
        return (ASize + 1) * 2;
    case rtl::ftGuid:
        return 39;
    case rtl::ftSmallint:
    case rtl::ftWord:
    case rtl::ftBoolean:
        return 2;
    case rtl::ftInteger:
    case rtl::ftAutoInc:
    case rtl::ftDate:
    case rtl::ftTime:
        return 4;
    case rtl::ftLargeint:
    case rtl::ftFloat:
    case rtl::ftCurrency:
    case rtl::ftDateTime:
        return 8;
    case rtl::ftBCD:
    case rtl::ftFMTBcd:
        return int(sizeof(rtl::TBcd));
    case rtl::ftTimeStamp:
        return int(sizeof(rtl::TSQLTimeStamp));
    case rtl::ftBytes:
        return ASize;
    case rtl::ftVarBytes:
        return ASize + 2;
    default:
        return 0;
    }
}

std::vector<std::string> SplitFieldNames(const std::string &ANames)
{
    std::vector<std::string> Result;
    size_t Start = 0;
    while (Start <= ANames.size()) {
        size_t End = ANames.find(';', Start);
        if (End == std::string::npos)
            End = ANames.size();
        std::string Part = rtl::Trim(ANames.substr(Start, End - Start));
        if (!Part.empty())
            Result.push_back(Part);
        Start = End + 1;
    }
    return Result;
}

// ---- TFieldDef -------------------------------------------------------------------

TFieldDef::TFieldDef(TFieldDefs *AOwner, const std::string &AName, rtl::TFieldType ADataType,
                     int ASize, bool ARequired, int AFieldNo)
    : FOwner(AOwner), FName(AName), FDataType(ADataType), FSize(ASize), FFieldNo(AFieldNo)
{
    if (ARequired)
        FAttributes |= faRequired;
}

TFieldDef::~TFieldDef() = default;

void TFieldDef::Changed()
{
    if (FOwner)
        FOwner->Changed();
}

void TFieldDef::SetName(const std::string &AValue)
{
    if (FOwner) {
        int I = FOwner->IndexOf(AValue);
        if (I >= 0 && FOwner->Items(I) != this)
            DatabaseError(rtl::Format(DBText::SDuplicateFieldName, {Variant(AValue)}));
    }
    FName = AValue;
    Changed();
}

void TFieldDef::SetDataType(rtl::TFieldType AValue)
{
    FDataType = AValue;
    // The toolkit gives a new string definition its default width.
    if ((AValue == rtl::ftString || AValue == rtl::ftFixedChar || AValue == rtl::ftWideString) &&
        FSize == 0)
        FSize = 20;
    else if (AValue == rtl::ftGuid)
        FSize = 38;
    Changed();
}

void TFieldDef::SetRequired(bool AValue)
{
    if (AValue)
        FAttributes |= faRequired;
    else
        FAttributes &= TFieldAttributes(~faRequired);
    Changed();
}

TFieldDefs *TFieldDef::ChildDefs()
{
    if (!FChildDefs)
        FChildDefs = std::make_unique<TFieldDefs>(FOwner ? FOwner->DataSet() : nullptr, this);
    return FChildDefs.get();
}

bool TFieldDef::HasChildDefs() const { return FChildDefs && FChildDefs->Count() > 0; }

int TFieldDef::Index() const
{
    if (!FOwner)
        return -1;
    for (int I = 0; I < FOwner->Count(); ++I)
        if (FOwner->Items(I) == this)
            return I;
    return -1;
}

void TFieldDef::Assign(const TFieldDef &ASource)
{
    FName = ASource.FName;
    FDataType = ASource.FDataType;
    FSize = ASource.FSize;
    FPrecision = ASource.FPrecision;
    FAttributes = ASource.FAttributes;
    FInternalCalcField = ASource.FInternalCalcField;
    FDefaultExpression = ASource.FDefaultExpression;
    if (ASource.HasChildDefs())
        ChildDefs()->Assign(*ASource.FChildDefs);
    else if (FChildDefs)
        FChildDefs->Clear();
    Changed();
}

TField *TFieldDef::CreateField(TDataSet *AOwner, TField *, const std::string &AFieldName)
{
    TFieldClass Make = AOwner->GetFieldClass(FDataType);
    if (!Make)
        DatabaseError(rtl::Format("Field '%s' is of an unknown type", {Variant(FName)}), AOwner);
    TField *F = Make(AOwner, FDataType);
    try {
        F->SetSize(FSize);
        F->SetFieldName(AFieldName.empty() ? FName : AFieldName);
        F->SetRequired(Required());
        F->SetReadOnly((FAttributes & faReadonly) != 0);
        F->SetFieldNo(FFieldNo);
        if (FInternalCalcField)
            F->SetFieldKind(fkInternalCalc);
        if (FAttributes & faHiddenCol)
            F->SetVisible(false);
        if (auto *Fl = dynamic_cast<TFloatField *>(F); Fl && FPrecision > 0)
            Fl->SetPrecision(FPrecision);
        if (auto *B = dynamic_cast<TBCDField *>(F); B && FPrecision > 0)
            B->SetPrecision(FPrecision);
        if (FDataType == rtl::ftAutoInc)
            F->SetAutoGenerateValue(TAutoRefreshFlag::arAutoInc);
    } catch (...) {
        delete F;
        throw;
    }
    F->SetDataSet(AOwner);
    return F;
}

// ---- TFieldDefs -------------------------------------------------------------------

TFieldDefs::TFieldDefs(TDataSet *ADataSet, TFieldDef *AParentDef)
    : FDataSet(ADataSet), FParentDef(AParentDef)
{
}

TFieldDefs::~TFieldDefs() = default;

void TFieldDefs::Changed()
{
    // Definitions edited by hand are the current ones until the dataset
    // describes its records again.
    FUpdated = true;
}

TFieldDef *TFieldDefs::AddFieldDef()
{
    FItems.push_back(std::make_unique<TFieldDef>(this, "", rtl::ftUnknown, 0, false,
                                                 int(FItems.size()) + 1));
    Changed();
    return FItems.back().get();
}

TFieldDef *TFieldDefs::Add(const std::string &AName, rtl::TFieldType ADataType, int ASize,
                           bool ARequired)
{
    if (AName.empty())
        DatabaseError("Field name missing", FDataSet);
    if (IndexOf(AName) >= 0)
        DatabaseError(rtl::Format(DBText::SDuplicateFieldName, {Variant(AName)}), FDataSet);
    if (ASize == 0 && (ADataType == rtl::ftString || ADataType == rtl::ftFixedChar ||
                       ADataType == rtl::ftWideString))
        ASize = 20;
    if (ADataType == rtl::ftGuid)
        ASize = 38;
    FItems.push_back(std::make_unique<TFieldDef>(this, AName, ADataType, ASize, ARequired,
                                                 int(FItems.size()) + 1));
    Changed();
    return FItems.back().get();
}

void TFieldDefs::Assign(const TFieldDefs &ASource)
{
    if (&ASource == this)
        return;
    FItems.clear();
    for (const auto &D : ASource.FItems) {
        TFieldDef *N = AddFieldDef();
        N->Assign(*D);
        N->SetFieldNo(int(FItems.size()));
    }
    Changed();
}

void TFieldDefs::Clear()
{
    FItems.clear();
    Changed();
}

void TFieldDefs::Delete(int AIndex)
{
    if (AIndex < 0 || AIndex >= Count())
        DatabaseError(DBText::SFieldIndexError, FDataSet);
    FItems.erase(FItems.begin() + AIndex);
    for (int I = 0; I < Count(); ++I)
        FItems[size_t(I)]->FFieldNo = I + 1;
    Changed();
}

int TFieldDefs::IndexOf(const std::string &AName) const
{
    for (size_t I = 0; I < FItems.size(); ++I)
        if (rtl::SameText(FItems[I]->Name(), AName))
            return int(I);
    return -1;
}

TFieldDef *TFieldDefs::Find(const std::string &AName) const
{
    int I = IndexOf(AName);
    if (I < 0)
        DatabaseError(rtl::Format(DBText::SFieldNotFound, {Variant(AName)}), FDataSet);
    return FItems[size_t(I)].get();
}

TFieldDef *TFieldDefs::Items(int AIndex) const
{
    if (AIndex < 0 || AIndex >= Count())
        DatabaseError(DBText::SFieldIndexError, FDataSet);
    return FItems[size_t(AIndex)].get();
}

void TFieldDefs::Update()
{
    if (FDataSet && !FUpdated) {
        FDataSet->InitFieldDefs();
        FUpdated = true;
    }
}

// ---- TIndexDefs ----------------------------------------------------------------------

TIndexDef *TIndexDefs::Add(const std::string &AName, const std::string &AFields,
                           TIndexOptions AOptions)
{
    FItems.push_back(std::make_unique<TIndexDef>(AName, AFields, AOptions));
    FUpdated = true;
    return FItems.back().get();
}

void TIndexDefs::Assign(const TIndexDefs &ASource)
{
    if (&ASource == this)
        return;
    FItems.clear();
    for (const auto &D : ASource.FItems)
        FItems.push_back(std::make_unique<TIndexDef>(*D));
    FUpdated = true;
}

int TIndexDefs::IndexOf(const std::string &AName) const
{
    for (size_t I = 0; I < FItems.size(); ++I)
        if (rtl::SameText(FItems[I]->Name, AName))
            return int(I);
    return -1;
}

TIndexDef *TIndexDefs::Find(const std::string &AName) const
{
    int I = IndexOf(AName);
    if (I < 0)
        DatabaseError(rtl::Format("Index '%s' not found", {Variant(AName)}), FDataSet);
    return FItems[size_t(I)].get();
}

TIndexDef *TIndexDefs::FindIndexForFields(const std::string &AFields) const
{
    TIndexDef *Result = GetIndexForFields(AFields, false);
    if (!Result)
        DatabaseError(rtl::Format("No index for fields '%s'", {Variant(AFields)}), FDataSet);
    return Result;
}

TIndexDef *TIndexDefs::GetIndexForFields(const std::string &AFields, bool ACaseInsensitive) const
{
    std::vector<std::string> Want = SplitFieldNames(AFields);
    for (const auto &D : FItems) {
        if (ACaseInsensitive != ((D->Options & ixCaseInsensitive) != 0) &&
            D->CaseInsFields.empty())
            continue;
        std::vector<std::string> Have = SplitFieldNames(D->Fields);
        if (Have.size() < Want.size())
            continue;
        bool Match = true;
        for (size_t I = 0; I < Want.size() && Match; ++I)
            Match = rtl::SameText(Have[I], Want[I]);
        if (Match)
            return D.get();
    }
    return nullptr;
}

void TIndexDefs::Update()
{
    if (FDataSet && !FUpdated) {
        FDataSet->UpdateIndexDefs();
        FUpdated = true;
    }
}
