// Fields: the typed view of one column of the dataset's current record.
//
// A field holds no value of its own. It reads and writes through its dataset
// (TDataSet::GetFieldData / SetFieldData) in the field type's native buffer
// form: 2 bytes for small integers, words and booleans; 4 for integers, dates
// (day number, 0001-01-01 = 1) and times (milliseconds since midnight); 8 for
// floats, currency, date-times (milliseconds since 0001-01-01) and 64-bit
// integers; the 34-byte BCD record; the 16-byte SQL time stamp; zero-ended
// text; a 2-byte length before variable bytes. Date-time values seen by
// callers are the toolkit's day counts (rtl::TDateTime).
//
// An empty database value reads as "" through AsString and as 0 through the
// numeric readers; AsVariant and Value give Null.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/dataset/DBConsts.h"
#include "platform/rtl/DB.h"
#include "platform/rtl/FMTBcd.h"
#include "platform/rtl/Variant.h"

class TFieldDef;

// Makes the field object for a field type.
using TFieldClass = TField *(*)(TDataSet *AOwner, rtl::TFieldType AType);
// The toolkit's field class of each field type.
TFieldClass DefaultFieldClass(rtl::TFieldType AType);
// Converts one value between the native buffer of a field type and the
// program's form: TDateTime for dates and times, Currency for ftBCD,
// std::u16string for ftWideString; other types are the same both ways.
// Bytes of UTF-8 that one 16-bit character of a text may take.
constexpr int CTextUnitBytes = 3;
// The length of a UTF-8 text in 16-bit characters, as text columns count it.
int TextCharCount(const std::string &AText);

void ConvertNativeData(rtl::TFieldType AType, int ASize, const void *ASource, void *ADest,
                       bool AToNative);

class TField {
public:
    TField(TDataSet *AOwner, rtl::TFieldType ADataType);
    virtual ~TField();
    TField(const TField &) = delete;
    TField &operator=(const TField &) = delete;

    // ---- value access ----------------------------------------------------
    std::string AsString() const { return GetAsString(); }
    void SetAsString(const std::string &AValue) { SetAsStringValue(AValue); }
    int AsInteger() const { return GetAsInteger(); }
    void SetAsInteger(int AValue) { SetAsIntegerValue(AValue); }
    int64_t AsLargeInt() const { return GetAsLargeInt(); }
    void SetAsLargeInt(int64_t AValue) { SetAsLargeIntValue(AValue); }
    double AsFloat() const { return GetAsFloat(); }
    void SetAsFloat(double AValue) { SetAsFloatValue(AValue); }
    bool AsBoolean() const { return GetAsBoolean(); }
    void SetAsBoolean(bool AValue) { SetAsBooleanValue(AValue); }
    rtl::TDateTime AsDateTime() const { return GetAsDateTime(); }
    void SetAsDateTime(rtl::TDateTime AValue) { SetAsDateTimeValue(AValue); }
    rtl::Currency AsCurrency() const { return GetAsCurrency(); }
    void SetAsCurrency(rtl::Currency AValue) { SetAsCurrencyValue(AValue); }
    rtl::TBcd AsBCD() const { return GetAsBCD(); }
    void SetAsBCD(const rtl::TBcd &AValue) { SetAsBCDValue(AValue); }
    rtl::TSQLTimeStamp AsSQLTimeStamp() const { return GetAsSQLTimeStamp(); }
    void SetAsSQLTimeStamp(const rtl::TSQLTimeStamp &AValue) { SetAsSQLTimeStampValue(AValue); }
    rtl::Variant AsVariant() const { return GetAsVariant(); }
    void SetAsVariant(const rtl::Variant &AValue) { SetVarValue(AValue); }
    rtl::Variant Value() const { return GetAsVariant(); }
    void SetValue(const rtl::Variant &AValue) { SetVarValue(AValue); }
    // Field assignment sugar: Field = 5; Field = "text";
    TField &operator=(const rtl::Variant &AValue) { SetVarValue(AValue); return *this; }

