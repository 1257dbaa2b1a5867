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
    Optional(T value) : stored(std::move(value)), present(true) {}  // NOLINT: implicit on purpose

    bool hasValue() const noexcept { return present; }
    explicit operator bool() const noexcept { return present; }

    const T& value() const {
        assert(present && "Optional::value() on an empty Optional");
        return stored;
    }
    T& value() {
        assert(present && "Optional::value() on an empty Optional");
        return stored;
    }

private:
    T stored{};
    bool present = false;
};

}  // namespace Orvantis::Utils
