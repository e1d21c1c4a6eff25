// The "Linkweave Setup" dialog in GTK 3: the controls of the template at their converted
// positions, the start-up filling of the lists, Save, Help and Cancel.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "setup/SetupLogic.h"

struct SetupDialog {
    GtkWidget* window = nullptr;
    GtkWidget* displayList = nullptr;     // 1010
    GtkWidget* deviceList = nullptr;      // 1011
    GtkWidget* resolutionList = nullptr;  // 1012
    GtkWidget* pagesList = nullptr;       // 1013
    GtkWidget* fullScreen = nullptr;      // 1019
    GtkWidget* url = nullptr;             // 1020
    GtkWidget* cancel = nullptr;          // 2
    GtkWidget* save = nullptr;            // 1000
    GtkWidget* help = nullptr;            // 1021

    DeviceLists displays;  // kept for the life of the program
    int shownDevices = 0;  // 3D devices in the list, at most two
    int h = 0;             // the hardware index of the 3D device list
    int result = -1;       // set when the dialog ends
};

enum class SetupMessage { InitDialog, Command };

// Handles one message of the dialog, as the command of `controlId` for Command. Returns
// true when it was handled.
bool setupDialogProc(SetupDialog& dialog, SetupMessage message, int controlId = 0);

// Sets the icons, enumerates the devices and fills and selects the controls, then reads
// settings.txt back into them. Returns a negative value when there is no device to offer.
int initSetupDialog(SetupDialog& dialog);

// Writes settings.txt from the controls. Returns "" on success, else why it failed.
std::string saveSettings(SetupDialog& dialog);

// Builds the dialog, runs it modally and returns the program's exit code.
int runSetupDialog();
