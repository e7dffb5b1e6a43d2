// The platform's file-type detection: the check bytes registered under
// "Media Type\{MEDIATYPE_Stream}\{subtype}" recognise a file by its bytes and
// name the source filter that reads it.
#pragma once

#include <memory>
#include <string>

#include <win/platform.h>

#include "CCheckBytes.h"
#include "CPositionedFile.h"

namespace platform {

// A file opened for check-byte matching.
class CFileCheckBytes final : public CheckByteSource {
 public:
  // Missing file: HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), and the platform's
  // other codes for the other reasons a file cannot be opened.
  static HRESULT Open(LPCWSTR path, std::unique_ptr<CFileCheckBytes>* out);

  LONGLONG Size() const override { return m_size; }
  HRESULT Read(LONGLONG position, ULONG length, BYTE* buffer) const override;

 private:
  CFileCheckBytes(std::shared_ptr<CPositionedFile> file, LONGLONG size)
      : m_file(std::move(file)), m_size(size) {}

  std::shared_ptr<CPositionedFile> m_file;  // owned with whoever else shares it
  LONGLONG m_size;                          // read once, so that every group sees the same file
};

// The registered subtype whose check bytes match, and its "Source Filter"
// (CLSID_AsyncReader when the type names none). VFW_E_UNKNOWN_FILE_TYPE when
// nothing matches; VFW_E_CANNOT_LOAD_SOURCE_FILTER when the matching type
// names its source filter in a form that is no class identifier.
HRESULT DetectFileTypeOf(const CheckByteSource& file, GUID* subtype, CLSID* sourceFilter);

// A wide path in the narrow (UTF-8) form the file system takes.
HRESULT WidePathToUtf8(LPCWSTR path, std::string* out);

}  // namespace platform
