#include "scan/disk_watch.h"

void PollNewDrives() {}
