#!/usr/bin/env python3
"""The overlay port's installed tree (packaging/make_packages.sh runs the portfile offline) under
the post-build rules that vcpkg applies to a port for a dynamic Windows triplet, as vcpkg-tool's
post-build lint states them; vcpkg itself is not installable here. Rules applied:
  include/ exists and is not empty; no restricted header name in include/ (the general list:
  json.h, parser.h, lexer.h, config.h, local.h, slice.h, platform.h); no debug/include or
  debug/share; no lib/cmake and no .cmake file under cmake/, lib/cmake/ or their debug twins;
  no DLL in lib/; share/<port>/copyright is a file; no .exe in bin/; debug/ only when the build
  type is not release alone; every .lib and DLL is x64; with DLLs in bin/ there are import
  libraries in lib/; every DLL exports something; no DLL imports an outdated C runtime (msvcrt.dll
  among them) unless the port sets VCPKG_POLICY_ALLOW_OBSOLETE_MSVCRT; no empty folder; no file
  in the tree's root but BUILD_INFO and CONTROL; pkgconfig only in lib/. Beyond those, and as newer
  vcpkg checks: no file but a PDB holds the absolute path of the build or of the sources. The rules are then shown to catch
  one broken tree each."""
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

build, source = Path(sys.argv[1]), Path(sys.argv[2])
PORT = "quorlin"
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
    for sub in ("bin", "debug/bin"):
        if files(tree, sub, ".exe"):
            found.append(f"EXEs in {sub}/")
    if info.get("BuildType") == "release" and (tree / "debug").exists():
        found.append("debug/ in a release-only build")
    dlls = files(tree, "bin", ".dll")
    libs = files(tree, "lib", ".lib")
    for binary in dlls + libs:
        machines = set(re.findall(r"Arch: (\S+)", tool("llvm-readobj", "--file-headers", str(binary))))
        if machines != {"x86_64"}:
            found.append(f"{binary.name} is not x64 alone: {sorted(machines)}")
    if dlls and not libs:
        found.append("DLLs in bin/ without import libraries in lib/")
    for dll in dlls:
        if "Export {" not in tool("llvm-readobj", "--coff-exports", str(dll)):
            found.append(f"{dll.name} exports nothing")
        imports = {m.lower() for m in re.findall(r"DLL Name: (\S+)", tool("x86_64-w64-mingw32-objdump", "-p", str(dll)))}
        if imports & OUTDATED_CRTS and info.get("PolicyALLOW_OBSOLETE_MSVCRT") != "enabled":
            found.append(f"{dll.name} links an outdated C runtime: {sorted(imports & OUTDATED_CRTS)}")
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
    (lambda t: move(t, "bin/QuorlinC.dll", "lib/QuorlinC.dll"),
     "DLLs in lib/"),
    (lambda t: (t / f"share/{PORT}/copyright").unlink(), f"share/{PORT}/copyright is not a file"),
    (lambda t: (t / "BUILD_INFO").write_text("CRTLinkage: dynamic\nLibraryLinkage: dynamic\nBuildType: release\n"),
     "QuorlinC.dll links an outdated C runtime: ['msvcrt.dll']"),
    (lambda t: (t / "lib/QuorlinC.lib").unlink(), "DLLs in bin/ without import libraries in lib/|lib/ is empty"),
    (lambda t: (t / "debug/lib").mkdir(parents=True), "debug/ in a release-only build|debug/lib/ is empty"),
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
sys.exit(1 if failed else 0)
