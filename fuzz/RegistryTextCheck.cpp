#include "RegistryTextCheck.h"

#include <platform/Registry.h>

#include <string_view>

namespace fuzzcheck {
namespace {

using platform::RegistryDocument;

// A refused text must leave the caller's document alone; this one tells.
RegistryDocument Untouched() {
  RegistryDocument document;
  document.keys.push_back({"Untouched\\Sentinel", {{"", 1, {'x', 0}}}});
  return document;
}

std::string CheckRefused(std::string_view text, const RegistryDocument& out,
                         const std::string& error) {
  if (error.empty()) return "a refused text gave no message";
  if (!(out == Untouched())) return "a refused text changed the document";
  platform::UseMemoryRegistry();
  std::string empty = platform::ExportRegistryText();
  std::string importError;
  if (platform::ImportRegistryText(text, &importError)) {
    return "the registry imported a text its reader refuses";
  }
  if (platform::ExportRegistryText() != empty) return "a refused import changed the registry";
  return {};
}

std::string CheckRoundTrip(const RegistryDocument& document) {
  std::string formatted = platform::FormatRegistryText(document);
  RegistryDocument again;
  std::string error;
  if (!platform::ParseRegistryText(formatted, again, error)) {
    return "the formatted document does not parse: " + error;
  }
  if (!(again == document)) return "formatting and parsing again changed the document";
  if (platform::FormatRegistryText(again) != formatted) {
    return "formatting the document again gave other text";
  }
  return {};
}

// What the registry exports must import into an empty registry and export
// to the same text.
std::string CheckImportExport(std::string_view text) {
  platform::UseMemoryRegistry();
  std::string error;
  if (!platform::ImportRegistryText(text, &error)) {
    return {};
  }
  std::string exported = platform::ExportRegistryText();
  RegistryDocument document;
  if (!platform::ParseRegistryText(exported, document, error)) {
    return "the exported registry does not parse: " + error;
  }
  platform::UseMemoryRegistry();
  if (!platform::ImportRegistryText(exported, &error)) {
    return "the exported registry does not import: " + error;
  }
  if (platform::ExportRegistryText() != exported) {
    return "importing an export and exporting again gave other text";
  }
  return {};
}

}  // namespace

std::string CheckRegistryTextInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  RegistryDocument document = Untouched();
  std::string error;
  if (!platform::ParseRegistryText(text, document, error)) {
    return CheckRefused(text, document, error);
  }
  std::string failure = CheckRoundTrip(document);
  if (!failure.empty()) return failure;
  return CheckImportExport(text);
}

}  // namespace fuzzcheck
