#include <new>

#include "algorithms/WiperAlgorithms.h"
#include "common/ModuleExports.h"

IWiperAlgorithm* __getAlgorithmByType(int type) {
  switch (type) {
    case IWiperAlgorithm::eTypeWriteRandData:
      return new (std::nothrow) CRandFillWiperAlgorithm;
    case IWiperAlgorithm::eTypeBritishHMGIS5:
      return new (std::nothrow) CBritishHMGIS5Algorithm;
    case IWiperAlgorithm::eTypeUSDOD522022ME:
      return new (std::nothrow) CUSDOD522022MEAlgorithm;
    case IWiperAlgorithm::eTypeUSDOD522022MECE:
      return new (std::nothrow) CUSDOD522022MECEAlgorithm;
    case IWiperAlgorithm::eTypePeterGutemann:
      return new (std::nothrow) CPeterGutemannAlgorithm;
    case IWiperAlgorithm::eTypeRussianGOSTP50739:
      return new (std::nothrow) CRussianGOSTP50739Algorithm;
    default:
      return new (std::nothrow) CZeroFillWiperAlgorithm;
  }
}
