// Starting programs and opening files the way the desktop does.
//
// These are the agent's stand-ins for the Windows shell: start a program
// without waiting for it, open a file with the handler the desktop associates
// with it (xdg-open), find a program on PATH, start the desktop's calculator,
// and name the folders the agent keeps files in. A started program is
// detached: it outlives the call, and a background thread reaps it when it
// ends so that no zombie is left behind. The functions keep no state and may
// be called from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace os {

// Starts `program` (a path, or a name looked up on PATH) with `arguments`
// and returns at once. False when the program could not be started.
bool StartProgram(const std::string& program, const std::vector<std::string>& arguments);

// Opens `path` with the desktop's handler for it (xdg-open). False when the
// handler could not be started; what the handler then does is its own
// business.
bool OpenWithDefaultHandler(const std::string& path);

// The full path of the first executable file `name` in the folders of
// `searchPath` (a PATH-style list separated by ':'); an empty folder entry
// means the current folder. A `name` containing '/' is returned as it is
// when it is executable.
std::optional<std::string> FindOnPath(const std::string& name, const std::string& searchPath);

// FindOnPath with the PATH of the environment.
std::optional<std::string> FindOnPath(const std::string& name);

// The calculators tried, in order of preference.
const std::vector<std::string>& CalculatorCandidates();

// Starts the first calculator of CalculatorCandidates() found on PATH. False
// when none is found or it could not be started.
bool StartCalculator();

// The folder of the running program file (from /proc/self/exe); the current
// folder when that cannot be read.
std::string ExecutableDirectory();

// The user's data folder: $XDG_DATA_HOME, else $HOME/.local/share; empty
// when not even HOME is set (a shared folder such as /tmp is no stand-in:
// other users could plant files there first).
std::string UserDataDirectory();

}  // namespace os
