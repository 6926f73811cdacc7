// Asks Quorlin.dll for one dialog and prints what the callback receives as one JSON line.
// Usage: quorlin_example_host <kind 0-4> <en|cs>

#include <quorlin.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
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

int main(int argc, char** argv) {
    const ShowDialog exports[] = {showFilesDialog, showFoldersDialog, showSaveDialog,
                                  showSelectfileDialog, showSelectfileFolderDialog};
    if (argc != 3 || std::strlen(argv[1]) != 1 || argv[1][0] < '0' || argv[1][0] > '4' ||
        (std::strcmp(argv[2], "en") != 0 && std::strcmp(argv[2], "cs") != 0)) {
        std::fprintf(stderr, "usage: quorlin_example_host <kind 0-4> <en|cs>\n");
        return 2;
    }
    const ShowDialog show = exports[argv[1][0] - '0'];
    const bool isChinese = std::strcmp(argv[2], "cs") == 0;

    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    show(isChinese, [&](const std::string& directory, const std::vector<std::string>& names) {
        std::string line = "{\"directory\":" + jsonString(directory) + ",\"names\":[";
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i > 0) line += ',';
            line += jsonString(names[i]);
        }
        line += "]}\n";
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
        const std::lock_guard<std::mutex> guard(mutex);
        done = true;
        answered.notify_one();
    });
    std::unique_lock<std::mutex> lock(mutex);
    answered.wait(lock, [&] { return done; });
    return 0;
}
