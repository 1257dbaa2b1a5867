// Optional.h — a value together with a has-value flag.
//
// Example:
//   Utils::Optional<std::string> v = url.queryItemValue("x");
//   if (v) use(v.value());
//
// Asking an empty Optional for its value is a programming error (asserted in
// debug builds).
#pragma once

#include <cassert>
#include <utility>

namespace Orvantis::Utils {

template <class T>
class Optional {
public:
    Optional() = default;
    Optional(T value) : m_value(std::move(value)), m_hasValue(true) {}  // NOLINT: implicit on purpose

    bool hasValue() const noexcept { return m_hasValue; }
    explicit operator bool() const noexcept { return m_hasValue; }

    const T& value() const {
        assert(m_hasValue && "Optional::value() on an empty Optional");
        return m_value;
    }
    T& value() {
        assert(m_hasValue && "Optional::value() on an empty Optional");
        return m_value;
    }

private:
    T m_value{};
    bool m_hasValue = false;
};

}  // namespace Orvantis::Utils
