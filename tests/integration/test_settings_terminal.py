"""SetTerminal, ConfigBoardSerialPort and SetUsbUhidDriver over the bus."""
import json

import pytest

import corvo_env

SUCCESS = '{"Result":"Success"}'
FAIL = '{"Result":"Fail"}'


def call(env, method, params):
    text = params if isinstance(params, str) else json.dumps(params)
    return env.call("settings", method, text)


class TestSetTerminal:
    @pytest.mark.parametrize("value,state", [("yes", "NONE"), ("no", "S5"), ("nonsense", "S5"), ("YES", "NONE")])
    def test_power_button_is_applied_and_stored(self, env, value, state):
        assert call(env, "SetTerminal", {"DisablePowerButton": value}) == SUCCESS
        assert env.recorder.calls("sysctl") == [["sysctl", "hw.acpi.power_button_state=" + state]]
        assert env.peers.get("termsetting", "dispowerbutton") == value

    def test_unknown_value_runs_and_stores_nothing_but_restart(self, env):
        assert call(env, "SetTerminal", {"DisablePowerButton": "maybe", "DisableRestart": "yes"}) == FAIL
        assert env.recorder.calls("sysctl") == []
        assert env.peers.get("termsetting", "dispowerbutton") is None
        assert env.peers.get("termsetting", "disrestart") == "yes"

    def test_restart_alone_is_stored_and_answers_fail(self, env):
        assert call(env, "SetTerminal", {"DisableRestart": "no"}) == FAIL
        assert env.peers.get("termsetting", "disrestart") == "no"
        assert env.recorder.calls("sysctl") == []

    def test_unparsable_request_changes_nothing(self, env):
        assert call(env, "SetTerminal", "{DisablePowerButton") == FAIL
        assert env.recorder.calls() == []
        assert env.peers.dump() == {}


class TestConfigBoardSerialPort:
    def test_second_identical_request_is_refused_with_the_same_value_line(self, env):
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == SUCCESS
        assert env.root.loader_conf == 'kern.ttyS.enablement="false"\n'
        assert env.peers.get("com", "disable_board_serial") == "false"
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == FAIL
        assert "on_handle_config_board_serial_port: same value (false)\n" in env.daemon.output()
        assert env.root.loader_conf == 'kern.ttyS.enablement="false"\n'

    def test_change_replaces_the_line(self, env):
        call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True})
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": False}) == SUCCESS
        assert env.root.loader_conf == 'kern.ttyS.enablement="false"\n'

    @pytest.mark.parametrize("params", ["not json", {}, {"Other": True}])
    def test_request_without_a_value_writes_nothing(self, env, params):
        assert call(env, "ConfigBoardSerialPort", params) == FAIL
        assert env.root.read("/boot/loader.conf.local") is None
        assert env.peers.get("com", "disable_board_serial") is None

    def test_unwritable_boot_file_fails_and_keeps_the_store(self, env):
        env.root.write("/boot/loader.conf.local/blocker", "")  # a folder where the file belongs
        assert call(env, "ConfigBoardSerialPort", {"BoardSerialPortEnable": True}) == FAIL
        assert env.peers.get("com", "disable_board_serial") is None


class TestSetUsbUhidDriver:
    @pytest.mark.parametrize("params", [{"uhid": ""}, {}])
    def test_empty_list_writes_empty_tunable_and_braces(self, env, params):
        assert call(env, "SetUsbUhidDriver", params) == SUCCESS
        assert env.root.loader_conf == 'hw.usb.uhid_device_driver.uhid=""\n'
        assert env.recorder.calls("sysctl") == [["sysctl", "hw.usb.uhid_driver_devices_string={}"]]

    def test_list_reaches_file_and_kernel(self, env):
        env.root.write("/boot/loader.conf.local", 'hw.usb.uhid_device_driver.uhid="old"\n')
        assert call(env, "SetUsbUhidDriver", {"uhid": "0x1234:0x5678,0x0a0b:0x0c0d"}) == SUCCESS
        assert env.root.loader_conf == 'hw.usb.uhid_device_driver.uhid="0x1234:0x5678,0x0a0b:0x0c0d"\n'
        assert env.recorder.calls("sysctl") == [
            ["sysctl", "hw.usb.uhid_driver_devices_string={0x1234:0x5678,0x0a0b:0x0c0d}"]]

    @pytest.mark.parametrize("devices", ['0x1"2', "0x1\n0x2", "0x1\r"])
    def test_list_the_file_cannot_hold_is_refused_whole(self, env, devices):
        env.root.write("/boot/loader.conf.local", 'hw.usb.uhid_device_driver.uhid="old"\n')
        assert call(env, "SetUsbUhidDriver", {"uhid": devices}) == FAIL
        assert env.root.loader_conf == 'hw.usb.uhid_device_driver.uhid="old"\n'
        assert env.recorder.calls() == []

    @pytest.mark.parametrize("params", ["[", "[]"])
    def test_unparsable_request_fails(self, env, params):
        assert call(env, "SetUsbUhidDriver", params) == FAIL
        assert env.root.read("/boot/loader.conf.local") is None
        assert env.recorder.calls() == []
