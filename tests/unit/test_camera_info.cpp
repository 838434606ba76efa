#include <gtest/gtest.h>
#include <json-glib/json-glib.h>
#include <memory>

#include "common/reply.h"
#include "log_capture.h"
#include "services/settings/camera_info.h"
#include "test_camera_fake.h"

namespace {

const std::string empty_reply = "{\"result\" : \"Success\",\"message\": []}";

FakeFormat mjpg_640()
{
    return {fourcc("MJPG"), {{640, 480, {{1, 30}, {1, 15}}}}};
}

// Parses a whole reply; the test fails when it is not one JSON object.
struct ParsedReply {
    explicit ParsedReply(const std::string &text) : parser(json_parser_new())
    {
        GError *error = nullptr;
        ok = json_parser_load_from_data(parser, text.c_str(), static_cast<gssize>(text.size()), &error);
        if (error) {
            ADD_FAILURE() << "not JSON: " << error->message << "\n" << text;
            g_error_free(error);
        }
        ok = ok && JSON_NODE_HOLDS_OBJECT(json_parser_get_root(parser));
    }
    ~ParsedReply() { g_object_unref(parser); }
    JsonArray *devices() const
    {
        JsonObject *root = json_node_get_object(json_parser_get_root(parser));
        return json_object_get_array_member(root, "message");
    }
    JsonObject *device(guint i) const { return json_array_get_object_element(devices(), i); }
    std::string name(guint i) const { return json_object_get_string_member(device(i), "DeviceName"); }
    JsonArray *details(guint i) const { return json_object_get_array_member(device(i), "Details"); }

    JsonParser *parser;
    bool ok = false;
};

std::string list_reply(FakeCameras &cameras)
{
    return reply_camera_list(camera_device_list(cameras));
}

}  // namespace

TEST(CameraInfo, NoDevicesGivesAnEmptyList)
{
    FakeCameras cameras;
    EXPECT_EQ(list_reply(cameras), empty_reply);
}

TEST(CameraInfo, OneDeviceInTheDocumentedLayout)
{
    FakeCameras cameras;
    FakeCamera &camera = cameras.add("/dev/video0");
    camera.card = "HD Webcam";
    camera.formats = {mjpg_640(), {fourcc("YUYV"), {{320, 240, {{1, 30}}}, {1280, 720, {{2, 15}}}}}};

    EXPECT_EQ(list_reply(cameras),
              "{\"result\" : \"Success\",\"message\": [{\"DeviceName\": \"HD Webcam (046d:0825) - 1\","
              "\"DevicePath\": \"/dev/video0\",\"Details\" : ["
              "{ \"format\" : \"MJPG\", \"resolutions\" : {\"res1\" : {\"value\" : \"640x480\", \"fps\" : [30,15]}}},"
              "{ \"format\" : \"YUYV\", \"resolutions\" : {\"res1\" : {\"value\" : \"320x240\", \"fps\" : [30]},"
              "\"res2\" : {\"value\" : \"1280x720\", \"fps\" : [7]}}}]}]}");
    EXPECT_EQ(cameras.open_count(), 0u) << "every device is closed again";
}

TEST(CameraInfo, OnlyDevicesWithAUsableFormatAreListedAndNumbered)
{
    FakeCameras cameras;
    LogCapture log;
    cameras.add("/dev/video0").formats = {mjpg_640()};
    cameras.add("/dev/video1").querycap_error = ENOTTY;          // not a capture device
    cameras.add("/dev/video3").formats = {{0, {}}};              // no usable format at all
    cameras.add("/dev/video5").formats = {{0, {}}, mjpg_640()};  // the first reads 0, the second is usable
    cameras.add("/dev/video7");                                  // no format

    const std::string reply = list_reply(cameras);
    ParsedReply parsed(reply);
    ASSERT_TRUE(parsed.ok);
    ASSERT_EQ(json_array_get_length(parsed.devices()), 2u) << reply;
    EXPECT_EQ(parsed.name(0), "Cam (046d:0825) - 1");
    EXPECT_EQ(parsed.name(1), "Cam (046d:0825) - 2");
    EXPECT_STREQ(json_object_get_string_member(parsed.device(1), "DevicePath"), "/dev/video5");
    // The zero format is listed too, as an empty code with no sizes.
    EXPECT_NE(reply.find("\"Details\" : [{ \"format\" : \"\", \"resolutions\" : {}},{ \"format\" : \"MJPG\""),
              std::string::npos)
        << reply;
    EXPECT_EQ(json_array_get_length(parsed.details(1)), 2u);

    EXPECT_EQ(log.count_containing("Device Capability reading failed"), 1u);
    EXPECT_EQ(log.count_containing("All Pixel formats are 0. This device path /dev/video3 doesn't support video "
                                   "stream. Skipping the same"),
              1u);
    EXPECT_EQ(log.count_containing("This device path /dev/video7 doesn't support"), 1u);
    EXPECT_EQ(cameras.open_count(), 0u);
}

TEST(CameraInfo, RatesComeOnlyFromDiscreteIntervalsAndARangeShowsItsLargestSize)
{
    FakeCameras cameras;
    FakeInterval stepwise{0, 0, V4L2_FRMIVAL_TYPE_STEPWISE};
    FakeSize range{1920, 1080, {{1, 25}}, V4L2_FRMSIZE_TYPE_STEPWISE, 160, 120};
    cameras.add("/dev/video0").formats = {
        {fourcc("YUYV"),
         {{640, 480, {stepwise}}, {800, 600, {}}, {1024, 768, {{0, 30}, {1001, 30000}, {1, 5}}}, range}}};
    const std::string reply = list_reply(cameras);
    EXPECT_NE(reply.find("\"res1\" : {\"value\" : \"640x480\", \"fps\" : []}"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\"res2\" : {\"value\" : \"800x600\", \"fps\" : []}"), std::string::npos) << reply;
    // 30000/1001 truncates to 29; a zero time per frame names no rate and is left out.
    EXPECT_NE(reply.find("\"res3\" : {\"value\" : \"1024x768\", \"fps\" : [29,5]}"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\"res4\" : {\"value\" : \"1920x1080\", \"fps\" : [25]}"), std::string::npos) << reply;
    EXPECT_TRUE(ParsedReply(reply).ok);
}

