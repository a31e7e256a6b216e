#!/usr/bin/env python3
"""Measures Pelicrow beside its peers (scrot, maim, ImageMagick import, flameshot).

Everything runs inside a private X server (1920x1080x24, -noreset) with a
private D-Bus session, a tray host and a fresh HOME. The screen shows one of
two scenes, the same at every run:

  busy      a fractal with Gaussian noise over the whole root window: the
            worst case for compression
  desktop   a plain background with real clients of fixed content: two
            xterms showing licence texts, a window of large flat areas, xlogo
            and an image viewer with a photo-like picture

Four scenarios, each in paired rounds (A B A B ...):

  full      per scene: hot-key to the PNG complete on disk, against each
            peer's whole full-screen command, and the size of every file
            beside ImageMagick at zlib level 9 as the best size
  fastcut   hot-key to the overlay mapped, against `flameshot gui`
  idle      in the tray, main window hidden, carousel holding pictures:
            RSS, RssAnon and CPU against the flameshot daemon
  startup   launch to the main window mapped, against the flameshot
            daemon's launch to its D-Bus name

A Pelicrow scenario whose piece is missing (no hot-key answer, no main
window) is reported as n/a instead of waiting. Every wait has a deadline,
every loop a bounded count, and every process is ended by its pid.
"""

import argparse
import csv
import ctypes
import json
import os
import re
import select
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

SCREEN = "1920x1080x24"
SCREEN_W, SCREEN_H = 1920, 1080
PICTURE_SEED = 4242
FLAMESHOT_NAME = "org.flameshot.Flameshot"
# Pelicrow's default hot-key digits (with Ctrl + Shift): fast cut 2, full-screen cut 3.
FULL_KEY = "3"
FAST_KEY = "2"

SCENES = ("busy", "desktop")
DESKTOP_BACKGROUND = "#2e3440"
# Times: Pelicrow / peer.
TARGETS = {
    ("full:busy", "scrot"): 0.5,
    ("full:busy", "flameshot full -c -p"): 0.2,
    ("full:desktop", "scrot"): 0.5,
    ("fastcut", "flameshot gui"): 0.3,
    ("startup", "flameshot daemon"): 1.2,
}
# File sizes: Pelicrow's / the peer's (or the best size's).
SIZE_TARGETS = {
    ("full:busy", "scrot"): 1.05,
    ("full:desktop", "scrot"): 1.0,
    ("full:desktop", "best size"): 1.25,
}
BEST_SIZE = "best size"
IDLE_CPU_TARGET = 0.1  # percent
IDLE_RSS_TARGET_MIB = 45
IDLE_WAKEUPS_TARGET = 1.0  # per second


class BenchError(Exception):
    """A broken environment or script: the run cannot measure at all."""


def log(*parts):
    print("[bench %s]" % time.strftime("%H:%M:%S"), *parts, file=sys.stderr, flush=True)


def now():
    return time.monotonic()


def wait_until(condition, timeout, step=0.01):
    """Polls condition() until it returns a true value or the deadline passes."""
    deadline = now() + timeout
    while True:
        value = condition()
        if value or now() >= deadline:
            return value
        time.sleep(step)


def read_line(stream, timeout):
    """Reads one line from a pipe within timeout seconds; None when none came."""
    fd = stream.fileno()
    data = b""
    deadline = now() + timeout
    while not data.endswith(b"\n"):
        left = deadline - now()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            return None
        chunk = os.read(fd, 1)
        if not chunk:
            return None
        data += chunk
    return data.decode().strip()


class Inotify:
    """Tells when a PNG file is complete in a folder.

    A writer may close the file after writing, rename it in, or link an
    anonymous temporary file into place (QSaveFile does that on Linux, which
    inotify reports as a creation); a created file counts once its PNG end
    chunk is there."""

    IN_CLOSE_WRITE = 0x08
    IN_MOVED_TO = 0x80
    IN_CREATE = 0x100
    PNG_END = b"\0\0\0\0IEND\xaeB`\x82"

    def __init__(self, folder):
        self.folder = folder
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0:
            raise BenchError("inotify_init1 failed")
        mask = self.IN_CLOSE_WRITE | self.IN_MOVED_TO | self.IN_CREATE
        if self.libc.inotify_add_watch(self.fd, folder.encode(), mask) < 0:
            raise BenchError("cannot watch " + folder)

    def drain(self):
        self._events(0)

    def wait_for(self, suffix, timeout):
        """(time, name) of the first complete file with suffix, or None."""
        deadline = now() + timeout
        while True:
            left = deadline - now()
            if left <= 0:
                return None
            for mask, name in self._events(left):
                if name.endswith(suffix) and (mask & self.IN_CREATE == 0
                                              or self._complete(name)):
                    return now(), name

    def _complete(self, name):
        try:
            with open(os.path.join(self.folder, name), "rb") as f:
                f.seek(-len(self.PNG_END), os.SEEK_END)
                return f.read() == self.PNG_END
        except OSError:
            return False

    def _events(self, timeout):
        if not select.select([self.fd], [], [], timeout)[0]:
            return []
        try:
            data = os.read(self.fd, 65536)
        except BlockingIOError:
            return []
        events, offset = [], 0
        while offset + 16 <= len(data):
            _wd, mask, _cookie, length = struct.unpack_from("iIII", data, offset)
            raw = data[offset + 16: offset + 16 + length]
            events.append((mask, raw.split(b"\0", 1)[0].decode(errors="replace")))
            offset += 16 + length
        return events

    def close(self):
        os.close(self.fd)


