// ByteBuffer.h — an owning array of bytes.
//
// A ByteBuffer is a ByteBufferView whose pointer it owns: an array made with
// `new char[n]` (or handed over in a std::unique_ptr<char[]>) that it frees
// with `delete[]`. Two buffers never share an array. Copies are deep and
// exact-size; moves transfer the pointer and leave the source empty (null
// pointer, size 0). Nothing is reference-counted and no capacity beyond the
// size is allocated.
//
// Allocation failures propagate as std::bad_alloc. A copy assignment frees
// the old array before it allocates the new one; if that allocation fails the
// buffer is left empty and the exception is rethrown.
//
// Example:
//   ByteBuffer b(std::string("hello"));
//   ByteBuffer c = b;           // deep copy
//   c[0] = 'j';                 // b still holds "hello"
//   char* raw = b.release();    // b is empty; the caller owns raw
//   delete[] raw;
#pragma once

#include "core/Export.h"
#include "core/buffer/ByteBufferView.h"

#include <cstddef>
#include <memory>
#include <string>

namespace Orvantis {

class ORVANTIS_API ByteBuffer : public ByteBufferView {
public:
    ByteBuffer() noexcept = default;
    // Allocates `size` bytes without initialising them. Size 0 still
    // allocates a zero-length array: the pointer is not null, empty() is true.
    explicit ByteBuffer(size_t size);
    // Takes over the array (the unique pointer is left empty); the caller
    // guarantees that it holds at least `size` bytes.
    ByteBuffer(std::unique_ptr<char[]> data, size_t size) noexcept;
    // Copies the string's characters, without a terminator.
    ByteBuffer(const std::string& s);  // NOLINT: implicit on purpose
    // Deep copy: the buffer never refers to the view's memory.
    ByteBuffer(const ByteBufferView& v);  // NOLINT: implicit on purpose
    ByteBuffer(const ByteBuffer& other);
    ByteBuffer(ByteBuffer&& other) noexcept;

    // Self-assignment leaves the buffer unchanged.
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;

    // Frees the array.
    ~ByteBuffer() override;

    // A view of the same bytes, without ownership.
    ByteBufferView view() const noexcept { return ByteBufferView(bytes, byteCount); }

    // Gives up ownership: returns the array (free it with delete[]) and
    // leaves the buffer empty.
    char* release() noexcept;

private:
    // Frees the array and leaves the buffer empty.
    void cleanup() noexcept;
};

}  // namespace Orvantis
