#include <gtest/gtest.h>

#include "publish/ftp/ByteBuffer.h"

namespace velmora {
namespace {

TEST(ByteBufferTest, TakesFromTheFrontInOrder)
{
    ByteBuffer buffer;
    buffer.append("first\nsecond\n");
    EXPECT_EQ(buffer.indexOf('\n'), 5);
    EXPECT_EQ(buffer.take(6), QByteArray("first\n"));
    EXPECT_EQ(buffer.size(), 7);
    EXPECT_EQ(buffer.indexOf('\n'), 6);
    buffer.append("third");
    EXPECT_EQ(buffer.view(), QByteArrayView("second\nthird"));
    EXPECT_EQ(buffer.take(100), QByteArray("second\nthird"));
    EXPECT_TRUE(buffer.isEmpty());
    EXPECT_EQ(buffer.indexOf('\n'), -1);
}

TEST(ByteBufferTest, DrainingInChunksWhileAppendingKeepsEveryByteInOrder)
{
    QByteArray all;
    for (int i = 0; i < 100000; ++i) all += char(i * 7);
    ByteBuffer buffer;
    buffer.append(all);
    QByteArray drained;
    bool appended = false;
    while (!buffer.isEmpty()) {
        const qsizetype n = std::min<qsizetype>(buffer.size(), 16383);
        drained += buffer.view().first(n).toByteArray();
        buffer.drop(n);
        if (!appended) {
            buffer.append("tail");
            appended = true;
        }
    }
    EXPECT_EQ(drained, all + "tail");
}

TEST(ByteBufferTest, IndexOfLooksFromTheGivenOffsetOnly)
{
    ByteBuffer buffer;
    buffer.append("xxxx");
    buffer.drop(2);
    buffer.append("a\nb\n");
    EXPECT_EQ(buffer.indexOf('\n'), 3);
    EXPECT_EQ(buffer.indexOf('\n', 4), 5);
    EXPECT_EQ(buffer.indexOf('x', 0), 0);
    buffer.drop(-5);
    EXPECT_EQ(buffer.size(), 6);
}

}  // namespace
}  // namespace velmora
