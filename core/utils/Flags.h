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
    constexpr Flags(E flag) noexcept : m_value(static_cast<uint32_t>(flag)) {}  // NOLINT: implicit on purpose

    static constexpr Flags fromInt(uint32_t value) noexcept {
        Flags f;
        f.m_value = value;
        return f;
    }

    constexpr uint32_t value() const noexcept { return m_value; }

    constexpr bool testFlag(E flag) const noexcept {
        const auto f = static_cast<uint32_t>(flag);
        return (m_value & f) == f && (f != 0 || m_value == 0);
    }

    constexpr Flags operator|(Flags other) const noexcept { return fromInt(m_value | other.m_value); }
    constexpr Flags operator|(E flag) const noexcept { return *this | Flags(flag); }
    constexpr Flags operator&(Flags other) const noexcept { return fromInt(m_value & other.m_value); }
    constexpr Flags operator&(E flag) const noexcept { return *this & Flags(flag); }
    Flags& operator|=(Flags other) noexcept {
        m_value |= other.m_value;
        return *this;
    }
    Flags& operator|=(E flag) noexcept { return *this |= Flags(flag); }

    friend constexpr bool operator==(Flags a, Flags b) noexcept { return a.m_value == b.m_value; }
    friend constexpr bool operator!=(Flags a, Flags b) noexcept { return a.m_value != b.m_value; }

private:
    uint32_t m_value = 0;
};

}  // namespace Orvantis

// Declares `E | E -> Flags<E>` for a flag enumeration. Use it in the namespace
// that holds the enumeration (for a nested enumeration, the enclosing
// namespace, naming the enumeration fully) so that lookup finds it.
#define ORVANTIS_DECLARE_FLAG_OPERATORS(E)                                                 \
    inline constexpr ::Orvantis::Flags<E> operator|(E a, E b) noexcept {                  \
        return ::Orvantis::Flags<E>(a) | b;                                                \
    }
