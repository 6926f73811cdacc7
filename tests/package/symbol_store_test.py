#!/usr/bin/env python3
"""The debug package's symbol store as a debugger's symbol server client uses it: for every image
of the installed package, the key read from its own PE header finds that very image, and the
CodeView record of each of ours finds its PDB. Through the store alone, an address in an export of
the shipped QuorlinC.dll resolves to its function and a line of the repository's source, named
under the documented prefix."""
import re
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

from pdb_identity import binary_record

build, source = Path(sys.argv[1]), Path(sys.argv[2])
PREFIX = "C:\\brevant-companions\\"


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def image_key(image):
    """TimeDateStamp as 8 hex digits, then SizeOfImage in hex, as symstore and SymSrv write it."""
    data = image.read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    stamp = struct.unpack_from("<I", data, pe + 8)[0]
    size = struct.unpack_from("<I", data, pe + 24 + 56)[0]
    return f"{stamp:08X}{size:x}"


failures = []
with tempfile.TemporaryDirectory() as work:
    package = Path(work) / "package"
    for component in ("runtime", "debug"):
        run("cmake", "--install", str(build), "--prefix", str(package), "--component", component)
    store = package / "symbols"
    images = sorted(p for p in (package / "bin").iterdir() if p.suffix in (".dll", ".exe"))
    for image in images:
        stored = store / image.name / image_key(image) / image.name
        if not stored.is_file() or stored.read_bytes() != image.read_bytes():
            failures.append(f"the store holds no {image.name} under its key {image_key(image)}")
        record = binary_record(image)
        if record and not (store / record[2] / f"{record[0][1:-1].replace('-', '')}{record[1]:X}"
                           / record[2]).is_file():
            failures.append(f"the store holds no {record[2]} under the key of {image.name}")

    # a debugger with only the shipped DLL and the store: the PDB the record names, beside it
    dll = package / "bin" / "QuorlinC.dll"
    guid, age, pdb_name = binary_record(dll)
    debugger = Path(work) / "debugger"
    debugger.mkdir()
    shutil.copy(dll, debugger)
    shutil.copy(store / pdb_name / f"{guid[1:-1].replace('-', '')}{age:X}" / pdb_name, debugger)
    base = int(re.search(r"ImageBase: (0x[0-9A-F]+)", run("llvm-readobj", "--file-headers", str(dll))).group(1), 16)
    rva = int(re.search(r"Name: quorlin_show\s+RVA: (0x[0-9A-F]+)",
                        run("llvm-readobj", "--coff-exports", str(dll))).group(1), 16)
    function, place = run("llvm-symbolizer", f"--obj={debugger / dll.name}", hex(base + rva)).split("\n")[:2]
    found = re.fullmatch(r"(.*):(\d+):\d+", place)
    if function != "quorlin_show" or not found or not found.group(1).startswith(PREFIX):
        failures.append(f"quorlin_show resolves to {function} at {place}")
    else:
        file = source / found.group(1)[len(PREFIX):].replace("\\", "/")
        line = int(found.group(2))
        lines = file.read_text().splitlines() if file.is_file() else []
        if not any("quorlin_show(" in text for text in lines[max(0, line - 4):line]):
            failures.append(f"{place} is not quorlin_show's definition in {file}")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
