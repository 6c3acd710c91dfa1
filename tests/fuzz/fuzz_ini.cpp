// The ini reader over any bytes: every section and key reads back, typed
// reads give a value or their default, and a written key survives a save
// and a fresh read.
#include "platform/rtl/Classes.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/TTextFileReader.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

#include <cstdlib>

int FuzzIni(const uint8_t *AData, size_t ASize)
{
    const std::string File = fuzz::WriteScratchFile("f.ini", fuzz::Text(AData, ASize));
    {
        rtl::TMemIniFile Ini(File);
        rtl::TStringList Sections;
        Ini.ReadSections(Sections);
        for (int S = 0; S < Sections.Count(); ++S) {
            rtl::TStringList Keys, Values;
            Ini.ReadSection(Sections[S], Keys);
            Ini.ReadSectionValues(Sections[S], Values);
            for (int K = 0; K < Keys.Count(); ++K) {
                (void)Ini.ReadString(Sections[S], Keys[K], "");
                (void)Ini.ReadInteger(Sections[S], Keys[K], 0);
                (void)Ini.ReadFloat(Sections[S], Keys[K], 0);
                (void)Ini.ReadBool(Sections[S], Keys[K], false);
                (void)Ini.ReadDateTime(Sections[S], Keys[K], 0);
            }
        }
        Ini.WriteString("Fuzz", "Key", "v");
        try {
            Ini.UpdateFile();
        } catch (const rtl::EInOutError &) {
            std::string Text; // only text with NUL bytes, which is no text, is refused
            if (!rtl::ReadTextFile(File, Text) || Text.find('\0') == std::string::npos)
                std::abort();
            return 0;
        }
    }
    rtl::TIniFile Again(File);
    if (Again.ReadString("fuzz", "key", "") != "v")
        std::abort(); // a key just written must read back
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzIni)
