#!/usr/bin/env python3
"""The shipped image by section: what each section of setup32.exe holds, in
bytes of the file and of memory, and the stub (the file less its package)
against its budget.

    image_sizes.py IMAGE [--map MAP]            the table (Markdown) and the stub's line
    image_sizes.py IMAGE --line                 the stub's line alone
    image_sizes.py IMAGE --check [--doc DOC]    the table, then fails when the stub is over budget
                                                (and says when DOC's table is not this image's)
    image_sizes.py IMAGE [--map MAP] --update-doc DOC
                                                writes the table into DOC between its markers

MAP is the linker's map of the image (written beside it by the build); with
it the code and data sections are told apart by what the link put there.
"""
import argparse
import os
import re
import struct
import sys

# The stub's budget: setup32.exe less its package, in bytes. The one place it
# is set; the build prints the stub against it and the image test fails above it.
# 41 KiB for now: writing every file through before the journal vouches for
# it, and acting on every journal or none, cost 3,072 bytes of the 3,584 that
# the size work saved. The aim is 40 KiB with the uninstaller, then 32 KiB
# (docs/performance.md).
STUB_BUDGET = 41 * 1024

DOC_BEGIN = "<!-- image_sizes.py: begin -->"
DOC_END = "<!-- image_sizes.py: end -->"

RESOURCE_TYPES = {1: "cursor", 2: "bitmap", 3: "icon", 4: "menu", 5: "dialog", 6: "string table",
                  9: "accelerators", 10: "RCDATA", 12: "cursor group", 14: "icon group",
                  16: "version", 24: "manifest"}
PACKAGE_NAME = "VEXAALL"

