// Times Check plus rewrite of a large generated hosts file that lacks the configured entry, against
// copying the same bytes, and reports peak memory. Usage: hosts_bench [lines] [runs] [folder]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// windows.h first
#include <psapi.h>

#include "win_hosts_checker.h"
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "hosts_checker.h"
#include "line_scan.h"

namespace fs = std::filesystem;

namespace {

// Heap bytes in use and their high-water mark, counted by the replaced operator new below.
std::atomic<std::size_t> heapInUse{0};
std::atomic<std::size_t> heapPeak{0};

void* CountedAllocate(std::size_t size) {
    // room for the size in front, kept at the alignment of new
    void* block = std::malloc(size + alignof(std::max_align_t));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *static_cast<std::size_t*>(block) = size;
    const std::size_t now = heapInUse += size;
    std::size_t peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + alignof(std::max_align_t);
}

void CountedFree(void* pointer) {
    if (pointer == nullptr) {
        return;
    }
    void* block = static_cast<char*>(pointer) - alignof(std::max_align_t);
    heapInUse -= *static_cast<std::size_t*>(block);
    std::free(block);
}

// Peak resident memory of the whole process so far, in bytes.
std::size_t ProcessPeak() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
        return 0;
    }
    return counters.PeakWorkingSetSize;
#else
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
#endif
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Puts the written bytes on the disk, as the repair does, so both sides pay the same.
bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

// A hosts file of comment, blank and entry lines, none of them for the configured name.
bool Generate(const fs::path& path, long lines) {
    UniqueFile file(std::fopen(path.string().c_str(), "wb"));
    if (!file) {
        return false;
    }
    char line[128];
    for (long i = 0; i < lines; ++i) {
        int length = 0;
        if (i % 50 == 0) {
            length = std::snprintf(line, sizeof(line), "# block %ld of blocked hosts\r\n", i / 50);
        } else if (i % 97 == 0) {
            length = std::snprintf(line, sizeof(line), "\r\n");
        } else {
            length = std::snprintf(line, sizeof(line), "0.0.0.0 ads%ld.tracker-%ld.example.com\r\n",
                                   i, i % 1000);
        }
        if (std::fwrite(line, 1, static_cast<std::size_t>(length), file.get()) !=
            static_cast<std::size_t>(length)) {
            return false;
        }
    }
    return std::fclose(file.release()) == 0;
}

bool Copy(const fs::path& from, const fs::path& to) {
    UniqueFile in(std::fopen(from.string().c_str(), "rb"));
    UniqueFile out(std::fopen(to.string().c_str(), "wb"));
    if (!in || !out) {
        return false;
    }
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        const std::size_t size = std::fread(chunk.data(), 1, chunk.size(), in.get());
        if (size == 0) {
            break;
        }
        if (std::fwrite(chunk.data(), 1, size, out.get()) != size) {
            return false;
        }
    }
    return std::ferror(in.get()) == 0 && FlushToDisk(out.get()) && std::fclose(out.release()) == 0;
}

bool ReadAll(const fs::path& path, std::string& bytes) {
    UniqueFile in(std::fopen(path.string().c_str(), "rb"));
    if (!in) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(fs::file_size(path)));
    return std::fread(bytes.data(), 1, bytes.size(), in.get()) == bytes.size();
}

// The repair would write a line only when no backup can be made; here nothing is kept.
struct NoRepairLog : RepairLog {
    unsigned long Append(const std::string&) override { return 0; }
};

#ifdef _WIN32
// The Windows checker itself, on a file of the benchmark's own.
class BenchHostsChecker : public WinHostsChecker {
public:
    explicit BenchHostsChecker(std::string path) : WinHostsChecker(log, std::move(path)) {}

private:
    static inline NoRepairLog log;
};
#else
// The Windows checker's steps over stdio, but for the backup: the text goes to a sibling file,
// which is flushed and renamed over the file.
class StdioHostsFile : public HostsFile {
public:
    explicit StdioHostsFile(std::string path) : path(std::move(path)) {}
    const std::string& Path() const override { return path; }
    Opened OpenSource() override {
        source.reset(std::fopen(path.c_str(), "rb"));
        return source ? Open : Unreadable;
    }
    void CloseSource() override { source.reset(); }
    ByteReader ReadSource(unsigned long& error) override {
        if (source) {
            std::rewind(source.get());
        } else {
            error = 1;
        }
        return [this, &error](char* buffer, std::size_t size) -> std::size_t {
            const std::size_t got = error == 0 ? std::fread(buffer, 1, size, source.get()) : 0;
            error = error == 0 && std::ferror(source.get()) ? 1 : error;
            return got;
        };
    }
    std::size_t SourceSize() override { return static_cast<std::size_t>(fs::file_size(path)); }
    Place FindPlace() override { return {true, false, false}; }
    unsigned long CreateTemporary() override { return EmptyTemporary(); }
    ByteWriter WriteTemporary(unsigned long& error) override {
        return [this, &error](const char* data, std::size_t size) {
            const bool written = std::fwrite(data, 1, size, temporary.get()) == size;
            error = written ? error : 1;
            return written;
        };
    }
    unsigned long EmptyTemporary() override {
        temporary.reset(std::fopen((path + ".new").c_str(), "wb"));
        return temporary ? 0 : 1;
    }
    unsigned long FlushTemporary() override { return FlushToDisk(temporary.get()) ? 0 : 1; }
    unsigned long CarryAttributes() override { return 0; }
    unsigned long AwaitReplaceable() override { return 0; }
    unsigned long MakeBackup() override { return 0; }
    unsigned long Replace() override {
        return std::fclose(temporary.release()) == 0 &&
                       std::rename((path + ".new").c_str(), path.c_str()) == 0
                   ? 0
                   : 1;
    }
    void EndRepair() override { temporary.reset(); }

private:
    std::string path;
    UniqueFile source;
    UniqueFile temporary;
};

