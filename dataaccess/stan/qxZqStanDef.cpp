// qxZqStanDef: definitions, their inheritance and persistence, the
// definition list and its file storage, and connection strings.
#include "dataaccess/stan/qxZqStanDef.h"

#include <algorithm>
#include <climits>
#include <filesystem>

#include "dataaccess/stan/qxZqStanError.h"

namespace {

const std::vector<std::string> CDefWords = {"Stan", "Def"};

bool SameName(std::string_view A, std::string_view B) { return ZqCompareText(A, B) == 0; }

// Keeps a definition alive while one of its own routines may remove it from
// its list (the list holds the only other reference).
TZqIntfPtr<IZqStanDefinition> Hold(TZqDefinition *ADef) { return TZqIntfPtr<IZqStanDefinition>(ADef); }

} // namespace

// ---- TZqReadWriteLock ------------------------------------------------------------

void TZqReadWriteLock::BeginRead()
{
    std::unique_lock L(FLock);
    if (FWriteDepth > 0 && FWriter == std::this_thread::get_id()) {
        ++FWriterReads;
        return;
    }
    FCond.wait(L, [&] { return FWriteDepth == 0; });
    ++FReaders;
}

void TZqReadWriteLock::EndRead()
{
    std::unique_lock L(FLock);
    if (FWriteDepth > 0 && FWriter == std::this_thread::get_id() && FWriterReads > 0) {
        --FWriterReads;
        return;
    }
    if (--FReaders == 0)
        FCond.notify_all();
}

void TZqReadWriteLock::BeginWrite()
{
    std::unique_lock L(FLock);
    if (FWriteDepth > 0 && FWriter == std::this_thread::get_id()) {
        ++FWriteDepth;
        return;
    }
    FCond.wait(L, [&] { return FWriteDepth == 0 && FReaders == 0; });
    FWriter = std::this_thread::get_id();
    FWriteDepth = 1;
}

void TZqReadWriteLock::EndWrite()
{
    std::unique_lock L(FLock);
    if (--FWriteDepth == 0) {
        FWriter = std::thread::id();
        FCond.notify_all();
    }
}

namespace {

class TReadGuard {
public:
    explicit TReadGuard(IZqStanDefinitions &AList) : FList(AList) { FList.BeginRead(); }
    ~TReadGuard() { FList.EndRead(); }

private:
    IZqStanDefinitions &FList;
};

class TWriteGuard {
public:
    explicit TWriteGuard(IZqStanDefinitions &AList) : FList(AList) { FList.BeginWrite(); }
    ~TWriteGuard() { FList.EndWrite(); }

private:
    IZqStanDefinitions &FList;
};

} // namespace

// ---- TZqFileDefinitionStorage ------------------------------------------------------

std::unique_ptr<rtl::TCustomIniFile> TZqFileDefinitionStorage::CreateIniFile()
{
    return std::make_unique<rtl::TMemIniFile>(GetActualFileName());
}

std::string TZqFileDefinitionStorage::GetActualFileName()
{
    return ZqExpandFileName(FFileName, FGlobalFileName, FDefaultFileName);
}

// ---- TZqDefinition -----------------------------------------------------------------

// Brackets a change of the parameter lines so that it fires one pair of
// notifications however many lines it touches; an internal change (loading,
// normalising) fires none and leaves the state alone.
class TZqDefinition::TParamsUpdate {
public:
    TParamsUpdate(TZqDefinition &ADef, bool AInternal) : FDef(ADef), FInternal(AInternal)
    {
        if (FInternal)
            ++FDef.FInternalChange;
        else if (FDef.FParams.UpdateCount() == 0)
            FDef.ParamsChanging();
        FDef.FParams.BeginUpdate();
    }
    ~TParamsUpdate() noexcept(false)
    {
        bool Unwinding = std::uncaught_exceptions() > FExceptions;
        try {
            FDef.FParams.EndUpdate();
        } catch (...) {
            if (FInternal)
                --FDef.FInternalChange;
            if (!Unwinding)
                throw;
            return;
        }
        if (FInternal)
            --FDef.FInternalChange;
    }

private:
    TZqDefinition &FDef;
    bool FInternal;
    int FExceptions = std::uncaught_exceptions();
};

