#include "common/IJsonWriter.h"

IJsonWriter::IJsonWriter() : m_writer(m_buffer) { m_writer.StartObject(); }

IJsonWriter::~IJsonWriter() = default;

const char* IJsonWriter::ToJson() {
  m_writer.EndObject();
  // Text equal to the kept one is not rewritten, so that a pointer handed out
  // by an earlier rendering is never written to while a reader holds it.
  if (m_lastJson.compare(m_buffer.GetString()) != 0) m_lastJson = m_buffer.GetString();
  m_buffer.Clear();
  m_writer.Reset(m_buffer);
  m_writer.StartObject();
  return m_lastJson.c_str();
}
