// Finding the display devices and the 3D devices that Linkweave can draw with. The real
// enumeration probes OpenGL in child processes; tests link a fake in its place.
#pragma once

#include "setup/SetupLogic.h"

// Fills `displays` (replacing what it held) with the display devices in order, the first
// one with its 3D devices. Returns true when there is a first display with at least one
// 3D device, which is all the dialog needs.
bool enumerateDevices(DeviceLists& displays);

// The real enumeration runs this program again as its probe child. Returns true (with the
// exit code) when this process is such a child and has done its probing.
bool runProbeChildIfAsked(int argc, char** argv, int& exitCode);
