// ByteBufferView.h — a non-owning window onto a run of bytes.
//
// A view is a data pointer and a size, nothing more: it never allocates and
// never frees, and it stays valid only as long as whatever it points into.
// Copying or moving a view copies the pointer and the size; the source is
// left as it was. The bytes are plain chars; nothing is interpreted and no
// terminator is assumed.
//
// ByteBuffer (ByteBuffer.h) derives from ByteBufferView, so every function
// that takes a `const ByteBufferView&` accepts a buffer as well.
//
// Example:
//   std::string text = "abc";
//   ByteBufferView v(text);     // refers to text.data(), 3 bytes
//   v[0] = 'x';                 // text is now "xbc"
//   ByteBuffer owned = v.copy();  // an independent copy of the 3 bytes
#pragma once

#include "core/Export.h"

#include <cstddef>
#include <string>

namespace Orvantis {

class ByteBuffer;

// Element access is not bounds-checked.
class ORVANTIS_API ByteBufferView {
public:
    ByteBufferView() noexcept = default;
    ByteBufferView(char* data, size_t size) noexcept : bytes(data), byteCount(size) {}
    // Refers to the string's own characters; anything that reallocates the
    // string invalidates the view.
    ByteBufferView(std::string& s) noexcept : bytes(s.data()), byteCount(s.size()) {}  // NOLINT: implicit on purpose

    ByteBufferView(const ByteBufferView& other) noexcept = default;
    ByteBufferView(ByteBufferView&& other) noexcept = default;
    ByteBufferView& operator=(const ByteBufferView& other) noexcept = default;
    ByteBufferView& operator=(ByteBufferView&& other) noexcept = default;

    // Does nothing: a view owns no bytes.
    virtual ~ByteBufferView();

    char* begin() noexcept { return bytes; }
    const char* begin() const noexcept { return bytes; }
    // begin() + size(); a window with a null pointer has no bytes, so its
    // end is null as well.
    char* end() noexcept { return bytes == nullptr ? nullptr : bytes + byteCount; }
    const char* end() const noexcept { return bytes == nullptr ? nullptr : bytes + byteCount; }

    char* data() noexcept { return bytes; }
    const char* data() const noexcept { return bytes; }
    size_t size() const noexcept { return byteCount; }
    // True for a null pointer (whatever the size) and for size 0.
    bool empty() const noexcept { return bytes == nullptr || byteCount == 0; }

    char& operator[](size_t i) noexcept { return bytes[i]; }
    const char& operator[](size_t i) const noexcept { return bytes[i]; }

    // A new buffer holding a copy of exactly size() bytes (a window with a
    // null pointer has no bytes and copies as zero bytes).
    // Throws std::bad_alloc when the copy cannot be allocated.
    ByteBuffer copy() const;
    // A string of exactly size() characters copied from the window, zero
    // bytes included ("" for a window with a null pointer).
    std::string toString() const;

protected:
    char* bytes = nullptr;
    size_t byteCount = 0;
};

// Equal when the sizes are equal and the bytes are equal; where the bytes
// live does not matter, so two empty windows are equal.
ORVANTIS_API bool operator==(const ByteBufferView& a, const ByteBufferView& b) noexcept;
ORVANTIS_API bool operator!=(const ByteBufferView& a, const ByteBufferView& b) noexcept;

}  // namespace Orvantis

// copy() returns a ByteBuffer by value, which needs the complete type at
// every call: the buffer's header comes with the view's so that this header
// stays usable on its own. (ByteBuffer.h includes the view first, so the
// view's class is complete by then.)
#include "core/buffer/ByteBuffer.h"
