#include <gtest/gtest.h>

#include "byte_buffer.h"

using scrivel::ByteBuffer;

TEST(ByteBuffer, StartsWithAZeroByteAllocation) {
    ByteBuffer buffer;
    EXPECT_NE(nullptr, buffer.data());
    EXPECT_EQ(0, buffer.size());
    EXPECT_EQ(0, buffer.capacity());
}

TEST(ByteBuffer, GrowsToExactlyTheRequestedSizeAndNeverShrinks) {
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.resize(100));
    EXPECT_EQ(100, buffer.size());
    EXPECT_EQ(100, buffer.capacity());
    unsigned char* storage = buffer.data();
    storage[99] = 0xAB;  // the whole size is usable

    // Smaller or equal sizes reuse the storage.
    ASSERT_TRUE(buffer.resize(10));
    EXPECT_EQ(10, buffer.size());
    EXPECT_EQ(100, buffer.capacity());
    EXPECT_EQ(storage, buffer.data());
    ASSERT_TRUE(buffer.resize(100));
    EXPECT_EQ(100, buffer.capacity());
    EXPECT_EQ(storage, buffer.data());
    EXPECT_EQ(0xAB, buffer.data()[99]);  // reuse keeps the bytes

    ASSERT_TRUE(buffer.resize(0));
    EXPECT_EQ(0, buffer.size());
    EXPECT_EQ(100, buffer.capacity());

    // Anything larger replaces it with exactly the new size.
    ASSERT_TRUE(buffer.resize(101));
    EXPECT_EQ(101, buffer.size());
    EXPECT_EQ(101, buffer.capacity());
    buffer.data()[100] = 1;
}

TEST(ByteBuffer, NegativeSizeIsRefusedAndLeavesItEmpty) {
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.resize(16));
    EXPECT_FALSE(buffer.resize(-1));
    EXPECT_EQ(0, buffer.size());
    EXPECT_TRUE(buffer.resize(8));
    EXPECT_EQ(8, buffer.size());
}
