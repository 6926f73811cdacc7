#!/usr/bin/env bash
# The consumer's side of the package: builds the host project in tests/consumer with
# find_package(Quorlin) - against the unpacked ZIP with mingw-w64 GCC (the C and the C++ host over
# Quorlin.dll, built by another compiler than the library's clang) and with clang and lld (the C
# host over the self-contained QuorlinC.dll), and against the vcpkg port's tree with clang for the
# MSVC ABI and lld-link (the C host, no C runtime, which the package configuration hands
# QuorlinC.dll), in a Release and a Debug build, each with the DLL that vcpkg's integration
# deploys for it - and runs the hosts through real dialogs under Xvfb, as the end-to-end tests of
# tests/quorlin_e2e do, and the C example host (quorlin/example_host) built for the MSVC ABI. A
# host built against libc++ must not get past quorlin.h.
# Usage: tests/consumer/run.sh   (after scripts/package.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
work=build/consumer
zip=$(ls build/windows/package/brevant-companions-*-win64.zip)

rm -rf "$work"
mkdir -p "$work/package"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/package"
package=$(cd "$work/package" && pwd)
port_tree="$root/build/windows/package/vcpkg/packages/quorlin_x64-windows"

configure() {  # <build dir> <toolchain file> <package> [cmake options...]
  local dir=$1 toolchain=$2 prefix=$3
  shift 3
  cmake -S tests/consumer -B "$work/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" -DCMAKE_PREFIX_PATH="$prefix" "$@" >/dev/null
  cmake --build "$work/$dir"
}
configure gcc mingw-w64-x86_64-posix.cmake "$package"
configure clang clang-mingw-w64-x86_64.cmake "$package" -DCONSUMER_CXX_HOST=OFF -DCONSUMER_SELF_CONTAINED=ON
# an MSVC-ABI host: clang for x86_64-pc-windows-msvc, lld-link, the port's QuorlinC.lib (which the
# package configuration picks for it), no C runtime
msvc_host=(-DCONSUMER_CXX_HOST=OFF -DCONSUMER_NO_C_RUNTIME=ON -DCONSUMER_VCPKG_TREE="$port_tree")
configure msvc clang-msvc-x86_64.cmake "$port_tree" "${msvc_host[@]}"
# a Debug build, as vcpkg's integration serves it: debug/lib linked, debug/bin deployed
configure msvc-debug clang-msvc-x86_64.cmake "$port_tree" "${msvc_host[@]}" -DCMAKE_BUILD_TYPE=Debug

status=0
if ! grep -q -F "$port_tree/debug/lib/QuorlinC.lib" "$work/msvc-debug/build.ninja"; then
  echo "FAIL: the Debug host does not link the port's debug/lib/QuorlinC.lib"; status=1
fi
for compiler in gcc clang msvc msvc-debug; do
  # a C host brings no C++ runtime of its own
  host="$work/$compiler/bin/quorlin_c_host.exe"
  imports=$(x86_64-w64-mingw32-objdump -p "$host" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')
  if grep -q -i -E 'libstdc\+\+|libgcc|libwinpthread|libc\+\+' <<<"$imports"; then
    echo "FAIL: $host imports a C++ runtime: $imports"; status=1
  fi
  # $<TARGET_RUNTIME_DLLS> of a host lists what Quorlin_RUNTIME_DLLS lists: Quorlin.dll and its
  # three runtime DLLs for the GCC host, QuorlinC.dll alone for the others; the host's folder holds
  # those DLLs and no other
  case $compiler in gcc) expected="Quorlin.dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll " ;;
                    *) expected="QuorlinC.dll " ;; esac
  listed=$(sort "$work/$compiler/package_runtime_dlls.txt")
  [ "$compiler" = msvc-debug ] && listed="$port_tree/debug/bin/QuorlinC.dll"
  if [ "$(sort "$work/$compiler/runtime_dlls.txt")" != "$listed" ] ||
     [ "$(xargs -n 1 basename <"$work/$compiler/runtime_dlls.txt" | LC_ALL=C sort | tr '\n' ' ')" != "$expected" ]; then
    echo "FAIL: the runtime DLLs CMake knows for the $compiler host:"; cat "$work/$compiler/runtime_dlls.txt"; status=1
  fi
  if [ "$(cd "$work/$compiler/bin" && ls -- *.dll | LC_ALL=C sort | tr '\n' ' ')" != "$expected" ]; then
    echo "FAIL: the $compiler host's folder holds other DLLs than $expected"; status=1
  fi
