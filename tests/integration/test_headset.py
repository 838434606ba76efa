"""SetHeadset on com.corvo.headset: the Jabra and EPOS companion apps are enabled and
disabled by renaming their program folders, get their configuration file copied in and are
started in the background; a configuration path with a character their start-up scripts
cannot take declines the call."""
import json
import os

import pytest

from helpers import declined

JABRA_ROOT = "/compat/linux/apps/Jabra"
GN = JABRA_ROOT + "/usr/local/gn"
GN_BK = JABRA_ROOT + "/usr/local/gn_bk"
JABRA_INI = "/opt/jabra/Jabra.ini"
EPOS_ROOT = "/compat/linux/apps/Epos_Connect"
SBIN = EPOS_ROOT + "/usr/sbin"
SBIN_BK = EPOS_ROOT + "/usr/sbin_bk"
EPOS_CONFIG = EPOS_ROOT + "/etc/epos-connect/config.txt"

SUCCESS = '{"result":"Success"}'
FAILED = '{"result":"FAILED"}'


def set_headset(env, text=None, **members):
    return env.call("headset", "SetHeadset", json.dumps(members) if text is None else text)


def source_file(env, name, text):
    path = os.path.join(env.workdir, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def move(env, fixed_from, fixed_to):
    os.rename(env.root(fixed_from), env.root(fixed_to))


class TestEnableAndDisable:
    def test_disabled_jabra_gets_no_config_until_enabled_again(self, env):
        ini = source_file(env, "jabra.ini", "[jabra]\nring=1\n")
        assert set_headset(env, jabraEnable=0) == SUCCESS
        assert env.apps.exists(GN_BK) and not env.apps.exists(GN)
        assert set_headset(env, jabraConfigFile=ini) == SUCCESS
        assert env.recorder.calls("cp") == [] and env.root.read(JABRA_INI) is None
        assert set_headset(env, jabraEnable=1, jabraConfigFile=ini) == SUCCESS
        assert env.apps.exists(GN) and not env.apps.exists(GN_BK)
        assert env.recorder.calls("cp") == [["cp", "--", ini, env.root(JABRA_INI)]]
        assert env.root.read(JABRA_INI) == "[jabra]\nring=1\n"
        assert env.apps.wait_for_calls("jdu.sh", 1) == [["jdu.sh"]]
        # A restarted daemon has forgotten the disabled state: the configuration goes in.
        assert set_headset(env, jabraEnable=0) == SUCCESS
        env.daemon.stop()
        env.daemon.start()
        assert set_headset(env, jabraConfigFile=ini) == SUCCESS
        assert len(env.recorder.calls("cp")) == 2 and env.apps.exists(GN_BK)

    @pytest.mark.parametrize("already_off", [False, True])
    def test_disabling_epos_stops_it_before_renaming(self, env, already_off):
        if already_off:
            move(env, SBIN, SBIN_BK)
        env.recorder.watch("pkill", env.root(SBIN))
        assert set_headset(env, eposEnable=0) == SUCCESS
        assert env.recorder.calls("pkill") == ([] if already_off else [["pkill", "-f", "epos-connect"]])
        assert env.recorder.present("pkill") == ([] if already_off else [[env.root(SBIN)]])
        assert env.apps.exists(SBIN_BK) and not env.apps.exists(SBIN)

    def test_enabling_epos_with_config_renames_copies_and_restarts(self, env):
        move(env, SBIN, SBIN_BK)
        config = source_file(env, "epos.txt", "volume=7\n")
        assert set_headset(env, eposEnable=1, eposConfigFile=config) == SUCCESS
        assert env.apps.exists(SBIN) and env.root.read(EPOS_CONFIG) == "volume=7\n"
        assert env.recorder.calls() == [["cp", "--", config, env.root(EPOS_CONFIG)], ["pkill", "-f", "epos-connect"]]
        assert env.apps.wait_for_calls("epos-connect", 1) == [["epos-connect"]]

    @pytest.mark.parametrize("enable, prepare", [
        (1, "no-root"), (0, "no-folder"), (1, "both-folders"), (2, None),
        # Read as a number these would be 0 and silently disable the application.
        ("0", None), (None, None), ({"x": 0}, None),
    ])
    def test_jabra_failure_fails_the_call_while_the_epos_request_is_carried_out(self, env, enable, prepare):
        if prepare == "no-root":
            move(env, JABRA_ROOT, "/compat/linux/apps/Jabra.old")
        elif prepare == "no-folder":
            move(env, GN, JABRA_ROOT + "/usr/local/other")
        elif prepare == "both-folders":
            os.makedirs(env.root(GN_BK))  # the enabled one is not empty: renaming back fails
        assert set_headset(env, jabraEnable=enable, eposEnable=0) == FAILED
        assert env.apps.exists(SBIN_BK) and not env.apps.exists(SBIN)
        if prepare is None:
            assert env.apps.exists(GN) and not env.apps.exists(GN_BK)

    @pytest.mark.parametrize("jabra,epos", [(1, 1), (165, 165)])
    def test_enabled_apps_or_the_absent_marker_change_nothing(self, env, jabra, epos):
        assert set_headset(env, jabraEnable=jabra, eposEnable=epos) == SUCCESS
        assert env.apps.exists(GN) and env.apps.exists(SBIN) and env.recorder.calls() == []


class TestConfigurationPaths:
    @pytest.mark.parametrize("name", ["back`touch CANARY`tick.ini", "line\nfeed.ini", "two words.ini"])
    def test_odd_file_name_is_copied_as_that_literal_file(self, env, name):
        path = source_file(env, name, "literal\n")
        assert set_headset(env, jabraConfigFile=path) == SUCCESS
        assert env.root.read(JABRA_INI) == "literal\n"
        assert env.recorder.calls("cp") == [["cp", "--", path, env.root(JABRA_INI)]]
        assert env.apps.wait_for_calls("jdu.sh", 1) == [["jdu.sh"]]
        assert not os.path.exists(os.path.join(os.readlink("/proc/%d/cwd" % env.daemon.process.pid), "CANARY"))

    @pytest.mark.parametrize("length,reply", [(99, SUCCESS), (100, FAILED)])
    def test_path_of_99_bytes_is_installed_and_a_longer_one_not_cut_into_another(self, env, length, reply):
        path = os.path.join(env.workdir, "c" * (length - len(env.workdir) - 1))
        source_file(env, os.path.basename(path[:99]), "cut\n")
        source_file(env, os.path.basename(path), "whole\n")
        assert set_headset(env, jabraConfigFile=path) == reply
        assert env.root.read(JABRA_INI) == ("whole\n" if reply == SUCCESS else None)

    @pytest.mark.parametrize("source", ["fifo", "/dev/zero", "link", "over 1 MiB"])
    def test_only_a_plain_file_of_at_most_1_mib_is_copied(self, env, source):
        path = "/dev/zero" if source == "/dev/zero" else os.path.join(env.workdir, source)
        {"fifo": lambda: os.mkfifo(path), "link": lambda: os.symlink(source_file(env, "ok.ini", "x\n"), path),
         "over 1 MiB": lambda: source_file(env, source, "x" * (2 ** 20 + 1)), "/dev/zero": lambda: None}[source]()
        assert env.call("headset", "SetHeadset", json.dumps({"jabraConfigFile": path}), timeout=20) == FAILED
        assert env.recorder.calls() == [] and env.root.read(JABRA_INI) is None

    def test_missing_file_or_text_that_is_not_json_do_not_fail(self, env):
        assert set_headset(env, jabraConfigFile="/no/such/file.ini") == SUCCESS
        assert env.root.read(JABRA_INI) is None
        assert set_headset(env, text="jabraEnable=0") == SUCCESS
        assert env.apps.exists(GN)


def test_forbidden_characters_decline_and_change_nothing(env):
    canary = os.path.join(env.workdir, "canary")
    config = source_file(env, "ok.txt", "x\n")
    for char in "|;&$><'\\!#":
        bad = "/tmp/$(touch %s).ini" % canary if char == "$" else "/tmp/a%sb" % char
        error = declined(env, "headset", "SetHeadset", {"jabraEnable": 0, "eposEnable": 0, "eposConfigFile": bad,
                                                        "jabraConfigFile": config})
        assert error.get_dbus_message() == "Method SetHeadset is not implemented on interface com.corvo.headset"
    assert env.apps.exists(GN) and env.apps.exists(SBIN) and not os.path.exists(canary)
    assert env.recorder.calls() == [] and env.root.read(JABRA_INI) is None
    # The refused disable requests set no flag: a config-only request still installs.
    assert set_headset(env, jabraConfigFile=config) == SUCCESS
    assert env.root.read(JABRA_INI) == "x\n"
    # The characters are checked in order across both paths: '|' before '#'.
    declined(env, "headset", "SetHeadset", {"jabraConfigFile": "/tmp/a#b", "eposConfigFile": "/tmp/a|b"})
    assert env.daemon.log().count("$(jabra_invalid)") == 0
