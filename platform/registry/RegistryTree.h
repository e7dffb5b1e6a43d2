// Tree operations on RegistryNode that know nothing of handles or files.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "RegistryNode.h"

namespace platform::registry {

std::shared_ptr<RegistryNode> NewRootNode();

// The current time as FILETIME ticks (100 ns since 1601).
uint64_t CurrentFileTime();

// The key named by the path below base, or null.
RegistryNode* FindNode(RegistryNode& base, const std::vector<std::string>& names);

// Walks the path below base, creating what is missing. createdTop receives
// the outermost key created (null when all existed), so that a failed save
// can take the whole new branch away again.
RegistryNode* CreateNodes(RegistryNode& base, const std::vector<std::string>& names,
                          std::shared_ptr<RegistryNode>& createdTop);

// Takes a key out of its parent and marks it deleted for the handles that
// still hold it.
void DetachNode(RegistryNode& node);

// Undoes DetachNode (for a change that could not be saved).
void ReattachNode(RegistryNode& parent, const std::shared_ptr<RegistryNode>& node);

// Merges every section of the document into the tree rooted at root; the
// document's paths must be valid (as ParseRegistryText makes them).
void MergeDocument(RegistryNode& root, const RegistryDocument& document);

// Every key of the tree, parents before children, siblings and values in
// name order; the root appears only when it holds values.
RegistryDocument ExportDocument(const RegistryNode& root);

}  // namespace platform::registry