TZqDefinition::TZqDefinition()
{
    FParams.OnChanging = [this](rtl::TObject *) { ParamsChanging(); };
    FParams.OnChange = [this](rtl::TObject *) { ParamsChanged(); };
}

TZqDefinition::~TZqDefinition()
{
    FParams.OnChanging = nullptr;
    FParams.OnChange = nullptr;
}

bool TZqDefinition::SettingsDefinition() const
{
    return FList && FList->FSettings.Get() == static_cast<const IZqStanDefinition *>(this);
}

void TZqDefinition::CheckChange()
{
    if (FAssociatedConnection && FForbidden.Contains(doChange))
        ZqRaiseError(nullptr, CDefWords, 251, {"change", GetName()});
}

void TZqDefinition::ParamsChanging()
{
    if (FInternalChange > 0)
        return;
    CheckChange();
    FPendingName = FParams.Values("Name");
    if (FOnChanging)
        FOnChanging(this);
}

void TZqDefinition::ParamsChanged()
{
    if (FInternalChange > 0)
        return;
    std::string NewName = FParams.Values("Name");
    if (FList && !SameName(NewName, FPendingName) && FList->Find(NewName, this)) {
        ++FInternalChange;
        FParams.SetValue("Name", FPendingName);
        --FInternalChange;
        ZqRaiseError(nullptr, CDefWords, 255, {NewName});
    }
    FParentToResolve = true;
    if (FState == ZqDefStored)
        FState = ZqDefModified;
    if (FOnChanged)
        FOnChanged(this);
}

std::string TZqDefinition::GetName() { return rtl::Trim(FParams.Values("Name")); }

std::string TZqDefinition::GetAsString(const std::string &AName)
{
    int I = FParams.IndexOfName(AName);
    if (I >= 0)
        return rtl::Trim(FParams.ValueFromIndex(I));
    TZqDefinition *P = ResolvedParent();
    if (!P)
        return "";
    // The defaults have no name of their own for their children.
    if (SameName(AName, "Name") && P->SettingsDefinition())
        return "";
    return P->GetAsString(AName);
}

bool TZqDefinition::GetAsBoolean(const std::string &AName)
{
    std::string V = GetAsString(AName);
    char C = V.empty() ? '\0' : V[0];
    return C == 'T' || C == 't' || C == 'Y' || C == 'y';
}

int TZqDefinition::GetAsInteger(const std::string &AName) { return rtl::StrToIntDef(GetAsString(AName), 0); }

TZqIntfPtr<IZqStanDefinition> TZqDefinition::GetParentDefinition()
{
    ResolvedParent();
    return FParent;
}

TZqDefinition *TZqDefinition::ResolvedParent()
{
    if (FParentToResolve && FList) {
        FParentToResolve = false;
        std::string N = rtl::Trim(FParams.Values("Parent"));
        if (N.empty())
            N = rtl::Trim(FParams.Values("ConnectionDef"));
        if (!N.empty())
            SetParentDefinition(FList->DefinitionByName(N));
    }
    return dynamic_cast<TZqDefinition *>(FParent.Get());
}

void TZqDefinition::SetParentDefinition(const TZqIntfPtr<IZqStanDefinition> &AValue)
{
    // A parent chain that comes back here would make every read recurse
    // without end: refuse it as the definition's own parent is refused.
    int Depth = 0;
    for (auto *P = dynamic_cast<TZqDefinition *>(AValue.Get()); P; P = P->ResolvedParent())
        if (P == this || ++Depth > 10000)
            ZqRaiseError(nullptr, CDefWords, 250, {GetName()});
    FParent = AValue;
    {
        TParamsUpdate U(*this, true);
        Normalize();
    }
    FParentToResolve = false;
}

void TZqDefinition::Normalize()
{
    auto *P = dynamic_cast<TZqDefinition *>(FParent.Get());
    for (int I = FParams.Count() - 1; I >= 0; --I) {
        std::string N = FParams.Names(I);
        bool Later = false;
        for (int J = I + 1; J < FParams.Count() && !Later; ++J)
            Later = SameName(FParams.Names(J), N);
        // Equal to the parent's value exactly: passwords and file paths keep
        // their letter case, so a value that differs only in case stays.
        if (Later || (P && !N.empty() && P->GetAsString(N) == rtl::Trim(FParams.ValueFromIndex(I))))
            FParams.Delete(I);
    }
    int D = FParams.IndexOfName("DriverID");
    if (D >= 0 && SameName(rtl::Trim(FParams.ValueFromIndex(D)), "MSSQL"))
        FParams.SetValueFromIndex(D, "MSSQL2000");
}

