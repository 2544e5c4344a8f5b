"""Runs Orca on the program on a private desktop and prints what Orca says,
step by step, for people to read.

    /usr/bin/python3 screen_reader.py PROGRAM [STEP ...]

Each STEP is an xdotool command line such as "key 7" or "key Tab"; without
steps, the moments a driver meets first are played: the window opening,
typing 7, Return, Down, Tab to "Visa nästa" and pressing it."""

import json
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import session  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_STEPS = ["key 7", "key Return", "key Down", "key Tab", "key Tab", "key space"]
QUIET = 1.5  # seconds without new speech after which a step is taken as said
STEP_TIMEOUT = 15


def said(path):
    with open(path, encoding="utf-8") as speech:
        return [line.rstrip("\n").split("\t", 1) for line in speech if "\t" in line]


def wait_quiet(path, start, require_new=True):
    """Waits until Orca has said something new and then stopped talking."""
    deadline = time.monotonic() + STEP_TIMEOUT
    seen, since = len(said(path)), time.monotonic()
    while time.monotonic() < deadline:
        time.sleep(0.1)
        now = len(said(path))
        if now != seen:
            seen, since = now, time.monotonic()
        elif (now > start or not require_new) and time.monotonic() - since >= QUIET:
            break
    return said(path)[start:]


def show(title, lines):
    print("== " + title)
    for kind, text in lines:
        if kind == "stop":
            continue  # Orca cutting itself short; nothing is said
        print(("   [%s] " % kind if kind != "say" else "   ") + text)
    sys.stdout.flush()


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    program, steps = sys.argv[1], sys.argv[2:] or DEFAULT_STEPS
    missing = session.missing_tools({"/usr/bin/orca": "Orca (package orca)"})
    if missing:
        print("screen-reader: not installed: " + ", ".join(missing))
        return 1

    desktop = session.Session(program, log=open(os.devnull, "w"))
    desktop.start(with_program=False)
    try:
        prefs = os.path.join(desktop.tmp, "orca")
        os.makedirs(prefs)
        # Speech goes to a file through our speech module; braille is off.
        with open(os.path.join(prefs, "user-settings.conf"), "w") as settings:
            json.dump({"general": {"speechServerFactory": "transcript_speech",
                                   "enableSpeech": True, "enableBraille": False},
                       "pronunciations": {}, "keybindings": {},
                       "profiles": {"default": {"profile": ["Default", "default"]}}}, settings)
        speech = os.path.join(desktop.tmp, "speech.txt")
        open(speech, "w").close()
        debug_log = os.environ.get("ORCA_DEBUG_LOG")
        argv = ["/usr/bin/python3", os.path.join(HERE, "orca_launcher.py"), "-u", prefs]
        if debug_log:
            argv += ["--debug-file", os.path.abspath(debug_log)]
        orca = desktop.spawn("orca", argv, env={"PYTHONPATH": HERE, "LEVERANS_SPEECH_FILE": speech})
        show("Orca starts", wait_quiet(speech, 0))

        start = len(said(speech))
        desktop.start_program()
        desktop.window()
        show("the window opens", wait_quiet(speech, start))
        for step in steps:
            start = len(said(speech))
            desktop.xdotool(*step.split())
            show(step, wait_quiet(speech, start))
        orca.send_signal(signal.SIGINT)
        try:
            orca.wait(timeout=10)
        except Exception:
            pass
    finally:
        desktop.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