class BenchHostsChecker : public HostsChecker {
public:
    explicit BenchHostsChecker(std::string path)
        : HostsChecker(std::make_unique<StdioHostsFile>(std::move(path)), &log) {}

private:
    static inline NoRepairLog log;
};
#endif

double Milliseconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Fastest(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

}  // namespace

// the standard library's strings allocate through these, so heapPeak sees the checker's buffers
void* operator new(std::size_t size) { return CountedAllocate(size); }
void* operator new[](std::size_t size) { return CountedAllocate(size); }
void operator delete(void* pointer) noexcept { CountedFree(pointer); }
void operator delete[](void* pointer) noexcept { CountedFree(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { CountedFree(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { CountedFree(pointer); }

int main(int argc, char** argv) {
    const long lines = argc > 1 ? std::atol(argv[1]) : 265000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const fs::path folder =
        argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "hosts_bench";
    fs::create_directories(folder);
    const fs::path source = folder / "generated.ics";
    const fs::path target = folder / "hosts.ics";
    const fs::path copy = folder / "copy.ics";
    if (lines <= 0 || runs <= 0 || !Generate(source, lines)) {
        std::printf("cannot generate %s\n", source.string().c_str());
        return 1;
    }
    const auto fileSize = static_cast<std::size_t>(fs::file_size(source));

    BenchHostsChecker checker(target.string());
    pugi::xml_document document;
    document.load_string(
        "<hosts><hosts1 domain=\"localhost.brevant.io\" ip=\"127.0.0.1\"/></hosts>");
    checker.LoadConfig(document.child("hosts"));

    // the checker first, so that the process peak is its own
    std::vector<double> checkTimes;
    std::vector<double> checkOnlyTimes;
    std::vector<double> copyTimes;
    std::size_t checkHeapPeak = 0;
    const std::size_t processBefore = ProcessPeak();
    std::size_t processAfterCheck = 0;
    for (int run = 0; run < runs; ++run) {
        if (!Copy(source, target)) {
            std::printf("cannot copy to %s\n", target.string().c_str());
            return 1;
        }
        heapPeak = heapInUse.load();
        const std::size_t heapBefore = heapInUse.load();
        const auto start = std::chrono::steady_clock::now();
        const int check = checker.Check();
        checkOnlyTimes.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
        const int repair = check == CheckWrong ? checker.Repair().code : -1;
        checkTimes.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
        checkHeapPeak = std::max(checkHeapPeak, heapPeak.load() - heapBefore);
        if (run == 0) {
            processAfterCheck = ProcessPeak();
        }
        if (check != CheckWrong || repair != Repaired) {
            std::printf("unexpected codes: check %d, repair %d (%s)\n", check, repair,
                        target.string().c_str());
            return 1;
        }
    }
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (!Copy(source, copy)) {
            std::printf("cannot copy to %s\n", copy.string().c_str());
            return 1;
        }
        copyTimes.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
    }
    const auto readAll = [](const fs::path& path) {
        std::string bytes;
        return ReadAll(path, bytes) ? bytes : std::string();
    };
    const bool rewrittenRight =
        readAll(target) == readAll(source) + "127.0.0.1            localhost.brevant.io\r\n";

    const double check = Median(checkTimes);
    const double copied = Median(copyTimes);
    const double mib = 1024.0 * 1024.0;
    std::printf("lines %ld, file %.1f MiB, %d runs\n", lines, fileSize / mib, runs);
    std::printf("median: check+rewrite %.1f ms, copy %.1f ms, ratio %.2f (target <= 2)\n", check,
                copied, check / copied);
    std::printf("fastest: check+rewrite %.1f ms, copy %.1f ms, ratio %.2f\n", Fastest(checkTimes),
                Fastest(copyTimes), Fastest(checkTimes) / Fastest(copyTimes));
    std::printf("median of Check alone %.1f ms, so Repair about %.1f ms\n", Median(checkOnlyTimes),
                check - Median(checkOnlyTimes));
    std::printf("heap peak during check+rewrite %.1f MiB = %.2f x file (target <= 3)\n",
                checkHeapPeak / mib, checkHeapPeak / static_cast<double>(fileSize));
    std::printf(
        "process peak %.1f MiB before, %.1f MiB after the first check+rewrite (+%.2f x file)\n",
        processBefore / mib, processAfterCheck / mib,
        (processAfterCheck - processBefore) / static_cast<double>(fileSize));
    std::printf("rewritten file: %s\n",
                rewrittenRight ? "original bytes + canonical line" : "WRONG");

    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return rewrittenRight ? 0 : 1;
}
