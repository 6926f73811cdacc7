#!/usr/bin/env bash
# The consumer's side of the package: unpacks the ZIP that scripts/package.sh made, builds the host
# project in tests/consumer against it with find_package(Quorlin) - once with the library's own
# mingw-w64 GCC (the C and the C++ host) and once with clang and lld (the C host, linking the
# MSVC-style import library) - and runs the hosts through real dialogs under Xvfb, as the
# end-to-end tests of tests/quorlin_e2e do.
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

configure() {  # <build dir> <toolchain file> [cmake options...]
  local dir=$1 toolchain=$2
  shift 2
  cmake -S tests/consumer -B "$work/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" -DCMAKE_PREFIX_PATH="$package" "$@" >/dev/null
  cmake --build "$work/$dir"
}
configure gcc mingw-w64-x86_64-posix.cmake
configure clang clang-mingw-w64-x86_64.cmake -DCONSUMER_CXX_HOST=OFF -DCONSUMER_MSVC_IMPORT_LIBRARY=ON

status=0
# a C host brings no C++ runtime of its own
for host in "$work"/gcc/bin/quorlin_c_host.exe "$work"/clang/bin/quorlin_c_host.exe; do
  imports=$(x86_64-w64-mingw32-objdump -p "$host" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')
  if grep -q -i -E 'libstdc\+\+|libgcc|libwinpthread|libc\+\+' <<<"$imports"; then
    echo "FAIL: $host imports a C++ runtime: $imports"; status=1
  fi
done

harness=tests/quorlin_e2e/dialogs_e2e.py
for compiler in gcc clang; do
  host="$root/$work/$compiler/bin/quorlin_c_host.exe"
  state="$root/$work/e2e-$compiler"
  mkdir -p "$state"
  python3 "$harness" setup --state "$state" --host "$host" || { status=1; continue; }
  for name in $(python3 "$harness" list --c-interface); do
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
  python3 "$harness" cleanup --state "$state" --host "$host" || status=1
done
exit $status
