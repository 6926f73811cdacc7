#pragma once
// Bytes handed on in pieces, as a file is read and written: the hosts rules read and write through
// these, and every text the tool stores goes out through WriteWithCrLf.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Reads at most size bytes into buffer and returns how many; 0 at the end (or after a failure).
using ByteReader = std::function<std::size_t(char* buffer, std::size_t size)>;

// Hands bytes to a sink, as pieces of a file go to the file written; false when it refuses them.
using ByteWriter = std::function<bool(const char* data, std::size_t size)>;

// Whether any of the eight bytes of word equals byte: the test that lets text be scanned and copied
// eight bytes at a time.
inline bool HasByte(std::uint64_t word, char byte) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    const std::uint64_t diff = word ^ (kOnes * static_cast<unsigned char>(byte));
    return ((diff - kOnes) & ~diff & kHighBits) != 0;
}

// Hands text to write in pieces with every line feed expanded to CR LF, so the written bytes do not
// depend on the platform's text mode. Stops and returns false at the first piece write refuses.
bool WriteWithCrLf(const std::string& text, const ByteWriter& write);
