#pragma once
// A set of the values of a small enumeration, bit n standing for the value of ordinal n.
#include <cstdint>
#include <initializer_list>

namespace rtl {

template <class E, class Bits = uint32_t> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> values) {
        for (E v : values) bits_ |= Bit(v);
    }
    static constexpr TSet FromBits(Bits b) {
        TSet s;
        s.bits_ = b;
        return s;
    }

    constexpr bool Contains(E v) const { return bits_ & Bit(v); }
    constexpr TSet& Include(E v) {
        bits_ |= Bit(v);
        return *this;
    }
    constexpr TSet& Exclude(E v) {
        bits_ &= ~Bit(v);
        return *this;
    }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr Bits ToBits() const { return bits_; }

    friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
    friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.bits_ & ~b.bits_); }
    friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }
    friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }

private:
    static constexpr Bits Bit(E v) { return static_cast<Bits>(Bits(1) << static_cast<unsigned>(v)); }
    Bits bits_ = 0;
};

} // namespace rtl
