#pragma once

#include "common/IJsonWriter.h"
#include "common/IWiperAlgorithm.h"

// The catalogue of wipe algorithms: their names and type numbers as JSON, and
// algorithm objects by list position or by type. One object per module; it is
// never freed by callers. Algorithm objects it hands out belong to the caller,
// who ends them with Release().
//
// Slots: deleting destructor, ToJson, GetAlgorithmCount, GetAlgorithmByIndex,
// GetAlgorithmByType (BoundaryObject.h).
class IWiperAlgorithmDescriptor : public IJsonWriter {
 public:
  virtual int GetAlgorithmCount() = 0;
  virtual IWiperAlgorithm* GetAlgorithmByIndex(int index) = 0;
  virtual IWiperAlgorithm* GetAlgorithmByType(int type) = 0;

 protected:
  ~IWiperAlgorithmDescriptor() = default;
};
