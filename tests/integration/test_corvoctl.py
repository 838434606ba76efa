"""corvoctl, the administrator's command line, run as built against the real daemon: each
verb's request seen by its effect on the host root, the store or the BIOS simulator; exit
statuses; --json output that parses as one document in every case; passwords never taken
from the command line."""
import json
import os
import signal
import subprocess

import pytest

import corvo_env
from helpers import daemon

USAGE = "com.corvo.corvoctl.UsageError"
SERVICE_UNKNOWN = "org.freedesktop.DBus.Error.ServiceUnknown"
UNKNOWN_METHOD = "org.freedesktop.DBus.Error.UnknownMethod"
PASSWORD = "Sesame42"
JABRA = "/compat/linux/apps/Jabra/usr/local/"


def ctl(env, *args, **kwargs):
    done = env.corvoctl(*args, **kwargs)
    assert not [mark for mark in corvo_env.SANITIZER_MARKS if mark in done.stderr], done.stderr
    assert PASSWORD not in done.stdout + done.stderr
    return done


def outcome(done):
    """(exit status, document); an error document gives its name, after checking its form
    and that standard error carries the name (bus) or the message (usage)."""
    document = json.loads(done.stdout)
    if not (isinstance(document, dict) and "error" in document):
        return done.returncode, document
    error = document["error"]
    assert sorted(error) == ["message", "name"] and error["message"]
    assert (error["name"] if done.returncode == 3 else error["message"]) in done.stderr
    return done.returncode, error["name"]


# (arguments, standard input, human output, observed effect, expected effect)
EFFECTS = [
    (["loader", "set", "hw.foo", "7"], None, "Success\n",
     lambda env: env.root.loader_conf, 'hw.foo="1"\n'),
    # Option values are bytes, not texts in the locale's character set.
    (["usb", "policy", "--white-class", "HID,0x08", "--black-class", "0x03", "--white-vidpid", "0x1234ü",
      "--read-only", "yes"], None, "Success\n",
     lambda env: (env.root.loader_conf, env.peers.get("usbconfiguring", "udiskreadonly")),
     ('usb.whitelist.vidpid="0x1234ü"\nusb.whitelist.class="HID,0x080200"\n', "yes")),
    (["app", "HID", "on"], None, "ok\n", lambda env: env.peers.get("HID", "Status"), "On"),
    (["headset", "jabra", "off"], None, "Success\n", lambda env: sorted(os.listdir(env.root(JABRA))), ["gn_bk"]),
    # A relative path whose name needs escaping reaches the daemon whole and absolute.
    (["headset", "jabra", "on", "--config", 'my "jabra".ini'], None, "Success\n",
     lambda env: env.root.read("/opt/jabra/Jabra.ini"), "[jabra]\n"),
    (["call", "settings", "EEEConfigure", "TRUE"], None, '{"Result":"Success"}\n',
     lambda env: env.root.loader_conf, 'hw.re.eee_enable="1"\n'),
    (["call", "thirdapps", "SetAppStatus", "-"], '{"name":"HID","status":true}\n', '{"result": "ok"}\n',
     lambda env: env.peers.get("HID", "Status"), "On"),
    (["camera", "list"], None, "no webcams\n", lambda env: env.recorder.calls(), []),
]


@pytest.mark.parametrize("args, stdin, shown, observe, expected", EFFECTS)
def test_verb_request_reaches_the_daemon(env, args, stdin, shown, observe, expected):
    with open(os.path.join(env.workdir, 'my "jabra".ini'), "w") as f:
        f.write("[jabra]\n")
    done = ctl(env, *args, input=stdin, cwd=env.workdir)
    assert (done.returncode, done.stdout, done.stderr) == (0, shown, "")
    assert observe(env) == expected


def status_document(owned, versions, error=None):
    return {name: {"name": bus, "owned": owned, "version": version, "error": error}
            for (name, (bus, _, _)), version in zip(corvo_env.SERVICES.items(), versions)}


# (arguments, exit status, document or error name), the daemon running.
REPLIES = [
    (["status"], 0, status_document(True, ["0.1", "0.1", "0.1", None])),
    (["loader", "set", "a/b", "1"], 1, {"Result": "Fail"}),
    (["call", "settings", "SetCameraFormat", '{"devicePath":"/dev/video0"}'], 1, -1),
    (["call", "settings", "Sysctl", '{"EnableUserCoreDump":"?"}'], 0, {"Result": "0"}),
    (["camera", "list"], 0, {"result": "Success", "message": []}),
    (["call", "bios", "UpdateBios"], 1, {"result": "FAILED", "message": ""}),
    (["call", "thirdapps", "EnableUCPlugins", "not json"], 1, {"result": "failed"}),
    (["headset", "epos", "on", "--config", "/tmp/a;b"], 3, UNKNOWN_METHOD),
]


