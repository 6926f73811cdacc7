#pragma once
// The result buffer of a dialog: the chosen full paths one after another, each ended by a zero
// unit, and one more zero unit after the last. Every path is stored whole, however long, or not at
// all.

#include <cstddef>

#include "utf16.h"

class PathListWriter {
public:
    // buffer holds capacity units; it is left as an empty list.
    PathListWriter(Utf16Unit* buffer, std::size_t capacity);

    // Stores one more path; false, with nothing stored, when the path is empty or does not fit
    // together with the closing zero.
    bool append(Utf16View path);

    // Makes the list empty again, e.g. after a selection that did not fit.
    void clear();

    std::size_t used() const { return used_; }

private:
    Utf16Unit* buffer_;
    std::size_t capacity_;
    std::size_t used_ = 0;
};

// The first path of a list, or nullptr for an empty list.
const Utf16Unit* firstPath(const Utf16Unit* buffer);

// Returns the path at position and moves position to the next one (nullptr after the last).
Utf16View nextPath(const Utf16Unit*& position);
