#include "scan/downloads_watch.h"

// The change-record watch arrives with the per-file scan; until then the watch is off.
void WatchDownloads() {}
