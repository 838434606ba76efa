#include "services/thirdapps/uc_plugins.h"

namespace {

bool holds_string(JsonNode *node)
{
    return node && JSON_NODE_HOLDS_VALUE(node) && json_node_get_value_type(node) == G_TYPE_STRING;
}

UcPluginRequest read_element(JsonNode *element)
{
    UcPluginRequest request;
    if (!element || !JSON_NODE_HOLDS_OBJECT(element))
        return request;
    JsonObject *object = json_node_get_object(element);
    JsonNode *plugin = json_object_get_member(object, "plugin");
    if (!holds_string(plugin))
        return request;
    request.plugin = json_node_get_string(plugin);
    request.usable = true;
    JsonNode *value = json_object_get_member(object, "value");
    request.on = value && JSON_NODE_HOLDS_VALUE(value) && json_node_get_boolean(value);
    return request;
}

}  // namespace

std::vector<UcPluginRequest> collect_uc_plugins(JsonNode *root)
{
    std::vector<UcPluginRequest> requests;
    if (!root || !JSON_NODE_HOLDS_ARRAY(root))
        return requests;
    JsonArray *array = json_node_get_array(root);
    const guint length = json_array_get_length(array);
    for (guint i = 0; i < length; ++i)
        requests.push_back(read_element(json_array_get_element(array, i)));
    return requests;
}
