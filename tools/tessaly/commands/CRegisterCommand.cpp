#include "tessaly/commands/CRegisterCommand.h"

#include <cstdio>

#include "tessaly/CCommandError.h"
#include "tessaly/graph/CComSession.h"
#include "tessaly/graph/CModuleRegistrar.h"
#include "tessaly/graph/CRegistrationCheck.h"
#include "tessaly/graph/CRegistrySelection.h"

namespace tessaly::cli {

int CRegisterCommand::Register() const {
  const CRegistrySelection registry(m_options.registry);
  registry.Apply(true);
  const CComSession com;
  const CModuleRegistrar registrar(m_options.module);
  registrar.Register();
  std::printf("registered %s in %s\n", registrar.ModulePath().c_str(), registry.Path().c_str());
  return kExitSuccess;
}

int CRegisterCommand::Unregister() const {
  const CRegistrySelection registry(m_options.registry);
  registry.Apply(true);
  const CComSession com;
  if (!CRegistrationCheck().IsRegistered()) {
    std::printf("the Tessaly module is not registered in %s: nothing to unregister\n",
                registry.Path().c_str());
    return kExitSuccess;
  }
  const CModuleRegistrar registrar(m_options.module);
  registrar.Unregister();
  std::printf("unregistered %s from %s\n", registrar.ModulePath().c_str(), registry.Path().c_str());
  return kExitSuccess;
}

}  // namespace tessaly::cli
