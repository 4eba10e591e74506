#include "host/cli/ProgramOptions.h"

#include <algorithm>
#include <cstdio>

#include <CLI/CLI.hpp>

#include "host/cli/ExitCodes.h"

namespace {

constexpr const char kExitStatusHelp[] =
    "Exit status:\n"
    "  0  wiped (or the listing was printed)\n"
    "  1  the wipe failed: the error name and its text are printed\n"
    "  2  usage error\n"
    "  3  stopped by the user (Ctrl-C, SIGINT, SIGTERM)\n"
    "  4  refused: a system disk or partition, or no confirmation\n"
    "With several disks: 0 when all were wiped, else the most serious outcome (4, 3, 1).";

CLI::App* AddDevice(CLI::App& app, const char* name, const char* description,
                    ProgramOptions* options, bool withPartition) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("DISK", options->disk, "disk number, as `vantrix-wipe disks` lists it")
      ->required()
      ->check(CLI::NonNegativeNumber);
  if (withPartition) {
    command->add_option("PARTITION", options->partition, "partition number on that disk")
        ->required()
        ->check(CLI::NonNegativeNumber);
  }
  return command;
}

void AddDestructiveOptions(CLI::App* command, ProgramOptions* options) {
  command
      ->add_option("-a,--algorithm", options->algorithm,
                   "wipe algorithm: a name or type number from `vantrix-wipe algorithms`, "
                   "any case (default: eTypeWriteZero)")
      ->type_name("NAME|TYPE");
  command->add_flag("-y,--yes", options->yes, "do not ask for the disk number before wiping");
  command->add_flag("--verify", options->verify,
                    "after the wipe, read the whole target back through the system and check "
                    "every block against the algorithm's pattern");
}

// `disk` takes numbers or --all, each number once.
int CheckDiskNumbers(ProgramOptions* options) {
  const std::vector<int>& disks = options->disks;
  if (disks.empty() == !options->allDisks) {
    std::fprintf(stderr, "vantrix-wipe: disk takes disk numbers or --all (one of the two)\n");
    return kExitUsage;
  }
  for (std::size_t at = 0; at < disks.size(); ++at) {
    if (std::find(disks.begin(), disks.begin() + static_cast<std::ptrdiff_t>(at), disks[at]) !=
        disks.begin() + static_cast<std::ptrdiff_t>(at)) {
      std::fprintf(stderr, "vantrix-wipe: disk %d is named twice\n", disks[at]);
      return kExitUsage;
    }
  }
  if (disks.size() == 1) options->disk = disks[0];
  return -1;
}

}  // namespace

int ParseProgramOptions(int argc, char** argv, ProgramOptions* options) {
  using Command = ProgramOptions::Command;
  CLI::App app{"vantrix-wipe: destroys data beyond recovery with the Vantrix DataWipe module",
               "vantrix-wipe"};
  app.footer(kExitStatusHelp);
  app.fallthrough();
  app.require_subcommand(0, 1);
  bool version = false;
  app.add_flag("--version", version, "print the program's and the module's versions");
  app.add_flag("--json", options->json,
               "print every progress record as JSON, one per line, and a final summary object");
  app.add_option("--report", options->reportPath,
                 "write a JSON wipe report to this file when the wipe ends, whatever its outcome; "
                 "with several disks a folder (created if missing) that gets one report per "
                 "disk, named by its serial")
      ->type_name("FILE|DIR/");

  CLI::App* file = app.add_subcommand("file", "wipe one file and delete it");
  file->add_option("PATH", options->path, "the file")->required();
  CLI::App* folder = app.add_subcommand("folder", "wipe every file of a folder tree and delete it");
  folder->add_option("PATH", options->path, "the folder")->required();
  CLI::App* freeSpace = AddDevice(app, "free-space", "wipe the free space of a mounted partition",
                                  options, /*withPartition=*/true);
  CLI::App* partition = AddDevice(app, "partition", "wipe one partition of a disk (destructive)",
                                  options, /*withPartition=*/true);
  CLI::App* disk = app.add_subcommand("disk", "wipe whole disks, several at once (destructive)");
  disk->add_option("DISK", options->disks, "disk numbers, as `vantrix-wipe disks` lists them")
      ->check(CLI::NonNegativeNumber);
  disk->add_flag("--all", options->allDisks,
                 "every disk that is not marked SYSTEM and has no mounted partition");
  AddDestructiveOptions(partition, options);
  AddDestructiveOptions(disk, options);
  CLI::App* disks = app.add_subcommand("disks", "list the disks the device manager knows");
  CLI::App* algorithms = app.add_subcommand("algorithms", "list the wipe algorithms");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitWiped : kExitUsage;
  }
  const std::pair<CLI::App*, Command> commands[] = {{file, Command::kFile},
                                                    {folder, Command::kFolder},
                                                    {freeSpace, Command::kFreeSpace},
                                                    {partition, Command::kPartition},
                                                    {disk, Command::kDisk},
                                                    {disks, Command::kDisks},
                                                    {algorithms, Command::kAlgorithms}};
  for (const auto& [subcommand, command] : commands) {
    if (subcommand->parsed()) {
      options->command = command;
      return command == Command::kDisk ? CheckDiskNumbers(options) : -1;
    }
  }
  if (version) {
    options->command = Command::kVersion;
    return -1;
  }
  std::fprintf(stderr,
               "vantrix-wipe: a command is required (file, folder, free-space, partition, disk, "
               "disks, algorithms); see --help\n");
  return kExitUsage;
}
