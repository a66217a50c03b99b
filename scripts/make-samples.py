#!/usr/bin/env python3
"""Writes the sample firmware images in samples/ and samples/README.md.

The records are our own made-up text format, nothing a printer understands:
    D<address, 6 hex>:<data, hex pairs><checksum, 2 hex>      a data record
    E<address, 6 hex>:<filler>\\x17<checksum, 2 hex>           the last record
so a well-formed image ends "\\x17" + two bytes + CR LF. The data bytes come from a
fixed linear congruential sequence, so every run writes the same files.

Usage: scripts/make-samples.py [OUTPUT_DIR]   (default: samples/ next to this script)
"""

import pathlib
import sys

CR = b"\r"
LF = b"\n"
CRLF = CR + LF
MARKER = b"\x17"


class Bytes:
    """Deterministic pseudo-random bytes (a 32-bit LCG), seeded per sample."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state >> 24


def checksum(data):
    return b"%02X" % (sum(data) & 0xFF)


def data_record(address, size, rng):
    """A data record of exactly size bytes (without its CR LF)."""
    head = b"D%06X:" % address
    pairs = (size - len(head) - 2) // 2
    body = head + b"".join(b"%02X" % rng.next() for _ in range(pairs))
    body += b"0" * (size - len(body) - 2)  # odd sizes get one filler digit
    return body + checksum(body)


def last_record(address, size=16):
    """The closing record: the marker stands three bytes before the CR."""
    head = b"E%06X:" % address
    body = head + b"0" * (size - len(head) - 3)
    return body + MARKER + checksum(body)


def image(records, end=CRLF):
    """Joins records with CR LF; end closes the final one."""
    return CRLF.join(records) + end


def well_formed(count, size=32, seed=1):
    rng = Bytes(seed)
    recs = [data_record(i * 0x20, size, rng) for i in range(count)]
    return recs + [last_record(count * 0x20)]


def samples():
    """(file name, bytes, what it exercises), in README order."""
    out = []

    def add(name, data, what, check=1):
        out.append((name, data, what, check))

    # 496 records of 64 bytes (+ CR LF each) with the closing record: about 32 KiB.
    rng = Bytes(2026)
    demo = [data_record(i * 0x40, 64, rng) for i in range(495)] + [last_record(495 * 0x40, 64)]
    add("demo.DPX", image(demo),
        "Well-formed, about 32 KiB: 496 records of 64 bytes, the last ending 0x17 + two "
        "bytes + CR LF. Used by the demo download.", check=0)
    add("small.DPX", image(well_formed(3)),
        "Well-formed, 4 records (3 data records and the closing one).", check=0)
    add("empty.DPX", b"", "Empty file: nothing to send.")

    base = well_formed(2)
    add("no-marker.DPX", image(base[:-1]),
        "Complete records but no 0x17 at all: both walks run out of records at the end "
        "of the file (no marker).")
    add("unterminated-tail.DPX", image(base[:-1]) + base[0][:10],
        "Complete records, then a partial record without CR and without 0x17 "
        "(no marker, reported at the start of the partial record).")
    add("last-record-without-cr.DPX", image(base, end=b""),
        "The record holding the marker is not closed by a CR: last record without CR.")
    add("cr-final-byte-not-last.DPX", image(base[:-1], end=CR),
        "A record that is not the last has its CR as the final byte: the byte after it "
        "is missing and the walk would go on (CR without following byte).")
    add("cr-final-byte-last.DPX", image(base, end=CR),
        "The marked last record's CR is the final byte. Allowed: sent whole by both, "
        "position ends at n + 1.", check=0)
    add("cr-at-index-1.DPX", b"A" + CRLF + image(base),
        "CR at index 1: the parallel marker test would read before the first byte; "
        "the serial walk sends a 1-byte record and goes on.")
    add("cr-at-index-2.DPX", b"AB" + CRLF + image(base),
        "CR at index 2: as above with a 2-byte first record.")

    rng = Bytes(7)
    early = data_record(0x00, 32, rng)
    early = early[:5] + MARKER + early[6:]
    add("marker-mid-file.DPX", image([early] + base[1:]),
        "0x17 in the first record, not three bytes before its CR: the serial walk stops "
        "after that record, the parallel walk sends on to the real last record.")
    misplaced = base[:-1] + [b"E000040:" + MARKER + b"0000"]
    add("marker-misplaced.DPX", image(misplaced),
        "The only 0x17 is in the final record but not three bytes before its CR: "
        "serial sends it whole, parallel finds no marker.")
    add("marker-after-cr.DPX",
        image([b"D000000:A1B2"], end=CR + MARKER) + image([b"QR"] + base[1:]),
        "0x17 as the byte after a CR (skipped by both): the parallel walk takes the "
        "following 2-byte record as the last (0x17 stands three places before its CR); "
        "the serial walk sends on to the real last record.")
    add("starts-with-crlf.DPX", CRLF + image(base),
        "Image beginning with CR LF: the serial walk sends an empty record; the "
        "parallel walk sends the CR and LF as data of its first record.")
    add("empty-record-middle.DPX", image(base[:1] + [b""] + base[1:]),
        "An empty record between two data records: serial sends it empty, parallel "
        "sends its CR and LF as data.")
    lone = base[0][:12] + LF + base[0][13:]
    add("lone-lf.DPX", image([lone] + base[1:]),
        "A lone LF inside a record: both walks send it like any other byte.", check=0)
    add("trailing-bytes.DPX", image(base) + b"trailing text after the end\r\n" +
        image([last_record(0x100)]),
        "Well-formed, then trailing text and a second marker record: never sent, not "
        "an error.", check=0)
    high = bytes(b for b in range(0x80, 0x100))
    recs = [b"D000000:" + high[:64], b"D000040:" + high[64:], b"D000080:\x00\x1a\x0a\x7f"]
    add("high-bytes.DPX", image(recs + [last_record(0xC0)]),
        "Records holding every byte 0x80-0xFF and 0x00, 0x1A, 0x7F, a lone LF: sent "
        "unchanged by both.", check=0)
    return out


def readme(entries):
    lines = [
        "# Sample firmware images",
        "",
        "Written by `scripts/make-samples.py` (deterministic; run it again after changing it",
        "and commit the result). The content is a made-up text format of our own: data",
        "records `D<address>:<hex data><checksum>` and a closing record",
        "`E<address>:<filler>` + 0x17 + two checksum digits. Every record ends CR LF unless",
        "the file says otherwise.",
        "",
        "`korvane-cli check FILE` shows what each transfer does with a file; it exits 0 when",
        "both transfers send the file whole and alike, 1 when the file breaks a rule.",
        "",
        "| file | bytes | `check` exits | what it exercises |",
        "|---|---|---|---|",
    ]
    for name, data, what, check in entries:
        lines.append(f"| `{name}` | {len(data)} | {check} | {what} |")
    return "\n".join(lines) + "\n"


def main():
    here = pathlib.Path(__file__).resolve().parent
    target = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else here.parent / "samples"
    target.mkdir(parents=True, exist_ok=True)
    entries = samples()
    for name, data, _, _ in entries:
        (target / name).write_bytes(data)
    (target / "README.md").write_text(readme(entries))


if __name__ == "__main__":
    main()