void TZqDefinition::NormalizeQuietly()
{
    ++FInternalChange;
    try {
        Normalize();
    } catch (...) {
        --FInternalChange;
        throw;
    }
    --FInternalChange;
}

void TZqDefinition::SetOwnLine(const std::string &AName, const std::string &AValue)
{
    FParams.SetValue(AName, AValue);
}

void TZqDefinition::SetAsString(const std::string &AName, const std::string &AValue)
{
    CheckChange();
    std::string V = rtl::Trim(AValue);
    if (V == GetAsString(AName))
        return;
    TZqDefinition *P = ResolvedParent();
    TParamsUpdate U(*this, false);
    if (P && P->GetAsString(AName) == V)
        SetOwnLine(AName, "");
    else
        SetOwnLine(AName, V);
}

void TZqDefinition::SetAsBoolean(const std::string &AName, bool AValue)
{
    if (GetAsBoolean(AName) != AValue)
        SetAsString(AName, AValue ? "True" : "False");
}

void TZqDefinition::SetAsYesNo(const std::string &AName, bool AValue)
{
    if (GetAsBoolean(AName) != AValue)
        SetAsString(AName, AValue ? "Yes" : "No");
}

void TZqDefinition::SetAsInteger(const std::string &AName, int AValue)
{
    if (GetAsInteger(AName) != AValue)
        SetAsString(AName, rtl::IntToStr(AValue));
}

void TZqDefinition::SetParams(const rtl::TStrings &AValue)
{
    TParamsUpdate U(*this, false);
    FParams.Assign(AValue);
    NormalizeQuietly();
}

void TZqDefinition::Clear()
{
    CheckChange();
    {
        TParamsUpdate U(*this, false);
        FParams.Clear();
        FStoredName.clear();
        if (FList)
            FParams.SetValue("Name", FList->UniqueName(this));
    }
    FPendingName.clear();
    if (FState != ZqDefLoading)
        FState = ZqDefNew;
    FStyle = FList ? ZqDefPrivate : ZqDefStandalone;
}

void TZqDefinition::MarkPersistent()
{
    if (!FList || GetName().empty())
        ZqRaiseError(nullptr, CDefWords, 252, {});
    FStyle = ZqDefPersistent;
}

void TZqDefinition::WriteTo(rtl::TCustomIniFile &AIni, bool AFull)
{
    if (FStyle != ZqDefPersistent)
        return;
    auto WriteLines = [&] {
        std::string Section = GetName();
        AIni.EraseSection(Section);
        for (int I = 0; I < FParams.Count(); ++I) {
            std::string N = FParams.Names(I);
            if (!N.empty() && !SameName(N, "Name"))
                AIni.WriteString(Section, N, FParams.ValueFromIndex(I));
        }
        FStoredName = Section;
        FState = ZqDefStored;
    };
    switch (FState) {
    case ZqDefNew: WriteLines(); break;
    case ZqDefModified:
        if (!FStoredName.empty())
            AIni.EraseSection(FStoredName);
        WriteLines();
        break;
    case ZqDefDeleted:
        if (!FStoredName.empty())
            AIni.EraseSection(FStoredName);
        if (FList)
            FList->Remove(this);
        break;
    case ZqDefStored:
        if (AFull)
            WriteLines();
        break;
    default: break;
    }
}

void TZqDefinition::Apply()
{
    if (FStyle != ZqDefPersistent || FState == ZqDefStored || !FList)
        return;
    auto Self = Hold(this);
    std::unique_ptr<rtl::TCustomIniFile> Ini = FList->FStorage->CreateIniFile();
    WriteTo(*Ini, false);
    Ini->UpdateFile();
}

void TZqDefinition::ReadFromIni(rtl::TCustomIniFile &AIni, const std::string &ASection)
{
    rtl::TStringList Lines;
    AIni.ReadSectionValues(ASection, Lines);
    FState = ZqDefLoading;
    {
        TParamsUpdate U(*this, true);
        FParams.Assign(Lines);
        FParams.SetValue("Name", ASection);
        Normalize();
    }
    FStyle = ZqDefPersistent;
    FStoredName = ASection;
    FState = ZqDefStored;
    FParentToResolve = true;
}

