#include "host/cli/WipeProgram.h"

int main(int argc, char** argv) { return RunWipeProgram(argc, argv); }
