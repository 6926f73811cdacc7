#!/usr/bin/env python3
"""The overlay port's installed tree (packaging/make_packages.sh runs the portfile offline) under
the post-build rules that vcpkg applies to a port for the dynamic Windows triplet x64-windows, as
vcpkg-tool's post-build lint (src/vcpkg/postbuildlint.cpp) states them; vcpkg itself is not
installable here. Rules applied:
  include/ exists and is not empty; no restricted header name in include/ (the general list:
  json.h, parser.h, lexer.h, config.h, local.h, slice.h, platform.h); no debug/include or
  debug/share; no lib/cmake and no .cmake file under cmake/, lib/cmake/ or their debug twins;
  no DLL in lib/; share/<port>/copyright is a file; the port's usage is installed; no .exe in
  bin/; as many binaries (.lib and DLL) in debug/ as in the release tree, unless the triplet builds
  one type alone (vcpkg takes the build type from the triplet: x64-windows builds both, and a
  portfile's own VCPKG_BUILD_TYPE does not lift the rule); every .lib and DLL is x64; with DLLs in
  debug/bin/ there are import libraries in debug/lib/, and then the same for bin/ and lib/; every
  DLL exports something; no DLL imports an outdated C runtime (msvcrt.dll among them) unless the
  port sets VCPKG_POLICY_ALLOW_OBSOLETE_MSVCRT; no empty folder; no file in the tree's root but
  BUILD_INFO and CONTROL; pkgconfig only in lib/. Beyond those (vcpkg checks text files only): no
  file but a PDB holds the absolute path of the build or of the sources. The rules are then shown
  to catch one broken tree each, and the port to refuse a ZIP other than the one it names."""
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

build, source = Path(sys.argv[1]), Path(sys.argv[2])
PORT = "quorlin"
PORT_SOURCE = source / "ports" / PORT
RESTRICTED = {"json.h", "parser.h", "lexer.h", "config.h", "local.h", "slice.h", "platform.h"}
OUTDATED_CRTS = {"msvcp100.dll", "msvcp100d.dll", "msvcp110.dll", "msvcp110_win.dll", "msvcp60.dll",
                 "msvcrt.dll", "msvcr100.dll", "msvcr100d.dll", "msvcr100_clr0400.dll", "msvcr110.dll",
                 "msvcrt20.dll", "msvcrt40.dll", "msvcp120.dll", "msvcp120_clr0400.dll",
                 "msvcr120.dll", "msvcr120_clr0400.dll"}


