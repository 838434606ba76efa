// SetCameraFormat: pixel format, size and frame rate of one capture device.
#pragma once

#include <string>

#include "host/v4l2.h"

struct CameraFormatRequest {
    std::string device_path;
    std::string format;  // its first four characters are the pixel format code
    int width = 0;
    int height = 0;
    int fps = 0;
};

// 0 when the device took the format and the frame rate; -1 when it could not be opened;
// otherwise the error number of the first refused step.
int camera_set_format(V4l2Model &model, const CameraFormatRequest &request);