@pytest.mark.parametrize("args, status, document", REPLIES)
def test_reply_as_one_json_document_and_exit_status(env, args, status, document):
    assert outcome(ctl(env, "--json", *args)) == (status, document)


# (arguments, exit status, document or error name) with no daemon: a usage error sends
# nothing, so only the bus call rows reach the bus.
NOT_SENT = [
    (["call", "settings", "NoSuchMethod"], 2, USAGE),
    (["call", "settings", "UpdateLoaderConf"], 2, USAGE),
    (["call", "bios", "UpdateBios", "x"], 2, USAGE),
    (["call", "printer", "Print", "x"], 2, USAGE),
    (["loader", "set", "a", "on"], 2, USAGE),
    (["loader", "set", "a=b", "1"], 2, USAGE),
    (["usb", "policy"], 2, USAGE),
    (["usb", "policy", "--read-only", "maybe"], 2, USAGE),
    (["usb", "policy", "--white-class", "HID", "--config", "x"], 2, USAGE),
    (["app", "HID", "maybe"], 2, USAGE),
    (["headset", "plantronics", "on"], 2, USAGE),
    (["bios", "extract", "/tmp/" + "x" * 60], 2, USAGE),
    (["--timeout", "0", "status"], 2, USAGE),
    (["--frob"], 2, USAGE),
    ([], 2, USAGE),
    (["bios", "set", "Audio=1", "DeviceKORACMOSNewPassword=" + PASSWORD], 2, USAGE),
    (["bios", "set", "currentpassword=" + PASSWORD], 2, USAGE),
    (["bios", "set", "--password-file", "-", "--new-password-file", "-"], 2, USAGE),
    (["call", "bios", "SetBios", '{"DeviceKORACMOSRestorePassword":"%s"}' % PASSWORD], 2, USAGE),
    (["call", "settings", "UpdateLoaderConf", "a=1"], 3, SERVICE_UNKNOWN),
]


@pytest.mark.parametrize("args, status, document", NOT_SENT)
def test_exit_status_and_json_without_daemon(world, args, status, document):
    assert outcome(ctl(world, "--json", *args)) == (status, document)
    human = ctl(world, *args)
    assert human.returncode == status
    if status != 1:
        assert human.stdout == ""


def test_help_lists_every_verb_as_text_or_one_json_string(world):
    human = ctl(world, "--help")
    assert human.returncode == 0 and human.stdout.startswith("Usage: corvoctl")
    assert all(verb in human.stdout for verb in ("status", "bios restore", "usb policy", "camera list"))
    assert outcome(ctl(world, "--json", "--help")) == (0, human.stdout)
    # A verb's help is its line of the list; a first word alone chooses all its lines.
    listed = [line.strip() + " " for line in human.stdout.splitlines() if line.startswith("  ")]
    for words, lead in ((["status"], "status "), (["bios", "set"], "bios set "), (["bios"], "bios "),
                        (["call", "settings", "Nosuch"], "call ")):
        usage = "".join("Usage: corvoctl %s\n" % line.strip() for line in listed if line.startswith(lead))
        assert ctl(world, *words, "--help").stdout == usage
    assert ctl(world, "nosuch", "--help").returncode == 2
    daemon = subprocess.run([corvo_env.built("src", "corvo-settingsd"), "--version"], capture_output=True, text=True)
    assert outcome(ctl(world, "--json", "--version")) == (0, daemon.stdout.replace("corvo-settingsd", "corvoctl"))


def test_status_shows_services_that_do_not_answer_and_fails(env):
    os.chmod(env.workdir, 0o755)  # the unprivileged client reaches the bus socket
    nobody = ctl(env, "--json", "status", prefix=["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"])
    assert outcome(nobody) == (0, status_document(True, ["0.1", "0.1", "0.1", None]))
    os.kill(env.daemon.process.pid, signal.SIGSTOP)
    try:
        done = [ctl(env, "--timeout", "1", *json, "status") for json in (["--json"], [])]
    finally:
        os.kill(env.daemon.process.pid, signal.SIGCONT)
    error = "org.freedesktop.DBus.Error.NoReply"
    assert outcome(done[0]) == (1, status_document(True, [None] * 4, error))
    assert (done[1].returncode, done[1].stdout.split("\n")[0].split()) == (1, ["settings", "com.corvo.settings",
                                                                               "not", "answering", error])


