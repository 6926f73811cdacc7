#!/usr/bin/env python3
"""The NuGet package as MSBuild would take it, without nuget or MSBuild (neither is installable
here): the .nuspec names the project's version and a licence file that is in the package; every
file extension has its content type; build/native/<id>.targets is the file NuGet imports for the
package id, and each path it names, resolved against the unpacked package for an x64 project,
exists: the include folder holding quorlin_c.h, the import library of the C interface, and
QuorlinC.dll with the PDB that matches it as copy-local files (ReferenceCopyLocalPaths, which
MSBuild's common targets copy and clean; no copying of its own), which buildTransitive/ hands on
to the projects referencing such a project. A .NET project gets the same QuorlinC.dll from
runtimes/win-x64/native."""
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile
from pathlib import Path

from pdb_identity import binary_record, pdb_identity

build, source, version = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3]
ID = "Brevant.Quorlin"
MSBUILD = "{http://schemas.microsoft.com/developer/msbuild/2003}"


def tool(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def resolve(text, targets_dir, properties):
    """An MSBuild value with $(...) properties expanded; %(...) item metadata is dropped."""
    text = re.sub(r"\$\((\w+)\)", lambda m: properties[m.group(1)], text)
    return [part for part in text.split(";") if part and not part.startswith("%(")]


def local(path):
    return Path(path.replace("\\", "/"))


failures = []
with tempfile.TemporaryDirectory() as work:
    out = Path(work) / "out"
    subprocess.run(["bash", str(source / "packaging/make_packages.sh"), str(build), str(out)],
                   check=True, capture_output=True)
    nupkg = out / f"{ID}.{version}.nupkg"
    unpacked = Path(work) / "unpacked"
    with zipfile.ZipFile(nupkg) as archive:
        names = archive.namelist()
        archive.extractall(unpacked)

    ns = {"n": "http://schemas.microsoft.com/packaging/2013/05/nuspec.xsd"}
    metadata = ET.parse(unpacked / f"{ID}.nuspec").getroot().find("n:metadata", ns)
    if (metadata.findtext("n:id", namespaces=ns), metadata.findtext("n:version", namespaces=ns)) != (ID, version):
        failures.append("the .nuspec does not name the package's id and version")
    licence = metadata.find("n:license", ns)
    if licence is None or licence.get("type") != "file" or licence.text not in names:
        failures.append("the .nuspec names no licence file in the package")
    types = ET.parse(unpacked / "[Content_Types].xml").getroot()
    declared = {d.get("Extension") for d in types}
    for name in names:
        ext = name.rsplit(".", 1)[-1]
        if name != "[Content_Types].xml" and ext not in declared:
            failures.append(f"{name}: no content type for .{ext}")

    transitive = unpacked / "buildTransitive" / "native" / f"{ID}.targets"
    imported = [local(e.get("Project").replace("$(MSBuildThisFileDirectory)", str(transitive.parent) + "\\"))
                for e in ET.parse(transitive).getroot().iter(f"{MSBUILD}Import")] if transitive.is_file() else []
    targets = unpacked / "build" / "native" / f"{ID}.targets"
    if [p.resolve() for p in imported] != [targets.resolve()]:
        failures.append(f"buildTransitive/native/{ID}.targets does not import the package's targets: {imported}")
    if not targets.is_file():
        failures.append(f"build/native/{ID}.targets is missing")
    else:
        project = ET.parse(targets).getroot()
        properties = {"MSBuildThisFileDirectory": str(targets.parent) + "\\", "Platform": "x64"}
        for prop in project.iter(f"{MSBUILD}PropertyGroup"):
            for entry in prop:
                properties[entry.tag.replace(MSBUILD, "")] = resolve(entry.text, targets.parent, properties)[0]
        includes = [local(p) for e in project.iter(f"{MSBUILD}AdditionalIncludeDirectories")
                    for p in resolve(e.text, targets.parent, properties)]
        libs = [local(p) for e in project.iter(f"{MSBUILD}AdditionalDependencies")
                for p in resolve(e.text, targets.parent, properties)]
        copied = [local(p) for e in project.iter(f"{MSBUILD}ReferenceCopyLocalPaths")
                  for p in resolve(e.get("Include"), targets.parent, properties)]
        if any(True for _ in project.iter(f"{MSBUILD}Copy")):
            failures.append("the targets copy files themselves")
        if [p.is_dir() and (p / "quorlin_c.h").is_file() for p in includes] != [True]:
            failures.append(f"the include folder does not resolve to quorlin_c.h: {includes}")
        if [p.is_file() and "__imp_quorlin_show" in tool("llvm-nm", str(p)) for p in libs] != [True]:
            failures.append(f"the import library does not resolve to the C interface: {libs}")
        if sorted(p.name for p in copied if p.is_file()) != ["QuorlinC.dll", "QuorlinC.pdb"]:
            failures.append(f"the copied files do not resolve to QuorlinC.dll and its PDB: {copied}")
        else:
            dll = next(p for p in copied if p.suffix == ".dll")
            if binary_record(dll)[:2] != pdb_identity(dll.with_suffix(".pdb")):
                failures.append("QuorlinC.pdb is not the PDB of QuorlinC.dll")
            dotnet = unpacked / "runtimes" / "win-x64" / "native" / "QuorlinC.dll"
            if not dotnet.is_file() or dotnet.read_bytes() != dll.read_bytes():
                failures.append("runtimes/win-x64/native/ does not hold the package's QuorlinC.dll")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
