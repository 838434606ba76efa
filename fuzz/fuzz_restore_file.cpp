// Extract files of any content as the restore reads them back: a file whose text does not
// end within its 1024 bytes is refused and changes nothing; any other is read without
// running past the file, passwords stay terminated within their buffers, and no schedule
// value the extract marks as unread (negative) is taken.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "services/bios/bios_restore_file.h"

namespace {

bool untouched(const BiosSettings &settings)
{
    const BiosSettings fresh;
    if (settings.parsed || settings.schedule.days || settings.schedule.hour || settings.schedule.minute ||
        settings.dock_warning != fresh.dock_warning || settings.switches != fresh.switches)
        return false;
    for (const auto &text : settings.texts)
        if (!text.empty())
            return false;
    return settings.current_password[0] == '\0' && settings.new_password[0] == '\0';
}

// No day, hour or minute that the writers would refuse, and no auto-power setting without
// a time it could write.
bool schedule_sound(const BiosSettings &settings)
{
    const AutoOnSchedule &s = settings.schedule;
    return (!s.days || (*s.days >= 0 && *s.days < 128)) && (!s.hour || *s.hour >= 0) && (!s.minute || *s.minute >= 0);
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
    const size_t length = std::min(size, bios_extract_file_size);
    const bool ends = memchr(bytes, '\0', length) != nullptr || size < bios_extract_file_size;
    if (read != ends)
        __builtin_trap();
    if (!read && !untouched(settings))
        __builtin_trap();
    if (!schedule_sound(settings))
        __builtin_trap();
    if (!memchr(settings.current_password, '\0', sizeof settings.current_password) ||
        !memchr(settings.new_password, '\0', sizeof settings.new_password))
        __builtin_trap();
    return 0;
}
