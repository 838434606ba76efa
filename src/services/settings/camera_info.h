// The webcam list of GetCameraInfo, built from whatever the device model reports.
#pragma once

#include <string>
#include <string_view>

#include "host/v4l2.h"

struct CameraIds {
    std::string vendor;   // "046d", or empty when the identity file names none
    std::string product;  // "0825", or empty
};

// The ids in the bytes of an identity file: the hexadecimal numbers after "PRODUCT=" and
// after the character that follows the first one ("PRODUCT=46d/825/12").
CameraIds camera_identity_ids(std::string_view bytes);

// A pixel format code as its four characters, lowest byte first, up to the first zero byte.
std::string camera_fourcc_text(unsigned int code);

// The JSON array of every capture device among "/dev/video0" to "/dev/video63" that
// answers and lists a usable pixel format. Always one complete JSON text.
std::string camera_device_list(V4l2Model &model);
