// The EnableUCPlugins request as a list: one entry per array element, in array order.
#pragma once

#include <json-glib/json-glib.h>
#include <string>
#include <vector>

struct UcPluginRequest {
    std::string plugin;   // passed to the toggle script as one argument, unchanged
    bool on = false;      // "value": true switches the plug-in on
    bool usable = false;  // false: the element is not an object or has no string "plugin"
};

// Collects the elements of `root`; a root that is not an array gives an empty list.
std::vector<UcPluginRequest> collect_uc_plugins(JsonNode *root);
