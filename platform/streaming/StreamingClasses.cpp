// The streaming components the platform serves itself, entered in the COM
// runtime's class table when the platform library loads.
#include <platform/BuiltinClasses.h>

#include "CAsyncFileSource.h"
#include "CFilterGraph.h"
#include "CFilterMapper.h"
#include "CSystemClock.h"
#include "CSystemMemAllocator.h"

namespace platform {
namespace {

struct StreamingClassRegistration {
  StreamingClassRegistration() {
    RegisterBuiltinClass(CLSID_MemoryAllocator, &CSystemMemAllocator::Create);
    RegisterBuiltinClass(CLSID_SystemClock, &CSystemClock::Create);
    RegisterBuiltinClass(CLSID_FilterGraph, &CFilterGraph::Create);
    RegisterBuiltinClass(CLSID_AsyncReader, &CAsyncFileSource::Create);
    RegisterBuiltinClass(CLSID_FilterMapper, &CFilterMapper::Create);
  }
};

const StreamingClassRegistration g_registration;

}  // namespace
}  // namespace platform
