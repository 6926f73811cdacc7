"""A binary's CodeView record and a PDB's own identity, in one form: (GUID, age)."""
import re
import subprocess


def _run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def binary_record(binary):
    """(GUID, age, PDB name) of the binary's one CodeView record, or None."""
    out = _run("llvm-readobj", "--coff-debug-directory", str(binary))
    names = re.findall(r"PDBFileName: (.*)", out)
    if len(names) != 1:
        return None
    raw = bytes.fromhex(re.search(r"PDBGUID: \(([0-9A-F ]+)\)", out).group(1).replace(" ", ""))
    # the first three fields are little-endian in the binary, as the PDB prints them
    guid = "{%s-%s-%s-%s-%s}" % (raw[3::-1].hex(), raw[5:3:-1].hex(), raw[7:5:-1].hex(),
                                 raw[8:10].hex(), raw[10:].hex())
    return guid.upper(), int(re.search(r"PDBAge: (\d+)", out).group(1)), names[0]


def pdb_identity(pdb):
    out = _run("llvm-pdbutil", "dump", "-summary", str(pdb))
    return re.search(r"GUID: (\{[0-9A-F-]+\})", out).group(1), int(re.search(r"Age: (\d+)", out).group(1))
