#include "host/purge/DrivePurger.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "host/purge/DriveAnswerWords.h"
#include "host/purge/DriveChannel.h"
#include "host/purge/DriveCommands.h"

namespace {

constexpr std::size_t kBlockBytes = 4u << 20;  // the unit of the overwrite and of reads
constexpr std::size_t kBufferAlignment = 4096;
constexpr std::uint64_t kMiB = 1u << 20;
constexpr std::uint64_t kSampleRangeBytes = 64u << 10;
constexpr std::uint64_t kSampleRanges = 256;
constexpr int kPollsBeforeGivingUp = 3;  // status that says no operation ran
constexpr std::uint32_t kFormatTimeoutSeconds = 6 * 3600;

// A buffer for reads and writes past the system's cache.
class AlignedBuffer {
 public:
  explicit AlignedBuffer(std::size_t bytes)
      : m_bytes(
            static_cast<std::uint8_t*>(::operator new(bytes, std::align_val_t(kBufferAlignment)))) {
  }
  ~AlignedBuffer() { ::operator delete(m_bytes, std::align_val_t(kBufferAlignment)); }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;
  std::uint8_t* get() const { return m_bytes; }

 private:
  std::uint8_t* m_bytes;
};

// The host's overwrite before a discard: 64-bit words of a generator keyed
// per run, each a function of its byte offset, so that a sector read back
// can be recognised as the overwrite wherever it lies.
class OverwriteStream {
 public:
  explicit OverwriteStream(std::uint64_t key) : m_key(key) {}
  // `offset` and `bytes` are multiples of 8.
  void Fill(std::uint64_t offset, std::uint8_t* bytes, std::size_t size) const {
    for (std::size_t at = 0; at < size; at += 8) {
      const std::uint64_t word = Word((offset + at) / 8);
      std::memcpy(bytes + at, &word, sizeof(word));
    }
  }
  bool Matches(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) const {
    for (std::size_t at = 0; at < size; at += 8) {
      const std::uint64_t word = Word((offset + at) / 8);
      if (std::memcmp(bytes + at, &word, sizeof(word)) != 0) return false;
    }
    return true;
  }