class WindowWatcher:
    """Follows top-level windows through `xev -root -event substructure`."""

    HEADER = re.compile(r"^(\w+Notify) event")
    WINDOW = re.compile(r"window (0x[0-9a-f]+)")
    SIZE = re.compile(r"width (\d+), height (\d+)")

    def __init__(self, session):
        self.proc = session.spawn(["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
                                  stdout=subprocess.PIPE)
        self.events = []  # (time, kind, window, width, height)
        self.sizes = {}
        self.cond = threading.Condition()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        self._wait_listening(session.env["DISPLAY"])

    def _wait_listening(self, display_name):
        """Creates and destroys a window until xev reports it: then nothing is missed."""
        xlib = ctypes.CDLL("libX11.so.6")
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        xlib.XDefaultRootWindow.restype = ctypes.c_ulong
        xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        xlib.XCreateSimpleWindow.restype = ctypes.c_ulong
        xlib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + \
            [ctypes.c_int] * 2 + [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
        xlib.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = xlib.XOpenDisplay(display_name.encode())
        if not display:
            raise BenchError("cannot open display " + display_name)
        try:
            root = xlib.XDefaultRootWindow(display)
            for _attempt in range(40):
                mark = self.mark()
                win = xlib.XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0)
                xlib.XSync(display, 0)
                xlib.XDestroyWindow(display, win)
                xlib.XSync(display, 0)
                if self.wait_for(mark, "DestroyNotify", lambda w, *_: w == win, 0.5):
                    return
        finally:
            xlib.XCloseDisplay(display)
        raise BenchError("xev does not report window events")

    def _read(self):
        pending = None
        for raw in self.proc.stdout:
            line = raw.decode(errors="replace")
            header = self.HEADER.match(line)
            if header:
                pending = (now(), header.group(1))
                continue
            if pending is None:
                continue
            window = self.WINDOW.search(line)
            if not window:
                continue
            stamp, kind = pending
            pending = None
            win = int(window.group(1), 16)
            size = self.SIZE.search(line)
            with self.cond:
                if size:
                    self.sizes[win] = (int(size.group(1)), int(size.group(2)))
                width, height = self.sizes.get(win, (0, 0))
                self.events.append((stamp, kind, win, width, height))
                self.cond.notify_all()

    def mark(self):
        with self.cond:
            return len(self.events)

    def wait_for(self, mark, kind, accept, timeout, alive=None):
        """First event of kind after mark whose (window, width, height) accept() takes.

        Gives up early once alive() turns false (the awaited process has ended)."""
        deadline = now() + timeout
        index = mark
        with self.cond:
            while True:
                while index < len(self.events):
                    stamp, event_kind, win, width, height = self.events[index]
                    index += 1
                    if event_kind == kind and accept(win, width, height):
                        return stamp, win
                left = deadline - now()
                if left <= 0 or (alive is not None and not alive()):
                    return None
                self.cond.wait(min(left, 0.2))


class HotKeys:
    """Presses Ctrl + Shift + a digit through XTEST, as xdotool does, from this process.

    The clock of a hot-key measurement starts when the server has taken the
    digit's key-press, so a helper program's own start-up is not counted."""

    def __init__(self, display_name):
        self.xlib = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.xlib.XOpenDisplay.restype = ctypes.c_void_p
        self.xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.xlib.XStringToKeysym.restype = ctypes.c_ulong
        self.xlib.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.xlib.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.xlib.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.display = self.xlib.XOpenDisplay(display_name.encode())
        if not self.display:
            raise BenchError("cannot open display " + display_name)

    def code(self, name):
        keycode = self.xlib.XKeysymToKeycode(self.display,
                                             self.xlib.XStringToKeysym(name.encode()))
        if not keycode:
            raise BenchError("no key code for " + name)
        return keycode

    def press(self, digit):
        """Presses and releases Ctrl + Shift + digit; returns the time of the digit's press."""
        modifiers = [self.code("Control_L"), self.code("Shift_L")]
        key = self.code(digit)
        for code in modifiers:
            self.xtst.XTestFakeKeyEvent(self.display, code, 1, 0)
        self.xlib.XSync(self.display, 0)
        started = now()
        self.xtst.XTestFakeKeyEvent(self.display, key, 1, 0)
        self.xlib.XSync(self.display, 0)
        self.xtst.XTestFakeKeyEvent(self.display, key, 0, 0)
        for code in reversed(modifiers):
            self.xtst.XTestFakeKeyEvent(self.display, code, 0, 0)
        self.xlib.XSync(self.display, 0)
        return started

    def close(self):
        self.xlib.XCloseDisplay(self.display)


class Session:
    """A private X server, D-Bus session, tray host and HOME; ends all it started."""

    def __init__(self, work, cache):
        self.work = work
        self.cache = cache
        self.procs = []
        self.env = None

    # -- processes -------------------------------------------------------
    def spawn(self, argv, stdout=subprocess.DEVNULL, env=None, **kwargs):
        proc = subprocess.Popen(argv, stdout=stdout, stderr=self.errlog,
                                env=env or self.env, **kwargs)
        self.procs.append(proc)
        return proc

    def end(self, proc, timeout=5.0):
        """Ends one process by its pid: SIGTERM, then SIGKILL after timeout."""
        if proc.poll() is None:
            try:
                os.kill(proc.pid, signal.SIGTERM)
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                os.kill(proc.pid, signal.SIGKILL)
                proc.wait(5)
            except ProcessLookupError:
                pass
        if proc in self.procs:
            self.procs.remove(proc)

    def run(self, argv, timeout):
        """Runs a command to its end; returns (seconds, exit code) or None on time-out."""
        start = now()
        proc = self.spawn(argv)
        try:
            code = proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.end(proc)
            return None
        self.procs.remove(proc)
        return now() - start, code

    # -- set-up ------------------------------------------------------------
    def start(self):
        self.errlog = open(os.path.join(self.work, "children.log"), "wb")
        home = os.path.join(self.work, "home")
        env = dict(os.environ)
        for name in ("SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY",
                     "QT_QPA_PLATFORM", "USERNAME"):
            env.pop(name, None)
        env.update(HOME=home, XDG_CONFIG_HOME=home + "/.config",
                   XDG_DATA_HOME=home + "/.local/share", XDG_CACHE_HOME=home + "/.cache",
                   XDG_STATE_HOME=home + "/.local/state",
                   XDG_RUNTIME_DIR=os.path.join(self.work, "runtime"),
                   USER=env.get("USER") or "bench", QT_QPA_PLATFORM="xcb",
                   NO_AT_BRIDGE="1", QT_ACCESSIBILITY="0")
        for key in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                    "XDG_RUNTIME_DIR"):
            os.makedirs(env[key], exist_ok=True)
        os.chmod(env["XDG_RUNTIME_DIR"], 0o700)
        for folder in ("Desktop", "shots", "Pelicrow/Resources"):
            os.makedirs(os.path.join(home, folder), exist_ok=True)
        self.home = home
        self.env = env
        self._start_x()
        self._start_dbus()
        self._configure_flameshot()
        self._place_carousel_pictures()
        self.watcher = WindowWatcher(self)
        self.scene_procs = []
        self.show_scene("busy")
        self.hotkeys = HotKeys(self.env["DISPLAY"])
        mark = self.watcher.mark()
        self.tray = self.spawn(["trayer", "--edge", "top", "--align", "right",
                                "--widthtype", "pixel", "--width", "120"])
        if self.watcher.wait_for(mark, "MapNotify", lambda *_: True, 10) is None:
            raise BenchError("the tray host showed no window")

    def settle(self):
        """Lets the X server and the tray host finish what the last tool left them."""
        for proc in (self.xserver, self.tray):
            wait_quiet(proc.pid)

    def _start_x(self):
        # The free display is found by its socket. No lock file: in a PID
        # namespace of our own it would name a PID other servers cannot check.
        read_end, write_end = os.pipe()
        self.xserver = self.spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
                    "-nolisten", "tcp", "-noreset", "+extension", "RECORD", "-nolock"],
                   pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            number = read_line(pipe, 10)
        if not number:
            raise BenchError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def _start_dbus(self):
        proc = self.bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                           "--print-address=1"], stdout=subprocess.PIPE)
        address = read_line(proc.stdout, 10)
        if not address:
            raise BenchError("dbus-daemon did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def _paint_root(self):
        picture = os.path.join(self.cache, "root-%dx%d-%d.png" % (SCREEN_W, SCREEN_H, PICTURE_SEED))
        if not os.path.exists(picture):
            log("drawing the root picture (once)")
            partial = picture + ".part.png"
            subprocess.run([convert(), "-seed", str(PICTURE_SEED), "-size",
                            "%dx%d" % (SCREEN_W, SCREEN_H), "plasma:fractal", "-attenuate",
                            "0.6", "+noise", "Gaussian", "PNG24:" + partial],
                           check=True, timeout=120, env=self.env, stderr=self.errlog)
            os.replace(partial, picture)
        # display sets the root background and ends with status 1 even when it worked.
        if self.run(["display", "-window", "root", picture], 60) is None:
            raise BenchError("could not put the picture on the root window")

    def show_scene(self, name):
        """Puts one of SCENES on the screen; the clients of the last one end first."""
        for proc in self.scene_procs:
            self.end(proc, 3)
        self.scene_procs = []
        if name == "busy":
            self._paint_root()
            return
        if self.run(["xsetroot", "-solid", DESKTOP_BACKGROUND], 10) is None:
            raise BenchError("xsetroot did not answer")
        photo, flat = self._desktop_pictures()
        licences = "/usr/share/common-licenses/"
        # Placed by geometry alone: there is no window manager.
        clients = [
            ["xterm", "-geometry", "88x60+10+10", "-fa", "DejaVu Sans Mono", "-fs", "9",
             "-e", "sh", "-c", "cat %sGPL-3; exec sleep 100000" % licences],
            ["xterm", "-geometry", "80x28+760+10", "-fa", "DejaVu Sans Mono", "-fs", "9",
             "-bg", "#fdf6e3", "-fg", "#586e75",
             "-e", "sh", "-c", "cat %sApache-2.0; exec sleep 100000" % licences],
            ["display", "-geometry", "+1420+20", flat],
            ["display", "-geometry", "+1120+560", photo],
            ["xlogo", "-geometry", "300x300+770+560"],
        ]
        mark = self.watcher.mark()
        self.scene_procs = [self.spawn(argv) for argv in clients]
        mapped = set()
        deadline = now() + 20
        while len(mapped) < len(clients) and now() < deadline:
            found = self.watcher.wait_for(mark, "MapNotify",
                                          lambda win, w, h: win not in mapped and w >= 100,
                                          deadline - now())
            if found is None:
                break
            mapped.add(found[1])
        if len(mapped) < len(clients):
            raise BenchError("the desktop scene's clients showed %d of %d windows"
                             % (len(mapped), len(clients)))
        # Drawn once each client and the server have gone quiet.
        for proc in self.scene_procs:
            wait_quiet(proc.pid)
        self.settle()

    def _desktop_pictures(self):
        """A photo-like picture and one of large flat areas, drawn once into the cache."""
        photo = os.path.join(self.cache, "desktop-photo-7.png")
        flat = os.path.join(self.cache, "desktop-flat.png")
        drawings = [
            (photo, ["-seed", "7", "-size", "512x340", "plasma:fractal", "-blur", "0x2"]),
            (flat, ["-size", "480x330", "xc:#eceff4",
                    "-fill", "#5e81ac", "-draw", "rectangle 0,0 479,40",
                    "-fill", "#d8dee9", "-draw", "rectangle 0,41 120,329",
                    "-fill", "#a3be8c", "-draw", "rectangle 160,80 450,180",
                    "-fill", "#ebcb8b", "-draw", "rectangle 160,210 300,310",
                    "-fill", "#bf616a", "-draw", "rectangle 330,210 450,310"]),
        ]
        for path, arguments in drawings:
            if not os.path.exists(path):
                subprocess.run([convert()] + arguments + ["PNG24:" + path + ".part"],
                               check=True, timeout=60, env=self.env, stderr=self.errlog)
                os.replace(path + ".part", path)
        return photo, flat

    def _configure_flameshot(self):
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "flameshot")
        os.makedirs(folder, exist_ok=True)
        # No first-run help, no update check, no notification popups.
        with open(os.path.join(folder, "flameshot.ini"), "w") as ini:
            ini.write("[General]\nshowStartupLaunchMessage=false\nshowHelp=false\n"
                      "checkForUpdates=false\nshowDesktopNotification=false\n"
                      "startupLaunch=false\ndisabledTrayIcon=false\n")

    def _place_carousel_pictures(self):
        folder = os.path.join(self.home, "Pelicrow", "Resources")
        for index, pattern in enumerate(("plasma:red-blue", "plasma:green-yellow",
                                         "gradient:navy-orange")):
            cached = os.path.join(self.cache, "carousel-%d.jpg" % index)
            if not os.path.exists(cached):
                subprocess.run([convert(), "-seed", str(index + 1), "-size", "800x600", pattern,
                                cached + ".part.jpg"], check=True, timeout=60, env=self.env,
                               stderr=self.errlog)
                os.replace(cached + ".part.jpg", cached)
            shutil.copy(cached, os.path.join(folder, "picture%d.jpg" % index))

    def close(self):
        if getattr(self, "hotkeys", None):
            self.hotkeys.close()
        if getattr(self, "bus", None) and self.bus.poll() is None:
            self.end_name_owner()
        for proc in reversed(list(self.procs)):
            self.end(proc, 3)
        if getattr(self, "errlog", None):
            self.errlog.close()

    # -- X helpers ---------------------------------------------------------
    def key(self, keys):
        subprocess.run(["xdotool", "key", keys], env=self.env, timeout=10)

    def window_pid(self, win):
        out = subprocess.run(["xprop", "-id", str(win), "_NET_WM_PID"], env=self.env,
                             capture_output=True, text=True, timeout=5).stdout
        match = re.search(r"=\s*(\d+)", out)
        return int(match.group(1)) if match else None

    def window_geometry(self, win):
        out = subprocess.run(["xwininfo", "-id", str(win)], env=self.env,
                             capture_output=True, text=True, timeout=5).stdout
        values = dict(re.findall(r"(Absolute upper-left [XY]|Width|Height):\s+(-?\d+)", out))
        try:
            return tuple(int(values[k]) for k in ("Absolute upper-left X",
                                                  "Absolute upper-left Y", "Width", "Height"))
        except KeyError:
            return None

    def end_name_owner(self):
        """Ends, by pid, whatever holds flameshot's D-Bus name: a daemon the bus started
        on demand (for `flameshot full -c`) is not a child of anything of ours."""
        for _attempt in range(3):
            pid = self.bus_name_pid(FLAMESHOT_NAME)
            if pid is None:
                return
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                continue
            if not wait_until(lambda: not os.path.exists("/proc/%d" % pid), 5, 0.02):
                os.kill(pid, signal.SIGKILL)
            wait_until(lambda: not self.has_bus_name(FLAMESHOT_NAME), 5, 0.05)

    def bus_name_pid(self, name):
        out = subprocess.run(["dbus-send", "--session", "--print-reply",
                              "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus.GetConnectionUnixProcessID",
                              "string:" + name],
                             env=self.env, capture_output=True, text=True, timeout=5).stdout
        match = re.search(r"uint32 (\d+)", out)
        return int(match.group(1)) if match else None

    def has_bus_name(self, name):
        out = subprocess.run(["dbus-send", "--session", "--print-reply",
                              "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus.NameHasOwner", "string:" + name],
                             env=self.env, capture_output=True, text=True, timeout=5).stdout
        return "boolean true" in out


