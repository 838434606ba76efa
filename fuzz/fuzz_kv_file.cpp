// Arbitrary existing file content times arbitrary name/value: the editor's result keeps
// whole lines, removes exactly the named key, keeps every other line, and never grows a
// line past the file's limit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/kv_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Layout: name \0 value \0 content (missing parts are empty).
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t first = input.find('\0');
    const std::string_view name = input.substr(0, first);
    std::string_view rest = first == std::string_view::npos ? std::string_view{} : input.substr(first + 1);
    const size_t second = rest.find('\0');
    const std::string_view value = rest.substr(0, second);
    const std::string_view content = second == std::string_view::npos ? std::string_view{} : rest.substr(second + 1);

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
        std::string_view last;
        for (size_t start = 0; start < out.size();) {
            const size_t end = out.find('\n', start);
            const std::string_view line(out.data() + start, end - start);
            if (kv_line_key(line) == name)
                ++with_key;
            last = line;
            start = end + 1;
        }
        if (with_key != 1 || kv_line_key(last) != name || last.size() > file.max_line)
            __builtin_trap();
        if (format == KvFormat::quoted && last.back() != '"')
            __builtin_trap();
    }
    return 0;
}
