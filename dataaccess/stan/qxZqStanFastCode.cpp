// qxZqStanFastCode: the case-insensitive comparison.
#include "dataaccess/stan/qxZqStanFastCode.h"

#include <cstdint>

namespace {

inline unsigned char Fold(unsigned char C) { return (C >= 'a' && C <= 'z') ? C - 32 : C; }

// Bytes of a word that are lower-case letters get bit 5 cleared: a-z are
// exactly the bytes 0x61..0x7A.
inline uint64_t FoldWord(uint64_t W)
{
    const uint64_t Ones = 0x0101010101010101ull;
    const uint64_t High = 0x8080808080808080ull;
    // For bytes below 0x80: (b + (0x80 - 0x61)) has bit 7 set when b >= 0x61,
    // (b + (0x80 - 0x7B)) has bit 7 set when b >= 0x7B.
    uint64_t Ascii = ~W & High;
    uint64_t GeA = (W & ~High) + Ones * (0x80 - 0x61);
    uint64_t GtZ = (W & ~High) + Ones * (0x80 - 0x7B);
    uint64_t IsLower = GeA & ~GtZ & Ascii & High;
    return W & ~(IsLower >> 2);
}

} // namespace

int ZqCompareText(std::string_view S1, std::string_view S2) noexcept
{
    const size_t N = S1.size() < S2.size() ? S1.size() : S2.size();
    const unsigned char *A = reinterpret_cast<const unsigned char *>(S1.data());
    const unsigned char *B = reinterpret_cast<const unsigned char *>(S2.data());
    size_t I = 0;
    // Names looked up in a list mostly differ in their first character.
    if (N > 0) {
        int D = int(Fold(A[0])) - int(Fold(B[0]));
        if (D != 0) return D;
    }
    // Eight characters at a time while the folded words agree.
    for (; I + 8 <= N; I += 8) {
        uint64_t WA, WB;
        std::memcpy(&WA, A + I, 8);
        std::memcpy(&WB, B + I, 8);
        if (WA != WB && FoldWord(WA) != FoldWord(WB)) break;
    }
    for (; I < N; ++I) {
        int D = int(Fold(A[I])) - int(Fold(B[I]));
        if (D != 0) return D;
    }
    return int(S1.size()) - int(S2.size());
}

int ZqCompareText(const char *S1, const char *S2) noexcept
{
    return ZqCompareText(std::string_view(S1 ? S1 : ""), std::string_view(S2 ? S2 : ""));
}
