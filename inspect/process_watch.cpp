#include "inspect/process_watch.h"

void MonitorProcesses() {}
