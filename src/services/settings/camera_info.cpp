#include "services/settings/camera_info.h"

#include <cstring>
#include <glib.h>

#include "common/error.h"
#include "common/log.h"
#include "common/reply.h"
#include "host/host_root.h"
#include "services/settings/settings_handlers.h"

namespace {

constexpr int video_device_count = 64;
constexpr size_t identity_max = 256;
// A driver that never ends an enumeration must not keep the daemon (and every service
// with it) looping; no real device lists anywhere near this many entries.
constexpr unsigned enumeration_limit = 1024;

constexpr const char *device_path_format = "/dev/%s";
constexpr const char *identity_path_format = "/compat/linux/sys/class/video4linux/%s/device/uevent";

// Objects and rates are written with a trailing ','; the one before a closing bracket goes.
void close_with(std::string &text, char closing)
{
    if (!text.empty() && text.back() == ',')
        text.pop_back();
    text += closing;
}

// Hex digits at `pos` into `out` as "%04lx"; the position after them, or npos when none.
size_t read_hex(std::string_view bytes, size_t pos, std::string *out)
{
    unsigned long value = 0;
    size_t digits = 0;
    while (pos < bytes.size() && g_ascii_isxdigit(bytes[pos])) {
        if (digits < 2 * sizeof value)  // further digits would only overflow
            value = value * 16 + static_cast<unsigned long>(g_ascii_xdigit_value(bytes[pos]));
        ++digits;
        ++pos;
    }
    if (digits == 0)
        return std::string_view::npos;
    char text[24];
    g_snprintf(text, sizeof text, "%04lx", value);
    *out = text;
    return pos;
}

bool has_usable_format(V4l2Model &model, int fd)
{
    for (unsigned index = 0; index < enumeration_limit; ++index) {
        v4l2_fmtdesc format{};
        format.index = index;
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (!model.enum_fmt(fd, &format, nullptr))
            return false;
        if (format.pixelformat != 0)
            return true;
    }
    return false;
}

void append_rates(V4l2Model &model, int fd, unsigned code, unsigned width, unsigned height, std::string &out)
{
    for (unsigned index = 0; index < enumeration_limit; ++index) {
        v4l2_frmivalenum interval{};
        interval.index = index;
        interval.pixel_format = code;
        interval.width = width;
        interval.height = height;
        if (!model.enum_frameintervals(fd, &interval, nullptr))
            return;
        // A zero time per frame names no rate at all.
        if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE || interval.discrete.numerator == 0)
            continue;
        const double rate = static_cast<double>(interval.discrete.denominator) / interval.discrete.numerator;
        out += std::to_string(static_cast<long long>(rate));
        out += ',';
    }
}

void append_sizes(V4l2Model &model, int fd, unsigned code, std::string &out)
{
    for (unsigned index = 0; index < enumeration_limit; ++index) {
        v4l2_frmsizeenum size{};
        size.index = index;
        size.pixel_format = code;
        if (!model.enum_framesizes(fd, &size, nullptr))
            return;
        // A range of sizes is shown by its largest, which the device can be set to.
        const bool range = size.type == V4L2_FRMSIZE_TYPE_STEPWISE || size.type == V4L2_FRMSIZE_TYPE_CONTINUOUS;
        const unsigned width = range ? size.stepwise.max_width : size.discrete.width;
        const unsigned height = range ? size.stepwise.max_height : size.discrete.height;
        out += "\"res" + std::to_string(index + 1) + "\" : {\"value\" : \"" + std::to_string(width) + "x" +
               std::to_string(height) + "\", ";
        out += "\"fps\" : [";
        append_rates(model, fd, code, width, height, out);
        close_with(out, ']');
        close_with(out, '}');
        out += ',';
    }
}

void append_formats(V4l2Model &model, int fd, std::string &out)
{
    for (unsigned index = 0; index < enumeration_limit; ++index) {
        v4l2_fmtdesc format{};
        format.index = index;
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (!model.enum_fmt(fd, &format, nullptr))
            return;
        out += "{ \"format\" : " + json_quote(camera_fourcc_text(format.pixelformat)) + ", ";
        out += "\"resolutions\" : {";
        append_sizes(model, fd, format.pixelformat, out);
        close_with(out, '}');
        close_with(out, '}');
        out += ',';
    }
}

CameraIds read_ids(V4l2Model &model, const char *identity_path)
{
    std::string bytes;
    g_autoptr(GError) error = nullptr;
    if (model.read_identity(identity_path, identity_max, &bytes, &error))
        return camera_identity_ids(bytes);
    if (g_error_matches(error, CORVO_ERROR, CORVO_ERROR_OPEN_FAILED))
        wlog('D', log_tag::settings, "File open Failed : %s\n", identity_path);
    else
        wlog('D', log_tag::settings, "failed to read fd_file\n");
    return {};
}

}  // namespace

CameraIds camera_identity_ids(std::string_view bytes)
{
    static constexpr std::string_view marker = "PRODUCT=";
    const size_t found = bytes.find(marker);
    if (found == std::string_view::npos)
        return {};
    CameraIds ids;
    const size_t after_vendor = read_hex(bytes, found + marker.size(), &ids.vendor);
    if (after_vendor == std::string_view::npos)
        return {};
    read_hex(bytes, after_vendor + 1, &ids.product);
    return ids;
}

std::string camera_fourcc_text(unsigned int code)
{
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((code >> (8 * i)) & 0xff);
        if (c == '\0')
            break;
        text += c;
    }
    return text;
}

std::string camera_device_list(V4l2Model &model)
{
    std::string list = "[";
    int number = 1;
    for (int i = 0; i < video_device_count; ++i) {
        char name[16];
        char device_path[256];
        char identity_path[256];
        g_snprintf(name, sizeof name, "video%d", i);
        g_snprintf(device_path, sizeof device_path, device_path_format, name);
        g_snprintf(identity_path, sizeof identity_path, identity_path_format, name);

        V4l2Device device(model, host_path(device_path).c_str());
        if (!device.is_open())
            continue;
        v4l2_capability capability{};
        if (!model.querycap(device.fd(), &capability, nullptr)) {
            wlog('D', log_tag::settings, "Device Capability reading failed\n");
            continue;
        }
        const CameraIds ids = read_ids(model, identity_path);
        if (!has_usable_format(model, device.fd())) {
            wlog('D', log_tag::settings,
                 "All Pixel formats are 0. This device path %s doesn't support video stream. Skipping the same",
                 device_path);
            continue;
        }
        const char *card = reinterpret_cast<const char *>(capability.card);
        const std::string_view card_name(card, strnlen(card, sizeof capability.card));
        list += "{\"DeviceName\": \"" + json_escape(card_name) + " (" + ids.vendor + ":" + ids.product + ") - " +
                std::to_string(number) + "\",";
        list += "\"DevicePath\": " + json_quote(device_path) + ",";
        list += "\"Details\" : [";
        append_formats(model, device.fd(), list);
        close_with(list, ']');
        close_with(list, '}');
        list += ',';
        ++number;
    }
    close_with(list, ']');
    return list;
}

gboolean on_handle_admin_policy_get_camera_info(CorvoSettings *, GDBusMethodInvocation *invocation, const gchar *)
{
    const std::string reply = reply_camera_list(camera_device_list(v4l2_model()));
    wlog('D', log_tag::settings, "Final result of camera info %s\n", reply.c_str());
    return complete_with_reply(invocation, reply);
}