def convert():
    return "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"


def other_pelicrows(exe_name):
    """Pids of running processes with exactly this executable name (machine-wide)."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            target = os.readlink("/proc/%s/exe" % entry)
        except OSError:
            continue
        if os.path.basename(target.replace(" (deleted)", "")) == exe_name:
            pids.append(int(entry))
    return pids


class Pelicrow:
    """One running Pelicrow, its readiness and its windows."""

    # Whether a start has shown the main window yet: None until one has been watched.
    # Once a start showed none, later starts do not wait for it again.
    shows_main_window = None

    def __init__(self, session, binary):
        self.session = session
        self.binary = binary
        self.proc = None
        self.main_window = None

    def launch(self):
        """Starts Pelicrow; returns the launch time, or None when another copy blocks it."""
        name = os.path.basename(self.binary)
        if wait_until(lambda: not other_pelicrows(name), 30, 0.2) is False:
            log("another %s runs on this machine: Pelicrow scenarios are n/a" % name)
            return None
        self.mark = self.session.watcher.mark()
        started = now()
        self.proc = self.session.spawn([self.binary], cwd=self.session.home)
        return started

    def settings_file(self, name):
        return os.path.join(self.session.home, "Pelicrow", name)

    def wait_ready(self, timeout=15):
        """True once the settings are loaded (written) by this process."""
        marker = self.settings_file("config_imgtype.ini")
        def state():
            if self.proc is None or self.proc.poll() is not None:
                return "ended"
            return os.path.exists(marker) and os.path.getsize(marker) > 0
        return wait_until(state, timeout, 0.02) is True

    def is_main_window(self, win, width, height):
        # The main window is 400 x 332 at rest; message boxes are lower.
        return width >= 300 and height >= 300 and self.session.window_pid(win) == self.proc.pid

    def wait_main_window(self, timeout=10):
        """(time mapped, window) of the main window, or None."""
        if self.proc is None or Pelicrow.shows_main_window is False:
            return None
        found = self.session.watcher.wait_for(self.mark, "MapNotify", self.is_main_window,
                                              timeout, lambda: self.proc.poll() is None)
        if found:
            self.main_window = found[1]
        if Pelicrow.shows_main_window is None and self.proc.poll() is None:
            Pelicrow.shows_main_window = found is not None
        return found

    def hide_main_window(self):
        """Clicks "Ok", which closes (hides) the window; True when it is unmapped."""
        if self.main_window is None:
            return True
        geometry = self.session.window_geometry(self.main_window)
        if not geometry:
            return False
        x, y, _w, _h = geometry
        mark = self.session.watcher.mark()
        subprocess.run(["xdotool", "mousemove", str(x + 212), str(y + 318), "click", "1"],
                       env=self.session.env, timeout=10)
        gone = self.session.watcher.wait_for(mark, "UnmapNotify",
                                             lambda win, w, h: win == self.main_window, 3)
        subprocess.run(["xdotool", "mousemove", "5", str(SCREEN_H - 5)],
                       env=self.session.env, timeout=10)
        return gone is not None

    def gave_up(self, scenario, results):
        """After two misses in a row: notes where Pelicrow's main thread stands; False."""
        stack = self.main_thread_stack()
        results.note("%s: Pelicrow stopped answering (%s); no more rounds for it%s"
                     % (scenario, self.state(), "; main thread in: " + stack if stack else ""))
        return False

    def main_thread_stack(self):
        if self.proc is None or self.proc.poll() is not None or not shutil.which("gdb"):
            return ""
        try:
            out = subprocess.run(["gdb", "-p", str(self.proc.pid), "-batch", "-ex",
                                  "thread apply 1 bt 12"], capture_output=True, text=True,
                                 timeout=60).stdout
        except subprocess.TimeoutExpired:
            return ""
        frames = re.findall(r"^#\d+\s+(?:0x[0-9a-f]+ in )?(\S+)", out, re.M)
        return " < ".join(frames[:12])

    def state(self):
        if self.proc is None or self.proc.poll() is not None:
            return "ended with %s" % (self.proc.returncode if self.proc else "nothing")
        return "running"

    def save_folder(self):
        try:
            with open(self.settings_file("config_diretory.ini"), encoding="utf-8") as f:
                return f.read().strip()
        except OSError:
            return None

    def stop(self):
        if self.proc:
            self.session.end(self.proc, 5)
            self.proc = None


