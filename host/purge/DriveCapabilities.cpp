#include "host/purge/DriveCapabilities.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>

#include "host/purge/DriveAnswerWords.h"
#include "host/purge/DriveChannel.h"
#include "host/purge/DriveCommands.h"

namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

constexpr std::uint8_t kScsiSanitize = 0x48;
constexpr std::uint8_t kScsiSanitizeOverwriteAction = 1;
constexpr std::uint8_t kScsiSanitizeBlockEraseAction = 2;
constexpr std::uint8_t kScsiSanitizeCryptoEraseAction = 3;
constexpr std::uint8_t kLogicalBlockProvisioningPage = 0xB2;
constexpr std::size_t kIdentifyNamespaceCount = 516;  // NN, bytes 519:516

void Flag(Writer& json, const char* key, bool value) {
  json.Key(key);
  json.Bool(value);
}

void Number(Writer& json, const char* key, std::uint64_t value) {
  json.Key(key);
  json.Uint64(value);
}

void WriteNvme(Writer& json, const DriveCapabilities::Nvme& nvme) {
  json.StartObject();
  Number(json, "namespaceId", nvme.namespaceId);
  Flag(json, "formatSupported", nvme.formatSupported);
  Flag(json, "formatAllNamespaces", nvme.formatAllNamespaces);
  Flag(json, "cryptoEraseAllNamespaces", nvme.cryptoEraseAllNamespaces);
  Flag(json, "formatCryptoErase", nvme.formatCryptoErase);
  Flag(json, "sanitizeBlockErase", nvme.sanitizeBlockErase);
  Flag(json, "sanitizeCryptoErase", nvme.sanitizeCryptoErase);
  Flag(json, "sanitizeOverwrite", nvme.sanitizeOverwrite);
  Number(json, "deallocatedReads", nvme.deallocatedReads);
  Number(json, "lbaFormat", nvme.lbaFormat);
  Number(json, "namespaceCount", nvme.namespaceCount);
  json.EndObject();
}

void WriteAta(Writer& json, const DriveCapabilities::Ata& ata) {
  json.StartObject();
  Flag(json, "sanitizeFeatureSet", ata.sanitizeFeatureSet);
  Flag(json, "sanitizeBlockErase", ata.sanitizeBlockErase);
  Flag(json, "sanitizeCryptoScramble", ata.sanitizeCryptoScramble);
  Flag(json, "sanitizeOverwrite", ata.sanitizeOverwrite);
  Flag(json, "trim", ata.trim);
  Flag(json, "securitySupported", ata.securitySupported);
  Flag(json, "securityEnabled", ata.securityEnabled);
  Flag(json, "securityLocked", ata.securityLocked);
  Flag(json, "securityFrozen", ata.securityFrozen);
  json.EndObject();
}

void WriteScsi(Writer& json, const DriveCapabilities::Scsi& scsi) {
  json.StartObject();
  Flag(json, "sanitize", scsi.sanitize);
  Flag(json, "sanitizeOverwrite", scsi.sanitizeOverwrite);
  Flag(json, "sanitizeBlockErase", scsi.sanitizeBlockErase);
  Flag(json, "sanitizeCryptoErase", scsi.sanitizeCryptoErase);
  Flag(json, "unmap", scsi.unmap);
  json.EndObject();
}

template <typename Member, typename Write>
void OptionalMember(Writer& json, const char* key, const std::optional<Member>& member,
                    Write write) {
  json.Key(key);
  if (member) {
    write(json, *member);
  } else {
    json.Null();
  }
}

std::uint32_t LittleEndian32(const std::vector<std::uint8_t>& data, std::size_t at) {
  if (data.size() < at + 4) return 0;
  return static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8 |
         static_cast<std::uint32_t>(data[at + 2]) << 16 |
         static_cast<std::uint32_t>(data[at + 3]) << 24;
}

