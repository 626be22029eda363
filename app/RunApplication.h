// The program's entry point as a reusable function: parses the command line, opens the display
// (or runs headless), makes the application with the given factory, creates and runs it.
#pragma once

#include <functional>
#include <memory>

#include "app/AppFramework.h"

typedef std::function<std::unique_ptr<AppFramework>()> AppFactory;

// Exit status: Run's result after a normal close (0); 1 when the program could not start
// (no display without --headless, a failed Create), a fatal error ended it, a requested
// picture could not be taken or written, or standard output could not be written; 2 for a
// usage error. --help and --version print and return 0.
int RunApplication(int argc, char** argv, const AppFactory& factory);

// The version --version prints.
const char* ProgramVersion();
