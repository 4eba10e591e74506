#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/purge/PurgeMethod.h"

class DriveChannel;

// What a drive says it can do to erase itself, read with commands that change
// nothing (NVMe Identify, ATA IDENTIFY DEVICE, SCSI INQUIRY and REPORT
// SUPPORTED OPERATION CODES) and from the block layer's discard limits.
// A member is absent where the drive was not asked (another transport) or
// did not answer.
struct DriveCapabilities {
  std::string device;     // the path the drive was read through
  std::string transport;  // "nvme", "ata", "scsi", or "" where no command set answered

  struct Nvme {
    std::uint32_t namespaceId = 0;
    bool formatSupported = false;           // OACS bit 1
    bool formatAllNamespaces = false;       // FNA bit 0: a format reaches every namespace
    bool cryptoEraseAllNamespaces = false;  // FNA bit 1
    bool formatCryptoErase = false;         // FNA bit 2
    bool sanitizeBlockErase = false;        // SANICAP bit 1
    bool sanitizeCryptoErase = false;       // SANICAP bit 0
    bool sanitizeOverwrite = false;         // SANICAP bit 2
    std::uint8_t deallocatedReads = 0;      // DLFEAT bits 2:0: 1 zeros, 2 0xFF, 0 not told
    std::uint8_t lbaFormat = 0;             // FLBAS: the LBA format a Format NVM keeps
    std::uint32_t namespaceCount = 0;       // NN: how many namespaces the controller can hold
  };
  struct Ata {
    bool sanitizeFeatureSet = false;      // word 59 bit 12
    bool sanitizeBlockErase = false;      // word 59 bit 15
    bool sanitizeCryptoScramble = false;  // word 59 bit 13
    bool sanitizeOverwrite = false;       // word 59 bit 14
    bool trim = false;                    // word 169 bit 0
    bool securitySupported = false;       // word 128 bit 0
    bool securityEnabled = false;         // word 128 bit 1
    bool securityLocked = false;          // word 128 bit 2
    bool securityFrozen = false;          // word 128 bit 3
  };
  struct Scsi {
    bool sanitize = false;  // SANITIZE reported by REPORT SUPPORTED OPERATION CODES
    bool sanitizeOverwrite = false;
    bool sanitizeBlockErase = false;
    bool sanitizeCryptoErase = false;
    bool unmap = false;  // Logical Block Provisioning VPD: LBPU
  };
  std::optional<Nvme> nvme;
  std::optional<Ata> ata;
  std::optional<Scsi> scsi;

  // The block layer's discard limits (Linux: /sys/block/X/queue/discard_*;
  // Windows: TRIM enabled per the seek-penalty and trim properties).
  std::uint64_t discardMaxBytes = 0;  // 0: the device takes no discard
  std::uint64_t discardGranularity = 0;

  std::vector<PurgeMethod> methods;  // what the drive reports it can do, strongest first
  std::vector<std::string> notes;    // plain words: "ATA security is frozen", ...
};

// {"device":..., "transport":...|null, "methods":[names], "nvme":{...}|null,
//  "ata":{...}|null, "scsi":{...}|null, "discard":{"maxBytes":N,"granularity":N},
//  "notes":[...]}
std::string CapabilitiesJson(const DriveCapabilities& capabilities);
// "purge: nvme-sanitize-crypto, nvme-format, discard" or "purge: none the drive reports".
// {"error":"..."}: the capabilities of a drive that could not be asked.
std::string CapabilitiesErrorJson(const std::string& error);
std::string DescribeCapabilities(const DriveCapabilities& capabilities);

// Asks the drive behind `channel` what it can do, with commands that change
// nothing: NVMe Identify Controller and Namespace when the channel is an NVMe
// namespace; else ATA IDENTIFY DEVICE, and where a SCSI disk refuses that,
// REPORT SUPPORTED OPERATION CODES for SANITIZE and the Logical Block
// Provisioning VPD page. Never fails: what did not answer stays absent.
DriveCapabilities ReadDriveCapabilities(DriveChannel& channel);
