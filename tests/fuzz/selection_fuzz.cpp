// The selection collection, each path handed over in a block of exactly its size (so the sanitizer
// sees any read outside it), against the line-by-line rules: every name comes back whole, in
// order, the directory is the items' one folder (items of several folders give nothing), and the
// save path is composed from it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "selection.h"

namespace {

// The rules, one path at a time, with nothing shared with the collector but the UTF-8 conversion.
Selection expectedSelection(DialogKind kind, const std::vector<Utf16String>& paths) {
    Selection expected;
    Utf16String directory;
    for (const Utf16String& path : paths) {
        const std::size_t last = path.find_last_of(u"\\/");
        if (last == Utf16String::npos) continue;
        const Utf16String name = path.substr(last + 1);
        if (name.empty() && (kind == UploadFolders || kind == TransferFolders)) {
            return Selection{"", {}, true};
        }
        Utf16String folder = path.substr(0, last);
        std::replace(folder.begin(), folder.end(), Utf16Unit{'/'}, Utf16Unit{'\\'});
        if (!expected.names.empty() && folder != directory) return Selection{"", {}, false, true};
        directory = folder;
        expected.names.push_back(toUtf8(name));
    }
    expected.directory = toUtf8(directory);
    std::replace(expected.directory.begin(), expected.directory.end(), '/', '\\');
    if (kind == SavePath) {
        if (expected.names.empty()) {
            expected.directory.clear();
        } else {
            if (expected.directory.size() > 1 && expected.directory.back() != '\\') {
                expected.directory += '\\';
            }
            expected.directory += expected.names.front();
        }
    }
    return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const auto kind = static_cast<DialogKind>(data[0] % 5);
    // the rest: UTF-16 units, a zero unit ending each path
    std::vector<Utf16String> paths(1);
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        const auto unit = static_cast<Utf16Unit>(data[i] | data[i + 1] << 8);
        if (unit == 0) {
            paths.emplace_back();
        } else {
            paths.back().push_back(unit);
        }
    }
    SelectionCollector collector(kind);
    for (const Utf16String& path : paths) {
        const std::unique_ptr<Utf16Unit[]> exact(new Utf16Unit[path.size()]);
        std::copy(path.begin(), path.end(), exact.get());
        if (!collector.add(Utf16View(exact.get(), path.size()))) break;
    }
    const Selection actual = collector.finish();
    const Selection expected = expectedSelection(kind, paths);
    if (actual.reopenFolderDialog != expected.reopenFolderDialog ||
        actual.severalFolders != expected.severalFolders ||
        actual.directory != expected.directory || actual.names != expected.names) {
        std::abort();
    }
    for (const std::string& name : actual.names) {
        if (name.find_first_of("\\/") != std::string::npos) std::abort();
    }
    if (actual.directory.find('/') != std::string::npos) std::abort();
    return 0;
}
