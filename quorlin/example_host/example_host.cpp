// Asks Quorlin.dll for one dialog and prints what the callback receives as one JSON line.
// Usage: quorlin_example_host <kind 0-4> <en|cs> [seconds to wait, 300 if not given]
// Exit status 0 once the callback came, 1 when none came in time, 2 on a wrong command line.

#include <quorlin.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using ShowDialog = void (*)(bool, DialogCallback);

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;  // UTF-8 passes through
        }
    }
    return out + "\"";
}

}  // namespace

// Shared with the callback, which may still come after main has given up waiting.
struct Answer {
    std::mutex mutex;
    std::condition_variable arrived;
    bool done = false;
};

int main(int argc, char** argv) {
    const ShowDialog exports[] = {showFilesDialog, showFoldersDialog, showSaveDialog,
                                  showSelectfileDialog, showSelectfileFolderDialog};
    const int seconds = argc == 4 ? std::atoi(argv[3]) : 300;
    if ((argc != 3 && argc != 4) || std::strlen(argv[1]) != 1 || argv[1][0] < '0' ||
        argv[1][0] > '4' || (std::strcmp(argv[2], "en") != 0 && std::strcmp(argv[2], "cs") != 0) ||
        seconds <= 0) {
        std::fprintf(stderr, "usage: quorlin_example_host <kind 0-4> <en|cs> [seconds]\n");
        return 2;
    }
    const ShowDialog show = exports[argv[1][0] - '0'];
    const bool isChinese = std::strcmp(argv[2], "cs") == 0;

    const auto answer = std::make_shared<Answer>();
    show(isChinese, [answer](const std::string& directory, const std::vector<std::string>& names) {
        std::string line = "{\"directory\":" + jsonString(directory) + ",\"names\":[";
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i > 0) line += ',';
            line += jsonString(names[i]);
        }
        line += "]}\n";
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
        const std::lock_guard<std::mutex> guard(answer->mutex);
        answer->done = true;
        answer->arrived.notify_one();
    });
    std::unique_lock<std::mutex> lock(answer->mutex);
    if (answer->arrived.wait_for(lock, std::chrono::seconds(seconds),
                                 [&] { return answer->done; })) {
        return 0;
    }
    std::fprintf(stderr, "no answer from the dialog within %d s\n", seconds);
    std::fflush(stderr);
    // the dialog's threads still run: end at once, without running destructors under them
    std::_Exit(1);
}
