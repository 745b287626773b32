// Runs the real show (or the offline renderer) as a child process with its
// own environment and content folder, and says how it ended: exit status or
// signal, whether it was still running when it was asked to stop, what it
// wrote on stderr, how long its reports took and its peak memory. Several runs can go at once (the machine running the
// tests has few cores, so the caller picks how many). Also builds damaged
// copies of the content folder for the bad-content matrix.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct ShowRun {
    std::string name;                    // the case, for failure messages
    std::string program;                 // absolute path of the executable
    std::vector<std::string> args;       // arguments after the program name
    std::vector<std::string> env;        // "NAME=value" added, "NAME=" removed
    // Stop request (SIGTERM) once every one of these appears on stderr and
    // `settle` has passed after that; with none, after `settle` from start.
    std::vector<std::string> stopAfterText;
    std::chrono::milliseconds settle{2500};
    bool stop = true;                    // false: let it end by itself
    std::chrono::seconds limit{60};      // then it is killed and counted as hung

    // Outcome.
    bool started = false;
    bool hung = false;              // killed at the limit
    bool exitedBeforeStop = false;  // ended before the stop request went out
    bool signalled = false;         // ended by a signal (a crash, or the kill)
    int signal = 0;
    int exitCode = -1;
    std::string stderrText;
    long peakRssKb = 0;  // largest resident set of the whole run (kB), from wait4
    // From the start until every `stopAfterText` fragment was on stderr;
    // negative when they never all appeared.
    std::chrono::milliseconds reportedAfter{-1};
    long peakAtReportsKb = 0;  // largest resident set (kB) up to that moment
};

// Runs every case, at most `parallel` at a time, and fills in the outcomes.
void runShows(std::vector<ShowRun>& runs, int parallel);

// The lines of `text` that contain `fragment`.
std::vector<std::string> linesWith(const std::string& text, const std::string& fragment);

// A fresh, empty scratch folder under the test's temporary folder.
std::string scratchFolder(const std::string& name);
// Copies every file of the built content folder into `folder`/Data.
// Returns the new Data folder's path.
std::string copyContent(const std::string& folder);

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The built program and content folder (as the build and CTest name them).
std::string binaryFolder();
std::string builtDataFolder();
