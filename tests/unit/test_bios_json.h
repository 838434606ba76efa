// Reading the JSON texts the BIOS handlers produce, member by member, in order.
#pragma once

#include <json-glib/json-glib.h>
#include <string>
#include <utility>
#include <vector>

using Members = std::vector<std::pair<std::string, std::string>>;

// The members of a JSON object text in their order, each value as compact JSON; an empty
// list with `ok` false when the text is not one JSON object.
inline Members json_members(const std::string &text, bool *ok = nullptr)
{
    Members members;
    JsonParser *parser = json_parser_new();
    const bool parsed = json_parser_load_from_data(parser, text.c_str(), static_cast<gssize>(text.size()), nullptr);
    JsonNode *root = parsed ? json_parser_get_root(parser) : nullptr;
    if (ok)
        *ok = root && JSON_NODE_HOLDS_OBJECT(root);
    if (root && JSON_NODE_HOLDS_OBJECT(root)) {
        JsonObjectIter iter;
        const char *name = nullptr;
        JsonNode *value = nullptr;
        json_object_iter_init_ordered(&iter, json_node_get_object(root));
        while (json_object_iter_next_ordered(&iter, &name, &value)) {
            char *compact = json_to_string(value, FALSE);
            members.emplace_back(name, compact);
            g_free(compact);
        }
    }
    g_object_unref(parser);
    return members;
}

inline std::vector<std::string> member_names(const Members &members)
{
    std::vector<std::string> names;
    for (const auto &member : members)
        names.push_back(member.first);
    return names;
}

// The elements of a JSON array of strings; {"<not JSON>"} when the text is not one.
inline std::vector<std::string> json_strings(const char *text)
{
    std::vector<std::string> strings;
    if (!text)
        return strings;
    JsonParser *parser = json_parser_new();
    if (json_parser_load_from_data(parser, text, -1, nullptr) && JSON_NODE_HOLDS_ARRAY(json_parser_get_root(parser))) {
        JsonArray *array = json_node_get_array(json_parser_get_root(parser));
        for (guint i = 0; i < json_array_get_length(array); ++i)
            strings.emplace_back(json_array_get_string_element(array, i));
    } else {
        strings.push_back("<not JSON>");
    }
    g_object_unref(parser);
    return strings;
}
