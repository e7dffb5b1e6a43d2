// An allocator that keeps no room in front of its buffers, as some
// downstream filters' allocators do: it either refuses a request for a
// prefix or grants the buffers without one. Everything else is the
// wrapped allocator's.
#pragma once

#include "support/DelegatingAllocator.h"

class PrefixlessAllocator final : public DelegatingAllocator {
 public:
  enum class Answer { Refuse, Ignore };

  // Created with a reference count of 0; hold it through a counted pointer.
  PrefixlessAllocator(IMemAllocator* inner, Answer answer);

  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;

 private:
  ~PrefixlessAllocator() override = default;

  Answer m_answer;
};
