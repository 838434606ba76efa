"""GetBios and SetBios with the real daemon, against the BIOS simulator behind the real
request file: replies, and the exact requests the BIOS received."""
import json

import pytest

from helpers import bios_world
from helpers import bios_write as write

PROPERTIES = "appwrite a 3 0 0 0 0\n"
PASSWORD = "Sesame42"


def read(token):
    return "appwrite 0 0 %x 0 0 0\n" % token


def write0(token, value):
    """A token write while no admin password is installed: the key is 0."""
    return write(token, value, key=0)


def get_bios(env, para):
    reply = env.call("bios", "GetBios", para)
    parsed = json.loads(reply, object_pairs_hook=list)
    return dict(parsed)["result"], dict(parsed)["message"], reply


def set_bios(env, settings):
    para = settings if isinstance(settings, str) else json.dumps(settings)
    return json.loads(env.call("bios", "SetBios", para))["result"]


def k(suffix):
    return "DeviceKORACMOS" + suffix


K10_LIST = ["EnablePassword", "Assettag", "Audio", "AdminLock", "AutoPower", "ACRecovery", "USBRearPort",
            "WakeOnLan", "WakeOnUSB", "USBFrontPort", "USBBootSupport", "USBFrontTopPort", "USBFrontTopMePort",
            "USBFrontBottomMePort", "USBFrontBottomPort", "SecureBoot", "KeyboardErrorDetection", "Fastboot",
            "ExtendedBIOSPostTime", "DeepSleep", "PXEBootSupport"]


class TestGetBios:
    def test_default_list_of_the_model_in_order(self):
        with bios_world(model="K10X", bios_state={"asset_tag": "AT-1", "settings": {"Fastboot": 2}}) as env:
            env.bios.clear_log()
            result, message, _ = get_bios(env, "[]")
            assert result == "Success"
            assert [name for name, _ in message] == [k(s) for s in K10_LIST]
            assert dict(message)[k("Assettag")] == "AT-1"
            assert dict(message)[k("Fastboot")] == "Auto"
            requests = env.bios.requests()
            assert requests[:4] == [PROPERTIES, "appwrite b 0 0 0 0 0\n", read(0x22), read(0x2BD)]
            assert len(requests) == 21

    def test_default_list_without_a_model(self):
        with bios_world(model=None) as env:
            assert env.call("bios", "GetBios", "[]") == \
                '{"result":"FAILED", "message": "get product name err"}'

    @pytest.mark.parametrize("para, reply", [
        ("[ ]", '{"result":"FAILED", "message": {}}'),
        ('["BiosChangeReboot"]', '{"result":"Success", "message": {"BiosChangeReboot":0}}'),
        ('["DeviceKORACMOSDeepSleep"]', '{"result":"Success", "message": {}}'),
        ('["DeviceKORACMOSAudio", "Volume", "DeviceKORACMOSAdminLock"]',
         '{"result":"Success", "message": {"DeviceKORACMOSAudio":"No"}}'),
    ])
    def test_key_lists(self, para, reply):
        with bios_world(model="K20") as env:
            assert env.call("bios", "GetBios", para) == reply

    def test_chosen_days_reply_of_the_longest_list_arrives_whole(self):
        state = {"settings": {"AutoPower": 3, "AutoOnHour": 0x23, "AutoOnMinute": 0x59, "AutoOnSaturday": 1,
                              "DeepSleep": 2}, "asset_tag": 'a"b\\c'}
        with bios_world(model="K50AIO", bios_state=state) as env:
            result, message, reply = get_bios(env, "[]")
            assert result == "Success"
            # The message stops at its limit, at the key that no longer fits; the reply around
            # it is longer than the message may be, and still arrives whole.
            names = [name for name, _ in message]
            assert names[4:14] == [k("AutoPower"), k("AutoPowerHour"), k("AutoPowerMin"), "autoonSunday",
                                   "autoonMonday", "autoonTuesday", "autoonWednesday", "autoonThursday",
                                   "autoonFriday", "autoonSaturday"]
            assert dict(message)["autoonSaturday"] == "Yes"
            assert dict(message)[k("Assettag")] == 'a"b\\c'
            assert len(names) < 24 + 2 + 7
            assert "D bios: space is not long enough" in env.daemon.log()
            assert len(reply) > 1023