void TZqDefinition::Cancel()
{
    CheckChange();
    if (!FList)
        return;
    auto Self = Hold(this);
    if (FStyle == ZqDefPrivate || (FStyle == ZqDefPersistent && FState == ZqDefNew)) {
        FList->Remove(this);
    } else if (FStyle == ZqDefPersistent && (FState == ZqDefModified || FState == ZqDefDeleted)) {
        std::unique_ptr<rtl::TCustomIniFile> Ini = FList->FStorage->CreateIniFile();
        if (Ini->SectionExists(FStoredName)) {
            ReadFromIni(*Ini, FStoredName);
        } else {
            ++FInternalChange;
            FParams.SetValue("Name", FStoredName);
            --FInternalChange;
            FState = ZqDefStored;
        }
    }
}

void TZqDefinition::Delete()
{
    if (FAssociatedConnection && FForbidden.Contains(doDelete))
        ZqRaiseError(nullptr, CDefWords, 251, {"delete", GetName()});
    if (!FList)
        return;
    auto Self = Hold(this);
    if (FStyle == ZqDefPrivate || (FStyle == ZqDefPersistent && FState == ZqDefNew))
        FList->Remove(this);
    else if (FStyle == ZqDefPersistent)
        FState = ZqDefDeleted;
}

void TZqDefinition::ReadFrom(const TZqIntfPtr<IZqStanDefinition> &ASource, bool AOverwrite)
{
    if (!ASource || ASource.Get() == static_cast<IZqStanDefinition *>(this))
        return;
    rtl::TStringList Lines;
    Lines.Assign(ASource->GetParams());
    TParamsUpdate U(*this, false);
    for (int I = 0; I < Lines.Count(); ++I) {
        std::string V = Lines.ValueFromIndex(I);
        if (!V.empty() || AOverwrite)
            SetAsString(Lines.Names(I), V);
    }
}

bool TZqDefinition::HasValue(const std::string &AName) { return FParams.IndexOfName(AName) >= 0; }

bool TZqDefinition::IsSpecifiedLevel(const std::string &AName, int &ALevel)
{
    int Depth = 0;
    for (TZqDefinition *D = this; D; D = D->ResolvedParent(), ++Depth) {
        int I = D->FParams.IndexOfName(AName);
        if (I >= 0) {
            ALevel = Depth;
            return !rtl::Trim(D->FParams.ValueFromIndex(I)).empty();
        }
    }
    ALevel = INT_MAX;
    return false;
}

bool TZqDefinition::IsSpecified(const std::string &AName)
{
    int Level;
    return IsSpecifiedLevel(AName, Level);
}

void TZqDefinition::SetAssociatedConnection(const void *AConnection, TZqDefinitionOperations AOperations)
{
    if (!FAssociatedConnection) {
        if (!AOperations.Empty()) {
            FAssociatedConnection = AConnection;
            FForbidden = AOperations;
        }
    } else if (FAssociatedConnection == AConnection) {
        FForbidden = AOperations;
        if (AOperations.Empty())
            FAssociatedConnection = nullptr;
    } else {
        ZqRaiseError(nullptr, CDefWords, 251, {"change", GetName()});
    }
}

// ---- connection strings -------------------------------------------------------------

namespace {

// Splits a connection string into trimmed items. Quotes and a braced part
// protect delimiters; inside a braced part an open character is plain text
// and a doubled close character stands for one close character.
std::vector<std::string> SplitItems(const std::string &AText, const TZqSyntax &S)
{
    std::vector<std::string> Items;
    std::string Cur;
    bool InQuote = false, InBraces = false;
    for (size_t I = 0; I < AText.size(); ++I) {
        char C = AText[I];
        if (InBraces) {
            if (C == S.Close) {
                if (I + 1 < AText.size() && AText[I + 1] == S.Close) {
                    Cur += C;
                    ++I;
                } else {
                    InBraces = false;
                }
            }
        } else if (InQuote) {
            InQuote = C != S.Quote;
        } else if (S.Open && C == S.Open) {
            InBraces = true;
        } else if (S.Quote && C == S.Quote) {
            InQuote = true;
        } else if (C == S.Delimiter) {
            Items.push_back(rtl::Trim(Cur));
            Cur.clear();
            continue;
        }
        Cur += C;
    }
    if (!rtl::Trim(Cur).empty())
        Items.push_back(rtl::Trim(Cur));
    return Items;
}

bool NeedsBraces(const std::string &AValue)
{
    static const char *CSpecial = "!()*,;=?[]{}@";
    return AValue.find_first_of(CSpecial) != std::string::npos;
}

} // namespace

