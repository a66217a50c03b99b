#!/usr/bin/env python3
"""korvane-cli's outputs: every record the user asked for is written or the run says it is lost,
no log can hang a download, and every name the user gave is printed escaped.

Usage: output_test.py CLI SIM SAMPLES
"""
import os
import resource
import signal
import subprocess
import sys
import tempfile

cli, sim, samples = sys.argv[1:4]
small = os.path.join(samples, "small.DPX")
failures = []
RECORD_LOST = 4


def fail(name, why):
    failures.append(f"{name}: {why}")


def start_sim(*extra):
    process = subprocess.Popen([sim, "--image", small, "--repeat", *extra], stdout=subprocess.PIPE)
    return process, process.stdout.readline().decode().strip()


def shown(name):
    """A name as a terminal must show it: controls and bytes that are not UTF-8 as escapes."""
    out = ""
    text = name.decode("utf-8", "surrogateescape")
    for ch in text:
        code = ord(ch)
        if 0xDC80 <= code <= 0xDCFF:  # a byte that is not UTF-8
            out += "\\x%02x" % (code - 0xDC00)
        elif code < 0x20 or code == 0x7F:
            out += "\\x%02x" % code
        elif 0x80 <= code <= 0x9F:
            out += "\\u%04x" % code
        else:
            out += ch
    return out


def run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, fsize=None):
    def limits():
        if fsize is not None:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (fsize, fsize))
    return subprocess.run([cli, *args], stdout=stdout, stderr=stderr, timeout=60,
                          preexec_fn=limits)


scratch = tempfile.mkdtemp().encode()
healthy, device = start_sim()
odd = os.path.join(scratch, b'a\x1b[31m "q" \'s\nb\xff')
os.symlink(device.encode(), odd)
missing = os.path.join(scratch, b"gone \x1b]0;title\x07 \xc2\x9b2J")
odd_file = os.path.join(scratch, b"fw \x1b[2J\n\xfe.DPX")
with open(odd_file, "wb") as copy:
    copy.write(open(small, "rb").read())
fifo = os.path.join(scratch, b"log.fifo")
os.mkfifo(fifo)
full_log = os.path.join(scratch, b"full.log")
with open(full_log, "wb") as log:
    log.write(b"x" * 100)
P, M, F = shown(odd), shown(missing), shown(odd_file)
dev_full = "/dev/full"

