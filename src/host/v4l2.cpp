#include "host/v4l2.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/fd.h"
#include "host/host_root.h"

namespace {

int request(int fd, unsigned long code, void *argument)
{
    const int result = retry_eintr([&] { return ioctl(fd, code, argument); });
    return result < 0 ? errno : 0;
}

// The real devices need V4L2 hardware, which no test machine has: the tests run the camera
// handlers against a fake device model, and this class stays out of the coverage figure.
// GCOVR_EXCL_START
class RealDevices final : public V4l2Model {
public:
    int open(const char *path, int *error) override
    {
        // Non-blocking so that a path naming some other kind of device cannot hold the
        // daemon in open(); no controlling terminal, whatever the path names. Only a
        // character device can be a camera: a FIFO or a file a user left at the path is
        // refused before any request reaches it.
        const int fd = ::open(path, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        *error = fd < 0 ? errno : 0;
        struct stat info {};
        if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))) {
            ::close(fd);
            *error = ENODEV;
            return -1;
        }
        return fd;
    }
    void close(int fd) override { ::close(fd); }

    int querycap(int fd, v4l2_capability *c) override { return request(fd, VIDIOC_QUERYCAP, c); }
    int enum_fmt(int fd, v4l2_fmtdesc *f) override { return request(fd, VIDIOC_ENUM_FMT, f); }
    int enum_framesizes(int fd, v4l2_frmsizeenum *s) override { return request(fd, VIDIOC_ENUM_FRAMESIZES, s); }
    int enum_frameintervals(int fd, v4l2_frmivalenum *i) override { return request(fd, VIDIOC_ENUM_FRAMEINTERVALS, i); }
    int g_fmt(int fd, v4l2_format *f) override { return request(fd, VIDIOC_G_FMT, f); }
    int try_fmt(int fd, v4l2_format *f) override { return request(fd, VIDIOC_TRY_FMT, f); }
    int s_fmt(int fd, v4l2_format *f) override { return request(fd, VIDIOC_S_FMT, f); }
    int g_parm(int fd, v4l2_streamparm *p) override { return request(fd, VIDIOC_G_PARM, p); }
    int s_parm(int fd, v4l2_streamparm *p) override { return request(fd, VIDIOC_S_PARM, p); }

    IdentityRead read_identity(const char *path, size_t max, std::string *bytes) override
    {
        bytes->clear();
        const std::string resolved = host_path(path);
        const UniqueFd fd(::open(resolved.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd.valid())
            return IdentityRead::open_failed;
        bytes->resize(max);
        const ssize_t got = retry_eintr([&] { return ::read(fd.get(), bytes->data(), max); });
        if (got < 0) {
            bytes->clear();
            return IdentityRead::read_failed;
        }
        bytes->resize(static_cast<size_t>(got));
        return IdentityRead::ok;
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