SCN_CODE, SCN_UNINIT = 0x20, 0x80
SCN_EXEC, SCN_READ, SCN_WRITE = 0x20000000, 0x40000000, 0x80000000


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise SystemExit("not an MZ image")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise SystemExit("no PE header")
        fh = self.pe + 4
        count, optional_size = struct.unpack_from("<H", data, fh + 2)[0], struct.unpack_from("<H", data, fh + 16)[0]
        opt = fh + 20
        self.pe32plus = struct.unpack_from("<H", data, opt)[0] == 0x20B
        self.file_alignment = struct.unpack_from("<I", data, opt + 36)[0]
        self.headers_size = struct.unpack_from("<I", data, opt + 60)[0]
        dirs = opt + (112 if self.pe32plus else 96)
        ndirs = struct.unpack_from("<I", data, dirs - 4)[0]
        self.dirs = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(min(ndirs, 16))]
        self.sections = []
        table = opt + optional_size
        for i in range(count):
            at = table + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode("ascii", "replace")
            vsize, va, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            flags = struct.unpack_from("<I", data, at + 36)[0]
            self.sections.append(dict(name=name, vsize=vsize, va=va, raw=raw_size, at=raw_at, flags=flags))
        self.section_table_end = table + 40 * count

    def section_of(self, rva):
        for s in self.sections:
            if s["va"] <= rva < s["va"] + max(s["vsize"], s["raw"]):
                return s
        return None

    def offset(self, rva):
        s = self.section_of(rva)
        return None if s is None else s["at"] + rva - s["va"]

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.offset(rva))[0]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def cstring(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii", "replace")

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    # Resources: per type, the bytes of data, and the bytes of the directory.
    def resources(self):
        rva, size = self.directory(2)
        found = []
        if not rva:
            return found, 0
        def entries(at):
            named, ids = self.u16(rva + at + 12), self.u16(rva + at + 14)
            for i in range(named + ids):
                e = rva + at + 16 + 8 * i
                name, target = self.u32(e), self.u32(e + 4)
                if name & 0x80000000:
                    p = rva + (name & 0x7FFFFFFF)
                    n = self.u16(p)
                    label = self.data[self.offset(p + 2):self.offset(p + 2) + 2 * n].decode("utf-16-le")
                else:
                    label = name
                yield label, target
        for type_label, type_target in entries(0):
            for name_label, name_target in entries(type_target & 0x7FFFFFFF):
                for _, lang_target in entries(name_target & 0x7FFFFFFF):
                    data_rva, data_size = struct.unpack_from("<II", self.data, self.offset(rva + lang_target))
                    found.append((type_label, name_label, data_rva, data_size))
        return found, size

    def imports(self):
        rva, _ = self.directory(1)
        libraries = []
        while rva:
            lookup, _, _, name, first = (self.u32(rva + 4 * k) for k in range(5))
            if name == 0:
                break
            functions = []
            thunk = lookup or first
            step = 8 if self.pe32plus else 4
            while True:
                value = struct.unpack_from("<Q" if self.pe32plus else "<I", self.data, self.offset(thunk))[0]
                if value == 0:
                    break
                ordinal_flag = 1 << (63 if self.pe32plus else 31)
                functions.append(None if value & ordinal_flag else self.cstring((value & 0x7FFFFFFF) + 2))
                thunk += step
            libraries.append((self.cstring(name), functions))
            rva += 20
        return libraries

    def relocations(self):
        rva, size = self.directory(5)
        blocks = entries = 0
        end = rva + size
        while rva and rva < end:
            block_size = self.u32(rva + 4)
            if block_size < 8:
                break
            blocks += 1
            entries += sum(1 for k in range((block_size - 8) // 2) if self.u16(rva + 8 + 2 * k) >> 12)
            rva += block_size
        return blocks, entries


def package_size(image):
    found, _ = image.resources()
    return sum(size for type_label, name, _, size in found if type_label == 10 and name == PACKAGE_NAME)


def kib(n):
    return f"{n / 1024:.1f} KiB"


def flags_text(flags):
    text = ("R" if flags & SCN_READ else "-") + ("W" if flags & SCN_WRITE else "-") + ("X" if flags & SCN_EXEC else "-")
    return text


def map_pieces(map_text, section):
    """Input sections the linker placed in an output section, from its map:
    (input section, bytes, from what)."""
    pieces = []
    inside = False
    pending = None
    memory_map = map_text.split("Linker script and memory map", 1)[-1]
    for line in memory_map.splitlines():
        if re.match(r"^\.\S+", line):
            inside = line.split()[0] == section
            pending = None
            continue
        if not inside:
            continue
        m = re.match(r"^ (\.\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m:
            pieces.append((m.group(1), int(m.group(3), 16), m.group(4)))
            pending = None
            continue
        m = re.match(r"^ (\.\S+)$", line)
        if m:
            pending = m.group(1)
            continue
        m = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m and pending:
            pieces.append((pending, int(m.group(2), 16), m.group(3)))
            pending = None
    return pieces


def origin(path):
    base = path.split("/")[-1]
    if "ltrans" in base:
        return "lto"
    m = re.search(r"lib(kernel32|user32|gdi32|comdlg32|advapi32)\.a", path)
    if m:
        return m.group(1).upper()
    m = re.search(r"\((\w+)\.cpp\.obj\)", path)
    return m.group(1) if m else base


def describe(image, section, map_text):
    name = section["name"]
    parts = []
    if map_text is not None and name in (".text", ".data", ".idata", ".rdata", ".bss"):
        pieces = [p for p in map_pieces(map_text, name) if p[1] > 0]
        lto = {}
        other = {}
        thunks = 0
        for input_name, size, source in pieces:
            where = origin(source)
            if where == "lto":
                kind = "code" if input_name.startswith(".text") else "constants" if input_name.startswith(".rdata") \
                    else "zero-filled statics" if input_name.startswith(".bss") else "data"
                lto[kind] = lto.get(kind, 0) + size
            elif where in ("KERNEL32", "USER32", "GDI32", "COMDLG32", "ADVAPI32") and input_name == ".text":
                thunks += size
            elif input_name.startswith(".idata"):
                continue
            else:
                label = input_name.split("$", 1)[1] if "$" in input_name else f"{where} {input_name}"
                mangled = re.match(r"_Z(\d+)", label)
                if mangled:
                    label = label[mangled.end():mangled.end() + int(mangled.group(1))]
                other[label] = other.get(label, 0) + size
        for kind in ("code", "constants", "data", "zero-filled statics"):
            if kind in lto:
                parts.append(f"the installer's {kind} (optimised as a whole) {lto[kind]:,}")
        if other:
            parts.append("runtime routines and data built apart: " +
                         ", ".join(f"{label} {size}" for label, size in sorted(other.items(), key=lambda x: -x[1])))
        if thunks:
            parts.append(f"{thunks // 8} jumps to imports (functions declared without dllimport) {thunks}")
    rva_dirs = [(1, "imports"), (5, "relocations"), (2, "resources"), (0, "exports")]
    for index, what in rva_dirs:
        rva, size = image.directory(index)
        if not rva or image.section_of(rva) is not section:
            continue
        if index == 1:
            libs = image.imports()
            count = sum(len(f) for _, f in libs)
            parts.append(f"imports: {count} functions from " +
                         ", ".join(f"{lib.split('.')[0].upper()} {len(f)}" for lib, f in libs) +
                         " (descriptors, two pointer tables, the names)")
        elif index == 5:
            blocks, entries = image.relocations()
            parts.append(f"base relocations: {entries} addresses in {blocks} pages, {size:,} bytes")
        elif index == 2:
            found, _ = image.resources()
            by_type = {}
            for type_label, _, _, size in found:
                label = RESOURCE_TYPES.get(type_label, str(type_label))
                if type_label == 10:
                    label = "package (VEXAALL)"
                n, total = by_type.get(label, (0, 0))
                by_type[label] = (n + 1, total + size)
            data = sum(total for _, total in by_type.values())
            parts.append(", ".join(f"{label} {total:,}" + (f" ({n})" if n > 1 else "")
                                   for label, (n, total) in sorted(by_type.items(), key=lambda x: -x[1][1])) +
                         f"; directory and alignment {section['vsize'] - data:,}")
        elif index == 0:
            parts.append(f"export directory {size}")
    if section["flags"] & SCN_UNINIT and section["raw"] == 0:
        parts.append("nothing of it in the file")
    return "; ".join(parts) if parts else "-"


def table(image, map_text):
    rows = ["| Section | File bytes | Memory bytes | Access | What fills it |", "|---|---:|---:|---|---|"]
    used = image.section_table_end
    rows.append(f"| headers | {image.headers_size:,} | | | DOS stub, PE headers, {len(image.sections)} section "
                f"entries: {used:,} bytes, padded to the file alignment ({image.file_alignment}) |")
    package = package_size(image)
    for s in image.sections:
        note = describe(image, s, map_text)
        # The linker may state a size short of the alignment; the section
        # takes its whole steps of the file all the same.
        steps = -(-s["raw"] // image.file_alignment) * image.file_alignment
        size = f"{steps:,}"
        if s["name"] == ".rsrc" and package:
            size += f" ({s['raw'] - package:,} without the package)"
        rows.append(f"| {s['name']} | {size} | {s['vsize']:,} | {flags_text(s['flags'])} | {note} |")
    return "\n".join(rows)


def stub_line(image, name, size, budget):
    package = package_size(image)
    stub = size - package
    line = f"{name}: {size:,} bytes, package {package:,} bytes, stub {stub:,} bytes ({kib(stub)})"
    if image.pe32plus:
        return stub, line + ", the x86-64 test build's (the budget is the shipped i686 image's)"
    verdict = "within" if stub <= budget else "OVER"
    return stub, line + f", {verdict} its budget of {budget:,} bytes ({kib(budget)})"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("image")
    parser.add_argument("--map")
    parser.add_argument("--line", action="store_true")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--update-doc")
    parser.add_argument("--doc", help="a document whose table to compare with this image's")
    parser.add_argument("--budget", type=int, help=argparse.SUPPRESS)   # to try the check with another figure
    args = parser.parse_args()
    with open(args.image, "rb") as f:
        data = f.read()
    image = Image(data)
    budget = STUB_BUDGET if args.budget is None else args.budget
    stub, line = stub_line(image, os.path.basename(args.image), len(data), budget)
    if args.line:
        print(line)
        return 0
    map_text = None
    if args.map:
        with open(args.map, encoding="utf-8", errors="replace") as f:
            map_text = f.read()
    text = table(image, map_text) + "\n\n" + line
    if args.update_doc:
        with open(args.update_doc, encoding="utf-8") as f:
            doc = f.read()
        if DOC_BEGIN not in doc or DOC_END not in doc:
            raise SystemExit(f"{args.update_doc}: no {DOC_BEGIN} ... {DOC_END} markers")
        head, rest = doc.split(DOC_BEGIN, 1)
        _, tail = rest.split(DOC_END, 1)
        with open(args.update_doc, "w", encoding="utf-8") as f:
            f.write(head + DOC_BEGIN + "\n" + text + "\n" + DOC_END + tail)
        print(f"{args.update_doc}: table written")
        return 0
    print(text)
    if args.doc:
        with open(args.doc, encoding="utf-8") as f:
            doc = f.read()
        if DOC_BEGIN + "\n" + text + "\n" + DOC_END not in doc:
            print(f"\nnote: the table in {args.doc} is not this image's; write it with\n"
                  f"  python3 {sys.argv[0]} {args.image}" + (f" --map {args.map}" if args.map else "") +
                  f" --update-doc {args.doc}")
    if args.check and stub > budget:
        print(f"the stub is {stub - budget:,} bytes over its budget", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
