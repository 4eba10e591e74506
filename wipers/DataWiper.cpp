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

// The sizes of one wipe: whole blocks per pass, then one tail.
struct CDataWiper::PassPlan {
  std::int64_t blocks;
  std::int64_t tailOffset;
  std::int64_t tailSize;
  int passes;
};

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
    code = kCodeNullAlgorithm;
  } else {
    const PassPlan plan = Prepare(algorithm, buffer.get(), &block);
    code = WritePasses(plan, buffer.get(), progress, &block);
    if (code == 0 && plan.tailSize != 0 &&
        WriteData(plan.tailOffset, buffer.get(), static_cast<int>(plan.tailSize)) < 0) {
      code = kCodeTailWriteFailed;
    }
  }

  buffer.reset();
  code = FinishData(code);
  block.msg_type = code != 0 ? MSG_TYPE_ERROR : MSG_TYPE_NORMAL;
  block.msg_errorCode = code;
  Report(progress, block);
  return code;
}

CDataWiper::PassPlan CDataWiper::Prepare(IWiperAlgorithm* algorithm, unsigned char* buffer,
                                         ProgressMsg* block) {
  const std::uint64_t total = GetTotalSize();
  PassPlan plan;
  plan.blocks = static_cast<std::int64_t>(total >> 17);
  plan.tailOffset = plan.blocks * static_cast<std::int64_t>(kBlockSize);
  plan.tailSize = static_cast<std::int64_t>(total) - plan.tailOffset;
  plan.passes = algorithm->GetWipeTimes();
  VTX_LOG(kFunction, "wiping data, total: %lld, block: %lld\n", static_cast<long long>(total),
          static_cast<long long>(plan.blocks));

  block->msg_type = MSG_TYPE_NORMAL;
  block->msg_status = MSG_STATUS_RUNNING;
  block->sub_step_total = plan.blocks;
  block->steps_total = static_cast<std::int64_t>(plan.passes) * plan.blocks;

  // Filled once, with pass number 0: every pass and the tail write this.
  algorithm->FillBuffer(buffer, kBlockSize, 0);
  VTX_LOG(kFunction, "wippingData: totalSteps: %lld, times: %d",
          static_cast<long long>(block->steps_total), plan.passes);
  return plan;
}

std::uint32_t CDataWiper::WritePasses(const PassPlan& plan, unsigned char* buffer,
                                      IProgresMsg* progress, ProgressMsg* block) {
  for (int pass = 0; pass < plan.passes; ++pass) {
    VTX_LOG(kFunction, "wipingdata time: %d\n", pass);
    if (!MayContinue(progress)) {
      VTX_LOG(kFunction, "wipping task cancelled.\n");
      return kCodeStoppedAtPass;
    }
    for (std::int64_t index = 0; index < plan.blocks; ++index) {
      if (!MayContinue(progress)) {
        VTX_LOG(kFunction, "wipping task cancelled 2.\n");
        return kCodeStoppedInPass;
      }
      if (WriteData(index * kBlockSize, buffer, kBlockSize) < 0) return kCodeBlockWriteFailed;
      block->sub_step_current = index;
      block->steps_current = static_cast<std::int64_t>(pass) * plan.blocks + index;
      Report(progress, *block);
    }
  }
  return 0;
}
