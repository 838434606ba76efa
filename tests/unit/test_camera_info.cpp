#include <gtest/gtest.h>
#include <json-glib/json-glib.h>
#include <memory>
#include <tuple>

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

}  // namespace

TEST(CameraInfo, UsableDevicesInTheDocumentedLayoutWithTheirSizesAndRates)
{
    FakeCameras cameras;
    EXPECT_EQ("{\"result\" : \"Success\",\"message\": []}", list_reply(cameras));
    FakeCamera &webcam = cameras.add("/dev/video0");
    webcam.card = "HD Webcam";
    // Rates come only from discrete intervals with a time per frame; a range shows its largest size.
    webcam.formats = {mjpg_640(),
                      {fourcc("YUYV"),
                       {{640, 480, {{1, 30, V4L2_FRMIVAL_TYPE_STEPWISE}}},
                        {1024, 768, {{0, 30}, {1001, 30000}, {1, 5}}},
                        {1920, 1080, {{1, 25}}, V4L2_FRMSIZE_TYPE_STEPWISE}}}};
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

TEST(CameraIdentity, ProductIdsFromTheBytesReadOnly)
{
    const std::tuple<std::string, const char *, const char *> cases[] = {
        {"PRODUCT=1BCF/2B8A/1", "1bcf", "2b8a"},
        {"PRODUCT=46d/", "046d", ""},
        {"PRODUCT=/825/1", "", ""},
        {std::string("A=1\0PRODUCT=5/6\n", 16), "0005", "0006"},  // a zero byte does not end the search
        {"product=46d/825", "", ""}};
    for (const auto &[text, vendor, product] : cases) {
        // Exactly the bytes read, no zero after them: the sanitizer build reports any look beyond.
        const auto bytes = std::make_unique<char[]>(text.size());
        memcpy(bytes.get(), text.data(), text.size());
        const auto ids = camera_identity_ids(std::string_view(bytes.get(), text.size()));
        EXPECT_EQ(vendor, ids.vendor) << text;
        EXPECT_EQ(product, ids.product) << text;
    }
}
