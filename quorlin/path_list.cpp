#include "path_list.h"

#include <algorithm>

PathListWriter::PathListWriter(Utf16Unit* buffer, std::size_t capacity)
    : buffer_(buffer), capacity_(capacity) {
    clear();
}

bool PathListWriter::append(Utf16View path) {
    // an empty path would read as the end of the list; a zero inside would split it in two
    if (path.empty() || path.find(Utf16Unit{0}) != Utf16View::npos) return false;
    // the path, its zero and the list's closing zero
    if (capacity_ < used_ || capacity_ - used_ < path.size() + 2) return false;
    std::copy(path.begin(), path.end(), buffer_ + used_);
    used_ += path.size();
    buffer_[used_++] = 0;
    buffer_[used_] = 0;
    return true;
}

void PathListWriter::clear() {
    used_ = 0;
    if (capacity_ >= 1) buffer_[0] = 0;
    if (capacity_ >= 2) buffer_[1] = 0;
}

const Utf16Unit* firstPath(const Utf16Unit* buffer) {
    return buffer != nullptr && buffer[0] != 0 ? buffer : nullptr;
}

Utf16View nextPath(const Utf16Unit*& position) {
    if (position == nullptr) return {};
    const Utf16View path(position);
    const Utf16Unit* next = position + path.size() + 1;
    position = *next != 0 ? next : nullptr;
    return path;
}
