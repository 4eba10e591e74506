#pragma once

#include <cstdint>
#include <string>

#include "common/ICGIResult.h"

namespace vantrix_Web {

// The result object every command returns. Immutable after construction; the
// host ends it with Release(). Constructors may throw std::bad_alloc; the
// command layer catches it before the boundary.
class CCGIInvokeRslt final : public BoundaryObject<CCGIInvokeRslt, ICGIResult> {
 public:
  // Plain form: the given JSON text, error text and flag.
  CCGIInvokeRslt(const char* resultJson, const char* errorMsg, bool success);
  // Task-started form: success, no error, {"taskId":N}.
  explicit CCGIInvokeRslt(std::int64_t taskId);
  // Coded-error form: {"errorCode":code,"errorMsg":"text"}.
  CCGIInvokeRslt(const char* errorMsg, unsigned int errorCode, bool success);

  const char* GetErrorMsg() override;
  bool IsSuccess() override;
  const char* GetResultJson() override;
  void Release() override;

 private:
  bool m_success;
  std::string m_errorMsg;
  std::string m_resultJson;
};

}  // namespace vantrix_Web