 private:
  // splitmix64 at position `index` of the sequence started at the key.
  std::uint64_t Word(std::uint64_t index) const {
    std::uint64_t z = m_key + (index + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t m_key;
};

std::uint64_t NewKey() {
  std::random_device source;
  return static_cast<std::uint64_t>(source()) << 32 ^ source();
}

// Whether every byte is 0x00, or every byte 0xFF: compared piece by piece
// with a block of that byte (memcmp runs at memory speed), so the read-back
// keeps up with the drive.
bool Uniform(const std::uint8_t* bytes, std::size_t size) {
  constexpr std::size_t kPiece = 64u << 10;
  static const std::vector<std::uint8_t> zeros(kPiece, 0x00), ones(kPiece, 0xFF);
  if (bytes[0] != 0x00 && bytes[0] != 0xFF) return false;
  const std::uint8_t* expected = bytes[0] == 0x00 ? zeros.data() : ones.data();
  for (std::size_t at = 0; at < size; at += kPiece) {
    if (std::memcmp(bytes + at, expected, std::min(kPiece, size - at)) != 0) return false;
  }
  return true;
}

// FNV-1a over 64-bit words: tells whether a range changed.
std::uint64_t Fingerprint(std::uint64_t hash, const std::uint8_t* bytes, std::size_t size) {
  for (std::size_t at = 0; at + 8 <= size; at += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + at, sizeof(word));
    hash = (hash ^ word) * 0x100000001B3ull;
  }
  return hash;
}

struct Range {
  std::uint64_t offset;
  std::uint64_t bytes;
};

// The first and last MiB and kSampleRanges ranges spread evenly between
// them, in whole sectors, overlaps merged, cut in pieces of 64 KiB.
std::vector<Range> SampleRanges(std::uint64_t size, std::uint32_t sector) {
  std::vector<Range> ranges;
  const auto add = [&](std::uint64_t offset, std::uint64_t bytes) {
    offset = offset / sector * sector;
    if (offset >= size) return;
    bytes = std::min(bytes, size - offset) / sector * sector;
    if (bytes > 0) ranges.push_back({offset, bytes});
  };
  add(0, kMiB);
  for (std::uint64_t at = 1; at <= kSampleRanges; ++at)
    add(size / (kSampleRanges + 1) * at, kSampleRangeBytes);
  add(size > kMiB ? size - kMiB : 0, kMiB);
  std::sort(ranges.begin(), ranges.end(),
            [](const Range& a, const Range& b) { return a.offset < b.offset; });
  std::vector<Range> merged;
  for (const Range& range : ranges) {
    if (!merged.empty() && range.offset <= merged.back().offset + merged.back().bytes) {
      Range& last = merged.back();
      last.bytes = std::max(last.offset + last.bytes, range.offset + range.bytes) - last.offset;
    } else {
      merged.push_back(range);
    }
  }
  // Judged in pieces of the spread ranges' size, however the ranges merged.
  std::vector<Range> pieces;
  for (const Range& range : merged) {
    for (std::uint64_t at = 0; at < range.bytes; at += kSampleRangeBytes)
      pieces.push_back({range.offset + at, std::min(kSampleRangeBytes, range.bytes - at)});
  }
  return pieces;
}

std::vector<Range> WholeRanges(std::uint64_t size) {
  std::vector<Range> ranges;
  for (std::uint64_t offset = 0; offset < size; offset += kBlockBytes)
    ranges.push_back({offset, std::min<std::uint64_t>(kBlockBytes, size - offset)});
  return ranges;
}

bool IsNvmeMethod(PurgeMethod method) {
  return method >= PurgeMethod::kNvmeSanitizeBlockErase && method <= PurgeMethod::kNvmeFormatCrypto;
}
bool IsNvmeSanitize(PurgeMethod method) {
  return method >= PurgeMethod::kNvmeSanitizeBlockErase &&
         method <= PurgeMethod::kNvmeSanitizeOverwrite;
}
bool IsNvmeFormat(PurgeMethod method) {
  return method == PurgeMethod::kNvmeFormatUserData || method == PurgeMethod::kNvmeFormatCrypto;
}
bool IsAtaMethod(PurgeMethod method) {
  return method == PurgeMethod::kAtaSanitizeBlockErase ||
         method == PurgeMethod::kAtaSanitizeCryptoScramble;
}
bool IsScsiMethod(PurgeMethod method) {
  return method >= PurgeMethod::kScsiSanitizeBlockErase &&
         method <= PurgeMethod::kScsiSanitizeOverwrite;
}

std::string AllMethodNames() {
  std::string names;
  for (PurgeMethod method : AllPurgeMethods())
    names += (names.empty() ? "" : ", ") + std::string(PurgeMethodName(method));
  return names;
}

// How waiting for a command the drive runs by itself ended.
enum class Waited { kRunning, kDone, kFailed, kStopped, kUntold, kTimedOut };

// One purge of one drive, over its open channel.
class PurgeRun {
 public:
  PurgeRun(DriveChannel& channel, const PurgeRequest& request, const PurgePolling& polling,
           PurgeResult* result)
      : m_channel(channel), m_request(request), m_polling(polling), m_result(*result) {}

  void Run() {
    if (!CheckSize()) return;
    const DriveCapabilities capabilities = ReadDriveCapabilities(m_channel);
    if (!ChooseMethod(capabilities)) return;
    const PurgeMethod method = m_result.method;
    const bool crypto = IsCryptographicPurge(method);
    const std::vector<Range> ranges = m_request.readWhole
                                          ? WholeRanges(m_channel.SizeBytes())
                                          : SampleRanges(m_channel.SizeBytes(), Sector());
    std::vector<std::uint64_t> before;
    if (crypto && !ReadFingerprints(ranges, &before)) return;

    std::string commandTrouble;  // why the command's effect is in doubt
    if (method == PurgeMethod::kDiscard) {
      m_key = NewKey();
      if (!OverwriteAndDiscard()) return;
    } else {
      const char* stage = IsNvmeFormat(method) ? "format" : "sanitize";
      if (!Progress(0, stage)) {
        Finish("stopped", "stopped before anything was sent");
        return;
      }
      const DriveChannel::Answer answer = SendPurgeCommand(capabilities);
      const DriveAnswer& words = m_result.answers.back();
      if (answer.delivered && !words.accepted) {
        Finish("refused", "the drive refused " + words.command + ": " + words.answer);
        return;
      }
      m_result.driveChanged = true;
      if (!answer.delivered) {
        commandTrouble = "the system could not carry " + words.command + " (" + answer.systemError +
                         "); the drive may have started it";
      } else if (!Wait(&commandTrouble)) {
        return;
      }
    }
    if (!ReadBack(ranges, crypto ? &before : nullptr)) return;
    Judge(commandTrouble);
  }

