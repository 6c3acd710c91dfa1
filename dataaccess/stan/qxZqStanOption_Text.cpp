// qxZqStanOption_Text: option values as "Group.Property=Value" lines, the
// form in which connection definitions keep them. Values are written as the
// component text writes them: integers in decimal, True/False, enumeration
// names (fmAll), sets in brackets ([fiBlobs,fiMeta]) and the map rules as a
// collection (<item SourceDataType = dtBCD TargetDataType = dtInt32 end>).
#include <functional>
#include <string>
#include <vector>

#include "dataaccess/stan/qxZqStanConst.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "platform/rtl/SysUtils.h"

namespace {

[[noreturn]] void BadValue(const std::string &AName, const std::string &AValue)
{
    throw rtl::EConvertError("Invalid property value '" + AValue + "' of " + AName);
}

std::string BoolText(bool A) { return A ? "True" : "False"; }

bool ParseBool(const std::string &AName, const std::string &AValue)
{
    if (rtl::SameText(AValue, "True"))
        return true;
    if (rtl::SameText(AValue, "False"))
        return false;
    BadValue(AName, AValue);
}

int64_t ParseInt(const std::string &AName, const std::string &AValue)
{
    int64_t V;
    if (!rtl::TryStrToInt64(AValue, V))
        BadValue(AName, AValue);
    return V;
}

template <class E, size_t N>
int ParseEnum(const std::string &AName, const std::string &AValue, const char *const (&ANames)[N])
{
    for (size_t I = 0; I < N; ++I)
        if (rtl::SameText(AValue, ANames[I]))
            return int(I);
    BadValue(AName, AValue);
}

const char *const CFetchModes[] = {"fmManual", "fmOnDemand", "fmAll", "fmExactRecsMax"};
const char *const CFetchItems[] = {"fiBlobs", "fiDetails", "fiMeta"};
const char *const CCountModes[] = {"cmVisible", "cmFetched", "cmTotal"};
const char *const CUpdateModes[] = {"upWhereAll", "upWhereChanged", "upWhereKeyOnly"};
const char *const CLockModes[] = {"lmPessimistic", "lmOptimistic", "lmRely"};
const char *const CLockPoints[] = {"lpImmediate", "lpDeferred"};
const char *const CRefreshModes[] = {"rmManual", "rmOnDemand", "rmAll"};
const char *const CAsyncModes[] = {"amBlocking", "amNonBlocking", "amCancelDialog", "amAsync"};
const char *const CParamTypes[] = {"ptUnknown", "ptInput", "ptOutput", "ptInputOutput", "ptResult"};

std::string ItemsText(TZqFetchItems A)
{
    std::string R = "[";
    for (int I = 0; I < 3; ++I)
        if (A.Contains(TZqFetchItem(I)))
            R += (R.size() > 1 ? "," : "") + std::string(CFetchItems[I]);
    return R + "]";
}

TZqFetchItems ParseItems(const std::string &AName, const std::string &AValue)
{
    std::string V = rtl::Trim(AValue);
    if (V.size() < 2 || V.front() != '[' || V.back() != ']')
        BadValue(AName, AValue);
    TZqFetchItems R;
    rtl::TStringList Parts;
    Parts.SetDelimiter(',');
    Parts.SetStrictDelimiter(true);
    Parts.SetDelimitedText(V.substr(1, V.size() - 2));
    for (int I = 0; I < Parts.Count(); ++I)
        if (!rtl::Trim(Parts[I]).empty())
            R.Include(TZqFetchItem(ParseEnum<TZqFetchItem>(AName, rtl::Trim(Parts[I]), CFetchItems)));
    return R;
}

std::string FieldTypeText(rtl::TFieldType T) { return std::string("ft") + rtl::FieldTypeName(T); }

rtl::TFieldType ParseFieldType(const std::string &AName, const std::string &AValue)
{
    for (int I = 0; I < rtl::FieldTypeCount; ++I)
        if (rtl::SameText(AValue, FieldTypeText(rtl::TFieldType(I))))
            return rtl::TFieldType(I);
    BadValue(AName, AValue);
}

TZqDataType ParseDataType(const std::string &AName, const std::string &AValue)
{
    for (int I = 0; I < ZqDataTypeCount; ++I)
        if (rtl::SameText(AValue, std::string("dt") + ZqDataTypeNames[I]))
            return TZqDataType(I);
    BadValue(AName, AValue);
}

std::string RulesText(const TZqMapRules &ARules)
{
    std::string R = "<";
    for (int I = 0; I < ARules.Count(); ++I) {
        const TZqMapRule *M = ARules.Items(I);
        R += I ? " item" : "item";
        auto Num = [&](const char *N, int64_t V) {
            if (V != -1)
                R += std::string(" ") + N + " = " + std::to_string(V);
        };
        Num("PrecMax", M->PrecMax());
        Num("PrecMin", M->PrecMin());
        Num("ScaleMax", M->ScaleMax());
        Num("ScaleMin", M->ScaleMin());
        Num("SizeMax", M->SizeMax());
        Num("SizeMin", M->SizeMin());
        R += std::string(" SourceDataType = dt") + ZqDataTypeNames[M->SourceDataType()];
        R += std::string(" TargetDataType = dt") + ZqDataTypeNames[M->TargetDataType()];
        R += " end";
    }
    return R + ">";
}

void ParseRules(const std::string &AName, const std::string &AValue, TZqMapRules &ARules)
{
    std::string V = rtl::Trim(AValue);
    if (V.size() < 2 || V.front() != '<' || V.back() != '>')
        BadValue(AName, AValue);
    rtl::TStringList Tokens;
    Tokens.SetDelimiter(' ');
    Tokens.SetDelimitedText(V.substr(1, V.size() - 2));
    TZqMapRule *Cur = nullptr;
    for (int I = 0; I < Tokens.Count(); ++I) {
        const std::string &T = Tokens[I];
        if (rtl::SameText(T, "item")) {
            Cur = ARules.Add();
        } else if (rtl::SameText(T, "end")) {
            Cur = nullptr;
        } else if (Cur && I + 2 < Tokens.Count() && Tokens[I + 1] == "=") {
            const std::string &Val = Tokens[I + 2];
            I += 2;
            if (rtl::SameText(T, "SourceDataType")) Cur->SetSourceDataType(ParseDataType(AName, Val));
            else if (rtl::SameText(T, "TargetDataType")) Cur->SetTargetDataType(ParseDataType(AName, Val));
            else if (rtl::SameText(T, "PrecMax")) Cur->SetPrecMax(int(ParseInt(AName, Val)));
            else if (rtl::SameText(T, "PrecMin")) Cur->SetPrecMin(int(ParseInt(AName, Val)));
            else if (rtl::SameText(T, "ScaleMax")) Cur->SetScaleMax(int(ParseInt(AName, Val)));
            else if (rtl::SameText(T, "ScaleMin")) Cur->SetScaleMin(int(ParseInt(AName, Val)));
            else if (rtl::SameText(T, "SizeMax")) Cur->SetSizeMax(ParseInt(AName, Val));
            else if (rtl::SameText(T, "SizeMin")) Cur->SetSizeMin(ParseInt(AName, Val));
            else BadValue(AName, AValue);
        } else {
            BadValue(AName, AValue);
        }
    }
}

// One option: its index in its class's assigned set, its value as text and
// its write accessor from text.
template <class O>
struct TProp {
    const char *Name;
    int Bit;
    std::function<std::string(O &)> Get;
    std::function<void(O &, const std::string &, const std::string &)> Set;
};

template <class O, class T>
TProp<O> BoolProp(const char *N, int B, T (O::*G)() const, void (O::*S)(T))
{
    return {N, B, [G](O &A) { return BoolText((A.*G)()); },
            [S](O &A, const std::string &F, const std::string &V) { (A.*S)(ParseBool(F, V)); }};
}

template <class O, class T>
TProp<O> IntProp(const char *N, int B, T (O::*G)() const, void (O::*S)(T))
{
    return {N, B, [G](O &A) { return std::to_string((A.*G)()); },
            [S](O &A, const std::string &F, const std::string &V) { (A.*S)(T(ParseInt(F, V))); }};
}

template <class O, class T, size_t K>
TProp<O> EnumProp(const char *N, int B, T (O::*G)() const, void (O::*S)(T), const char *const (&Names)[K])
{
    return {N, B, [G, &Names](O &A) { return std::string(Names[int((A.*G)())]); },
            [S, &Names](O &A, const std::string &F, const std::string &V) { (A.*S)(T(ParseEnum<T>(F, V, Names))); }};
}

const std::vector<TProp<TZqFetchOptions>> &FetchProps()
{
    using F = TZqFetchOptions;
    static const std::vector<TProp<F>> P = {
        EnumProp("Mode", F::foMode, &F::Mode, &F::SetMode, CFetchModes),
        {"Items", F::foItems, [](F &A) { return ItemsText(A.Items()); },
         [](F &A, const std::string &N, const std::string &V) { A.SetItems(ParseItems(N, V)); }},
        {"Cache", F::foCache, [](F &A) { return ItemsText(A.Cache()); },
         [](F &A, const std::string &N, const std::string &V) { A.SetCache(ParseItems(N, V)); }},
        IntProp("RecsMax", F::foRecsMax, &F::RecsMax, &F::SetRecsMax),
        IntProp("RowsetSize", F::foRowsetSize, &F::RowsetSize, &F::SetRowsetSize),
        BoolProp("AutoClose", F::foAutoClose, &F::AutoClose, &F::SetAutoClose),
        EnumProp("RecordCountMode", F::foRecordCountMode, &F::RecordCountMode, &F::SetRecordCountMode, CCountModes),
    };
    return P;
}

const std::vector<TProp<TZqFormatOptions>> &FormatProps()
{
    using F = TZqFormatOptions;
    static const std::vector<TProp<F>> P = {
        {"MapRules", F::foOwnMapRules,
         [](F &A) { return A.OwnMapRules() ? RulesText(*A.MapRules()) : std::string(); },
         [](F &A, const std::string &N, const std::string &V) {
             TZqMapRules R;
             ParseRules(N, V, R);
             A.SetMapRules(R);
         }},
        BoolProp("StrsEmpty2Null", F::foStrsEmpty2Null, &F::StrsEmpty2Null, &F::SetStrsEmpty2Null),
        BoolProp("StrsTrim", F::foStrsTrim, &F::StrsTrim, &F::SetStrsTrim),
        BoolProp("StrsDivLen2", F::foStrsDivLen2, &F::StrsDivLen2, &F::SetStrsDivLen2),
        IntProp("MaxStringSize", F::foMaxStringSize, &F::MaxStringSize, &F::SetMaxStringSize),
        IntProp("MaxBcdPrecision", F::foMaxBcdPrecision, &F::MaxBcdPrecision, &F::SetMaxBcdPrecision),
        IntProp("MaxBcdScale", F::foMaxBcdScale, &F::MaxBcdScale, &F::SetMaxBcdScale),
        IntProp("InlineDataSize", F::foInlineDataSize, &F::InlineDataSize, &F::SetInlineDataSize),
        {"DefaultParamDataType", F::foDefaultParamDataType, [](F &A) { return FieldTypeText(A.DefaultParamDataType()); },
         [](F &A, const std::string &N, const std::string &V) { A.SetDefaultParamDataType(ParseFieldType(N, V)); }},
    };
    return P;
}

const std::vector<TProp<TZqUpdateOptions>> &UpdateProps()
{
    using U = TZqUpdateOptions;
    static const std::vector<TProp<U>> P = {
        BoolProp("EnableDelete", U::uoEnableDelete, &U::EnableDelete, &U::SetEnableDelete),
        BoolProp("EnableInsert", U::uoEnableInsert, &U::EnableInsert, &U::SetEnableInsert),
        BoolProp("EnableUpdate", U::uoEnableUpdate, &U::EnableUpdate, &U::SetEnableUpdate),
        BoolProp("UpdateChangedFields", U::uoUpdateChangedFields, &U::UpdateChangedFields, &U::SetUpdateChangedFields),
        EnumProp("UpdateMode", U::uoUpdateMode, &U::UpdateMode, &U::SetUpdateMode, CUpdateModes),
        EnumProp("LockMode", U::uoLockMode, &U::LockMode, &U::SetLockMode, CLockModes),
        EnumProp("LockPoint", U::uoLockPoint, &U::LockPoint, &U::SetLockPoint, CLockPoints),
        BoolProp("LockWait", U::uoLockWait, &U::LockWait, &U::SetLockWait),
        EnumProp("RefreshMode", U::uoRefreshMode, &U::RefreshMode, &U::SetRefreshMode, CRefreshModes),
        BoolProp("CountUpdatedRecords", U::uoCountUpdatedRecords, &U::CountUpdatedRecords, &U::SetCountUpdatedRecords),
        BoolProp("CacheUpdateCommands", U::uoCacheUpdateCommands, &U::CacheUpdateCommands, &U::SetCacheUpdateCommands),
        BoolProp("UseProviderFlags", U::uoUseProviderFlags, &U::UseProviderFlags, &U::SetUseProviderFlags),
    };
    return P;
}

const std::vector<TProp<TZqResourceOptions>> &ResourceProps()
{
    using R = TZqResourceOptions;
    auto Top = [](TZqResourceOptions &A) -> TZqTopResourceOptions & {
        auto *T = dynamic_cast<TZqTopResourceOptions *>(&A);
        if (!T)
            throw rtl::EConvertError("Resource options of a command have no top-level properties");
        return *T;
    };
    static const std::vector<TProp<R>> P = {
        BoolProp("ParamCreate", R::roParamCreate, &R::ParamCreate, &R::SetParamCreate),
        BoolProp("MacroCreate", R::roMacroCreate, &R::MacroCreate, &R::SetMacroCreate),
        BoolProp("ParamExpand", R::roParamExpand, &R::ParamExpand, &R::SetParamExpand),
        BoolProp("MacroExpand", R::roMacroExpand, &R::MacroExpand, &R::SetMacroExpand),
        BoolProp("EscapeExpand", R::roEscapeExpand, &R::EscapeExpand, &R::SetEscapeExpand),
        BoolProp("Disconnectable", R::roDisconnectable, &R::Disconnectable, &R::SetDisconnectable),
        EnumProp("AsyncCmdMode", R::roAsyncCmdMode, &R::AsyncCmdMode, &R::SetAsyncCmdMode, CAsyncModes),
        IntProp("AsyncCmdTimeout", R::roAsyncCmdTimeout, &R::AsyncCmdTimeout, &R::SetAsyncCmdTimeout),
        BoolProp("DirectExecute", R::roDirectExecute, &R::DirectExecute, &R::SetDirectExecute),
        EnumProp("DefaultParamType", R::roDefaultParamType, &R::DefaultParamType, &R::SetDefaultParamType,
                 CParamTypes),
        {"MaxCursors", R::roMaxCursors, [Top](R &A) { return std::to_string(Top(A).MaxCursors()); },
         [Top](R &A, const std::string &N, const std::string &V) { Top(A).SetMaxCursors(int(ParseInt(N, V))); }},
        {"ServerOutput", R::roServerOutput, [Top](R &A) { return BoolText(Top(A).ServerOutput()); },
         [Top](R &A, const std::string &N, const std::string &V) { Top(A).SetServerOutput(ParseBool(N, V)); }},
        {"ServerOutputSize", R::roServerOutputSize, [Top](R &A) { return std::to_string(Top(A).ServerOutputSize()); },
         [Top](R &A, const std::string &N, const std::string &V) {
             Top(A).SetServerOutputSize(int(ParseInt(N, V)));
         }},
    };
    return P;
}

template <class O>
void WriteGroup(const char *AGroup, O *AObject, const std::vector<TProp<O>> &AProps, rtl::TStrings &ALines)
{
    if (!AObject)
        return;
    for (const TProp<O> &P : AProps)
        if (AObject->IsAssigned(P.Bit)) {
            std::string V = P.Get(*AObject);
            if (!V.empty())
                ALines.Add(std::string(AGroup) + "." + P.Name + "=" + V);
        }
}

template <class O>
bool ReadGroup(const std::string &AGroup, const std::string &AProp, const std::string &AValue, O *AObject,
               const std::vector<TProp<O>> &AProps, const std::string &AFull)
{
    for (const TProp<O> &P : AProps)
        if (rtl::SameText(AProp, P.Name)) {
            if (AObject)
                P.Set(*AObject, AFull, AValue);
            return true;
        }
    (void)AGroup;
    return false;
}

} // namespace

