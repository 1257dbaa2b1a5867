#include "core/buffer/ByteBufferView.h"
#include "core/buffer/ByteBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Orvantis::ByteBufferView;

TEST(ByteBufferView, EmptyMeansNullPointerOrZeroSize) {
    char bytes[3] = {'a', 'b', 'c'};
    EXPECT_TRUE(ByteBufferView().empty());
    EXPECT_TRUE(ByteBufferView(bytes, 0).empty());
    EXPECT_FALSE(ByteBufferView(bytes, 3).empty());
    ByteBufferView null(nullptr, 5);
    EXPECT_TRUE(null.empty());
    EXPECT_EQ(null.size(), 5u);
    EXPECT_EQ(null.begin(), null.end());  // iterating it visits nothing
    EXPECT_EQ(null.toString(), "");
}

TEST(ByteBufferView, EqualityComparesBytesNotAddresses) {
    char a[] = {'x', '\0', 'y'};
    char b[] = {'x', '\0', 'y'};
    char c[] = {'x', '\0', 'z'};
    struct Case {
        ByteBufferView left, right;
        bool equal;
    } cases[] = {
        {ByteBufferView(a, 3), ByteBufferView(b, 3), true}, {ByteBufferView(a, 3), ByteBufferView(c, 3), false},
        {ByteBufferView(a, 2), ByteBufferView(c, 2), true}, {ByteBufferView(a, 2), ByteBufferView(b, 3), false},
        {ByteBufferView(), ByteBufferView(b, 0), true},     {ByteBufferView(nullptr, 3), ByteBufferView(b, 3), false},
    };
    for (const Case& t : cases) {
        EXPECT_EQ(t.left == t.right, t.equal) << t.left.size() << " vs " << t.right.size();
        EXPECT_EQ(t.right == t.left, t.equal);
        EXPECT_EQ(t.left != t.right, !t.equal);
    }
}

// A view writes through to the caller's bytes; toString and copy keep zero bytes.
TEST(ByteBufferView, SharesTheBytesAndCopiesThemExactly) {
    std::string bytes("a\0b\0", 4);
    ByteBufferView view(bytes);
    EXPECT_EQ(view.data(), bytes.data());
    EXPECT_EQ(view.toString(), bytes);
    Orvantis::ByteBuffer copy = view.copy();
    ASSERT_NE(copy.data(), bytes.data());
    EXPECT_EQ(copy.toString(), bytes);
    copy[0] = 'A';
    view[2] = 'B';
    EXPECT_EQ(bytes, std::string("a\0B\0", 4));
}

}  // namespace
