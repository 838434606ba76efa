#include <gtest/gtest.h>

#include "log_capture.h"
#include "services/settings/camera_format.h"
#include "test_camera_fake.h"

namespace {

CameraFormatRequest mjpg_720p()
{
    return {"/dev/video0", "MJPG", 1280, 720, 15};
}

}  // namespace

TEST(CameraFormat, AppliesFormatSizeAndRate)
{
    FakeCameras cameras;
    LogCapture log;
    FakeCamera &camera = cameras.add("/dev/video0");
    camera.current = {640, 480, fourcc("YUYV"), 0, 0, 0, 0, 0, 0, 0, 0, 0};

    EXPECT_EQ(camera_set_format(cameras, mjpg_720p()), 0);
    ASSERT_TRUE(camera.set_format);
    EXPECT_EQ(camera.set_format->width, 1280u);
    EXPECT_EQ(camera.set_format->height, 720u);
    EXPECT_EQ(camera.set_format->pixelformat, fourcc("MJPG"));
    ASSERT_TRUE(camera.set_rate);
    EXPECT_EQ(camera.set_rate->numerator, 1u);
    EXPECT_EQ(camera.set_rate->denominator, 15u);
    EXPECT_EQ(camera.requests, (std::vector<std::string>{"g_fmt", "try_fmt", "s_fmt", "g_parm", "s_parm"}));
    EXPECT_EQ(cameras.open_count(), 0u);

    EXPECT_EQ(log.count_containing("Current Camera Settings: YUYV, 640 * 480"), 1u);
    EXPECT_EQ(log.count_containing("Applied new pixel format camera: MJPG"), 1u);
    EXPECT_EQ(log.count_containing("Current Video Frame Rate: 30"), 1u);
    EXPECT_EQ(log.count_containing("Current Video Frame Rate: 15"), 1u);
}

TEST(CameraFormat, StopsAtTheFirstRefusedStepWithItsErrorNumber)
{
    struct Case {
        int FakeCamera::*error;
        int number;
        const char *message;
        std::vector<std::string> requests;
    };
    const Case cases[] = {
        {&FakeCamera::try_fmt_error, EINVAL, "Cannot apply new format, error: ", {"g_fmt", "try_fmt"}},
        {&FakeCamera::s_fmt_error, EBUSY, "Couldn't apply pixel format, error: ", {"g_fmt", "try_fmt", "s_fmt"}},
        {&FakeCamera::s_parm_error,
         EIO,
         "The driver did not allow change in frame rate, error: ",
         {"g_fmt", "try_fmt", "s_fmt", "g_parm", "s_parm"}},
    };
    for (const Case &c : cases) {
        FakeCameras cameras;
        LogCapture log;
        FakeCamera &camera = cameras.add("/dev/video0");
        camera.*c.error = c.number;
        EXPECT_EQ(camera_set_format(cameras, mjpg_720p()), c.number) << c.message;
        EXPECT_EQ(camera.requests, c.requests) << c.message;
        EXPECT_EQ(log.count_containing(std::string(c.message) + g_strerror(c.number)), 1u) << c.message;
        EXPECT_EQ(cameras.open_count(), 0u) << "closed on the failing path too";
    }
}

TEST(CameraFormat, WithoutTimePerFrameTheRateIsNotSupported)
{
    for (bool g_parm_fails : {false, true}) {
        FakeCameras cameras;
        LogCapture log;
        FakeCamera &camera = cameras.add("/dev/video0");
        camera.time_per_frame = false;
        if (g_parm_fails)
            camera.g_parm_error = EINVAL;
        EXPECT_EQ(camera_set_format(cameras, mjpg_720p()), ENOTSUP);
        EXPECT_TRUE(camera.set_format) << "the pixel format was changed before";
        EXPECT_FALSE(camera.set_rate);
        EXPECT_EQ(log.count_containing(std::string("The driver does not support change in frame rate, error: ") +
                                       g_strerror(ENOTSUP)),
                  1u);
    }
}

TEST(CameraFormat, MissingDeviceIsMinusOneAndOtherInputIsTakenAsItComes)
{
    FakeCameras cameras;
    LogCapture log;
    EXPECT_EQ(camera_set_format(cameras, {"/dev/video9", "MJPG", 640, 480, 30}), -1);
    EXPECT_EQ(camera_set_format(cameras, {}), -1);
    EXPECT_EQ(log.count_containing("Couldn't open webcam device path: /dev/video9, error: "), 1u);

    // The current format may be unreadable; short format texts are filled with zeros.
    FakeCamera &camera = cameras.add("/dev/video0");
    camera.g_fmt_error = EINVAL;
    EXPECT_EQ(camera_set_format(cameras, {"/dev/video0", "YU", 640, 480, 30}), 0);
    EXPECT_EQ(camera.set_format->pixelformat, v4l2_fourcc('Y', 'U', 0, 0));
    EXPECT_EQ(camera_set_format(cameras, {"/dev/video0", "YUYV-extra", 640, 480, 30}), 0);
    EXPECT_EQ(camera.set_format->pixelformat, fourcc("YUYV"));
}