# -- measurements ------------------------------------------------------------

class Results:
    def __init__(self):
        self.samples = {}  # (scenario, pair, tool) -> [values]
        self.sizes = {}    # (scenario, pair, tool) -> [bytes]
        self.notes = []
        self.idle = []     # dicts per window

    def add(self, scenario, pair, tool, value):
        self.samples.setdefault((scenario, pair, tool), []).append(value)

    def values(self, scenario, pair, tool):
        return self.samples.get((scenario, pair, tool), [])

    def add_size(self, scenario, pair, tool, size):
        self.sizes.setdefault((scenario, pair, tool), []).append(size)

    def sizes_of(self, scenario, pair, tool):
        return self.sizes.get((scenario, pair, tool), [])

    def note(self, text):
        log(text)
        self.notes.append(text)


def press_and_wait_file(session, inotify, digit, timeout):
    """(seconds from the hot-key to the complete PNG, its name), or None."""
    inotify.drain()
    started = session.hotkeys.press(digit)
    done = inotify.wait_for(".png", timeout)
    return None if done is None else (done[0] - started, done[1])


def png_sizes(folder):
    return [os.path.getsize(os.path.join(folder, name)) for name in os.listdir(folder)
            if name.endswith(".png")]


def record_best_size(session, results, scenario, shot):
    """ImageMagick at zlib level 9 with adaptive filters: the size to beat."""
    best = shot + ".best.png"
    outcome = subprocess.run([convert(), shot, "-strip", "-quality", "95", "PNG24:" + best],
                             env=session.env, stderr=session.errlog, timeout=120)
    if outcome.returncode == 0 and os.path.exists(best):
        results.add_size(scenario, BEST_SIZE, BEST_SIZE, os.path.getsize(best))
    else:
        results.note("%s: ImageMagick could not write the best-size reference" % scenario)


def clear_folder(folder):
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            os.remove(path)


def measure_full(session, pelicrow, results, rounds, deadline, scene):
    scenario = "full:" + scene
    folder = pelicrow.save_folder() if pelicrow else None
    if not folder or not os.path.isdir(folder):
        results.note("%s: Pelicrow's save folder is unknown: n/a" % scenario)
        folder = None
    inotify = Inotify(folder) if folder else None
    ready = False
    if inotify:
        # Warm-up, also proves that the hot-key listener is installed.
        for _attempt in range(3):
            if press_and_wait_file(session, inotify, FULL_KEY, 5) is not None:
                ready = True
                break
        clear_folder(folder)
        if not ready:
            results.note("%s: Pelicrow saved nothing on Ctrl+Shift+%s: n/a"
                         % (scenario, FULL_KEY))
    shots = os.path.join(session.home, "shots")
    peers = [
        ("scrot", lambda p: ["scrot", p + ".png"]),
        ("maim", lambda p: ["maim", p + ".png"]),
        ("import -window root", lambda p: ["/usr/bin/import", "-window", "root", p + ".png"]),
        ("flameshot full -c -p", lambda p: ["flameshot", "full", "-c", "-p", shots]),
    ]
    misses = 0
    for round_index in range(rounds):
        if now() > deadline:
            results.note("%s: stopped after %d rounds at the time limit"
                         % (scenario, round_index))
            break
        for peer, argv in peers:
            if ready:
                outcome = press_and_wait_file(session, inotify, FULL_KEY, 10)
                if outcome is None:
                    misses += 1
                    results.note("%s: Pelicrow round %d gave no file (%s)"
                                 % (scenario, round_index, pelicrow.state()))
                    ready = misses < 2 or pelicrow.gave_up(scenario, results)
                else:
                    misses = 0
                    results.add(scenario, peer, "Pelicrow", outcome[0])
                    results.add_size(scenario, peer, "Pelicrow",
                                     os.path.getsize(os.path.join(folder, outcome[1])))
                clear_folder(folder)
                if pelicrow.proc:
                    wait_quiet(pelicrow.proc.pid)
            shot = os.path.join(shots, "shot")
            outcome = session.run(argv(shot), 20)
            if outcome is None or outcome[1] != 0:
                results.note("%s: %s failed (%s)" % (scenario, peer, outcome))
            else:
                results.add(scenario, peer, peer, outcome[0])
                for size in png_sizes(shots):
                    results.add_size(scenario, peer, peer, size)
                if peer == "scrot" and not results.sizes_of(scenario, BEST_SIZE, BEST_SIZE):
                    record_best_size(session, results, scenario, shot + ".png")
            clear_folder(shots)
            if peer.startswith("flameshot"):
                # Every round starts alike: no daemon left from the last one.
                session.end_name_owner()
    if inotify:
        inotify.close()