    virtual bool IsNull() const;
    virtual void Clear();
    // The text shown in a grid (DisplayFormat, OnGetText) and the text an
    // editor starts from (EditFormat).
    std::string DisplayText() const;
    std::string Text() const;
    void SetText(const std::string &AValue);
    void FocusControl();
    virtual bool IsValidChar(char AChar) const;

    // ---- raw access (the dataset contract) -------------------------------
    bool GetData(void *ABuffer, bool ANativeFormat = true) const;
    void SetData(const void *ABuffer, bool ANativeFormat = true);
    // Runs OnValidate on a value about to be stored; while it runs the field
    // reads that value.
    virtual void Validate(const void *ABuffer);
    virtual int GetDataSize() const;
    int DataSize() const { return GetDataSize(); }
    // The value buffer of a running OnValidate, else none.
    const void *ValidatingBuffer() const { return FValidating ? FValueBuffer : nullptr; }

    // ---- properties ------------------------------------------------------
    TDataSet *DataSet() const { return FDataSet; }
    void SetDataSet(TDataSet *AValue);
    const std::string &FieldName() const { return FFieldName; }
    void SetFieldName(const std::string &AValue);
    const std::string &DisplayLabel() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
    void SetDisplayLabel(const std::string &AValue) { FDisplayLabel = AValue; PropertyChanged(true); }
    const std::string &DisplayName() const { return DisplayLabel(); }
    rtl::TFieldType DataType() const { return FDataType; }
    // A text of fixed length (padded with blanks), whatever the type says.
    virtual bool IsFixedChar() const { return FDataType == rtl::ftFixedChar; }
    TFieldKind FieldKind() const { return FFieldKind; }
    void SetFieldKind(TFieldKind AValue) { FFieldKind = AValue; }
    bool Calculated() const { return FFieldKind == fkCalculated; }
    bool Lookup() const { return FFieldKind == fkLookup; }
    int FieldNo() const { return FFieldNo; }
    void SetFieldNo(int AValue) { FFieldNo = AValue; }
    int Index() const;
    int Size() const { return FSize; }
    virtual void SetSize(int AValue) { FSize = AValue; }
    int Offset() const { return FOffset; }
    void SetOffset(int AValue) { FOffset = AValue; }
    bool Required() const { return FRequired; }
    void SetRequired(bool AValue) { FRequired = AValue; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool AValue) { FReadOnly = AValue; PropertyChanged(true); }
    bool CanModify() const;
    bool Visible() const { return FVisible; }
    void SetVisible(bool AValue) { FVisible = AValue; PropertyChanged(true); }
    int DisplayWidth() const { return FDisplayWidth > 0 ? FDisplayWidth : GetDefaultWidth(); }
    void SetDisplayWidth(int AValue) { FDisplayWidth = AValue; PropertyChanged(true); }
    int Alignment() const { return FAlignment; } // 0 left, 1 right, 2 centre
    void SetAlignment(int AValue) { FAlignment = AValue; PropertyChanged(false); }
    const std::string &EditMask() const { return FEditMask; }
    void SetEditMask(const std::string &AValue) { FEditMask = AValue; }
    const std::string &DefaultExpression() const { return FDefaultExpression; }
    void SetDefaultExpression(const std::string &AValue) { FDefaultExpression = AValue; }
    const std::string &CustomConstraint() const { return FCustomConstraint; }
    void SetCustomConstraint(const std::string &AValue) { FCustomConstraint = AValue; }
    const std::string &ImportedConstraint() const { return FImportedConstraint; }
    void SetImportedConstraint(const std::string &AValue) { FImportedConstraint = AValue; }
    const std::string &ConstraintErrorMessage() const { return FConstraintErrorMessage; }
    void SetConstraintErrorMessage(const std::string &AValue) { FConstraintErrorMessage = AValue; }
    const std::string &Origin() const { return FOrigin; }
    void SetOrigin(const std::string &AValue) { FOrigin = AValue; }
    TProviderFlags ProviderFlags() const { return FProviderFlags; }
    void SetProviderFlags(TProviderFlags AValue) { FProviderFlags = AValue; }
    TAutoRefreshFlag AutoGenerateValue() const { return FAutoGenerateValue; }
    void SetAutoGenerateValue(TAutoRefreshFlag AValue) { FAutoGenerateValue = AValue; }
    bool IsIndexField() const;
    bool IsBlob() const { return IsBlobType(); }

