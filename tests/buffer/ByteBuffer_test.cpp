#include "core/buffer/ByteBuffer.h"

#include "support/FailingAllocation.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <utility>

namespace {

using Orvantis::ByteBuffer;

// Copies are deep and exact (an assignment replaces a longer content); moves
// and release hand the array over and leave the source empty; self-assignment
// keeps the content; an adopted array may be longer than the size; size 0
// still allocates.
TEST(ByteBuffer, OwnsExactlyItsArray) {
    const std::string text("a\0bc", 4);
    ByteBuffer original(text), copied(original), assigned(std::string(9, 'x'));
    assigned = copied;
    const char* bytes = assigned.data();
    ByteBuffer constructed(std::move(copied)), moved(std::string("old"));
    moved = std::move(assigned);
    ByteBuffer& alias = moved;
    moved = alias;
    EXPECT_EQ((std::tuple{constructed.toString(), moved.toString(), moved.data(), copied.data(), assigned.size()}),
              (std::tuple{text, text, bytes, nullptr, 0u}));  // NOLINT: moved-from buffers are empty
    EXPECT_TRUE(original.data() != constructed.data() && original.data() != bytes && constructed.data() != bytes);
    std::unique_ptr<char[]> raw(moved.release());
    EXPECT_EQ((std::tuple{moved.data(), moved.size(), raw.get()}), (std::tuple{nullptr, 0u, bytes}));
    EXPECT_EQ(ByteBuffer(std::unique_ptr<char[]>(new char[16]{"0123456789abcde"}), 4).toString(), "0123");
    EXPECT_TRUE(ByteBuffer(0).data() != nullptr && ByteBuffer(0).empty());
#ifndef _WIN32  // there the library allocates through the C++ runtime DLL, whose operator new a test cannot replace
    // A copy assignment frees the old array before it allocates the new one:
    // a failure leaves the buffer empty.
    const ByteBuffer large(1 << 20);
    OrvantisTest::FailAllocationsFrom fail(1 << 20);
    EXPECT_THROW(original = large, std::bad_alloc);
    EXPECT_EQ((std::tuple{original.data(), original.size()}), (std::tuple{nullptr, 0u}));
#endif
}

}  // namespace
