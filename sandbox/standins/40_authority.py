"""The polkit authority: python-dbusmock's polkitd template on the environment's bus, started
the first time a test uses it (a daemon without it finds no authority, as on a host without
polkit). Test API: `env.authority` (an Authority, below)."""

import os
import subprocess
import sys

import dbus

import corvo_env

NAME = "org.freedesktop.PolicyKit1"
PATH = "/org/freedesktop/PolicyKit1/Authority"
INTERFACE = "org.freedesktop.PolicyKit1.Authority"


class Authority:
    """allow(*actions) grants those actions, allow_all() every one; challenge() wants every
    caller to authenticate first; hang() keeps every answer until release(), hanging() tells
    whether one is kept. checks() lists the (action id, flags) it was asked about; calls()
    every (method, arguments) it received."""

    def __init__(self, env):
        self.env = env
        self._mock = None

    @property
    def mock(self):
        if self._mock is None:
            process = subprocess.Popen([sys.executable, "-m", "dbusmock", "--system", "--template", "polkitd"],
                                       env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.env.bus.address),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.env.on_close(lambda: (process.terminate(), process.wait(10)))
            if not corvo_env.wait_until(lambda: self.env.bus.has_owner(NAME)):
                raise RuntimeError("the stand-in authority did not start")
            self._mock = dbus.Interface(self.env.bus.connection.get_object(NAME, PATH), "org.freedesktop.DBus.Mock")
            # The text-console agent registers through this newer method, which the template lacks.
            self._mock.AddMethod(INTERFACE, "RegisterAuthenticationAgentWithOptions", "(sa{sv})ssa{sv}", "", "")
        return self._mock

    def allow(self, *actions):
        self.mock.SetAllowed(dbus.Array(actions, signature="s"))

    def allow_all(self):
        self.mock.AllowUnknown(True)

    def challenge(self):
        self.mock.AddMethod(INTERFACE, "CheckAuthorization", "(sa{sv})sa{ss}us", "(bba{ss})", "ret = (False, True, {})")

    def hang(self):
        self.mock.SimulateHang(True)

    def hanging(self):
        return bool(self.mock.HaveHangingCalls())

    def release(self):
        self.mock.ReleaseHangingCalls()

    def calls(self):
        return [(str(method), args) for _, method, args in self.mock.GetCalls()]

    def checks(self):
        return [(str(args[1]), int(args[3])) for method, args in self.calls() if method == "CheckAuthorization"]


def setup(env):
    env.authority = Authority(env)
