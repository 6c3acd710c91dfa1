// Connection strings: any text parses into a definition (with and without a
// keyword list, as the drivers pass theirs), and the string the definition
// builds from it parses again.
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanInit.h"
#include "platform/rtl/Classes.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

#include <cstdlib>

namespace {

TZqIntfPtr<IZqStanConnectionDef> NewDefinition()
{
    static const bool Started = [] {
        ZqStanInitialize();
        return true;
    }();
    (void)Started;
    TZqIntfPtr<IZqStanConnectionDef> D;
    ZqCreateInterface(D);
    return D;
}

} // namespace

int FuzzConnectionString(const uint8_t *AData, size_t ASize)
{
    const std::string Text(fuzz::Text(AData, ASize));
    rtl::TStringList Keys;
    Keys.Add("Database=DBQ");
    Keys.Add("DriverID");
    Keys.Add("User_Name=UID");
    for (const rtl::TStrings *K : {static_cast<const rtl::TStrings *>(nullptr), static_cast<const rtl::TStrings *>(&Keys)}) {
        TZqIntfPtr<IZqStanConnectionDef> D = NewDefinition();
        std::string Rest;
        try {
            D->ParseString(Text, K, Rest);
        } catch (const rtl::Exception &) {
            continue;
        }
        const std::string Built = D->BuildString(nullptr);
        TZqIntfPtr<IZqStanConnectionDef> Back = NewDefinition();
        try {
            Back->ParseString(Built, nullptr, Rest);
        } catch (const rtl::Exception &) {
            std::abort(); // what the definition writes it must read
        }
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzConnectionString)
