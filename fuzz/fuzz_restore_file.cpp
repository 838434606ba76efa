// Extract files of any content as the restore reads them back: a file whose text does not
// end within its 1024 bytes is refused and changes nothing; any other is read without
// running past the file, no password is ever taken from it, and no schedule value the
// extract marks as unread (negative) is taken.
#include <cstring>
#include <vector>

#include "services/bios/bios_restore_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An exact-size copy, so that reading one byte past the file is caught.
    const std::vector<char> file(data, data + size);
    static const char empty = 0;
    const char *bytes = size ? file.data() : &empty;
    BiosSettings settings;
    const bool read = bios_restore_file_read(bytes, size, "", &settings);
    const bool ends = size < bios_extract_file_size || memchr(bytes, '\0', bios_extract_file_size) != nullptr;
    const BiosSettings fresh;
    const bool untouched = !settings.parsed && !settings.schedule.days && !settings.schedule.hour &&
                           !settings.schedule.minute && settings.numbers == fresh.numbers &&
                           settings.texts == fresh.texts;
    const AutoOnUpdate &s = settings.schedule;
    const bool schedule_sound =
        (!s.days || (*s.days >= 0 && *s.days < 128)) && (!s.hour || *s.hour >= 0) && (!s.minute || *s.minute >= 0);
    const bool no_password = !settings.current_password[0] && !settings.new_password[0] && !settings.password_too_long;
    if (read != ends || (!read && !untouched) || !schedule_sound || !no_password)
        __builtin_trap();
    return 0;
}
