#!/usr/bin/env python3
"""The shipped programs import only entry points that Windows 7 SP1 has.

Fails on any DLL!entry of a program's import table (objdump -p) that imports.txt beside this
script does not list, on a listed entry whose minimum system is newer than Windows 7, and on the
DLLs Windows 7 lacks without updates (the universal C runtime, api-ms-win-*, shcore.dll). A new
import fails here until its minimum system is checked and written into the list.

Usage: imports_test.py OBJDUMP PROGRAM.exe...
"""
import os
import re
import subprocess
import sys

objdump, programs = sys.argv[1], sys.argv[2:]
allowed = {"Windows 2000", "Windows XP", "Windows Vista", "Windows 7"}
missing_on_7 = re.compile(r"(ucrtbase|api-ms-win-.*|shcore)\.dll!", re.IGNORECASE)
failures, listed = [], {}
for number, line in enumerate(open(os.path.join(os.path.dirname(__file__), "imports.txt")), 1):
    if line := line.split("#", 1)[0].strip():
        entry, minimum = line.split(None, 1)
        listed[entry.lower()] = minimum
        if minimum not in allowed:
            failures.append(f"imports.txt:{number}: {entry} needs {minimum}, newer than Windows 7")
for program in programs:
    table = subprocess.run([objdump, "-p", program], capture_output=True, text=True).stdout
    # Each DLL's block: its name, then one line per entry (address, hint, name), then a blank.
    found = [f"{dll}!{name}" for dll, block in re.findall(r"DLL Name: (\S+)\n(.*?)\n\n", table, re.S)
             for name in re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)$", block, re.M)]
    failures += [f"{program}: no import table read"] if not found else []
    for entry in found:
        if missing_on_7.match(entry):
            failures.append(f"{program}: imports {entry}, which Windows 7 lacks without updates")
        elif entry.lower() not in listed:
            failures.append(f"{program}: imports {entry}, which imports.txt does not list: check "
                            "its minimum system, then list it")
print("\n".join(failures + [f"imports: {len(failures)} failed, {len(listed)} entries listed"]))
sys.exit(1 if failures else 0)
