#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A draw of block A through the real Linux accessibility stack.

Starts a virtual X display, a private D-Bus session bus and the AT-SPI bus launcher, runs a copy
of the program in a temporary folder with Qt's AT-SPI bridge on, and drives it from a pyatspi
client as a screen reader would: it finds block A's switch by its name, calls its Press action
twice 0.6 s apart, waits for the draw to end, reads the six reel names, and presses the save
button. The reel names must be six distinct numbers 1..43, equal to block A's line in the
TavoLog.csv that the save wrote. Every process started here is stopped by its own pid.

Usage: accessibility_bus.py PATH_TO_TAVO        (the test)
       accessibility_bus.py --client            (the AT-SPI client, run by the test)
Exit code 77 means skipped: the display or the buses could not start.
"""

import contextlib
import fcntl
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77


def client():
    import pyatspi
    from gi.repository import GLib

    seen = {"name_events": {}, "focus": [], "press_ms": [], "log": [], "told": []}
    start = time.monotonic()

    def stamp(text):
        seen["log"].append("%.2f s %s" % (time.monotonic() - start, text))

    def find_app():
        for _ in range(100):
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.name.lower() == "tavo":
                    return app
            time.sleep(0.1)
        return None

    app = find_app()
    if app is None:
        print(json.dumps({"error": "the program never appeared on the accessibility bus"}))
        return 1

    def named(prefix):
        return pyatspi.findDescendant(app, lambda a: a is not None and a.name.startswith(prefix))

    switch = named("ブロックA スイッチ")
    reels = [named("ブロックA リール%d:" % (p + 1)) for p in range(6)]
    save = pyatspi.findDescendant(
        app, lambda a: a is not None and a.getRoleName() == "push button" and "保存" in a.name)
    if switch is None or None in reels or save is None:
        print(json.dumps({"error": "switch, reels or save button not found by name"}))
        return 1
    seen["switch_role"] = switch.getRoleName()
    action = switch.queryAction()
    seen["actions"] = [action.getName(i) for i in range(action.nActions)]
    seen["key_binding"] = action.getKeyBinding(0) if action.nActions else ""
    press = seen["actions"].index("Press") if "Press" in seen["actions"] else -1

    def on_event(event):
        try:
            name = event.source.name
        except Exception:  # the object may be gone
            return
        if event.type.startswith("object:property-change:accessible-name"):
            if name.startswith("ブロックA リール") and "reels" not in seen:
                seen["name_events"].setdefault(name.split(":")[0], []).append(name)
        elif event.type.startswith("object:state-changed:showing"):
            if event.detail1 == 1 and event.source.getRoleName() == "notification":
                seen["told"].append(name)
        elif event.detail1 == 1 and "moved_on" not in seen:
            seen["focus"].append(name)
            stamp("focus " + name)

    pyatspi.Registry.registerEventListener(
        on_event, "object:property-change:accessible-name", "object:state-changed:focused",
        "object:state-changed:showing")

    def do_press(obj, index):
        t = time.monotonic()
        obj.queryAction().doAction(index)
        seen["press_ms"].append(round((time.monotonic() - t) * 1000, 1))
        stamp("pressed " + obj.name)

    frame = pyatspi.findDescendant(app, lambda a: a is not None and a.getRoleName() == "frame") \
        or app.getChildAtIndex(0)

    def first():
        # A screen reader user works in the active window: wait for the window manager to give it.
        if not frame.getState().contains(pyatspi.STATE_ACTIVE) and time.monotonic() - start < 5:
            return True
        seen["window_active"] = frame.getState().contains(pyatspi.STATE_ACTIVE)
        do_press(switch, press)
        GLib.timeout_add(600, second)
        return False

    def second():
        do_press(switch, press)
        GLib.timeout_add(200, wait_end)
        return False

    def wait_end():
        if "save_sensitive_during_draw" not in seen:
            seen["save_sensitive_during_draw"] = save.getState().contains(pyatspi.STATE_SENSITIVE)
        if "結果" not in switch.name:
            if time.monotonic() - start > 40:
                seen["error"] = "the draw did not end"
                pyatspi.Registry.stop()
                return False
            return True
        stamp("ended: " + switch.name)
        seen["switch_name"] = switch.name
        # The user moves on (as with Tab) once the end is heard: the reels take back their full
        # names, which are read then.
        GLib.timeout_add(1000, move_on)
        return False

    def move_on():
        seen["moved_on"] = True
        save.queryComponent().grabFocus()
        GLib.timeout_add(500, after_end)
        return False

    def after_end():
        seen["reels"] = [r.name for r in reels]
        seen["reel_states_focusable"] = all(
            r.getState().contains(pyatspi.STATE_FOCUSABLE) for r in reels)
        ended = time.monotonic()

        # The state changes reach this client as signals, which it takes in between its calls:
        # the save must say it is available again within a moment.
        def save_when_available():
            seen["save_sensitive_after_draw"] = save.getState().contains(
                pyatspi.STATE_SENSITIVE)
            if not seen["save_sensitive_after_draw"] and time.monotonic() - ended < 2:
                return True
            save_action = save.queryAction()
            names = [save_action.getName(i) for i in range(save_action.nActions)]
            do_press(save, names.index("Press"))
            GLib.timeout_add(1000, sort_and_clear)
            return False

        GLib.timeout_add(50, save_when_available)
        return False

    def press_named(caption):
        button = pyatspi.findDescendant(
            app, lambda a: a is not None and a.getRoleName() == "push button" and
            caption in a.name)
        action = button.queryAction()
        do_press(button, [action.getName(i) for i in range(action.nActions)].index("Press"))

    # Each command that works is told, with nothing on screen.
    def sort_and_clear():
        press_named("並べ替え")
        GLib.timeout_add(500, clear)
        return False

    def clear():
        press_named("表示をクリア")
        GLib.timeout_add(1000, finish)
        return False

    def finish():
        pyatspi.Registry.stop()
        return False

    if press < 0:
        print(json.dumps({"error": "no Press action", "seen": seen}, ensure_ascii=False))
        return 1
    GLib.timeout_add(300, first)
    pyatspi.Registry.start()
    print(json.dumps(seen, ensure_ascii=False))
    return 0


def descendants(pids):
    """Every live process whose chain of parents reaches one of pids."""
    parent = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                parent[int(entry)] = int(fields[1])
            except (OSError, IndexError, ValueError):
                pass
    found = set()
    for pid in parent:
        p = pid
        while p in parent and p not in pids and p > 1:
            p = parent[p]
        if p in pids and pid not in pids:
            found.add(pid)
    return found


@contextlib.contextmanager
def x_server_lock():
    """One X server starts or ends at a time (with_desktop.sh takes the same lock): one that picks
    its display while another ends can lose that display's socket files to the other's clean-up."""
    with open("/tmp/.tavo-xvfb-start.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield


def stop(procs):
    """Stops what was started, each by its own pid: the program first, then the buses' children
    (which their parents reap), then the buses and the display."""
    if procs and procs[-1].poll() is None:
        procs[-1].terminate()
        procs[-1].wait(5)
    started = {p.pid for p in procs}
    for pid in descendants(started):
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    time.sleep(0.3)
    with x_server_lock():
        for p in reversed(procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(3)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()


def skip(reason):
    print("SKIP: " + reason)
    return SKIP


def fail(reason):
    print("FAIL: " + reason)
    return 1


def start_desktop(tmp, procs):
    """Starts a virtual X display with openbox, a private D-Bus session bus and the AT-SPI bus,
    appending each process to procs. Returns (environment for clients, None), or (None, why)."""
    runtime = os.path.join(tmp, "run")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ)
    for var in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "AT_SPI_BUS_ADDRESS",
                "NO_AT_BRIDGE"):
        env.pop(var, None)
    env.update({"XDG_RUNTIME_DIR": runtime, "LC_ALL": "C.UTF-8", "HOME": tmp})

    read_fd, write_fd = os.pipe()
    with x_server_lock():
        xvfb = subprocess.Popen(["/usr/bin/Xvfb", "-displayfd", str(write_fd), "-nolisten",
                                 "tcp", "-noreset", "-screen", "0", "800x600x24"], pass_fds=(write_fd,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(xvfb)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            display = f.readline().strip()
    if not display:
        return None, "Xvfb did not start"
    env["DISPLAY"] = ":" + display
    # A window manager, so that the window is active and takes the focus as on a desktop.
    procs.append(subprocess.Popen(["/usr/bin/openbox", "--sm-disable"], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    for _ in range(50):
        # Openbox makes its own window once it manages the screen.
        if subprocess.run(["/usr/bin/xdotool", "search", "--classname", "openbox"], env=env,
                          capture_output=True).returncode == 0:
            break
        time.sleep(0.1)
    else:
        return None, "openbox did not start"

    bus = subprocess.Popen(["/usr/bin/dbus-daemon", "--session", "--nofork",
                            "--address=unix:path=" + os.path.join(tmp, "bus"),
                            "--print-address=1"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    procs.append(bus)
    address = bus.stdout.readline().strip()
    if not address:
        return None, "the D-Bus session bus did not start"
    env["DBUS_SESSION_BUS_ADDRESS"] = address

    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
    procs.append(launcher)
    for _ in range(50):
        probe = subprocess.run(["dbus-send", "--session", "--dest=org.a11y.Bus",
                                "--print-reply", "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                               env=env, capture_output=True, text=True)
        if probe.returncode == 0 and "unix:" in probe.stdout:
            break
        time.sleep(0.1)
    else:
        return None, "the AT-SPI bus did not start"

    return env, None


def test(tavo):
    for tool in ("/usr/bin/Xvfb", "/usr/bin/openbox", "/usr/bin/xdotool", "/usr/bin/dbus-daemon",
                 "/usr/libexec/at-spi-bus-launcher"):
        if not os.access(tool, os.X_OK):
            return skip(tool + " is not installed")
    try:
        import pyatspi  # noqa: F401  (checked here, used by the client)
    except ImportError:
        return skip("python3-pyatspi is not installed")

    tmp = tempfile.mkdtemp(prefix="tavo-atspi-")
    procs = []
    try:
        env, why = start_desktop(tmp, procs)
        if env is None:
            return skip(why)

        # A copy of the program in a folder of its own: the results are written beside it.
        folder = os.path.join(tmp, "app")
        os.mkdir(folder)
        program = os.path.join(folder, "tavo")
        shutil.copy2(tavo, program)
        app_env = dict(env, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
                       QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        app = subprocess.Popen([program], env=app_env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
        procs.append(app)

        began = time.monotonic()
        result = subprocess.run(["/usr/bin/python3", os.path.abspath(__file__), "--client"],
                                env=env, capture_output=True, text=True, timeout=90)
        took = time.monotonic() - began
        print("client (%.1f s): %s" % (took, result.stdout.strip()))
        if result.returncode != 0:
            print(result.stderr)
            return fail("the AT-SPI client failed")
        seen = json.loads(result.stdout.strip().splitlines()[-1])
        if "error" in seen:
            return fail(seen["error"])

        problems = []
        if seen["switch_role"] != "push button":
            problems.append("the switch is a %s, not a push button" % seen["switch_role"])
        if seen["key_binding"] != "Alt+A":
            problems.append("key binding %r" % seen["key_binding"])
        if seen["save_sensitive_during_draw"] or not seen["save_sensitive_after_draw"]:
            problems.append("the save button did not say it was unavailable during the draw only")
        if max(seen["press_ms"]) > 2000:
            problems.append("a Press action held its caller: %s ms" % seen["press_ms"])
        numbers = []
        for p, name in enumerate(seen["reels"]):
            prefix = "ブロックA リール%d: " % (p + 1)
            value = name[len(prefix):] if name.startswith(prefix) else ""
            numbers.append(int(value) if value.isdigit() else -1)
        if sorted(set(numbers)) != sorted(numbers) or not all(1 <= n <= 43 for n in numbers):
            problems.append("reel names %s are not six distinct numbers 1..43" % seen["reels"])
        for p in range(6):
            events = seen["name_events"].get("ブロックA リール%d" % (p + 1), [])
            if len(events) != 2 or "回転中" not in events[0]:
                problems.append("reel %d was renamed %d times: %s" % (p + 1, len(events),
                                                                    events[:4]))
        # The focus goes with the draw, each control saying only what changed while it is
        # there: the switch, each reel's number, the switch ready again with the numbers.
        expected_focus = (["ブロックA 回転中"] + [str(n) for n in numbers] +
                          ["開始 結果 " + " ".join(str(n) for n in numbers)])
        if seen["focus"] != expected_focus:
            problems.append("focus went %s" % seen["focus"])
        if seen["told"] != ["保存しました", "並べ替えました", "表示をクリアしました"]:
            problems.append("the save, sort and clear were told as %s" % seen["told"])

        log = os.path.join(folder, "TavoLog.csv")
        lines = []
        if os.path.exists(log):
            with open(log, encoding="ascii") as f:
                lines = [line.rstrip("\r\n").split(",") for line in f if line.strip()]
        block_a = [line for line in lines if len(line) == 9 and line[2] == "A"]
        if not block_a:
            problems.append("no line of block A in TavoLog.csv: %s" % lines)
        elif [int(n) for n in block_a[-1][3:]] != numbers:
            problems.append("TavoLog.csv has %s, the reels said %s" % (block_a[-1], numbers))

        if app.poll() is not None:
            problems.append("the program ended early: %s" % app.stderr.read())
        if problems:
            for p in problems:
                print("FAIL: " + p)
            return 1
        print("ok: reels %s, Press returned in %s ms, %d focus events" %
              (numbers, seen["press_ms"], len(seen["focus"])))
        return 0
    finally:
        stop(procs)
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) == 2 and sys.argv[1] == "--client":
        sys.exit(client())
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(test(sys.argv[1]))
