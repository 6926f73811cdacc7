#pragma once
// Fast scanning and copying of text lines, for the hosts rewrite.
//
// Why it exists: a hosts file can hold hundreds of thousands of lines (block lists), nearly all of
// which pass through unchanged. Taken one line at a time (tests/hosts/hosts_reference.h) the rules
// cost about 270 ms under Wine on the 10.6 MiB file of bench/hosts; with this unit about 30 ms. The
// commonest repair, a file that lacks the entry, does not hold the text at all: ReadUnchanged finds
// that the rules would only append, and the repair copies the file and appends. Bytes are scanned
// sixteen at a time (eight without SSE2), each name looked for by its rarest byte, and lines that
// hold no name are copied in bulk.
//
// What it guarantees: CopyLines writes exactly the bytes the plain loop writes (a getline over line
// feeds, one CR before each LF dropped, each line handed to the line rule and written with one LF)
// for any rule that leaves alone the lines in which no name stands; ReadUnchanged passes only bytes
// that CopyLines and WriteWithCrLf give back as they are. tests/hosts and the fuzz target
// tests/fuzz/hosts_rewrite_fuzz compare them over chosen and generated files, in pieces of any
// size.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "byte_stream.h"

// The first byte of [from, to) equal to byte, or to when there is none.
const char* FindByte(const char* from, const char* to, char byte);

// What ReadUnchanged found.
struct UnchangedRead {
    // every byte was read and none would change
    bool unchanged = false;
    // copy refused a piece
    bool copyFailed = false;
};

// Reads what read gives to its end, in pieces, and tells whether CopyLines would leave every byte
// as it is and WriteWithCrLf give them back: no NUL byte, every line ending in CR LF (no lines
// at all included), and none of names (never an empty one) anywhere. Each piece is scanned while it
// is in the cache and then handed to copy, when there is one. Reading stops at the first piece
// that would change, or that copy refuses.
UnchangedRead ReadUnchanged(const ByteReader& read, const std::vector<std::string_view>& names,
                            const ByteWriter& copy = nullptr);

// Copies the lines of the bytes that read gives to output, each followed by one line feed: CR LF
// and a lone LF end a line, a lone CR stays in its line, and a last line without a line end is
// still a line. A line in which one of names stands is handed to fixLine first (without its line
// end) and written as fixLine leaves it; every other line is copied as it is. Empty names are never
// looked for. The bytes pass through a buffer of whole lines, so the text is never held twice.
void CopyLines(const ByteReader& read, const std::vector<std::string_view>& names,
               const std::function<void(std::string& line)>& fixLine, std::string& output);
