// A fake device model for the camera handlers (and the camera fuzzer): devices, formats,
// sizes and intervals as plain data, refusals by request, and a record of what was asked.
// While one exists it replaces the real devices.
#pragma once

#include <algorithm>
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
    __u32 width;  // the largest of a range
    __u32 height;
    std::vector<FakeInterval> intervals;
    __u32 type = V4L2_FRMSIZE_TYPE_DISCRETE;
};

struct FakeFormat {
    __u32 code;
    std::vector<FakeSize> sizes;
};

struct FakeCamera {
    std::string card = "Cam";
    int querycap_error = 0;
    std::optional<std::string> identity = "DRIVER=uvcvideo\nPRODUCT=46d/825/12\nTYPE=239/2/1\n";
    bool identity_read_fails = false;
    std::vector<FakeFormat> formats;
    bool time_per_frame = true;
    std::map<std::string, int> refuse;  // request ("s_fmt", ...) -> error number
    std::vector<std::string> requests;  // the format-setting requests in the order asked
    std::optional<v4l2_pix_format> set_format;
    std::optional<v4l2_fract> set_rate;
};

inline constexpr __u32 fourcc(const char (&code)[5])
{
    return v4l2_fourcc(code[0], code[1], code[2], code[3]);
}

class FakeCameras : public V4l2Model {
public:
    FakeCameras() { v4l2_set_model(this); }
    ~FakeCameras() override { v4l2_set_model(nullptr); }
    FakeCameras(const FakeCameras &) = delete;
    FakeCameras &operator=(const FakeCameras &) = delete;

    FakeCamera &add(const std::string &path) { return devices[path]; }
    size_t open_count() const { return open_.size(); }
    std::map<std::string, FakeCamera> devices;
    std::vector<std::string> identity_paths_read;

    int open(const char *path, int *error) override
    {
        const auto found = devices.find(path);
        *error = found == devices.end() ? ENOENT : 0;
        if (*error)
            return -1;
        open_[next_fd_] = &found->second;
        return next_fd_++;
    }
    void close(int fd) override { open_.erase(fd); }

    int querycap(int fd, v4l2_capability *capability) override
    {
        const FakeCamera &camera = at(fd);
        memcpy(capability->card, camera.card.data(), std::min(camera.card.size(), sizeof capability->card));
        return camera.querycap_error;
    }
    int enum_fmt(int fd, v4l2_fmtdesc *format) override
    {
        const FakeCamera &camera = at(fd);
        if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || format->index >= camera.formats.size())
            return EINVAL;
        format->pixelformat = camera.formats[format->index].code;
        return 0;
    }
    int enum_framesizes(int fd, v4l2_frmsizeenum *size) override
    {
        const FakeFormat *format = find_format(at(fd), size->pixel_format);
        if (!format || size->index >= format->sizes.size())
            return EINVAL;
        const FakeSize &fake = format->sizes[size->index];
        size->type = fake.type;
        if (fake.type == V4L2_FRMSIZE_TYPE_DISCRETE)
            size->discrete = {fake.width, fake.height};
        else
            size->stepwise = {1, fake.width, 1, 1, fake.height, 1};
        return 0;
    }
    int enum_frameintervals(int fd, v4l2_frmivalenum *interval) override
    {
        const FakeFormat *format = find_format(at(fd), interval->pixel_format);
        if (!format)
            return EINVAL;
        for (const FakeSize &size : format->sizes) {
            if (size.width != interval->width || size.height != interval->height)
                continue;
            if (interval->index >= size.intervals.size())
                return EINVAL;
            const FakeInterval &fake = size.intervals[interval->index];
            interval->type = fake.type;
            interval->discrete = {fake.numerator, fake.denominator};
            return 0;
        }
        return EINVAL;
    }
    int g_fmt(int fd, v4l2_format *) override { return asked(fd, "g_fmt"); }
    int try_fmt(int fd, v4l2_format *) override { return asked(fd, "try_fmt"); }
    int s_fmt(int fd, v4l2_format *format) override
    {
        const int error = asked(fd, "s_fmt");
        if (!error)
            at(fd).set_format = format->fmt.pix;
        return error;
    }
    int g_parm(int fd, v4l2_streamparm *parm) override
    {
        const int error = asked(fd, "g_parm");
        if (!error && at(fd).time_per_frame)
            parm->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        return error;
    }
    int s_parm(int fd, v4l2_streamparm *parm) override
    {
        const int error = asked(fd, "s_parm");
        if (!error)
            at(fd).set_rate = parm->parm.capture.timeperframe;
        return error;
    }
    IdentityRead read_identity(const char *path, size_t max, std::string *bytes) override
    {
        identity_paths_read.emplace_back(path);
        // "/compat/linux/sys/class/video4linux/videoN/device/uevent" belongs to "/dev/videoN".
        std::string name = path;
        name = name.substr(0, name.rfind("/device/uevent"));
        const auto found = devices.find("/dev/" + name.substr(name.rfind('/') + 1));
        if (found == devices.end() || !found->second.identity)
            return IdentityRead::open_failed;
        if (found->second.identity_read_fails)
            return IdentityRead::read_failed;
        *bytes = found->second.identity->substr(0, max);
        return IdentityRead::ok;
    }

private:
    FakeCamera &at(int fd) { return *open_.at(fd); }
    int asked(int fd, const char *request)
    {
        at(fd).requests.emplace_back(request);
        return at(fd).refuse[request];
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