void TZqDefinition::ParseString(const std::string &AText, const rtl::TStrings *AKeywords, std::string &ARest)
{
    ParseStringSyntax(AText, AKeywords, ARest, ZqConnStrSyntax);
}

void TZqDefinition::ParseStringSyntax(const std::string &AText, const rtl::TStrings *AKeywords, std::string &ARest,
                                      const TZqSyntax &ASyntax)
{
    ARest.clear();
    TParamsUpdate U(*this, false);
    for (const std::string &Item : SplitItems(AText, ASyntax)) {
        size_t Eq = Item.find('=');
        std::string Name = rtl::Trim(Item.substr(0, Eq));
        std::string Value = Eq == std::string::npos ? "" : rtl::Trim(Item.substr(Eq + 1));
        if (AKeywords && AKeywords->Count() > 0) {
            bool Found = false;
            for (int K = 0; K < AKeywords->Count() && !Found; ++K) {
                const std::string &L = (*AKeywords)[K];
                size_t KEq = L.find('=');
                if (KEq != std::string::npos) {
                    if (SameName(L.substr(KEq + 1), Name)) {
                        Name = L.substr(0, KEq);
                        Found = true;
                    }
                } else if (SameName(L, Name)) {
                    Found = true;
                }
            }
            if (!Found) {
                if (!ARest.empty())
                    ARest += ASyntax.Delimiter;
                ARest += Item;
                continue;
            }
        }
        if (Name.empty())
            continue;
        if (Value.size() >= 2) {
            if (ASyntax.Quote && Value.front() == ASyntax.Quote && Value.back() == ASyntax.Quote) {
                Value = Value.substr(1, Value.size() - 2);
            } else if (ASyntax.Open && Value.front() == ASyntax.Open && Value.back() == ASyntax.Close) {
                std::string Inner = Value.substr(1, Value.size() - 2), Plain;
                for (size_t I = 0; I < Inner.size(); ++I) {
                    Plain += Inner[I];
                    if (Inner[I] == ASyntax.Close && I + 1 < Inner.size() && Inner[I + 1] == ASyntax.Close)
                        ++I;
                }
                Value = Plain;
            }
        }
        SetAsString(Name, Value);
    }
    NormalizeQuietly();
}

std::string TZqDefinition::BuildString(const rtl::TStrings *AKeywords)
{
    return BuildStringSyntax(AKeywords, ZqConnStrSyntax);
}

std::string TZqDefinition::BuildStringSyntax(const rtl::TStrings *AKeywords, const TZqSyntax &ASyntax)
{
    struct TLine {
        std::string Name;
        std::string Value;
        int Order;
    };
    std::vector<TLine> Lines;
    int Visit = 0;
    for (TZqDefinition *D = this; D; D = D->ResolvedParent()) {
        for (int I = 0; I < D->FParams.Count(); ++I) {
            TLine L{D->FParams.Names(I), ZqExpandVariables(rtl::Trim(D->FParams.ValueFromIndex(I))), Visit++};
            if (D != this && SameName(L.Name, "Name") && D->SettingsDefinition())
                continue;
            if (AKeywords && AKeywords->Count() > 0 && !L.Value.empty()) {
                bool Found = false;
                for (int K = 0; K < AKeywords->Count() && !Found; ++K) {
                    const std::string &KL = (*AKeywords)[K];
                    size_t KEq = KL.find('=');
                    if (KEq != std::string::npos ? SameName(KL.substr(0, KEq), L.Name) : SameName(KL, L.Name)) {
                        if (KEq != std::string::npos)
                            L.Name = KL.substr(KEq + 1);
                        L.Order = K;
                        Found = true;
                    }
                }
                if (!Found)
                    continue;
            }
            if (L.Name.empty() || L.Value.empty())
                continue;
            bool Seen = false;
            for (const TLine &E : Lines)
                Seen = Seen || SameName(E.Name, L.Name);
            if (!Seen)
                Lines.push_back(L);
        }
        if (D->ResolvedParent() == this)
            break;
    }
    std::stable_sort(Lines.begin(), Lines.end(), [](const TLine &A, const TLine &B) { return A.Order < B.Order; });
    std::string R;
    for (const TLine &L : Lines) {
        std::string V = L.Value;
        bool Enclosed = V.size() >= 2 && ((ASyntax.Open && V.front() == ASyntax.Open && V.back() == ASyntax.Close) ||
                                          (ASyntax.Quote && V.front() == ASyntax.Quote && V.back() == ASyntax.Quote));
        if (!Enclosed && ASyntax.Open && (NeedsBraces(V) || V.find(ASyntax.Delimiter) != std::string::npos)) {
            // A close character inside is doubled so that the value parses back to itself.
            std::string B(1, ASyntax.Open);
            for (char C : V) {
                B += C;
                if (C == ASyntax.Close)
                    B += C;
            }
            V = B + ASyntax.Close;
        }
        R += L.Name + "=" + V + ASyntax.Delimiter;
    }
    if (!R.empty())
        R.pop_back();
    return R;
}

