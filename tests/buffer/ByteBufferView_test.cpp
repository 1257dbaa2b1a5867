#include "core/buffer/ByteBufferView.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Orvantis::ByteBufferView;

// Sizes and bytes decide, not addresses. A null window has no bytes whatever
// size it claims: it equals only another null window, is empty, iterates over
// nothing and copies as nothing.
TEST(ByteBufferView, EqualityComparesBytesNotAddresses) {
    char a[] = {'x', '\0', 'y'}, b[] = {'x', '\0', 'y'}, c[] = {'x', '\0', 'z'};
    const std::tuple<ByteBufferView, ByteBufferView, bool> cases[] = {
        {ByteBufferView(a, 3), ByteBufferView(b, 3), true}, {ByteBufferView(a, 3), ByteBufferView(c, 3), false},
        {ByteBufferView(a, 2), ByteBufferView(c, 2), true}, {ByteBufferView(a, 2), ByteBufferView(b, 3), false},
        {ByteBufferView(), ByteBufferView(b, 0), true},     {ByteBufferView(nullptr, 3), ByteBufferView(b, 3), false}};
    for (const auto& [left, right, equal] : cases) {
        EXPECT_EQ((std::tuple{left == right, right == left, left != right}), (std::tuple{equal, equal, !equal}))
            << left.size() << " vs " << right.size();
    }
    const ByteBufferView null(nullptr, 5);
    EXPECT_EQ((std::tuple{null.empty(), null.end(), null.toString(), null.copy().size()}),
              (std::tuple{true, nullptr, "", 0u}));
}

}  // namespace
