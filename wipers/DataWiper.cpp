#include "wipers/DataWiper.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/Log.h"

namespace {

constexpr char kFunction[] = "CDataWiper::WippeData";

bool MayContinue(IProgresMsg* progress) { return progress == nullptr || progress->CanContinue(); }

void Report(IProgresMsg* progress, const ProgressMsg& block) {
  if (progress != nullptr) progress->ReportProgress(&block);
}

}  // namespace

std::uint32_t CDataWiper::WippeData(IWiperAlgorithm* algorithm, IProgresMsg* progress) {
  VTX_LOG(kFunction, "entry WippeData\n");
  ProgressMsg block;
  std::memset(&block, 0, sizeof(block));
  block.msg_type = MSG_TYPE_NORMAL;
  std::uint32_t code = 0;

  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kBlockSize]);
  if (!buffer) {
    VTX_LOG(kFunction, "null buffer");
    code = kCodeNullBuffer;
  } else if (algorithm == nullptr) {
    VTX_LOG(kFunction, "null algorithm object.");
    buffer.reset();
    code = kCodeNullAlgorithm;
  } else {
    const std::uint64_t total = GetTotalSize();
    const std::int64_t blocks = static_cast<std::int64_t>(total >> 17);
    const std::int64_t tailOffset = blocks * static_cast<std::int64_t>(kBlockSize);
    const std::int64_t tailSize = static_cast<std::int64_t>(total) - tailOffset;
    const int passes = algorithm->GetWipeTimes();
    VTX_LOG(kFunction, "wiping data, total: %lld, block: %lld\n", static_cast<long long>(total),
            static_cast<long long>(blocks));

    block.msg_type = MSG_TYPE_NORMAL;
    block.msg_status = MSG_STATUS_RUNNING;
    block.sub_step_total = blocks;
    block.steps_total = static_cast<std::int64_t>(passes) * blocks;

    algorithm->FillBuffer(buffer.get(), kBlockSize, 0);
    VTX_LOG(kFunction, "wippingData: totalSteps: %lld, times: %d",
            static_cast<long long>(block.steps_total), passes);

    for (int pass = 0; pass < passes && code == 0; ++pass) {
      VTX_LOG(kFunction, "wipingdata time: %d\n", pass);
      if (!MayContinue(progress)) {
        VTX_LOG(kFunction, "wipping task cancelled.\n");
        code = kCodeStoppedAtPass;
        break;
      }
      for (std::int64_t index = 0; index < blocks; ++index) {
        if (!MayContinue(progress)) {
          VTX_LOG(kFunction, "wipping task cancelled 2.\n");
          code = kCodeStoppedInPass;
          break;
        }
        if (WriteData(index * kBlockSize, buffer.get(), kBlockSize) < 0) {
          code = kCodeBlockWriteFailed;
          break;
        }
        block.sub_step_current = index;
        block.steps_current = static_cast<std::int64_t>(pass) * blocks + index;
        Report(progress, block);
      }
    }

    if (code == 0 && tailSize != 0 &&
        WriteData(tailOffset, buffer.get(), static_cast<int>(tailSize)) < 0) {
      code = kCodeTailWriteFailed;
    }
  }

  buffer.reset();
  block.msg_type = code != 0 ? MSG_TYPE_ERROR : MSG_TYPE_NORMAL;
  block.msg_errorCode = code;
  Report(progress, block);
  return code;
}
