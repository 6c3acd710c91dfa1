// qxZqStanError: the library's exception family and the one raising path.
//
// Every layer reports an error through ZqRaiseError(object, component
// words, code, arguments). The message is
//   "[Vexa]" + "[word]"... + "-" + code + ". " + the code's text formatted
// with the arguments, so code 306 from the driver layer reads
// "[Vexa][Phys]-306. Command text must be not empty". The failing object's
// error handler (IZqStanErrorHandler) sees the exception first and may
// replace or clear it; a cleared error makes ZqRaiseError return.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/stan/qxZqStanIntf.h"
#include "platform/rtl/DB.h"
#include "platform/rtl/Variant.h"

// Every exception class of the family overrides CreateDefault, Duplicate
// (when it adds fields), Raise and Clone, so that copies, error handlers and
// re-raises keep the class.
class EZqException : public rtl::EDatabaseError {
public:
    EZqException() = default; // the empty exception a copy starts from
    EZqException(int32_t AErrorCode, std::string AMessage)
        : rtl::EDatabaseError(std::move(AMessage)), FErrorCode(AErrorCode) {}

    int32_t ErrorCode() const { return FErrorCode; }
    void SetErrorCode(int32_t AValue) { FErrorCode = AValue; }

    // A new empty exception of this object's class.
    virtual std::unique_ptr<EZqException> CreateDefault() const { return std::make_unique<EZqException>(); }
    // Copies this exception into ATarget, creating one of the same class
    // when ATarget is nil.
    virtual void Duplicate(std::unique_ptr<EZqException> &ATarget) const;

    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<rtl::Exception> Clone() const override;

private:
    int32_t FErrorCode = 0;
};

// Error item kinds read by the layers; 2 to 6 are set by the Access
// connection for particular native errors, 2 for a database another session
// holds locked.
enum TZqDBErrorKind : uint8_t {
    ekOther = 0, ekNoDataFound = 1, ekRecordLocked = 2, ekCmdAborted = 9, ekServerGone = 10
};

// One diagnostic record of the server.
class TZqDBError {
public:
    TZqDBError() = default;
    TZqDBError(int32_t ALevel, int32_t AErrorCode, std::string AMessage, std::string AObjName, uint8_t AKind,
               int32_t ACommandTextOffset)
        : Message(std::move(AMessage)), ErrorCode(AErrorCode), Level(ALevel), ObjName(std::move(AObjName)),
          Kind(AKind), CommandTextOffset(ACommandTextOffset) {}
    virtual ~TZqDBError() = default;
    TZqDBError(const TZqDBError &) = default;
    TZqDBError &operator=(const TZqDBError &) = default;
    virtual void Assign(const TZqDBError &ASource) { *this = ASource; }
    // A new item of this item's class (drivers may add fields).
    virtual std::unique_ptr<TZqDBError> CreateDefault() const { return std::make_unique<TZqDBError>(); }

    std::string Message;
    int32_t ErrorCode = 0;        // the server's native error code
    int32_t Level = 0;            // the record's number, 1 for the first
    std::string ObjName;
    uint8_t Kind = ekOther;
    int32_t CommandTextOffset = -1;
    int32_t RowIndex = -1;
};

// A database error with the server's diagnostics, in the driver's order.
class EZqDBEngineException : public EZqException {
public:
    EZqDBEngineException() = default;
    EZqDBEngineException(int32_t AErrorCode, std::string AMessage) : EZqException(AErrorCode, std::move(AMessage)) {}
    EZqDBEngineException(const EZqDBEngineException &AOther);
    EZqDBEngineException &operator=(const EZqDBEngineException &AOther);
    ~EZqDBEngineException() override = default;

    int ErrorCount() const { return int(FItems.size()); }
    TZqDBError &Errors(int AIndex) const;
    TZqDBError &GetError(int AIndex) const { return Errors(AIndex); }
    // The first item's kind; 0 without items.
    uint8_t Kind() const { return FItems.empty() ? 0 : FItems.front()->Kind; }
    // The exception owns the item from now on.
    void Append(std::unique_ptr<TZqDBError> AItem) { FItems.push_back(std::move(AItem)); }

    const TZqIntfPtr<IZqMoniAdapter> &MoniAdapter() const { return FMoniAdapter; }
    void SetMoniAdapter(const TZqIntfPtr<IZqMoniAdapter> &AValue) { FMoniAdapter = AValue; }

    std::unique_ptr<EZqException> CreateDefault() const override { return std::make_unique<EZqDBEngineException>(); }
    void Duplicate(std::unique_ptr<EZqException> &ATarget) const override;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<rtl::Exception> Clone() const override;

private:
    std::vector<std::unique_ptr<TZqDBError>> FItems;
    TZqIntfPtr<IZqMoniAdapter> FMoniAdapter;
};

// "[Vexa]" followed by "[word]" for each word in order.
std::string ZqBuildErrorPrefix(const std::vector<std::string> &AComponents);
// The text of a code ("" for a code without one). Codes 5, 15, 16, 17 take
// (text, flag): with flag 1 the code's own text, else the text passed in.
std::string ZqGetErrorMessage(int32_t ACode, const std::vector<rtl::Variant> &AArgs = {});
// The whole message of ZqRaiseError.
std::string ZqBuildErrorMessage(const std::vector<std::string> &AComponents, int32_t ACode,
                                const std::vector<rtl::Variant> &AArgs = {});

// Raises EZqException through ZqHandleAndRaise; returns only when the
// object's error handler cleared the exception.
void ZqRaiseError(rtl::TObject *AObject, const std::vector<std::string> &AComponents, int32_t ACode,
                  const std::vector<rtl::Variant> &AArgs = {});
// Code 303 "Capability is not supported".
void ZqRaiseCapabilityNotSupported(rtl::TObject *AObject, const std::vector<std::string> &AComponents);
// Code 709 "Manager [%s] must be linked with application".
void ZqRaiseManagerNotLinked(rtl::TObject *AObject, const std::vector<std::string> &AComponents,
                             const std::string &AName);
// The last step of raising, also used directly by the driver layer with an
// exception it built itself.
void ZqHandleAndRaise(rtl::TObject *AObject, std::unique_ptr<rtl::Exception> AException);

// Broken internal preconditions: rtl::EAssertionFailed naming unit and line.
// The condition is tested in place: the checks sit on paths run per value.
#define ZQ_ASSERT(Cond, Unit) (bool(Cond) ? void(0) : ::rtl::Assert(false, (Unit), __LINE__))