// ---- TZqDefinitions ------------------------------------------------------------------

TZqDefinitions::TZqDefinitions() = default;

TZqDefinitions::~TZqDefinitions()
{
    for (auto &I : FItems)
        if (auto *D = dynamic_cast<TZqDefinition *>(I.Get()))
            D->FList = nullptr;
    if (auto *S = dynamic_cast<TZqDefinition *>(FSettings.Get()))
        S->FList = nullptr;
}

void TZqDefinitions::Initialize()
{
    ZqCreateInterface(FStorage, true);
}

void TZqDefinitions::CheckLoaded()
{
    if (FAutoLoad && FLoadState == 0)
        Load();
}

TZqDefinition *TZqDefinitions::Find(const std::string &AName, const TZqDefinition *AExcept)
{
    for (auto &I : FItems) {
        auto *D = dynamic_cast<TZqDefinition *>(I.Get());
        if (D != AExcept && SameName(D->GetName(), AName))
            return D;
    }
    auto *S = dynamic_cast<TZqDefinition *>(FSettings.Get());
    if (S && S != AExcept && SameName(S->GetName(), AName))
        return S;
    return nullptr;
}

std::string TZqDefinitions::UniqueName(const TZqDefinition *AItem)
{
    std::string Name = "Unnamed";
    for (int N = 1; Find(Name, AItem); ++N)
        Name = "Unnamed_" + std::to_string(N);
    return Name;
}

TZqDefinition *TZqDefinitions::AddItem()
{
    TZqDefinition *D = CreateItem();
    FItems.emplace_back(D);
    D->FList = this;
    D->FStyle = ZqDefPrivate;
    return D;
}

void TZqDefinitions::Remove(TZqDefinition *AItem)
{
    TWriteGuard G(*this);
    auto Unlink = [&](IZqStanDefinition *I) {
        auto *D = dynamic_cast<TZqDefinition *>(I);
        if (D && D->FParent.Get() == static_cast<IZqStanDefinition *>(AItem)) {
            D->FParent.Reset();
            D->FParentToResolve = true;
        }
    };
    for (auto &I : FItems)
        Unlink(I.Get());
    Unlink(FSettings.Get());
    AItem->FList = nullptr;
    AItem->FStyle = ZqDefStandalone;
    if (FSettings.Get() == static_cast<IZqStanDefinition *>(AItem))
        FSettings.Reset();
    auto It = std::find_if(FItems.begin(), FItems.end(),
                           [&](const auto &P) { return P.Get() == static_cast<IZqStanDefinition *>(AItem); });
    if (It != FItems.end())
        FItems.erase(It);
}

int TZqDefinitions::GetCount()
{
    CheckLoaded();
    TReadGuard G(*this);
    return int(FItems.size());
}

TZqIntfPtr<IZqStanDefinition> TZqDefinitions::GetItems(int AIndex)
{
    CheckLoaded();
    TReadGuard G(*this);
    return FItems.at(size_t(AIndex));
}

