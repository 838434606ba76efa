#include <gtest/gtest.h>
#include <tuple>

#include "services/settings/camera_format.h"
#include "test_camera_fake.h"

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
