#pragma once

#include <string>

#include "common/BoundaryObject.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

// Base of every object that renders itself as one compact JSON object.
//
// A writer always has one top-level object open. Derived classes override
// ToJson by writing their members (key, value, ...) into m_writer and then
// calling IJsonWriter::ToJson, which closes the object, keeps its text, and
// opens the next object. A writer can therefore be rendered again and again;
// each rendering holds exactly the members written since the previous one.
//
// Not safe for concurrent use: the owner serialises renderings. The returned
// pointer stays valid until the next rendering or the writer's destruction.
//
// Slots: deleting destructor, ToJson (BoundaryObject.h). Concrete writers
// derive through BoundaryObject and are ended through slot 0.
class IJsonWriter {
 public:
  IJsonWriter(const IJsonWriter&) = delete;
  IJsonWriter& operator=(const IJsonWriter&) = delete;

  virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;
  virtual const char* ToJson();

 protected:
  IJsonWriter();
  ~IJsonWriter();

  std::string m_lastJson;
  rapidjson::StringBuffer m_buffer;
  rapidjson::Writer<rapidjson::StringBuffer> m_writer;
};