 private:
  std::uint32_t Sector() const { return std::max<std::uint32_t>(m_channel.SectorBytes(), 512); }

  bool Progress(double done, const char* stage) {
    return !m_request.progress || m_request.progress(std::min(1.0, std::max(0.0, done)), stage);
  }

  void Finish(const char* outcome, const std::string& message) {
    m_result.outcome = outcome;
    m_result.message = message;
  }

  bool CheckSize() {
    if (m_channel.SizeBytes() != m_request.expectedBytes) {
      Finish("refused", m_request.device + " holds " + std::to_string(m_channel.SizeBytes()) +
                            " bytes, not the " + std::to_string(m_request.expectedBytes) +
                            " confirmed: nothing was sent");
      return false;
    }
    if (m_request.expectedSectorBytes != 0 &&
        m_channel.SectorBytes() != m_request.expectedSectorBytes) {
      Finish("refused", m_request.device + " has sectors of " +
                            std::to_string(m_channel.SectorBytes()) + " bytes, not the " +
                            std::to_string(m_request.expectedSectorBytes) +
                            " confirmed: nothing was sent");
      return false;
    }
    return true;
  }

  bool ChooseMethod(const DriveCapabilities& capabilities) {
    PurgeMethod method = m_request.method;
    const auto& reported = capabilities.methods;
    if (method == PurgeMethod::kAuto) {
      if (reported.empty()) {
        Finish("refused", "the drive reports none of the purge methods (" + AllMethodNames() +
                              "): nothing was sent");
        return false;
      }
      method = reported.front();
    }
    m_result.method = method;
    const std::string name = PurgeMethodName(method);
    std::string refusal;
    if (std::find(reported.begin(), reported.end(), method) == reported.end() &&
        !m_request.tryUnreported) {
      refusal = "the drive does not report " + name + "; give --try-unreported to send it anyway";
    } else if (IsNvmeMethod(method) && !m_channel.IsNvme()) {
      refusal = name + " is an NVMe command and " + m_request.device + " is no NVMe namespace";
    } else if ((IsAtaMethod(method) || IsScsiMethod(method)) &&
               (capabilities.transport == "" || capabilities.transport == "nvme")) {
      refusal = name + " cannot reach the drive: the device carries no ATA or SCSI commands";
    } else if (method == PurgeMethod::kDiscard && m_channel.DiscardMaxBytes() == 0) {
      refusal = "the device takes no discard";
    } else if (IsNvmeFormat(method) && !capabilities.nvme) {
      refusal = "the namespace's LBA format is unknown (Identify did not answer)";
    } else if (IsNvmeFormat(method) && capabilities.nvme->formatAllNamespaces &&
               capabilities.nvme->namespaceCount > 1) {
      refusal =
          "a format of this controller reaches all of its namespaces (FNA bit 0) and it "
          "can hold " +
          std::to_string(capabilities.nvme->namespaceCount) +
          ": other namespaces would be erased too";
    }
    if (refusal.empty()) return true;
    Finish("refused", refusal + "; nothing was sent");
    return false;
  }

