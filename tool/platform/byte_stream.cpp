#include "byte_stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kWriteBufferSize = 256 * 1024;

}  // namespace

bool WriteWithCrLf(const std::string& text, const ByteWriter& write) {
    // every byte becomes at most two, so half a buffer of input always fits
    constexpr std::size_t kWord = sizeof(std::uint64_t);
    std::vector<char> buffer(kWriteBufferSize);
    char* const first = buffer.data();
    const char* data = text.data();
    const char* const end = data + text.size();
    while (data < end) {
        // input that surely fits the buffer once expanded
        const char* const stop = data + std::min<std::size_t>(end - data, kWriteBufferSize / 2);
        char* out = first;
        while (stop - data >= static_cast<std::ptrdiff_t>(kWord)) {
            // one pass: copy a word at a time, stopping short at each line end
            std::uint64_t word;
            std::memcpy(&word, data, kWord);
            std::memcpy(out, &word, kWord);
            if (!HasByte(word, '\n')) {
                data += kWord;
                out += kWord;
                continue;
            }
            // the word is stored already: keep what stands before its first line feed
            std::size_t kept = 0;
            while (data[kept] != '\n') {
                ++kept;
            }
            out += kept;
            *out++ = '\r';
            *out++ = '\n';
            data += kept + 1;
        }
        while (data < stop) {
            const char c = *data++;
            if (c == '\n') {
                *out++ = '\r';
            }
            *out++ = c;
        }
        if (!write(first, static_cast<std::size_t>(out - first))) {
            return false;
        }
    }
    return true;
}
