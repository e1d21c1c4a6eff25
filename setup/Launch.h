// Starting Linkweave from Preflight.
#pragma once

#include <string>

// The linkweave that belongs with this Preflight: the one in the folder of Preflight's
// own executable, in the build tree as where both are installed. "" with `error` set
// when that folder cannot be found.
std::string linkweavePath(std::string& error);

// Starts linkweavePath() with no arguments in the working directory (where settings.txt
// is), detached in a session of its own: Preflight does not wait for it, and the
// intermediate child is reaped at once so no zombie is left. No shell is involved.
// Returns "" once the program has been executed, else why it could not be, naming the
// path it tried.
std::string startLinkweave();
