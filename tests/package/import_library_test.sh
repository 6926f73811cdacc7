#!/usr/bin/env bash
# The installed import libraries, as a linker reads them: QuorlinC.lib (QuorlinC.dll, what MSVC and
# clang-cl hosts link) offers the C interface and nothing that passes a std::function;
# libQuorlin.dll.a (Quorlin.dll, for mingw-w64 hosts) keeps every export.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work" --component runtime >/dev/null
failed=0
# <import library> <symbols it must define, separated by commas> <symbols it must not define>
while read -r lib present absent; do
  symbols=$(llvm-nm --defined-only "$work/lib/$lib" 2>&1 | awk 'NF >= 2 { print $NF }')
  for name in ${present//,/ }; do
    grep -qx "__imp_$name" <<<"$symbols" || { echo "FAIL: $lib lacks $name"; failed=1; }
  done
  [ "$absent" = - ] && absent=
  for name in ${absent//,/ }; do
    if grep -q -e "$name" <<<"$symbols"; then echo "FAIL: $lib offers $name"; failed=1; fi
  done
done <<'TABLE'
QuorlinC.lib quorlin_show,quorlin_request,quorlin_activate,quorlin_abi_version showFilesDialog,showFoldersDialog,showSaveDialog,showSelectfileDialog,showSelectfileFolderDialog,activeDlgWindow
libQuorlin.dll.a quorlin_show,quorlin_request,quorlin_activate,quorlin_abi_version,showFilesDialog,showFoldersDialog,showSaveDialog,showSelectfileDialog,showSelectfileFolderDialog,activeDlgWindow -
TABLE
exit $failed
