#include "core/buffer/ByteBuffer.h"

#include "support/FailingAllocation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace {

using Orvantis::ByteBuffer;
using Orvantis::ByteBufferView;

TEST(ByteBuffer, SizeZeroAllocatesYetIsEmpty) {
    ByteBuffer zero(0);
    EXPECT_NE(zero.data(), nullptr);
    EXPECT_TRUE(zero.empty());
    EXPECT_EQ(zero, ByteBuffer());
    EXPECT_EQ(ByteBuffer().data(), nullptr);
}

TEST(ByteBuffer, EveryCopyIsDeepAndExact) {
    const std::string text("a\0bc", 4);
    std::string viewed = text;
    ByteBuffer fromString(text);
    ByteBuffer fromView{ByteBufferView(viewed)};
    ByteBuffer copied(fromString);
    ByteBuffer assigned(std::string("much longer previous content"));
    assigned = fromString;
    for (ByteBuffer* b : {&fromString, &fromView, &copied, &assigned}) {
        EXPECT_EQ(b->toString(), text);
    }
    copied[1] = 'X';
    assigned[1] = 'Y';
    fromView[0] = 'Z';
    EXPECT_EQ(fromString.toString(), text);
    EXPECT_EQ(viewed, text);
    EXPECT_EQ(fromString, ByteBufferView(viewed));  // equal to other memory with the same bytes
}

TEST(ByteBuffer, MovesAndReleaseTransferThePointer) {
    ByteBuffer b1(std::string("payload"));
    const char* bytes = b1.data();
    ByteBuffer b2(std::move(b1));
    EXPECT_EQ(b1.data(), nullptr);  // NOLINT: moved-from buffers are empty and usable
    EXPECT_EQ(b1.size(), 0u);
    ByteBuffer b3(std::string("old"));
    b3 = std::move(b2);
    EXPECT_EQ(b2.data(), nullptr);  // NOLINT
    EXPECT_EQ(b3.data(), bytes);
    EXPECT_EQ(b3.view().data(), bytes);

    ByteBuffer& alias = b3;
    b3 = alias;  // self-assignment, copy and move, keeps the content
    b3 = std::move(alias);
    EXPECT_EQ(b3.data(), bytes);

    char* raw = b3.release();
    EXPECT_EQ(b3.data(), nullptr);
    EXPECT_EQ(b3.size(), 0u);
    EXPECT_EQ(std::string(raw, 7), "payload");
    delete[] raw;
}

TEST(ByteBuffer, AdoptsAnArrayLongerThanItsSize) {
    std::unique_ptr<char[]> array(new char[16]);
    std::memcpy(array.get(), "0123456789abcdef", 16);
    const char* raw = array.get();
    ByteBuffer b(std::move(array), 4);
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(b.data(), raw);
    EXPECT_EQ(ByteBuffer(b).toString(), "0123");
}

TEST(ByteBuffer, FailedAllocationsPropagate) {
#ifdef _WIN32
    GTEST_SKIP()
        << "the library allocates through the C++ runtime DLL, whose operator new a test program cannot replace";
#endif
    ByteBuffer small(std::string("small"));
    const ByteBuffer large(1 << 20);
    {
        OrvantisTest::FailAllocationsFrom fail(1 << 20);
        EXPECT_THROW(ByteBuffer(2 << 20), std::bad_alloc);
        EXPECT_THROW(ByteBuffer copy(large), std::bad_alloc);
        // The old array is freed before the new one is allocated: left empty.
        EXPECT_THROW(small = large, std::bad_alloc);
    }
    EXPECT_EQ(small.data(), nullptr);
    EXPECT_EQ(small.size(), 0u);
}

}  // namespace
