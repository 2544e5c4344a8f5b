"""A private desktop for accessibility checks: a virtual display, a D-Bus
session with the AT-SPI bus and registry, and the program on it with Qt's
accessibility bridge switched on. Every process started here is stopped again
by stop(), also when a check fails half way."""

import os
import shutil
import signal
import subprocess
import tempfile
import time

SERVICES = {
    "Xvfb": "Xvfb (package xvfb)",
    "dbus-daemon": "dbus-daemon (package dbus-daemon)",
    "dbus-send": "dbus-send (package dbus-bin)",
    "xdotool": "xdotool (package xdotool)",
    "/usr/libexec/at-spi-bus-launcher": "the AT-SPI bus (package at-spi2-core)",
    "/usr/libexec/at-spi2-registryd": "the AT-SPI registry (package at-spi2-core)",
}


def missing_tools(extra=()):
    """Descriptions of the tools that are not installed."""
    wanted = dict(SERVICES)
    wanted.update(extra)
    return [what for tool, what in wanted.items() if shutil.which(tool) is None]


class StartError(RuntimeError):
    pass


def wait_for(predicate, timeout, what, interval=0.05):
    """Polls until predicate() is true; the deadline, not the interval, bounds it."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise StartError("timed out waiting for " + what)
        time.sleep(interval)


class Session:
    def __init__(self, program, dpi=96, log=None):
        self.program = program
        self.dpi = dpi
        self.log = log
        self.processes = []  # (name, Popen), started in this order
        self.tmp = None
        self.env = None
        self.app = None
        self.a11y_address = None

    # --- starting --------------------------------------------------------

    def start(self, program_args=(), with_program=True):
        """Starts the desktop and, unless told otherwise, the program on it."""
        try:
            self._start_desktop()
            if with_program:
                self.start_program(program_args)
        except BaseException:
            self.stop()
            raise
        return self

    def start_program(self, program_args=()):
        app_env = dict(self.env)
        app_env.update({
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
            "QT_FONT_DPI": str(self.dpi),
        })
        self.app = self._spawn("leverans", [self.program, *program_args], env=app_env)
        return self.app

    def _start_desktop(self):
        self.tmp = tempfile.mkdtemp(prefix="leverans-a11y.")
        runtime = os.path.join(self.tmp, "run")
        os.mkdir(runtime, 0o700)
        env = {k: v for k, v in os.environ.items()
               if k not in ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "DISPLAY",
                            "WAYLAND_DISPLAY", "SESSION_MANAGER")}
        # Nothing of the desktop reaches the user's home: settings stay in memory.
        env.update({
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(self.tmp, "config"),
            "XDG_CACHE_HOME": os.path.join(self.tmp, "cache"),
            "XDG_DATA_HOME": os.path.join(self.tmp, "data"),
            "GSETTINGS_BACKEND": "memory",
            "NO_AT_BRIDGE": "0",
        })
        self.env = env

        display = self._read_fd("Xvfb", lambda fd: [
            "Xvfb", "-displayfd", str(fd), "-nolisten", "tcp", "-screen", "0", "1024x768x24",
            "-dpi", str(self.dpi)])
        env["DISPLAY"] = ":" + display

        env["DBUS_SESSION_BUS_ADDRESS"] = self._read_fd("dbus-daemon", lambda fd: [
            "dbus-daemon", "--session", "--nofork", "--print-address=%d" % fd])

        self._spawn("at-spi-bus-launcher", ["/usr/libexec/at-spi-bus-launcher",
                                            "--launch-immediately"])
        wait_for(lambda: self._has_owner("--session", "org.a11y.Bus"), 20, "the AT-SPI bus")
        self.a11y_address = wait_for(self._a11y_bus_address, 20, "the AT-SPI bus address")
        # Not handed to the program as AT_SPI_BUS_ADDRESS: Qt 6.4 ignores a
        # bus given that way (it connects before its bridge listens) and
        # finds it through the session bus, as on a desktop. Clients get it
        # from client_env().

        # Told the bus outright, the registry cannot end up on another one.
        # It must be ours, started with the display, and the only one: Qt
        # asks it which events anyone listens to and sends only those.
        registry_env = dict(env, AT_SPI_BUS_ADDRESS=self.a11y_address)
        registry = self._spawn("at-spi2-registryd", ["/usr/libexec/at-spi2-registryd"],
                               env=registry_env)

        def registry_up():
            if registry.poll() is not None:
                raise StartError("the AT-SPI registry ended (status %s)" % registry.returncode)
            return self._has_owner("--bus=" + self.a11y_address, "org.a11y.atspi.Registry")
        wait_for(registry_up, 30, "the AT-SPI registry")

    def _spawn(self, name, argv, env=None, **kwargs):
        out = self.log if self.log is not None else subprocess.DEVNULL
        # A group of its own, so that stopping it also stops what it started.
        process = subprocess.Popen(argv, env=env or self.env, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=out, start_new_session=True, **kwargs)
        self.processes.append((name, process))
        return process

    def _read_fd(self, name, argv_for_fd):
        """Starts a service that writes one line (its address) to a pipe."""
        read_end, write_end = os.pipe()
        try:
            process = self._spawn(name, argv_for_fd(write_end), pass_fds=(write_end,))
        finally:
            os.close(write_end)
        with os.fdopen(read_end) as pipe:
            line = pipe.readline().strip()
        if not line:
            raise StartError("%s did not start (exit status %s)" % (name, process.poll()))
        return line

    def _dbus_send(self, bus, *args):
        result = subprocess.run(["dbus-send", bus, "--print-reply=literal", *args],
                                env=self.env, capture_output=True, text=True, timeout=10)
        return result.stdout.strip() if result.returncode == 0 else None

    def _has_owner(self, bus, name):
        # Asks the bus itself, so that no service is started by asking.
        reply = self._dbus_send(bus, "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus.NameHasOwner", "string:" + name)
        return reply is not None and reply.endswith("true")

    def _a11y_bus_address(self):
        return self._dbus_send("--session", "--dest=org.a11y.Bus", "/org/a11y/bus",
                               "org.a11y.Bus.GetAddress")

    # --- using -----------------------------------------------------------

    def client_env(self):
        """What an AT-SPI client on this desktop needs in its environment."""
        return {"DISPLAY": self.env["DISPLAY"],
                "DBUS_SESSION_BUS_ADDRESS": self.env["DBUS_SESSION_BUS_ADDRESS"],
                "AT_SPI_BUS_ADDRESS": self.a11y_address}

    def spawn(self, name, argv, env=None):
        """Starts a further (client) process on this desktop, stopped with the rest."""
        merged = dict(self.env, **self.client_env())
        merged.update(env or {})
        return self._spawn(name, argv, env=merged)

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=True, timeout=20,
                       stdout=subprocess.DEVNULL)

    def window(self, timeout=20):
        """The program's window id once it is visible."""
        def find():
            if self.app.poll() is not None:
                raise StartError("the program ended with status %s" % self.app.returncode)
            result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Form1$"],
                                    env=self.env, capture_output=True, text=True, timeout=10)
            return result.stdout.split()[0] if result.stdout.split() else None
        return wait_for(find, timeout, "the program's window")

    def app_alive(self):
        return self.app is not None and self.app.poll() is None

    # --- stopping ----------------------------------------------------------

    def stop(self):
        for name, process in reversed(self.processes):
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for name, process in reversed(self.processes):
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                process.wait(timeout=5)
            # Descendants left in the group (activated services) go too.
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
        self.processes = []
        if self.tmp:
            shutil.rmtree(self.tmp, ignore_errors=True)
            self.tmp = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False
