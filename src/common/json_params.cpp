#include "common/json_params.h"

JsonParams::JsonParams(const char *text)
{
    parser_ = json_parser_new();
    if (!text || !json_parser_load_from_data(parser_, text, -1, &error_))
        return;
    JsonNode *root = json_parser_get_root(parser_);
    if (root)
        reader_ = json_reader_new(root);
}

JsonParams::~JsonParams()
{
    if (reader_)
        g_object_unref(reader_);
    if (parser_)
        g_object_unref(parser_);
    if (error_)
        g_error_free(error_);
}
