#pragma once

#include <cstdint>
#include <string>

#include "common/IJsonWriter.h"

// Renders one member: a key and the current value of a referenced variable.
// The variable must outlive the writer. Only the 64-bit signed form exists.
template <typename T>
class CSingleValJsonWriter;

template <>
class CSingleValJsonWriter<std::int64_t> final
    : public BoundaryObject<CSingleValJsonWriter<std::int64_t>, IJsonWriter> {
 public:
  CSingleValJsonWriter(std::string key, const std::int64_t* value)
      : m_key(std::move(key)), m_value(value) {}

  const char* ToJson() override {
    m_writer.Key(m_key.c_str(), static_cast<rapidjson::SizeType>(m_key.size()));
    m_writer.Int64(*m_value);
    return IJsonWriter::ToJson();
  }

 private:
  std::string m_key;
  const std::int64_t* m_value;
};