TEST(CameraInfo, MissingOrUnreadableIdentityLeavesTheIdsEmpty)
{
    FakeCameras cameras;
    LogCapture log;
    FakeCamera &missing = cameras.add("/dev/video0");
    missing.formats = {mjpg_640()};
    missing.identity.reset();
    FakeCamera &unreadable = cameras.add("/dev/video1");
    unreadable.formats = {mjpg_640()};
    unreadable.identity_read_fails = true;
    FakeCamera &no_product = cameras.add("/dev/video2");
    no_product.formats = {mjpg_640()};
    no_product.identity = "DRIVER=uvcvideo\n";

    ParsedReply parsed(list_reply(cameras));
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.name(0), "Cam (:) - 1");
    EXPECT_EQ(parsed.name(1), "Cam (:) - 2");
    EXPECT_EQ(parsed.name(2), "Cam (:) - 3");
    EXPECT_EQ(log.count_containing("File open Failed : /compat/linux/sys/class/video4linux/video0/device/uevent"), 1u);
    EXPECT_EQ(log.count_containing("failed to read fd_file"), 1u);
    EXPECT_EQ(cameras.identity_paths_read.front(), "/compat/linux/sys/class/video4linux/video0/device/uevent");
}

TEST(CameraInfo, DriverTextsCannotBreakTheReply)
{
    FakeCameras cameras;
    const std::string hostile_cards[] = {
        "Cam \"Pro\" \\ 4K", std::string("tab\there\nline\x01", 15), "\xff\xfe not UTF-8",
        std::string(32, 'W'),  // fills the field: no terminating zero from the driver
    };
    for (size_t i = 0; i < std::size(hostile_cards); ++i) {
        FakeCamera &camera = cameras.add("/dev/video" + std::to_string(i));
        camera.card = hostile_cards[i];
        camera.formats = {mjpg_640(), {fourcc("a\"\\\n"), {{1, 1, {{1, 1}}}}}};
    }
    const std::string reply = list_reply(cameras);
    ParsedReply parsed(reply);
    ASSERT_TRUE(parsed.ok) << reply;
    ASSERT_EQ(json_array_get_length(parsed.devices()), 4u);
    EXPECT_EQ(parsed.name(0), "Cam \"Pro\" \\ 4K (046d:0825) - 1");
    EXPECT_EQ(parsed.name(1), "tab\there\nline\x01 (046d:0825) - 2");
    EXPECT_EQ(parsed.name(3), std::string(32, 'W') + " (046d:0825) - 4");
    JsonObject *odd_format = json_array_get_object_element(parsed.details(0), 1);
    EXPECT_STREQ(json_object_get_string_member(odd_format, "format"), "a\"\\\n");
}

TEST(CameraInfo, ManyDevicesAreNeverCut)
{
    FakeCameras cameras;
    FakeFormat big{fourcc("YUYV"), {}};
    for (__u32 w = 1; w <= 60; ++w)
        big.sizes.push_back({w * 16, w * 9, {{1, 60}, {1, 30}, {1, 15}, {1, 5}}});
    for (int i = 0; i < 64; ++i)
        cameras.add("/dev/video" + std::to_string(i)).formats = {big, mjpg_640()};

    const std::string reply = list_reply(cameras);
    EXPECT_GT(reply.size(), 32768u);
    ParsedReply parsed(reply);
    ASSERT_TRUE(parsed.ok);
    ASSERT_EQ(json_array_get_length(parsed.devices()), 64u);
    EXPECT_EQ(parsed.name(63), "Cam (046d:0825) - 64");
}

TEST(CameraIdentity, ProductIdsFromTheBytesReadOnly)
{
    const struct {
        std::string text;
        const char *vendor, *product;
    } cases[] = {
        {"DRIVER=uvcvideo\nPRODUCT=46d/825/12\nTYPE=239/2/1\n", "046d", "0825"},
        {"PRODUCT=1BCF/2B8A/1", "1bcf", "2b8a"},
        {"PRODUCT=46d", "046d", ""},
        {"PRODUCT=46d/8", "046d", "0008"},
        {std::string("A=1\0PRODUCT=5/6\n", 16), "0005", "0006"},  // a zero byte does not end the search
        {"", "", ""},
        {"DRIVER=uvcvideo\n", "", ""},
        {"PRODUCT=", "", ""},
        {"PRODUCT=46d/", "046d", ""},
        {"PRODUCT=/825/1", "", ""},
        {"product=46d/825", "", ""},
        {"xxPRODUCT", "", ""},
    };
    for (const auto &c : cases) {
        // Exactly the bytes read, with no terminating zero after them: the sanitizer build
        // reports any look beyond.
        std::unique_ptr<char[]> bytes(new char[c.text.size()]);
        memcpy(bytes.get(), c.text.data(), c.text.size());
        const auto ids = camera_identity_ids(std::string_view(bytes.get(), c.text.size()));
        EXPECT_EQ(ids.vendor, c.vendor) << c.text;
        EXPECT_EQ(ids.product, c.product) << c.text;
    }
}
