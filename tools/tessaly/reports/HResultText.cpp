#include "tessaly/reports/HResultText.h"

#include <cstdio>

namespace tessaly::cli {

namespace {

struct ResultEntry {
  HRESULT code;
  const char* name;
  const char* meaning;
};

constexpr ResultEntry kResults[] = {
    {S_OK, "S_OK", "success"},
    {S_FALSE, "S_FALSE", "success, with nothing done"},
    {VFW_S_PARTIAL_RENDER, "VFW_S_PARTIAL_RENDER", "some streams of the file were not rendered"},
    {E_NOTIMPL, "E_NOTIMPL", "not implemented"},
    {E_NOINTERFACE, "E_NOINTERFACE", "the object does not offer the interface asked for"},
    {E_POINTER, "E_POINTER", "a required pointer was null"},
    {E_ABORT, "E_ABORT", "the operation was aborted"},
    {E_FAIL, "E_FAIL",
     "unspecified failure; the splitter reports a damaged header or sample "
     "table this way"},
    {E_UNEXPECTED, "E_UNEXPECTED", "a call came at an unexpected time"},
    {E_ACCESSDENIED, "E_ACCESSDENIED", "access denied"},
    {E_HANDLE, "E_HANDLE", "invalid handle"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "out of memory"},
    {E_INVALIDARG, "E_INVALIDARG", "an argument was not valid"},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION", "the class cannot be aggregated"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE",
     "the module does not provide the class"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", "the class is not registered"},
    {REGDB_E_READREGDB, "REGDB_E_READREGDB", "the registry could not be read"},
    {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED", "COM is not initialised on this thread"},
    {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND", "the registered module file was not found"},
    {CO_E_ERRORINDLL, "CO_E_ERRORINDLL", "the registered module could not be loaded"},
    {SELFREG_E_CLASS, "SELFREG_E_CLASS", "the class could not be registered"},
    {VFW_E_INVALIDMEDIATYPE, "VFW_E_INVALIDMEDIATYPE", "the media type is not valid"},
    {VFW_E_NEED_OWNER, "VFW_E_NEED_OWNER", "the object cannot stand alone"},
    {VFW_E_ALREADY_CONNECTED, "VFW_E_ALREADY_CONNECTED", "the pin is already connected"},
    {VFW_E_NO_ACCEPTABLE_TYPES, "VFW_E_NO_ACCEPTABLE_TYPES",
     "the pins have no media type in common"},
    {VFW_E_INVALID_DIRECTION, "VFW_E_INVALID_DIRECTION", "the pins have the wrong directions"},
    {VFW_E_NOT_CONNECTED, "VFW_E_NOT_CONNECTED", "the pin is not connected"},
    {VFW_E_NO_ALLOCATOR, "VFW_E_NO_ALLOCATOR", "no sample allocator was agreed"},
    {VFW_E_RUNTIME_ERROR, "VFW_E_RUNTIME_ERROR", "a run-time error occurred"},
    {VFW_E_BUFFER_OVERFLOW, "VFW_E_BUFFER_OVERFLOW", "the data does not fit the buffer"},
    {VFW_E_NOT_COMMITTED, "VFW_E_NOT_COMMITTED", "the allocator is not committed"},
    {VFW_E_SIZENOTSET, "VFW_E_SIZENOTSET", "the allocator's buffer size is not set"},
    {VFW_E_NOT_FOUND, "VFW_E_NOT_FOUND", "not found"},
    {VFW_E_CANNOT_CONNECT, "VFW_E_CANNOT_CONNECT", "no combination of filters connects the pins"},
    {VFW_E_CANNOT_RENDER, "VFW_E_CANNOT_RENDER",
     "no registered filter takes the stream (the module is not registered with the filter "
     "mapper)"},
    {VFW_E_NOT_STOPPED, "VFW_E_NOT_STOPPED", "the filter is not stopped"},
    {VFW_E_WRONG_STATE, "VFW_E_WRONG_STATE", "the filter is in the wrong state"},
    {VFW_E_TYPE_NOT_ACCEPTED, "VFW_E_TYPE_NOT_ACCEPTED",
     "the media type was not accepted; the splitter reports a file with neither audio nor video "
     "this way"},
    {VFW_E_TIMEOUT, "VFW_E_TIMEOUT", "the operation timed out"},
    {VFW_E_UNKNOWN_FILE_TYPE, "VFW_E_UNKNOWN_FILE_TYPE",
     "no registered check bytes recognise the file"},
    {VFW_E_CANNOT_LOAD_SOURCE_FILTER, "VFW_E_CANNOT_LOAD_SOURCE_FILTER",
     "the source filter registered for the file type cannot be created"},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "ERROR_FILE_NOT_FOUND", "the file was not found"},
    {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), "ERROR_ACCESS_DENIED", "access denied"},
    {HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), "ERROR_NOT_ENOUGH_MEMORY", "out of memory"},
    {HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "ERROR_INVALID_DATA", "the data is not valid"},
    {HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), "ERROR_INVALID_PARAMETER",
     "a parameter was not valid"},
    {HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), "ERROR_BAD_EXE_FORMAT",
     "not a valid module for this platform"},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "ERROR_PATH_NOT_FOUND", "the path was not found"},
    {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "ERROR_MOD_NOT_FOUND",
     "the module or a library it needs was not found"},
    {HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "ERROR_PROC_NOT_FOUND",
     "the module lacks an entry point"},
    {HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED), "ERROR_DLL_INIT_FAILED",
     "the module's entry point refused to load"},
    {HRESULT_FROM_WIN32(ERROR_BADDB), "ERROR_BADDB", "the registry file is damaged"},
    {HRESULT_FROM_WIN32(ERROR_CANTWRITE), "ERROR_CANTWRITE", "the registry could not be written"},
    {HRESULT_FROM_WIN32(ERROR_CANTOPEN), "ERROR_CANTOPEN", "the registry key could not be opened"},
};

const ResultEntry* Find(HRESULT hr) {
  for (const ResultEntry& entry : kResults) {
    if (entry.code == hr) return &entry;
  }
  return nullptr;
}

}  // namespace

std::string HResultName(HRESULT hr) {
  const ResultEntry* entry = Find(hr);
  return entry != nullptr ? entry->name : std::string();
}

std::string HResultMeaning(HRESULT hr) {
  if (const ResultEntry* entry = Find(hr)) return entry->meaning;
  const uint32_t code = static_cast<uint32_t>(hr);
  if ((code & 0xFFFF0000u) == 0x80070000u) {
    return "system error " + std::to_string(code & 0xFFFFu);
  }
  return SUCCEEDED(hr) ? "success code not known to tessaly" : "failure code not known to tessaly";
}

std::string DescribeHResult(HRESULT hr) {
  char number[16];
  std::snprintf(number, sizeof(number), "0x%08X", static_cast<unsigned>(hr));
  const std::string name = HResultName(hr);
  return std::string(number) + (name.empty() ? "" : " " + name) + " (" + HResultMeaning(hr) + ")";
}

}  // namespace tessaly::cli
