// Enumerations and small value types of the dataset model, shared by the
// dataset, its fields, field definitions and data sources. The numeric values
// are fixed: the client dataset and stored settings rely on them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/DB.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/SysUtils.h"

class TDataSet;
class TField;
class TDataSource;

// A record buffer is raw memory allocated by the dataset (AllocRecordBuffer);
// its layout belongs to the concrete dataset.
using TRecordBuffer = uint8_t *;
// A bookmark is an opaque copy of BookmarkSize bytes.
using TBookmark = std::vector<uint8_t>;

enum TDataSetState : uint8_t {
    dsInactive = 0, dsBrowse = 1, dsEdit = 2, dsInsert = 3, dsSetKey = 4,
    dsCalcFields = 5, dsFilter = 6, dsNewValue = 7, dsOldValue = 8,
    dsCurValue = 9, dsBlockRead = 10, dsInternalCalc = 11, dsOpening = 12
};

enum TGetMode : uint8_t { gmCurrent = 0, gmNext = 1, gmPrior = 2 };
enum TGetResult : uint8_t { grOK = 0, grBOF = 1, grEOF = 2, grError = 3 };
enum TBookmarkFlag : uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

enum TDataEvent : uint8_t {
    deFieldChange = 0, deRecordChange = 1, deDataSetChange = 2,
    deDataSetScroll = 3, deLayoutChange = 4, deUpdateRecord = 5,
    deUpdateState = 6, deCheckBrowseMode = 7, dePropertyChange = 8,
    deFieldListChange = 9, deFocusControl = 10, deParentScroll = 11,
    deConnectChange = 12, deReconcileError = 13, deDisabledStateChange = 14
};

enum TFieldKind : uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };
enum TUpdateStatus : uint8_t { usUnmodified, usModified, usInserted, usDeleted };
enum TUpdateKind : uint8_t { ukModify, ukInsert, ukDelete };
enum TDataAction : uint8_t { daFail, daAbort, daRetry };
// Scoped: the driver layer's update requests use the name arNone too, and
// the client dataset sees both.
enum class TAutoRefreshFlag : uint8_t { arNone, arAutoInc, arDefault };
enum TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };

// Resync modes (a set).
enum : uint8_t { rmExact = 1, rmCenter = 2 };
using TResyncMode = uint8_t;

// Locate options (a set).
enum : uint8_t { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = uint8_t;

// Filter options (a set).
enum : uint8_t { foCaseInsensitive = 1, foNoPartialCompare = 2 };
using TFilterOptions = uint8_t;

// Provider flags of a field (a set).
enum : uint8_t { pfInUpdate = 1, pfInWhere = 2, pfInKey = 4, pfHidden = 8 };
using TProviderFlags = uint8_t;

// Field definition attributes (a set).
enum : uint8_t { faHiddenCol = 1, faReadonly = 2, faRequired = 4, faLink = 8,
                 faUnNamed = 16, faFixed = 32 };
using TFieldAttributes = uint8_t;

// Index options (a set).
enum : uint16_t { ixPrimary = 1, ixUnique = 2, ixDescending = 4,
                  ixCaseInsensitive = 8, ixExpression = 16, ixNonMaintained = 32 };
using TIndexOptions = uint16_t;

// Update record types (a set) of datasets that keep changes.
enum : uint8_t { rtModified = 1, rtInserted = 2, rtDeleted = 4, rtUnmodified = 8 };
using TUpdateRecordTypes = uint8_t;

// The error of every dataset operation (the toolkit's database error).
using EDatabaseError = rtl::EDatabaseError;

// The error a provider reports for one failed update.
class EUpdateError : public EDatabaseError {
public:
    EUpdateError(const std::string &AMessage, const std::string &AContext,
                 int AErrorCode, int APreviousError)
        : EDatabaseError(AMessage), Context(AContext), ErrorCode(AErrorCode),
          PreviousError(APreviousError) {}
    std::string Context;
    int ErrorCode;
    int PreviousError;
};

// Raises EDatabaseError; with a component, the message is prefixed by its name
// ("Table1: ...") as the toolkit does.
[[noreturn]] void DatabaseError(const std::string &AMessage, const TDataSet *AComponent = nullptr);

using TDataSetNotifyEvent = std::function<void(TDataSet *)>;
using TDataSetErrorEvent = std::function<void(TDataSet *, EDatabaseError &, TDataAction &)>;
using TFilterRecordEvent = std::function<void(TDataSet *, bool &)>;
using TFieldNotifyEvent = std::function<void(TField *)>;
using TFieldGetTextEvent = std::function<void(TField *, std::string &, bool)>;
using TFieldSetTextEvent = std::function<void(TField *, const std::string &)>;
using TDataChangeEvent = std::function<void(TDataSource *, TField *)>;
using TNotifyEvent = std::function<void(TDataSource *)>;

// Toolkit message texts that callers and tests may compare with.
namespace DBText {
inline constexpr const char *SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char *SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char *SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char *SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char *SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char *SFieldNotFound = "Field '%s' not found";
inline constexpr const char *SFieldRequired = "Field '%s' must have a value";
inline constexpr const char *SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char *SRecordNotFound = "Record not found";
inline constexpr const char *SBookmarkNotFound = "Bookmark not found";
inline constexpr const char *SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char *SFieldTypeMismatch = "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char *SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char *SInvalidIntegerValue = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char *SInvalidFloatValue = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char *SInvalidDateTimeValue = "'%s' is not a valid date and time for field '%s'";
inline constexpr const char *SInvalidBoolValue = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char *SFieldRangeError = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char *SNoFieldIndexes = "No index currently active";
inline constexpr const char *SNotIndexField = "Field '%s' is not indexed and cannot be modified";
inline constexpr const char *SDataSourceChange = "DataSource cannot be changed";
inline constexpr const char *SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char *SFieldIndexError = "Field index out of range";
inline constexpr const char *SFieldValueError = "Invalid value for field '%s'";
inline constexpr const char *SFieldTextTooLong =
    "Value of field '%s' is too long: %d characters where the field holds %d";
inline constexpr const char *STextTooLong = "A text of %d characters does not fit a field of %d characters";
} // namespace DBText

