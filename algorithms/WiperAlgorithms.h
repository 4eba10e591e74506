#pragma once

#include "common/IWiperAlgorithm.h"

// The seven wipe algorithms. Each is a stateless class: one pass count and one
// rule for the byte value of each pass (a single value for the whole range).
// "Time byte" is the lowest eight bits of the calendar clock in seconds, read
// once per fill.

class CZeroFillWiperAlgorithm : public IWiperAlgorithm {
 public:
  ~CZeroFillWiperAlgorithm() override = default;
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CRandFillWiperAlgorithm : public IWiperAlgorithm {
 public:
  ~CRandFillWiperAlgorithm() override = default;
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CBritishHMGIS5Algorithm : public IWiperAlgorithm {
 public:
  ~CBritishHMGIS5Algorithm() override = default;
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CUSDOD522022MEAlgorithm : public IWiperAlgorithm {
 public:
  ~CUSDOD522022MEAlgorithm() override = default;
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CUSDOD522022MECEAlgorithm : public IWiperAlgorithm {
 public:
  ~CUSDOD522022MECEAlgorithm() override = default;
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CPeterGutemannAlgorithm : public IWiperAlgorithm {
 public:
  ~CPeterGutemannAlgorithm() override = default;
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};

class CRussianGOSTP50739Algorithm : public IWiperAlgorithm {
 public:
  ~CRussianGOSTP50739Algorithm() override = default;
  int GetWipeTimes() override;
  void FillBuffer(unsigned char* buffer, int size, int pass) override;
};
