// UTF-8 decoding and encoding.
#include "platform/accessodbc/JetText.h"

namespace jet {

std::u32string DecodeUtf8(const char *AText, size_t N)
{
    std::u32string R;
    R.reserve(N);
    const auto *U = reinterpret_cast<const unsigned char *>(AText);
    for (size_t i = 0; i < N;) {
        const unsigned C = U[i];
        char32_t Cp;
        size_t L;
        if (C < 0x80) { Cp = C; L = 1; }
        else if ((C >> 5) == 6) { Cp = C & 0x1F; L = 2; }
        else if ((C >> 4) == 14) { Cp = C & 0x0F; L = 3; }
        else if ((C >> 3) == 30) { Cp = C & 0x07; L = 4; }
        else { Cp = 0xFFFD; L = 1; }
        for (size_t k = 1; k < L; ++k) {
            if (i + k >= N || (U[i + k] & 0xC0) != 0x80) {
                Cp = 0xFFFD;
                L = k;
                break;
            }
            Cp = (Cp << 6) | (U[i + k] & 0x3F);
        }
        i += L;
        R.push_back(Cp);
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

} // namespace jet
