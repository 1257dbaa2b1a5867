#include "core/buffer/ByteBufferView.h"

#include <cstring>

namespace Orvantis {

ByteBufferView::~ByteBufferView() = default;

ByteBuffer ByteBufferView::copy() const {
    return ByteBuffer(*this);
}

std::string ByteBufferView::toString() const {
    if (empty()) {
        return std::string();
    }
    return std::string(bytes, byteCount);
}

bool operator==(const ByteBufferView& a, const ByteBufferView& b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    if (a.size() == 0) {
        return true;
    }
    // A null window has no bytes to compare; it only equals another one.
    if (a.data() == nullptr || b.data() == nullptr) {
        return a.data() == b.data();
    }
    return std::memcmp(a.data(), b.data(), a.size()) == 0;
}

bool operator!=(const ByteBufferView& a, const ByteBufferView& b) noexcept {
    return !(a == b);
}

}  // namespace Orvantis
