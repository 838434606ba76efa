#include <gtest/gtest.h>
#include <json-glib/json-glib.h>
#include <memory>

#include "common/reply.h"
#include "services/settings/camera_info.h"
#include "test_camera_fake.h"

namespace {

FakeFormat mjpg_640()
{
    return {fourcc("MJPG"), {{640, 480, {{1, 30}, {1, 15}}}}};
}

std::string list_reply(FakeCameras &cameras)
{
    return reply_camera_list(camera_device_list(cameras));
}

// The device names of a reply; {"<not JSON>"} when it does not parse.
std::vector<std::string> device_names(const std::string &reply)
{
    g_autoptr(JsonParser) parser = json_parser_new();
    if (!json_parser_load_from_data(parser, reply.c_str(), -1, nullptr))
        return {"<not JSON>"};
    JsonArray *devices = json_object_get_array_member(json_node_get_object(json_parser_get_root(parser)), "message");
    std::vector<std::string> names;
    for (guint i = 0; i < json_array_get_length(devices); ++i)
        names.emplace_back(json_object_get_string_member(json_array_get_object_element(devices, i), "DeviceName"));
    return names;
}

}  // namespace

TEST(CameraInfo, UsableDevicesInTheDocumentedLayout)
{
    FakeCameras cameras;
    EXPECT_EQ("{\"result\" : \"Success\",\"message\": []}", list_reply(cameras));
    FakeCamera &webcam = cameras.add("/dev/video0");
    webcam.card = "HD Webcam";
    webcam.formats = {mjpg_640(), {fourcc("YUYV"), {{320, 240, {{1, 30}}}, {1280, 720, {{2, 15}}}}}};
    cameras.add("/dev/video1").querycap_error = ENOTTY;  // not a capture device
    cameras.add("/dev/video3").formats = {{0, {}}};      // no usable format
    FakeCamera &no_identity = cameras.add("/dev/video5");
    no_identity.formats = {{0, {}}, mjpg_640()};  // a zero format is listed when another is usable
    no_identity.identity.reset();
    FakeCamera &unreadable = cameras.add("/dev/video6");
    unreadable.formats = {{fourcc("GREY"), {}}};
    unreadable.identity_read_fails = true;
    cameras.add("/dev/video64").formats = {mjpg_640()};  // beyond the devices looked at

    const std::string mjpg = "{ \"format\" : \"MJPG\", \"resolutions\" : {\"res1\" : {\"value\" : \"640x480\", "
                             "\"fps\" : [30,15]}}}";
    EXPECT_EQ("{\"result\" : \"Success\",\"message\": [{\"DeviceName\": \"HD Webcam (046d:0825) - 1\","
              "\"DevicePath\": \"/dev/video0\",\"Details\" : [" +
                  mjpg +
                  ",{ \"format\" : \"YUYV\", \"resolutions\" : {\"res1\" : {\"value\" : \"320x240\", \"fps\" : "
                  "[30]},\"res2\" : {\"value\" : \"1280x720\", \"fps\" : [7]}}}]},"
                  "{\"DeviceName\": \"Cam (:) - 2\",\"DevicePath\": \"/dev/video5\",\"Details\" : [{ \"format\" : "
                  "\"\", \"resolutions\" : {}}," +
                  mjpg +
                  "]},{\"DeviceName\": \"Cam (:) - 3\",\"DevicePath\": \"/dev/video6\",\"Details\" : [{ \"format\" : "
                  "\"GREY\", \"resolutions\" : {}}]}]}",
              list_reply(cameras));
    EXPECT_EQ(0u, cameras.open_count());
    EXPECT_EQ("/compat/linux/sys/class/video4linux/video0/device/uevent", cameras.identity_paths_read.front());
}

TEST(CameraInfo, RatesComeOnlyFromDiscreteIntervalsAndARangeShowsItsLargestSize)
{
    FakeCameras cameras;
    const FakeInterval stepwise{0, 0, V4L2_FRMIVAL_TYPE_STEPWISE};
    cameras.add("/dev/video0").formats = {{fourcc("YUYV"),
                                           {{640, 480, {stepwise}},
                                            {800, 600, {}},
                                            {1024, 768, {{0, 30}, {1001, 30000}, {1, 5}}},
                                            {1920, 1080, {{1, 25}}, V4L2_FRMSIZE_TYPE_STEPWISE}}}};
    // 30000/1001 truncates to 29; a zero time per frame names no rate and is left out.
    EXPECT_NE(std::string::npos,
              list_reply(cameras).find("{\"res1\" : {\"value\" : \"640x480\", \"fps\" : []},\"res2\" : {\"value\" : "
                                       "\"800x600\", \"fps\" : []},\"res3\" : {\"value\" : \"1024x768\", \"fps\" : "
                                       "[29,5]},\"res4\" : {\"value\" : \"1920x1080\", \"fps\" : [25]}}"));
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
    EXPECT_GT(reply.size(), 32768u);
    EXPECT_NE(std::string::npos, reply.find("{ \"format\" : \"a\\\"\\\\\\n\", \"resolutions\" : {}}"));
    const auto names = device_names(reply);
    ASSERT_EQ(64u, names.size());
    EXPECT_EQ("Cam \"Pro\" \\ 4K (046d:0825) - 1", names[0]);
    EXPECT_EQ("tab\there\nline\x01 (046d:0825) - 2", names[1]);
    EXPECT_EQ(std::string(32, 'W') + " (046d:0825) - 4", names[3]);
    EXPECT_EQ("Cam (046d:0825) - 64", names[63]);
}

TEST(CameraIdentity, ProductIdsFromTheBytesReadOnly)
{
    const struct {
        std::string text;
        const char *vendor, *product;
    } cases[] = {
        {"DRIVER=uvcvideo\nPRODUCT=46d/825/12\n", "046d", "0825"},
        {"PRODUCT=1BCF/2B8A/1", "1bcf", "2b8a"},
        {"PRODUCT=46d/", "046d", ""},
        {std::string("A=1\0PRODUCT=5/6\n", 16), "0005", "0006"},  // a zero byte does not end the search
        {"PRODUCT=", "", ""},
        {"PRODUCT=/825/1", "", ""},
        {"product=46d/825", "", ""},
    };
    for (const auto &c : cases) {
        // Exactly the bytes read, no terminating zero after them: the sanitizer build reports
        // any look beyond.
        const auto bytes = std::make_unique<char[]>(c.text.size());
        memcpy(bytes.get(), c.text.data(), c.text.size());
        const auto ids = camera_identity_ids(std::string_view(bytes.get(), c.text.size()));
        EXPECT_EQ(c.vendor, ids.vendor) << c.text;
        EXPECT_EQ(c.product, ids.product) << c.text;
    }
}
