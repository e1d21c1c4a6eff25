// Starting Linkweave from Preflight.
#pragma once

#include <string>

// Starts ./linkweave from the working directory with no arguments, detached in a session
// of its own: Preflight does not wait for it, and the intermediate child is reaped at once
// so no zombie is left. No shell is involved. Returns "" once the program has been
// executed, else why it could not be.
std::string startLinkweave();
