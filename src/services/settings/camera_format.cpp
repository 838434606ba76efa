#include "services/settings/camera_format.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/error.h"
#include "common/json_params.h"
#include "common/log.h"
#include "common/log_param.h"
#include "common/reply.h"
#include "services/settings/camera_info.h"
#include "services/settings/settings_handlers.h"

namespace {

unsigned int fourcc_of(const std::string &format)
{
    unsigned char code[4] = {};
    memcpy(code, format.data(), std::min<size_t>(format.size(), sizeof code));
    return v4l2_fourcc(code[0], code[1], code[2], code[3]);
}

void log_rate(const v4l2_fract &time_per_frame)
{
    if (time_per_frame.numerator != 0)
        wlog('D', log_tag::settings, "Current Video Frame Rate: %d",
             static_cast<int>(time_per_frame.denominator / time_per_frame.numerator));
}

// The pixel format, then the frame rate; stops at the first refused step, whose error
// carries the number the driver gave.
bool apply_format(V4l2Model &model, int fd, const CameraFormatRequest &request, GError **error)
{
    v4l2_format current{};
    current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (model.g_fmt(fd, &current, nullptr))
        wlog('D', log_tag::settings, "Current Camera Settings: %s, %d * %d\n",
             camera_fourcc_text(current.fmt.pix.pixelformat).c_str(), static_cast<int>(current.fmt.pix.width),
             static_cast<int>(current.fmt.pix.height));

    v4l2_format wanted{};
    wanted.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    wanted.fmt.pix.width = static_cast<__u32>(request.width);
    wanted.fmt.pix.height = static_cast<__u32>(request.height);
    wanted.fmt.pix.pixelformat = fourcc_of(request.format);
    if (!model.try_fmt(fd, &wanted, error)) {
        wlog('D', log_tag::settings, "Cannot apply new format, error: %s", (*error)->message);
        return false;
    }
    if (!model.s_fmt(fd, &wanted, error)) {
        wlog('D', log_tag::settings, "Couldn't apply pixel format, error: %s", (*error)->message);
        return false;
    }
    wlog('D', log_tag::settings, "Applied new pixel format camera: %s",
         camera_fourcc_text(wanted.fmt.pix.pixelformat).c_str());

    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (model.g_parm(fd, &parm, nullptr))
        log_rate(parm.parm.capture.timeperframe);
    // A driver that cannot change its rate says so with ENOTSUP; no earlier call's error
    // number (possibly 0, which reads as success) stands in for it.
    if (!(parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
        corvo_set_system_error(error, CORVO_ERROR_FAILED, ENOTSUP);
        wlog('D', log_tag::settings, "The driver does not support change in frame rate, error: %s", (*error)->message);
        return false;
    }
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe.numerator = 1;
    parm.parm.capture.timeperframe.denominator = static_cast<__u32>(request.fps);
    if (!model.s_parm(fd, &parm, error)) {
        wlog('D', log_tag::settings, "The driver did not allow change in frame rate, error: %s", (*error)->message);
        return false;
    }
    log_rate(parm.parm.capture.timeperframe);
    return true;
}

}  // namespace

int camera_set_format(V4l2Model &model, const CameraFormatRequest &request)
{
    V4l2Device device(model, request.device_path.c_str());
    if (!device.is_open()) {
        wlog('D', log_tag::settings, "Couldn't open webcam device path: %s, error: %s", request.device_path.c_str(),
             device.open_error()->message);
        return -1;
    }
    g_autoptr(GError) error = nullptr;
    return apply_format(model, device.fd(), request, &error) ? 0 : corvo_error_errno(error);
}

gboolean on_handle_admin_policy_set_camera_format(CorvoSettings *, GDBusMethodInvocation *invocation, const gchar *para)
{
    wlog('D', log_tag::settings, "Input format: %s", log_param(para).c_str());
    JsonParams params(para);
    char device_path[256] = {};
    char format[32] = {};
    CameraFormatRequest request;
    params.copy_string("devicePath", device_path, sizeof device_path);
    params.copy_string("format", format, sizeof format);
    request.width = params.get_int("width").value_or(request.width);
    request.height = params.get_int("height").value_or(request.height);
    request.fps = params.get_int("fps").value_or(request.fps);
    request.device_path = device_path;
    request.format = format;
    wlog('D', log_tag::settings, "Input: %s, %s, %d, %d, %d", device_path, format, request.width, request.height,
         request.fps);

    const int result = camera_set_format(v4l2_model(), request);
    // Logged before the reply goes out: a caller that has its answer can rely on the log.
    wlog('D', log_tag::settings, "Completing the set camera format, error code: %d", result);
    return complete_with_reply(invocation, reply_error_number(result));
}
