// qxZqStanOption_Map: map rules and the mapping between library data types
// and the dataset model's field types (TZqFormatOptions).
#include "dataaccess/stan/qxZqStanOption.h"

#include "dataaccess/stan/qxZqStanConst.h"
#include "dataaccess/stan/qxZqStanConvert.h"
#include "dataaccess/stan/qxZqStanError.h"

// ---- TZqMapRule -------------------------------------------------------------------

template <class T>
void TZqMapRule::Change(T &AField, const T &AValue)
{
    if (AField == AValue)
        return;
    if (FCollection)
        FCollection->Changing();
    AField = AValue;
    if (FCollection)
        FCollection->Changed();
}

void TZqMapRule::SetPrecMax(int AValue) { Change(FPrecMax, AValue); }
void TZqMapRule::SetPrecMin(int AValue) { Change(FPrecMin, AValue); }
void TZqMapRule::SetScaleMax(int AValue) { Change(FScaleMax, AValue); }
void TZqMapRule::SetScaleMin(int AValue) { Change(FScaleMin, AValue); }
void TZqMapRule::SetSizeMax(int64_t AValue) { Change(FSizeMax, AValue); }
void TZqMapRule::SetSizeMin(int64_t AValue) { Change(FSizeMin, AValue); }

void TZqMapRule::CheckPair(TZqDataType ASource, TZqDataType ATarget) const
{
    if (FCollection && FCollection->Owner() && ASource != dtUnknown && ATarget != dtUnknown &&
        !ZqIsConvertiblePair(ASource, ATarget))
        ZqRaiseError(nullptr, {"Stan"}, 19, {});
}

void TZqMapRule::SetSourceDataType(TZqDataType AValue)
{
    if (AValue == FSourceDataType)
        return;
    CheckPair(AValue, FTargetDataType);
    Change(FSourceDataType, AValue);
}

void TZqMapRule::SetTargetDataType(TZqDataType AValue)
{
    if (AValue == FTargetDataType)
        return;
    CheckPair(FSourceDataType, AValue);
    Change(FTargetDataType, AValue);
}

void TZqMapRule::Assign(const TZqMapRule &ASource)
{
    if (&ASource == this)
        return;
    if (FCollection)
        FCollection->Changing();
    FPrecMax = ASource.FPrecMax;
    FPrecMin = ASource.FPrecMin;
    FScaleMax = ASource.FScaleMax;
    FScaleMin = ASource.FScaleMin;
    FSizeMax = ASource.FSizeMax;
    FSizeMin = ASource.FSizeMin;
    FSourceDataType = ASource.FSourceDataType;
    FTargetDataType = ASource.FTargetDataType;
    if (FCollection)
        FCollection->Changed();
}

std::string TZqMapRule::DisplayName() const
{
    if (FSourceDataType == dtUnknown && FTargetDataType == dtUnknown)
        return "TZqMapRule";
    return std::string("dt") + ZqDataTypeNames[FSourceDataType] + " -> dt" + ZqDataTypeNames[FTargetDataType];
}

bool TZqMapRule::Matches(TZqDataType AType, int64_t ALength, bool ADirection, int AScale, int APrecision) const
{
    if ((ADirection ? FSourceDataType : FTargetDataType) != AType)
        return false;
    // A bound of -1 always holds; so does a bound tested against an unknown
    // length (0), precision (below 1) or scale (negative).
    auto Holds = [](bool AUnknown, int64_t ABound, bool AOk) { return ABound == -1 || AUnknown || AOk; };
    return Holds(ALength == 0, FSizeMin, FSizeMin <= ALength) && Holds(ALength == 0, FSizeMax, ALength <= FSizeMax) &&
           Holds(APrecision < 1, FPrecMin, FPrecMin <= APrecision) &&
           Holds(APrecision < 1, FPrecMax, APrecision <= FPrecMax) &&
           Holds(AScale < 0, FScaleMin, FScaleMin <= AScale) && Holds(AScale < 0, FScaleMax, AScale <= FScaleMax);
}

// ---- TZqMapRules --------------------------------------------------------------------

void TZqMapRules::Changing()
{
    if (FOwner)
        FOwner->Changing();
}

void TZqMapRules::Changed()
{
    if (FOwner)
        FOwner->Changed();
}

TZqMapRule *TZqMapRules::Add()
{
    Changing();
    FItems.push_back(std::make_unique<TZqMapRule>(this));
    Changed();
    return FItems.back().get();
}