TZqIntfPtr<IZqStanDefinition> TZqDefinitions::Add()
{
    CheckLoaded();
    TWriteGuard G(*this);
    TZqDefinition *D = AddItem();
    D->Clear();
    return TZqIntfPtr<IZqStanDefinition>(D);
}

TZqIntfPtr<IZqStanDefinition> TZqDefinitions::CreateStandalone()
{
    return TZqIntfPtr<IZqStanDefinition>(CreateItem());
}

TZqIntfPtr<IZqStanDefinition> TZqDefinitions::FindDefinition(const std::string &AName)
{
    CheckLoaded();
    TReadGuard G(*this);
    return TZqIntfPtr<IZqStanDefinition>(Find(AName));
}

TZqIntfPtr<IZqStanDefinition> TZqDefinitions::DefinitionByName(const std::string &AName)
{
    TZqIntfPtr<IZqStanDefinition> D = FindDefinition(AName);
    if (!D)
        ZqRaiseError(nullptr, CDefWords, 254, {AName, FStorage->GetActualFileName()});
    return D;
}

void TZqDefinitions::Load()
{
    TWriteGuard G(*this);
    if (FLoadState != 0)
        ZqRaiseError(nullptr, CDefWords, 253, {});
    FLoadState = 1;
    try {
        if (FBeforeLoad)
            FBeforeLoad(this);
        std::string FileName = FStorage->GetActualFileName();
        std::error_code EC;
        if (FileName.empty() || !std::filesystem::is_regular_file(FileName, EC)) {
            FLoadState = 0;
            return;
        }
        std::unique_ptr<rtl::TCustomIniFile> Ini = FStorage->CreateIniFile();
        rtl::TStringList Sections;
        Ini->ReadSections(Sections);
        Sections.Sort();
        int S = Sections.IndexOf(CZqSettingsSection);
        if (S > 0)
            Sections.Move(S, 0);
        for (int I = 0; I < Sections.Count(); ++I) {
            TZqDefinition *D = AddItem();
            if (I == 0 && S >= 0) {
                FSettings = FItems.back();
                FItems.pop_back();
            }
            D->ReadFromIni(*Ini, Sections[I]);
        }
        if (FSettings)
            for (auto &I : FItems) {
                auto *D = dynamic_cast<TZqDefinition *>(I.Get());
                if (!D->FParent && rtl::Trim(D->FParams.Values("Parent")).empty() &&
                    rtl::Trim(D->FParams.Values("ConnectionDef")).empty())
                    D->SetParentDefinition(FSettings);
            }
        FLoadState = 2;
        if (FAfterLoad)
            FAfterLoad(this);
    } catch (...) {
        if (FLoadState == 1)
            FLoadState = 0;
        throw;
    }
}

void TZqDefinitions::Save()
{
    TWriteGuard G(*this);
    std::unique_ptr<rtl::TCustomIniFile> Ini = FStorage->CreateIniFile();
    std::vector<TZqIntfPtr<IZqStanDefinition>> All = FItems;
    if (FSettings)
        All.insert(All.begin(), FSettings);
    for (auto It = All.rbegin(); It != All.rend(); ++It)
        dynamic_cast<TZqDefinition *>(It->Get())->WriteTo(*Ini, true);
    Ini->UpdateFile();
}

void TZqDefinitions::Cancel()
{
    TWriteGuard G(*this);
    std::vector<TZqIntfPtr<IZqStanDefinition>> All = FItems;
    for (auto It = All.rbegin(); It != All.rend(); ++It)
        (*It)->Cancel();
}

void TZqDefinitions::Clear()
{
    TWriteGuard G(*this);
    for (auto &I : FItems)
        if (auto *D = dynamic_cast<TZqDefinition *>(I.Get()))
            D->FList = nullptr;
    if (auto *S = dynamic_cast<TZqDefinition *>(FSettings.Get()))
        S->FList = nullptr;
    FItems.clear();
    FSettings.Reset();
    FLoadState = 0;
}

void RegisterStanDef()
{
    ZqRegisterMultiInstance<TZqFileDefinitionStorage>(IID_IZqStanDefinitionStorage);
    ZqRegisterMultiInstance<TZqDefinition>(IID_IZqStanDefinition);
    ZqRegisterMultiInstance<TZqDefinitions>(IID_IZqStanDefinitions);
}
