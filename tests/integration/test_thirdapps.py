"""com.corvo.thirdapps: SetAppStatus switches the HID multiplexer (key file, init script,
stored state), EnableUCPlugins runs the plug-in toggle script, and the stored HID state is
re-applied when the daemon starts."""
import contextlib
import json
import os

import pytest

import corvo_env

HID_CONF = "/compat/linux/apps/HID_Citrix/etc/HID/warthog.conf"
OK = '{"result": "ok"}'
FAILED = '{"result": "failed"}'


@contextlib.contextmanager
def daemon_with_store(store, stop_store=False):
    """A daemon started on a store holding `store`, or with the store gone when `stop_store`."""
    with corvo_env.Environment(store=store, start_daemon=False) as e:
        assert e.peers is not None, "the peer stand-in is not built"
        if stop_store:
            e.peers.stop()
        e.daemon.start()
        yield e
        assert e.daemon.alive(), e.daemon.log()
        assert e.daemon.stop() == 160
        assert not e.daemon.sanitizer_reports(), e.daemon.log()


def set_app_status(env, text):
    return env.call("thirdapps", "SetAppStatus", text if isinstance(text, str) else json.dumps(text))


def enable_uc(env, text):
    return env.call("thirdapps", "EnableUCPlugins", text if isinstance(text, str) else json.dumps(text))


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

    @pytest.mark.parametrize("text", ["not json", "", '{"name": "HID", "status": tru'])
    def test_text_that_is_not_json_fails_and_changes_nothing(self, env, text):
        before = env.apps.hid_conf()
        assert set_app_status(env, text) == FAILED
        assert env.apps.hid_conf() == before
        assert env.apps.script_calls() == []
        assert env.peers.get("HID", "Status") is None

    @pytest.mark.parametrize("params", [{"name": "HIDX", "status": True}, {"status": True}, ["HID", True]])
    def test_other_names_are_answered_ok_and_ignored(self, env, params):
        before = env.apps.hid_conf()
        assert set_app_status(env, params) == OK
        assert env.apps.hid_conf() == before
        assert env.apps.script_calls() == []
        assert env.peers.get("HID", "Status") is None

    def test_missing_key_file_is_not_created_but_process_and_store_follow(self, env):
        os.unlink(env.root(HID_CONF))
        assert set_app_status(env, {"name": "HID", "status": True}) == OK
        assert not env.apps.exists(HID_CONF)
        assert "set_conf, config file is not exist." in env.daemon.log()
        assert env.apps.script_calls() == [["dpmuxd", "start"]]
        assert env.peers.get("HID", "Status") == "On"

    def test_unreadable_key_file_is_left_alone(self, env):
        env.root.write(HID_CONF, "this is not a key file\n")
        assert set_app_status(env, {"name": "HID", "status": True}) == OK
        assert env.apps.hid_conf() == "this is not a key file\n"
        assert "set_conf, error loading key file" in env.daemon.log()
        assert env.apps.script_calls() == [["dpmuxd", "start"]]

    def test_key_file_without_basic_group_gets_one(self, env):
        env.root.write(HID_CONF, "# only a comment\n")
        assert set_app_status(env, {"name": "HID", "status": False}) == OK
        conf = env.apps.hid_conf()
        assert conf.startswith("# only a comment\n")
        assert basic_status(conf) == "Off"


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

    def test_plugins_run_in_array_order(self, env):
        assert enable_uc(env, [{"plugin": "teams", "value": False}, {"plugin": "zoom", "value": True}]) == OK
        assert env.apps.script_calls() == [["toggle_uc_plugins.sh", "teams", "OFF"],
                                           ["toggle_uc_plugins.sh", "zoom", "ON"]]

    def test_element_without_value_switches_off(self, env):
        assert enable_uc(env, [{"plugin": "teams"}]) == OK
        assert env.apps.script_calls() == [["toggle_uc_plugins.sh", "teams", "OFF"]]

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


class TestStartUp:
    @pytest.mark.parametrize("stored", ["Off", "0", "off", "yes"])
    def test_stored_value_other_than_on_stops_hid_and_stores_off(self, stored):
        with daemon_with_store({("HID", "Status"): stored}) as e:
            assert e.apps.script_calls() == [["dpmuxd", "stop"]]
            assert e.peers.get("HID", "Status") == "Off"
            assert basic_status(e.apps.hid_conf()) == "Off"
            assert "init_app_status, Init app: HID with status:%s" % stored in e.daemon.log()

    def test_stored_on_in_any_case_starts_hid(self):
        with daemon_with_store({("HID", "Status"): "oN"}) as e:
            assert e.apps.script_calls() == [["dpmuxd", "start"]]
            assert e.peers.get("HID", "Status") == "On"
            assert basic_status(e.apps.hid_conf()) == "On"

    @pytest.mark.parametrize("store", [{}, {("HID", "Status"): ""}])
    def test_nothing_stored_runs_nothing(self, store):
        with daemon_with_store(store) as e:
            before = e.apps.hid_conf()
            assert e.apps.script_calls() == []
            assert e.peers.get("HID", "Status") == store.get(("HID", "Status"))
            assert e.apps.hid_conf() == before

    def test_unreachable_store_leaves_state_alone_and_daemon_serves(self):
        with daemon_with_store({("HID", "Status"): "On"}, stop_store=True) as e:
            assert "Error: init third app status." in e.daemon.log()
            assert e.apps.script_calls() == []
            assert set_app_status(e, {"name": "other"}) == OK