try:
    # Every output the user asked for, sent somewhere it cannot be written: name | arguments |
    # standard output | file size limit | status | phrases in standard error | phrase it lacks.
    outputs = [
        # How far a download got: the image bytes the printer acknowledged (CR LF included) and
        # the bytes written to the port (each record without its CR LF); no port, no rate line.
        ("the summary's figures", ["send", "-s", device, small], subprocess.PIPE, None, 0,
         ["120 of 120 image bytes acknowledged, 112 bytes written in "], None),
        ("no port, no summary", ["send", "-s", missing, small], subprocess.PIPE, None, 3,
         ["does not exist"], " written in "),
        ("send --json, disk full", ["send", "-q", "--json", "-s", device, small], dev_full, None,
         RECORD_LOST, ["could not write the JSON record to standard output",
                       "the printer was flashed, but its record is missing"], None),
        ("send's result, disk full", ["send", "-q", "-s", device, small], dev_full, None,
         RECORD_LOST, ["could not write the result to standard output", "printer was flashed"],
         None),
        ("send's table, disk full", ["send", "-q", "-s", device, "-s", missing, small], dev_full,
         None, RECORD_LOST, ["could not write the table of results", "printer was flashed"], None),
        ("a failed send's record, disk full", ["send", "-q", "--json", "-s", missing, small],
         dev_full, None, RECORD_LOST, ["could not write the JSON record"], "was flashed"),
        ("check --json, disk full", ["check", "--json", small], dev_full, None, RECORD_LOST,
         ["could not write the JSON record to standard output"], "was flashed"),
        ("check, disk full", ["check", small], dev_full, None, RECORD_LOST,
         ["could not write the report"], None),
        ("ports, disk full", ["ports"], dev_full, None, RECORD_LOST,
         ["could not write the port list"], None),
        ("the log, file too large", ["send", "-q", "--log", full_log, "-s", device, small],
         subprocess.PIPE, 150, RECORD_LOST,
         ["could not write the trace to the log file", "printer was flashed"], None),
        ("the log is a device", ["send", "-q", "--log", dev_full, "-s", device, small],
         subprocess.PIPE, None, 3, ["cannot open the log file '/dev/full': it is a device"], None),
        # No reader: opening it for writing would wait for one forever.
        ("the log is a FIFO", ["send", "-q", "--log", fifo, "-s", device, small],
         subprocess.PIPE, None, 3, ["it is a named pipe"], None),
    ]
    for name, args, stdout, fsize, status, has, lacks in outputs:
        out = open(stdout, "wb") if stdout != subprocess.PIPE else subprocess.PIPE
        try:
            done = run(args, stdout=out, fsize=fsize)
        except subprocess.TimeoutExpired:
            fail(name, "hung")
            continue
        finally:
            if out != subprocess.PIPE:
                out.close()
        err = done.stderr.decode("utf-8", "replace")
        if done.returncode != status:
            fail(name, f"exit {done.returncode}, expected {status}: {err!r}")
        for phrase in has:
            if phrase not in err:
                fail(name, f"no {phrase!r} in {err!r}")
        if lacks and lacks in err:
            fail(name, f"{lacks!r} in {err!r}")
    # The trace on a standard error that cannot take it: nothing can be said, the status says it.
    with open(dev_full, "wb") as full:
        done = run(["send", "-q", "--trace", "-s", device, small], stderr=full)
    if done.returncode != RECORD_LOST:
        fail("the trace, disk full", f"exit {done.returncode}")

    # Every line that names what the user gave, against names with ESC, a newline, quotes, C1
    # controls and bytes that are not UTF-8: name | arguments | lines expected (stdout + stderr).
    names = [
        ("device line and trace", ["send", "--trace", "-s", odd, small],
         [f"{P} is a pseudo-terminal", f"{P} open at 38400", f"{P} record 1/"]),
        ("a device that does not exist", ["send", "-s", missing, small],
         [f"{M} does not exist", f"The serial port {M}"]),
        ("the table and the detail", ["send", "-s", odd, "-s", missing, small],
         [(P, "  success  ", "120 of 120"), (M, "  port_error  ", "0 of 120"), f"{M}: "]),
        ("one device named twice", ["send", "-s", odd, "-s", odd, small],
         [f"{P}: Nothing was sent to {P}", f"port 1 ({P}) and port 2 ({P}) are the same device"]),
        ("a firmware file that is not there", ["send", "-s", device, odd_file + b".no"],
         [f"{F}.no"]),
        ("check's file line", ["check", odd_file], [f"file: {F}"]),
        ("a log that cannot be opened", ["send", "--log", os.path.join(missing, b"x"), "-s",
                                          device, small], [f"the log file '{M}/x'"]),
        ("an unknown command", [odd], [f"unknown command '{P}'"]),
        ("ports' stray word", ["ports", odd], [f"unexpected '{P}'"]),
        ("send's usage error", ["send", "--baud", odd, "-s", device, small], [P]),
    ]
    for name, args, lines in names:
        done = run(args)
        output = done.stdout + done.stderr
        bad = [b for b in output if (b < 0x20 and b != 0x0A) or b == 0x7F]
        if bad:
            fail(name, f"raw control bytes {bytes(bad)!r} in {output!r}")
        try:
            text = output.decode("utf-8")
        except UnicodeDecodeError:
            fail(name, f"not UTF-8: {output!r}")
            continue
        if "\xc2\x9b" in text or "\x9b" in text:
            fail(name, "a raw C1 control")
        if " is does not exist" in text:
            fail(name, "'is does not exist'")
        for parts in lines:
            parts = (parts,) if isinstance(parts, str) else parts
            if not any(all(part in got for part in parts) for got in text.splitlines()):
                fail(name, f"no line with {parts!r} in {text!r}")
finally:
    healthy.terminate()
    healthy.wait()
    subprocess.run(["rm", "-rf", scratch])

for failure in failures:
    print(failure)
print(f"outputs: {len(failures)} failed")
sys.exit(1 if failures else 0)