void TZqMapRules::Delete(int AIndex)
{
    Items(AIndex);
    Changing();
    FItems.erase(FItems.begin() + AIndex);
    Changed();
}

void TZqMapRules::Clear()
{
    if (FItems.empty())
        return;
    Changing();
    FItems.clear();
    Changed();
}

void TZqMapRules::Assign(const TZqMapRules &ASource)
{
    if (&ASource == this)
        return;
    Changing();
    FItems.clear();
    for (const auto &R : ASource.FItems) {
        FItems.push_back(std::make_unique<TZqMapRule>(this));
        // Copied field by field: the pair was checked when the source was made.
        TZqMapRule &D = *FItems.back();
        D.FPrecMax = R->FPrecMax;
        D.FPrecMin = R->FPrecMin;
        D.FScaleMax = R->FScaleMax;
        D.FScaleMin = R->FScaleMin;
        D.FSizeMax = R->FSizeMax;
        D.FSizeMin = R->FSizeMin;
        D.FSourceDataType = R->FSourceDataType;
        D.FTargetDataType = R->FTargetDataType;
    }
    Changed();
}

// ---- type mapping -------------------------------------------------------------------

void TZqFormatOptions::FieldTypeToDataType(rtl::TFieldType AFieldType, uint32_t ASize, int APrecision,
                                           TZqDataType &ADataType, TZqDataAttributes &AAttributes,
                                           uint32_t &ALength, int &AResultPrecision, int &AScale) const
{
    using namespace rtl;
    AAttributes = TZqDataAttributes();
    ALength = 0;
    AResultPrecision = 0;
    AScale = 0;
    switch (AFieldType) {
    case ftString: ADataType = dtAnsiString; ALength = ASize; break;
    case ftFixedChar: ADataType = dtAnsiString; ALength = ASize; AAttributes.Include(caFixedLen); break;
    case ftWideString: ADataType = dtWideString; ALength = ASize; break;
    case ftSmallint: ADataType = dtInt16; break;
    case ftInteger: ADataType = dtInt32; break;
    case ftAutoInc: ADataType = dtInt32; AAttributes.Include(caAutoInc); break;
    case ftWord: ADataType = dtUInt16; break;
    case ftLargeint: ADataType = dtInt64; break;
    case ftBoolean: ADataType = dtBoolean; break;
    case ftFloat: ADataType = dtDouble; AResultPrecision = APrecision; break;
    case ftCurrency: ADataType = dtCurrency; AResultPrecision = APrecision; break;
    case ftBCD: ADataType = dtBCD; AScale = static_cast<int>(ASize); AResultPrecision = APrecision; break;
    case ftFMTBcd: ADataType = dtFmtBCD; AScale = static_cast<int>(ASize); AResultPrecision = APrecision; break;
    case ftDate: ADataType = dtDate; break;
    case ftTime: ADataType = dtTime; break;
    case ftDateTime: ADataType = dtDateTime; break;
    case ftTimeStamp: ADataType = dtDateTimeStamp; break;
    case ftBytes: ADataType = dtByteString; ALength = ASize; AAttributes.Include(caFixedLen); break;
    case ftVarBytes: ADataType = dtByteString; ALength = ASize; break;
    case ftBlob:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary: ADataType = dtBlob; AAttributes.Include(caBlobData); break;
    case ftMemo: ADataType = dtMemo; AAttributes.Include(caBlobData); break;
    case ftFmtMemo: ADataType = dtWideMemo; AAttributes.Include(caBlobData); break;
    case ftOraBlob: ADataType = dtHBlob; AAttributes.Include(caBlobData); break;
    case ftOraClob: ADataType = dtHMemo; AAttributes.Include(caBlobData); break;
    case ftCursor: ADataType = dtCursorRef; break;
    case ftDataSet: ADataType = dtRowSetRef; break;
    case ftADT: ADataType = dtRowRef; break;
    case ftArray: ADataType = dtArrayRef; break;
    case ftGuid: ADataType = dtGUID; break;
    case ftInterface:
    case ftIDispatch: ADataType = dtObject; break;
    default: ADataType = dtUnknown; break;
    }
}

