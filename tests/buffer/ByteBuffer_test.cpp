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
    EXPECT_EQ(zero.size(), 0u);
    EXPECT_TRUE(zero.empty());
    EXPECT_EQ(zero, ByteBuffer());
    EXPECT_EQ(ByteBuffer().data(), nullptr);
}

TEST(ByteBuffer, EveryCopyIsDeepAndExact) {
    std::string text("a\0bc", 4);
    ByteBuffer fromString(text);
    ByteBufferView view(text);
    ByteBuffer fromView(view);
    ByteBuffer copied(fromString);
    ByteBuffer assigned(std::string("much longer previous content"));
    assigned = fromString;

    for (ByteBuffer* b : {&fromString, &fromView, &copied, &assigned}) {
        EXPECT_EQ(b->size(), 4u);
        EXPECT_EQ(b->toString(), text);
        EXPECT_NE(b->data(), text.data());
    }
    EXPECT_NE(copied.data(), fromString.data());
    EXPECT_NE(assigned.data(), fromString.data());

    copied[1] = 'X';
    fromView[0] = 'Y';
    EXPECT_EQ(fromString.toString(), text);
    EXPECT_EQ(text, std::string("a\0bc", 4));
}

TEST(ByteBuffer, MovesTransferThePointer) {
    ByteBuffer b1(std::string("payload"));
    const char* bytes = b1.data();
    ByteBuffer b2(std::move(b1));
    EXPECT_EQ(b1.data(), nullptr);  // NOLINT: a moved-from buffer is empty and usable
    EXPECT_EQ(b1.size(), 0u);
    EXPECT_EQ(b2.data(), bytes);
    EXPECT_EQ(b2.toString(), "payload");

    ByteBuffer b3(std::string("old"));
    b3 = std::move(b2);
    EXPECT_EQ(b3.data(), bytes);
    EXPECT_EQ(b2.data(), nullptr);  // NOLINT
    EXPECT_EQ(b2.size(), 0u);

    b1 = ByteBuffer(std::string("reused"));
    EXPECT_EQ(b1.toString(), "reused");
}

TEST(ByteBuffer, SelfAssignmentKeepsTheContent) {
    ByteBuffer b(std::string("same"));
    const char* bytes = b.data();
    ByteBuffer& alias = b;
    b = alias;
    EXPECT_EQ(b.data(), bytes);
    EXPECT_EQ(b.toString(), "same");
    b = std::move(alias);
    EXPECT_EQ(b.data(), bytes);
    EXPECT_EQ(b.toString(), "same");
}

TEST(ByteBuffer, ReleaseHandsTheArrayToTheCaller) {
    ByteBuffer b(std::string("kept"));
    char* raw = b.release();
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.data(), nullptr);
    EXPECT_EQ(b.size(), 0u);
    EXPECT_EQ(std::string(raw, 4), "kept");
    delete[] raw;
}

TEST(ByteBuffer, AdoptsAnArrayLongerThanItsSize) {
    std::unique_ptr<char[]> array(new char[16]);
    std::memcpy(array.get(), "0123456789abcdef", 16);
    const char* raw = array.get();
    ByteBuffer b(std::move(array), 4);
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(b.data(), raw);
    EXPECT_EQ(b.toString(), "0123");
    EXPECT_EQ(ByteBuffer(b).size(), 4u);
}

TEST(ByteBuffer, ComparesEqualToAViewOfOtherMemory) {
    std::string text = "same bytes";
    ByteBuffer b(text);
    EXPECT_EQ(b, ByteBufferView(text));
    EXPECT_EQ(b.view(), ByteBufferView(text));
    EXPECT_EQ(b.view().data(), b.data());
    text[0] = 'S';
    EXPECT_NE(b, ByteBufferView(text));
}

TEST(ByteBuffer, FailedAllocationsPropagate) {
    ByteBuffer small(std::string("small"));
    ByteBuffer large(1 << 20);
    {
        OrvantisTest::FailAllocationsFrom fail(1 << 20);
        EXPECT_THROW(ByteBuffer(2 << 20), std::bad_alloc);
        EXPECT_THROW(ByteBuffer copy(large), std::bad_alloc);
        // The old array is freed before the new one is allocated: left empty.
        EXPECT_THROW(small = large, std::bad_alloc);
    }
    EXPECT_EQ(small.data(), nullptr);
    EXPECT_EQ(small.size(), 0u);
    small = large;
    EXPECT_EQ(small.size(), large.size());
}

}  // namespace
