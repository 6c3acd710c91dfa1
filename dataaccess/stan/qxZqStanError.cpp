// qxZqStanError: exceptions and raising.
#include "dataaccess/stan/qxZqStanError.h"

#include "dataaccess/stan/qxZqStanResStrs.h"
#include "platform/rtl/Format.h"

// ---- EZqException ---------------------------------------------------------------

void EZqException::Duplicate(std::unique_ptr<EZqException> &ATarget) const
{
    if (!ATarget) ATarget = CreateDefault();
    ATarget->SetMessage(Message());
    ATarget->SetErrorCode(FErrorCode);
}

std::unique_ptr<rtl::Exception> EZqException::Clone() const { return std::make_unique<EZqException>(*this); }

// ---- EZqDBEngineException ---------------------------------------------------------

EZqDBEngineException::EZqDBEngineException(const EZqDBEngineException &AOther)
    : EZqException(AOther), FMoniAdapter(AOther.FMoniAdapter)
{
    for (const auto &It : AOther.FItems) {
        auto N = It->CreateDefault();
        N->Assign(*It);
        FItems.push_back(std::move(N));
    }
}

EZqDBEngineException &EZqDBEngineException::operator=(const EZqDBEngineException &AOther)
{
    if (this != &AOther) {
        EZqDBEngineException Copy(AOther);
        EZqException::operator=(Copy);
        FItems.swap(Copy.FItems);
        FMoniAdapter = Copy.FMoniAdapter;
    }
    return *this;
}

TZqDBError &EZqDBEngineException::Errors(int AIndex) const
{
    if (AIndex < 0 || AIndex >= ErrorCount())
        throw rtl::EListError("List index out of bounds (" + std::to_string(AIndex) + ")");
    return *FItems[size_t(AIndex)];
}

void EZqDBEngineException::Duplicate(std::unique_ptr<EZqException> &ATarget) const
{
    EZqException::Duplicate(ATarget);
    auto *T = dynamic_cast<EZqDBEngineException *>(ATarget.get());
    if (!T) return;
    T->FMoniAdapter = FMoniAdapter;
    for (const auto &It : FItems) {
        auto N = It->CreateDefault();
        N->Assign(*It);
        T->FItems.push_back(std::move(N));
    }
}

std::unique_ptr<rtl::Exception> EZqDBEngineException::Clone() const
{
    return std::make_unique<EZqDBEngineException>(*this);
}

// ---- messages ---------------------------------------------------------------------------

namespace {

bool IsConstraintCode(int32_t ACode) { return ACode == 5 || ACode == 15 || ACode == 16 || ACode == 17; }

// The constraint codes carry (text, flag): flag 1 asks for the code's text.
bool UseOwnConstraintText(int32_t ACode, const std::vector<rtl::Variant> &AArgs)
{
    if (!IsConstraintCode(ACode)) return false;
    if (AArgs.size() < 2) return false;
    int64_t Flag = 0;
    try {
        Flag = AArgs[1].AsInt64();
    } catch (const rtl::Exception &) {
        Flag = 0;
    }
    return Flag != 1;
}

} // namespace

std::string ZqBuildErrorPrefix(const std::vector<std::string> &AComponents)
{
    std::string R = "[Vexa]";
    for (const std::string &W : AComponents) R += "[" + W + "]";
    return R;
}

std::string ZqGetErrorMessage(int32_t ACode, const std::vector<rtl::Variant> &AArgs)
{
    if (UseOwnConstraintText(ACode, AArgs)) return rtl::VarToStr(AArgs[0]);
    const char *T = ZqErrorText(ACode);
    return T ? T : "";
}

std::string ZqBuildErrorMessage(const std::vector<std::string> &AComponents, int32_t ACode,
                                const std::vector<rtl::Variant> &AArgs)
{
    std::string Text = ZqGetErrorMessage(ACode, AArgs);
    // A constraint's own message is shown as it stands: it is the user's
    // text, not a format, and a "%" in it must not eat an argument.
    if (!UseOwnConstraintText(ACode, AArgs)) Text = rtl::Format(Text, AArgs);
    return ZqBuildErrorPrefix(AComponents) + "-" + std::to_string(ACode) + ". " + Text;
}

void ZqRaiseError(rtl::TObject *AObject, const std::vector<std::string> &AComponents, int32_t ACode,
                  const std::vector<rtl::Variant> &AArgs)
{
    ZqHandleAndRaise(AObject, std::make_unique<EZqException>(ACode, ZqBuildErrorMessage(AComponents, ACode, AArgs)));
}

void ZqRaiseCapabilityNotSupported(rtl::TObject *AObject, const std::vector<std::string> &AComponents)
{
    ZqRaiseError(AObject, AComponents, 303, {});
}

void ZqRaiseManagerNotLinked(rtl::TObject *AObject, const std::vector<std::string> &AComponents,
                             const std::string &AName)
{
    ZqRaiseError(AObject, AComponents, 709, {AName});
}

void ZqHandleAndRaise(rtl::TObject *AObject, std::unique_ptr<rtl::Exception> AException)
{
    if (!AException) return;
    if (auto *DB = dynamic_cast<EZqDBEngineException *>(AException.get()))
        if (auto Moni = TZqIntfPtr<IZqMoniAdapter>::Query(AObject)) DB->SetMoniAdapter(Moni);
    if (auto Handler = TZqIntfPtr<IZqStanErrorHandler>::Query(AObject)) {
        auto Initiator = TZqIntfPtr<IZqStanObject>::Query(AObject);
        Handler->HandleException(Initiator, AException);
    }
    if (AException) AException->Raise();
}
