#pragma once

#include "common/BoundaryObject.h"

// A wipe algorithm: how many passes a wipe makes and which bytes each pass
// writes. Objects are stateless; any thread may call any operation. The owner
// (whoever obtained the object from the factory) ends it with Release().
//
// Slots: deleting destructor, GetWipeTimes, FillBuffer, Release
// (BoundaryObject.h).
class IWiperAlgorithm {
 public:
  // Algorithm type numbers; they travel as plain 32-bit signed integers and
  // every number without a class of its own means zero fill.
  enum EType {
    eTypeWriteZero = 16,
    eTypeWriteRandData = 17,
    eTypeBritishHMGIS5 = 18,
    eTypeUSDOD522022ME = 19,
    eTypeUSDOD522022MECE = 20,
    eTypePeterGutemann = 21,
    eTypeRussianGOSTP50739 = 22,
  };

  virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;

  // Number of passes; constant for the class.
  virtual int GetWipeTimes() = 0;

  // Writes the pattern of pass number `pass` into buffer[0, size). A null
  // buffer or a size of 0 writes nothing. Pass numbers outside 1..N get the
  // pattern of the algorithm's "any other pass" rule.
  virtual void FillBuffer(unsigned char* buffer, int size, int pass) = 0;

  // Destroys the object. Implemented here once; no algorithm overrides it.
  virtual void Release() { ScalarDeletingDestructor(kDeleteObjectMemory); }

 protected:
  ~IWiperAlgorithm() = default;
};
