#include "algorithms/WiperAlgorithmDescriptor.h"

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "common/ModuleExports.h"

namespace {

struct CatalogueEntry {
  const char* qualifiedName;
  int type;
};

// Names are taken from the enumerators themselves, so the list follows them.
#define VTX_CATALOGUE_ENTRY(enumerator) \
  { #enumerator, enumerator }
constexpr CatalogueEntry kCatalogue[] = {
    VTX_CATALOGUE_ENTRY(IWiperAlgorithm::eTypeWriteZero),
    VTX_CATALOGUE_ENTRY(IWiperAlgorithm::eTypeWriteRandData),
    VTX_CATALOGUE_ENTRY(IWiperAlgorithm::eTypeBritishHMGIS5),
    VTX_CATALOGUE_ENTRY(IWiperAlgorithm::eTypeUSDOD522022ME),
    VTX_CATALOGUE_ENTRY(IWiperAlgorithm::eTypeUSDOD522022MECE),
    VTX_CATALOGUE_ENTRY(IWiperAlgorithm::eTypePeterGutemann),
    VTX_CATALOGUE_ENTRY(IWiperAlgorithm::eTypeRussianGOSTP50739),
};
#undef VTX_CATALOGUE_ENTRY

// The part of a qualified name after the first "::".
const char* ShortName(const char* qualifiedName) {
  const char* separator = std::strstr(qualifiedName, "::");
  return separator ? separator + 2 : qualifiedName;
}

}  // namespace

CWiperAlgorithmDescriptor::CWiperAlgorithmItem::CWiperAlgorithmItem(const char* name, int type)
    : _name(name), _type(type) {}

const char* CWiperAlgorithmDescriptor::CWiperAlgorithmItem::ToJson() {
  m_writer.Key("_name");
  m_writer.String(_name.c_str(), static_cast<rapidjson::SizeType>(_name.size()));
  m_writer.Key("_type");
  m_writer.Int64(_type);
  return IJsonWriter::ToJson();
}

const char* CWiperAlgorithmDescriptor::ToJson() {
  std::lock_guard<std::mutex> guard(m_renderLock);
  try {
    return Render();
  } catch (...) {
    return "";
  }
}

const char* CWiperAlgorithmDescriptor::Render() {
  std::vector<std::unique_ptr<CWiperAlgorithmItem>> items;
  for (const CatalogueEntry& entry : kCatalogue) {
    items.push_back(
        std::make_unique<CWiperAlgorithmItem>(ShortName(entry.qualifiedName), entry.type));
  }

  rapidjson::StringBuffer arrayText;
  rapidjson::Writer<rapidjson::StringBuffer> arrayWriter(arrayText);
  arrayWriter.StartArray();
  for (auto& item : items) {
    const char* itemText = item->ToJson();
    arrayWriter.RawValue(itemText, std::strlen(itemText), rapidjson::kObjectType);
  }
  arrayWriter.EndArray();

  m_writer.Key("algorithmItems");
  m_writer.RawValue(arrayText.GetString(), arrayText.GetSize(), rapidjson::kArrayType);
  items.clear();
  return IJsonWriter::ToJson();
}

int CWiperAlgorithmDescriptor::GetAlgorithmCount() {
  return static_cast<int>(sizeof(kCatalogue) / sizeof(kCatalogue[0]));
}

IWiperAlgorithm* CWiperAlgorithmDescriptor::GetAlgorithmByIndex(int index) {
  // Indexes whose type number would overflow follow the factory's rule too.
  const long long type = static_cast<long long>(index) + IWiperAlgorithm::eTypeWriteZero;
  if (type > INT_MAX) return __getAlgorithmByType(IWiperAlgorithm::eTypeWriteZero);
  return __getAlgorithmByType(static_cast<int>(type));
}

IWiperAlgorithm* CWiperAlgorithmDescriptor::GetAlgorithmByType(int type) {
  return __getAlgorithmByType(type);
}

IWiperAlgorithmDescriptor* __getAlgorithmDescriptor() {
  static CWiperAlgorithmDescriptor catalogue;
  return &catalogue;
}
