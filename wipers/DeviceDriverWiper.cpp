#include "wipers/DeviceDriverWiper.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/Log.h"
#include "storage/Q7DiskIOWapper.h"

namespace {

constexpr char kFunction[] = "CDeviceDriverWiper::WippeData";
// The channel may write the buffer without copying it (POSIX O_DIRECT).
constexpr std::align_val_t kBufferAlignment{4096};

struct AlignedDelete {
  void operator()(unsigned char* buffer) const { ::operator delete[](buffer, kBufferAlignment); }
};
using PatternBuffer = std::unique_ptr<unsigned char[], AlignedDelete>;

bool MayContinue(IProgresMsg* progress) { return progress == nullptr || progress->CanContinue(); }

}  // namespace

struct CDeviceDriverWiper::SectorPlan {
  std::uint64_t start = 0;      // the target's first sector
  std::int64_t perRequest = 0;  // sectors of one block
  std::int64_t blocks = 0;      // whole blocks per pass
  std::int64_t remaining = 0;   // sectors of the tail
};

// Reports each block once, in order, when its write (numbered across the
// passes) has completed; the tail's write is not reported.
class CDeviceDriverWiper::BlockReports {
 public:
  BlockReports(IProgresMsg* progress, ProgressMsg* block, std::int64_t perPass)
      : m_progress(progress), m_block(block), m_perPass(perPass) {}

  void Completed(std::uint64_t completed, std::uint64_t blockWrites) {
    for (; m_reported < completed && m_reported < blockWrites; ++m_reported) {
      m_block->sub_step_current = static_cast<std::int64_t>(m_reported) % m_perPass;
      m_block->steps_current = static_cast<std::int64_t>(m_reported);
      if (m_progress != nullptr) m_progress->ReportProgress(m_block);
    }
  }

 private:
  IProgresMsg* m_progress;
  ProgressMsg* m_block;
  std::int64_t m_perPass;
  std::uint64_t m_reported = 0;
};

CDeviceDriverWiper::~CDeviceDriverWiper() { Detach(); }

void CDeviceDriverWiper::Detach() {
  if (m_attached) CQ7DiskIOWapper::GetInstance()->DetachDisk(m_attachedDisk);
  m_attached = false;
}

std::uint32_t CDeviceDriverWiper::SectorsPerRequest(std::int32_t bytesPerSector) {
  const bool powerOfTwo = bytesPerSector > 0 && (bytesPerSector & (bytesPerSector - 1)) == 0;
  if (!powerOfTwo || bytesPerSector < 512 || bytesPerSector > 4096) return 0;
  return kBlockSize / static_cast<std::uint32_t>(bytesPerSector);
}

int CDeviceDriverWiper::init(DiskInfo* disk, PartitionInfo* partition) {
  constexpr char kInit[] = "CDeviceDriverWiper::init";
  if (disk == nullptr) return -1;
  if (SectorsPerRequest(disk->nBytesPerSector) == 0 || disk->nTotalSectors < 0) {
    VTX_LOG(kInit, "disk %d: unusable geometry, %d bytes per sector, %lld sectors",
            int(disk->nDiskNumber), int(disk->nBytesPerSector),
            static_cast<long long>(disk->nTotalSectors));
    return -1;
  }
  Detach();
  m_disk = disk;
  m_partition = partition;
  if (!CQ7DiskIOWapper::GetInstance()->AttachDisk(*disk)) {
    VTX_LOG(kInit, "disk %d is in use by a wipe with another sector size or device",
            int(disk->nDiskNumber));
    m_disk = nullptr;
    m_partition = nullptr;
    return -1;
  }
  m_attached = true;
  m_attachedDisk = disk->nDiskNumber;
  VTX_LOG(kInit, "CDeviceDriverWiper init with disk:%d, partition : %d-%c, offset: %lld",
          int(disk->nDiskNumber), partition ? int(partition->nPartitionNumber) : -1,
          partition ? partition->cDriveLetter : '~',
          partition ? static_cast<long long>(partition->nStartSector) : -1LL);
  return 0;
}

std::uint64_t CDeviceDriverWiper::GetStartSectorNo() {
  const std::uint64_t start =
      m_disk != nullptr && m_partition != nullptr ? m_partition->nStartSector : 0;
  VTX_LOG("CDeviceDriverWiper::GetStartSectorNo", "rslt = %llu",
          static_cast<unsigned long long>(start));
  return start;
}

std::uint64_t CDeviceDriverWiper::GetTotalSize() {
  if (m_disk == nullptr) return 0;
  if (m_partition != nullptr) return m_partition->nSizeInBytes;
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(m_disk->nBytesPerSector) *
                                    m_disk->nTotalSectors);
}

