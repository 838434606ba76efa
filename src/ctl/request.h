// Request objects built with json-glib, so every value is escaped whatever it holds.
#pragma once

#include <json-glib/json-glib.h>

#include "ctl/secret.h"

class Request {
public:
    Request() : object_(json_object_new()) {}
    ~Request();
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;

    void set_text(const char *member, const char *value) { json_object_set_string_member(object_, member, value); }
    void set_int(const char *member, gint64 value) { json_object_set_int_member(object_, member, value); }
    void set_bool(const char *member, bool value) { json_object_set_boolean_member(object_, member, value); }
    // A text wiped from the object when the request goes.
    void set_secret(const char *member, const char *value);
    // A number when `value` is a decimal integer, a text otherwise.
    void set_typed(const char *member, const char *value);

    bool empty() const { return json_object_get_size(object_) == 0; }
    // The request as compact JSON; wiped when released, as it may hold a secret.
    Secret text() const;

private:
    JsonObject *object_;
    GPtrArray *secrets_ = nullptr;  // names of the secret members
};

// `path` made absolute against the working folder; an absolute path is kept as given.
char *absolute_path(const char *path);

// True when `text` is a decimal integer, stored in `value`.
bool parse_integer(const char *text, gint64 *value);

// `node` as compact JSON (free with g_free).
char *json_text(JsonNode *node);
