#pragma once

#include "Platform.h"

// A doubly linked list of untyped pointers walked through opaque positions.
// The list never owns, releases or frees the objects it points to; the same
// pointer (null included) may be stored more than once.
class CPointerList {
 public:
  struct Node;
  // Null means no position: before the start or past the end. A position
  // stays valid until Clear or the list's destruction.
  typedef Node* Position;

  CPointerList() = default;
  ~CPointerList();

  CPointerList(const CPointerList&) = delete;
  CPointerList& operator=(const CPointerList&) = delete;

  // Null when no node could be allocated; the list is then unchanged.
  Position Append(void* object);
  // FALSE at the first failed append; the objects appended before it stay.
  BOOL AppendAll(const CPointerList& other);

  Position FirstPosition() const { return m_first; }
  // Returns the object at position and advances it (null after the last).
  void* NextObject(Position& position) const;
  void* ObjectAt(Position position) const;
  // The first node holding this pointer value, or null.
  Position FindPosition(const void* object) const;
  BOOL IsEmpty() const { return m_first == nullptr ? TRUE : FALSE; }
  // Unlinks the node at position and returns its object; other positions
  // stay valid.
  void* RemoveAt(Position position);

  void Clear();

 private:
  Node* m_first = nullptr;  // owned, with every node after it
  Node* m_last = nullptr;   // borrowed: the tail of the chain from m_first
};
