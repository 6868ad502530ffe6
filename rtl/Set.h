#pragma once
// A set of the values of a small enumeration, bit n standing for the value of ordinal n.
#include <cstdint>
#include <initializer_list>

namespace rtl {

/// A set of values of E held in the bits of Bits.
template <class E, class Bits = uint32_t> class TSet {
  public:
    /// The empty set.
    constexpr TSet() = default;
    /// The set of values.
    constexpr TSet(std::initializer_list<E> values) {
        for (E v : values)
            bits_ |= Bit(v);
    }
    /// The set whose bits are b.
    static constexpr TSet FromBits(Bits b) {
        TSet s;
        s.bits_ = b;
        return s;
    }

    /// True when v is in the set.
    constexpr bool Contains(E v) const { return bits_ & Bit(v); }
    /// Adds v.
    constexpr TSet& Include(E v) {
        bits_ |= Bit(v);
        return *this;
    }
    /// Removes v.
    constexpr TSet& Exclude(E v) {
        bits_ &= ~Bit(v);
        return *this;
    }
    /// True for the empty set.
    constexpr bool Empty() const { return bits_ == 0; }
    /// The set's bits.
    constexpr Bits ToBits() const { return bits_; }

    /// The union.
    friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
    /// The values of a not in b.
    friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.bits_ & ~b.bits_); }
    /// The intersection.
    friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }
    /// True when both hold the same values.
    friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }

  private:
    static constexpr Bits Bit(E v) {
        return static_cast<Bits>(Bits(1) << static_cast<unsigned>(v));
    }
    Bits bits_ = 0;
};

} // namespace rtl