  // Reads `ranges` in blocks, handing each to `take` (index, offset, bytes,
  // size). The next block is read on a thread of its own while `take` looks
  // at the current one; one read is in flight at a time, so the channel is
  // used by one thread at a time.
  template <typename Take>
  bool ReadRanges(const std::vector<Range>& ranges, const char* stage, Take take,
                  std::string* error) {
    struct Block {
      std::size_t index;
      std::uint64_t offset;
      std::size_t size;
    };
    std::vector<Block> blocks;
    std::uint64_t total = 0, done = 0;
    for (std::size_t index = 0; index < ranges.size(); ++index) {
      const Range& range = ranges[index];
      total += range.bytes;
      for (std::uint64_t at = 0; at < range.bytes; at += kBlockBytes) {
        blocks.push_back(
            {index, range.offset + at,
             static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, range.bytes - at))});
      }
    }
    if (blocks.empty()) return true;
    AlignedBuffer buffers[2] = {AlignedBuffer(kBlockBytes), AlignedBuffer(kBlockBytes)};
    std::string readError;
    const auto readInto = [this, &blocks, &buffers, &readError](std::size_t at) {
      return m_channel.Read(blocks[at].offset, buffers[at % 2].get(), blocks[at].size, &readError);
    };
    // Declared after what it reads into: leaving early waits for it first.
    std::future<bool> next = std::async(std::launch::async, readInto, 0);
    for (std::size_t at = 0; at < blocks.size(); ++at) {
      if (!next.get()) {
        *error = "reading byte " + std::to_string(blocks[at].offset) + ": " + readError;
        return false;
      }
      if (at + 1 < blocks.size()) next = std::async(std::launch::async, readInto, at + 1);
      take(blocks[at].index, blocks[at].offset, buffers[at % 2].get(), blocks[at].size);
      done += blocks[at].size;
      if (!Progress(static_cast<double>(done) / static_cast<double>(total), stage)) {
        m_stopped = true;
        return false;
      }
    }
    return true;
  }

  bool ReadFingerprints(const std::vector<Range>& ranges, std::vector<std::uint64_t>* before) {
    before->assign(ranges.size(), 0xCBF29CE484222325ull);
    std::string error;
    const bool read = ReadRanges(
        ranges, "read-back",
        [before](std::size_t index, std::uint64_t, const std::uint8_t* bytes, std::size_t size) {
          (*before)[index] = Fingerprint((*before)[index], bytes, size);
        },
        &error);
    if (!read) {
      Finish(m_stopped ? "stopped" : "refused",
             m_stopped ? "stopped before anything was sent"
                       : "the drive could not be read before the purge (" + error +
                             "): nothing was sent");
    }
    return read;
  }

  DriveChannel::Answer SendPurgeCommand(const DriveCapabilities& capabilities) {
    DriveChannel::Answer answer;
    DriveAnswer words;
    const PurgeMethod method = m_result.method;
    if (IsNvmeMethod(method)) {
      NvmeAdminCommand command;
      if (IsNvmeFormat(method)) {
        command = NvmeFormat(m_channel.NvmeNamespace(), capabilities.nvme->lbaFormat,
                             method == PurgeMethod::kNvmeFormatCrypto ? 2 : 1);
        command.timeoutSeconds = std::max(command.timeoutSeconds, kFormatTimeoutSeconds);
      } else {
        command = NvmeSanitize(method == PurgeMethod::kNvmeSanitizeBlockErase    ? 2
                               : method == PurgeMethod::kNvmeSanitizeCryptoErase ? 4
                                                                                 : 3);
      }
      answer = m_channel.SendNvme(command);
      words = NvmeAnswerWords(command.name, answer);
    } else if (IsAtaMethod(method)) {
      const AtaCommand command = method == PurgeMethod::kAtaSanitizeBlockErase
                                     ? AtaSanitizeBlockErase()
                                     : AtaSanitizeCryptoScramble();
      answer = m_channel.SendAta(command);
      words = AtaAnswerWords(command.name, answer);
    } else {
      const ScsiCommand command =
          ScsiSanitize(method == PurgeMethod::kScsiSanitizeOverwrite    ? 1
                       : method == PurgeMethod::kScsiSanitizeBlockErase ? 2
                                                                        : 3);
      answer = m_channel.SendScsi(command);
      words = ScsiAnswerWords(command.name, answer);
    }
    m_result.answers.push_back(words);
    return answer;
  }

