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

// A non-owning window onto bytes. It never frees; it stays valid only as long
// as whatever it points into. Element access is not bounds-checked.
class ORVANTIS_API ByteBufferView {
public:
    ByteBufferView() noexcept = default;
    ByteBufferView(char* data, size_t size) noexcept : m_data(data), m_size(size) {}
    // Refers to the string's own characters; anything that reallocates the
    // string invalidates the view.
    ByteBufferView(std::string& s) noexcept : m_data(s.data()), m_size(s.size()) {}  // NOLINT: implicit on purpose

    ByteBufferView(const ByteBufferView& other) noexcept = default;
    ByteBufferView(ByteBufferView&& other) noexcept = default;
    ByteBufferView& operator=(const ByteBufferView& other) noexcept = default;
    ByteBufferView& operator=(ByteBufferView&& other) noexcept = default;

    // Does nothing: a view owns no bytes.
    virtual ~ByteBufferView();

    char* begin() noexcept { return m_data; }
    const char* begin() const noexcept { return m_data; }
    // begin() + size(); a window with a null pointer has no bytes, so its
    // end is null as well.
    char* end() noexcept { return m_data == nullptr ? nullptr : m_data + m_size; }
    const char* end() const noexcept { return m_data == nullptr ? nullptr : m_data + m_size; }

    char* data() noexcept { return m_data; }
    const char* data() const noexcept { return m_data; }
    size_t size() const noexcept { return m_size; }
    // True for a null pointer (whatever the size) and for size 0.
    bool empty() const noexcept { return m_data == nullptr || m_size == 0; }

    char& operator[](size_t i) noexcept { return m_data[i]; }
    const char& operator[](size_t i) const noexcept { return m_data[i]; }

    // A new buffer holding a copy of exactly size() bytes (a window with a
    // null pointer has no bytes and copies as zero bytes).
    // Throws std::bad_alloc when the copy cannot be allocated.
    ByteBuffer copy() const;
    // A string of exactly size() characters copied from the window, zero
    // bytes included ("" for a window with a null pointer).
    std::string toString() const;

protected:
    char* m_data = nullptr;
    size_t m_size = 0;
};

// Equal when the sizes are equal and the bytes are equal; where the bytes
// live does not matter, so two empty windows are equal.
ORVANTIS_API bool operator==(const ByteBufferView& a, const ByteBufferView& b) noexcept;
ORVANTIS_API bool operator!=(const ByteBufferView& a, const ByteBufferView& b) noexcept;

}  // namespace Orvantis

// copy() returns a ByteBuffer, so whoever includes the view gets the buffer
// as well.
#include "core/buffer/ByteBuffer.h"
