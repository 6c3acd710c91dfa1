// Sets: the toolkit's small sets of enumeration values, kept in the bits
// of an integer (bit N for the value of ordinal N), as they are stored.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace rtl {

template <typename E, typename TStorage = uint32_t> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> Items)
    {
        for (E I : Items) FBits |= Bit(I);
    }
    static constexpr TSet FromBits(TStorage Bits) { TSet S; S.FBits = Bits; return S; }
    constexpr TStorage Bits() const { return FBits; }
    constexpr bool Contains(E Item) const { return (FBits & Bit(Item)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr TSet &Include(E Item) { FBits |= Bit(Item); return *this; }
    constexpr TSet &Exclude(E Item) { FBits &= TStorage(~Bit(Item)); return *this; }
    friend constexpr TSet operator+(TSet A, TSet B) { return FromBits(TStorage(A.FBits | B.FBits)); }
    friend constexpr TSet operator-(TSet A, TSet B) { return FromBits(TStorage(A.FBits & ~B.FBits)); }
    friend constexpr TSet operator*(TSet A, TSet B) { return FromBits(TStorage(A.FBits & B.FBits)); }
    friend constexpr bool operator==(TSet A, TSet B) { return A.FBits == B.FBits; }
    // A <= B: every member of A is in B.
    friend constexpr bool operator<=(TSet A, TSet B) { return (A.FBits & ~B.FBits) == 0; }

private:
    static constexpr TStorage Bit(E Item) { return TStorage(TStorage(1) << unsigned(Item)); }
    TStorage FBits = 0;
};

} // namespace rtl
