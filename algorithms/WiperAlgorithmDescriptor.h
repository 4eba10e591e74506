#pragma once

#include <mutex>
#include <string>

#include "common/IJsonWriter.h"
#include "common/IWiperAlgorithmDescriptor.h"

// The module's algorithm catalogue (reached through __getAlgorithmDescriptor).
//
// Renderings reuse the object's one writer and text, so ToJson holds a lock of
// the catalogue's own: the export and the command layer may render from any
// thread at once. Every rendering produces the same text; a pointer returned
// earlier keeps showing it (identical text is never rewritten in place).
class CWiperAlgorithmDescriptor final
    : public BoundaryObject<CWiperAlgorithmDescriptor, IWiperAlgorithmDescriptor> {
 public:
  // One entry of the list, alive only during one rendering.
  class CWiperAlgorithmItem final : public BoundaryObject<CWiperAlgorithmItem, IJsonWriter> {
   public:
    CWiperAlgorithmItem(const char* name, int type);
    const char* ToJson() override;

   private:
    std::string _name;
    int _type;
  };

  CWiperAlgorithmDescriptor() = default;

  // The algorithm list JSON; an empty text if memory runs out.
  const char* ToJson() override;
  int GetAlgorithmCount() override;
  IWiperAlgorithm* GetAlgorithmByIndex(int index) override;
  IWiperAlgorithm* GetAlgorithmByType(int type) override;

 private:
  const char* Render();

  std::mutex m_renderLock;
};
