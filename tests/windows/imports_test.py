#!/usr/bin/env python3
"""The shipped programs import only entry points that Windows 7 SP1 has.

Reads each program's import table (objdump -p) and fails on any DLL!entry that imports.txt
beside this script does not list, on a listed entry whose minimum system is newer than
Windows 7, and on the DLLs Windows 7 lacks without updates (the universal C runtime, the
api-ms-win-* sets, shcore.dll). A new import fails here until its minimum system is checked
and written into the list.

Usage: imports_test.py OBJDUMP PROGRAM.exe...
"""
import os
import re
import sys

objdump, programs = sys.argv[1], sys.argv[2:]
here = os.path.dirname(os.path.abspath(__file__))
# The systems an entry may need, oldest first; anything else in the list is too new.
allowed = {"Windows 2000", "Windows XP", "Windows Vista", "Windows 7"}
forbidden_dlls = re.compile(r"^(ucrtbase|api-ms-win-.*|shcore)\.dll$", re.IGNORECASE)


def listed():
    entries = {}
    for number, line in enumerate(open(os.path.join(here, "imports.txt")), 1):
        line = line.split("#", 1)[0].strip()
        if line:
            entry, minimum = line.split(None, 1)
            entries[entry.lower()] = (minimum, number)
    return entries


def imports(program):
    text = os.popen(f"{objdump} -p '{program}'").read()
    found, dll = [], None
    for line in text.splitlines():
        if m := re.match(r"\s*DLL Name: (\S+)", line):
            dll = m.group(1)
        elif dll and (m := re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)):
            found.append(f"{dll}!{m.group(1)}")
        elif not line.strip() and found and dll:
            dll = None
    return found


failures = []
entries = listed()
for entry, (minimum, number) in entries.items():
    if minimum not in allowed:
        failures.append(f"imports.txt:{number}: {entry} needs {minimum}, newer than Windows 7")
for program in programs:
    found = imports(program)
    if not found:
        failures.append(f"{program}: no import table read")
    for entry in found:
        name = os.path.basename(program)
        if forbidden_dlls.match(entry.split("!")[0]):
            failures.append(f"{name}: imports {entry}: Windows 7 has no such DLL without updates")
        elif entry.lower() not in entries:
            failures.append(f"{name}: imports {entry}, which imports.txt does not list: check its "
                            "minimum system, then list it")
for failure in failures:
    print(failure)
print(f"imports: {len(failures)} failed, {len(entries)} entries listed")
sys.exit(1 if failures else 0)
