// The camera list over the fake device model filled from the input: devices present or not,
// refusals, card names and identity bytes of any content, formats, sizes and rates of any
// value and type, and drivers whose enumerations never end. The reply is always one JSON
// object with one element per usable device, numbered in order, and every device opened is
// closed again.
#include <fuzzer/FuzzedDataProvider.h>

#include <json-glib/json-glib.h>

#include "common/reply.h"
#include "fake_cameras.h"
#include "services/settings/camera_info.h"

namespace {

// A driver may answer one enumeration level without end: formats, sizes or rates. Every
// descriptor is closed exactly once.
class EndlessCameras : public FakeCameras {
public:
    int endless = 0;  // 1 formats, 2 sizes, 3 intervals
    bool enum_fmt(int fd, v4l2_fmtdesc *format, GError **error) override
    {
        if (endless != 1)
            return FakeCameras::enum_fmt(fd, format, error);
        format->pixelformat = fourcc("YUYV");
        return true;
    }
    bool enum_framesizes(int fd, v4l2_frmsizeenum *size, GError **error) override
    {
        if (endless != 2)
            return FakeCameras::enum_framesizes(fd, size, error);
        size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size->discrete = {640, 480};
        return true;
    }
    bool enum_frameintervals(int fd, v4l2_frmivalenum *interval, GError **error) override
    {
        if (endless != 3)
            return FakeCameras::enum_frameintervals(fd, interval, error);
        interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        interval->discrete = {1, 30};
        return true;
    }
    void close(int fd) override
    {
        const size_t before = open_count();
        FakeCameras::close(fd);
        if (open_count() != before - 1)
            __builtin_trap();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    EndlessCameras cameras;
    // The input is consumed in the order of the seed corpus: per device its number, whether it
    // opens, the rest of its answers, then its formats with their sizes and intervals.
    for (int d = in.ConsumeIntegralInRange(0, 6); d > 0; --d) {
        const std::string path = "/dev/video" + std::to_string(in.ConsumeIntegralInRange(0, 70));
        const bool opens = in.ConsumeBool() || in.ConsumeIntegralInRange(0, 3) == 0;
        FakeCamera camera{.querycap_error = in.ConsumeIntegralInRange(0, 7) == 0 ? EIO : 0};
        camera.card = in.ConsumeRandomLengthString(40);
        const bool has_identity = in.ConsumeBool();
        camera.identity_read_fails = in.ConsumeIntegralInRange(0, 7) == 0;
        camera.identity = in.ConsumeRandomLengthString(300);
        if (!has_identity)
            camera.identity.reset();
        for (int f = in.ConsumeIntegralInRange(0, 4); f > 0; --f) {
            FakeFormat &format = camera.formats.emplace_back(FakeFormat{in.ConsumeIntegral<__u32>(), {}});
            for (int s = in.ConsumeIntegralInRange(0, 4); s > 0; --s) {
                const __u32 type = in.ConsumeIntegralInRange<__u32>(0, 4), width = in.ConsumeIntegral<__u32>();
                FakeSize &fake = format.sizes.emplace_back(FakeSize{width, in.ConsumeIntegral<__u32>(), {}, type});
                for (int i = in.ConsumeIntegralInRange(0, 4); i > 0; --i) {
                    const __u32 type = in.ConsumeIntegralInRange<__u32>(0, 4), numerator = in.ConsumeIntegral<__u32>();
                    fake.intervals.push_back({numerator, in.ConsumeIntegral<__u32>(), type});
                }
            }
        }
        if (opens)
            cameras.devices[path] = camera;
    }
    cameras.endless = in.ConsumeIntegralInRange(0, 3);
    // The devices the list must show: looked at, answering, and with a format whose code is not 0.
    size_t usable = 0;
    for (const auto &[path, camera] : cameras.devices) {
        bool nonzero = cameras.endless == 1;
        for (const FakeFormat &format : camera.formats)
            nonzero = nonzero || format.code != 0;
        usable += atoi(path.c_str() + strlen("/dev/video")) < 64 && camera.querycap_error == 0 && nonzero;
    }

    const std::string reply = reply_camera_list(camera_device_list(cameras));
    g_autoptr(JsonParser) parser = json_parser_new();
    if (cameras.open_count() != 0 || !g_utf8_validate(reply.c_str(), static_cast<gssize>(reply.size()), nullptr) ||
        !json_parser_load_from_data(parser, reply.c_str(), static_cast<gssize>(reply.size()), nullptr) ||
        !JSON_NODE_HOLDS_OBJECT(json_parser_get_root(parser)))
        __builtin_trap();
    JsonNode *message = json_object_get_member(json_node_get_object(json_parser_get_root(parser)), "message");
    if (!message || !JSON_NODE_HOLDS_ARRAY(message) || json_array_get_length(json_node_get_array(message)) != usable)
        __builtin_trap();
    for (guint i = 0; i < usable; ++i) {
        JsonNode *device = json_array_get_element(json_node_get_array(message), i);
        JsonObject *object = JSON_NODE_HOLDS_OBJECT(device) ? json_node_get_object(device) : nullptr;
        JsonNode *details = object ? json_object_get_member(object, "Details") : nullptr;
        const char *name = object ? json_object_get_string_member_with_default(object, "DeviceName", "") : "";
        if (!details || !JSON_NODE_HOLDS_ARRAY(details) ||
            !g_str_has_suffix(name, (" - " + std::to_string(i + 1)).c_str()))
            __builtin_trap();
    }
    return 0;
}
