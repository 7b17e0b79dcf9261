#pragma once
// The industry's anti-malware test file (EICAR): 68 harmless bytes that every
// scanner reports, so that people can check that protection works. The string is
// assembled at run time, so that no file of this program holds it whole (other
// scanners would report the program itself).
#include <string>
#include <string_view>

// The 68-byte test string.
std::string AntiMalwareTestString();

// True when the bytes are the whole file and are the test string followed only by
// the padding its convention allows (blank, tab, CR, LF, Ctrl-Z), 128 bytes at most.
bool IsAntiMalwareTestFile(std::string_view whole_file);

// The reason the engine gives for it.
extern const wchar_t* const kTestFileReason;
