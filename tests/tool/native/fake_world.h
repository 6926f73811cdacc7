#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "outcomes.h"
#include "platform.h"
#include "repair_log.h"

// What the fake checkers and the fake platform seams of the native tests do, and what they saw.
struct FakeChecker {
    int loadResult = ConfigLoaded;
    int check = CheckCorrect;
    int repair = Repaired;
};

struct FakeWorld {
    // every checker call and every seam call, in order: "hosts.Check", "certificate"...
    std::vector<std::string> journal;
    FakeChecker hosts;
    FakeChecker setup;
    FakeChecker proxy;
    bool hostsFactoryYieldsNothing = false;

    std::string moduleFileName = "C:\\Program Files\\Brevant\\tool.exe";
    // path -> its long form; a path not listed is its own
    std::map<std::string, std::string> longPaths;
    // path -> bytes, files of the fake world; a path not listed is read from the disk
    std::map<std::string, std::string> files;
    std::vector<std::string> filesRead;
    // files that are there but cannot be read (held by another program)
    std::set<std::string> unreadableFiles;
    // whether LockMachine gets the machine lock
    bool lockGiven = true;
    // the names each setup checker was made with: "<folder or (unknown)> <name>"
    std::vector<std::string> setupNames;
    // file name -> "setting"/"language" value; a file not listed has no such key
    std::map<std::string, std::string> languageValues;
    std::vector<std::string> profileFilesRead;

    CertificateStatus certificate = CertificateStatus::Unloadable;
    std::vector<std::string> certificatePaths;

    // the folder of each repair log made, and the events appended to any
    std::vector<std::string> logFolders;
    std::vector<std::string> logged;
};

// A repair log that keeps its events in the world.
RepairLog& Log();

// The one world of the test program; Reset before each test.
FakeWorld& World();
void ResetWorld();