    // Lookup fields: the value of LookupResultField in the row of
    // LookupDataSet whose LookupKeyFields equal this dataset's KeyFields.
    TDataSet *LookupDataSet() const { return FLookupDataSet; }
    void SetLookupDataSet(TDataSet *AValue) { FLookupDataSet = AValue; }
    const std::string &KeyFields() const { return FKeyFields; }
    void SetKeyFields(const std::string &AValue) { FKeyFields = AValue; }
    const std::string &LookupKeyFields() const { return FLookupKeyFields; }
    void SetLookupKeyFields(const std::string &AValue) { FLookupKeyFields = AValue; }
    const std::string &LookupResultField() const { return FLookupResultField; }
    void SetLookupResultField(const std::string &AValue) { FLookupResultField = AValue; }

    TFieldNotifyEvent OnChange;
    TFieldNotifyEvent OnValidate;
    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;

protected:
    friend class TDataSet;
    friend class TFields;

    virtual std::string GetAsString() const;
    virtual void SetAsStringValue(const std::string &AValue);
    virtual int GetAsInteger() const;
    virtual void SetAsIntegerValue(int AValue);
    virtual int64_t GetAsLargeInt() const;
    virtual void SetAsLargeIntValue(int64_t AValue);
    virtual double GetAsFloat() const;
    virtual void SetAsFloatValue(double AValue);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBooleanValue(bool AValue);
    virtual rtl::TDateTime GetAsDateTime() const;
    virtual void SetAsDateTimeValue(rtl::TDateTime AValue);
    virtual rtl::Currency GetAsCurrency() const;
    virtual void SetAsCurrencyValue(rtl::Currency AValue);
    virtual rtl::TBcd GetAsBCD() const;
    virtual void SetAsBCDValue(const rtl::TBcd &AValue);
    virtual rtl::TSQLTimeStamp GetAsSQLTimeStamp() const;
    virtual void SetAsSQLTimeStampValue(const rtl::TSQLTimeStamp &AValue);
    virtual rtl::Variant GetAsVariant() const;
    virtual void SetVarValue(const rtl::Variant &AValue);
    virtual void GetText(std::string &AText, bool ADisplayText) const;
    virtual void SetTextValue(const std::string &AValue);
    virtual int GetDefaultWidth() const { return 10; }
    virtual bool IsBlobType() const { return false; }
    virtual void Bind(bool ABinding);

    [[noreturn]] void AccessError(const char *ATypeName) const;
    void CheckInactive() const;
    void PropertyChanged(bool ALayoutAffected);
    // Reads the lookup value for a lookup field of the record being calculated.
    void CalcLookupValue();

    TDataSet *FDataSet = nullptr;
    std::string FFieldName;
    std::string FDisplayLabel;
    rtl::TFieldType FDataType;
    TFieldKind FFieldKind = fkData;
    int FFieldNo = 0;
    int FSize = 0;
    int FOffset = 0;
    bool FRequired = false;
    bool FReadOnly = false;
    bool FVisible = true;
    int FDisplayWidth = 0;
    int FAlignment = 0;
    std::string FEditMask;
    std::string FDefaultExpression;
    std::string FCustomConstraint;
    std::string FImportedConstraint;
    std::string FConstraintErrorMessage;
    std::string FOrigin;
    TProviderFlags FProviderFlags = pfInUpdate | pfInWhere;
    TAutoRefreshFlag FAutoGenerateValue = TAutoRefreshFlag::arNone;
    TDataSet *FLookupDataSet = nullptr;
    std::string FKeyFields, FLookupKeyFields, FLookupResultField;
    const void *FValueBuffer = nullptr;
    bool FValidating = false;
};

