// Runs the URL-protocol registration check (and its repair when the check asks for one) as the tool
// does, from wherever this program was copied; exits with the check code. With "--short-path
// <path>" it prints the path's 8.3 form instead, for the tests that start it through that form.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include <pugixml.hpp>

#include "run_facts.h"
#include "win_associated_setup_checker.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--short-path") == 0) {
        char shortPath[MAX_PATH] = {};
        if (GetShortPathNameA(argv[2], shortPath, MAX_PATH) == 0) {
            return 102;
        }
        std::puts(shortPath);
        return 0;
    }
    pugi::xml_document document;
    if (!document.load_string(
            "<setup><win>"
            "<item1 key=\"HKEY_CLASSES_ROOT\" sub_key=\"%s\\shell\\open\\command\" "
            "data=\"%s-watch.exe %%1\" wtag=\"setup\" current_path_enable=\"1\"/>"
            "<item2 key=\"HKEY_CLASSES_ROOT\" sub_key=\"%s\" "
            "data=\"URL:%s Protocol\" wtag=\"url\" current_path_enable=\"0\"/>"
            "</win></setup>")) {
        return 100;
    }
    // the names as a run of tool.exe resolves them, from wherever this program lies
    const RunFacts facts = ResolveRunFacts();
    const std::unique_ptr<RepairLog> log = CreateRepairLog(kDefaultApplicationName);
    WinAssociatedSetupChecker checker({facts.programDirectory, facts.applicationName}, *log);
    checker.LoadConfig(document.child("setup"));
    const int check = checker.Check();
    if (check == CheckWrong && checker.Repair() != Repaired) {
        return 101;
    }
    return check;
}
