#pragma once

#include <string>

#include "host/devicemanager/DiskIdentity.h"

// What the device manager tells of a drive and of the machine
// (host/devicemanager/DiskIdentityExports.h), as the program reads it and
// shows it. Absent values stay absent: shown as "?", written as null
// (WriteDriveMembers, WriteMachineMembers).

// The device manager's JSON read into the records; false (the record left
// empty) when it is not such an object.
bool ParseDriveIdentity(const std::string& json, DiskIdentity* identity);
bool ParseMachineIdentity(const std::string& json, MachineIdentity* machine);

// "WDC WD10EZEX, serial WD-WCC3F0000001, sata, HDD": what a person reads to
// tell the drive; "?" for what is unknown.
std::string DescribeDrive(const DiskIdentity& identity);
// `text` cut to at most `columns` characters (UTF-8), never inside one.
std::string ShortText(const std::string& text, std::size_t columns);
// The last `count` characters of the serial (ASCII as serials are), ".."
// before them when cut; "?" when there is none.
std::string SerialTail(const DiskIdentity& identity, std::size_t count);
