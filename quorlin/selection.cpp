#include "selection.h"

#include <algorithm>

namespace {

bool isSeparator(Utf16Unit unit) { return unit == Utf16Unit{'\\'} || unit == Utf16Unit{'/'}; }

// Unit by unit, either separator matching the other; letter case counts, so a folder spelled two
// ways is refused rather than guessed at.
bool sameFolder(Utf16View a, Utf16View b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](Utf16Unit x, Utf16Unit y) {
               return x == y || (isSeparator(x) && isSeparator(y));
           });
}

}  // namespace

void SelectionCollector::restart() {
    selection_.directory.clear();
    selection_.names.clear();
    selection_.reopenFolderDialog = selection_.severalFolders = false;
    directory_.clear();
}

// The split is made on the UTF-16 text: a separator is one unit that is never part of a surrogate
// pair, so converting the parts gives the same bytes as converting the whole path and splitting
// it, and only the one directory ever needs converting.
bool SelectionCollector::add(Utf16View path) {
    if (selection_.reopenFolderDialog || selection_.severalFolders) return false;
    std::size_t separator = path.size();
    while (separator > 0 && !isSeparator(path[separator - 1])) --separator;
    if (separator == 0) return true;
    --separator;
    const Utf16View directory = path.substr(0, separator);
    const Utf16View name = path.substr(separator + 1);
    if (name.empty() && (kind_ == UploadFolders || kind_ == TransferFolders)) {
        selection_.reopenFolderDialog = true;
        return false;
    }
    if (selection_.names.empty()) {
        directory_.assign(directory);
    } else if (!sameFolder(directory, directory_)) {
        selection_.severalFolders = true;
        return false;
    }
    scratch_.clear();
    AppendUtf8FromUtf16Replacing(scratch_, name);
    selection_.names.push_back(scratch_);
    return true;
}

Selection SelectionCollector::finish() {
    if (selection_.reopenFolderDialog || selection_.severalFolders) {
        selection_.names.clear();
        return std::move(selection_);
    }
    AppendUtf8FromUtf16Replacing(selection_.directory, directory_);
    std::replace(selection_.directory.begin(), selection_.directory.end(), '/', '\\');
    if (kind_ == SavePath) {
        if (selection_.names.empty()) {
            // no name to compose a save path with: deliver nothing rather than a bare directory
            selection_.directory.clear();
        } else {
            std::string& directory = selection_.directory;
            if (directory.size() > 1 && directory.back() != '\\') directory.push_back('\\');
            directory += selection_.names.front();
        }
    }
    return std::move(selection_);
}