  // Waits for a sanitize to end (a format ends with its command); false when
  // the run ends here.
  bool Wait(std::string* trouble) {
    const PurgeMethod method = m_result.method;
    if (IsNvmeFormat(method)) {
      Progress(1, "format");  // the format is over: nothing is left to stop
      return true;
    }
    const Waited waited = IsNvmeSanitize(method) ? Poll(&PurgeRun::AskNvmeSanitize)
                          : IsAtaMethod(method)  ? Poll(&PurgeRun::AskAtaSanitize)
                                                 : Poll(&PurgeRun::AskScsiSanitize);
    const std::string name = PurgeMethodName(method);
    switch (waited) {
      case Waited::kDone:
        return true;
      case Waited::kUntold:
        return true;  // the read-back alone judges
      case Waited::kFailed:
        *trouble = "the drive says the sanitize failed";
        return true;
      case Waited::kStopped:
        Finish("stopped", "stopped waiting for " + name +
                              ": the drive goes on with it by itself; nothing was read back");
        return false;
      case Waited::kRunning:
      case Waited::kTimedOut:
        Finish("failed", name + " did not end within the time allowed; nothing was read back");
        return false;
    }
    return false;
  }

  using StateAsker = Waited (PurgeRun::*)(int* idle, double* progress);

  Waited Poll(StateAsker ask) {
    const auto deadline = std::chrono::steady_clock::now() + m_polling.limit;
    int idle = 0;
    for (;;) {
      std::this_thread::sleep_for(m_polling.interval);
      double progress = 0;
      const Waited waited = (this->*ask)(&idle, &progress);
      if (waited != Waited::kRunning) return waited;
      if (!Progress(progress, "sanitize")) return Waited::kStopped;
      if (std::chrono::steady_clock::now() > deadline) return Waited::kTimedOut;
    }
  }

  // Keeps the last status answer in the report, with what it said.
  Waited Record(DriveAnswer words, const std::string& said, Waited waited) {
    if (words.answer.empty()) words.answer = said;
    m_result.answers.push_back(words);
    return waited;
  }

  // Each returns kRunning while the operation runs, with its progress.
  Waited AskNvmeSanitize(int* idle, double* progress) {
    const NvmeAdminCommand command = NvmeSanitizeStatusLog();
    const DriveChannel::Answer answer = m_channel.SendNvme(command);
    const DriveAnswer words = NvmeAnswerWords(command.name, answer);
    NvmeSanitizeStatus status;
    if (!words.accepted ||
        !DecodeNvmeSanitizeStatus(answer.data.data(), answer.data.size(), &status))
      return Record(words, "the log could not be decoded", Waited::kUntold);
    switch (status.state) {
      case 1:
      case 4:
        return Record(words, "sanitize completed", Waited::kDone);
      case 2:
        *progress = status.progress;
        return Waited::kRunning;
      case 3:
        return Record(words, "sanitize failed", Waited::kFailed);
      default:
        if (++*idle < kPollsBeforeGivingUp) return Waited::kRunning;
        return Record(words, "the log says no sanitize ran", Waited::kFailed);
    }
  }

  Waited AskAtaSanitize(int* idle, double* progress) {
    const AtaCommand command = AtaSanitizeStatus();
    const DriveChannel::Answer answer = m_channel.SendAta(command);
    const DriveAnswer words = AtaAnswerWords(command.name, answer);
    if (!answer.delivered) return Record(words, "", Waited::kUntold);
    const AtaSanitizeState state = DecodeAtaSanitizeStatus(answer.ata);
    if (!words.accepted) return Record(words, "", Waited::kFailed);
    if (state.inProgress) {
      *progress = state.progress;
      return Waited::kRunning;
    }
    if (state.succeeded) return Record(words, "sanitize completed without error", Waited::kDone);
    if (++*idle < kPollsBeforeGivingUp) return Waited::kRunning;
    return Record(words, "the drive says no sanitize completed", Waited::kFailed);
  }

