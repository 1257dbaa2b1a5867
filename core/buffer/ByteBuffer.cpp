#include "core/buffer/ByteBuffer.h"

#include <cstring>
#include <utility>

namespace Orvantis {

namespace {

// The number of bytes a deep copy of the window takes: a null pointer has no
// bytes to copy, whatever size it claims.
size_t copiedSize(const ByteBufferView& v) {
    return v.data() == nullptr ? 0 : v.size();
}

// A fresh array holding a copy of `size` bytes from `source`.
char* duplicate(const char* source, size_t size) {
    char* copy = new char[size];
    if (size != 0) {
        std::memcpy(copy, source, size);
    }
    return copy;
}

}  // namespace

ByteBuffer::ByteBuffer(size_t size) : ByteBufferView(new char[size], size) {}

ByteBuffer::ByteBuffer(std::unique_ptr<char[]> data, size_t size) noexcept : ByteBufferView(data.release(), size) {}

ByteBuffer::ByteBuffer(const std::string& s) : ByteBufferView(duplicate(s.data(), s.size()), s.size()) {}

ByteBuffer::ByteBuffer(const ByteBufferView& v) : ByteBufferView(duplicate(v.data(), copiedSize(v)), copiedSize(v)) {}

ByteBuffer::ByteBuffer(const ByteBuffer& other) : ByteBuffer(static_cast<const ByteBufferView&>(other)) {}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept : ByteBufferView(other.bytes, other.byteCount) {
    other.bytes = nullptr;
    other.byteCount = 0;
}

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) {
    if (this == &other) {
        return *this;
    }
    cleanup();
    // Left empty if this throws: the old array is already gone.
    const size_t size = copiedSize(other);
    bytes = duplicate(other.bytes, size);
    byteCount = size;
    return *this;
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    cleanup();
    bytes = std::exchange(other.bytes, nullptr);
    byteCount = std::exchange(other.byteCount, 0);
    return *this;
}

ByteBuffer::~ByteBuffer() {
    cleanup();
}

char* ByteBuffer::release() noexcept {
    byteCount = 0;
    return std::exchange(bytes, nullptr);
}

void ByteBuffer::cleanup() noexcept {
    delete[] bytes;
    bytes = nullptr;
    byteCount = 0;
}

}  // namespace Orvantis