void ReadNvme(DriveChannel& channel, DriveCapabilities* capabilities) {
  const NvmeAdminCommand identify = NvmeIdentifyController();
  const DriveChannel::Answer controller = channel.SendNvme(identify);
  const DriveAnswer words = NvmeAnswerWords(identify.name, controller);
  NvmeControllerFacts facts;
  if (!words.accepted ||
      !DecodeNvmeController(controller.data.data(), controller.data.size(), &facts)) {
    capabilities->notes.push_back("the NVMe controller did not answer Identify" +
                                  (words.answer.empty() ? "" : ": " + words.answer));
    return;
  }
  capabilities->transport = "nvme";
  DriveCapabilities::Nvme nvme;
  nvme.namespaceId = channel.NvmeNamespace();
  nvme.formatSupported = facts.formatSupported;
  nvme.formatAllNamespaces = (facts.formatAttributes & 0x1) != 0;
  nvme.cryptoEraseAllNamespaces = (facts.formatAttributes & 0x2) != 0;
  nvme.formatCryptoErase = (facts.formatAttributes & 0x4) != 0;
  nvme.sanitizeCryptoErase = (facts.sanitizeCapabilities & 0x1) != 0;
  nvme.sanitizeBlockErase = (facts.sanitizeCapabilities & 0x2) != 0;
  nvme.sanitizeOverwrite = (facts.sanitizeCapabilities & 0x4) != 0;
  nvme.namespaceCount = LittleEndian32(controller.data, kIdentifyNamespaceCount);

  const NvmeAdminCommand identifyNamespace = NvmeIdentifyNamespace(nvme.namespaceId);
  const DriveChannel::Answer space = channel.SendNvme(identifyNamespace);
  NvmeNamespaceFacts namespaceFacts;
  if (NvmeAnswerWords(identifyNamespace.name, space).accepted &&
      DecodeNvmeNamespace(space.data.data(), space.data.size(), &namespaceFacts)) {
    nvme.deallocatedReads = namespaceFacts.deallocatedReads;
    nvme.lbaFormat = namespaceFacts.lbaFormat;
  } else {
    // Without the LBA format in use a Format NVM could change the block size.
    nvme.formatSupported = false;
    capabilities->notes.push_back("the namespace did not answer Identify: no format offered");
  }
  if (nvme.formatAllNamespaces)
    capabilities->notes.push_back("a format reaches every namespace of the controller (FNA bit 0)");
  if (nvme.cryptoEraseAllNamespaces)
    capabilities->notes.push_back(
        "a cryptographic erase reaches every namespace of the controller (FNA bit 1)");
  capabilities->nvme = nvme;
}

void ReadScsi(DriveChannel& channel, DriveCapabilities* capabilities) {
  capabilities->transport = "scsi";
  DriveCapabilities::Scsi scsi;
  const std::pair<std::uint8_t, bool*> actions[] = {
      {kScsiSanitizeOverwriteAction, &scsi.sanitizeOverwrite},
      {kScsiSanitizeBlockEraseAction, &scsi.sanitizeBlockErase},
      {kScsiSanitizeCryptoEraseAction, &scsi.sanitizeCryptoErase}};
  for (const auto& [action, supported] : actions) {
    const ScsiCommand ask = ScsiReportSupportedOperation(kScsiSanitize, action);
    const DriveChannel::Answer answer = channel.SendScsi(ask);
    *supported = ScsiAnswerWords(ask.name, answer).accepted &&
                 DecodeOperationSupported(answer.data.data(), answer.data.size());
    scsi.sanitize = scsi.sanitize || *supported;
  }
  const ScsiCommand vpd = ScsiInquiryVpd(kLogicalBlockProvisioningPage, 64);
  const DriveChannel::Answer provisioning = channel.SendScsi(vpd);
  scsi.unmap = ScsiAnswerWords(vpd.name, provisioning).accepted &&
               DecodeUnmapSupported(provisioning.data.data(), provisioning.data.size());
  if (scsi.unmap && capabilities->discardMaxBytes == 0)
    capabilities->notes.push_back("the drive reports UNMAP but the system takes no discard for it");
  capabilities->scsi = scsi;
}

void ReadAtaOrScsi(DriveChannel& channel, DriveCapabilities* capabilities) {
  const AtaCommand identify = AtaIdentifyDevice();
  const DriveChannel::Answer answer = channel.SendAta(identify);
  if (!answer.delivered) {
    capabilities->notes.push_back("the device carries no drive commands: " + answer.systemError);
    return;
  }
  AtaIdentifyFacts facts;
  if (!AtaAnswerWords(identify.name, answer).accepted ||
      !DecodeAtaIdentify(answer.data.data(), answer.data.size(), &facts)) {
    ReadScsi(channel, capabilities);  // a SCSI disk refuses the ATA command
    return;
  }
  capabilities->transport = "ata";
  DriveCapabilities::Ata ata;
  ata.sanitizeFeatureSet = facts.sanitizeFeatureSet;
  ata.sanitizeBlockErase = facts.sanitizeFeatureSet && facts.sanitizeBlockErase;
  ata.sanitizeCryptoScramble = facts.sanitizeFeatureSet && facts.sanitizeCryptoScramble;
  ata.sanitizeOverwrite = facts.sanitizeFeatureSet && facts.sanitizeOverwrite;
  ata.trim = facts.trim;
  ata.securitySupported = facts.securitySupported;
  ata.securityEnabled = facts.securityEnabled;
  ata.securityLocked = facts.securityLocked;
  ata.securityFrozen = facts.securityFrozen;
  if (ata.securityFrozen) capabilities->notes.push_back("ATA security is frozen");
  if (ata.securityLocked)
    capabilities->notes.push_back("ATA security is locked: the drive refuses reads and writes");
  if (ata.trim && capabilities->discardMaxBytes == 0)
    capabilities->notes.push_back("the drive reports TRIM but the system takes no discard for it");
  capabilities->ata = ata;
}

