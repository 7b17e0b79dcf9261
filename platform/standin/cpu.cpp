#include "platform/cpu.h"

#include "platform/standin/machine.h"

namespace platform {

bool CpuQueryOpen() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  machine.journal.push_back("CpuQueryOpen");
  machine.cpu_query_open = machine.cpu_query_works;
  if (machine.cpu_query_open) ++machine.cpu_collections;  // the priming collection
  return machine.cpu_query_open;
}

bool CpuQueryCollect() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  if (!machine.cpu_query_open) return false;
  ++machine.cpu_collections;
  return true;
}

bool CpuQueryRead(double& percent) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  percent = standin::TheMachine().cpu_percent;
  return standin::TheMachine().cpu_query_open;
}

bool GpuQueryRead(double& percent) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& machine = standin::TheMachine();
  if (!machine.cpu_query_open || !machine.gpu_counter) return false;
  percent = machine.gpu_percent;
  return true;
}

void CpuQueryClose() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().journal.push_back("CpuQueryClose");
  standin::TheMachine().cpu_query_open = false;
}

}  // namespace platform

namespace standin {

void SetGpuPercent(double percent) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().gpu_counter = true;
  TheMachine().gpu_percent = percent;
}

}  // namespace standin
