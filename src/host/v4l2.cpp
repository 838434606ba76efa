#include "host/v4l2.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/error.h"
#include "host/fd.h"
#include "host/host_root.h"

namespace {

bool request(int fd, unsigned long code, void *argument, GError **error)
{
    if (retry_eintr([&] { return ioctl(fd, code, argument); }) == 0)
        return true;
    corvo_set_system_error(error, CORVO_ERROR_FAILED, errno);
    return false;
}

// The real devices need V4L2 hardware, which no test machine has: the tests run the camera
// handlers against a fake device model, and this class stays out of the coverage figure.
// GCOVR_EXCL_START
class RealDevices final : public V4l2Model {
public:
    int open(const char *path, GError **error) override
    {
        // Non-blocking so that a path naming some other kind of device cannot hold the
        // daemon in open(); no controlling terminal, whatever the path names. Only a
        // character device can be a camera: a FIFO or a file a user left at the path is
        // refused before any request reaches it.
        const int fd = ::open(path, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat info {};
        if (fd >= 0 && fstat(fd, &info) == 0 && S_ISCHR(info.st_mode))
            return fd;
        const int number = fd < 0 ? errno : ENODEV;
        if (fd >= 0)
            ::close(fd);
        corvo_set_system_error(error, CORVO_ERROR_OPEN_FAILED, number);
        return -1;
    }
    void close(int fd) override { ::close(fd); }

    bool querycap(int fd, v4l2_capability *c, GError **e) override { return request(fd, VIDIOC_QUERYCAP, c, e); }
    bool enum_fmt(int fd, v4l2_fmtdesc *f, GError **e) override { return request(fd, VIDIOC_ENUM_FMT, f, e); }
    bool enum_framesizes(int fd, v4l2_frmsizeenum *s, GError **e) override
    {
        return request(fd, VIDIOC_ENUM_FRAMESIZES, s, e);
    }
    bool enum_frameintervals(int fd, v4l2_frmivalenum *i, GError **e) override
    {
        return request(fd, VIDIOC_ENUM_FRAMEINTERVALS, i, e);
    }
    bool g_fmt(int fd, v4l2_format *f, GError **e) override { return request(fd, VIDIOC_G_FMT, f, e); }
    bool try_fmt(int fd, v4l2_format *f, GError **e) override { return request(fd, VIDIOC_TRY_FMT, f, e); }
    bool s_fmt(int fd, v4l2_format *f, GError **e) override { return request(fd, VIDIOC_S_FMT, f, e); }
    bool g_parm(int fd, v4l2_streamparm *p, GError **e) override { return request(fd, VIDIOC_G_PARM, p, e); }
    bool s_parm(int fd, v4l2_streamparm *p, GError **e) override { return request(fd, VIDIOC_S_PARM, p, e); }

    bool read_identity(const char *path, size_t max, std::string *bytes, GError **error) override
    {
        bytes->clear();
        const std::string resolved = host_path(path);
        const UniqueFd fd(::open(resolved.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd.valid()) {
            corvo_set_system_error(error, CORVO_ERROR_OPEN_FAILED, errno);
            return false;
        }
        bytes->resize(max);
        const ssize_t got = retry_eintr([&] { return ::read(fd.get(), bytes->data(), max); });
        if (got < 0) {
            corvo_set_system_error(error, CORVO_ERROR_READ_FAILED, errno);
            bytes->clear();
            return false;
        }
        bytes->resize(static_cast<size_t>(got));
        return true;
    }
};

// GCOVR_EXCL_STOP

RealDevices real_devices;
V4l2Model *current_model = &real_devices;

}  // namespace

V4l2Model &v4l2_model()
{
    return *current_model;
}

void v4l2_set_model(V4l2Model *model)
{
    current_model = model ? model : &real_devices;
}