void TZqFormatOptions::DataTypeToFieldType(TZqDataType ADataType, TZqDataAttributes AAttributes, uint32_t ALength,
                                           int APrecision, int AScale, rtl::TFieldType &AFieldType,
                                           uint32_t &ASize, int &AResultPrecision) const
{
    using namespace rtl;
    ASize = 0;
    AResultPrecision = 0;
    auto Fits = [&] { return MaxStringSize() >= ALength; };
    switch (ADataType) {
    case dtBoolean: AFieldType = ftBoolean; break;
    case dtSByte:
    case dtInt16: AFieldType = ftSmallint; break;
    case dtInt32: AFieldType = AAttributes.Contains(caAutoInc) ? ftAutoInc : ftInteger; break;
    case dtUInt32: AFieldType = ftInteger; break;
    case dtByte:
    case dtUInt16: AFieldType = ftWord; break;
    case dtInt64:
    case dtUInt64: AFieldType = ftLargeint; break;
    case dtDouble: AFieldType = ftFloat; AResultPrecision = APrecision; break;
    case dtCurrency: AFieldType = ftCurrency; AResultPrecision = APrecision; break;
    case dtBCD:
        AFieldType = (MaxBcdPrecision() >= APrecision && MaxBcdScale() >= AScale) ? ftBCD : ftFMTBcd;
        ASize = static_cast<uint32_t>(AScale);
        AResultPrecision = APrecision;
        break;
    case dtFmtBCD:
        AFieldType = ftFMTBcd;
        ASize = static_cast<uint32_t>(AScale);
        AResultPrecision = APrecision;
        break;
    case dtDateTime: AFieldType = ftDateTime; break;
    case dtTime: AFieldType = ftTime; break;
    case dtDate: AFieldType = ftDate; break;
    case dtDateTimeStamp: AFieldType = ftTimeStamp; break;
    case dtAnsiString:
        ASize = ALength;
        AFieldType = Fits() ? (AAttributes.Contains(caFixedLen) ? ftFixedChar : ftString) : ftMemo;
        break;
    case dtWideString:
        ASize = ALength;
        AFieldType = Fits() ? ftWideString : ftFmtMemo;
        break;
    case dtByteString:
        ASize = ALength;
        AFieldType = Fits() ? (AAttributes.Contains(caFixedLen) ? ftBytes : ftVarBytes) : ftBlob;
        break;
    case dtBlob: AFieldType = ftBlob; break;
    case dtMemo: AFieldType = ftMemo; break;
    case dtWideMemo: AFieldType = ftFmtMemo; break;
    case dtHBlob:
    case dtHBFile: AFieldType = ftOraBlob; break;
    case dtHMemo:
    case dtWideHMemo: AFieldType = ftOraClob; break;
    case dtRowSetRef: AFieldType = ftDataSet; break;
    case dtCursorRef: AFieldType = ftCursor; break;
    case dtRowRef: AFieldType = ftADT; break;
    case dtArrayRef: AFieldType = ftArray; break;
    case dtParentRowRef: AFieldType = ftReference; break;
    case dtGUID: AFieldType = ftGuid; ASize = 38; break;
    case dtObject: AFieldType = ftIDispatch; break;
    default: AFieldType = ftUnknown; break;
    }
}

TZqDataType TZqFormatOptions::MapDataType(TZqDataType ADataType, uint32_t ALength, bool ADirection, int AScale,
                                          int APrecision) const
{
    const TZqMapRules *Rules = MapRules();
    for (int I = 0; I < Rules->Count(); ++I) {
        const TZqMapRule *R = Rules->Items(I);
        if (R->Matches(ADataType, ALength, ADirection, AScale, APrecision))
            return ADirection ? R->TargetDataType() : R->SourceDataType();
    }
    return ADataType;
}

void TZqFormatOptions::ResolveFieldType(rtl::TFieldType AFieldType, TZqDataType AColumnType, bool ADirection,
                                        uint32_t ASize, int APrecision, TZqDataType &ADataType,
                                        rtl::TFieldType &AResultFieldType, uint32_t &AResultSize,
                                        int &AResultPrecision) const
{
    TZqDataAttributes Attrs;
    uint32_t Len = 0;
    int Prec = 0, Scale = 0;
    FieldTypeToDataType(AFieldType, ASize, APrecision, ADataType, Attrs, Len, Prec, Scale);
    if ((ADataType == dtHMemo && AColumnType == dtWideHMemo) || (ADataType == dtHBlob && AColumnType == dtHBFile) ||
        (ADataType == dtDateTime && AColumnType == dtDateTimeStamp))
        ADataType = AColumnType;
    ADataType = MapDataType(ADataType, Len, ADirection, Scale, Prec);
    DataTypeToFieldType(ADataType, Attrs, Len, Prec, Scale, AResultFieldType, AResultSize, AResultPrecision);
}

