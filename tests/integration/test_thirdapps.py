"""com.corvo.thirdapps: SetAppStatus switches the HID multiplexer (key file, init script,
stored state), EnableUCPlugins runs the plug-in toggle script, and the stored HID state is
re-applied when the daemon starts."""
import os

import pytest

from helpers import call, running

HID_CONF = "/compat/linux/apps/HID_Citrix/etc/HID/warthog.conf"
OK = '{"result": "ok"}'
FAILED = '{"result": "failed"}'


def set_app_status(env, params):
    return call(env, "SetAppStatus", params, "thirdapps")


def enable_uc(env, params):
    return call(env, "EnableUCPlugins", params, "thirdapps")


def basic_status(conf_text):
    section = None
    for line in conf_text.splitlines():
        if line.startswith("["):
            section = line
        elif section == "[Basic]" and line.startswith("Status="):
            return line.split("=", 1)[1]
    return None


class TestSetAppStatus:
    def test_hid_on_in_any_case_updates_file_process_and_store(self, env):
        before = env.apps.hid_conf()
        assert set_app_status(env, {"name": "hid", "status": True}) == OK
        conf = env.apps.hid_conf()
        assert basic_status(conf) == "On"
        # Everything else of the package's file survives: comments, translations, groups.
        assert conf.replace("Status=On", "Status=Off") == before
        assert os.stat(env.root(HID_CONF)).st_mode & 0o777 == 0o640
        assert env.apps.script_calls() == [["dpmuxd", "start"]]
        assert env.peers.get("HID", "Status") == "On"

    def test_missing_status_switches_off(self, env):
        env.peers.set("HID", "Status", "On")
        assert set_app_status(env, {"name": "HID"}) == OK
        assert basic_status(env.apps.hid_conf()) == "Off"
        assert env.apps.script_calls() == [["dpmuxd", "stop"]]
        assert env.peers.get("HID", "Status") == "Off"
        assert "Failed to get bool member" in env.daemon.output()

    @pytest.mark.parametrize("params,reply", [
        ("not json", FAILED), ("", FAILED), ('{"name": "HID", "status": tru', FAILED),
        ({"name": "HIDX", "status": True}, OK), ({"status": True}, OK), (["HID", True], OK)])
    def test_text_that_is_not_json_fails_and_other_names_are_ignored(self, env, params, reply):
        before = env.apps.hid_conf()
        assert set_app_status(env, params) == reply
        assert env.apps.hid_conf() == before
        assert env.apps.script_calls() == []
        assert env.peers.get("HID", "Status") is None

    @pytest.mark.parametrize("conf,kept,logged", [
        (None, None, "set_conf, config file is not exist."),
        ("this is not a key file\n", "this is not a key file\n", "set_conf, error loading key file"),
        ("# only a comment\n", "# only a comment\n", None),  # gets a [Basic] group
    ])
    def test_odd_key_file_is_left_or_completed_while_process_and_store_follow(self, env, conf, kept, logged):
        if conf is None:
            os.unlink(env.root(HID_CONF))
        else:
            env.root.write(HID_CONF, conf)
        assert set_app_status(env, {"name": "HID", "status": True}) == OK
        text = env.root.read(HID_CONF)
        if logged:
            assert text == kept
        else:
            assert text.startswith(kept) and basic_status(text) == "On"
        assert logged is None or logged in env.daemon.log()
        assert env.apps.script_calls() == [["dpmuxd", "start"]]
        assert env.peers.get("HID", "Status") == "On"


class TestEnableUCPlugins:
    @pytest.mark.parametrize("text", ["[]", "{}", '"text"', "3"])
    def test_no_plugins_runs_nothing(self, env, text):
        assert enable_uc(env, text) == OK
        assert env.apps.script_calls() == []

    def test_not_json_fails_with_logged_code(self, env):
        assert enable_uc(env, "[{") == FAILED
        assert env.apps.script_calls() == []
        assert any(line.startswith("E ThirdApps") and "on_handle_enable_ucplugins 281" in line
                   for line in env.daemon.log().splitlines())

    def test_plugins_run_in_array_order_and_without_value_switch_off(self, env):
        assert enable_uc(env, [{"plugin": "teams", "value": False}, {"plugin": "zoom", "value": True},
                               {"plugin": "meet"}]) == OK
        assert env.apps.script_calls() == [["toggle_uc_plugins.sh", "teams", "OFF"],
                                           ["toggle_uc_plugins.sh", "zoom", "ON"],
                                           ["toggle_uc_plugins.sh", "meet", "OFF"]]

    @pytest.mark.parametrize("bad", ["teams", 7, None, [], {}, {"plugin": 5, "value": True},
                                     {"plugin": None}, {"value": True}])
    def test_unusable_element_fails_while_the_others_run(self, env, bad):
        assert enable_uc(env, [{"plugin": "a", "value": True}, bad, {"plugin": "b", "value": False}]) == FAILED
        assert env.apps.script_calls() == [["toggle_uc_plugins.sh", "a", "ON"],
                                           ["toggle_uc_plugins.sh", "b", "OFF"]]
        assert "element 1 has no plugin name, not run" in env.daemon.log()

    def test_plugin_name_is_one_literal_argument(self, env):
        canary = os.path.join(env.workdir, "canary")
        name = "x $(touch %s); `touch %s` && touch %s\nsecond line" % (canary, canary, canary)
        assert enable_uc(env, [{"plugin": name, "value": True}]) == OK
        assert env.apps.script_calls() == [["toggle_uc_plugins.sh", name, "ON"]]
        assert not os.path.exists(canary)

    def test_script_that_cannot_start_fails_the_call(self, env):
        os.unlink(env.root("/bin/sh"))
        assert enable_uc(env, [{"plugin": "a", "value": True}]) == FAILED
        assert env.apps.script_calls() == []


@pytest.mark.parametrize("stored,action,state", [("Off", "stop", "Off"), ("0", "stop", "Off"), ("off", "stop", "Off"),
                                                 ("yes", "stop", "Off"), ("oN", "start", "On")])
def test_stored_hid_state_is_applied_and_stored_back_at_start(stored, action, state):
    with running(store={("HID", "Status"): stored}) as env:
        assert env.apps.script_calls() == [["dpmuxd", action]]
        assert env.peers.get("HID", "Status") == state
        assert basic_status(env.apps.hid_conf()) == state
        assert "init_app_status, Init app: HID with status:%s" % stored in env.daemon.log()


@pytest.mark.parametrize("store,stop_store", [({}, False), ({("HID", "Status"): ""}, False),
                                              ({("HID", "Status"): "On"}, True)])
def test_nothing_stored_or_no_store_runs_nothing_and_the_daemon_serves(store, stop_store):
    with running(store=store, stop_store=stop_store) as env:
        assert env.apps.script_calls() == []
        if stop_store:
            assert "Error: init third app status." in env.daemon.log()
        else:
            assert env.peers.get("HID", "Status") == store.get(("HID", "Status"))
        assert set_app_status(env, {"name": "other"}) == OK
