#!/usr/bin/env python3
"""Each shipped binary names its PDB, and the PDB of the debug component is the one it names: the
same GUID and age in the binary's CodeView record and in the PDB, the PDB named without a folder
(no build machine's path), its procedures readable. No build machine's path is left in a binary,
nor in the source paths of a PDB."""
import re
import subprocess
import sys
import tempfile
from pathlib import Path

from pdb_identity import binary_record, pdb_identity

build, source = Path(sys.argv[1]), Path(sys.argv[2])
# <binary> <a procedure its PDB must list>
SHIPPED = [("tool.exe", "ToolMain"), ("Quorlin.dll", "quorlin_show"), ("QuorlinC.dll", "quorlin_show")]


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


failures = []
with tempfile.TemporaryDirectory() as work:
    for component in ("runtime", "debug"):
        run("cmake", "--install", str(build), "--prefix", work, "--component", component)
    bin_dir = Path(work) / "bin"
    for name, procedure in SHIPPED:
        binary, pdb = bin_dir / name, bin_dir / (Path(name).stem + ".pdb")
        found = binary_record(binary)
        if found is None:
            failures.append(f"{name}: not exactly one CodeView record")
            continue
        guid, age, pdb_name = found
        if pdb_name != pdb.name:
            failures.append(f"{name} names its PDB {pdb_name!r}, expected {pdb.name!r}")
        if not pdb.is_file():
            failures.append(f"{name}: no {pdb.name} beside it")
            continue
        if pdb_identity(pdb) != (guid, age):
            failures.append(f"{name} is {guid} age {age}, {pdb.name} is {pdb_identity(pdb)}")
        symbols = run("llvm-pdbutil", "dump", "-symbols", str(pdb))
        if not re.search(r"S_GPROC32 .*`%s`" % procedure, symbols):
            failures.append(f"{pdb.name} lists no procedure {procedure}")
        if str(source).encode() in binary.read_bytes():
            failures.append(f"{name} holds the build machine's path {source}")
        if str(source) in run("llvm-pdbutil", "dump", "-files", str(pdb)):
            failures.append(f"{pdb.name} names sources by the build machine's path {source}")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
