// Fixed-seed fuzz runs of the runtime's text readers: ini files, number,
// date and decimal texts, Format and delimited texts. Each input must give
// an answer or a clean EConvertError, never a crash or a hang.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include "platform/rtl/FMTBcd.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/IniFiles.h"

using namespace rtl;

namespace {

std::string RandomText(std::mt19937 &G, const std::string &Alphabet, size_t MaxLen)
{
    std::uniform_int_distribution<size_t> Len(0, MaxLen), Pick(0, Alphabet.size() - 1);
    std::string S(Len(G), ' ');
    for (char &C : S) C = Alphabet[Pick(G)];
    return S;
}

} // namespace

TEST(RuntimeFuzz, IniFilesSurviveAnyBytesAndRoundTrip)
{
    std::mt19937 G(20261207);
    auto Dir = std::filesystem::temp_directory_path() / ("rtl_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    std::string File = (Dir / "f.ini").string();
    const std::string Alpha = "[]=;#ab \r\n\t\"'\x01\xff";
    for (int I = 0; I < 300; ++I) {
        std::string Text = RandomText(G, Alpha, 200);
        { std::ofstream(File, std::ios::binary) << Text; }
        TMemIniFile Ini(File);
        TStringList Sections;
        Ini.ReadSections(Sections);
        for (int S = 0; S < Sections.Count(); ++S) {
            TStringList Keys;
            Ini.ReadSection(Sections[S], Keys);
            for (int K = 0; K < Keys.Count(); ++K) (void)Ini.ReadString(Sections[S], Keys[K], "");
        }
        Ini.WriteString("Fuzz", "Key", "v");
        Ini.UpdateFile();
        TMemIniFile Again(File);
        EXPECT_EQ(Again.ReadString("fuzz", "key", ""), "v") << I;
    }
    std::filesystem::remove_all(Dir);
}

TEST(RuntimeFuzz, NumberDateAndDecimalTexts)
{
    std::mt19937 G(7);
    const std::string Alpha = "0123456789.,-+eE :/ APMapm$x";
    for (int I = 0; I < 3000; ++I) {
        std::string S = RandomText(G, Alpha, 24);
        double D;
        if (TryStrToFloat(S, D)) {
            // What it accepts it reads back the same way from its own text.
            double Back;
            ASSERT_TRUE(TryStrToFloat(FloatToStr(D), Back)) << S;
            EXPECT_NEAR(Back, D, std::fabs(D) * 1e-14) << S;
        }
        TDateTime T;
        if (TryStrToDateTime(S, T)) {
            TDateTime Back;
            ASSERT_TRUE(TryStrToDateTime(FormatDateTime("MM/dd/yyyy hh:nn:ss.zzz", T), Back)) << S;
        }
        int64_t N;
        (void)TryStrToInt64(S, N);
        TBcd B;
        if (TryStrToBcd(S, B)) (void)BcdToStr(B);
        Currency C;
        (void)TryStrToCurr(S, C);
    }
}

TEST(RuntimeFuzz, FormatAndDelimitedTextsNeverFail)
{
    std::mt19937 G(11);
    const std::string Alpha = "%sdfgexn*:.-0123456789 ab\"',";
    for (int I = 0; I < 3000; ++I) {
        std::string F = RandomText(G, Alpha, 20);
        EXPECT_NO_THROW((void)Format(F, {Variant("x"), Variant(3), Variant(2.5), Null()})) << F;
        TStringList L;
        L.SetCommaText(F);
        TStringList R;
        R.SetCommaText(L.CommaText());
        EXPECT_TRUE(R.Equals(L)) << F;
    }
}