def big_window(win, width, height):
    return width >= 1000 and height >= 700


def fastcut_pelicrow(session, timeout):
    """Seconds from the fast-cut hot-key to Pelicrow's overlay mapped, or None."""
    watcher = session.watcher
    mark = watcher.mark()
    started = session.hotkeys.press(FAST_KEY)
    found = watcher.wait_for(mark, "MapNotify", big_window, timeout)
    if found is None:
        return None
    close_overlay(session, found[1])
    return found[0] - started


def fastcut_flameshot(session):
    """Seconds from `flameshot gui` to its overlay mapped, or None."""
    watcher = session.watcher
    mark = watcher.mark()
    started = now()
    gui = session.spawn(["flameshot", "gui"])
    found = watcher.wait_for(mark, "MapNotify", big_window, 10, lambda: gui.poll() is None)
    if found is not None:
        close_overlay(session, found[1])
    try:
        gui.wait(5)
        session.procs.remove(gui)
    except subprocess.TimeoutExpired:
        session.end(gui)
    return None if found is None else found[0] - started


def measure_fastcut(session, pelicrow, flameshot, results, rounds, deadline):
    pelicrow_ok = pelicrow is not None
    if pelicrow_ok:
        # Warm-up, also proves that the hot-key listener is installed.
        pelicrow_ok = any(fastcut_pelicrow(session, 5) is not None for _ in range(3))
        if not pelicrow_ok:
            results.note("fastcut: Pelicrow mapped no overlay on Ctrl+Shift+%s: n/a" % FAST_KEY)
    if flameshot is not None:
        fastcut_flameshot(session)
    misses = 0
    for round_index in range(rounds):
        if now() > deadline:
            results.note("fastcut: stopped after %d rounds at the time limit" % round_index)
            break
        if pelicrow_ok:
            elapsed = fastcut_pelicrow(session, 10)
            if elapsed is None:
                misses += 1
                results.note("fastcut: Pelicrow round %d mapped no overlay (%s)"
                             % (round_index, pelicrow.state()))
                pelicrow_ok = misses < 2 or pelicrow.gave_up("fastcut", results)
            else:
                misses = 0
                results.add("fastcut", "flameshot gui", "Pelicrow", elapsed)
            if pelicrow.proc:
                wait_quiet(pelicrow.proc.pid)
        if flameshot is not None:
            elapsed = fastcut_flameshot(session)
            if elapsed is None:
                results.note("fastcut: flameshot gui round %d mapped no overlay" % round_index)
            else:
                results.add("fastcut", "flameshot gui", "flameshot gui", elapsed)
            wait_quiet(flameshot.pid)


def close_overlay(session, win):
    mark = session.watcher.mark()
    session.key("Escape")
    if session.watcher.wait_for(mark, "UnmapNotify", lambda w, _a, _b: w == win, 3) is None:
        # Destroyed rather than unmapped, or the key went astray: try once more.
        session.key("Escape")
        session.watcher.wait_for(mark, "DestroyNotify", lambda w, _a, _b: w == win, 1)


def start_flameshot_daemon(session):
    """Starts the flameshot daemon; returns (process, seconds to its D-Bus name) or None."""
    for _attempt in range(2):
        outcome = launch_flameshot_daemon(session)
        if outcome is None or outcome[0].poll() is None:
            return outcome
        # It found a copy of itself about to leave and left: clear up and try again.
        session.end(outcome[0])
        session.end_name_owner()
    return None


def launch_flameshot_daemon(session):
    monitor = session.spawn(["stdbuf", "-oL", "dbus-monitor", "--session",
                             "type='signal',member='NameOwnerChanged',arg0='%s'"
                             % FLAMESHOT_NAME], stdout=subprocess.PIPE)
    # dbus-monitor prints its own NameAcquired first; wait for the subscription to hold.
    wait_until(lambda: read_line(monitor.stdout, 0.05) is not None, 2)
    started = now()
    daemon = session.spawn(["flameshot"])
    elapsed = None
    deadline = started + 15
    strings = []
    while now() < deadline:
        line = read_line(monitor.stdout, deadline - now())
        if line is None:
            break
        if line.startswith("signal"):
            strings = []
        elif line.startswith("string"):
            strings.append(line)
            if len(strings) == 3 and strings[2] != 'string ""':
                elapsed = now() - started
                break
    session.end(monitor)
    if elapsed is None:
        elapsed_ok = wait_until(lambda: session.has_bus_name(FLAMESHOT_NAME), 5, 0.05)
        if not elapsed_ok:
            session.end(daemon)
            return None
    return daemon, elapsed


def stop_flameshot_daemon(session, daemon):
    session.end(daemon)
    session.end_name_owner()


def measure_startup(session, binary, results, rounds, deadline):
    pelicrow_ok = True
    # A first round warms the caches and is dropped, except in a one-round run.
    first = 0 if rounds == 1 else 1
    for round_index in range(first, rounds + 1):
        if now() > deadline:
            results.note("startup: stopped after %d rounds at the time limit" % round_index)
            break
        if pelicrow_ok:
            session.settle()
            pelicrow = Pelicrow(session, binary)
            started = pelicrow.launch()
            found = pelicrow.wait_main_window() if started is not None else None
            if found is None:
                results.note("startup: Pelicrow mapped no main window: n/a")
                pelicrow_ok = False
            elif round_index > 0:
                results.add("startup", "flameshot daemon", "Pelicrow", found[0] - started)
            pelicrow.stop()
        session.settle()
        outcome = start_flameshot_daemon(session)
        if outcome is None:
            results.note("startup: the flameshot daemon took no D-Bus name")
        else:
            daemon, elapsed = outcome
            if elapsed is not None and round_index > 0:
                results.add("startup", "flameshot daemon", "flameshot daemon", elapsed)
            stop_flameshot_daemon(session, daemon)


def proc_cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wait_quiet(pid, timeout=3.0):
    """Waits until pid has used no CPU for 100 ms (bounded), so that what it does
    after a measurement (the shutter sound, freeing memory) cannot slow the next."""
    def cpu():
        try:
            return proc_cpu_seconds(pid)
        except (OSError, IndexError, ValueError):
            return None
    deadline = now() + timeout
    last = cpu()
    while last is not None and now() < deadline:
        time.sleep(0.1)
        current = cpu()
        if current == last:
            return
        last = current


def context_switches(pid):
    """Voluntary context switches per thread: each is one sleep, so one wake-up."""
    counts = {}
    try:
        tasks = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return counts
    for task in tasks:
        try:
            with open("/proc/%d/task/%s/status" % (pid, task)) as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        counts[task] = int(line.split()[1])
        except OSError:
            continue
    return counts


def wakeups_between(begin, end):
    """Wake-ups over a window; a thread born inside it counts whole."""
    return sum(max(0, count - begin.get(task, 0)) for task, count in end.items())


MEMORY_GROUPS = [
    ("sound (GStreamer, PulseAudio, codecs)",
     re.compile(r"gst|orc-|pulse|sndfile|libdb-|jack|ogg|vorbis|opus|mpg123|mp3lame|FLAC|"
                r"asound|samplerate|speex|soxr|glib|gobject|gmodule|gio-|Multimedia")),
    ("Qt libraries and plugins", re.compile(r"Qt5|/qt5/")),
    ("heap and anonymous", re.compile(r"^\[(heap|anon|stack)")),
]


