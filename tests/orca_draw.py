#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""What a blind user hears of a keyboard draw, from the real screen reader.

On the desktop of accessibility_bus.py (Xvfb, openbox, a private session bus and the AT-SPI
bus) it starts a speech-dispatcher of its own with the espeak-ng Japanese voice and Orca with a
debug log, in a Japanese locale made for the test, then runs the program and drives it with
xdotool keys as a user would: Alt+A to arm block A, Alt+A again to draw, and Tab a second after
the draw's speech has been played out. Orca's log gives every utterance (SPEECH OUTPUT) and when
each reel's number reached it (the reel renamed: its stop), speech-dispatcher's log when it
played each message, all on one clock. It checks: one utterance naming the block and its phase
soon after the arm press; for each stop exactly one utterance holding that number, soon after;
one utterance at the end holding the six numbers as saved; every number and the end played out,
and all of it soon after the last stop; after the Tab the numbers still in the switch's name,
where the user heard them; few and short utterances for the whole draw.

Usage: orca_draw.py PATH_TO_TAVO (TAVO_ORCA_KEEP=1 keeps the logs' folder). Exit code 77 means
skipped: Orca or its speech could not start.
"""

import datetime
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # nothing written into the source tree
import accessibility_bus as bus  # noqa: E402

# The bounds, measured on Orca's own clock: from the arm key press, and from Orca's
# receipt of each reel's number.
ARM_S = 1.0
STOP_S = 1.5
# From the last stop until speech-dispatcher has played out the last number and the end. The
# Japanese voice is slow and reads the punctuation (some 1.4 s a number, 11 s for the end), and
# it starts 3 s behind, after the key echoes: about 17 s. Told in full names it took over a minute.
SPEECH_S = 22.0
# A whole draw: the arm, the block's frame entered, six numbers, the end (key echoes aside).
# At most 82 characters with two-digit numbers.
MAX_UTTERANCES = 10
MAX_CHARS = 100

KEY_ECHO = re.compile(r"^((left|right) )?(alt|tab|return|shift|control)\s*$", re.IGNORECASE)
LINE = re.compile(r"^(\d\d):(\d\d):(\d\d)\.(\d+) - (.*)$")


def stamp_of(match):
    h, m, s, us = (int(match.group(i)) for i in range(1, 5))
    return h * 3600 + m * 60 + s + us / 1e6


def now():
    t = datetime.datetime.now()
    return t.hour * 3600 + t.minute * 60 + t.second + t.microsecond / 1e6


def read_log(path):
    """(time, utterance) for every SPEECH OUTPUT line; (time, name) for every reel's new name
    and (time, name) for every reel given the focus, as Orca received them."""
    speech, renamed, focused = [], [], []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = LINE.match(line.rstrip("\n"))
            if not m:
                continue
            text = m.group(5)
            said = re.match(r"SPEECH OUTPUT: '(.*?)' ?(\{|voice=|$)", text)
            if said:
                speech.append((stamp_of(m), said.group(1)))
                continue
            event = re.match(r"EVENT MANAGER: object:(property-change:accessible-name|"
                             r"state-changed:focused) for \[animation \| ([^]]*)\] "
                             r"in \[application \| Tavo\] \((\d)", text)
            if event and event.group(1).startswith("property"):
                renamed.append((stamp_of(m), event.group(2)))
            elif event and event.group(3) == "1":
                focused.append((stamp_of(m), event.group(2)))
    return speech, renamed, focused


def stops_of(renamed, focused, saved, arm):
    """(time, reel, number) for each reel's stop: when its number was set, which is when its
    name took the number (the focus follows, up to a few tenths later when reels stop close
    together); the focus only where no rename was logged. Only block A draws, and its six
    numbers differ, so a number tells the reel."""
    stops = []
    for p, n in enumerate(saved):
        times = ([t for t, name in renamed if t >= arm and numbers_in(name) == [n]] or
                 [t for t, name in focused if t >= arm and numbers_in(name) == [n]])
        if not times:
            return None
        stops.append((min(times), p + 1, n))
    return stops


def numbers_in(utterance):
    """The numbers an utterance tells: those after its last colon (a reel's or switch's label
    may hold a digit before it)."""
    return [int(n) for n in re.findall(r"\d+", utterance.rsplit(":", 1)[-1])]


def switch_name(env):
    """Block A's switch's name as any AT-SPI client reads it."""
    probe = ("import pyatspi\n"
             "for app in pyatspi.Registry.getDesktop(0):\n"
             "    if app is not None and app.name.lower() == 'tavo':\n"
             "        print(pyatspi.findDescendant(app, lambda a: a is not None and\n"
             "              a.name.startswith('ブロックA スイッチ')).name)\n")
    return subprocess.run(["/usr/bin/python3", "-c", probe], env=env, capture_output=True,
                          text=True, timeout=30).stdout.strip()


def played(logs):
    """Each message speech-dispatcher played: (began, ended, "done" or "cut" by a key press, or
    "plays" if still playing, its text), from its log, on the same clock as Orca's. A message
    that a key press threw away before it began is not there: it was never heard."""
    messages = []
    line = re.compile(r"\[\w+ \w+ +\d+ (\d\d):(\d\d):(\d\d) \d+ : (\d+)\] speechd: +"
                      r"(Module speak!|Module stop!|speak_queue playback thread got END|"
                      r"Incoming text: \|(.*))")
    text = ""
    with open(os.path.join(logs, "speech-dispatcher.log"), encoding="utf-8",
              errors="replace") as f:
        for entry in f:
            m = line.match(entry)
            if not m:
                continue
            t = int(m[1]) * 3600 + int(m[2]) * 60 + int(m[3]) + int(m[4]) / 1e6
            if m[6] is not None:
                text = re.sub(r"<[^>]*>", "", m[6]).rstrip("|").strip()
            elif m[5] == "Module speak!":
                messages.append([t, None, "plays", text])
            elif messages and messages[-1][2] == "plays":
                messages[-1][1:3] = [t, "cut" if m[5] == "Module stop!" else "done"]
    return messages


def start_sound(tmp, env, procs):
    """A PulseAudio of the test's own with a null sink: speech plays in real time."""
    socket = os.path.join(tmp, "pulse")
    pulse = subprocess.Popen(["/usr/bin/pulseaudio", "-n", "--daemonize=no", "--system=no",
                              "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
                              "--log-level=error", "-L", "module-null-sink sink_name=cap",
                              "-L", "module-native-protocol-unix socket=%s auth-anonymous=1" %
                              socket], env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    procs.append(pulse)
    env["PULSE_SERVER"] = "unix:" + socket
    for _ in range(100):
        if os.path.exists(socket) and subprocess.run(
                ["/usr/bin/pactl", "info"], env=env, capture_output=True).returncode == 0:
            return True
        time.sleep(0.1)
    return False


def start_orca(tmp, env, procs):
    """Orca with its debug log on a terminal of the test's own: Python writes to a terminal line
    by line, so the test reads each utterance as it is said (to a file it would come in 8 KiB
    blocks). Returns the path where the lines are copied."""
    master, slave = os.openpty()
    log = os.path.join(tmp, "orca.log")

    def copy():
        with open(log, "wb", buffering=0) as out:
            while True:
                try:
                    data = os.read(master, 65536)
                except OSError:
                    return
                if not data:
                    return
                out.write(data.replace(b"\r\n", b"\n"))

    threading.Thread(target=copy, daemon=True).start()
    prefs = os.path.join(tmp, "orca")
    os.mkdir(prefs)
    procs.append(subprocess.Popen(["/usr/bin/orca", "--replace", "-u", prefs, "--debug-file",
                                   os.ttyname(slave)], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL))
    return log


def start_speech(tmp, env, procs):
    """speech-dispatcher on the session's runtime folder, espeak-ng in Japanese, logging."""
    conf = os.path.join(tmp, "speechd")
    shutil.copytree("/etc/speech-dispatcher", conf)
    with open(os.path.join(conf, "speechd.conf"), "a") as f:
        f.write('\nDefaultModule espeak-ng\nDefaultLanguage "ja"\nAudioOutputMethod "pulse"\n')
    logs = os.path.join(tmp, "speechd-log")
    os.mkdir(logs)
    # Level 5 logs each message's text as it begins to play.
    sd = subprocess.Popen(["/usr/bin/speech-dispatcher", "-s", "-t", "0", "-l", "5", "-C", conf,
                           "-L", logs], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    procs.append(sd)
    sock = os.path.join(env["XDG_RUNTIME_DIR"], "speech-dispatcher", "speechd.sock")
    for _ in range(100):
        if os.path.exists(sock) or sd.poll() is not None:
            break
        time.sleep(0.1)
    return os.path.exists(sock) and sd.poll() is None, logs


def wait_for(path, pattern, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if os.path.exists(path):
            with open(path, encoding="utf-8", errors="replace") as f:
                if re.search(pattern, f.read()):
                    return True
        time.sleep(0.2)
    return False


def key(env, keys):
    subprocess.run(["/usr/bin/xdotool", "key", "--clearmodifiers", keys], env=env, check=True)
    return now()


def played_out(logs, pattern, seconds):
    """Waits until speech-dispatcher has finished a message matching pattern."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if [m for m in played(logs) if m[2] != "plays" and re.search(pattern, m[3])]:
            return True
        time.sleep(0.2)
    return False


def test(tavo):
    # Orca and speech-dispatcher run in UTC and their logs say so: now() must agree.
    os.environ["TZ"] = "UTC"
    time.tzset()
    for tool in ("/usr/bin/orca", "/usr/bin/speech-dispatcher", "/usr/bin/espeak-ng",
                 "/usr/bin/pulseaudio", "/usr/bin/pactl", "/usr/bin/localedef",
                 "/usr/share/i18n/locales/ja_JP"):
        if not os.path.exists(tool):
            return bus.skip(tool + " is not installed")
    tmp = tempfile.mkdtemp(prefix="tavo-orca-")
    procs = []
    try:
        env, why = bus.start_desktop(tmp, procs)
        if env is None:
            return bus.skip(why)
        # The Japanese locale, made in the test's own folder (the system's is left alone).
        locales = os.path.join(tmp, "locale")
        os.mkdir(locales)
        made = subprocess.run(["/usr/bin/localedef", "-i", "ja_JP", "-f", "UTF-8",
                               os.path.join(locales, "ja_JP.UTF-8")], capture_output=True)
        if not os.path.isdir(os.path.join(locales, "ja_JP.UTF-8")):
            return bus.skip("the ja_JP.UTF-8 locale could not be made: %s" % made.stderr[-200:])
        env.update({"LOCPATH": locales, "LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8",
                    "TZ": "UTC"})
        if not start_sound(tmp, env, procs):
            return bus.skip("PulseAudio did not start")
        ok, speech_logs = start_speech(tmp, env, procs)
        if not ok:
            return bus.skip("speech-dispatcher did not start")

        debug = start_orca(tmp, env, procs)
        if not wait_for(debug, r"SPEECH OUTPUT", 30):
            return bus.skip("Orca did not start speaking")

        folder = os.path.join(tmp, "app")
        os.mkdir(folder)
        program = os.path.join(folder, "tavo")
        shutil.copy2(tavo, program)
        app = subprocess.Popen([program], env=dict(env, QT_QPA_PLATFORM="xcb",
                                                    QT_ACCESSIBILITY="1",
                                                    QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"),
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        procs.append(app)
        # The window is up and Orca follows it once it speaks the first control's focus.
        if not wait_for(debug, r"SPEECH OUTPUT: '[^']*文字印刷", 30):
            return bus.fail("Orca never spoke the window's first control")
        time.sleep(1)

        arm = key(env, "alt+a")
        time.sleep(3)
        key(env, "alt+a")
        log = os.path.join(folder, "TavoLog.csv")
        # The end: the switch's name with the numbers; a patient user hears it out (a key press
        # would throw away what is still to come), then presses Tab a second later.
        if not wait_for(debug, r"SPEECH OUTPUT: '[^']*結果", 40):
            return bus.fail("no end of the draw was spoken")
        played_out(speech_logs, "結果", SPEECH_S + 10)
        time.sleep(1)
        tab = key(env, "Tab")
        time.sleep(2)
        # Save, to read the numbers as saved: Tab on to the save button is the user's way; the
        # Alt key reaches no button, so the test finds it in the cycle by Orca's words.
        saving = None
        for _ in range(6):
            speech = read_log(debug)[0]
            if "保存" in speech[-1][1] + speech[-2][1]:
                saving = key(env, "Return")
                wait_for(log, r"A,", 5)
                break
            key(env, "Tab")
            time.sleep(0.8)
        # A save that went well shows nothing; it is heard.
        saved_said = saving is not None and wait_for(debug, r"SPEECH OUTPUT: '[^']*保存しました", 5)
        after_tab_name = switch_name(env)
        time.sleep(1)
        speech, renamed, focused = read_log(debug)
        for t, said in speech:
            if t >= arm - 0.5:
                print("%7.3f s  %s" % (t - arm, said))

        problems = []
        saved = []
        if os.path.exists(log):
            with open(log, encoding="ascii") as f:
                lines = [line.strip().split(",") for line in f if ",A," in line]
            saved = [int(n) for n in lines[-1][3:]] if lines else []
        stops = stops_of(renamed, focused, saved, arm) if len(saved) == 6 else None
        if stops is None:
            return bus.fail("saved %s, reels renamed %s" % (saved, renamed))
        print("stops (s after the arm press):", [(round(t - arm, 3), p, n) for t, p, n in stops])
        draw = [(t, said) for t, said in speech
                if arm <= t < tab and not KEY_ECHO.match(said)]
        # The block and its phase in one utterance.
        arm_said = [t - arm for t, said in draw
                    if "ブロックA" in said and re.search("回転中|停止", said)]
        if not arm_said or arm_said[0] > ARM_S:
            problems.append("the block and 回転中 were said %s s after the arm press" %
                            arm_said[:1])
        for t, p, n in stops:
            holding = [(u - t, said) for u, said in draw if numbers_in(said) == [n]]
            if len(holding) != 1 or not -0.1 <= holding[0][0] <= STOP_S:
                problems.append("reel %d (%d): %s" % (p, n, holding))
        ends = [said for _, said in draw if numbers_in(said) == saved]
        if len(ends) != 1:
            problems.append("the end was said %d times: %s" % (len(ends), ends))
        if numbers_in(after_tab_name) != saved:
            problems.append("after the Tab the switch says %r" % after_tab_name)
        if not [said for t, said in speech if t > tab]:
            problems.append("nothing was said after the Tab")
        confirmed = [t - saving for t, said in speech
                     if saved_said and t >= saving and "保存しました" in said]
        if len(confirmed) != 1 or confirmed[0] > STOP_S:
            problems.append("the save was confirmed %s s after the key" % confirmed)
        chars = sum(len(said) for _, said in draw)
        print("%d utterances, %d characters for the draw" % (len(draw), chars))
        if len(draw) > MAX_UTTERANCES or chars > MAX_CHARS:
            problems.append("%d utterances, %d characters for one draw" % (len(draw), chars))

        # What was heard, from speech-dispatcher's log: each number and the end played out, not
        # cut or thrown away, and the last of them soon after the last stop.
        heard = [m for m in played(speech_logs) if arm <= m[0] < tab]
        print("heard (s after the arm press):")
        for began, ended, how, text in heard:
            print("  %5.1f-%5.1f %-5s %s" % (began - arm, (ended or tab) - arm, how, text))
        over = []
        for wanted in [[n] for n in saved] + [saved]:
            out = [ended for _, ended, how, text in heard
                   if how == "done" and numbers_in(text) == wanted]
            if not out:
                problems.append("%s was not played out before the Tab" % wanted)
            over += out[:1]
        if over:
            lag = max(over) - max(t for t, _, _ in stops)
            print("the draw's speech was over %.1f s after the last stop" % lag)
            if lag > SPEECH_S:
                problems.append("the draw's speech was over %.1f s after the last stop" % lag)
        if app.poll() is not None:
            problems.append("the program ended early: %s" % app.stderr.read())
        for p in problems:
            print("FAIL: " + p)
        if problems:
            return 1
        print("ok: %d utterances, %d characters; numbers %s" % (len(draw), chars, saved))
        return 0
    finally:
        bus.stop(procs)
        if os.environ.get("TAVO_ORCA_KEEP"):
            print("kept", tmp)
        else:
            shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(test(sys.argv[1]))
