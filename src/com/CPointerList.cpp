#include "com/CPointerList.h"

#include <new>

struct CPointerList::Node {
  Node* previous;
  Node* next;
  void* object;  // not owned
};

CPointerList::~CPointerList() { Clear(); }

CPointerList::Position CPointerList::Append(void* object) {
  Node* node = new (std::nothrow) Node;
  if (node == nullptr) {
    return nullptr;
  }
  node->object = object;
  node->next = nullptr;
  node->previous = m_last;
  if (m_last != nullptr) {
    m_last->next = node;
  } else {
    m_first = node;
  }
  m_last = node;
  return node;
}

BOOL CPointerList::AppendAll(const CPointerList& other) {
  // Appending a list to itself stops at the tail it had on entry.
  Node* const last = other.m_last;
  for (Node* node = other.m_first; node != nullptr; node = node->next) {
    if (Append(node->object) == nullptr) {
      return FALSE;
    }
    if (node == last) {
      break;
    }
  }
  return TRUE;
}

void* CPointerList::NextObject(Position& position) const {
  if (position == nullptr) {
    return nullptr;
  }
  void* object = position->object;
  position = position->next;
  return object;
}

void* CPointerList::ObjectAt(Position position) const {
  return position == nullptr ? nullptr : position->object;
}

CPointerList::Position CPointerList::FindPosition(const void* object) const {
  for (Node* node = m_first; node != nullptr; node = node->next) {
    if (node->object == object) {
      return node;
    }
  }
  return nullptr;
}

void* CPointerList::RemoveAt(Position position) {
  if (position == nullptr) {
    return nullptr;
  }
  (position->previous != nullptr ? position->previous->next : m_first) = position->next;
  (position->next != nullptr ? position->next->previous : m_last) = position->previous;
  void* object = position->object;
  delete position;
  return object;
}

void CPointerList::Clear() {
  Node* node = m_first;
  while (node != nullptr) {
    Node* next = node->next;
    delete node;
    node = next;
  }
  m_first = nullptr;
  m_last = nullptr;
}
