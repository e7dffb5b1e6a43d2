// One key of the live tree. Open handles share ownership of their key, so a
// key deleted while a handle is open lives on, detached and marked deleted.
#pragma once

#include <platform/Registry.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "RegistryNames.h"

namespace platform::registry {

struct RegistryNode : std::enable_shared_from_this<RegistryNode> {
  std::string name;                // case as first created
  RegistryNode* parent = nullptr;  // not counted; null for the root and for detached keys
  std::map<std::string, std::shared_ptr<RegistryNode>, NameLess> subkeys;  // counted
  std::map<std::string, RegistryValue, NameLess> values;  // keyed by the name as first written
  bool deleted = false;
  uint64_t lastWriteTime = 0;  // FILETIME ticks
};

}  // namespace platform::registry
