#include "app/run_counters.h"

RunCountersData RunCounters;