class TestSetBios:
    def test_read_change_and_read_again(self):
        with bios_world(model="K10") as env:
            keys = '["DeviceKORACMOSAudio", "DeviceKORACMOSACRecovery"]'
            assert get_bios(env, keys)[1] == [(k("Audio"), "No"), (k("ACRecovery"), "PowerOff")]
            env.bios.clear_log()
            assert set_bios(env, {k("Audio"): 1, k("ACRecovery"): "LastState"}) == "Success"
            assert env.bios.requests() == [PROPERTIES, write0(0xA2, 2), write0(0x22, 1)]
            assert get_bios(env, keys)[1] == [(k("Audio"), "Yes"), (k("ACRecovery"), "LastState")]

    @pytest.mark.parametrize("model,settings,result,requests,logged", [
        ("K10", {k("AutoPower"): "Daily", k("AutoPowerTime"): "7"}, "FAILED", [], "D bios: get timelist err"),
        # Hour 25 fails after the mode is written.
        ("K10", {k("AutoPower"): "Daily", k("AutoPowerTime"): "25:00"}, "FAILED", [write0(0x29, 1)],
         "SMBIOS: input Hour value error"),
        ("K20", {k("USBRearPort"): 0}, "Success", [write0(0x1D4, 0)], None),
        ("K10", {k("USBRearPort"): 0}, "Success", [write0(0x41B, 0)], None),
        # Wake on LAN or SFP off a Vantor 70 is LAN.
        ("K30MTC", {k("WakeOnLan"): "LANORSFPNIC"}, "Success", [write0(0x57, 5)], None),
    ])
    def test_requests_sent_for_a_change(self, model, settings, result, requests, logged):
        with bios_world(model=model) as env:
            env.bios.clear_log()
            assert set_bios(env, settings) == result
            assert env.bios.requests() == [PROPERTIES] + requests
            assert logged is None or logged in env.daemon.log()

    @pytest.mark.parametrize("password, reply", [(None, "Success"), (PASSWORD, "FAILED")])
    def test_text_that_is_not_json(self, password, reply):
        with bios_world(model="K10", bios_state={"password": password} if password else {}) as env:
            env.bios.clear_log()
            assert set_bios(env, "Audio: 1") == reply
            assert not [r for r in env.bios.requests() if r.startswith("appwrite 1 ")]

    def test_wrong_password_writes_nothing(self):
        with bios_world(model="K10", bios_state={"password": PASSWORD}) as env:
            env.bios.clear_log()
            assert set_bios(env, {k("CurrentPassword"): "guess", k("Audio"): 1, k("NewPassword"): "x"}) == "FAILED"
            assert env.bios.requests() == [PROPERTIES, "appwrite a 4 20 guess"]
            assert "final result: {Password err}" in env.daemon.log()
            assert env.bios.state()["password"] == PASSWORD

    def test_chosen_days_are_written_day_by_day(self):
        with bios_world(model="K10", bios_state={"password": PASSWORD}) as env:
            env.bios.clear_log()
            assert set_bios(env, {k("CurrentPassword"): PASSWORD, k("AutoPower"): "Days",
                                  k("AutoPowerDays"): ["sunday", "SATURDAY"], k("AutoPowerTime"): "7:05"}) \
                == "Success"
            writes = [r for r in env.bios.requests() if r.startswith("appwrite 1 ")]
            assert writes == [write(0x312, 3), write(0x313, 1), write(0x316, 0), write(0x318, 0), write(0x31A, 0),
                              write(0x31C, 0), write(0x31E, 0), write(0x31F, 1), write(0x2B, 7), write(0x2C, 5)]

    def test_password_change_decides_the_result(self):
        with bios_world(model="K10") as env:
            assert set_bios(env, {k("NewPassword"): PASSWORD, k("Audio"): 2}) == "Success"
            assert env.bios.state()["password"] == PASSWORD
            env.bios.clear_log()
            assert set_bios(env, {k("CurrentPassword"): PASSWORD, k("NewPassword"): " "}) == "Success"
            assert env.bios.requests()[-1] == "appwrite a 5 20 %s " % PASSWORD
            assert env.bios.state()["password"] is None

    def test_passwords_never_reach_the_log_and_long_ones_are_refused_whole(self):
        long_password = "L0ng" * 16  # 64 characters: one more than the field holds
        with bios_world(model="K10", bios_state={"password": PASSWORD}) as env:
            env.bios.clear_log()
            for member in ("CurrentPassword", "NewPassword"):
                assert set_bios(env, {k(member): long_password, k("Audio"): 1}) == "FAILED"
            assert env.bios.requests() == []
            assert set_bios(env, {k("CurrentPassword"): PASSWORD, k("NewPassword"): "Other7"}) == "Success"
            assert env.bios.state()["password"] == "Other7"
            for text in (env.daemon.log(), env.daemon.output()):
                assert long_password[:8] not in text and PASSWORD not in text and "Other7" not in text
