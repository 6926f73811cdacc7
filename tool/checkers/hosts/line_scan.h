#pragma once
// Fast scanning and copying of text lines, for the hosts rewrite.
//
// Why it exists: a hosts file can hold hundreds of thousands of lines (block lists), nearly all of
// which pass through unchanged. On the 10.6 MiB, 265,000-line file of bench/hosts, the rules taken
// one line at a time (a string per line, trimmed and split into tokens: the reference in
// tests/hosts/hosts_reference.h) cost about 270 ms under Wine and 180 ms natively; with this unit
// the same rewrite costs about 30 ms under Wine (most of it the first touch of the text's fresh
// memory) and 4 ms natively. The commonest repair, a file that lacks the entry, does not hold the
// text at all: ReadUnchanged finds that the rules would only append to the file, and the repair
// copies it piece by piece and appends (a check and repair of about 24 ms under Wine against 17 ms
// for a plain copy). bench/hosts compares the whole check and rewrite with that copy (README.md,
// Benchmarks). Bytes are read in pieces and scanned sixteen at a time (eight where SSE2 is
// missing); each configured name is looked for by its rarest byte, and the lines that hold no name
// are copied in bulk.
//
// What it guarantees: CopyLines writes exactly the bytes that the plain loop writes (a getline over
// line feeds, one CR before each LF dropped, every line handed to the line rule and written with
// one LF), for any line rule that leaves alone each line in which none of the names stands.
// tests/hosts compares the two over hand-picked files, tests/fuzz/hosts_rewrite_fuzz over generated
// ones, pieces of any size included; ReadUnchanged passes only bytes that CopyLines and
// WriteWithCrLf give back as they are, which the same tests check.

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
