#include <gtest/gtest.h>

#include "ResultFile.h"
#include "Scratch.h"

namespace zandrel {
namespace {

TEST(AppendResultLine, CreatesThenAppendsWithCrLf) {
    testing::ScratchDir dir;
    const std::string path = dir.PathOf("event.log");
    ASSERT_TRUE(AppendResultLine(path, "first").ok());
    ASSERT_TRUE(AppendResultLine(path, "\tsecond\r\n").ok());
    EXPECT_EQ(dir.Read("event.log"), "first\r\n\tsecond\r\n\r\n");
}

TEST(AppendResultLine, WritesNulBytesAsTheyAre) {
    testing::ScratchDir dir;
    ASSERT_TRUE(AppendResultLine(dir.PathOf("event.log"), std::string("a\0b\0", 4)).ok());
    EXPECT_EQ(dir.Read("event.log"), std::string("a\0b\0\r\n", 6));
}

TEST(AppendResultLine, ReportsAFileThatCannotBeOpened) {
    testing::ScratchDir dir;
    EXPECT_FALSE(AppendResultLine(dir.PathOf("no-such-directory/event.log"), "lost").ok());
}

}  // namespace
}  // namespace zandrel
