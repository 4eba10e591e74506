#pragma once

// vantrix-wipe: parses the command line, loads the module as a host does and
// runs the chosen command. Returns the exit status (ExitCodes.h).
int RunWipeProgram(int argc, char** argv);
