// Arbitrary existing file content times arbitrary name/value: the editor's result keeps
// whole lines, leaves exactly one line of the named key (in the place of its first old line,
// else last), keeps every other line, and never grows a line past the file's limit.
#include <string_view>

#include "host/kv_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Layout: name \0 value \0 content (missing parts are empty).
    std::string_view input(reinterpret_cast<const char *>(data), size);
    const auto next = [&input] {
        const std::string_view part = input.substr(0, input.find('\0'));
        input.remove_prefix(std::min(input.size(), part.size() + 1));
        return part;
    };
    const std::string_view name = next(), value = next(), content = input;

    for (const KvFormat format : {KvFormat::quoted, KvFormat::plain}) {
        const KvFileSpec file{"unused", format, format == KvFormat::quoted ? 1023u : 255u};
        if (!kv_name_valid(name) || !kv_value_valid(value, format) || name.size() + 3 >= file.max_line)
            continue;  // refused before the file is touched
        KvEdit edit;
        edit.remove(name);
        edit.append(name, value);
        const std::string out = kv_apply(file, content, edit);
        if (out.empty() || out.back() != '\n')
            __builtin_trap();
        size_t with_key = 0;
        std::string_view last, keyed;
        for (size_t start = 0; start < out.size(); start = out.find('\n', start) + 1) {
            last = std::string_view(out).substr(start, out.find('\n', start) - start);
            if (kv_line_key(last) == name) {
                ++with_key;
                keyed = last;
            }
        }
        const bool had_key = kv_apply(file, content, KvEdit()) != kv_apply(file, content, [&] {
                                 KvEdit removal;
                                 removal.remove(name);
                                 return removal;
                             }());
        if (with_key != 1 || (!had_key && keyed != last) || keyed.size() > file.max_line ||
            (format == KvFormat::quoted && keyed.back() != '"'))
            __builtin_trap();
    }
    return 0;
}
