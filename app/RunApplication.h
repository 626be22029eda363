// The program's entry point as a reusable function: parses the command line, opens the display
// (or runs headless), makes the application with the given factory, creates and runs it.
#pragma once

#include <functional>
#include <memory>

#include "app/AppFramework.h"

// The options of the command line that the application interprets itself.
struct ApplicationOptions {
    unsigned grid = 0;  // --grid: fluid grid cells per axis, even, 4 to 64; 0 = the application's own
};

typedef std::function<std::unique_ptr<AppFramework>()> AppFactory;
typedef std::function<std::unique_ptr<AppFramework>(const ApplicationOptions&)> AppFactoryWithOptions;

// Exit status: Run's result after a normal close (0); 1 when the program could not start
// (no display without --headless, a failed Create), a fatal error ended it, a requested
// picture could not be taken or written, or standard output could not be written; 2 for a
// usage error. --help and --version print and return 0.
int RunApplication(int argc, char** argv, const AppFactory& factory);
int RunApplication(int argc, char** argv, const AppFactoryWithOptions& factory);

// The version --version prints.
const char* ProgramVersion();
