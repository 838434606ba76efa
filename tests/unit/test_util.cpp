#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/util.h"
#include "test_support.h"

TEST(UtilReadFile, RemovesOneTrailingLineEnd)
{
    TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {"abc\n", "abc"}, {"abc\r\n", "abc\r"}, {"abc\n\n", "abc\n"}, {"", ""}};
    for (const auto &[content, expected] : cases) {
        put(dir.file("f"), content);
        g_autofree char *text = nullptr;
        EXPECT_EQ(1, util_read_file(dir.file("f").c_str(), &text));
        EXPECT_STREQ(expected.c_str(), text);
    }
    LogCapture log;
    char *text = reinterpret_cast<char *>(0x1);
    EXPECT_EQ(0, util_read_file(dir.file("missing").c_str(), &text));
    EXPECT_EQ(nullptr, text);
    EXPECT_EQ(1u, log.lines.size());
}

TEST(UtilLockInstance, WritesThePidAndReportsWhyItCannotLock)
{
    TempDir dir;
    const std::string path = dir.file("lock");
    put(path, "old content that is longer");
    const int fd = util_lock_instance(path.c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(std::to_string(getpid()), slurp(path));
    EXPECT_EQ(FD_CLOEXEC, fcntl(fd, F_GETFD) & FD_CLOEXEC);
    // Held through another open file description: "held by another process".
    EXPECT_EQ(-1, util_lock_instance(path.c_str()));
    close(fd);
    EXPECT_EQ(-4, util_lock_instance(dir.file("missing/lock").c_str()));
}
