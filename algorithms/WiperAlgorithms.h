#pragma once

#include "common/IWiperAlgorithm.h"

// The seven wipe algorithms. Each is a stateless class: one pass count and one
// rule for the byte value of each pass (a single value for the whole range).
// "Time byte" is the lowest eight bits of the calendar clock in seconds, read
// once per fill.

class CZeroFillWiperAlgorithm final
    : public BoundaryObject<CZeroFillWiperAlgorithm, IWiperAlgorithm> {
 public:
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CRandFillWiperAlgorithm final
    : public BoundaryObject<CRandFillWiperAlgorithm, IWiperAlgorithm> {
 public:
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CBritishHMGIS5Algorithm final
    : public BoundaryObject<CBritishHMGIS5Algorithm, IWiperAlgorithm> {
 public:
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CUSDOD522022MEAlgorithm final
    : public BoundaryObject<CUSDOD522022MEAlgorithm, IWiperAlgorithm> {
 public:
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CUSDOD522022MECEAlgorithm final
    : public BoundaryObject<CUSDOD522022MECEAlgorithm, IWiperAlgorithm> {
 public:
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CPeterGutemannAlgorithm final
    : public BoundaryObject<CPeterGutemannAlgorithm, IWiperAlgorithm> {
 public:
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CRussianGOSTP50739Algorithm final
    : public BoundaryObject<CRussianGOSTP50739Algorithm, IWiperAlgorithm> {
 public:
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};
