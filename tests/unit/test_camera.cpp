#include <gtest/gtest.h>
#include <json-glib/json-glib.h>
#include <memory>
#include <tuple>

#include "common/reply.h"
#include "fake_cameras.h"
#include "services/settings/camera_format.h"
#include "services/settings/camera_info.h"

namespace {

const FakeFormat mjpg_640 = {fourcc("MJPG"), {{640, 480, {{1, 30}, {1, 15}}}}};
const auto list_reply = [](FakeCameras &cameras) { return reply_camera_list(camera_device_list(cameras)); };

}  // namespace

TEST(CameraInfo, UsableDevicesInTheDocumentedLayoutWithTheirSizesAndRates)
{
    FakeCameras cameras;
    EXPECT_EQ("{\"result\" : \"Success\",\"message\": []}", list_reply(cameras));
    FakeCamera &webcam = cameras.add("/dev/video0");
    webcam.card = "HD Webcam";
    webcam.identity = std::string("A=1\0PRODUCT=46D/825/12\n", 23);  // a zero byte does not end the search
    // Rates come only from discrete intervals with a time per frame; a range shows its largest size.
    webcam.formats = {mjpg_640,
                      {fourcc("YUYV"),
                       {{640, 480, {{1, 30, V4L2_FRMIVAL_TYPE_STEPWISE}}},
                        {1024, 768, {{0, 30}, {1001, 30000}, {1, 5}}},
                        {1920, 1080, {{1, 25}}, V4L2_FRMSIZE_TYPE_STEPWISE}}}};
    cameras.add("/dev/video1").querycap_error = ENOTTY;        // not a capture device
    cameras.add("/dev/video3").formats = {{0, {}}};            // no usable format
    cameras.add("/dev/video4").formats.resize(1024, {0, {}});  // nor here, however many the driver lists
    FakeCamera &no_identity = cameras.add("/dev/video5");
    no_identity.formats = {{0, {}}, mjpg_640};  // a zero format is listed when another is usable
    no_identity.identity.reset();
    FakeCamera &unreadable = cameras.add("/dev/video6");
    unreadable.formats = {{fourcc("GREY"), {}}};
    unreadable.identity_read_fails = true;
    cameras.add("/dev/video64").formats = {mjpg_640};  // beyond the devices looked at

    const std::string mjpg = "{ \"format\" : \"MJPG\", \"resolutions\" : {\"res1\" : {\"value\" : \"640x480\", "
                             "\"fps\" : [30,15]}}}";
    EXPECT_EQ("{\"result\" : \"Success\",\"message\": [{\"DeviceName\": \"HD Webcam (046d:0825) - 1\","
              "\"DevicePath\": \"/dev/video0\",\"Details\" : [" +
                  mjpg +
                  ",{ \"format\" : \"YUYV\", \"resolutions\" : {\"res1\" : {\"value\" : \"640x480\", \"fps\" : "
                  "[]},\"res2\" : {\"value\" : \"1024x768\", \"fps\" : [29,5]},\"res3\" : {\"value\" : "
                  "\"1920x1080\", \"fps\" : [25]}}}]},"
                  "{\"DeviceName\": \"Cam (:) - 2\",\"DevicePath\": \"/dev/video5\",\"Details\" : [{ \"format\" : "
                  "\"\", \"resolutions\" : {}}," +
                  mjpg +
                  "]},{\"DeviceName\": \"Cam (:) - 3\",\"DevicePath\": \"/dev/video6\",\"Details\" : [{ \"format\" : "
                  "\"GREY\", \"resolutions\" : {}}]}]}",
              list_reply(cameras));
    EXPECT_EQ(0u, cameras.open_count());
}

