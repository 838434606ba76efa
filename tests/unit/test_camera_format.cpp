#include <gtest/gtest.h>

#include "services/settings/camera_format.h"
#include "test_camera_fake.h"

using Requests = std::vector<std::string>;

TEST(CameraFormat, AppliesFormatSizeAndRateAndStopsAtTheFirstRefusedStepWithItsNumber)
{
    const Requests all = {"g_fmt", "try_fmt", "s_fmt", "g_parm", "s_parm"};
    const struct {
        const char *refused;
        int number;
        bool time_per_frame;
        int result;
        Requests requests;
    } cases[] = {
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
    for (const auto &c : cases) {
        FakeCameras cameras;
        FakeCamera &camera = cameras.add("/dev/video0");
        camera.refuse[c.refused] = c.number;
        camera.time_per_frame = c.time_per_frame;
        EXPECT_EQ(c.result, camera_set_format(cameras, {"/dev/video0", "MJPG", 1280, 720, 15})) << c.refused;
        EXPECT_EQ(c.requests, camera.requests) << c.refused;
        EXPECT_EQ(0u, cameras.open_count()) << "closed on every path";
        EXPECT_EQ(c.result == 0, camera.set_rate.has_value()) << c.refused;
    }
    FakeCameras cameras;
    FakeCamera &camera = cameras.add("/dev/video0");
    ASSERT_EQ(0, camera_set_format(cameras, {"/dev/video0", "MJPG", 1280, 720, 15}));
    EXPECT_EQ(1280u, camera.set_format->width);
    EXPECT_EQ(720u, camera.set_format->height);
    EXPECT_EQ(fourcc("MJPG"), camera.set_format->pixelformat);
    EXPECT_EQ(1u, camera.set_rate->numerator);
    EXPECT_EQ(15u, camera.set_rate->denominator);
}

TEST(CameraFormat, MissingDeviceIsMinusOneAndFormatTextIsCutOrFilledToFourBytes)
{
    FakeCameras cameras;
    EXPECT_EQ(-1, camera_set_format(cameras, {"/dev/video9", "MJPG", 640, 480, 30}));
    FakeCamera &camera = cameras.add("/dev/video0");
    EXPECT_EQ(0, camera_set_format(cameras, {"/dev/video0", "YU", 640, 480, 30}));
    EXPECT_EQ(v4l2_fourcc('Y', 'U', 0, 0), camera.set_format->pixelformat);
    EXPECT_EQ(0, camera_set_format(cameras, {"/dev/video0", "YUYV-extra", 640, 480, 30}));
    EXPECT_EQ(fourcc("YUYV"), camera.set_format->pixelformat);
}
