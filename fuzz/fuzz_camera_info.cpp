// The camera list over a device model whose every answer comes from the input: devices
// present or not, refusals, card names and identity bytes of any content, formats, sizes
// and rates of any value and type. The reply is always one JSON object with one array
// element per usable device, and every device opened is closed again.
#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <json-glib/json-glib.h>
#include <map>
#include <string>
#include <vector>

#include "common/reply.h"
#include "services/settings/camera_info.h"

namespace {

struct Interval {
    uint32_t type, numerator, denominator;
};
struct Size {
    uint32_t type, width, height;
    std::vector<Interval> intervals;
};
struct Format {
    uint32_t code;
    std::vector<Size> sizes;
};
struct Device {
    int open_error = 0;
    int querycap_error = 0;
    std::string card;
    bool has_identity = false;
    bool identity_fails = false;
    std::string identity;
    std::vector<Format> formats;
};

class FuzzedCameras final : public V4l2Model {
public:
    explicit FuzzedCameras(FuzzedDataProvider &in)
    {
        const int count = in.ConsumeIntegralInRange(0, 6);
        for (int d = 0; d < count; ++d) {
            Device &device = devices_[in.ConsumeIntegralInRange(0, 70)];
            device.open_error = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange(0, 3) * EACCES;
            device.querycap_error = in.ConsumeIntegralInRange(0, 7) == 0 ? EIO : 0;
            device.card = in.ConsumeRandomLengthString(40);
            device.has_identity = in.ConsumeBool();
            device.identity_fails = in.ConsumeIntegralInRange(0, 7) == 0;
            device.identity = in.ConsumeRandomLengthString(300);
            const int formats = in.ConsumeIntegralInRange(0, 4);
            for (int f = 0; f < formats; ++f) {
                Format format{in.ConsumeIntegral<uint32_t>(), {}};
                const int sizes = in.ConsumeIntegralInRange(0, 4);
                for (int s = 0; s < sizes; ++s) {
                    Size size{in.ConsumeIntegralInRange<uint32_t>(0, 4),
                              in.ConsumeIntegral<uint32_t>(),
                              in.ConsumeIntegral<uint32_t>(),
                              {}};
                    const int intervals = in.ConsumeIntegralInRange(0, 4);
                    for (int i = 0; i < intervals; ++i)
                        size.intervals.push_back({in.ConsumeIntegralInRange<uint32_t>(0, 4),
                                                  in.ConsumeIntegral<uint32_t>(), in.ConsumeIntegral<uint32_t>()});
                    format.sizes.push_back(std::move(size));
                }
                device.formats.push_back(std::move(format));
            }
        }
        endless_ = in.ConsumeIntegralInRange(0, 3);  // 1..3: one enumeration level never ends
    }
    FuzzedCameras(const FuzzedCameras &) = delete;
    FuzzedCameras &operator=(const FuzzedCameras &) = delete;

    size_t still_open() const { return open_.size(); }

    // Devices that the list must show: they open, answer, and list a nonzero format (or
    // enumerate formats without end, which the list bounds).
    size_t usable() const
    {
        size_t n = 0;
        for (const auto &[index, device] : devices_) {
            if (index >= 64 || device.open_error || device.querycap_error)
                continue;
            bool nonzero = endless_ == 1;
            for (const Format &format : device.formats)
                nonzero = nonzero || format.code != 0;
            // Formats after the first zero-coded one still count: only all zero is unusable.
            n += nonzero ? 1 : 0;
        }
        return n;
    }

