"""Settings, part two: kernel tuning through sysctl, the boolean boot-loader tunables, and
the webcams (the sandbox has none, so the list is empty and setting a format fails)."""
import json

import corvo_env


def _step(env, show, method, params, loader=(), sysctl_file=False):
    text = params if isinstance(params, str) else json.dumps(params)
    env.recorder.clear()
    show(None, "%s %s" % (method, text), env.call("settings", method, text))
    show(None, "  programs run (argv)", env.recorder.calls("sysctl") or "none")
    if loader:
        lines = [l for l in env.root.loader_conf.splitlines() if l.split("=", 1)[0] in loader]
        show(None, "  its lines in /boot/loader.conf.local", lines)
    if sysctl_file:
        show(None, "  host /etc/sysctl.conf.local", env.root.sysctl_conf.splitlines())


def run(env, show):
    corvo_env.wait_until(lambda: env.answers("settings"), 10)

    show("kernel tuning")
    _step(env, show, "Sysctl", {"CPUCStateLowest": "c1"})
    _step(env, show, "Sysctl", {"CPUCStateLowest": "C2"})
    _step(env, show, "Sysctl", {"EnableUserCoreDump": "yes"}, sysctl_file=True)
    env.recorder.answer("sysctl", "kern.coredump: 1\n")
    _step(env, show, "Sysctl", {"EnableUserCoreDump": "?"})
    env.recorder.answer("sysctl", "")
    _step(env, show, "Sysctl", {"EnableRe0ASPM": "yes"}, loader=["hw.devpmostsave"])
    _step(env, show, "Sysctl", {"hw_usb_setting": "no_shutdown_wait=1"})
    _step(env, show, "Sysctl", {"hw_usb_setting": "no_shutdown_wait=2"})
    _step(env, show, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True}, sysctl_file=True)
    _step(env, show, "SysctlGeneric", {"sysctl": "v4l2_not_allowed", "boolkey": True})

    show("boot-loader tunables")
    _step(env, show, "EEEConfigure", "TRUE", loader=["hw.re.eee_enable"])
    _step(env, show, "GKeyConfigure", "false", loader=["system_reset_key_enable"])
    _step(env, show, "RKeyConfigure", "true", loader=["system_recover_key_enable"])
    _step(env, show, "UpdateLoaderConf", "foo.bar=5", loader=["foo.bar"])
    _step(env, show, "UpdateLoaderConf", "a/d;x=1")

    show("webcams")
    _step(env, show, "GetCameraInfo", "")
    _step(env, show, "SetCameraFormat", {"devicePath": "/dev/video0", "format": "MJPG", "width": 1280,
                                         "height": 720, "fps": 30})
