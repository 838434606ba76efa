// Video capture devices. The camera handlers reach the devices only through the model
// below, so that they can be exercised against a fake device model instead of hardware.
#pragma once

#include <glib.h>
#include <linux/videodev2.h>
#include <string>

class V4l2Model {
public:
    virtual ~V4l2Model() = default;

    // Opens the device at `path` as given: fixed paths are resolved by the caller with
    // host_path(), a path a caller sent is used as it stands. Returns a descriptor, or -1
    // with CORVO_ERROR_OPEN_FAILED carrying the error number.
    virtual int open(const char *path, GError **error) = 0;
    virtual void close(int fd) = 0;

    // The requests on an open device; a refused one is CORVO_ERROR_FAILED carrying the
    // error number the driver gave.
    virtual bool querycap(int fd, v4l2_capability *capability, GError **error) = 0;
    virtual bool enum_fmt(int fd, v4l2_fmtdesc *format, GError **error) = 0;
    virtual bool enum_framesizes(int fd, v4l2_frmsizeenum *size, GError **error) = 0;
    virtual bool enum_frameintervals(int fd, v4l2_frmivalenum *interval, GError **error) = 0;
    virtual bool g_fmt(int fd, v4l2_format *format, GError **error) = 0;
    virtual bool try_fmt(int fd, v4l2_format *format, GError **error) = 0;
    virtual bool s_fmt(int fd, v4l2_format *format, GError **error) = 0;
    virtual bool g_parm(int fd, v4l2_streamparm *parm, GError **error) = 0;
    virtual bool s_parm(int fd, v4l2_streamparm *parm, GError **error) = 0;

    // Up to `max` bytes of a device's identity file (a host path such as
    // "/compat/linux/sys/class/video4linux/video0/device/uevent"); a failure is
    // CORVO_ERROR_OPEN_FAILED or CORVO_ERROR_READ_FAILED.
    virtual bool read_identity(const char *path, size_t max, std::string *bytes, GError **error) = 0;
};

// The model in use: the real devices unless a test put another in place.
V4l2Model &v4l2_model();

// Tests only: use `model` from now on; nullptr returns to the real devices.
void v4l2_set_model(V4l2Model *model);

// An open device, closed on every path out of its scope.
class V4l2Device {
public:
    V4l2Device(V4l2Model &model, const char *path) : model_(model), fd_(model.open(path, &open_error_)) {}
    ~V4l2Device()
    {
        if (fd_ >= 0)
            model_.close(fd_);
        g_clear_error(&open_error_);
    }
    V4l2Device(const V4l2Device &) = delete;
    V4l2Device &operator=(const V4l2Device &) = delete;

    bool is_open() const { return fd_ >= 0; }
    const GError *open_error() const { return open_error_; }
    int fd() const { return fd_; }

private:
    V4l2Model &model_;
    GError *open_error_ = nullptr;
    int fd_;
};