def test_status_never_starts_the_daemon_a_call_would_start(tmp_path):
    started = tmp_path / "started"
    (tmp_path / "com.corvo.settings.service").write_text(
        "[D-BUS Service]\nName=com.corvo.settings\nExec=/usr/bin/touch %s\nUser=root\n" % started)
    config = tmp_path / "activation.conf"
    config.write_text("<busconfig><servicedir>%s</servicedir></busconfig>" % tmp_path)
    with corvo_env.Environment(start_daemon=False, bus_includes=[str(config)]) as world:
        done = ctl(world, "--json", "status")
        assert not started.exists() and outcome(done) == (1, status_document(False, [None] * 4))
        ctl(world, "--timeout", "5", "call", "settings", "GetCameraInfo", "{}")
        assert started.exists()


def test_bios_verbs_with_password_files_and_relative_paths():
    with daemon(model="K20", bios_state={"password": PASSWORD}) as env:
        password_file = os.path.join(env.workdir, "pw")
        with open(password_file, "w") as f:
            f.write(PASSWORD + "\nsecond line\n")

        done = ctl(env, "bios", "set", "Audio=1", "DeviceKORACMOSACRecovery=LastState",
                   "--password-file", password_file)
        assert (done.returncode, done.stdout) == (0, "Success\n")
        assert ctl(env, "bios", "set", "Audio=0", "--password-file", "-", input="wrong\n").returncode == 1
        done = ctl(env, "bios", "get", "Audio", "DeviceKORACMOSACRecovery")
        assert (done.returncode, done.stdout) == (0, "Audio       Yes\nACRecovery  LastState\n")

        assert ctl(env, "bios", "extract", "cmos.bin", cwd=env.workdir).returncode == 0
        path = os.path.join(env.workdir, "cmos.bin")
        assert env.cmos_extract.calls() == [[path]] and os.path.getsize(path) == 1024
        env.bios.seed({"settings": {"Audio": 0, "ACRecovery": 0}})
        assert ctl(env, "bios", "restore", "cmos.bin", cwd=env.workdir).returncode == 1
        done = ctl(env, "bios", "restore", "cmos.bin", "--password-file", "-", input=PASSWORD, cwd=env.workdir)
        assert (done.returncode, env.bios.setting("Audio"), env.bios.setting("ACRecovery")) == (0, 1, 2)

        done = ctl(env, "--json", "bios", "set", "--password-file", password_file, "--new-password-file", "-",
                   input="Other1\r\n")
        assert outcome(done) == (0, {"result": "Success"})
        assert env.bios.state()["password"] == "Other1"


PROFILE = {
    "SetTerminal": {"DisablePowerButton": "yes"},
    "UsbConfigure": {"EnableUDiskReadOnly": "yes", "USBWhiteListClass": "HID,0x080650"},
    "Sysctl": {"EnableUserCoreDump": "no", "EnableRe0ASPM": "yes"},
    "EEEConfigure": {"value": "true"},
    "UsbRedConfigure": [{"usbifstring": "0x12345678,NoDriver 0x080650", "usbredenable": "yes"}],
}


def test_apply_brings_show_to_the_file_and_show_applied_back_is_unchanged(env):
    dry = ctl(env, "apply", "--dry-run", "-", input=json.dumps(PROFILE))
    assert (dry.returncode, env.recorder.calls(), env.peers.dump()) == (0, [], {})
    assert 'Sysctl           would call Sysctl {"EnableUserCoreDump":"no"}; Sysctl {"EnableRe0ASPM":"yes"}\n' in dry.stdout

    done = ctl(env, "--json", "apply", "-", input=json.dumps(PROFILE))
    assert outcome(done) == (0, dict.fromkeys(PROFILE, "applied"))
    assert outcome(ctl(env, "show", "--json", *PROFILE)) == (0, PROFILE)
    shown = ctl(env, "show", "--json").stdout

    env.recorder.clear()
    again = ctl(env, "apply", "-", input=shown)
    assert again.returncode == 0 and env.recorder.calls() == []
    assert sorted(again.stdout.split()[1::2]) == ["unchanged"] * len(json.loads(shown))

    # A method that fails is reported as such, the others still applied: exit status 1.
    refused = dict(PROFILE, SetTerminal={"DisablePowerButton": "maybe"}, EEEConfigure={"value": "false"})
    assert outcome(ctl(env, "--json", "apply", "-", input=json.dumps(refused))) == (1, dict(
        dict.fromkeys(PROFILE, "unchanged"), SetTerminal='failed: answered {"Result":"Fail"}', EEEConfigure="applied"))
    table = ctl(env, "show", "UsbConfigure").stdout
    assert table == "UsbConfigure  EnableUDiskReadOnly  yes\nUsbConfigure  USBWhiteListClass    HID,0x080650\n"
