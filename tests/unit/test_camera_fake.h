// A fake device model for the camera handlers: devices, formats, sizes and intervals as
// plain data, refusals by request, and a record of what the handlers asked for. While one
// exists it replaces the real devices.
#pragma once

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/v4l2.h"

struct FakeInterval {
    __u32 numerator;
    __u32 denominator;
    __u32 type = V4L2_FRMIVAL_TYPE_DISCRETE;
};

struct FakeSize {
    __u32 width;
    __u32 height;
    std::vector<FakeInterval> intervals;
    __u32 type = V4L2_FRMSIZE_TYPE_DISCRETE;
    __u32 min_width = 0, min_height = 0;  // stepwise sizes: width/height are the maxima
};

struct FakeFormat {
    __u32 code;
    std::vector<FakeSize> sizes;
};

struct FakeCamera {
    std::string card = "Cam";
    int querycap_error = 0;
    std::optional<std::string> identity = std::string("DRIVER=uvcvideo\nPRODUCT=46d/825/12\nTYPE=239/2/1\n");
    bool identity_read_fails = false;
    std::vector<FakeFormat> formats;

    // Format setting.
    int g_fmt_error = 0, try_fmt_error = 0, s_fmt_error = 0, g_parm_error = 0, s_parm_error = 0;
    bool time_per_frame = true;
    v4l2_pix_format current{};
    v4l2_fract rate{1, 30};
    std::vector<std::string> requests;  // "try_fmt", "s_fmt", ... in the order asked
    std::optional<v4l2_pix_format> set_format;
    std::optional<v4l2_fract> set_rate;
};

inline constexpr __u32 fourcc(const char (&code)[5])
{
    return v4l2_fourcc(code[0], code[1], code[2], code[3]);
}

class FakeCameras final : public V4l2Model {
public:
    FakeCameras() { v4l2_set_model(this); }
    ~FakeCameras() override { v4l2_set_model(nullptr); }
    FakeCameras(const FakeCameras &) = delete;
    FakeCameras &operator=(const FakeCameras &) = delete;

    FakeCamera &add(const std::string &path) { return devices[path]; }
    size_t open_count() const { return open_.size(); }
    std::vector<std::string> identity_paths_read;

    std::map<std::string, FakeCamera> devices;

    int open(const char *path, int *error) override
    {
        auto found = devices.find(path);
        if (found == devices.end()) {
            *error = ENOENT;
            return -1;
        }
        *error = 0;
        open_[next_fd_] = &found->second;
        return next_fd_++;
    }
    void close(int fd) override { open_.erase(fd); }

    int querycap(int fd, v4l2_capability *capability) override
    {
        FakeCamera &camera = *open_.at(fd);
        if (camera.querycap_error)
            return camera.querycap_error;
        memcpy(capability->card, camera.card.data(), std::min(camera.card.size(), sizeof capability->card));
        capability->capabilities = V4L2_CAP_VIDEO_CAPTURE;
        return 0;
    }
    int enum_fmt(int fd, v4l2_fmtdesc *format) override
    {
        FakeCamera &camera = *open_.at(fd);
        if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || format->index >= camera.formats.size())
            return EINVAL;
        format->pixelformat = camera.formats[format->index].code;
        return 0;
    }
    int enum_framesizes(int fd, v4l2_frmsizeenum *size) override
    {
        const FakeFormat *format = find_format(*open_.at(fd), size->pixel_format);
        if (!format || size->index >= format->sizes.size())
            return EINVAL;
        const FakeSize &fake = format->sizes[size->index];
        size->type = fake.type;
        if (fake.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            size->discrete.width = fake.width;
            size->discrete.height = fake.height;
        } else {
            size->stepwise = {fake.min_width, fake.width, 16, fake.min_height, fake.height, 16};
        }
        return 0;
    }
    int enum_frameintervals(int fd, v4l2_frmivalenum *interval) override
    {
        const FakeFormat *format = find_format(*open_.at(fd), interval->pixel_format);
        if (!format)
            return EINVAL;
        for (const FakeSize &size : format->sizes) {
            if (size.width != interval->width || size.height != interval->height)
                continue;
            if (interval->index >= size.intervals.size())
                return EINVAL;
            const FakeInterval &fake = size.intervals[interval->index];
            interval->type = fake.type;
            if (fake.type == V4L2_FRMIVAL_TYPE_DISCRETE)
                interval->discrete = {fake.numerator, fake.denominator};
            else
                interval->stepwise = {{1, 60}, {1, 1}, {1, 60}};
            return 0;
        }
        return EINVAL;
    }
    int g_fmt(int fd, v4l2_format *format) override
    {
        FakeCamera &camera = asked(fd, "g_fmt");
        if (camera.g_fmt_error)
            return camera.g_fmt_error;
        format->fmt.pix = camera.current;
        return 0;
    }
    int try_fmt(int fd, v4l2_format *format) override
    {
        FakeCamera &camera = asked(fd, "try_fmt");
        return format->type == V4L2_BUF_TYPE_VIDEO_CAPTURE ? camera.try_fmt_error : EINVAL;
    }
    int s_fmt(int fd, v4l2_format *format) override
    {
        FakeCamera &camera = asked(fd, "s_fmt");
        if (camera.s_fmt_error)
            return camera.s_fmt_error;
        camera.current = format->fmt.pix;
        camera.set_format = format->fmt.pix;
        return 0;
    }
    int g_parm(int fd, v4l2_streamparm *parm) override
    {
        FakeCamera &camera = asked(fd, "g_parm");
        if (camera.g_parm_error)
            return camera.g_parm_error;
        parm->parm.capture.capability = camera.time_per_frame ? V4L2_CAP_TIMEPERFRAME : 0;
        parm->parm.capture.timeperframe = camera.rate;
        return 0;
    }
    int s_parm(int fd, v4l2_streamparm *parm) override
    {
        FakeCamera &camera = asked(fd, "s_parm");
        if (camera.s_parm_error)
            return camera.s_parm_error;
        camera.rate = parm->parm.capture.timeperframe;
        camera.set_rate = camera.rate;
        return 0;
    }
    IdentityRead read_identity(const char *path, size_t max, std::string *bytes) override
    {
        identity_paths_read.emplace_back(path);
        // "/compat/linux/sys/class/video4linux/videoN/device/uevent" belongs to "/dev/videoN".
        std::string name = path;
        name = name.substr(0, name.rfind("/device/uevent"));
        name = "/dev/" + name.substr(name.rfind('/') + 1);
        auto found = devices.find(name);
        if (found == devices.end() || !found->second.identity)
            return IdentityRead::open_failed;
        if (found->second.identity_read_fails)
            return IdentityRead::read_failed;
        *bytes = found->second.identity->substr(0, max);
        return IdentityRead::ok;
    }

private:
    FakeCamera &asked(int fd, const char *request)
    {
        FakeCamera &camera = *open_.at(fd);
        camera.requests.emplace_back(request);
        return camera;
    }
    static const FakeFormat *find_format(const FakeCamera &camera, __u32 code)
    {
        for (const FakeFormat &format : camera.formats)
            if (format.code == code)
                return &format;
        return nullptr;
    }
    std::map<int, FakeCamera *> open_;
    int next_fd_ = 3;
};
