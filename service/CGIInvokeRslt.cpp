#include "service/CGIInvokeRslt.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "service/SingleValJsonWriter.h"

namespace vantrix_Web {

namespace {

std::string CodedErrorJson(unsigned int errorCode, const std::string& errorMsg) {
  rapidjson::StringBuffer text;
  rapidjson::Writer<rapidjson::StringBuffer> writer(text);
  writer.StartObject();
  writer.Key("errorCode");
  writer.Uint(errorCode);
  writer.Key("errorMsg");
  writer.String(errorMsg.c_str(), static_cast<rapidjson::SizeType>(errorMsg.size()));
  writer.EndObject();
  return text.GetString();
}

}  // namespace

CCGIInvokeRslt::CCGIInvokeRslt(const char* resultJson, const char* errorMsg, bool success)
    : m_success(success),
      m_errorMsg(errorMsg ? errorMsg : ""),
      m_resultJson(resultJson ? resultJson : "") {}

CCGIInvokeRslt::CCGIInvokeRslt(std::int64_t taskId) : m_success(true) {
  CSingleValJsonWriter<std::int64_t> writer("taskId", &taskId);
  m_resultJson = writer.ToJson();
}

CCGIInvokeRslt::CCGIInvokeRslt(const char* errorMsg, unsigned int errorCode, bool success)
    : m_success(success), m_errorMsg(errorMsg ? errorMsg : "") {
  m_resultJson = CodedErrorJson(errorCode, m_errorMsg);
}

const char* CCGIInvokeRslt::GetErrorMsg() { return m_errorMsg.c_str(); }

bool CCGIInvokeRslt::IsSuccess() { return m_success; }

const char* CCGIInvokeRslt::GetResultJson() { return m_resultJson.c_str(); }

void CCGIInvokeRslt::Release() { ScalarDeletingDestructor(kDeleteObjectMemory); }

}  // namespace vantrix_Web
