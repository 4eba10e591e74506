#include "host/cli/DiskDriverSession.h"

// Linux writes disks through the block layer: no driver is loaded.
bool DiskDriverSession::Prepare(std::string*) { return true; }

bool DiskDriverSession::Stop(std::string*) { return true; }
