// Times whole runs of tool.exe against starts of a trivial program of the same kind (graphical,
// static), both copied into a fresh folder, and prints the medians. The machine state that tool.exe
// repairs is put back at the end.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "machine_state.h"
#include "wine_support.h"

namespace {

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

struct Timing {
    std::vector<double> runs;
    int nonzeroExits = 0;
};

Timing TimeRuns(const std::string& program, const std::string& arguments, const std::string& folder,
                int count) {
    Timing timing;
    for (int i = 0; i < count; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const ProcessResult result = RunProgram(program, arguments, folder);
        QueryPerformanceCounter(&end);
        if (!result.started || result.exitCode != 0) {
            ++timing.nonzeroExits;
        }
        timing.runs.push_back(Milliseconds(start, end));
    }
    return timing;
}

void Print(const char* name, Timing timing) {
    std::sort(timing.runs.begin(), timing.runs.end());
    const std::size_t n = timing.runs.size();
    const double median =
        n % 2 ? timing.runs[n / 2] : (timing.runs[n / 2 - 1] + timing.runs[n / 2]) / 2.0;
    std::printf("%-26s runs %3zu  median %8.2f ms  min %8.2f ms  max %8.2f ms  nonzero exits %d\n",
                name, n, median, timing.runs.front(), timing.runs.back(), timing.nonzeroExits);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    MachineState saved;
    TempFolder folder;
    const std::string tool = folder.Path() + "tool.exe";
    const std::string trivial = folder.Path() + "trivial_program.exe";
    if (!CopyFileA((ProgramFolder() + "tool.exe").c_str(), tool.c_str(), FALSE) ||
        !CopyFileA((ProgramFolder() + "trivial_program.exe").c_str(), trivial.c_str(), FALSE)) {
        std::printf("tool.exe and trivial_program.exe must lie beside this program\n");
        return 1;
    }
    const std::string arguments = "--path report.html --lang en";

    // repairing from a bare machine once, so that the timed runs find every item correct
    MachineState::RemoveHosts();
    MachineState::RemoveRegistration();
    MachineState::SetDirectProxy();
    const Timing bare = TimeRuns(tool, arguments, folder.Path(), 1);
    TimeRuns(trivial, "", folder.Path(), 2);  // warm-up

    std::printf("%d runs each, programs in %s\n", count, folder.Path().c_str());
    Print("trivial program start", TimeRuns(trivial, "", folder.Path(), count));
    Print("tool.exe, all correct", TimeRuns(tool, arguments, folder.Path(), count));
    Print("tool.exe, bad arguments", TimeRuns(tool, "--path", folder.Path(), count));
    Print("tool.exe, first repair", bare);
    return 0;
}