class TStringField : public TField {
public:
    explicit TStringField(TDataSet *AOwner, rtl::TFieldType AType = rtl::ftString);
    bool FixedChar() const { return FDataType == rtl::ftFixedChar || FFixedChar; }
    bool IsFixedChar() const override { return FixedChar(); }
    void SetFixedChar(bool AValue) { FFixedChar = AValue; }
    // Trailing blanks are cut from fixed-length values when it is set.
    bool Transliterate = true;
    // Size counts characters, in any alphabet: the native buffer holds the
    // UTF-8 of Size 16-bit units and a terminating zero.
    int GetDataSize() const override { return FSize * CTextUnitBytes + 1; }
    // The value, or false for an empty database value.
    bool GetValue(std::string &AValue) const;

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int AValue) override;
    int64_t GetAsLargeInt() const override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double AValue) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanValue(bool AValue) override;
    rtl::TDateTime GetAsDateTime() const override;
    void SetAsDateTimeValue(rtl::TDateTime AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
    int GetDefaultWidth() const override { return FSize; }
    bool FFixedChar = false;
};

// Text kept as UTF-16 in its native buffer (16-bit characters, 16-bit zero);
// the program sees UTF-8.
class TWideStringField : public TStringField {
public:
    explicit TWideStringField(TDataSet *AOwner);
    int GetDataSize() const override { return (FSize + 1) * 2; }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
};

class TGuidField : public TStringField {
public:
    explicit TGuidField(TDataSet *AOwner);
};

class TNumericField : public TField {
public:
    TNumericField(TDataSet *AOwner, rtl::TFieldType AType);
    const std::string &DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const std::string &AValue) { FDisplayFormat = AValue; PropertyChanged(false); }
    const std::string &EditFormat() const { return FEditFormat; }
    void SetEditFormat(const std::string &AValue) { FEditFormat = AValue; PropertyChanged(false); }

protected:
    // Text and variant handling of the integer fields (32 and 64 bits).
    void SetIntegerText(const std::string &AValue);
    void SetIntegerVariant(const rtl::Variant &AValue);
    std::string IntegerText(int64_t AValue, bool ADisplayText) const;
    std::string FDisplayFormat;
    std::string FEditFormat;
};

// ftSmallint, ftInteger, ftWord and ftAutoInc: 32-bit values in the program,
// 2 or 4 native bytes; assignments out of the type's range are refused.
class TIntegerField : public TNumericField {
public:
    explicit TIntegerField(TDataSet *AOwner, rtl::TFieldType AType = rtl::ftInteger);
    int MinValue() const { return FMinValue; }
    int MaxValue() const { return FMaxValue; }
    void SetMinValue(int AValue) { FMinValue = AValue; }
    void SetMaxValue(int AValue) { FMaxValue = AValue; }
    bool GetValue(int &AValue) const;
    int GetDataSize() const override;

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int AValue) override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeIntValue(int64_t AValue) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double AValue) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanValue(bool AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
    void GetText(std::string &AText, bool ADisplayText) const override;
    int GetDefaultWidth() const override { return 11; }
    void CheckRange(int64_t AValue) const;
    int FMinValue = 0;
    int FMaxValue = 0;
    int FTypeMin, FTypeMax;
};

using TSmallintField = TIntegerField;
using TWordField = TIntegerField;
using TAutoIncField = TIntegerField;

class TLargeintField : public TNumericField {
public:
    explicit TLargeintField(TDataSet *AOwner);
    bool GetValue(int64_t &AValue) const;
    int GetDataSize() const override { return 8; }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int AValue) override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeIntValue(int64_t AValue) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
    void GetText(std::string &AText, bool ADisplayText) const override;
    int GetDefaultWidth() const override { return 15; }
};