void ZqWriteOptionLines(TZqFetchOptions *AFetch, TZqFormatOptions *AFormat, TZqUpdateOptions *AUpdate,
                        TZqResourceOptions *AResource, rtl::TStrings &ALines)
{
    WriteGroup("FetchOptions", AFetch, FetchProps(), ALines);
    WriteGroup("FormatOptions", AFormat, FormatProps(), ALines);
    WriteGroup("UpdateOptions", AUpdate, UpdateProps(), ALines);
    WriteGroup("ResourceOptions", AResource, ResourceProps(), ALines);
}

void ZqReadOptionLines(const rtl::TStrings &ALines, TZqFetchOptions *AFetch, TZqFormatOptions *AFormat,
                       TZqUpdateOptions *AUpdate, TZqResourceOptions *AResource)
{
    for (int I = 0; I < ALines.Count(); ++I) {
        std::string Full = rtl::Trim(ALines.Names(I));
        std::string Value = rtl::Trim(ALines.ValueFromIndex(I));
        size_t Dot = Full.find('.');
        std::string Group = Full.substr(0, Dot), Prop = Dot == std::string::npos ? "" : Full.substr(Dot + 1);
        bool Known = false;
        if (rtl::SameText(Group, "FetchOptions"))
            Known = ReadGroup(Group, Prop, Value, AFetch, FetchProps(), Full);
        else if (rtl::SameText(Group, "FormatOptions"))
            Known = ReadGroup(Group, Prop, Value, AFormat, FormatProps(), Full);
        else if (rtl::SameText(Group, "UpdateOptions"))
            Known = ReadGroup(Group, Prop, Value, AUpdate, UpdateProps(), Full);
        else if (rtl::SameText(Group, "ResourceOptions"))
            Known = ReadGroup(Group, Prop, Value, AResource, ResourceProps(), Full);
        if (!Known)
            throw rtl::EConvertError("Property " + Full + " does not exist");
    }
}