def memory_by_mapping(pid):
    """RSS KiB by group of mappings (sound stack, Qt, anonymous, the rest), largest first."""
    totals = {}
    group = None
    try:
        with open("/proc/%d/smaps" % pid) as f:
            for line in f:
                fields = line.split()
                if not fields:
                    continue
                if re.match(r"^[0-9a-f]+-[0-9a-f]+$", fields[0]):
                    name = fields[5] if len(fields) > 5 else "[anon]"
                    group = next((label for label, pattern in MEMORY_GROUPS
                                  if pattern.search(name)), "other libraries and files")
                elif fields[0] == "Rss:" and group is not None:
                    totals[group] = totals.get(group, 0) + int(fields[1])
    except OSError:
        return []
    return sorted(totals.items(), key=lambda item: -item[1])


def proc_memory_kib(pid):
    """VmRSS and RssAnon in KiB; empty once the process has ended."""
    values = {}
    if not os.path.exists("/proc/%d/status" % pid):
        return values
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "RssAnon"):
                values[key] = int(rest.split()[0])
    return values


def measure_idle(session, binary, results, windows, seconds, settle, deadline):
    tools = []
    pelicrow = Pelicrow(session, binary)
    started = pelicrow.launch()
    if started is None or not pelicrow.wait_ready():
        results.note("idle: Pelicrow did not come up: n/a")
        pelicrow.stop()
        pelicrow = None
    else:
        if pelicrow.wait_main_window() is None:
            results.note("idle: Pelicrow showed no main window (carousel not measured as shown)")
        elif not pelicrow.hide_main_window():
            results.note("idle: Pelicrow's main window did not hide")
        tools.append(("Pelicrow", pelicrow.proc.pid))
    daemon = start_flameshot_daemon(session)
    if daemon is None:
        results.note("idle: the flameshot daemon did not come up")
    else:
        tools.append(("flameshot daemon", daemon[0].pid))
    # Both sit idle side by side; start-up work must be over before counting.
    time.sleep(settle)
    for window in range(windows):
        if now() > deadline:
            results.note("idle: stopped after %d windows at the time limit" % window)
            break
        begin = {name: proc_cpu_seconds(pid) for name, pid in tools}
        begin_switches = {name: context_switches(pid) for name, pid in tools}
        begin_time = now()
        peak = {name: {"VmRSS": 0, "RssAnon": 0} for name, _ in tools}
        end_time = begin_time + seconds
        while now() < end_time:
            for name, pid in tools:
                for key, value in proc_memory_kib(pid).items():
                    peak[name][key] = max(peak[name][key], value)
            time.sleep(min(1.0, max(0.0, end_time - now())))
        span = now() - begin_time
        for name, pid in tools:
            cpu = 100.0 * (proc_cpu_seconds(pid) - begin[name]) / span
            wakeups = wakeups_between(begin_switches[name], context_switches(pid)) / span
            memory = proc_memory_kib(pid)
            if not memory:
                results.note("idle: %s ended during the window" % name)
                continue
            results.idle.append({"tool": name, "window": window, "seconds": round(span, 2),
                                 "wakeups_per_second": wakeups, "memory": memory_by_mapping(pid),
                                 "cpu_percent": cpu, "rss_kib": memory.get("VmRSS", 0),
                                 "rss_anon_kib": memory.get("RssAnon", 0),
                                 "peak_rss_kib": peak[name]["VmRSS"]})
    if pelicrow:
        pelicrow.stop()
    if daemon:
        stop_flameshot_daemon(session, daemon[0])


# -- report -------------------------------------------------------------------

def ms(value):
    return "n/a" if value is None else "%.1f ms" % (value * 1000)


def median(values):
    return statistics.median(values) if values else None


FULL_PEERS = ["scrot", "maim", "import -window root", "flameshot full -c -p"]


def ratio_of(ours, theirs):
    return ours / theirs if ours is not None and theirs else None


def met_of(ratio, target):
    return None if ratio is None or target is None else ratio <= target


def pair_rows(results):
    pairs = [("full:" + scene, peer) for scene in SCENES for peer in FULL_PEERS]
    pairs += [("fastcut", "flameshot gui"), ("startup", "flameshot daemon")]
    rows = []
    for scenario, pair in pairs:
        ours = results.values(scenario, pair, "Pelicrow")
        theirs = results.values(scenario, pair, pair)
        m_ours, m_theirs = median(ours), median(theirs)
        ratio = ratio_of(m_ours, m_theirs)
        target = TARGETS.get((scenario, pair))
        row = {"scenario": scenario, "peer": pair, "pelicrow_median": m_ours,
               "peer_median": m_theirs, "n_pelicrow": len(ours), "n_peer": len(theirs),
               "ratio": ratio, "target": target, "met": met_of(ratio, target)}
        if scenario.startswith("full:"):
            size_ours = median(results.sizes_of(scenario, pair, "Pelicrow"))
            size_theirs = median(results.sizes_of(scenario, pair, pair))
            size_ratio = ratio_of(size_ours, size_theirs)
            size_target = SIZE_TARGETS.get((scenario, pair))
            row.update(pelicrow_size=size_ours, peer_size=size_theirs, size_ratio=size_ratio,
                       size_target=size_target, size_met=met_of(size_ratio, size_target))
        rows.append(row)
    return rows


def best_size_rows(results):
    """Pelicrow's median size against the best-size reference, per scene."""
    rows = []
    for scene in SCENES:
        scenario = "full:" + scene
        ours = median([size for peer in FULL_PEERS
                       for size in results.sizes_of(scenario, peer, "Pelicrow")])
        best = median(results.sizes_of(scenario, BEST_SIZE, BEST_SIZE))
        ratio = ratio_of(ours, best)
        target = SIZE_TARGETS.get((scenario, BEST_SIZE))
        rows.append({"scenario": scenario, "pelicrow_size": ours, "best_size": best,
                     "ratio": ratio, "target": target, "met": met_of(ratio, target)})
    return rows


def idle_summary(results):
    summary = {}
    for tool in ("Pelicrow", "flameshot daemon"):
        entries = [e for e in results.idle if e["tool"] == tool]
        if entries:
            summary[tool] = {key: median([e[key] for e in entries])
                             for key in ("cpu_percent", "rss_kib", "rss_anon_kib",
                                         "peak_rss_kib", "wakeups_per_second")}
            summary[tool]["memory"] = entries[-1].get("memory", [])
            summary[tool]["windows"] = len(entries)
    return summary


SCENARIO_TITLES = {
    "full:busy": "Full-screen cut of the busy scene: hot-key to PNG on disk / peer's whole "
                 "command; sizes of the files",
    "full:desktop": "Full-screen cut of the desktop scene: the same",
    "fastcut": "Fast cut: hot-key to overlay mapped / `flameshot gui` to overlay mapped",
    "startup": "Start-up: launch to main window mapped / flameshot daemon to its D-Bus name",
}


def kib(value):
    return "n/a" if value is None else "%.0f KiB" % (value / 1024)


def verdict(met, has_target, has_ratio):
    if not has_target:
        return ""
    if not has_ratio:
        return "n/a"
    return "met" if met else "MISSED"


