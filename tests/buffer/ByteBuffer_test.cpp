#include "core/buffer/ByteBuffer.h"

#include "support/FailingAllocation.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>

namespace {

using Orvantis::ByteBuffer;

// Every way of filling a buffer copies exactly the source's bytes into an
// array of its own (a copy assignment replaces a longer content); moves and
// release hand the array over and leave the source empty, self-assignment
// keeps it; an adopted array may be longer than the size; size 0 allocates.
TEST(ByteBuffer, CopiesAreDeepMovesTransferThePointer) {
    std::string text("a\0bc", 4);
    ByteBuffer fromString(text), fromView{Orvantis::ByteBufferView(text)}, copied(fromString), assigned(text + text);
    assigned = fromString;
    std::set<const char*> arrays = {text.data()};
    for (ByteBuffer* b : {&fromString, &fromView, &copied, &assigned}) {
        EXPECT_EQ(b->toString(), text);
        arrays.insert(b->data());
    }
    EXPECT_EQ(arrays.size(), 5u);
    const char* bytes = copied.data();
    ByteBuffer moved(std::move(copied));
    assigned = std::move(moved);
    ByteBuffer& alias = assigned;
    assigned = alias;
    assigned = std::move(alias);
    EXPECT_EQ((std::tuple{copied.data(), copied.size(), moved.data(), moved.size(), assigned.data()}),  // NOLINT
              (std::tuple{nullptr, 0u, nullptr, 0u, bytes}));
    std::unique_ptr<char[]> raw(assigned.release());
    EXPECT_EQ((std::tuple{assigned.data(), assigned.size(), raw.get()}), (std::tuple{nullptr, 0u, bytes}));
    EXPECT_EQ(ByteBuffer(std::unique_ptr<char[]>(new char[16]{"0123456789abcde"}), 4).toString(), "0123");
    EXPECT_TRUE(ByteBuffer(0).data() != nullptr && ByteBuffer(0).empty());
}

// A copy assignment frees the old array before it allocates the new one: a
// failure leaves the buffer empty.
TEST(ByteBuffer, FailedCopyAssignmentLeavesItEmpty) {
#ifdef _WIN32
    GTEST_SKIP()
        << "the library allocates through the C++ runtime DLL, whose operator new a test program cannot replace";
#endif
    ByteBuffer small(std::string("small"));
    const ByteBuffer large(1 << 20);
    {
        OrvantisTest::FailAllocationsFrom fail(1 << 20);
        EXPECT_THROW(small = large, std::bad_alloc);
    }
    EXPECT_EQ((std::tuple{small.data(), small.size()}), (std::tuple{nullptr, 0u}));
}

}  // namespace
