#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "host/devicemanager/DiskIdentity.h"

// The binary records drives and firmware answer with, read into identities.
// They take the raw bytes (so that tests feed recorded ones), check every
// length and offset before reading, and leave out what a record lacks.

// IOCTL_STORAGE_QUERY_PROPERTY, StorageDeviceProperty: a
// STORAGE_DEVICE_DESCRIPTOR, whose vendor, product, revision and serial are
// NUL-terminated texts at offsets it gives (0: none), and its bus type.
// Sets vendor, model, firmware, serial and transport.
void ParseStorageDeviceDescriptor(const unsigned char* bytes, std::size_t size,
                                  DiskIdentity* identity);

// StorageDeviceSeekPenaltyProperty: a DEVICE_SEEK_PENALTY_DESCRIPTOR. Sets
// rotational (a seek penalty means a spinning disk) when the record is whole.
void ParseSeekPenaltyDescriptor(const unsigned char* bytes, std::size_t size,
                                DiskIdentity* identity);

// The SCSI unit serial number page (VPD 0x80): 4-byte head, then the serial.
std::optional<std::string> ParseUnitSerialPage(const unsigned char* bytes, std::size_t size);

// The SMBIOS table as GetSystemFirmwareTable('RSMB') gives it (an 8-byte
// head, then the structures): the system information structure's
// manufacturer, product name and serial number.
MachineIdentity ParseSmbiosSystem(const unsigned char* bytes, std::size_t size);
