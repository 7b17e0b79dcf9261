#pragma once
// Watch of running processes.

// One look at the running processes.
void MonitorProcesses();