  Waited AskScsiSanitize(int*, double* progress) {
    const ScsiCommand command = ScsiRequestSense();
    const DriveChannel::Answer answer = m_channel.SendScsi(command);
    const DriveAnswer words = ScsiAnswerWords(command.name, answer);
    if (!words.accepted) return Record(words, "", Waited::kUntold);
    const SenseData sense = DecodeSense(answer.data.data(), answer.data.size());
    if (sense.valid && sense.key == 0x2 && sense.asc == 0x04 && sense.ascq == 0x1B) {
      *progress = sense.hasProgress ? sense.progress : 0;
      return Waited::kRunning;
    }
    if (sense.valid && sense.asc == 0x31 && sense.ascq == 0x03)
      return Record(words, DescribeSense(sense), Waited::kFailed);
    return Record(words, sense.valid ? DescribeSense(sense) : "no sanitize in progress",
                  Waited::kDone);
  }

  bool OverwriteAndDiscard() {
    const std::uint64_t size = m_channel.SizeBytes();
    const OverwriteStream stream(m_key);
    AlignedBuffer buffers[2] = {AlignedBuffer(kBlockBytes), AlignedBuffer(kBlockBytes)};
    const auto blockAt = [size](std::uint64_t offset) {
      return static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, size - offset));
    };
    // The next block is generated on a thread of its own while the current
    // one is written; declared after the buffers, so leaving early waits.
    const auto fill = [&stream, &buffers, &blockAt](std::uint64_t offset, int buffer) {
      stream.Fill(offset, buffers[buffer].get(), blockAt(offset));
    };
    std::future<void> next = std::async(std::launch::async, fill, 0, 0);
    std::string error;
    int current = 0;
    for (std::uint64_t offset = 0; offset < size; offset += kBlockBytes, current ^= 1) {
      const std::size_t bytes = blockAt(offset);
      next.get();
      if (offset + bytes < size)
        next = std::async(std::launch::async, fill, offset + bytes, current ^ 1);
      m_result.driveChanged = true;
      if (!m_channel.Write(offset, buffers[current].get(), bytes, &error)) {
        Finish("failed", "the overwrite failed at byte " + std::to_string(offset) + ": " + error);
        return false;
      }
      m_result.bytesOverwritten += bytes;
      if (!Progress(static_cast<double>(offset + bytes) / static_cast<double>(size), "overwrite")) {
        Finish("stopped", "stopped during the overwrite after " +
                              std::to_string(m_result.bytesOverwritten) + " of " +
                              std::to_string(size) +
                              " bytes: the rest of the device still holds its data");
        return false;
      }
    }
    if (!m_channel.Flush(&error)) {
      Finish("failed", "the overwrite could not be flushed: " + error);
      return false;
    }
    std::uint64_t chunk = m_channel.DiscardMaxBytes() / Sector() * Sector();
    if (const std::uint64_t granularity = m_channel.DiscardGranularity();
        granularity > Sector() && chunk >= granularity)
      chunk = chunk / granularity * granularity;
    chunk = std::max<std::uint64_t>(chunk, Sector());
    DriveAnswer words;
    words.command = "discard of the whole device (" + std::to_string(size) +
                    " bytes in pieces of " + std::to_string(std::min(chunk, size)) + ")";
    for (std::uint64_t offset = 0; offset < size; offset += chunk) {
      if (!m_channel.Discard(offset, std::min(chunk, size - offset), &error)) {
        words.answer = "rejected at byte " + std::to_string(offset) + ": " + error;
        m_result.answers.push_back(words);
        Finish("failed", "the discard failed at byte " + std::to_string(offset) + ": " + error +
                             "; the device holds the host's overwrite");
        return false;
      }
      if (!Progress(static_cast<double>(std::min(size, offset + chunk)) / static_cast<double>(size),
                    "discard")) {
        words.answer = "stopped at byte " + std::to_string(offset + chunk);
        m_result.answers.push_back(words);
        Finish("stopped", "stopped during the discard: the device holds the host's overwrite");
        return false;
      }
    }
    words.accepted = true;
    m_result.answers.push_back(words);
    if (!m_channel.Flush(&error)) {
      Finish("failed", "the discard could not be flushed: " + error);
      return false;
    }
    return true;
  }

  // Classifies every range read; `before` holds the fingerprints of a
  // cryptographic method's ranges.
  bool ReadBack(const std::vector<Range>& ranges, const std::vector<std::uint64_t>* before) {
    PurgeReadBack& readBack = m_result.readBack;
    readBack.ran = true;
    readBack.whole = m_request.readWhole;
    std::uint64_t sampled = 0;
    for (const Range& range : ranges) sampled += range.bytes;
    readBack.sample =
        m_request.readWhole
            ? "every sector"
            : "the first and last MiB and " + std::to_string(kSampleRanges) +
                  " ranges of 64 KiB spread evenly between them: " + std::to_string(sampled) +
                  " of " + std::to_string(m_channel.SizeBytes()) + " bytes, judged in " +
                  std::to_string(ranges.size()) + " ranges of at most 64 KiB";
    const OverwriteStream stream(m_key);
    const bool discard = m_result.method == PurgeMethod::kDiscard;
    const std::uint32_t sector = Sector();
    // Per range: every sector uniform so far, any overwrite seen, any other
    // data seen (with its first byte), and the fingerprint.
    std::vector<std::uint8_t> uniform(ranges.size(), 1), overwritten(ranges.size(), 0),
        other(ranges.size(), 0);
    std::vector<std::int64_t> firstOther(ranges.size(), -1);
    std::vector<std::uint64_t> after(ranges.size(), 0xCBF29CE484222325ull);
    const bool read = ReadRanges(
        ranges, "read-back",
        [&](std::size_t index, std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) {
          readBack.bytesRead += size;
          if (before != nullptr) after[index] = Fingerprint(after[index], bytes, size);
          if (Uniform(bytes, size)) return;  // every sector in it is, too
          for (std::size_t at = 0; at < size; at += sector) {
            const std::size_t length = std::min<std::size_t>(sector, size - at);
            if (Uniform(bytes + at, length)) continue;
            uniform[index] = 0;
            if (discard && stream.Matches(offset + at, bytes + at, length)) {
              overwritten[index] = 1;
            } else if (!other[index]) {
              other[index] = 1;
              firstOther[index] = static_cast<std::int64_t>(offset + at);
            }
          }
        },
        &readBack.error);
    if (!read) {
      if (m_stopped) {
        readBack.error.clear();
        Finish("stopped", "the read-back was stopped: the drive's answer is not proved");
      } else {
        Finish("failed", "the read-back failed, " + readBack.error);
      }
      return false;
    }
    for (std::size_t index = 0; index < ranges.size(); ++index) {
      ++readBack.rangesRead;
      const bool changed = before != nullptr && (*before)[index] != after[index];
      if (uniform[index] || changed) {
        ++readBack.rangesErased;
      } else if (other[index]) {
        ++readBack.rangesOther;
        if (readBack.firstUnerasedByte < 0) readBack.firstUnerasedByte = firstOther[index];
      } else {
        ++readBack.rangesOverwritten;
        if (readBack.firstUnerasedByte < 0)
          readBack.firstUnerasedByte = static_cast<std::int64_t>(ranges[index].offset);
      }
    }
    return true;
  }

  void Judge(const std::string& commandTrouble) {
    const PurgeReadBack& readBack = m_result.readBack;
    const std::string counts = std::to_string(readBack.rangesRead) + " ranges read back";
    if (!commandTrouble.empty()) {
      Finish("failed", commandTrouble + " (" + counts + ": " +
                           std::to_string(readBack.rangesErased) + " erased)");
    } else if (readBack.rangesOther > 0) {
      Finish("not-erased",
             "the drive did not erase: " + std::to_string(readBack.rangesOther) + " of " + counts +
                 " still hold data" +
                 (IsCryptographicPurge(m_result.method) ? " that did not change" : "") +
                 ", the first at byte " + std::to_string(readBack.firstUnerasedByte));
    } else if (readBack.rangesOverwritten > 0) {
      Finish("cleared", "the drive took the discard but did not erase: " +
                            std::to_string(readBack.rangesOverwritten) + " of " + counts +
                            " still hold the host's overwrite; the old data was overwritten "
                            "once (Clear), not purged");
      m_result.nistCategory = "Clear";
    } else {
      Finish("purged", std::string(DescribePurgeMethod(m_result.method)) + "; every one of the " +
                           counts + " reads as erased");
      m_result.nistCategory = "Purge";
    }
  }

  DriveChannel& m_channel;
  const PurgeRequest& m_request;
  const PurgePolling& m_polling;
  PurgeResult& m_result;
  std::uint64_t m_key = 0;
  bool m_stopped = false;
};

