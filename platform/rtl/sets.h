// TSet: a set of the members of an enumeration, the host's "set of" type.
//
// The enumeration's members must be small non-negative values (below 64); the set is one
// 64-bit word, so it is cheap to copy and compare.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace host {

template <class E>
class TSet {
  static_assert(std::is_enum_v<E>, "TSet holds members of an enumeration");

 public:
  constexpr TSet() noexcept = default;
  constexpr TSet(std::initializer_list<E> members) noexcept {
    for (E m : members) FBits |= Bit(m);
  }

  constexpr bool Contains(E m) const noexcept { return (FBits & Bit(m)) != 0; }
  constexpr bool Empty() const noexcept { return FBits == 0; }
  constexpr TSet& Include(E m) noexcept {
    FBits |= Bit(m);
    return *this;
  }
  constexpr TSet& Exclude(E m) noexcept {
    FBits &= ~Bit(m);
    return *this;
  }
  // Every member of other is also a member of this set.
  constexpr bool ContainsAll(TSet other) const noexcept { return (FBits & other.FBits) == other.FBits; }
  constexpr bool ContainsAny(TSet other) const noexcept { return (FBits & other.FBits) != 0; }

  constexpr TSet operator+(TSet o) const noexcept { return FromBits(FBits | o.FBits); }
  constexpr TSet operator-(TSet o) const noexcept { return FromBits(FBits & ~o.FBits); }
  constexpr TSet operator*(TSet o) const noexcept { return FromBits(FBits & o.FBits); }
  constexpr TSet& operator+=(TSet o) noexcept {
    FBits |= o.FBits;
    return *this;
  }
  constexpr TSet& operator-=(TSet o) noexcept {
    FBits &= ~o.FBits;
    return *this;
  }
  constexpr bool operator==(const TSet&) const noexcept = default;

  constexpr std::uint64_t Bits() const noexcept { return FBits; }
  static constexpr TSet FromBits(std::uint64_t bits) noexcept {
    TSet s;
    s.FBits = bits;
    return s;
  }

 private:
  static constexpr std::uint64_t Bit(E m) noexcept {
    return std::uint64_t{1} << static_cast<unsigned>(static_cast<std::underlying_type_t<E>>(m));
  }
  std::uint64_t FBits = 0;
};

}  // namespace host
