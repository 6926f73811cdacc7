#pragma once
// What the host receives for a dialog: the chosen paths turned into one UTF-8 directory and a list
// of UTF-8 names, with backslashes only.

#include <cstdint>
#include <string>
#include <vector>

#include "utf.h"

enum DialogKind : std::int32_t {
    UploadFiles = 0,
    UploadFolders = 1,
    SavePath = 2,
    TransferFiles = 3,
    TransferFolders = 4,
};

struct Selection {
    std::string directory;
    std::vector<std::string> names;
    // A drive root was chosen in a folder dialog: a new folder dialog replaces this one and nothing
    // is delivered for it.
    bool reopenFolderDialog = false;
    // The items are not all in one folder: one directory and its names cannot say which is where,
    // so nothing is delivered.
    bool severalFolders = false;
};

// Collects the paths of one dialog in the order the dialog reports them.
class SelectionCollector {
public:
    explicit SelectionCollector(DialogKind kind) : kind_(kind) {}

    // Starts again, as for a new dialog of the same kind.
    void restart();

    // Takes one reported path; false once the collection has stopped (re-open decided, or an item
    // in another folder than the first).
    bool add(Utf16View path);
    bool inSeveralFolders() const { return selection_.severalFolders; }

    // The result; for the save dialog the directory becomes the full path of the first folder.
    Selection finish();

private:
    DialogKind kind_;
    Selection selection_;
    Utf16String directory_;  // of the first item with a separator
    std::string scratch_;
};
