// Format: the type-checked, never-failing formatting routine.
#include "platform/rtl/Format.h"

#include "platform/rtl/CLocaleText.h"

#include <cmath>
#include <cstdio>

namespace rtl {

namespace {

std::string PadTo(std::string S, int Width, bool Left)
{
    if (Width > 0 && int(S.size()) < Width) {
        if (Left) S.append(size_t(Width - int(S.size())), ' ');
        else S.insert(0, size_t(Width - int(S.size())), ' ');
    }
    return S;
}

bool ArgInteger(const Variant &V, int64_t &I)
{
    if (V.IsOrdinal()) {
        I = V.VType() == varUInt64 ? int64_t(V.AsUInt64()) : V.AsInt64();
        return true;
    }
    if (V.IsStr()) return TryStrToInt64(V.AsString(), I);
    return false;
}

bool ArgFloat(const Variant &V, double &D)
{
    if (V.IsNumeric() || V.VType() == varDate) {
        try {
            D = V.AsDouble();
            return true;
        } catch (const Exception &) {
            return false;
        }
    }
    if (V.IsStr()) return TryStrToFloat(V.AsString(), D);
    return false;
}

std::string ArgText(const Variant &V)
{
    try {
        return VarToStr(V);
    } catch (const Exception &) {
        return VarTypeAsText(V.VType());
    }
}

std::string ExponentText(double D, int Prec)
{
    // The toolkit writes "%e" with at least three exponent digits.
    if (Prec < 1 || Prec > 18) Prec = 15;
    std::string S = CFloatText(D, 'E', Prec - 1);
    size_t E = S.find('E');
    if (E == std::string::npos) return S;
    size_t Dot = S.find('.');
    if (Dot != std::string::npos) S[Dot] = FormatSettings.DecimalSeparator;
    char Sign = S[E + 1];
    std::string Digits = S.substr(E + 2);
    while (Digits.size() < 3) Digits.insert(0, "0");
    return S.substr(0, E) + "E" + Sign + Digits;
}

} // namespace

std::string Format(std::string_view Fmt, const std::vector<Variant> &Args)
{
    std::string R;
    R.reserve(Fmt.size() + 16);
    size_t ArgIdx = 0;
    size_t I = 0;
    while (I < Fmt.size()) {
        char C = Fmt[I];
        if (C != '%') {
            R += C;
            ++I;
            continue;
        }
        size_t Start = I++;
        if (I < Fmt.size() && Fmt[I] == '%') {
            R += '%';
            ++I;
            continue;
        }
        // Parse [index ":"] ["-"] [width] ["." prec] type.
        auto Number = [&](int &Out) -> bool {
            if (I < Fmt.size() && Fmt[I] == '*') {
                ++I;
                int64_t V = 0;
                if (ArgIdx < Args.size() && ArgInteger(Args[ArgIdx], V)) {
                    Out = int(V);
                    ++ArgIdx;
                    return true;
                }
                return false;
            }
            bool Any = false;
            Out = 0;
            while (I < Fmt.size() && Fmt[I] >= '0' && Fmt[I] <= '9') {
                if (Out < 100000) Out = Out * 10 + (Fmt[I] - '0');
                ++I;
                Any = true;
            }
            return Any;
        };
        bool Ok = true;
        int N = -1;
        size_t Save = I;
        if (I < Fmt.size() && Fmt[I] != '*' && Number(N) && I < Fmt.size() && Fmt[I] == ':') {
            ArgIdx = size_t(N);
            ++I;
        } else {
            I = Save;
        }
        bool Left = false;
        if (I < Fmt.size() && Fmt[I] == '-') {
            Left = true;
            ++I;
        }
        int Width = -1, Prec = -1;
        if (!Number(Width) && I < Fmt.size() && Fmt[I] == '*') Ok = false;
        if (I < Fmt.size() && Fmt[I] == '.') {
            ++I;
            if (!Number(Prec)) Prec = -1;
        }
        if (!Ok || I >= Fmt.size()) {
            R.append(Fmt.substr(Start, I - Start));
            continue;
        }
        char T = char(Fmt[I] | 0x20);
        ++I;
        if (std::string_view("diuefgnmpsx").find(T) == std::string_view::npos || ArgIdx >= Args.size()) {
            // Unknown letter or no argument left: keep the specifier visible.
            R.append(Fmt.substr(Start, I - Start));
            continue;
        }
        const Variant &A = Args[ArgIdx++];
        std::string Out;
        int64_t IV;
        double DV;
        switch (T) {
        case 'd': case 'i': case 'u':
            if (ArgInteger(A, IV)) {
                if (T == 'u' && IV < 0) IV = int64_t(uint32_t(IV));
                Out = std::to_string(IV < 0 ? -IV : IV);
                if (Prec > 0 && int(Out.size()) < Prec) Out.insert(0, size_t(Prec - int(Out.size())), '0');
                if (IV < 0) Out.insert(0, "-");
            } else {
                Out = ArgText(A);
            }
            break;
        case 'x':
            if (ArgInteger(A, IV)) {
                Out = IntToHex(uint64_t(IV) & (IV < 0 && IV >= INT32_MIN ? 0xFFFFFFFFull : ~0ull), Prec > 0 ? Prec : 0);
            } else {
                Out = ArgText(A);
            }
            break;
        case 'p':
            Out = ArgInteger(A, IV) ? IntToHex(uint64_t(IV), 8) : ArgText(A);
            break;
        case 'e':
            Out = ArgFloat(A, DV) ? ExponentText(DV, Prec) : ArgText(A);
            break;
        case 'f':
            Out = ArgFloat(A, DV) ? FloatToStrF(DV, ffFixed, 18, Prec < 0 ? 2 : Prec) : ArgText(A);
            break;
        case 'g':
            Out = ArgFloat(A, DV) ? FloatToStrF(DV, ffGeneral, Prec < 0 ? 15 : Prec, 3) : ArgText(A);
            break;
        case 'n':
            Out = ArgFloat(A, DV) ? FloatToStrF(DV, ffNumber, 18, Prec < 0 ? 2 : Prec) : ArgText(A);
            break;
        case 'm':
            Out = ArgFloat(A, DV) ? FloatToStrF(DV, ffCurrency, 18, Prec < 0 ? 2 : Prec) : ArgText(A);
            break;
        case 's':
            Out = ArgText(A);
            if (Prec >= 0 && int(Out.size()) > Prec) Out.resize(size_t(Prec));
            break;
        }
        R += PadTo(std::move(Out), Width, Left);
    }
    return R;
}

std::string Format(std::string_view Fmt, std::initializer_list<Variant> Args)
{
    return Format(Fmt, std::vector<Variant>(Args));
}

} // namespace rtl
