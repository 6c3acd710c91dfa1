// qxZqStanConnDef: typed keys of connection definitions, option values kept
// as definition lines, and the connection definition list.
#include "dataaccess/stan/qxZqStanConnDef.h"

#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"

std::string TZqConnectionDef::GetUserName()
{
    // The nearer of the two keys wins; "User name" on a tie.
    int LevelNew = 0, LevelOld = 0;
    bool New = IsSpecifiedLevel("User_Name", LevelNew);
    bool Old = IsSpecifiedLevel("User name", LevelOld);
    if (Old && (!New || LevelOld <= LevelNew))
        return GetAsString("User name");
    if (New)
        return GetAsString("User_Name");
    return "";
}

std::string TZqConnectionDef::GetExpandedDatabase() { return ZqExpandVariables(GetDatabase()); }

void TZqConnectionDef::MarkPersistent()
{
    if (GetDriverID().empty())
        ZqRaiseError(nullptr, {"Stan", "Def"}, 252, {});
    TZqDefinition::MarkPersistent();
}

void TZqConnectionDef::ReadOptions(TZqFetchOptions *AFetch, TZqFormatOptions *AFormat, TZqUpdateOptions *AUpdate,
                                   TZqResourceOptions *AResource)
{
    // The farthest holder's lines are applied first, so a definition's own
    // value wins over its parents' values for the same option.
    rtl::TStringList Lines;
    int Depth = 0;
    for (TZqDefinition *D = this; D && Depth < 10000; D = D->ResolvedParent(), ++Depth) {
        const rtl::TStrings &P = D->GetParams();
        for (int I = P.Count() - 1; I >= 0; --I) {
            std::string L = rtl::LowerCase(P.Names(I));
            if (L.rfind("fetchoptions.", 0) == 0 || L.rfind("formatoptions.", 0) == 0 ||
                L.rfind("updateoptions.", 0) == 0 || L.rfind("resourceoptions.", 0) == 0)
                Lines.Insert(0, P[I]);
        }
    }
    ZqReadOptionLines(Lines, AFetch, AFormat, AUpdate, AResource);
}

void TZqConnectionDef::WriteOptions(TZqFetchOptions *AFetch, TZqFormatOptions *AFormat, TZqUpdateOptions *AUpdate,
                                    TZqResourceOptions *AResource)
{
    rtl::TStringList Lines;
    ZqWriteOptionLines(AFetch, AFormat, AUpdate, AResource, Lines);
    rtl::TStrings &P = GetParams();
    P.BeginUpdate();
    try {
        for (const char *Whole : {"FetchOptions", "FormatOptions", "UpdateOptions", "ResourceOptions"}) {
            int I;
            while ((I = P.IndexOfName(Whole)) >= 0)
                P.Delete(I);
        }
        // A later value of the same option replaces the earlier line, so a
        // reader of the definition sees the value just written.
        for (int I = 0; I < Lines.Count(); ++I)
            P.SetValue(Lines.Names(I), Lines.ValueFromIndex(I));
    } catch (...) {
        P.EndUpdate();
        throw;
    }
    P.EndUpdate();
}

// ---- TZqConnectionDefs -----------------------------------------------------------------

void TZqConnectionDefs::Initialize()
{
    TZqDefinitions::Initialize();
    GetStorage()->SetDefaultFileName("ZqConnectionDefs.ini");
    GetStorage()->SetGlobalFileName(ZqReadRegistryValue("ConnectionDefFile"));
}

TZqIntfPtr<IZqStanConnectionDef> TZqConnectionDefs::GetConnectionDefs(int AIndex)
{
    return TZqIntfPtr<IZqStanConnectionDef>::Query(GetItems(AIndex));
}

TZqIntfPtr<IZqStanConnectionDef> TZqConnectionDefs::AddConnectionDef()
{
    return TZqIntfPtr<IZqStanConnectionDef>::Query(Add());
}

TZqIntfPtr<IZqStanConnectionDef> TZqConnectionDefs::FindConnectionDef(const std::string &AName)
{
    return TZqIntfPtr<IZqStanConnectionDef>::Query(FindDefinition(AName));
}

TZqIntfPtr<IZqStanConnectionDef> TZqConnectionDefs::ConnectionDefByName(const std::string &AName)
{
    return TZqIntfPtr<IZqStanConnectionDef>::Query(DefinitionByName(AName));
}

void RegisterStanConnDef()
{
    ZqRegisterMultiInstance<TZqConnectionDef>(IID_IZqStanConnectionDef);
    ZqRegisterMultiInstance<TZqConnectionDefs>(IID_IZqStanConnectionDefs);
}
