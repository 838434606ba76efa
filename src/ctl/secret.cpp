#include "ctl/secret.h"

#include <cstring>
#include <unistd.h>
#include <utility>

namespace {

bool read_all(const char *path, Secret *text, GError **error)
{
    char *contents = nullptr;
    gsize length = 0;
    if (strcmp(path, "-") != 0) {
        if (!g_file_get_contents(path, &contents, &length, error))
            return false;
    } else {
        GIOChannel *channel = g_io_channel_unix_new(STDIN_FILENO);
        const bool read = g_io_channel_set_encoding(channel, nullptr, error) == G_IO_STATUS_NORMAL &&
                          g_io_channel_read_to_end(channel, &contents, &length, error) == G_IO_STATUS_NORMAL;
        g_io_channel_unref(channel);
        if (!read)
            return false;
        // An empty input gives no buffer at all.
        if (!contents)
            contents = g_strdup("");
    }
    *text = Secret(contents, length + 1);
    return true;
}

// Cuts `text` at `end`, and a carriage return before it.
void cut_line(char *text, char *end)
{
    if (end > text && end[-1] == '\r')
        --end;
    *end = '\0';
}

}  // namespace

Secret::Secret(Secret &&other) noexcept
    : buffer_(std::exchange(other.buffer_, nullptr)), size_(std::exchange(other.size_, 0))
{
}

Secret &Secret::operator=(Secret &&other) noexcept
{
    if (this != &other) {
        clear();
        buffer_ = std::exchange(other.buffer_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void Secret::clear()
{
    if (buffer_)
        explicit_bzero(buffer_, size_);
    g_free(buffer_);
    buffer_ = nullptr;
    size_ = 0;
}

bool read_stdin_text(Secret *text, GError **error)
{
    if (!read_all("-", text, error))
        return false;
    char *buffer = text->data();
    const size_t length = strlen(buffer);
    if (length > 0 && buffer[length - 1] == '\n')
        cut_line(buffer, buffer + length - 1);
    return true;
}

bool read_password_file(const char *path, Secret *password, GError **error)
{
    if (!read_all(path, password, error))
        return false;
    char *buffer = password->data();
    if (char *end = strchr(buffer, '\n'))
        cut_line(buffer, end);
    return true;
}
