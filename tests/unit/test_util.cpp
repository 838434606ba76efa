#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "common/util.h"
#include "log_capture.h"
#include "temp_dir.h"

namespace {

std::string read_back(const std::string &content, int *ok)
{
    TempDir dir;
    const std::string path = dir.file("f");
    std::ofstream(path, std::ios::binary) << content;
    char *text = nullptr;
    *ok = util_read_file(path.c_str(), &text);
    std::string result = text ? text : "<null>";
    g_free(text);
    return result;
}

}  // namespace

TEST(UtilReadFile, RemovesOneTrailingLineEnd)
{
    int ok = 0;
    EXPECT_EQ(read_back("abc\n", &ok), "abc");
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(read_back("abc\r\n", &ok), "abc\r");
    EXPECT_EQ(read_back("abc\n\n", &ok), "abc\n");
    EXPECT_EQ(read_back("", &ok), "");
    EXPECT_EQ(ok, 1);
}

TEST(UtilReadFile, MissingFileFailsWithOneLogLine)
{
    LogCapture log;
    char *text = reinterpret_cast<char *>(0x1);
    EXPECT_EQ(util_read_file("/nonexistent/corvo/file", &text), 0);
    EXPECT_EQ(text, nullptr);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("Error: Failed to read /nonexistent/corvo/file file. Reason:"), std::string::npos);
}

TEST(UtilLockInstance, WritesPidWithoutLineEndAndKeepsDescriptor)
{
    TempDir dir;
    const std::string path = dir.file("lock");
    std::ofstream(path) << "old content that is longer";
    const int fd = util_lock_instance(path.c_str());
    ASSERT_GE(fd, 0);
    std::ifstream in(path);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, std::to_string(getpid()));
    EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    close(fd);
}

TEST(UtilLockInstance, ErrorCodes)
{
    TempDir dir;
    EXPECT_EQ(util_lock_instance(dir.file("missing/lock").c_str()), -4);
    // A lock held through another open file description is "held by another process".
    const std::string path = dir.file("lock");
    const int holder = open(path.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(util_lock_instance(path.c_str()), -1);
    close(holder);
}
