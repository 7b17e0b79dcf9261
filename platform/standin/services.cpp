#include "platform/services.h"

#include "platform/standin/machine.h"

namespace standin {

void AddService(const std::wstring& name, const std::wstring& image_path, bool running) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().services.push_back({name, image_path, running});
}

std::vector<std::wstring> StoppedServices() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().stopped_services;
}

void SetServiceManagerOpens(bool opens) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().service_manager_opens = opens;
}

}  // namespace standin

namespace platform {

void VisitWin32Services(
    uint32_t access,
    const std::function<void(const std::wstring& name, const std::wstring& image_path,
                             const std::function<bool()>& stop)>& visit) {
  std::vector<standin::Machine::Service> services;
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    services = standin::TheMachine().services;
  }
  for (std::size_t i = 0; i < services.size(); ++i) {
    if (services[i].image_path.empty()) continue;
    const std::wstring name = services[i].name;
    const auto stop = [access, name] {
      if (!(access & kServiceStop)) return false;  // opened without the right to stop
      std::lock_guard<std::mutex> hold(standin::MachineLock());
      auto& machine = standin::TheMachine();
      for (auto& service : machine.services) {
        if (service.name != name || !service.running) continue;
        service.running = false;
        machine.stopped_services.push_back(name);
        return true;
      }
      return false;
    };
    visit(name, services[i].image_path, stop);
  }
}

bool QueryServiceRunStates(const std::vector<std::wstring>& names, std::vector<ServiceRunState>& states) {
  states.clear();
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& machine = standin::TheMachine();
  if (!machine.service_manager_opens) return false;
  for (const std::wstring& name : names) {
    ServiceRunState state = ServiceRunState::Unknown;
    for (const auto& service : machine.services) {
      if (service.name == name) state = service.running ? ServiceRunState::Running : ServiceRunState::NotRunning;
    }
    states.push_back(state);
  }
  return true;
}

}  // namespace platform
