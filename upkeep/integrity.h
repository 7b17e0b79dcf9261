#pragma once
// The integrity routine run by the integrity workers.

// One pass of the integrity routine.
void RunIntegrityCheck();