    int open(const char *path, int *error) override
    {
        const char *digits = strstr(path, "/dev/video");
        if (!digits) {
            *error = ENOENT;
            return -1;
        }
        const auto found = devices_.find(atoi(digits + strlen("/dev/video")));
        if (found == devices_.end() || found->second.open_error) {
            *error = found == devices_.end() ? ENOENT : found->second.open_error;
            return -1;
        }
        open_[next_fd_] = &found->second;
        return next_fd_++;
    }
    void close(int fd) override
    {
        if (open_.erase(fd) != 1)
            __builtin_trap();  // closed twice, or never opened
    }
    int querycap(int fd, v4l2_capability *capability) override
    {
        const Device &device = at(fd);
        if (device.querycap_error)
            return device.querycap_error;
        // The card field is fixed-size and need not end with a zero byte.
        memset(capability->card, 'Z', sizeof capability->card);
        memcpy(capability->card, device.card.data(), std::min(device.card.size(), sizeof capability->card));
        return 0;
    }
    int enum_fmt(int fd, v4l2_fmtdesc *format) override
    {
        const Device &device = at(fd);
        if (endless_ == 1) {
            format->pixelformat = v4l2_fourcc('Y', 'U', 'Y', 'V');
            return 0;
        }
        if (format->index >= device.formats.size())
            return EINVAL;
        format->pixelformat = device.formats[format->index].code;
        return 0;
    }
    int enum_framesizes(int fd, v4l2_frmsizeenum *size) override
    {
        const Format *format = find(at(fd), size->pixel_format);
        if (endless_ == 2) {
            size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            size->discrete = {640, 480};
            return 0;
        }
        if (!format || size->index >= format->sizes.size())
            return EINVAL;
        const Size &fake = format->sizes[size->index];
        size->type = fake.type;
        if (fake.type == V4L2_FRMSIZE_TYPE_DISCRETE)
            size->discrete = {fake.width, fake.height};
        else
            size->stepwise = {1, fake.width, 1, 1, fake.height, 1};
        return 0;
    }
    int enum_frameintervals(int fd, v4l2_frmivalenum *interval) override
    {
        if (endless_ == 3) {
            interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            interval->discrete = {1, 30};
            return 0;
        }
        const Format *format = find(at(fd), interval->pixel_format);
        if (!format)
            return EINVAL;
        for (const Size &size : format->sizes) {
            if (size.width != interval->width || size.height != interval->height)
                continue;
            if (interval->index >= size.intervals.size())
                return EINVAL;
            const Interval &fake = size.intervals[interval->index];
            interval->type = fake.type;
            if (fake.type == V4L2_FRMIVAL_TYPE_DISCRETE)
                interval->discrete = {fake.numerator, fake.denominator};
            else
                interval->stepwise = {{fake.numerator, fake.denominator}, {1, 1}, {1, 1}};
            return 0;
        }
        return EINVAL;
    }
    int g_fmt(int, v4l2_format *) override { return EINVAL; }
    int try_fmt(int, v4l2_format *) override { return EINVAL; }
    int s_fmt(int, v4l2_format *) override { return EINVAL; }
    int g_parm(int, v4l2_streamparm *) override { return EINVAL; }
    int s_parm(int, v4l2_streamparm *) override { return EINVAL; }
    IdentityRead read_identity(const char *path, size_t max, std::string *bytes) override
    {
        const char *digits = strstr(path, "/video");
        if (!digits)
            __builtin_trap();  // always a video4linux identity path
        const auto found = devices_.find(atoi(digits + strlen("/video")));
        if (found == devices_.end() || !found->second.has_identity)
            return IdentityRead::open_failed;
        if (found->second.identity_fails)
            return IdentityRead::read_failed;
        *bytes = found->second.identity.substr(0, max);
        return IdentityRead::ok;
    }

private:
    const Device &at(int fd) const
    {
        const auto found = open_.find(fd);
        if (found == open_.end())
            __builtin_trap();  // a request on a descriptor that is not open
        return *found->second;
    }
    static const Format *find(const Device &device, uint32_t code)
    {
        for (const Format &format : device.formats)
            if (format.code == code)
                return &format;
        return nullptr;
    }

    std::map<int, Device> devices_;
    std::map<int, const Device *> open_;
    int next_fd_ = 3;
    int endless_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    FuzzedCameras cameras(in);

    const std::string list = camera_device_list(cameras);
    const std::string reply = reply_camera_list(list);
    if (cameras.still_open() != 0)
        __builtin_trap();
    if (!g_utf8_validate(reply.c_str(), static_cast<gssize>(reply.size()), nullptr))
        __builtin_trap();

    g_autoptr(JsonParser) parser = json_parser_new();
    if (!json_parser_load_from_data(parser, reply.c_str(), static_cast<gssize>(reply.size()), nullptr))
        __builtin_trap();
    JsonNode *root = json_parser_get_root(parser);
    if (!JSON_NODE_HOLDS_OBJECT(root))
        __builtin_trap();
    JsonNode *message = json_object_get_member(json_node_get_object(root), "message");
    if (!message || !JSON_NODE_HOLDS_ARRAY(message))
        __builtin_trap();
    JsonArray *devices = json_node_get_array(message);
    if (json_array_get_length(devices) != cameras.usable())
        __builtin_trap();
    for (guint i = 0; i < json_array_get_length(devices); ++i) {
        JsonNode *device = json_array_get_element(devices, i);
        if (!JSON_NODE_HOLDS_OBJECT(device))
            __builtin_trap();
        JsonObject *object = json_node_get_object(device);
        // Devices are numbered from 1 in the order listed.
        const char *name = json_object_get_string_member_with_default(object, "DeviceName", nullptr);
        const std::string suffix = " - " + std::to_string(i + 1);
        if (!name || strlen(name) < suffix.size() || strcmp(name + strlen(name) - suffix.size(), suffix.c_str()) != 0)
            __builtin_trap();
        JsonNode *details = json_object_get_member(object, "Details");
        if (!details || !JSON_NODE_HOLDS_ARRAY(details))
            __builtin_trap();
    }
    return 0;
}