int CDeviceDriverWiper::WriteData(std::int64_t offset, unsigned char* buffer, int size) {
  if (buffer == nullptr) return 0;
  if (m_disk == nullptr || size < 0) return -1;
  const int accepted = CQ7DiskIOWapper::GetInstance()->WriteSector(
      m_disk->nDiskNumber, static_cast<std::uint64_t>(offset), static_cast<std::uint32_t>(size),
      buffer);
  return accepted != 0 ? 0 : -1;
}

std::uint32_t CDeviceDriverWiper::WippeData(IWiperAlgorithm* algorithm, IProgresMsg* progress) {
  ProgressMsg block;
  std::memset(&block, 0, sizeof(block));
  PatternBuffer buffer(new (kBufferAlignment, std::nothrow) unsigned char[kBlockSize]);
  if (!buffer) return kDriverCodeNullBuffer;
  if (algorithm == nullptr) return kDriverCodeNullAlgorithm;
  if (m_disk == nullptr) return kDriverCodeBlockWriteFailed;  // init did not succeed

  const std::int64_t total = static_cast<std::int64_t>(GetTotalSize());
  SectorPlan plan;
  plan.perRequest = SectorsPerRequest(m_disk->nBytesPerSector);
  const std::int64_t sectors = total / m_disk->nBytesPerSector;
  plan.blocks = sectors / plan.perRequest;
  plan.remaining = sectors - plan.blocks * plan.perRequest;
  plan.start = GetStartSectorNo();
  VTX_LOG(kFunction, "wipewippingDataData, total: %lld, block: %lld, start = %llu\n",
          static_cast<long long>(total), static_cast<long long>(plan.blocks),
          static_cast<unsigned long long>(plan.start));
  if (plan.start == 0 && m_partition != nullptr) {
    VTX_LOG(kFunction, "invalid partition offset.");
    return kDriverCodeStartSectorZero;
  }

  block.msg_type = MSG_TYPE_NORMAL;
  block.msg_status = MSG_STATUS_RUNNING;
  block.sub_step_total = plan.blocks;
  block.steps_total = static_cast<std::int64_t>(algorithm->GetWipeTimes()) * plan.blocks;
  algorithm->FillBuffer(buffer.get(), kBlockSize, 0);
  VTX_LOG(kFunction, "wippingData: totalSteps: %d\n", static_cast<int>(block.steps_total));

  std::unique_ptr<DiskWriteWindow> window =
      CQ7DiskIOWapper::GetInstance()->OpenWriteWindow(m_disk->nDiskNumber, m_asyncMaker);
  if (!window) return kDriverCodeNullBuffer;
  BlockReports reports(progress, &block, plan.blocks);
  std::uint32_t code = WriteBlocks(algorithm, progress, buffer.get(), plan, *window, reports);
  window.reset();  // every write has ended
  if (code == 0 && !CQ7DiskIOWapper::GetInstance()->FlushDisk(m_disk->nDiskNumber)) {
    code = kDriverCodeBlockWriteFailed;
  }
  return code;
}

std::uint32_t CDeviceDriverWiper::WriteBlocks(IWiperAlgorithm* algorithm, IProgresMsg* progress,
                                              const unsigned char* buffer, const SectorPlan& plan,
                                              DiskWriteWindow& window, BlockReports& reports) {
  std::uint32_t code = 0;
  std::uint64_t blockWrites = 0;  // blocks handed to the window
  for (int pass = 0; code == 0 && pass < algorithm->GetWipeTimes(); ++pass) {
    if (!MayContinue(progress)) {
      VTX_LOG(kFunction, "wipping task cancelled.\n");
      code = kDriverCodeStoppedAtPass;
      break;
    }
    std::uint64_t cursor = plan.start;
    for (std::int64_t index = 0; index < plan.blocks; ++index) {
      if (!MayContinue(progress)) {
        VTX_LOG(kFunction, "wipping task cancelled 2.\n");
        code = kDriverCodeStoppedInPass;
        break;
      }
      ++blockWrites;
      if (!window.Queue(cursor, std::uint32_t(plan.perRequest), buffer)) {
        code = kDriverCodeBlockWriteFailed;
        break;
      }
      cursor += static_cast<std::uint64_t>(plan.perRequest);
      reports.Completed(window.Completed(), blockWrites);
    }
  }
  // The tail follows the last pass, at the sector after the last whole block.
  const std::uint64_t tail = plan.start + static_cast<std::uint64_t>(plan.blocks * plan.perRequest);
  if (code == 0 && plan.remaining != 0) {
    window.Queue(tail, std::uint32_t(plan.remaining), buffer);
  }
  const bool written = window.Drain();
  reports.Completed(window.Completed(), blockWrites);
  if (written) return code;
  return window.Completed() < blockWrites ? kDriverCodeBlockWriteFailed
                                          : kDriverCodeTailWriteFailed;
}
