// UTF-8 decoding and encoding, and text compared without regard to case.
#include "platform/accessodbc/JetText.h"

#include <algorithm>

namespace jet {

namespace {

// One code point of three or four bytes, or a malformed sequence, at AAt.
char32_t ReadLongCodePoint(const unsigned char *&AAt, const unsigned char *AEnd)
{
    const unsigned C = *AAt;
    char32_t Cp;
    size_t L;
    if ((C >> 5) == 6) { Cp = C & 0x1F; L = 2; }
    else if ((C >> 4) == 14) { Cp = C & 0x0F; L = 3; }
    else if ((C >> 3) == 30) { Cp = C & 0x07; L = 4; }
    else { ++AAt; return 0xFFFD; }
    for (size_t k = 1; k < L; ++k) {
        if (AAt + k >= AEnd || (AAt[k] & 0xC0) != 0x80) {
            AAt += k;
            return 0xFFFD;
        }
        Cp = (Cp << 6) | (AAt[k] & 0x3F);
    }
    AAt += L;
    return Cp;
}

// One code point at AAt, which moves past it. Inline for the one and two
// byte sequences of the alphabets compared letter by letter below.
inline char32_t ReadCodePoint(const unsigned char *&AAt, const unsigned char *AEnd)
{
    const unsigned C = *AAt;
    if (C < 0x80) {
        ++AAt;
        return C;
    }
    if ((C >> 5) == 6 && AAt + 1 < AEnd && (AAt[1] & 0xC0) == 0x80) {
        const char32_t Cp = ((C & 0x1F) << 6) | (AAt[1] & 0x3F);
        AAt += 2;
        return Cp;
    }
    return ReadLongCodePoint(AAt, AEnd);
}

// Simple one-to-one case folding, each capital to its small letter, of the
// alphabets the station databases of this system hold their names in:
// Latin (ASCII, Latin-1 Supplement, Latin Extended-A: the Western and
// Central European and Turkish letters), Greek, and Cyrillic with the
// letters of Ukrainian (Ґ, Є, І, Ї), Belarusian, Serbian, Macedonian and
// Bulgarian. Within these blocks it is Unicode's lower-case mapping, with
// two exceptions: final sigma folds to sigma, as capital Sigma stands for
// both, and capital I with dot (U+0130) stays, for its small letter is the
// ASCII i. ASCII letters so fold only among themselves (dotless i and long
// s keep their own code points as well), and a text of ASCII orders exactly
// as SQLite's NOCASE orders it. Other scripts compare as written; full
// folding (ß to "ss") would change a text's length under LIKE's _.
constexpr char32_t FoldedRange = 0x530;
struct TFolds {
    char16_t Of[FoldedRange] = {};
    constexpr void Pairs(char32_t AFrom, char32_t ATo) // capital at even or odd code points, small one after
    {
        for (char32_t C = AFrom; C <= ATo; C += 2)
            Of[C] = static_cast<char16_t>(C + 1);
    }
    constexpr void Shift(char32_t AFrom, char32_t ATo, char32_t ABy)
    {
        for (char32_t C = AFrom; C <= ATo; ++C)
            Of[C] = static_cast<char16_t>(C + ABy);
    }
    constexpr TFolds()
    {
        for (char32_t C = 0; C < FoldedRange; ++C)
            Of[C] = static_cast<char16_t>(C);
        Shift('A', 'Z', 0x20);
        Shift(0xC0, 0xD6, 0x20); // not × (U+00D7)
        Shift(0xD8, 0xDE, 0x20);
        Pairs(0x100, 0x12E);
        Pairs(0x132, 0x136);
        Pairs(0x139, 0x147);
        Pairs(0x14A, 0x176);
        Of[0x178] = 0xFF;
        Pairs(0x179, 0x17D);
        // Greek
        Pairs(0x370, 0x372);
        Pairs(0x376, 0x376);
        Of[0x37F] = 0x3F3;
        Of[0x386] = 0x3AC;
        Shift(0x388, 0x38A, 0x25);
        Of[0x38C] = 0x3CC;
        Shift(0x38E, 0x38F, 0x3F);
        Shift(0x391, 0x3A1, 0x20);
        Shift(0x3A3, 0x3AB, 0x20);
        Of[0x3C2] = 0x3C3;
        Of[0x3CF] = 0x3D7;
        Pairs(0x3D8, 0x3EE);
        Of[0x3F4] = 0x3B8;
        Of[0x3F7] = 0x3F8;
        Of[0x3F9] = 0x3F2;
        Of[0x3FA] = 0x3FB;
        Of[0x3FD] = 0x37B;
        Of[0x3FE] = 0x37C;
        Of[0x3FF] = 0x37D;
        // Cyrillic and Cyrillic Supplement
        Shift(0x400, 0x40F, 0x50);
        Shift(0x410, 0x42F, 0x20);
        Pairs(0x460, 0x480);
        Pairs(0x48A, 0x4BE);
        Of[0x4C0] = 0x4CF;
        Pairs(0x4C1, 0x4CD);
        Pairs(0x4D0, 0x52E);
    }
};
constexpr TFolds Folds;

inline char32_t Fold(char32_t C) { return C < FoldedRange ? Folds.Of[C] : C; }

} // namespace

std::u32string DecodeUtf8(const char *AText, size_t N)
{
    std::u32string R;
    R.reserve(N);
    const auto *U = reinterpret_cast<const unsigned char *>(AText);
    for (const unsigned char *P = U; P < U + N;)
        R.push_back(ReadCodePoint(P, U + N));
    return R;
}

std::u16string Utf8ToUtf16(const char *AText, size_t N, size_t AMaxUnits, size_t &ATotalUnits)
{
    std::u16string R;
    R.reserve(std::min(N, AMaxUnits));
    ATotalUnits = 0;
    const auto *U = reinterpret_cast<const unsigned char *>(AText);
    for (const unsigned char *P = U; P < U + N;) {
        const char32_t Cp = ReadCodePoint(P, U + N);
        const size_t Units = Cp >= 0x10000 ? 2 : 1;
        if (ATotalUnits + Units <= AMaxUnits) {
            if (Units == 2) {
                R.push_back(static_cast<char16_t>(0xD800 + ((Cp - 0x10000) >> 10)));
                R.push_back(static_cast<char16_t>(0xDC00 + ((Cp - 0x10000) & 0x3FF)));
            } else {
                R.push_back(static_cast<char16_t>(Cp));
            }
        }
        ATotalUnits += Units;
    }
    return R;
}

void AppendUtf8(std::string &R, char32_t Cp)
{
    if (Cp < 0x80) {
        R += static_cast<char>(Cp);
    } else if (Cp < 0x800) {
        R += static_cast<char>(0xC0 | (Cp >> 6));
        R += static_cast<char>(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
        R += static_cast<char>(0xE0 | (Cp >> 12));
        R += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        R += static_cast<char>(0x80 | (Cp & 0x3F));
    } else {
        R += static_cast<char>(0xF0 | (Cp >> 18));
        R += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
        R += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        R += static_cast<char>(0x80 | (Cp & 0x3F));
    }
}

int CompareFolded(const char *A, size_t AN, const char *B, size_t BN)
{
    const auto *P = reinterpret_cast<const unsigned char *>(A), *PEnd = P + AN;
    const auto *Q = reinterpret_cast<const unsigned char *>(B), *QEnd = Q + BN;
    // Equal bytes are equal characters: a sort compares names that share
    // a long prefix ("Станция 1..."). The comparison goes on from the start
    // of the character where they part, a byte that is no continuation byte
    // in either text (no sequence reaches across one).
    while (P < PEnd && Q < QEnd && *P == *Q)
        ++P, ++Q;
    const auto Continues = [](const unsigned char *X, const unsigned char *XEnd) { return X < XEnd && (*X & 0xC0) == 0x80; };
    while (P > reinterpret_cast<const unsigned char *>(A) && (Continues(P, PEnd) || Continues(Q, QEnd)))
        --P, --Q;
    while (P < PEnd && Q < QEnd) {
        char32_t X, Y;
        if ((*P | *Q) < 0x80) {
            X = Folds.Of[*P++];
            Y = Folds.Of[*Q++];
        } else {
            X = Fold(ReadCodePoint(P, PEnd));
            Y = Fold(ReadCodePoint(Q, QEnd));
        }
        if (X != Y)
            return X < Y ? -1 : 1;
    }
    return (P < PEnd) - (Q < QEnd);
}

// Left to right; a mismatch after a % lets that % take one more character
// of the text and tries again from there. The last % is the only one that
// needs to be retried, so the match takes no recursion.
bool LikeFolded(const char *APattern, size_t APatternBytes, const char *AText, size_t ATextBytes, char32_t AEscape)
{
    const auto *P = reinterpret_cast<const unsigned char *>(APattern), *PEnd = P + APatternBytes;
    const auto *S = reinterpret_cast<const unsigned char *>(AText), *SEnd = S + ATextBytes;
    const unsigned char *StarP = nullptr, *StarS = nullptr;
    char32_t StarNext = 0; // the folded literal after the last %, 0 when a wildcard or nothing follows it
    while (true) {
        if (P < PEnd) {
            const unsigned char *Q = P;
            char32_t C = ReadCodePoint(Q, PEnd);
            if (C == '%') {
                if (Q == PEnd)
                    return true; // the rest of the text, whatever it is
                P = StarP = Q;
                StarS = S;
                const unsigned char *N = Q;
                const char32_t Next = ReadCodePoint(N, PEnd);
                StarNext = Next == '%' || Next == '_' || (AEscape && Next == AEscape) ? 0 : Fold(Next);
                continue;
            }
            if (S < SEnd) {
                bool Any = false;
                if (AEscape && C == AEscape) {
                    if (Q == PEnd)
                        return false;
                    C = ReadCodePoint(Q, PEnd);
                } else {
                    Any = C == '_';
                }
                const unsigned char *T = S;
                const char32_t D = ReadCodePoint(T, SEnd);
                if (Any || Fold(C) == Fold(D)) {
                    P = Q;
                    S = T;
                    continue;
                }
            }
        } else if (S == SEnd) {
            return true;
        }
        if (!StarP || StarS == SEnd)
            return false;
        // The % takes one more character, and then every one up to where
        // the literal after it could match.
        ReadCodePoint(StarS, SEnd);
        if (StarNext)
            for (const unsigned char *T = StarS; StarS < SEnd && Fold(ReadCodePoint(T, SEnd)) != StarNext; StarS = T)
                ;
        P = StarP;
        S = StarS;
    }
}

} // namespace jet