// ftFloat and ftCurrency (a currency field shows money formats only when
// asked; its value is a double in the program).
class TFloatField : public TNumericField {
public:
    explicit TFloatField(TDataSet *AOwner, rtl::TFieldType AType = rtl::ftFloat);
    int Precision() const { return FPrecision; }
    void SetPrecision(int AValue) { FPrecision = AValue < 2 ? 2 : (AValue > 15 ? 15 : AValue); }
    bool Currency() const { return FCurrency; }
    void SetCurrency(bool AValue) { FCurrency = AValue; }
    double MinValue() const { return FMinValue; }
    double MaxValue() const { return FMaxValue; }
    void SetMinValue(double AValue) { FMinValue = AValue; }
    void SetMaxValue(double AValue) { FMaxValue = AValue; }
    bool GetValue(double &AValue) const;
    int GetDataSize() const override { return 8; }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int AValue) override;
    int64_t GetAsLargeInt() const override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double AValue) override;
    rtl::Currency GetAsCurrency() const override;
    void SetAsCurrencyValue(rtl::Currency AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
    void GetText(std::string &AText, bool ADisplayText) const override;
    int GetDefaultWidth() const override { return FPrecision + 1; }
    int FPrecision = 15;
    bool FCurrency = false;
    double FMinValue = 0, FMaxValue = 0;
};

using TCurrencyField = TFloatField;

// ftBCD: native 34-byte BCD, a currency value in the program.
// ftFMTBcd: native and program value both the BCD record.
class TBCDField : public TNumericField {
public:
    explicit TBCDField(TDataSet *AOwner, rtl::TFieldType AType = rtl::ftBCD);
    int Precision() const { return FPrecision; }
    void SetPrecision(int AValue) { FPrecision = AValue; }
    int GetDataSize() const override { return int(sizeof(rtl::TBcd)); }
    bool GetValue(rtl::TBcd &AValue) const;

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int AValue) override;
    int64_t GetAsLargeInt() const override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double AValue) override;
    rtl::Currency GetAsCurrency() const override;
    void SetAsCurrencyValue(rtl::Currency AValue) override;
    rtl::TBcd GetAsBCD() const override;
    void SetAsBCDValue(const rtl::TBcd &AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
    void GetText(std::string &AText, bool ADisplayText) const override;
    int FPrecision = 18;
};

using TFMTBCDField = TBCDField;

class TBooleanField : public TField {
public:
    explicit TBooleanField(TDataSet *AOwner);
    // "True text;False text"; the first part is shown for True.
    const std::string &DisplayValues() const { return FDisplayValues; }
    void SetDisplayValues(const std::string &AValue);
    int GetDataSize() const override { return 2; }
    bool GetValue(bool &AValue) const;

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanValue(bool AValue) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
    int GetDefaultWidth() const override { return 5; }
    std::string FDisplayValues;
    std::string FTrueText = "True", FFalseText = "False";
};

// ftDate, ftTime and ftDateTime.
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(TDataSet *AOwner, rtl::TFieldType AType = rtl::ftDateTime);
    const std::string &DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const std::string &AValue) { FDisplayFormat = AValue; PropertyChanged(false); }
    bool GetValue(rtl::TDateTime &AValue) const;
    int GetDataSize() const override;

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double AValue) override;
    rtl::TDateTime GetAsDateTime() const override;
    void SetAsDateTimeValue(rtl::TDateTime AValue) override;
    rtl::TSQLTimeStamp GetAsSQLTimeStamp() const override;
    void SetAsSQLTimeStampValue(const rtl::TSQLTimeStamp &AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
    void GetText(std::string &AText, bool ADisplayText) const override;
    int GetDefaultWidth() const override { return 18; }
    std::string FDisplayFormat;
};

using TDateField = TDateTimeField;
using TTimeField = TDateTimeField;

