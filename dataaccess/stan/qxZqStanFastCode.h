// qxZqStanFastCode: the block move, block fill and case-insensitive name
// comparison that row storage and every name look-up (parameters, macros,
// columns, definitions) go through. They never allocate.
//
// The platform's own memmove/memset already use the widest instructions the
// processor has, so the move and the fill are those; the comparison folds
// only the letters a-z (to A-Z) and compares everything else by code.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

// Copies ACount bytes as if through a temporary (the ranges may overlap).
// ACount <= 0 does nothing.
inline void ZqMove(const void *ASource, void *ADest, ptrdiff_t ACount)
{
    if (ACount > 0) std::memmove(ADest, ASource, size_t(ACount));
}

// Sets ACount bytes to AValue. ACount <= 0 does nothing.
inline void ZqFill(void *ADest, ptrdiff_t ACount, unsigned char AValue)
{
    if (ACount > 0) std::memset(ADest, AValue, size_t(ACount));
}

// Negative, zero or positive: the difference of the first pair of
// characters that differ once a-z are folded to A-Z, else the difference of
// the lengths. Callers use only the sign.
int ZqCompareText(std::string_view S1, std::string_view S2) noexcept;
// A nil text compares as an empty one.
int ZqCompareText(const char *S1, const char *S2) noexcept;
