// The one conversion from the engine's Status to the C interface's returns.
#include "api/export_guard.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/message.h"
#include "common/message_capture.h"

namespace velk::api {
namespace {

using test::MessageCapture;

class ExportGuard : public ::testing::Test {
protected:
    void SetUp() override { setOutFunc(&m_capture, MessageCapture::sink); }
    void TearDown() override { setOutFunc(nullptr, nullptr); }

    MessageCapture m_capture;
};

TEST_F(ExportGuard, SaveErrorSaysAFailureOnceAndSuccessNever) {
    EXPECT_EQ(saveError(Status::ok()), 1);
    EXPECT_EQ(saveError(Status(StatusCode::kInvalid)), 0);  // no message: silent
    EXPECT_EQ(m_capture.count(), 0u);
    EXPECT_EQ(saveError(failure(StatusCode::kInvalid, "Bad %s %d!\n", "value", 7)), 0);
    EXPECT_EQ(m_capture.lines(), std::vector<std::string>{"Bad value 7!"});
}

TEST_F(ExportGuard, BodiesReturnValuesOutcomesOrStatuses) {
    EXPECT_EQ(guarded("Plain", -1, [] { return 5; }), 5);
    EXPECT_EQ(guarded("Ok", 0, [] { return Status::ok(); }), 1);
    EXPECT_EQ(guarded("Value", int64_t(-1), [] { return Outcome<int64_t>(int64_t(42)); }), 42);
    EXPECT_EQ(m_capture.count(), 0u);
    EXPECT_EQ(guarded("Refused", 0, [] { return Status(StatusCode::kInvalid, "No!\n"); }), 0);
    EXPECT_EQ(guarded("NoValue", int64_t(-1),
                      [] { return Outcome<int64_t>(Status(StatusCode::kIo, "Gone\n")); }),
              -1);
    EXPECT_EQ(m_capture.lines(), (std::vector<std::string>{"No!", "Gone"}));
}

// An exception never leaves an export: it becomes the failure value and one message.
TEST_F(ExportGuard, ExceptionsBecomeOneMessageEach) {
    struct Case {
        bool outOfMemory;
        MemoryMessage memory;
        const char* message;
    } cases[] = {
        {true, MemoryMessage::kExplained,
         "Out of memory in Export: the test needs more memory than the system gives"},
        {true, MemoryMessage::kNamed, "Out of memory in Export"},
        {true, MemoryMessage::kAsInternal, "Internal failure in Export"},
        {false, MemoryMessage::kExplained, "Internal failure in Export"},
        {false, MemoryMessage::kNamed, "Internal failure in Export"},
    };
    for (const Case& c : cases) {
        m_capture.clear();
        const int32_t result = guarded(
            "Export", int32_t(-7),
            [&]() -> int32_t {
                if (c.outOfMemory) throw std::bad_alloc();
                throw std::runtime_error("boom");
            },
            c.memory);
        EXPECT_EQ(result, -7) << c.message;
        EXPECT_EQ(m_capture.lines(), std::vector<std::string>{c.message});
    }
}

}  // namespace
}  // namespace velk::api
