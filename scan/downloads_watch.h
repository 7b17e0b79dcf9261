#pragma once
// Watch of the user's Downloads folder.

// Runs until AppRunning is cleared; returns at once when the folder cannot be watched.
void WatchDownloads();
