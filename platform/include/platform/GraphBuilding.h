// Host hooks for building graphs the platform's way: where rendering ends a
// stream (a sink the host supplies), and the file-type detection by check bytes.
//
// Results of IGraphBuilder::AddSourceFilter and RenderFile on the platform's
// filter graph (CLSID_FilterGraph), for turning into messages:
//   S_OK                          everything connected, every output rendered.
//   VFW_S_PARTIAL_RENDER          the source is connected to a filter, but some
//                                 outputs stayed unconnected (no sink factory, or
//                                 the factory declined or its sink refused them).
//   HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) / (ERROR_PATH_NOT_FOUND)
//                                 the file or its folder does not exist;
//   E_ACCESSDENIED                the file cannot be opened for reading.
//   VFW_E_UNKNOWN_FILE_TYPE       no check bytes under "Media Type\{MEDIATYPE_Stream}"
//                                 recognise the file (nothing registered for it).
//   VFW_E_CANNOT_LOAD_SOURCE_FILTER
//                                 the "Source Filter" named for the file type is not
//                                 a class identifier, cannot be created, or is no
//                                 IFileSourceFilter.
//   VFW_E_CANNOT_RENDER           no registered filter takes the source's output
//                                 type (the filter module is not registered with the
//                                 filter mapper), and no sink took it either.
//   any other failure             a filter that was found refused the connection
//                                 or could not be created: its own code (for
//                                 example the splitter's verdict on a damaged file,
//                                 or REGDB_E_CLASSNOTREG / CO_E_DLLNOTFOUND when the
//                                 mapper names a class whose module is gone).
// A failed RenderFile or AddSourceFilter leaves the graph as it found it.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>

#include <win/platform.h>

#define TESSALY_GRAPH_HOOK __attribute__((visibility("default")))

namespace platform {

// Supplied by the host: the filter that ends a stream when the graph renders an
// output pin that no registered filter takes. Such a sink reports the end of
// its stream as renderers do: IMediaEventSink::Notify(EC_COMPLETE, status,
// its IBaseFilter pointer or 0) on the graph it joined; WaitForCompletion
// returns once every sink has.
struct IRenderSinkFactory : public IUnknown {
  // S_OK with a new counted filter in *sink, whose first free input pin the
  // graph connects the pin to; S_FALSE (and null) to leave the pin unrendered.
  // type is the pin's preferred media type, null when it offers none.
  virtual HRESULT STDMETHODCALLTYPE CreateSink(IPin* pin, const AM_MEDIA_TYPE* type,
                                               IBaseFilter** sink) = 0;
};

// Answered by the platform's filter graph to QueryInterface.
struct IGraphRendering : public IUnknown {
  // The graph holds the factory (counted) until it is replaced, removed with
  // null, or the graph goes.
  virtual HRESULT STDMETHODCALLTYPE SetRenderSinkFactory(IRenderSinkFactory* factory) = 0;
  // Every sink the graph counts for completion: filters with a connected input
  // pin and no connected output pin, in the graph's order.
  virtual ULONG STDMETHODCALLTYPE SinkCount() = 0;
};

inline constexpr GUID IID_IRenderSinkFactory = {
    0x0C5D3A41, 0x7E2B, 0x4F6A, {0x9B, 0x18, 0x52, 0xA4, 0x3D, 0x6E, 0x81, 0x0F}};
inline constexpr GUID IID_IGraphRendering = {
    0x0C5D3A42, 0x7E2B, 0x4F6A, {0x9B, 0x18, 0x52, 0xA4, 0x3D, 0x6E, 0x81, 0x0F}};

// Whether one check-byte value ("offset,length,mask,bytes" groups, every group
// to match) matches a file held in memory. E_INVALIDARG, with *matched false,
// for a value that is not well formed; E_POINTER for null arguments.
TESSALY_GRAPH_HOOK HRESULT MatchCheckBytes(std::string_view value, const BYTE* file, size_t size,
                                           bool* matched);

// The file type the registry's check bytes give a file, and the source filter
// registered for it (CLSID_AsyncReader when the type names none). Results as
// for AddSourceFilter above, up to the creation of the source filter.
TESSALY_GRAPH_HOOK HRESULT DetectFileType(LPCWSTR path, GUID* subtype, CLSID* sourceFilter);

// An IRenderSinkFactory around a callable
// HRESULT(IPin* pin, const AM_MEDIA_TYPE* type, IBaseFilter** sink); created
// with no reference, hand it out through QueryInterface or AddRef.
template <typename Callable>
class CallbackSinkFactory final : public IRenderSinkFactory {
 public:
  explicit CallbackSinkFactory(Callable callable) : m_callable(std::move(callable)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IRenderSinkFactory) {
      *ppv = static_cast<IRenderSinkFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return __atomic_add_fetch(&m_refs, 1, __ATOMIC_RELAXED);
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = __atomic_sub_fetch(&m_refs, 1, __ATOMIC_ACQ_REL);
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE CreateSink(IPin* pin, const AM_MEDIA_TYPE* type,
                                       IBaseFilter** sink) override {
    if (!sink) return E_POINTER;
    *sink = nullptr;
    return m_callable(pin, type, sink);
  }

 private:
  ~CallbackSinkFactory() = default;

  ULONG m_refs = 0;
  Callable m_callable;
};

}  // namespace platform
