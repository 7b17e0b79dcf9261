#pragma once
// The quick scan of the places malware likes best.

void RunQuickScan();
