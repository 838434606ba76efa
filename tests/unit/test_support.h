// What the unit tests share: captured log lines, a throwaway folder, a host root, file bytes.
#pragma once

#include <algorithm>
#include <filesystem>
#include <glib.h>
#include <string>
#include <system_error>
#include <vector>

#include "common/log.h"
#include "host/host_root.h"

// Collects the log lines written while it exists.
class LogCapture {
public:
    LogCapture() { log_set_sink(&LogCapture::collect, this); }
    ~LogCapture() { log_set_sink(nullptr, nullptr); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    size_t count(const std::string &text) const
    {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const auto &line) { return line.find(text) != line.npos; });
    }
    std::vector<std::string> lines;

private:
    static void collect(const char *line, void *self) { static_cast<LogCapture *>(self)->lines.emplace_back(line); }
};

// A folder removed with everything in it when the test ends.
class TempDir {
public:
    TempDir()
    {
        g_autofree char *made = g_dir_make_tmp("corvo-test-XXXXXX", nullptr);
        path = made ? made : "/nonexistent";
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string file(const std::string &name) const { return path + "/" + name; }
    std::string path;
};

// A temporary folder that stands for the host root while it exists.
class TempHostRoot : public TempDir {
public:
    TempHostRoot() { set(path.c_str()); }
    ~TempHostRoot() { set(nullptr); }
    // Points the host root at `root`; nullptr: none, as the tests otherwise run.
    static void set(const char *root)
    {
        root ? void(g_setenv("CORVO_HOST_ROOT", root, TRUE)) : g_unsetenv("CORVO_HOST_ROOT");
        host_root_reset_for_tests();
    }
};

// The bytes of a file ("" when it cannot be read), and a file made of `bytes`.
inline std::string slurp(const std::string &path)
{
    g_autofree char *bytes = nullptr;
    gsize size = 0;
    return g_file_get_contents(path.c_str(), &bytes, &size, nullptr) ? std::string(bytes, size) : "";
}
inline void put(const std::string &path, const std::string &bytes)
{
    g_file_set_contents(path.c_str(), bytes.data(), static_cast<gssize>(bytes.size()), nullptr);
}
