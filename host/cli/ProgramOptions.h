#pragma once

#include <string>
#include <vector>

// What the person asked vantrix-wipe to do, as read from the command line.
struct ProgramOptions {
  enum class Command {
    kFile,
    kFolder,
    kFreeSpace,
    kPartition,
    kDisk,
    kPurge,
    kDisks,
    kAlgorithms,
    kCheckReport,
    kCertificate,
    kVersion
  };

  Command command = Command::kVersion;
  std::string path;               // file, folder; the report of check-report, certificate
  int disk = -1;                  // free-space, partition; disk with one number
  std::vector<int> disks;         // disk: the numbers given, in order
  bool allDisks = false;          // disk --all: every disk not marked system, none mounted
  int partition = -1;             // free-space, partition
  std::string algorithm;          // partition, disk: a catalogue name or type number
  bool yes = false;               // partition, disk: no question
  bool verify = false;            // partition, disk: read the target back
  bool allowCopyOnWrite = false;  // file, folder: wipe in place where old bytes may stay
  bool json = false;
  std::string reportPath;
  std::string signKeyPath;      // --sign: the private key the report is signed with
  std::string certificatePath;  // --certificate, or certificate's -o
  std::string organisation;     // the report's; "" leaves the configuration's
  std::string operatorName;
  std::string publicKeyPath;         // check-report --key
  std::string purgeMethod = "auto";  // purge: a method name (host/purge/PurgeMethod.h)
  bool tryUnreported = false;        // purge: send a method the drive does not report

  bool IsWipe() const {
    return command == Command::kFile || command == Command::kFolder ||
           command == Command::kFreeSpace || command == Command::kPartition ||
           command == Command::kDisk;
  }
  bool IsDevice() const { return command == Command::kPartition || command == Command::kDisk; }
  // Several disks at once: reports go into a folder, one per disk.
  bool IsManyDisks() const { return command == Command::kDisk && (allDisks || disks.size() > 1); }
};

// Reads the command line into `options`. Returns -1 when the program is to
// go on; otherwise the exit status after printing help (0) or a usage error
// (kExitUsage) the way the parser words it.
int ParseProgramOptions(int argc, char** argv, ProgramOptions* options);
