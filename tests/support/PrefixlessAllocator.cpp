#include "support/PrefixlessAllocator.h"

PrefixlessAllocator::PrefixlessAllocator(IMemAllocator* inner, Answer answer)
    : DelegatingAllocator(inner), m_answer(answer) {}

STDMETHODIMP PrefixlessAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                ALLOCATOR_PROPERTIES* actual) {
  if (request == nullptr || actual == nullptr) {
    return E_POINTER;
  }
  if (request->cbPrefix != 0 && m_answer == Answer::Refuse) {
    return E_INVALIDARG;
  }
  ALLOCATOR_PROPERTIES granted = *request;
  granted.cbPrefix = 0;
  return Inner()->SetProperties(&granted, actual);
}