def write_summary(path, rows, best_rows, idle, results, args):
    lines = ["# Pelicrow beside its peers", "",
             "Xvfb %s (-noreset); scenes: busy (plasma:fractal + Gaussian noise, seed %d, "
             "on the root window) and desktop (xterms with licence texts, a window of flat "
             "areas, xlogo and a photo-like picture on a plain background); private D-Bus, "
             "trayer as tray host; %d paired round(s) (A B A B ...), medians; "
             "ratio = Pelicrow / peer. Run %s on %s (%d CPUs, load average %.2f at the end)."
             % (SCREEN, PICTURE_SEED, args.rounds,
                time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), os.uname().nodename,
                os.cpu_count() or 0, os.getloadavg()[0]), "",
             "| Scenario | Peer | Pelicrow | Peer | n | Ratio | Target | | "
             "Size Pelicrow | Size peer | Size ratio | Target | |",
             "|---|---|---|---|---|---|---|---|---|---|---|---|---|"]
    targets = []
    for row in rows:
        ratio = "n/a" if row["ratio"] is None else "%.2f" % row["ratio"]
        target = "" if row["target"] is None else "<= %.2f" % row["target"]
        met = verdict(row["met"], row["target"] is not None, row["ratio"] is not None)
        sizes = ["", "", "", "", ""]
        if "pelicrow_size" in row:
            size_target = "" if row["size_target"] is None else "<= %.2f" % row["size_target"]
            sizes = [kib(row["pelicrow_size"]), kib(row["peer_size"]),
                     "n/a" if row["size_ratio"] is None else "%.2f" % row["size_ratio"],
                     size_target, verdict(row["size_met"], row["size_target"] is not None,
                                          row["size_ratio"] is not None)]
            if row["size_target"] is not None:
                targets.append("%s file size <= %.2f x %s's: %s (%s)"
                               % (row["scenario"], row["size_target"], row["peer"], sizes[4],
                                  sizes[2]))
        if row["target"] is not None:
            targets.append("%s time <= %.2f x %s's: %s (%s)"
                           % (row["scenario"], row["target"], row["peer"], met, ratio))
        lines.append("| %s | %s | %s | %s | %d/%d | %s | %s | %s | %s |" % (
            row["scenario"], row["peer"], ms(row["pelicrow_median"]), ms(row["peer_median"]),
            row["n_pelicrow"], row["n_peer"], ratio, target, met, " | ".join(sizes)))
    lines += ["", "## File sizes against the best size (ImageMagick, zlib level 9, "
              "adaptive filters, of scrot's file)", "",
              "| Scene | Pelicrow | Best size | Ratio | Target | |", "|---|---|---|---|---|---|"]
    for row in best_rows:
        ratio = "n/a" if row["ratio"] is None else "%.2f" % row["ratio"]
        met = verdict(row["met"], row["target"] is not None, row["ratio"] is not None)
        target = "" if row["target"] is None else "<= %.2f" % row["target"]
        lines.append("| %s | %s | %s | %s | %s | %s |" % (
            row["scenario"], kib(row["pelicrow_size"]), kib(row["best_size"]), ratio, target,
            met))
        if row["target"] is not None:
            targets.append("%s file size <= %.2f x the best size: %s (%s)"
                           % (row["scenario"], row["target"], met, ratio))
    lines += ["", "## Idle in the tray, main window hidden (%g s windows)" % args.idle_seconds,
              "", "| Tool | CPU | wake-ups/s | RSS | RssAnon | peak RSS | windows |",
              "|---|---|---|---|---|---|---|"]
    for tool in ("Pelicrow", "flameshot daemon"):
        entry = idle.get(tool)
        if not entry:
            lines.append("| %s | n/a | n/a | n/a | n/a | n/a | 0 |" % tool)
            continue
        lines.append("| %s | %.2f %% | %.1f | %.1f MiB | %.1f MiB | %.1f MiB | %d |" % (
            tool, entry["cpu_percent"], entry["wakeups_per_second"], entry["rss_kib"] / 1024,
            entry["rss_anon_kib"] / 1024, entry["peak_rss_kib"] / 1024, entry["windows"]))
    ours = idle.get("Pelicrow")
    if ours:
        targets.append("idle CPU < %.1f %%: %s (%.2f %%)" % (
            IDLE_CPU_TARGET, verdict(ours["cpu_percent"] < IDLE_CPU_TARGET, True, True),
            ours["cpu_percent"]))
        targets.append("idle wake-ups < %.0f/s: %s (%.1f/s)" % (
            IDLE_WAKEUPS_TARGET,
            verdict(ours["wakeups_per_second"] < IDLE_WAKEUPS_TARGET, True, True),
            ours["wakeups_per_second"]))
        targets.append("idle RSS <= %d MiB: %s (%.1f MiB)" % (
            IDLE_RSS_TARGET_MIB,
            verdict(ours["rss_kib"] <= IDLE_RSS_TARGET_MIB * 1024, True, True),
            ours["rss_kib"] / 1024))
        if ours.get("memory"):
            lines += ["", "Where Pelicrow's idle RSS lies (/proc/PID/smaps): "
                      + ", ".join("%s %.1f MiB" % (name, value / 1024)
                                  for name, value in ours["memory"]) + "."]
    lines += ["", "## Targets", ""] + ["- " + target for target in targets]
    if results.notes:
        lines += ["", "## Notes", ""] + ["- " + note for note in results.notes]
    lines += ["", "Scenarios:", ""] + ["- %s: %s" % (k, v) for k, v in SCENARIO_TITLES.items()]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def write_samples(path, results):
    with open(path, "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["scenario", "pair", "tool", "round", "seconds", "bytes"])
        for (scenario, pair, tool), values in sorted(results.samples.items()):
            sizes = results.sizes_of(scenario, pair, tool)
            for index, value in enumerate(values):
                size = sizes[index] if index < len(sizes) else ""
                writer.writerow([scenario, pair, tool, index, "%.6f" % value, size])


def plot_sizes(axis, results):
    """Median file size per tool against scrot's, both scenes side by side."""
    tools = ["Pelicrow"] + FULL_PEERS + [BEST_SIZE]
    width = 0.38
    for offset, scene, colour in ((-width / 2, "busy", "tab:red"),
                                  (width / 2, "desktop", "tab:green")):
        scenario = "full:" + scene
        scrot = median(results.sizes_of(scenario, "scrot", "scrot"))
        heights = []
        for tool in tools:
            if tool == "Pelicrow":
                sizes = [v for peer in FULL_PEERS for v in results.sizes_of(scenario, peer, tool)]
            else:
                sizes = results.sizes_of(scenario, tool, tool)
            heights.append(ratio_of(median(sizes), scrot) or 0)
        axis.bar([i + offset for i in range(len(tools))], heights, width=width, color=colour,
                 label="%s (scrot: %s)" % (scene, kib(scrot)))
    axis.set_xticks(list(range(len(tools))))
    axis.set_xticklabels([t.split()[0] if t != BEST_SIZE else "IM level 9" for t in tools],
                         fontsize=7)
    axis.set_ylabel("size / scrot's size")
    axis.axhline(1.0, color="grey", linewidth=0.8)
    axis.set_title("full-screen PNG size", fontsize=10)
    axis.legend(fontsize=7)
    axis.grid(axis="y", alpha=0.3)


def write_plot(path, results, idle):
    """Strip and box plots of every distribution; skipped with a note without matplotlib."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        results.note("plot skipped: python3-matplotlib is not installed")
        return False
    groups = [("full:" + scene, FULL_PEERS) for scene in SCENES]
    groups += [("fastcut", ["flameshot gui"]), ("startup", ["flameshot daemon"])]
    fig, axes = plt.subplots(1, 6, figsize=(26, 5.5),
                             gridspec_kw={"width_ratios": [4, 4, 1.3, 1.3, 1.6, 3]})
    for axis, (scenario, pairs) in zip(axes, groups):
        data, labels = [], []
        for pair in pairs:
            for tool in ("Pelicrow", pair):
                values = [v * 1000 for v in results.values(scenario, pair, tool)]
                data.append(values or [float("nan")])
                labels.append(("Pelicrow\n(vs %s)" % pair.split()[0]) if tool == "Pelicrow"
                              else pair.replace(" -", "\n-"))
        positions = list(range(1, len(data) + 1))
        axis.boxplot([d for d in data], positions=positions, widths=0.6, showfliers=False)
        for position, values in zip(positions, data):
            jitter = [position + 0.12 * ((i % 5) - 2) / 2 for i in range(len(values))]
            axis.scatter(jitter, values, s=10, alpha=0.6,
                         color="tab:blue" if position % 2 else "tab:orange")
        for position, values in zip(positions, data):
            if all(v != v for v in values):  # NaN only: nothing measured
                axis.text(position, 0, "n/a", ha="center", va="bottom", fontsize=8)
        axis.set_xticks(positions)
        axis.set_xticklabels(labels, fontsize=7)
        axis.set_ylabel("ms")
        axis.set_ylim(bottom=0)
        axis.set_title(scenario, fontsize=10)
        axis.grid(axis="y", alpha=0.3)
    axis = axes[4]
    tools = ["Pelicrow", "flameshot daemon"]
    rss = [idle.get(t, {}).get("rss_kib", 0) / 1024 for t in tools]
    anon = [idle.get(t, {}).get("rss_anon_kib", 0) / 1024 for t in tools]
    cpu = [idle.get(t, {}).get("cpu_percent", 0) for t in tools]
    axis.bar([0.8, 1.8], rss, width=0.35, label="RSS MiB", color="tab:blue")
    axis.bar([1.2, 2.2], anon, width=0.35, label="RssAnon MiB", color="tab:cyan")
    axis.set_xticks([1, 2])
    axis.set_xticklabels(["Pelicrow\n(CPU %.2f %%)" % cpu[0],
                          "flameshot daemon\n(CPU %.2f %%)" % cpu[1]], fontsize=7)
    for position, tool in zip([1, 2], tools):
        if tool not in idle:
            axis.text(position, 0, "n/a", ha="center", va="bottom", fontsize=8)
    axis.set_ylim(bottom=0)
    axis.set_title("idle", fontsize=10)
    axis.legend(fontsize=7)
    plot_sizes(axes[5], results)
    fig.suptitle("Pelicrow beside its peers (Xvfb %s, busy and desktop scenes)" % SCREEN)
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)
    return True


# -- main -----------------------------------------------------------------------

def parse_args(argv):
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.environ.get("PELICROW_BUILD_DIR", os.path.join(top, "build"))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--pelicrow", default=os.path.join(build, "bin", "Pelicrow"))
    parser.add_argument("--out", default=os.path.join(build, "bench"))
    parser.add_argument("--cache", default=os.path.join(build, "bench-cache"))
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--idle-seconds", type=float, default=20)
    parser.add_argument("--idle-windows", type=int, default=3)
    parser.add_argument("--settle", type=float, default=3,
                        help="seconds both tools rest before the idle windows")
    parser.add_argument("--scenarios", default="startup,full,fastcut,idle")
    parser.add_argument("--max-minutes", type=float, default=20,
                        help="stop starting rounds after this long")
    parser.add_argument("--keep", action="store_true",
                        help="keep the work folder (HOME, children.log) for inspection")
    parser.add_argument("--smoke", action="store_true",
                        help="one round each and a short idle window: proves the scripts run")
    args = parser.parse_args(argv)
    if args.smoke:
        args.rounds, args.idle_seconds, args.idle_windows, args.settle = 1, 2, 1, 0.5
        args.max_minutes = min(args.max_minutes, 2)
    args.rounds = max(1, min(args.rounds, 200))
    return args


def check_tools():
    needed = ["Xvfb", "xev", "xprop", "xwininfo", "xdotool", "trayer", "dbus-daemon",
              "dbus-monitor", "dbus-send", "display", "stdbuf", "scrot", "maim", "flameshot"]
    missing = [tool for tool in needed if shutil.which(tool) is None]
    if not os.path.exists("/usr/bin/import"):
        missing.append("/usr/bin/import")
    if missing:
        raise BenchError("missing programs: %s (run scripts/setup)" % ", ".join(missing))


def main(argv):
    args = parse_args(argv)
    check_tools()
    if not os.access(args.pelicrow, os.X_OK):
        raise BenchError("no Pelicrow binary at %s (build it first)" % args.pelicrow)
    os.makedirs(args.out, exist_ok=True)
    os.makedirs(args.cache, exist_ok=True)
    scenarios = set(args.scenarios.split(","))
    deadline = now() + args.max_minutes * 60
    results = Results()
    work = tempfile.mkdtemp(prefix="pelicrow-bench.")
    session = Session(work, args.cache)
    interrupted = []

    def on_signal(number, _frame):
        interrupted.append(number)
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, on_signal)
    try:
        session.start()
        log("X display %s, work folder %s" % (session.env["DISPLAY"], work))
        if "startup" in scenarios:
            log("start-up")
            measure_startup(session, args.pelicrow, results, args.rounds, deadline)
        if scenarios & {"full", "fastcut"}:
            pelicrow = Pelicrow(session, args.pelicrow)
            if pelicrow.launch() is None or not pelicrow.wait_ready():
                results.note("Pelicrow did not come up: capture scenarios are n/a")
                pelicrow.stop()
                pelicrow = None
            elif pelicrow.wait_main_window() is not None:
                pelicrow.hide_main_window()
            if "full" in scenarios:
                for scene in SCENES:
                    log("full-screen cut, %s scene" % scene)
                    session.show_scene(scene)
                    measure_full(session, pelicrow, results, args.rounds, deadline, scene)
                session.show_scene("busy")
            if "fastcut" in scenarios:
                log("fast cut")
                daemon = start_flameshot_daemon(session)
                if daemon is None:
                    results.note("fastcut: the flameshot daemon did not come up")
                measure_fastcut(session, pelicrow, daemon[0] if daemon else None, results,
                                args.rounds, deadline)
                if daemon:
                    stop_flameshot_daemon(session, daemon[0])
            if pelicrow:
                pelicrow.stop()
        if "idle" in scenarios:
            log("idle")
            measure_idle(session, args.pelicrow, results, args.idle_windows, args.idle_seconds,
                         args.settle, deadline)
    except KeyboardInterrupt:
        results.note("interrupted")
    finally:
        session.close()
        if args.keep:
            log("work folder kept: " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    rows = pair_rows(results)
    best_rows = best_size_rows(results)
    idle = idle_summary(results)
    write_samples(os.path.join(args.out, "samples.csv"), results)
    plotted = write_plot(os.path.join(args.out, "distributions.png"), results, idle)
    write_summary(os.path.join(args.out, "summary.md"), rows, best_rows, idle, results, args)
    with open(os.path.join(args.out, "results.json"), "w") as f:
        json.dump({"pairs": rows, "best_size": best_rows, "idle": idle,
                   "idle_windows": results.idle,
                   "sizes": {"|".join(k): v for k, v in results.sizes.items()},
                   "notes": results.notes,
                   "samples": {"|".join(k): v for k, v in results.samples.items()}}, f, indent=1)
    with open(os.path.join(args.out, "summary.md")) as f:
        sys.stdout.write(f.read())
    log("written: %s" % ", ".join(os.path.join(args.out, n) for n in
                                  ["summary.md", "samples.csv", "results.json"]
                                  + (["distributions.png"] if plotted else [])))
    if interrupted:
        return 130
    # Peers always work on a sound set-up: none measured means the scripts are broken.
    if "full" in scenarios and not results.values("full:busy", "scrot", "scrot"):
        log("no scrot sample: the measuring itself is broken")
        return 1
    return 0



if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except BenchError as error:
        log("error:", error)
        sys.exit(2)
