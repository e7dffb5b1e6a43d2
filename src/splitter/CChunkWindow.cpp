#include "splitter/CChunkWindow.h"

#include <new>

const BYTE* CChunkWindow::Find(LONGLONG position, DWORD length) const {
  if (m_length == 0 || position < m_start) {
    return nullptr;
  }
  // Both sides are below 2^33: no sum here can wrap.
  const LONGLONG skip = position - m_start;
  if (skip > m_length || length > m_length - skip) {
    return nullptr;
  }
  return m_buffer.get() + skip;
}

HRESULT CChunkWindow::Fill(CFilmByteSource* source, LONGLONG position, DWORD length) {
  m_length = 0;
  if (length > kLength || source == nullptr) {
    return E_INVALIDARG;
  }
  if (m_buffer == nullptr) {
    m_buffer.reset(new (std::nothrow) BYTE[kLength]);
    if (m_buffer == nullptr) {
      return E_OUTOFMEMORY;
    }
  }
  const HRESULT hr = source->ReadAt(position, static_cast<LONG>(length), m_buffer.get());
  if (hr != S_OK) {
    return hr;
  }
  m_start = position;
  m_length = length;
  return S_OK;
}
