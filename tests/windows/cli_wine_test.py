#!/usr/bin/env python3
"""korvane-cli.exe under Wine against korvane-printer-sim, through COM ports of the build's
Wine prefix that each row points at a simulator's pseudo-terminal.

Each row: a name, the simulators it needs (their fault options), the words after korvane-cli
(PORTk stands for the k-th simulator's COM choice, FILE for the image), the exit status, a phrase
that standard error or output must hold, and whether every simulator must have received the
image whole and unchanged.

Then korvane-cli.exe on a console (Wine gives one to a program on a terminal) whose code page
and mode it changes while it runs and must give back.

Usage: cli_wine_test.py WINE_RUN PREFIX CLI_EXE SIM SCHEMA SAMPLES FIRST_COM CONSOLE_DRIVER
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

import jsonschema

wine_run, prefix, cli, sim, schema_path, samples, first_com, console_driver = sys.argv[1:9]
first_com = int(first_com)
failures = []
scratch = tempfile.mkdtemp()
demo = os.path.join(samples, "demo.DPX")
unicode_name = os.path.join(scratch, "F\u00edrmw\u00e4re-\u65e5\u672c.DPX")
shutil.copyfile(demo, unicode_name)
unicode_log = os.path.join(scratch, "L\u00f6g-\u65e5\u672c.txt")


def windows(path):
    return "Z:" + path  # Wine shows the host's root as drive Z:


def run(words, env):
    done = subprocess.run([wine_run, prefix, cli, *words], capture_output=True, timeout=90,
                          env={**os.environ, **env})
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode(
        "utf-8", "replace")


def start_sim(index, faults):
    summary = os.path.join(scratch, f"sim{index}.summary")
    path_file = os.path.join(scratch, f"sim{index}.path")
    # An earlier row's files would point at its printer's pseudo-terminal, whose number the
    # system may since have given to another program.
    for stale in (summary, path_file):
        if os.path.exists(stale):
            os.remove(stale)
    process = subprocess.Popen([sim, "--image", demo, "--path-file", path_file, "--summary",
                                summary, *faults], stdout=subprocess.DEVNULL)
    while not os.path.exists(path_file) or not open(path_file).read().strip():
        if process.poll() is not None:
            raise RuntimeError("the simulator did not start")
    com = first_com + index
    os.symlink(open(path_file).read().strip(), f"{prefix}-ports/COM{com}.new")
    os.replace(f"{prefix}-ports/COM{com}.new", f"{prefix}-ports/COM{com}")
    return process, summary, com


def summary_of(path):
    if not os.path.exists(path):
        return {}
    return dict(line.split("=", 1) for line in open(path).read().split())


rows = [
    # name, simulators' faults, words, status, phrase, whole image at every simulator
    ("whole image", [[]], ["send", "-s", "PORT1", "FILE"], 0, "Firmware Download Success.", True),
    ("NAK", [["--nak-at", "3"]], ["send", "-s", "PORT1", "FILE"], 1,
     "Communication Error.(5 Sec Time out)", False),
    ("two acknowledgements", [["--double-ack-at", "2"]], ["send", "-s", "PORT1", "FILE"], 1,
     "Communication Error.(5 Sec Time out)", False),
    ("silence", [["--silent-from", "2"]], ["send", "-s", "PORT1", "FILE"], 1,
     "Communication Error.(5 Sec Time out)", False),
    ("late acknowledgement", [["--late-ack-at", "2", "--late-ms", "5600"]],
     ["send", "-s", "PORT1", "FILE"], 1, "Communication Error.(5 Sec Time out)", False),
    ("vanished printer", [["--vanish-at", "2"]], ["send", "-s", "PORT1", "FILE"], 3, "COM", False),
    ("no such port", [], ["send", "-s", "COM1", "FILE"], 3, "COM249", False),
    ("file name in any language", [[]], ["send", "-q", "-s", "PORT1", windows(unicode_name)], 0,
     "Firmware Download Success.", True),
    ("several ports at once", [[], [], ["--nak-at", "2"]],
     ["send", "-s", "PORT1", "-s", "PORT2", "-s", "PORT3", "FILE"], 1, "printer_failed", False),
    # The system's own names for a port, beside the window's four choices.
    ("a port by its own name", [[]], ["send", "-q", "-s", "OWN1", "FILE"], 0,
     "Firmware Download Success.", True),
    ("a port by its device name", [[]], ["send", "-q", "-s", "DEVICE1", "FILE"], 0,
     "Firmware Download Success.", True),
    ("%KORVANE_COM5% names COM5's port", [[]], ["send", "-q", "-s", "MAPPED1", "FILE"], 0,
     "Firmware Download Success.", True),
    ("no COM257", [], ["send", "-s", "COM257", "FILE"], 2, "COM1..COM256", False),
    ("no COM0", [], ["send", "-s", "com0", "FILE"], 2, "COM1..COM256", False),
    ("a base address past the I/O space", [], ["send", "-p", "0x1FFFF", "FILE"], 2,
     "hex I/O base address", False),
    ("a base address without the port driver", [], ["send", "-p", "d010", "FILE"], 3,
     "inpoutx64.dll", False),
    ("one port named twice", [], ["send", "-s", "com20", "-s", "\\\\.\\COM20", "FILE"], 3,
     "port 1 (COM20) and port 2 (\\\\.\\COM20) are the same device", False),
    # The help speaks of this system; listing the ports opens none unless asked.
    ("the help", [], ["--help"], 0, "%KORVANE_COMk% when set", False),
    ("send's help", [], ["send", "--help"], 0, "130: stopped by Ctrl+C", False),
    ("the ports, none opened", [], ["ports"], 0, "None was opened", False),
    ("the ports, each opened", [], ["ports", "--open"], 0, "may open: ", False),
    # The log: opened by its name in any language, and never a folder.
    ("a log named in any language", [[]], ["send", "-q", "--log", "LOG", "-s", "PORT1", "FILE"],
     0, "Firmware Download Success.", True),
    ("a folder as the log", [], ["send", "--log", "FOLDER", "-s", "COM20", "FILE"], 3,
     "cannot open the log file", False),
    # Device names, as the firmware or as the log, are refused unopened: opening one reads a
    # console or moves a port's lines.
    *[(f"{name} as the firmware file", [], ["send", "-s", "COM20", name], 3,
       "it is a device, not a regular file", False)
      for name in ["NUL", "CON", "AUX", "COM1", "\\\\.\\COM10", "con.DPX"]],
    *[(f"{name} as the log", [], ["send", "--log", name, "-s", "COM20", "FILE"], 3,
       "it is a device", False) for name in ["AUX", "COM8", "CON"]],
    ("an empty firmware file", [], ["send", "-s", "COM20", "EMPTY"], 3,
     "The file is empty (0 bytes)", False),
]
empty = os.path.join(scratch, "empty.DPX")
open(empty, "wb").close()

for name, faults, words, status, phrase, whole in rows:
    sims = [start_sim(i, f) for i, f in enumerate(faults)]
    env = {"KORVANE_COM1": "COM249"}  # a port that does not exist, unless a row maps one
    args = []
    for word in words:
        if word.startswith("PORT"):
            k = int(word[4:])
            env[f"KORVANE_COM{k}"] = f"COM{sims[k - 1][2]}"
            word = f"COM{k}"
        elif word.startswith("MAPPED"):
            env["KORVANE_COM5"] = f"COM{sims[int(word[6:]) - 1][2]}"
            word = "COM5"
        elif word.startswith("OWN") or word.startswith("DEVICE"):
            com = sims[int(word.lstrip("OWNDEVIC")) - 1][2]
            word = f"COM{com}" if word.startswith("OWN") else f"\\\\.\\COM{com}"
        named = {"FILE": demo, "LOG": unicode_log, "FOLDER": scratch, "EMPTY": empty}
        args.append(windows(named[word]) if word in named else word)
    try:
        code, out, err = run(args, env)
    finally:
        for process, _, _ in sims:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
    if code != status:
        failures.append(f"{name}: exit {code}, expected {status}: {err!r}")
    if phrase not in out + err:
        failures.append(f"{name}: no {phrase!r} in {out + err!r}")
    for _, summary, com in sims:
        got = summary_of(summary)
        complete = got.get("mismatches") == "0" and got.get("records") == got.get(
            "expected_records") and got.get("bytes") == got.get("expected_bytes")
        if whole and not complete:
            failures.append(f"{name}: COM{com} did not receive the image whole: {got}")
        if not whole and got.get("ended") == "completed" and status != 0 and len(sims) == 1:
            failures.append(f"{name}: COM{com} completed a download that should have failed")

if not os.path.exists(unicode_log) or os.path.getsize(unicode_log) == 0:
    failures.append(f"a log named in any language: nothing at {unicode_log!r}: "
                    f"{os.listdir(scratch)!r}")

# A success whose standard output is a pipe that nobody reads any more keeps its status.
process, summary, com = start_sim(0, [])
closed = subprocess.Popen([wine_run, prefix, cli, "send", "-s", f"COM{com}", windows(demo)],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
closed.stdout.close()
err = closed.stderr.read().decode("utf-8", "replace")
if closed.wait(timeout=90) != 0 or summary_of(summary).get("ended") != "completed":
    failures.append(f"closed pipe: exit {closed.returncode}, {summary_of(summary)}: {err!r}")
process.wait(timeout=10)

# A firmware file that another program holds without sharing is told as such.
holder = subprocess.Popen([wine_run, prefix, console_driver, "--hold", windows(demo)],
                          stdin=subprocess.PIPE, stdout=subprocess.PIPE)
if holder.stdout.readline().strip() != b"held":
    failures.append("the holder could not open the firmware file")
code, out, err = run(["check", windows(demo)], {})
holder.stdin.close()
holder.wait(timeout=30)
if code != 3 or "another program is using it" not in err:
    failures.append(f"a held firmware file: exit {code}: {err!r}")

# check --json against the schema, and the image's name in UTF-8.
validator = jsonschema.Draft202012Validator(json.load(open(schema_path)))
for name, path, status in [("check ok", demo, 0), ("check any language", unicode_name, 0),
                           ("check breaks a rule",
                            os.path.join(samples, "marker-mid-file.DPX"), 1),
                           ("check missing", os.path.join(samples, "no-such.DPX"), 3)]:
    code, out, err = run(["check", "--json", windows(path)], {})
    if code != status:
        failures.append(f"{name}: exit {code}, expected {status}: {err!r}")
    try:
        report = json.loads(out)
        for error in validator.iter_errors(report):
            failures.append(f"{name}: schema: {error.message}")
        if report["image"]["path"] != windows(path):
            failures.append(f"{name}: path {report['image']['path']!r}")
    except (ValueError, KeyError) as error:
        failures.append(f"{name}: {error}: {out!r}")

# The shell's console as korvane-cli found it, after a success and after a failure.
for name, words in [("console after --version", ["--version"]),
                    ("console after a failure", ["check", windows(os.path.join(scratch, "no"))])]:
    result = os.path.join(scratch, "console.txt")
    terminal, wine_side = os.openpty()
    try:
        subprocess.run([wine_run, prefix, console_driver, windows(result), cli, *words],
                       stdin=wine_side, stdout=wine_side, stderr=wine_side, timeout=90)
    finally:
        os.close(wine_side)
        os.close(terminal)
    got = summary_of(result)
    if got.get("page") != "850" or got.get("mode_after") != got.get("mode_before"):
        failures.append(f"{name}: the console was left as {got}, not page=850 and its mode")

shutil.rmtree(scratch)
for failure in failures:
    print(failure)
print(f"korvane-cli.exe under Wine: {len(failures)} failed")
sys.exit(1 if failures else 0)