class ChannelDrivePurger : public DrivePurger {
 public:
  ChannelDrivePurger(DriveChannelOpener open, PurgePolling polling)
      : m_open(std::move(open)), m_polling(polling) {}

  bool Capabilities(const std::string& device, DriveCapabilities* capabilities,
                    std::string* error) override {
    const std::unique_ptr<DriveChannel> channel = m_open(device, DriveAccess::kQuery, error);
    if (!channel) return false;
    try {
      *capabilities = ReadDriveCapabilities(*channel);
    } catch (const std::exception& failure) {
      *error = std::string("the drive's answers could not be read: ") + failure.what();
      return false;
    }
    return true;
  }

  PurgeResult Purge(const PurgeRequest& request) override {
    PurgeResult result;
    result.method = request.method;
    std::string error;
    const std::unique_ptr<DriveChannel> channel =
        m_open(request.device, DriveAccess::kPurge, &error);
    if (!channel) {
      result.outcome = "refused";
      result.message = error;
      return result;
    }
    try {
      PurgeRun(*channel, request, m_polling, &result).Run();
    } catch (const std::exception& failure) {
      // Memory or a thread could not be had: whatever ran may have changed
      // the drive, and nothing proves it erased.
      result.outcome = "failed";
      result.nistCategory.clear();
      result.message = std::string("the purge could not go on: ") + failure.what();
    }
    return result;
  }

