// Arbitrary existing file content times arbitrary name/value: the editor's result keeps
// whole lines, removes exactly the named key, keeps every other line, and never grows a
// line past the file's limit.
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
        std::string_view last;
        for (size_t start = 0; start < out.size(); start = out.find('\n', start) + 1) {
            last = std::string_view(out).substr(start, out.find('\n', start) - start);
            with_key += kv_line_key(last) == name;
        }
        if (with_key != 1 || kv_line_key(last) != name || last.size() > file.max_line ||
            (format == KvFormat::quoted && last.back() != '"'))
            __builtin_trap();
    }
    return 0;
}
