// Flags.h — a set of bit flags over an enumeration, held as a plain integer.
//
// A flag f counts as set when every bit of f is set and either f is not 0 or
// the whole set is empty, so testFlag(0) asks "is the set empty?".
//
// Example:
//   Flags<ConsoleSink::Options> o = ConsoleSink::Colored | ConsoleSink::Utf8;
//   o.testFlag(ConsoleSink::Utf8);  // true
#pragma once

#include <cstdint>
#include <type_traits>

namespace Orvantis {

template <class E>
class Flags {
    static_assert(std::is_enum<E>::value, "Flags needs an enumeration");

public:
    constexpr Flags() noexcept = default;
    constexpr Flags(E flag) noexcept : bits(static_cast<uint32_t>(flag)) {}  // NOLINT: implicit on purpose

    static constexpr Flags fromInt(uint32_t value) noexcept {
        Flags f;
        f.bits = value;
        return f;
    }

    constexpr uint32_t value() const noexcept { return bits; }

    constexpr bool testFlag(E flag) const noexcept {
        const auto f = static_cast<uint32_t>(flag);
        return (bits & f) == f && (f != 0 || bits == 0);
    }

    constexpr Flags operator|(Flags other) const noexcept { return fromInt(bits | other.bits); }
    constexpr Flags operator|(E flag) const noexcept { return *this | Flags(flag); }
    constexpr Flags operator&(Flags other) const noexcept { return fromInt(bits & other.bits); }
    constexpr Flags operator&(E flag) const noexcept { return *this & Flags(flag); }
    Flags& operator|=(Flags other) noexcept {
        bits |= other.bits;
        return *this;
    }
    Flags& operator|=(E flag) noexcept { return *this |= Flags(flag); }

    friend constexpr bool operator==(Flags a, Flags b) noexcept { return a.bits == b.bits; }
    friend constexpr bool operator!=(Flags a, Flags b) noexcept { return a.bits != b.bits; }

private:
    uint32_t bits = 0;
};

}  // namespace Orvantis

// Declares `E | E -> Flags<E>` for a flag enumeration. Use it in the namespace
// that holds the enumeration (for a nested enumeration, the enclosing
// namespace, naming the enumeration fully) so that lookup finds it.
#define ORVANTIS_DECLARE_FLAG_OPERATORS(E)                               \
    inline constexpr ::Orvantis::Flags<E> operator|(E a, E b) noexcept { \
        return ::Orvantis::Flags<E>(a) | b;                              \
    }
