#include "host/cli/ProgramOptions.h"

#include <algorithm>
#include <cstdio>

#include <CLI/CLI.hpp>

#include "host/cli/ExitCodes.h"

namespace {

constexpr const char kExitStatusHelp[] =
    "Exit status:\n"
    "  0  wiped or purged (or the listing was printed, the report holds, the certificate was "
    "written)\n"
    "  1  the wipe failed: the error name and its text are printed; or the report does not "
    "hold; a purge the read-back does not confirm\n"
    "  2  usage error; a --sign key or vantrix-wipe.conf that cannot be used\n"
    "  3  stopped by the user (Ctrl-C, SIGINT, SIGTERM)\n"
    "  4  refused: a system disk or partition, a mounted partition (purge), no confirmation,\n"
    "     a purge method the drive does not report or refuses, or a file on a\n"
    "     copy-on-write file system (see --allow-copy-on-write)\n"
    "  5  the wipe completed but its report could not be written\n"
    "With several disks: 0 when all were wiped, else the most serious outcome (4, 3, 1, 5).";

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

// What makes a report proof of erasure; signing and the certificate need a
// report to sign and to render.
void AddProofOptions(CLI::App& app, CLI::Option* report, ProgramOptions* options) {
  app.add_option("--sign", options->signKeyPath,
                 "sign the report with this ECDSA P-256 private key (PEM); the DER signature "
                 "goes to REPORT.sig")
      ->type_name("KEY.pem")
      ->needs(report);
  app.add_option("--certificate", options->certificatePath,
                 "write the wipe's PDF certificate here (a folder: one per report, named after it)")
      ->type_name("FILE.pdf")
      ->needs(report);
  app.add_option("--operator", options->operatorName,
                 "who runs the wipe, for the report (default: vantrix-wipe.conf)")
      ->type_name("NAME");
  app.add_option("--organisation", options->organisation,
                 "for whom the wipe is done, for the report (default: vantrix-wipe.conf)")
      ->type_name("NAME");
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
  CLI::Option* report =
      app.add_option("--report", options->reportPath,
                     "write a JSON wipe report to this file when the wipe ends, whatever its "
                     "outcome; with several disks a folder (created if missing) that gets one "
                     "report per disk, named by its serial")
          ->type_name("FILE|DIR/");
  AddProofOptions(app, report, options);

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
  for (CLI::App* onFiles : {file, folder}) {
    onFiles->add_flag("--allow-copy-on-write", options->allowCopyOnWrite,
                      "wipe in place even where the file system writes changed data elsewhere "
                      "(btrfs, zfs, f2fs, nilfs2, bcachefs, ReFS) or extents are shared; the "
                      "report then says the old bytes may remain");
  }
  AddDestructiveOptions(partition, options);
  AddDestructiveOptions(disk, options);
  CLI::App* purge = app.add_subcommand(
      "purge", "make a whole disk erase itself (sanitize, format, discard), then read it back");
  purge->add_option("DISK", options->disk, "disk number, as `vantrix-wipe disks` lists it")
      ->required()
      ->check(CLI::NonNegativeNumber);
  purge
      ->add_option("-m,--method", options->purgeMethod,
                   "auto (the strongest the drive reports), nvme-sanitize-block, "
                   "nvme-sanitize-crypto, nvme-sanitize-overwrite, nvme-format, "
                   "nvme-format-crypto, ata-sanitize-block, ata-sanitize-crypto, "
                   "scsi-sanitize-block, scsi-sanitize-crypto, scsi-sanitize-overwrite, discard "
                   "(the host overwrites every sector, then discards the whole disk)")
      ->type_name("METHOD");
  purge->add_flag("--try-unreported", options->tryUnreported,
                  "send the method even though the drive does not report it; the drive's "
                  "answer decides");
  purge->add_flag("-y,--yes", options->yes, "do not ask for the disk number before purging");
  purge->add_flag("--verify", options->verify,
                  "read every sector back afterwards (default: a spread sample, named in the "
                  "report)");
  CLI::App* disks = app.add_subcommand(
      "disks", "list the disks the device manager knows, with what each drive can do to purge");
  CLI::App* algorithms = app.add_subcommand("algorithms", "list the wipe algorithms");
  CLI::App* checkReport =
      app.add_subcommand("check-report", "check a wipe report's consistency and signature");
  checkReport->add_option("REPORT", options->path, "the report (JSON)")->required();
  checkReport
      ->add_option("--key", options->publicKeyPath,
                   "the signer's public key (PEM): check REPORT.sig and that the report names it")
      ->type_name("PUB.pem");
  CLI::App* certificate =
      app.add_subcommand("certificate", "render the PDF certificate of a wipe report");
  certificate->add_option("REPORT", options->path, "the report (JSON)")->required();
  certificate->add_option("-o,--output", options->certificatePath, "the certificate to write")
      ->required()
      ->type_name("FILE.pdf");

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
                                                    {purge, Command::kPurge},
                                                    {disks, Command::kDisks},
                                                    {algorithms, Command::kAlgorithms},
                                                    {checkReport, Command::kCheckReport},
                                                    {certificate, Command::kCertificate}};
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
               "purge, disks, algorithms, check-report, certificate); see --help\n");
  return kExitUsage;
}
