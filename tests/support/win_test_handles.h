#pragma once
// The handle owners of the Wine tests: the tool's own, and the kinds only the tests hold.

#include <windows.h>

#include "win_handles.h"

// Memory that LocalAlloc gave (a security descriptor from its string form, say).
using UniqueLocalMemory = handles::UniqueAny<HLOCAL, LocalFree>;
using UniqueModule = handles::UniqueAny<HMODULE, FreeLibrary>;
// A directory search, which FindFirstFile answers with INVALID_HANDLE_VALUE when it fails.
using UniqueFindHandle = handles::UniqueAny<HANDLE, FindClose, handles::InvalidHandleValue>;
