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
using Orvantis::ByteBufferView;

// Every way of filling a buffer copies exactly the source's bytes into an
// array of its own (a copy assignment replaces a longer content).
TEST(ByteBuffer, EveryCopyIsDeepAndExact) {
    std::string text("a\0bc", 4);
    const ByteBuffer fromString(text), fromView{ByteBufferView(text)}, copied(fromString);
    ByteBuffer assigned(std::string("much longer previous content"));
    assigned = fromString;
    std::set<const char*> arrays = {text.data()};
    for (const ByteBuffer* b : {&fromString, &fromView, &copied, &std::as_const(assigned)}) {
        EXPECT_EQ(b->toString(), text);
        arrays.insert(b->data());
    }
    EXPECT_EQ(arrays.size(), 5u);
    ByteBuffer zero(0);
    EXPECT_TRUE(zero.data() != nullptr && zero.empty());
}

// Moves and release hand the array over and leave the source empty;
// self-assignment keeps it; an adopted array may be longer than the size.
TEST(ByteBuffer, MovesAndReleaseTransferThePointer) {
    ByteBuffer b1(std::string("payload")), b3(std::string("old"));
    const char* bytes = b1.data();
    ByteBuffer b2(std::move(b1));
    b3 = std::move(b2);
    ByteBuffer& alias = b3;
    b3 = alias;
    b3 = std::move(alias);
    EXPECT_EQ((std::tuple{b1.data(), b1.size(), b2.data(), b2.size(), b3.data()}),  // NOLINT: moved-from
              (std::tuple{nullptr, 0u, nullptr, 0u, bytes}));
    char* raw = b3.release();
    EXPECT_EQ((std::tuple{b3.data(), b3.size(), std::string(raw, 7)}), (std::tuple{nullptr, 0u, "payload"}));
    delete[] raw;
    EXPECT_EQ(ByteBuffer(std::unique_ptr<char[]>(new char[16]{"0123456789abcde"}), 4).toString(), "0123");
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
