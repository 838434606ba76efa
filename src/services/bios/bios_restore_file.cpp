#include "services/bios/bios_restore_file.h"

#include <cstring>
#include <string>

#include "common/json_params.h"

bool bios_restore_file_read(const char *bytes, size_t size, const char *model, BiosSettings *settings)
{
    // A file shorter than the buffer ends in the buffer's zero bytes.
    const size_t length = size < bios_extract_file_size ? size : bios_extract_file_size;
    const void *end = memchr(bytes, '\0', length);
    if (!end && length == bios_extract_file_size)
        return false;
    std::string text(bytes, end ? static_cast<size_t>(static_cast<const char *>(end) - bytes) : length);
    bios_settings_read(JsonParams(text.c_str()), true, model, settings);
    explicit_bzero(text.data(), text.size());
    return true;
}
