#include "base/message.h"

#include <gtest/gtest.h>

#include "base/text_buffer.h"
#include "common/message_capture.h"

namespace velk {
namespace {

using test::MessageCapture;

class MessageTest : public ::testing::Test {
protected:
    void SetUp() override { setOutFunc(&m_capture, MessageCapture::sink); }
    void TearDown() override { setOutFunc(nullptr, nullptr); }
    MessageCapture m_capture;
};

TEST_F(MessageTest, TrailingLineFeedsAreRemovedButCarriageReturnsStay) {
    report("Duplicate request definition:%s\n", "a");
    report("two\n\n");
    report("Request: %d/%d\r", 1, 2);
    report("\n\r\n");
    EXPECT_EQ(m_capture.lines(), (std::vector<std::string>{"Duplicate request definition:a", "two",
                                                           "Request: 1/2\r", "\n\r"}));
}

TEST_F(MessageTest, LongMessagesAreCutToTheBuffer) {
    std::string big(10000, 'z');
    report("%s", big.c_str());
    EXPECT_EQ(m_capture.last(), std::string(kMessageBufferSize - 1, 'z'));
}

TEST_F(MessageTest, DefaultProgressFormatsThroughTheMessagePath) {
    defaultProgressReporter(nullptr, 7, -1);
    defaultProgressReporter(nullptr, 12, 10);
    defaultProgressReporter(nullptr, 3, 10);
    EXPECT_EQ(m_capture.lines(), (std::vector<std::string>{"Requests made so far: 7\r",
                                                           "Request: 10/10\r", "Request: 3/10\r"}));

    setProgressReporter(nullptr, defaultProgressReporter);
    reportProgress(1, 4);
    EXPECT_EQ(m_capture.last(), "Request: 1/4\r");
    setProgressReporter(nullptr, nullptr);
    reportProgress(2, 4);  // silenced, not called through null
    EXPECT_EQ(m_capture.last(), "Request: 1/4\r");
}

TEST_F(MessageTest, DefaultOutputWritesTheTextUnchanged) {
    testing::internal::CaptureStdout();
    defaultOutFunc(nullptr, "Request: 1/2\r");
    defaultOutFunc(nullptr, "next");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Request: 1/2\rnext");
}

TEST(TextBuffer, GrowsByAQuarterAndKeepsItsBytes) {
    TextBuffer buffer(128);
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        std::string piece = std::to_string(i) + ",";
        buffer.append(piece);
        expected += piece;
        ASSERT_LE(buffer.size() + 10, buffer.capacity());
    }
    EXPECT_EQ(buffer.view(), expected);
    EXPECT_EQ(buffer.c_str()[buffer.size()], '\0');
    size_t capacity = buffer.capacity();
    buffer.clear();
    EXPECT_EQ(buffer.capacity(), capacity);

    TextBuffer small(128);
    small.append(std::string(119, 'a'));  // 119 + 10 > 128: grows once, by a quarter
    EXPECT_EQ(small.capacity(), 160u);

    // Nothing is allocated until the first bytes; an empty buffer still reads
    // as an empty C string, whatever is asked of it.
    TextBuffer unused(4096);
    unused.clear();
    unused.truncate(0);
    unused.dropBytesFrom(0, [](char) { return true; });
    EXPECT_EQ(TextBuffer(unused).capacity() + unused.capacity(), 0u);
    EXPECT_STREQ(unused.c_str(), "");
    unused.append("", 0);
    EXPECT_EQ(unused.capacity(), 4096u);
}

}  // namespace
}  // namespace velk
