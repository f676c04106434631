// A small set of enumeration values held as bits, for option and attribute sets: bit n stands
// for the enumerator of value n.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace cairn {

template <class E, class TBits = uint8_t>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E e : members) Include(e);
  }

  static constexpr TSet FromBits(TBits bits) {
    TSet s;
    s.FBits = bits;
    return s;
  }
  constexpr TBits Bits() const { return FBits; }

  constexpr bool Contains(E e) const { return (FBits & Mask(e)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TSet& Include(E e) {
    FBits = static_cast<TBits>(FBits | Mask(e));
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    FBits = static_cast<TBits>(FBits & ~Mask(e));
    return *this;
  }

  friend constexpr bool operator==(TSet a, TSet b) { return a.FBits == b.FBits; }
  friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(a.FBits | b.FBits); }
  friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.FBits & ~b.FBits); }

 private:
  static constexpr TBits Mask(E e) { return static_cast<TBits>(TBits{1} << static_cast<int>(e)); }

  TBits FBits = 0;
};

}  // namespace cairn