class TSQLTimeStampField : public TField {
public:
    explicit TSQLTimeStampField(TDataSet *AOwner);
    const std::string &DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const std::string &AValue) { FDisplayFormat = AValue; }
    int GetDataSize() const override { return int(sizeof(rtl::TSQLTimeStamp)); }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    rtl::TDateTime GetAsDateTime() const override;
    void SetAsDateTimeValue(rtl::TDateTime AValue) override;
    double GetAsFloat() const override { return GetAsDateTime(); }
    rtl::TSQLTimeStamp GetAsSQLTimeStamp() const override;
    void SetAsSQLTimeStampValue(const rtl::TSQLTimeStamp &AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
    void GetText(std::string &AText, bool ADisplayText) const override;
    std::string FDisplayFormat;
};

// ftBytes (fixed length) and ftVarBytes (2-byte length prefix natively);
// the value is a byte string.
class TBytesField : public TField {
public:
    explicit TBytesField(TDataSet *AOwner, rtl::TFieldType AType = rtl::ftBytes);
    int GetDataSize() const override;

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
};

using TVarBytesField = TBytesField;

// Blob and memo fields keep no native buffer: GetData answers only whether
// there is a value, and the value itself travels through the dataset's blob
// streams (TDataSet::CreateBlobStream).
class TBlobField : public TField {
public:
    explicit TBlobField(TDataSet *AOwner, rtl::TFieldType AType = rtl::ftBlob);
    int GetDataSize() const override { return 0; }
    int BlobSize() const;

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
    void GetText(std::string &AText, bool ADisplayText) const override;
    bool IsBlobType() const override { return true; }
};

using TMemoField = TBlobField;
using TGraphicField = TBlobField;

// An aggregate over the dataset's records: it keeps no value in the record
// buffer; its value is the dataset's answer (TDataSet::GetAggregateValue).
class TAggregateField : public TField {
public:
    explicit TAggregateField(TDataSet *AOwner);
    const std::string &Expression() const { return FExpression; }
    void SetExpression(const std::string &AValue);
    int GroupingLevel() const { return FGroupingLevel; }
    void SetGroupingLevel(int AValue);
    const std::string &IndexName() const { return FIndexName; }
    void SetIndexName(const std::string &AValue);
    bool Active() const { return FActive; }
    void SetActive(bool AValue);
    // The dataset's own record of this field (it owns it).
    void *Handle = nullptr;
    bool IsNull() const override;
    int GetDataSize() const override { return 0; }

protected:
    std::string GetAsString() const override;
    int GetAsInteger() const override;
    int64_t GetAsLargeInt() const override;
    double GetAsFloat() const override;
    rtl::Variant GetAsVariant() const override;
    void GetText(std::string &AText, bool ADisplayText) const override;

private:
    void Reset();
    std::string FExpression;
    int FGroupingLevel = 0;
    std::string FIndexName;
    bool FActive = false;
};

// The fields of a dataset, in field order, with a name index: FieldByName
// and FindField are case-insensitive and O(1).
class TFields {
public:
    explicit TFields(TDataSet *ADataSet) : FDataSet(ADataSet) {}
    ~TFields();
    TFields(const TFields &) = delete;
    TFields &operator=(const TFields &) = delete;

    // Takes ownership when AOwned (fields the dataset created for itself).
    void Add(TField *AField, bool AOwned);
    void Remove(TField *AField);
    void Clear(); // deletes the owned fields
    int Count() const { return int(FList.size()); }
    TField *Fields(int AIndex) const;
    TField *operator[](int AIndex) const { return Fields(AIndex); }
    TField *FindField(const std::string &AName) const;
    TField *FieldByName(const std::string &AName) const; // raises "Field '%s' not found"
    TField *FieldByNumber(int AFieldNo) const;
    int IndexOf(const TField *AField) const;
    void GetFieldNames(std::vector<std::string> &AList) const;
    void Rename(TField *AField, const std::string &AOld);
    TDataSet *DataSet() const { return FDataSet; }

private:
    TDataSet *FDataSet;
    std::vector<TField *> FList;
    std::vector<std::unique_ptr<TField>> FOwned;
    std::unordered_map<std::string, TField *> FByName; // upper-cased names
};
