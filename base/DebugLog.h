// debug.txt: Linkweave's plain-text trace, in the working directory. Every entry is
// opened, written and closed on its own, so the file holds everything written up to
// any moment, even after a crash. Entries that cannot be written are silently lost.
#pragma once

#include "base/ResultCodes.h"

// Empties debug.txt (creating it if missing) and writes its "DEBUG LOG" heading.
void startDebugLog();

// Appends one entry: the text, then "OK" for code 0 or "error" (with the DirectDraw
// error name joined on, for the four codes that have one).
void logMessage(const char* text, ResultCode code);

// Appends the text as a line of its own, without a result line.
void logLine(const char* text);

// How many entries could not be written since the program started (a trace that cannot
// be written is no reason to stop, but a tool should not claim it is there).
int lostLogEntries();