void ListMethods(DriveCapabilities* capabilities) {
  std::vector<PurgeMethod>& methods = capabilities->methods;
  if (const auto& nvme = capabilities->nvme) {
    if (nvme->sanitizeBlockErase) methods.push_back(PurgeMethod::kNvmeSanitizeBlockErase);
    if (nvme->sanitizeCryptoErase) methods.push_back(PurgeMethod::kNvmeSanitizeCryptoErase);
    if (nvme->sanitizeOverwrite) methods.push_back(PurgeMethod::kNvmeSanitizeOverwrite);
    if (nvme->formatSupported) methods.push_back(PurgeMethod::kNvmeFormatUserData);
    if (nvme->formatSupported && nvme->formatCryptoErase)
      methods.push_back(PurgeMethod::kNvmeFormatCrypto);
  }
  if (const auto& ata = capabilities->ata) {
    if (ata->sanitizeBlockErase) methods.push_back(PurgeMethod::kAtaSanitizeBlockErase);
    if (ata->sanitizeCryptoScramble) methods.push_back(PurgeMethod::kAtaSanitizeCryptoScramble);
  }
  if (const auto& scsi = capabilities->scsi) {
    if (scsi->sanitizeBlockErase) methods.push_back(PurgeMethod::kScsiSanitizeBlockErase);
    if (scsi->sanitizeCryptoErase) methods.push_back(PurgeMethod::kScsiSanitizeCryptoErase);
    if (scsi->sanitizeOverwrite) methods.push_back(PurgeMethod::kScsiSanitizeOverwrite);
  }
  if (capabilities->discardMaxBytes > 0) methods.push_back(PurgeMethod::kDiscard);
  const std::vector<PurgeMethod>& order = AllPurgeMethods();
  const auto rank = [&order](PurgeMethod method) {
    return std::find(order.begin(), order.end(), method) - order.begin();
  };
  std::sort(methods.begin(), methods.end(),
            [&rank](PurgeMethod a, PurgeMethod b) { return rank(a) < rank(b); });
}

}  // namespace

DriveCapabilities ReadDriveCapabilities(DriveChannel& channel) {
  DriveCapabilities capabilities;
  capabilities.device = channel.Device();
  capabilities.discardMaxBytes = channel.DiscardMaxBytes();
  capabilities.discardGranularity = channel.DiscardGranularity();
  if (channel.IsNvme()) {
    ReadNvme(channel, &capabilities);
  } else {
    ReadAtaOrScsi(channel, &capabilities);
  }
  ListMethods(&capabilities);
  return capabilities;
}

std::string CapabilitiesJson(const DriveCapabilities& capabilities) {
  rapidjson::StringBuffer buffer;
  Writer json(buffer);
  json.StartObject();
  json.Key("device");
  json.String(capabilities.device.c_str(),
              static_cast<rapidjson::SizeType>(capabilities.device.size()));
  json.Key("transport");
  if (capabilities.transport.empty()) {
    json.Null();
  } else {
    json.String(capabilities.transport.c_str());
  }
  json.Key("methods");
  json.StartArray();
  for (PurgeMethod method : capabilities.methods) json.String(PurgeMethodName(method));
  json.EndArray();
  OptionalMember(json, "nvme", capabilities.nvme, WriteNvme);
  OptionalMember(json, "ata", capabilities.ata, WriteAta);
  OptionalMember(json, "scsi", capabilities.scsi, WriteScsi);
  json.Key("discard");
  json.StartObject();
  Number(json, "maxBytes", capabilities.discardMaxBytes);
  Number(json, "granularity", capabilities.discardGranularity);
  json.EndObject();
  json.Key("notes");
  json.StartArray();
  for (const std::string& note : capabilities.notes)
    json.String(note.c_str(), static_cast<rapidjson::SizeType>(note.size()));
  json.EndArray();
  json.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string CapabilitiesErrorJson(const std::string& error) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> json(buffer);
  json.StartObject();
  json.Key("error");
  json.String(error.c_str(), static_cast<rapidjson::SizeType>(error.size()));
  json.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string DescribeCapabilities(const DriveCapabilities& capabilities) {
  if (capabilities.methods.empty()) return "purge: none the drive reports";
  std::string text = "purge: ";
  for (std::size_t at = 0; at < capabilities.methods.size(); ++at) {
    if (at > 0) text += ", ";
    text += PurgeMethodName(capabilities.methods[at]);
  }
  return text;
}
