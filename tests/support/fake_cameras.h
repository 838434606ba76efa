// A fake device model for the camera handlers and the camera fuzzer: devices, formats, sizes
// and intervals as plain data, refusals by request, and a record of the format requests.
// While one exists it replaces the real devices.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "host/v4l2.h"

struct FakeInterval {
    __u32 numerator, denominator;
    __u32 type = V4L2_FRMIVAL_TYPE_DISCRETE;
};

struct FakeSize {
    __u32 width, height;  // the largest of a range
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
    std::optional<std::string> identity = "DRIVER=uvcvideo\nPRODUCT=46d/825/12\nTYPE=239/2/1\n";  // none: no file
    bool identity_read_fails = false;
    std::vector<FakeFormat> formats;
    bool time_per_frame = true;
    std::map<std::string, int> refuse;  // format request ("s_fmt", ...) -> error number
    std::vector<std::string> requests;  // the format requests in the order asked
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

    int open(const char *path, GError **error) override
    {
        const auto found = devices.find(path);
        if (found == devices.end()) {
            corvo_set_system_error(error, CORVO_ERROR_OPEN_FAILED, ENOENT);
            return -1;
        }
        open_[next_fd_] = &found->second;
        return next_fd_++;
    }
    void close(int fd) override { open_.erase(fd); }
    bool querycap(int fd, v4l2_capability *capability, GError **error) override
    {
        const std::string &card = at(fd).card;
        memcpy(capability->card, card.data(), std::min(card.size(), sizeof capability->card));
        return answer(at(fd).querycap_error, error);
    }
    bool enum_fmt(int fd, v4l2_fmtdesc *format, GError **error) override
    {
        if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || format->index >= at(fd).formats.size())
            return answer(EINVAL, error);
        format->pixelformat = at(fd).formats[format->index].code;
        return true;
    }
    bool enum_framesizes(int fd, v4l2_frmsizeenum *size, GError **error) override
    {
        const FakeSize *fake = find_size(fd, size->pixel_format, size->index);
        if (!fake)
            return answer(EINVAL, error);
        size->type = fake->type;
        if (fake->type == V4L2_FRMSIZE_TYPE_DISCRETE)
            size->discrete = {fake->width, fake->height};
        else
            size->stepwise = {1, fake->width, 1, 1, fake->height, 1};
        return true;
    }
    bool enum_frameintervals(int fd, v4l2_frmivalenum *interval, GError **error) override
    {
        for (__u32 i = 0; const FakeSize *size = find_size(fd, interval->pixel_format, i); ++i) {
            if (size->width != interval->width || size->height != interval->height)
                continue;
            if (interval->index >= size->intervals.size())
                return answer(EINVAL, error);
            const FakeInterval &fake = size->intervals[interval->index];
            interval->type = fake.type;
            interval->discrete = {fake.numerator, fake.denominator};
            return true;
        }
        return answer(EINVAL, error);
    }
    bool g_fmt(int fd, v4l2_format *, GError **error) override { return asked(fd, "g_fmt", error); }
    bool try_fmt(int fd, v4l2_format *, GError **error) override { return asked(fd, "try_fmt", error); }
    bool s_fmt(int fd, v4l2_format *format, GError **error) override
    {
        if (!asked(fd, "s_fmt", error))
            return false;
        at(fd).set_format = format->fmt.pix;
        return true;
    }
    bool g_parm(int fd, v4l2_streamparm *parm, GError **error) override
    {
        if (!asked(fd, "g_parm", error))
            return false;
        if (at(fd).time_per_frame)
            parm->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        return true;
    }
    bool s_parm(int fd, v4l2_streamparm *parm, GError **error) override
    {
        if (!asked(fd, "s_parm", error))
            return false;
        at(fd).set_rate = parm->parm.capture.timeperframe;
        return true;
    }
    bool read_identity(const char *path, size_t max, std::string *bytes, GError **error) override
    {
        // "/compat/linux/sys/class/video4linux/videoN/device/uevent" belongs to "/dev/videoN".
        for (const auto &[device, camera] : devices)
            if (camera.identity &&
                path == "/compat/linux/sys/class/video4linux" + device.substr(4) + "/device/uevent") {
                *bytes = camera.identity->substr(0, max);
                if (!camera.identity_read_fails)
                    return true;
                corvo_set_system_error(error, CORVO_ERROR_READ_FAILED, EIO);
                return false;
            }
        corvo_set_system_error(error, CORVO_ERROR_OPEN_FAILED, ENOENT);
        return false;
    }

private:
    FakeCamera &at(int fd) { return *open_.at(fd); }
    // A request answered with `number` (0: done).
    static bool answer(int number, GError **error)
    {
        if (number == 0)
            return true;
        corvo_set_system_error(error, CORVO_ERROR_FAILED, number);
        return false;
    }
    bool asked(int fd, const char *request, GError **error)
    {
        at(fd).requests.emplace_back(request);
        return answer(at(fd).refuse[request], error);
    }
    // The `index`th size of format `code` on the device open as `fd`; nullptr when none.
    const FakeSize *find_size(int fd, __u32 code, __u32 index)
    {
        for (const FakeFormat &format : at(fd).formats)
            if (format.code == code)
                return index < format.sizes.size() ? &format.sizes[index] : nullptr;
        return nullptr;
    }
    std::map<int, FakeCamera *> open_;
    int next_fd_ = 3;
};
