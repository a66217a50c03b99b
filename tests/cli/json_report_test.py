#!/usr/bin/env python3
"""korvane-cli --json against docs/korvane-cli.schema.json, over check and send.

Each row runs the CLI, validates every line of its standard output against the schema and checks
the rules the schema cannot say: one object per port, the exit status in the object is the
process's (one port) or the highest (several), the hash is the file's, the times are in order,
and a file name with control characters and bytes that are not UTF-8 still gives valid JSON.

Usage: json_report_test.py CLI SIM SCHEMA SAMPLES
"""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

import jsonschema

cli, sim, schema_path, samples = sys.argv[1:5]
validator = jsonschema.Draft202012Validator(json.load(open(schema_path)))
failures = []


def fail(name, why):
    failures.append(f"{name}: {why}")


def start_sim(image, *faults):
    process = subprocess.Popen([sim, "--image", image, *faults], stdout=subprocess.PIPE, text=True)
    return process, process.stdout.readline().strip()


def run(name, args, status, outcomes=None, image=None):
    done = subprocess.run([cli, *args], capture_output=True, timeout=60)
    if done.returncode != status:
        fail(name, f"exit {done.returncode}, expected {status}: {done.stderr!r}")
    lines = done.stdout.decode("utf-8").splitlines()  # strict: invalid UTF-8 fails here
    objects = []
    for line in lines:
        obj = json.loads(line)
        for error in validator.iter_errors(obj):
            fail(name, f"schema: {error.message} at {list(error.absolute_path)}")
        objects.append(obj)
    if outcomes is not None:
        got = [o.get("outcome") for o in objects]
        if sorted(got) != sorted(outcomes):
            fail(name, f"outcomes {got}, expected {outcomes}")
        if objects and max(o["exit_status"] for o in objects) != status:
            fail(name, "the highest exit_status is not the process's")
        for o in objects:
            if o["ended"] < o["started"]:
                fail(name, "ended before started")
            if o["outcome"] == "success" and o["detail"] is not None:
                fail(name, "a success with a detail")
            if o["outcome"] == "printer_failed" and not o["detail"]:
                fail(name, "a printer's failure without its detail")
    elif len(objects) != 1:
        fail(name, f"{len(objects)} objects, expected one")
    elif objects[0]["exit_status"] != status:
        fail(name, "exit_status is not the process's")
    if image is not None and objects:
        want = hashlib.sha256(open(image, "rb").read()).hexdigest()
        if objects[0]["image"]["sha256"] != want:
            fail(name, "sha256 is not the file's")
    return objects


small = os.path.join(samples, "small.DPX")
scratch = tempfile.mkdtemp()
odd = os.path.join(scratch.encode(), b'odd \x1b[31m "q" \\ \xff\xfe.DPX')
shutil.copyfile(small, odd)

checks = [
    ("check ok", [small], 0),
    ("check breaks a rule", [os.path.join(samples, "marker-mid-file.DPX")], 1),
    ("check empty", [os.path.join(samples, "empty.DPX")], 1),
    ("check unreadable", [os.path.join(samples, "no-such-file.DPX")], 3),
]
for name, files, status in checks:
    run(name, ["check", "--json", *files], status, image=files[0] if status != 3 else None)


def name_told(name, given, text, raw):
    """A name that is not UTF-8: its text with each bad byte as \\xNN, and its bytes in hex."""
    if text != given.decode("utf-8", "backslashreplace"):
        fail(name, f"text {text!r}")
    if raw != given.hex():
        fail(name, f"hex {raw!r}")


objects = run("check odd name", ["check", "--json", os.fsdecode(odd)], 0, image=odd)
if objects:
    name_told("check odd name", odd, objects[0]["image"]["path"],
              objects[0]["image"].get("path_hex"))
    if run("check plain name", ["check", "--json", small], 0)[0]["image"].get("path_hex", 1):
        fail("check plain name", "path_hex of a UTF-8 name is not null")

healthy, a = start_sim(small, "--repeat")
naks, b = start_sim(small, "--repeat", "--nak-at", "2")
try:
    run("send success", ["send", "--json", "-q", "-s", a, small], 0, ["success"], small)
    run("send nak", ["send", "--json", "-s", b, small], 1, ["printer_failed"], small)
    run("send no device", ["send", "--json", "-s", "/dev/korvane-none", small], 3, ["port_error"])
    run("send no file", ["send", "--json", "-s", a, "/nonexistent.DPX"], 3, ["file_error"])
    objects = run("send odd name", ["send", "--json", "-s", a, os.fsdecode(odd)], 0, ["success"],
                  odd)
    if objects:
        name_told("send odd name", odd, objects[0]["image"]["path"],
                  objects[0]["image"].get("path_hex"))
    odd_port = os.path.join(scratch.encode(), b"printer \xfe\x1b")
    os.symlink(a, odd_port)
    objects = run("send odd port", ["send", "--json", "-s", os.fsdecode(odd_port), small], 0,
                  ["success"])
    if objects:
        name_told("send odd port", odd_port, objects[0]["port"], objects[0].get("port_hex"))
    # The trace appends: two downloads, each an open line (the low-latency state: a pty has
    # none) and four record lines, each stamped.
    log = os.path.join(scratch, "flash.log")
    for _ in range(2):
        run("send logged", ["send", "--json", "-q", "--log", log, "-s", a, small], 0, ["success"])
    lines = open(log).read().splitlines()
    when = r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z " + re.escape(a)
    stamp = re.compile(when + r" record [1-4]/4 offset \d+ length \d+ .* reply 06 at .* turnaround ")
    opened = re.compile(when + r" open at 38400,n,8,1; no low-latency mode")
    if len(lines) != 10 or not all(opened.match(lines[i]) for i in (0, 5)) or not all(
            stamp.match(line) for i, line in enumerate(lines) if i not in (0, 5)):
        fail("send logged", f"trace lines: {lines}")
    done = subprocess.run([cli, "send", "--log", scratch, "-s", a, small], capture_output=True)
    if done.returncode != 3 or b"cannot open the log file" not in done.stderr:
        fail("send log in a folder", f"exit {done.returncode}: {done.stderr!r}")
    run("send several", ["send", "--json", "-s", a, "-s", b, "-p", "/dev/null", small], 3,
        ["success", "printer_failed", "port_error"], small)
finally:
    for process in (healthy, naks):
        process.terminate()
        process.wait()
    shutil.rmtree(scratch)

for failure in failures:
    print(failure)
print(f"json report: {len(failures)} failed")
sys.exit(1 if failures else 0)
