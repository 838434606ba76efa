"""The administrator's command line: corvoctl against every service, its --json output, and
a password refused on the command line."""
import shlex


def _run(env, show, *args, input=None):
    done = env.corvoctl(*args, input=input)
    output = (done.stdout + done.stderr).rstrip("\n")
    show(None, "corvoctl " + " ".join(shlex.quote(a) for a in args), "exit %d\n%s" % (done.returncode, output))


def run(env, show):
    show("corvoctl")
    _run(env, show, "status")
    _run(env, show, "usb", "policy", "--white-class", "HID,0x08")
    show(None, "  its lines in /boot/loader.conf.local",
         [line for line in env.root.loader_conf.splitlines() if line.startswith("usb.")])
    _run(env, show, "--json", "call", "settings", "Sysctl", '{"EnableUserCoreDump":"?"}')
    if env.bios is not None:
        _run(env, show, "bios", "get", "Audio", "ACRecovery", "AutoPower")
        _run(env, show, "bios", "set", "Audio=0", "--password-file", "-", input="\n")
    _run(env, show, "bios", "set", "CurrentPassword=secret")
    _run(env, show, "headset", "jabra", "on")
    _run(env, show, "app", "HID", "off")
    _run(env, show, "--json", "call", "settings", "NoSuchMethod")
    # What the tour set, read back; sent back it changes nothing.
    _run(env, show, "show")
    shown = env.corvoctl("show", "--json").stdout
    _run(env, show, "apply", "-", input=shown)
