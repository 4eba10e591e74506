#pragma once

#include <string>

// The settings vantrix-wipe reads from its configuration files
// (vantrix-wipe.conf: the system's, then the user's, see
// program_files::ConfigurationPaths), which the command line overrides. A
// file holds lines "key = value"; blank lines and lines starting with '#'
// are skipped.
struct ProgramConfig {
  std::string organisation;  // for whom the wipes are done
  std::string operatorName;  // who runs them

  // Reads `text` (from the file named `source`) over the settings held: a
  // key given replaces the value. False with the reason for an unknown key or
  // a line that is no "key = value"; the settings read before it stay.
  bool Read(const std::string& text, const std::string& source, std::string* error);

  // Reads every configuration file that exists, in order. False with the
  // reason when one cannot be read (not a regular file, unreadable) or is wrong.
  bool Load(std::string* error);
};
