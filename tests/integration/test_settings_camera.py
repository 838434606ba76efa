"""GetCameraInfo and SetCameraFormat over the bus. The throwaway host root holds no video
devices; what the camera handlers do with devices is covered by the unit tests' fake
device model."""
import json

import pytest

from helpers import call


def test_no_devices_is_an_empty_list(env):
    # Files that are not devices where the cameras would be do not count either.
    env.root.write("/dev/video0", "not a device\n")
    reply = call(env, "GetCameraInfo", "anything")
    assert reply == '{"result" : "Success","message": []}'
    assert json.loads(reply) == {"result": "Success", "message": []}
    assert "Final result of camera info " + reply in env.daemon.log()


@pytest.mark.parametrize("params", [
    {"devicePath": "/dev/video9", "format": "MJPG", "width": 640, "height": 480, "fps": 30},
    {"format": "MJPG"},
    "not json",
])
def test_set_format_on_a_missing_device_is_minus_one(env, params):
    text = params if isinstance(params, str) else json.dumps(params)
    assert call(env, "SetCameraFormat", text) == "-1"
    log = env.daemon.log()
    assert "Couldn't open webcam device path: " in log
    assert "Completing the set camera format, error code: -1" in log


def test_set_format_on_something_that_is_not_a_camera_reports_its_error(env):
    # A path a caller sends is used as given, not resolved under the host root.
    env.root.write("/dev/video0", "not a device\n")
    path = env.root("/dev/video0")
    reply = call(env, "SetCameraFormat", json.dumps({"devicePath": path, "format": "YUYV",
                                                    "width": 640, "height": 480, "fps": 30}))
    assert reply == "25", "ENOTTY: the file takes no video requests"
    assert env.root.read("/dev/video0") == "not a device\n"
    assert "Input: %s, YUYV, 640, 480, 30" % path in env.daemon.log()
