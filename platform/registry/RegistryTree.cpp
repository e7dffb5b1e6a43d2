#include "RegistryTree.h"

#include <chrono>

namespace platform::registry {

std::shared_ptr<RegistryNode> NewRootNode() {
  auto root = std::make_shared<RegistryNode>();
  root->name = std::string(kRootName);
  root->lastWriteTime = CurrentFileTime();
  return root;
}

uint64_t CurrentFileTime() {
  constexpr uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
  auto since1970 = std::chrono::system_clock::now().time_since_epoch();
  auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count() / 100;
  return kTicksFrom1601To1970 + static_cast<uint64_t>(ticks);
}

RegistryNode* FindNode(RegistryNode& base, const std::vector<std::string>& names) {
  RegistryNode* node = &base;
  for (const std::string& name : names) {
    auto found = node->subkeys.find(name);
    if (found == node->subkeys.end()) return nullptr;
    node = found->second.get();
  }
  return node;
}

RegistryNode* CreateNodes(RegistryNode& base, const std::vector<std::string>& names,
                          std::shared_ptr<RegistryNode>& createdTop) {
  createdTop.reset();
  RegistryNode* node = &base;
  for (const std::string& name : names) {
    auto found = node->subkeys.find(name);
    if (found != node->subkeys.end()) {
      node = found->second.get();
      continue;
    }
    auto child = std::make_shared<RegistryNode>();
    child->name = name;
    child->parent = node;
    child->lastWriteTime = CurrentFileTime();
    node->subkeys.emplace(name, child);
    node->lastWriteTime = child->lastWriteTime;
    if (!createdTop) createdTop = child;
    node = child.get();
  }
  return node;
}

void DetachNode(RegistryNode& node) {
  RegistryNode* parent = node.parent;
  node.deleted = true;
  node.parent = nullptr;
  if (parent == nullptr) return;
  parent->subkeys.erase(node.name);
  parent->lastWriteTime = CurrentFileTime();
}

void ReattachNode(RegistryNode& parent, const std::shared_ptr<RegistryNode>& node) {
  node->deleted = false;
  node->parent = &parent;
  parent.subkeys.emplace(node->name, node);
}

void MergeDocument(RegistryNode& root, const RegistryDocument& document) {
  std::vector<std::string> names;
  std::shared_ptr<RegistryNode> created;
  for (const RegistryKeyEntry& entry : document.keys) {
    if (SplitKeyPath(entry.path, names) != PathStatus::Ok) continue;
    RegistryNode* node = CreateNodes(root, names, created);
    for (const RegistryValue& value : entry.values) {
      auto found = node->values.find(value.name);
      if (found == node->values.end()) {
        node->values.emplace(value.name, value);
      } else {
        found->second.type = value.type;
        found->second.data = value.data;
      }
    }
  }
}

namespace {

void AppendKey(RegistryDocument& document, const RegistryNode& node, const std::string& path) {
  RegistryKeyEntry entry;
  entry.path = path;
  for (const auto& [name, value] : node.values) entry.values.push_back(value);
  document.keys.push_back(std::move(entry));
}

}  // namespace

RegistryDocument ExportDocument(const RegistryNode& root) {
  RegistryDocument document;
  if (!root.values.empty()) AppendKey(document, root, "");
  // Explicit stack: a hostile file may nest keys deeper than the call stack.
  struct Pending {
    const RegistryNode* node;
    std::string path;
  };
  std::vector<Pending> stack;
  for (auto it = root.subkeys.rbegin(); it != root.subkeys.rend(); ++it) {
    stack.push_back({it->second.get(), it->second->name});
  }
  while (!stack.empty()) {
    Pending next = std::move(stack.back());
    stack.pop_back();
    AppendKey(document, *next.node, next.path);
    for (auto it = next.node->subkeys.rbegin(); it != next.node->subkeys.rend(); ++it) {
      stack.push_back({it->second.get(), next.path + "\\" + it->second->name});
    }
  }
  return document;
}

}  // namespace platform::registry