 private:
  DriveChannelOpener m_open;
  PurgePolling m_polling;
};

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void Text(Writer& json, const char* key, const std::string& value) {
  json.Key(key);
  json.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
}

void TextOrNull(Writer& json, const char* key, const std::string& value) {
  if (value.empty()) {
    json.Key(key);
    json.Null();
  } else {
    Text(json, key, value);
  }
}

void WriteReadBack(Writer& json, const PurgeReadBack& readBack) {
  json.StartObject();
  json.Key("ran");
  json.Bool(readBack.ran);
  json.Key("whole");
  json.Bool(readBack.whole);
  TextOrNull(json, "sample", readBack.sample);
  const std::pair<const char*, std::uint64_t> counts[] = {
      {"bytesRead", readBack.bytesRead},
      {"rangesRead", readBack.rangesRead},
      {"rangesErased", readBack.rangesErased},
      {"rangesOverwritten", readBack.rangesOverwritten},
      {"rangesOther", readBack.rangesOther}};
  for (const auto& [key, value] : counts) {
    json.Key(key);
    json.Uint64(value);
  }
  json.Key("firstUnerasedByte");
  if (readBack.firstUnerasedByte >= 0) {
    json.Int64(readBack.firstUnerasedByte);
  } else {
    json.Null();
  }
  TextOrNull(json, "error", readBack.error);
  json.EndObject();
}

}  // namespace

std::string PurgeResultJson(const PurgeResult& result) {
  rapidjson::StringBuffer buffer;
  Writer json(buffer);
  json.StartObject();
  Text(json, "outcome", result.outcome);
  Text(json, "method", PurgeMethodName(result.method));
  Text(json, "message", result.message);
  TextOrNull(json, "nistCategory", result.nistCategory);
  json.Key("answers");
  json.StartArray();
  for (const DriveAnswer& answer : result.answers) {
    json.StartObject();
    Text(json, "command", answer.command);
    json.Key("accepted");
    json.Bool(answer.accepted);
    Text(json, "answer", answer.answer);
    json.EndObject();
  }
  json.EndArray();
  json.Key("readBack");
  WriteReadBack(json, result.readBack);
  json.Key("bytesOverwritten");
  json.Uint64(result.bytesOverwritten);
  json.Key("driveChanged");
  json.Bool(result.driveChanged);
  json.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::unique_ptr<DrivePurger> NewDrivePurger(DriveChannelOpener open, PurgePolling polling) {
  return std::make_unique<ChannelDrivePurger>(std::move(open), polling);
}

std::unique_ptr<DrivePurger> NewSystemDrivePurger() { return NewDrivePurger(OpenDriveChannel); }
