#include "selection.h"

#include <algorithm>

#include "path_list.h"

bool SelectionCollector::add(Utf16View path) {
    if (selection_.reopenFolderDialog) return false;
    fullPath_.clear();
    appendUtf8(fullPath_, path);
    // a slash is one byte in UTF-8 too, so replacing it after the conversion is the same
    std::replace(fullPath_.begin(), fullPath_.end(), '/', '\\');
    const std::size_t separator = fullPath_.rfind('\\');
    if (separator == std::string::npos) return true;
    selection_.directory.assign(fullPath_, 0, separator);
    if (separator + 1 == fullPath_.size() && (kind_ == UploadFolders || kind_ == TransferFolders)) {
        selection_.reopenFolderDialog = true;
        return false;
    }
    selection_.names.emplace_back(fullPath_, separator + 1);
    return true;
}

Selection SelectionCollector::finish() {
    if (selection_.reopenFolderDialog) {
        selection_.directory.clear();
        selection_.names.clear();
    } else if (kind_ == SavePath) {
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

Selection collectPathList(DialogKind kind, const Utf16Unit* buffer) {
    SelectionCollector collector(kind);
    for (const Utf16Unit* position = firstPath(buffer); position != nullptr;) {
        if (!collector.add(nextPath(position))) break;
    }
    return collector.finish();
}
