// The two replies of com.corvo.thirdapps (with a blank after the colon).
#pragma once

constexpr const char *THIRDAPPS_REPLY_OK = "{\"result\": \"ok\"}";
constexpr const char *THIRDAPPS_REPLY_FAILED = "{\"result\": \"failed\"}";
