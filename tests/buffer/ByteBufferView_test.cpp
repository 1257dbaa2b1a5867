#include "core/buffer/ByteBufferView.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using Orvantis::ByteBuffer;
using Orvantis::ByteBufferView;

TEST(ByteBufferView, EmptyMeansNullPointerOrZeroSize) {
    char bytes[3] = {'a', 'b', 'c'};
    struct Case {
        ByteBufferView view;
        bool empty;
    } cases[] = {
        {ByteBufferView(), true},
        {ByteBufferView(bytes, 0), true},
        {ByteBufferView(nullptr, 5), true},
        {ByteBufferView(bytes, 3), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.view.empty(), c.empty) << "size " << c.view.size();
    }
    EXPECT_EQ(ByteBufferView(nullptr, 5).size(), 5u);
    // Iterating a null window visits nothing.
    ByteBufferView null(nullptr, 5);
    EXPECT_EQ(null.begin(), null.end());
}

TEST(ByteBufferView, AliasesTheStringItViews) {
    std::string text = "hello";
    ByteBufferView view(text);
    EXPECT_EQ(view.data(), text.data());
    EXPECT_EQ(view.size(), 5u);
    EXPECT_EQ(std::string(view.begin(), view.end()), "hello");

    // Copies and moves of a view share the bytes and leave the source as it was.
    ByteBufferView copied(view);
    ByteBufferView moved(std::move(copied));
    EXPECT_EQ(copied.data(), text.data());
    EXPECT_EQ(copied.size(), 5u);
    moved[0] = 'j';
    EXPECT_EQ(text, "jello");
    EXPECT_EQ(view[0], 'j');

    ByteBufferView assigned;
    assigned = view;
    EXPECT_EQ(assigned.data(), text.data());
    EXPECT_EQ(assigned.size(), 5u);
}

TEST(ByteBufferView, EqualityComparesBytesNotAddresses) {
    char a[] = {'x', '\0', 'y'};
    char b[] = {'x', '\0', 'y'};
    char c[] = {'x', '\0', 'z'};
    struct Case {
        ByteBufferView left, right;
        bool equal;
    } cases[] = {
        {ByteBufferView(a, 3), ByteBufferView(b, 3), true},
        {ByteBufferView(a, 3), ByteBufferView(c, 3), false},
        {ByteBufferView(a, 2), ByteBufferView(c, 2), true},
        {ByteBufferView(a, 2), ByteBufferView(b, 3), false},
        {ByteBufferView(a, 0), ByteBufferView(c, 0), true},
        {ByteBufferView(), ByteBufferView(b, 0), true},
        {ByteBufferView(nullptr, 3), ByteBufferView(b, 3), false},
    };
    for (const Case& t : cases) {
        EXPECT_EQ(t.left == t.right, t.equal) << t.left.size() << " vs " << t.right.size();
        EXPECT_EQ(t.right == t.left, t.equal);
        EXPECT_EQ(t.left != t.right, !t.equal);
    }
}

TEST(ByteBufferView, ToStringKeepsZeroBytes) {
    char bytes[] = {'a', '\0', 'b', '\0'};
    const std::string s = ByteBufferView(bytes, 4).toString();
    EXPECT_EQ(s, std::string("a\0b\0", 4));
    EXPECT_EQ(ByteBufferView().toString(), "");
    EXPECT_EQ(ByteBufferView(nullptr, 4).toString(), "");
}

TEST(ByteBufferView, CopyOwnsIndependentBytes) {
    std::string text = "data";
    ByteBufferView view(text);
    ByteBuffer copy = view.copy();
    ASSERT_NE(copy.data(), text.data());
    EXPECT_EQ(copy, view);
    copy[0] = 'D';
    EXPECT_EQ(text, "data");

    const ByteBuffer fromNull = ByteBufferView(nullptr, 8).copy();
    EXPECT_EQ(fromNull.size(), 0u);
}

}  // namespace
