#!/usr/bin/env python3
"""The shipped binaries that this build links, as a binary scanner and the Windows loader read
them: a load configuration whose Control Flow Guard table is marked present and instrumented, the
image flagged for CFG (with ASLR, high-entropy ASLR and DEP), the loader's check and dispatch
pointers inside the image, and every export among the valid call targets (a host that calls
through a pointer from GetProcAddress under CFG is stopped otherwise)."""
import re
import subprocess
import sys
from pathlib import Path

build = Path(sys.argv[1])
IMAGE_GUARD_CF_INSTRUMENTED = 0x100
IMAGE_GUARD_CF_FUNCTION_TABLE_PRESENT = 0x400
FLAGS = {"GUARD_CF", "DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT"}


def readobj(*args):
    return subprocess.run(["llvm-readobj", *args], check=True, capture_output=True, text=True).stdout


failures = []
for name in ("tool.exe", "Quorlin.dll", "QuorlinC.dll"):
    binary = build / "dist" / "bin" / name
    headers = readobj("--file-headers", str(binary))
    base = int(re.search(r"ImageBase: (0x[0-9A-F]+)", headers).group(1), 16)
    size = int(re.search(r"SizeOfImage: (\d+)", headers).group(1))
    flags = set(re.findall(r"IMAGE_DLL_CHARACTERISTICS_(\w+) ", headers))
    if not FLAGS <= flags:
        failures.append(f"{name} lacks {sorted(FLAGS - flags)}")
    config = readobj("--coff-load-config", str(binary))
    if "LoadConfig [" not in config:
        failures.append(f"{name} has no load configuration")
        continue
    guard = int(re.search(r"GuardFlags: (0x[0-9A-F]+)", config).group(1), 16)
    wanted = IMAGE_GUARD_CF_INSTRUMENTED | IMAGE_GUARD_CF_FUNCTION_TABLE_PRESENT
    if guard & wanted != wanted:
        failures.append(f"{name}: guard flags {guard:#x}")
    for field in ("GuardCFCheckFunction", "GuardCFCheckDispatch"):
        address = int(re.search(field + r": (0x[0-9A-F]+)", config).group(1), 16)
        if not base <= address < base + size:
            failures.append(f"{name}: {field} {address:#x} lies outside the image")
    table = re.search(r"GuardFidTable \[(.*?)\]", config, re.S)
    targets = {int(a, 16) - base for a in re.findall(r"0x[0-9A-F]+", table.group(1))} if table else set()
    exports = readobj("--coff-exports", str(binary))
    for export, rva in re.findall(r"Name: (\w+)\s+RVA: (0x[0-9A-F]+)", exports):
        if int(rva, 16) not in targets:
            failures.append(f"{name}: the export {export} is no valid call target")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