def tool(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def files(tree, sub, ext):
    folder = tree / sub
    return sorted(p for p in folder.rglob("*") if p.is_file() and p.suffix.lower() == ext) if folder.is_dir() else []


def problems(tree, build_paths):
    info = dict(line.split(": ", 1) for line in (tree / "BUILD_INFO").read_text().splitlines())
    found = []
    include = tree / "include"
    if not include.is_dir() or not any(include.iterdir()):
        found.append("include/ is missing or empty")
    elif RESTRICTED & {p.name for p in include.iterdir()}:
        found.append("include/ holds a restricted header name")
    for sub in ("debug/include", "debug/share", "lib/cmake", "debug/lib/cmake"):
        if (tree / sub).exists():
            found.append(f"{sub}/ exists")
    for sub in ("cmake", "lib/cmake", "debug/cmake", "debug/lib/cmake"):
        if files(tree, sub, ".cmake"):
            found.append(f".cmake files in {sub}/")
    for sub in ("lib", "debug/lib"):
        if files(tree, sub, ".dll"):
            found.append(f"DLLs in {sub}/")
    if not (tree / "share" / PORT / "copyright").is_file():
        found.append(f"share/{PORT}/copyright is not a file")
    if (PORT_SOURCE / "usage").is_file() and not (tree / "share" / PORT / "usage").is_file():
        found.append(f"share/{PORT}/usage is not installed")
    for sub in ("bin", "debug/bin"):
        if files(tree, sub, ".exe"):
            found.append(f"EXEs in {sub}/")
    dlls = {sub: files(tree, f"{sub}bin", ".dll") for sub in ("debug/", "")}
    libs = {sub: files(tree, f"{sub}lib", ".lib") for sub in ("debug/", "")}
    counts = [len(dlls[sub]) + len(libs[sub]) for sub in ("debug/", "")]
    if counts[0] != counts[1]:  # x64-windows builds both types
        found.append(f"{counts[0]} debug and {counts[1]} release binaries")
    for binary in [b for group in (*dlls.values(), *libs.values()) for b in group]:
        machines = set(re.findall(r"Arch: (\S+)", tool("llvm-readobj", "--file-headers", str(binary))))
        if machines != {"x86_64"}:
            found.append(f"{binary.name} is not x64 alone: {sorted(machines)}")
    for sub in ("debug/", ""):  # vcpkg reports the release tree only when the debug one passes
        if dlls[sub] and not libs[sub]:
            found.append(f"DLLs in {sub}bin/ without import libraries in {sub}lib/")
            break
    for dll in dlls["debug/"] + dlls[""]:
        if "Export {" not in tool("llvm-readobj", "--coff-exports", str(dll)):
            found.append(f"{dll.name} exports nothing")
        imports = {m.lower() for m in re.findall(r"DLL Name: (\S+)", tool("x86_64-w64-mingw32-objdump", "-p", str(dll)))}
        if imports & OUTDATED_CRTS and info.get("PolicyALLOW_OBSOLETE_MSVCRT") != "enabled":
            found.append(f"{dll.relative_to(tree)} links an outdated C runtime: {sorted(imports & OUTDATED_CRTS)}")
    for folder in [p for p in tree.rglob("*") if p.is_dir()]:
        if not any(folder.iterdir()):
            found.append(f"{folder.relative_to(tree)}/ is empty")
    for f in tree.iterdir():
        if f.is_file() and f.name not in ("BUILD_INFO", "CONTROL"):
            found.append(f"{f.name} in the root")
    for pc in tree.rglob("pkgconfig"):
        if pc.parent.relative_to(tree).as_posix() not in ("lib", "debug/lib", "share"):
            found.append(f"{pc.relative_to(tree)} outside lib/")
    # a PDB names the sources and compiler options it was made from, as every PDB does
    for f in [p for p in tree.rglob("*") if p.is_file() and p.suffix.lower() != ".pdb"]:
        content = f.read_bytes()
        if any(path.encode() in content for path in build_paths):
            found.append(f"{f.relative_to(tree)} holds the build's path")
    return found


def move(tree, source_rel, target_rel):
    (tree / target_rel).parent.mkdir(parents=True, exist_ok=True)
    shutil.move(str(tree / source_rel), str(tree / target_rel))


# <how the tree is broken> <the one problem the rules must report>
BROKEN = [
    (lambda t: move(t, f"tools/{PORT}/tool.exe", "bin/tool.exe"), "EXEs in bin/"),
    (lambda t: move(t, f"share/{PORT}/QuorlinConfig.cmake", "lib/cmake/Quorlin/QuorlinConfig.cmake"),
     "lib/cmake/ exists|.cmake files in lib/cmake/"),
    (lambda t: move(t, "bin/QuorlinC.dll", "lib/QuorlinC.dll"), "DLLs in lib/|2 debug and 1 release binaries"),
    (lambda t: (t / f"share/{PORT}/copyright").unlink(), f"share/{PORT}/copyright is not a file"),
    (lambda t: (t / "BUILD_INFO").write_text("CRTLinkage: dynamic\nLibraryLinkage: dynamic\n"),
     "debug/bin/QuorlinC.dll links an outdated C runtime: ['msvcrt.dll']|"
     "bin/QuorlinC.dll links an outdated C runtime: ['msvcrt.dll']"),
    (lambda t: (t / "lib/QuorlinC.lib").unlink(),
     "2 debug and 1 release binaries|DLLs in bin/ without import libraries in lib/|lib/ is empty"),
    (lambda t: shutil.rmtree(t / "debug"), "0 debug and 2 release binaries"),  # a release tree alone
    (lambda t: (t / "include/config.h").write_text("\n"), "include/ holds a restricted header name"),
    (lambda t: (t / f"share/{PORT}/QuorlinConfig.cmake").write_text(f'set(x "{t}")\n'),
     f"share/{PORT}/QuorlinConfig.cmake holds the build's path"),
]

failed = False
with tempfile.TemporaryDirectory() as work:
    out = Path(work) / "packages-out"
    subprocess.run(["bash", str(source / "packaging/make_packages.sh"), str(build), str(out)],
                   check=True, capture_output=True)
    tree = out / "vcpkg" / "packages" / f"{PORT}_x64-windows"
    found = problems(tree, [str(out), str(source.resolve())])
    if found:
        failed = True
        print("FAIL: the port's tree breaks vcpkg's rules:", *found, sep="\n  ")
    for number, (breaking, expected) in enumerate(BROKEN):
        broken = Path(work) / f"broken-{number}"
        shutil.copytree(tree, broken)
        breaking(broken)
        found = problems(broken, [str(broken), str(source.resolve())])
        if found != expected.split("|"):
            failed = True
            print(f"FAIL: a tree broken as case {number} gives {found}, expected {expected.split('|')}")

    # the port takes the ZIPs it names, no other: one rebuilt after it was written is refused
    pinned = Path(work) / "pinned"
    shutil.copytree(out, pinned, ignore=shutil.ignore_patterns("vcpkg"))
    with open(next(pinned.glob("brevant-companions-*-win64.zip")), "ab") as f:
        f.write(b"\0")
    refused = subprocess.run(["cmake", f"-DPORT_DIR={pinned}/ports/{PORT}", f"-DWORK_DIR={pinned}/vcpkg",
                              "-P", str(source / "packaging/vcpkg_offline.cmake")], capture_output=True, text=True)
    if refused.returncode == 0 or "File does not have expected hash" not in refused.stderr:
        failed = True
        print("FAIL: the port installs a ZIP other than the one it names:", refused.stderr)
sys.exit(1 if failed else 0)
