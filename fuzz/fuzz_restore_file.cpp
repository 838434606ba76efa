// Extract files of any content as the restore reads them back: a file whose text does not
// end within its 1024 bytes is refused and changes nothing; any other is read without
// running past the file, and passwords stay terminated within their buffers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "services/bios/bios_restore_file.h"

namespace {

bool untouched(const BiosSettings &settings)
{
    const BiosSettings fresh;
    if (settings.parsed || settings.days_mask != fresh.days_mask || settings.hour_given || settings.minute_given ||
        settings.dock_warning != fresh.dock_warning || settings.switches != fresh.switches)
        return false;
    for (const auto &text : settings.texts)
        if (!text.empty())
            return false;
    return settings.current_password[0] == '\0' && settings.new_password[0] == '\0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An exact-size copy, so that reading one byte past the file is caught.
    const std::vector<char> file(data, data + size);
    static const char empty = 0;
    const char *bytes = size ? file.data() : &empty;
    BiosSettings settings;
    const bool read = bios_restore_file_read(bytes, size, &settings);
    const size_t length = std::min(size, BIOS_EXTRACT_FILE_SIZE);
    const bool ends = memchr(bytes, '\0', length) != nullptr || size < BIOS_EXTRACT_FILE_SIZE;
    if (read != ends)
        __builtin_trap();
    if (!read && !untouched(settings))
        __builtin_trap();
    if (!memchr(settings.current_password, '\0', sizeof settings.current_password) ||
        !memchr(settings.new_password, '\0', sizeof settings.new_password))
        __builtin_trap();
    return 0;
}