TEST(CameraInfo, DriverTextsCannotBreakTheReplyAndNoReplyIsCut)
{
    FakeCameras cameras;
    FakeFormat big{fourcc("YUYV"), {}};
    for (__u32 w = 1; w <= 60; ++w)
        big.sizes.push_back({w * 16, w * 9, {{1, 60}, {1, 30}, {1, 15}, {1, 5}}});
    const std::string cards[] = {"Cam \"Pro\" \\ 4K", std::string("tab\there\nline\x01", 15), "\xff\xfe not UTF-8",
                                 std::string(32, 'W')};  // fills the field: no terminating zero from the driver
    for (size_t i = 0; i < 64; ++i) {
        FakeCamera &camera = cameras.add("/dev/video" + std::to_string(i));
        camera.card = i < 4 ? cards[i] : "Cam";
        camera.formats = {big, {fourcc("a\"\\\n"), {}}};
    }
    const std::string reply = list_reply(cameras);
    g_autoptr(JsonParser) parser = json_parser_new();
    EXPECT_TRUE(json_parser_load_from_data(parser, reply.c_str(), -1, nullptr) &&
                g_utf8_validate(reply.c_str(), -1, nullptr));
    EXPECT_GT(reply.size(), 32768u);
    for (const std::string &text : {std::string(R"("DeviceName": "Cam \"Pro\" \\ 4K (046d:0825) - 1")"),
                                    std::string(R"("DeviceName": "tab\there\nline\u0001 (046d:0825) - 2")"),
                                    "\"DeviceName\": \"" + std::string(32, 'W') + " (046d:0825) - 4\"",
                                    std::string(R"("DeviceName": "Cam (046d:0825) - 64")"),
                                    std::string(R"({ "format" : "a\"\\\n", "resolutions" : {}})")})
        EXPECT_NE(std::string::npos, reply.find(text)) << text;
}

TEST(CameraIdentity, NoIdsWithoutAProductEntryThatNamesAVendor)
{
    for (const char *text : {"DRIVER=uvcvideo\nTYPE=239/2/1\n", "PRODUCT=/825/1\n"}) {
        const CameraIds ids = camera_identity_ids(text);
        EXPECT_EQ(":", ids.vendor + ":" + ids.product) << text;
    }
}

using Requests = std::vector<std::string>;

TEST(CameraFormat, AppliesFormatSizeAndRateOrStopsAtTheFirstRefusedStepWithItsNumber)
{
    const Requests all = {"g_fmt", "try_fmt", "s_fmt", "g_parm", "s_parm"};
    const std::tuple<const char *, int, bool, int, Requests> cases[] = {
        {"", 0, true, 0, all},
        {"try_fmt", EINVAL, true, EINVAL, {"g_fmt", "try_fmt"}},
        {"s_fmt", EBUSY, true, EBUSY, {"g_fmt", "try_fmt", "s_fmt"}},
        {"s_parm", EIO, true, EIO, all},
        // A driver that cannot change its rate, or cannot say so, does not support it.
        {"", 0, false, ENOTSUP, {"g_fmt", "try_fmt", "s_fmt", "g_parm"}},
        {"g_parm", EINVAL, true, ENOTSUP, {"g_fmt", "try_fmt", "s_fmt", "g_parm"}},
        // The current format may be unreadable.
        {"g_fmt", EINVAL, true, 0, all},
    };
    for (const auto &[refused, number, time_per_frame, result, requests] : cases) {
        FakeCameras cameras;
        FakeCamera &camera = cameras.add("/dev/video0");
        camera.refuse[refused] = number;
        camera.time_per_frame = time_per_frame;
        EXPECT_EQ(result, camera_set_format(cameras, {"/dev/video0", "MJPG", 1280, 720, 15})) << refused;
        EXPECT_EQ(requests, camera.requests) << refused;
        EXPECT_EQ(0u, cameras.open_count()) << "closed on every path";
        EXPECT_EQ(result == 0, camera.set_rate.has_value()) << refused;
    }
    FakeCameras cameras;
    EXPECT_EQ(-1, camera_set_format(cameras, {"/dev/video9", "MJPG", 640, 480, 30}));
    FakeCamera &camera = cameras.add("/dev/video0");
    ASSERT_EQ(0, camera_set_format(cameras, {"/dev/video0", "YUYV-extra", 1280, 720, 15}));  // cut to four bytes
    const v4l2_pix_format &format = *camera.set_format;
    EXPECT_EQ((std::vector<__u32>{1280, 720, fourcc("YUYV"), 1, 15}),
              (std::vector<__u32>{format.width, format.height, format.pixelformat, camera.set_rate->numerator,
                                  camera.set_rate->denominator}));
    EXPECT_EQ(0, camera_set_format(cameras, {"/dev/video0", "YU", 640, 480, 30}));  // filled with zeros
    EXPECT_EQ(v4l2_fourcc('Y', 'U', 0, 0), camera.set_format->pixelformat);
}
