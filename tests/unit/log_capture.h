// Collects log lines and standard-output text of the code under test.
#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/log.h"

class LogCapture {
public:
    LogCapture() { log_set_sink(&LogCapture::collect, this); }
    ~LogCapture() { log_set_sink(nullptr, nullptr); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    const std::vector<std::string> &lines() const { return lines_; }
    size_t count_containing(const std::string &text) const
    {
        size_t n = 0;
        for (const auto &line : lines_)
            if (line.find(text) != std::string::npos)
                ++n;
        return n;
    }

private:
    static void collect(const char *line, void *self) { static_cast<LogCapture *>(self)->lines_.emplace_back(line); }
    std::vector<std::string> lines_;
};

// Redirects stdout into a pipe for the life of the object; text() reads what was printed.
class StdoutCapture {
public:
    StdoutCapture()
    {
        fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        if (pipe(pipe_) == 0)
            dup2(pipe_[1], STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    std::string text()
    {
        restore();
        return text_;
    }

private:
    void restore()
    {
        if (saved_ < 0)
            return;
        fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
        close(pipe_[1]);
        char buffer[4096];
        ssize_t n;
        while ((n = read(pipe_[0], buffer, sizeof buffer)) > 0)
            text_.append(buffer, static_cast<size_t>(n));
        close(pipe_[0]);
    }
    int saved_ = -1;
    int pipe_[2] = {-1, -1};
    std::string text_;
};