done
for compiler in msvc msvc-debug; do
  if [ "$(x86_64-w64-mingw32-objdump -p "$work/$compiler/bin/quorlin_c_host.exe" | sed -n 's/^\s*DLL Name: //p' | sort | tr '\n' ' ')" \
       != "KERNEL32.dll QuorlinC.dll USER32.dll " ]; then
    echo "FAIL: the $compiler host imports more than Win32 and QuorlinC.dll"; status=1
  fi
done

# a C++ host built against another C++ library (libc++) stops at quorlin.h, which names the C interface
echo '#include "quorlin.h"' >"$work/other_library.cpp"
if out=$(clang++ --target=x86_64-w64-mingw32 -nostdinc++ -isystem /usr/lib/llvm-14/include/c++/v1 \
           -fsyntax-only -I"$package/include" "$work/other_library.cpp" 2>&1) ||
   ! grep -q 'error:.*quorlin_c\.h' <<<"$out"; then
  echo "FAIL: quorlin.h does not stop a host built against libc++:"; echo "$out"; status=1
fi

harness=tests/quorlin_e2e/dialogs_e2e.py
for compiler in gcc clang msvc msvc-debug; do
  host="$root/$work/$compiler/bin/quorlin_c_host.exe"
  state="$root/$work/e2e-$compiler"
  mkdir -p "$state"
  python3 "$harness" setup --state "$state" --host "$host" || { status=1; continue; }
  names=$(python3 "$harness" list --c-interface)
  if [ "$compiler" != gcc ] && [ "$compiler" != clang ]; then
    # the interface is pinned by the other two hosts; this one proves the MSVC ABI end to end
    names=$(grep -E '^(CInterface_|Dialog_ShowsTitleAndDeliversEmptyResult_WhenCancelled$|FileDialog_DeliversFolderAndNamesInOrder_WhenFilesChosen$|Selection_ArrivesAsUtf8_WithChineseNames$)' <<<"$names")
  fi
  for name in $names; do
    if python3 "$harness" run --state "$state" --host "$host" "$name"; then
      echo "consumer $compiler: $name passed"
    else
      echo "consumer $compiler: $name FAILED"; status=1
    fi
  done
  if [ "$compiler" = gcc ]; then
    # the C++ host over quorlin.h, built against the package with the library's own toolchain
    cpp_host="$root/$work/gcc/bin/quorlin_cpp_host.exe"
    for name in FileDialog_DeliversFolderAndNamesInOrder_WhenFilesChosen \
                SecondRequest_AnsweredEmptyAtOnce_WhileDialogOpen; do
      if python3 "$harness" run --state "$state" --host "$cpp_host" "$name"; then
        echo "consumer gcc C++ host: $name passed"
      else
        echo "consumer gcc C++ host: $name FAILED"; status=1
      fi
    done
  fi
  if [ "$compiler" = msvc ]; then
    # the repository's C example host, built for the MSVC ABI
    if python3 tests/consumer/example_e2e.py --state "$state" --host "$host" \
         --example "$root/$work/msvc/bin/quorlin_example_host_c.exe"; then
      echo "consumer msvc: the C example host passed"
    else
      echo "consumer msvc: the C example host FAILED"; status=1
    fi
  fi
  python3 "$harness" cleanup --state "$state" --host "$host" || status=1
done
exit $status
