// The runtime's byte streams on the real file system: what they write and
// read back, where they stand, how a written file is held against other
// openers, and how a held file is deleted.
#include <gtest/gtest.h>

#include <windows.h>

#include "byte_stream.h"
#include "engine_fixture.h"
#include "member_install.h"

namespace {

class ByteStreamTest : public ::testing::Test {
protected:
    void SetUp() override { dir = FreshDir("streams"); }
    std::string dir;
};

TEST_F(ByteStreamTest, WritesAndReadsBackAcrossManyBuffers)
{
    const std::string path = dir + "\\data.bin";
    Bytes data = Noise(3 * STREAM_BUFFER_SIZE + 123, 9);
    ByteStream* out = StreamCreate(path.c_str());
    ASSERT_NE(out, nullptr);
    for (uint8_t b : data)
        ASSERT_EQ(b, StreamPutByte(b, out));
    EXPECT_EQ(data.size(), StreamTell(out));
    EXPECT_EQ(data.size(), StreamLength(out));   // buffered bytes count too
    EXPECT_EQ(STREAM_EOF, StreamGetByte(out));   // a writer has nothing to read,
    EXPECT_EQ(0, StreamClose(out));              // which spoils nothing it wrote
    EXPECT_EQ(data, ReadBytes(path));

    ByteStream* in = StreamOpenRead(path.c_str());
    ASSERT_NE(in, nullptr);
    Bytes back;
    for (int c; (c = StreamGetByte(in)) != STREAM_EOF;)
        back.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(data, back);
    EXPECT_EQ(0, StreamError(in));
    EXPECT_EQ(STREAM_EOF, StreamGetByte(in));   // stays at the end
    EXPECT_EQ(data.size(), StreamTell(in));
    EXPECT_EQ(0, StreamSeek(in, STREAM_BUFFER_SIZE + 1));
    EXPECT_EQ(data[STREAM_BUFFER_SIZE + 1], StreamGetByte(in));
    EXPECT_EQ(STREAM_EOF, StreamPutByte('x', in));   // a reader refuses to write
    EXPECT_NE(0, StreamError(in));
    EXPECT_EQ(0, StreamClose(in));

    // Created again, the file starts empty.
    out = StreamCreate(path.c_str());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(0, StreamClose(out));
    EXPECT_TRUE(ReadBytes(path).empty());
}

TEST_F(ByteStreamTest, AWrittenFileIsHeldAgainstWritersAndDeletion)
{
    const std::string path = dir + "\\held.tmp";
    ByteStream* writer = StreamCreate(path.c_str());
    ASSERT_NE(writer, nullptr);
    StreamPutByte('m', writer);
    EXPECT_EQ(0, StreamFlush(writer));

    // Another writer, a rename and a delete by name are refused; a reader
    // (the decoder reading the temporary file back) is not.
    EXPECT_EQ(nullptr, StreamCreate(path.c_str()));
    EXPECT_FALSE(MoveFileA(path.c_str(), (dir + "\\moved.tmp").c_str()));
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    ByteStream* reader = StreamOpenRead(path.c_str());
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ('m', StreamGetByte(reader));
    EXPECT_EQ(0, StreamClose(reader));

    // Deleted while held where the system allows it, else once let go:
    // either way the file is gone and the stream closed.
    DeleteHeldFile(writer, path.c_str());
    EXPECT_FALSE(PathExists(path));
    writer = StreamCreate(path.c_str());   // its slot and its name are free again
    ASSERT_NE(writer, nullptr);
    DeleteHeldFile(writer, path.c_str());
    EXPECT_FALSE(PathExists(path));
}

TEST_F(ByteStreamTest, EveryStreamHasItsSlotUntilClosed)
{
    ByteStream* open[STREAM_COUNT];
    for (int i = 0; i < STREAM_COUNT; i++) {
        open[i] = StreamCreate((dir + "\\s" + std::to_string(i)).c_str());
        ASSERT_NE(open[i], nullptr) << i;
    }
    EXPECT_EQ(nullptr, StreamCreate((dir + "\\one-more").c_str()));
    EXPECT_FALSE(PathExists(dir + "\\one-more"));
    EXPECT_EQ(0, StreamClose(open[1]));
    ByteStream* again = StreamCreate((dir + "\\one-more").c_str());
    EXPECT_EQ(open[1], again);
    for (int i = 0; i < STREAM_COUNT; i++)
        StreamClose(i == 1 ? again : open[i]);
    // A file that cannot be opened takes no slot.
    EXPECT_EQ(nullptr, StreamOpenRead((dir + "\\missing").c_str()));
}

}  // namespace
