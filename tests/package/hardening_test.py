#!/usr/bin/env python3
"""The shipped binaries that this build links, as a binary scanner and the Windows loader read
them: flagged for Control Flow Guard, with a load configuration whose guard table is marked
instrumented and present, and every export among its valid call targets (a host that calls
through a pointer from GetProcAddress under CFG is stopped otherwise)."""
import re
import subprocess
import sys
from pathlib import Path

GUARD_CF_INSTRUMENTED_AND_TABLE_PRESENT = 0x100 | 0x400


def readobj(option, binary):
    return subprocess.run(["llvm-readobj", option, str(binary)], check=True, capture_output=True, text=True).stdout


failures = []
for name in ("tool.exe", "Quorlin.dll", "QuorlinC.dll"):
    binary = Path(sys.argv[1]) / "dist" / "bin" / name
    headers, config = readobj("--file-headers", binary), readobj("--coff-load-config", binary)
    guard = re.search(r"GuardFlags: (0x[0-9A-F]+)", config)
    if "IMAGE_DLL_CHARACTERISTICS_GUARD_CF" not in headers or not guard or \
            int(guard.group(1), 16) & GUARD_CF_INSTRUMENTED_AND_TABLE_PRESENT != GUARD_CF_INSTRUMENTED_AND_TABLE_PRESENT:
        failures.append(f"{name} has no Control Flow Guard table to apply")
        continue
    base = int(re.search(r"ImageBase: (0x[0-9A-F]+)", headers).group(1), 16)
    table = re.search(r"GuardFidTable \[(.*?)\]", config, re.S)
    targets = {int(a, 16) - base for a in re.findall(r"0x[0-9A-F]+", table.group(1))} if table else set()
    for export, rva in re.findall(r"Name: (\w+)\s+RVA: (0x[0-9A-F]+)", readobj("--coff-exports", binary)):
        if int(rva, 16) not in targets:
            failures.append(f"{name}: the export {export} is no valid call target")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
