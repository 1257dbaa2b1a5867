#include "core/buffer/ByteBufferView.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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

TEST(ByteBufferView, CopiesAndMovesShareTheBytes) {
    std::string text = "hello";
    ByteBufferView view(text);
    EXPECT_EQ(view.data(), text.data());
    EXPECT_EQ(std::string(view.begin(), view.end()), "hello");

    ByteBufferView copied(view);
    ByteBufferView moved(std::move(copied));
    ByteBufferView assigned;
    assigned = moved;
    EXPECT_EQ(copied.data(), text.data());  // a moved-from view is unchanged
    EXPECT_EQ(copied.size(), 5u);
    assigned[0] = 'j';
    EXPECT_EQ(text, "jello");
    EXPECT_EQ(view[0], 'j');
}

TEST(ByteBufferView, EqualityComparesBytesNotAddresses) {
    char a[] = {'x', '\0', 'y'};
    char b[] = {'x', '\0', 'y'};
    char c[] = {'x', '\0', 'z'};
    struct Case {
        ByteBufferView left, right;
        bool equal;
    } cases[] = {
        {ByteBufferView(a, 3), ByteBufferView(b, 3), true},  {ByteBufferView(a, 3), ByteBufferView(c, 3), false},
        {ByteBufferView(a, 2), ByteBufferView(c, 2), true},  {ByteBufferView(a, 2), ByteBufferView(b, 3), false},
        {ByteBufferView(), ByteBufferView(b, 0), true},      {ByteBufferView(nullptr, 3), ByteBufferView(b, 3), false},
    };
    for (const Case& t : cases) {
        EXPECT_EQ(t.left == t.right, t.equal) << t.left.size() << " vs " << t.right.size();
        EXPECT_EQ(t.right == t.left, t.equal);
        EXPECT_EQ(t.left != t.right, !t.equal);
    }
}

TEST(ByteBufferView, ToStringAndCopyKeepZeroBytes) {
    std::string bytes("a\0b\0", 4);
    ByteBufferView view(bytes);
    EXPECT_EQ(view.toString(), bytes);
    Orvantis::ByteBuffer copy = view.copy();
    ASSERT_NE(copy.data(), bytes.data());
    EXPECT_EQ(copy.toString(), bytes);
    copy[0] = 'A';
    EXPECT_EQ(bytes[0], 'a');
}

}  // namespace
