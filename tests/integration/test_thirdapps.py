"""com.corvo.thirdapps: SetAppStatus switches the HID multiplexer (key file, init script,
stored state), EnableUCPlugins runs the plug-in toggle script, and the stored HID state is
re-applied when the daemon starts."""
import os
import stat

import pytest

from helpers import call, daemon

HID_CONF = "/compat/linux/apps/HID_Citrix/etc/HID/warthog.conf"
OK = '{"result": "ok"}'
FAILED = '{"result": "failed"}'


def basic_status(conf_text):
    section = None
    for line in conf_text.splitlines():
        if line.startswith("["):
            section = line
        elif section == "[Basic]" and line.startswith("Status="):
            return line.split("=", 1)[1]
    return None


class TestSetAppStatus:
    def test_hid_in_any_case_updates_file_process_and_store(self, env):
        before = env.apps.hid_conf()
        os.chown(env.root(HID_CONF), 65534, 65534)
        assert call(env, "SetAppStatus", {"name": "hid", "status": True}, "thirdapps") == OK
        # Everything else of the package's file survives: comments, translations, groups, mode.
        assert env.apps.hid_conf() == before.replace("Status=Off", "Status=On")
        info = os.stat(env.root(HID_CONF))
        assert (info.st_mode & 0o777, info.st_uid, info.st_gid) == (0o640, 65534, 65534)
        assert env.peers.get("HID", "Status") == "On"
        # A missing status switches off.
        assert call(env, "SetAppStatus", {"name": "HID"}, "thirdapps") == OK
        assert basic_status(env.apps.hid_conf()) == "Off" and env.peers.get("HID", "Status") == "Off"
        assert env.apps.script_calls() == [["dpmuxd", "start"], ["dpmuxd", "stop"]]

    @pytest.mark.parametrize("params,reply", [("not json", FAILED), ('{"name": "HID", "status": tru', FAILED),
                                              ({"name": "HIDX", "status": True}, OK), (["HID", True], OK)])
    def test_text_that_is_not_json_fails_and_other_names_are_ignored(self, env, params, reply):
        before = env.apps.hid_conf()
        assert call(env, "SetAppStatus", params, "thirdapps") == reply
        assert env.apps.hid_conf() == before and env.apps.script_calls() == []
        assert env.peers.get("HID", "Status") is None

    @pytest.mark.parametrize("conf", [None, "this is not a key file\n", "fifo"])
    def test_missing_broken_or_fifo_key_file_is_left_while_process_and_store_follow(self, env, conf):
        os.unlink(env.root(HID_CONF))
        if conf:
            os.mkfifo(env.root(HID_CONF)) if conf == "fifo" else env.root.write(HID_CONF, conf)
        assert env.call("thirdapps", "SetAppStatus", '{"name": "HID", "status": true}', timeout=20) == OK
        assert stat.S_ISFIFO(os.stat(env.root(HID_CONF)).st_mode) if conf == "fifo" else env.root.read(HID_CONF) == conf
        assert env.apps.script_calls() == [["dpmuxd", "start"]] and env.peers.get("HID", "Status") == "On"


class TestEnableUCPlugins:
    def test_plugins_run_in_array_order_each_name_one_literal_argument(self, env):
        canary = os.path.join(env.workdir, "canary")
        name = "x $(touch %s); `touch %s`\nsecond line" % (canary, canary)
        assert call(env, "EnableUCPlugins", [{"plugin": "teams", "value": False}, {"plugin": name, "value": True},
                                             {"plugin": "meet"}], "thirdapps") == OK
        assert env.apps.script_calls() == [["toggle_uc_plugins.sh", "teams", "OFF"],
                                           ["toggle_uc_plugins.sh", name, "ON"],
                                           ["toggle_uc_plugins.sh", "meet", "OFF"]]
        assert not os.path.exists(canary)

    @pytest.mark.parametrize("params,reply,runs", [
        ("[]", OK, []), ("{}", OK, []), ("[{", FAILED, []),
        # An unusable element fails the call while the others run.
        ([{"plugin": "a", "value": True}, {"plugin": 5}, {"plugin": "b"}], FAILED, [["a", "ON"], ["b", "OFF"]]),
        # An empty name is skipped; more than 64 elements run nothing.
        ([{"plugin": ""}, {"plugin": "c", "value": True}], OK, [["c", "ON"]]), ([{"plugin": "d"}] * 65, FAILED, []),
    ])
    def test_requests_without_plugins_or_with_unusable_elements(self, env, params, reply, runs):
        assert call(env, "EnableUCPlugins", params, "thirdapps") == reply
        assert env.apps.script_calls() == [["toggle_uc_plugins.sh"] + run for run in runs]

    def test_script_that_cannot_start_fails_the_call(self, env):
        os.unlink(env.root("/bin/sh"))
        assert call(env, "EnableUCPlugins", [{"plugin": "a", "value": True}], "thirdapps") == FAILED


@pytest.mark.parametrize("stored,action", [("off", "stop"), ("yes", "stop"), ("oN", "start"), ("", None)])
def test_stored_hid_state_is_applied_and_stored_back_at_start(stored, action):
    with daemon(store={("HID", "Status"): stored}) as env:
        assert env.apps.script_calls() == ([["dpmuxd", action]] if action else [])
        state = {"stop": "Off", "start": "On", None: ""}[action]
        assert env.peers.get("HID", "Status") == state
