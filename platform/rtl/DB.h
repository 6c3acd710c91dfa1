// DB: the toolkit dataset model's shared enumerations and its base error
// class, needed below the dataset model itself (parameters, type mapping).
#pragma once

#include <cstdint>
#include <string>

#include "platform/rtl/SysUtils.h"

namespace rtl {

// Field types in the toolkit's order (the ordinal is stored and compared).
enum TFieldType : uint8_t {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate,
    ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo,
    ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT,
    ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid,
    ftTimeStamp, ftFMTBcd
};
constexpr int FieldTypeCount = int(ftFMTBcd) + 1;

// The type's name without the "ft" prefix ("String", "Smallint", ...).
const char *FieldTypeName(TFieldType T);
// Blob-like types: ftBlob .. ftTypedBinary, ftOraBlob, ftOraClob.
bool IsBlobFieldType(TFieldType T);

enum TParamType : uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// The dataset model's error: a message, raised by datasets and fields.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EDatabaseError>(*this); }
};

[[noreturn]] void DatabaseError(const std::string &Message);

} // namespace rtl
