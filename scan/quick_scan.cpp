#include "scan/quick_scan.h"

// The scan walks arrive with the directory walker and the per-file scan.
void RunQuickScan() {}
