// Preflight: the settings dialog that writes settings.txt and starts Linkweave.
#include <gtk/gtk.h>

#include <cstdio>

#include "setup/DeviceEnumeration.h"
#include "setup/SetupDialog.h"

int main(int argc, char** argv) {
    int probeExit = 0;
    if (runProbeChildIfAsked(argc, argv, probeExit)) return probeExit;

    // GTK is given no arguments: settings.txt is the only configuration.
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "preflight: cannot open the X display (is DISPLAY set?)\n");
        return 1;
    }
    return runSetupDialog();
}
