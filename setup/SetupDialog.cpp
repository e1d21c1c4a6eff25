// The GTK side of Preflight. Controls sit in a GtkFixed at the template's positions
// converted for the 8-point dialog font, and a style sheet takes the theme's padding off
// them so they keep those sizes.
// The message boxes carry an icon through gtk_message_dialog_set_image, which GTK 3
// deprecates but still honours; it is the only way to put the error icon in them.
#define GDK_DISABLE_DEPRECATION_WARNINGS
#include "setup/SetupDialog.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "setup/DeviceEnumeration.h"
#include "setup/Launch.h"

namespace {

constexpr const char* kWindowName = "linkweave-setup";

// Helvetica-like faces first: the template's texts were sized for a font of their width.
constexpr const char* kStyleSheet = R"css(
#linkweave-setup, #linkweave-setup * {
  font-family: "MS Sans Serif", "Nimbus Sans", "Liberation Sans", Arial, Helvetica, sans-serif;
  font-size: 8pt;
}
#linkweave-setup button { min-height: 0; min-width: 0; padding: 0 2px; }
#linkweave-setup combobox button { min-height: 0; padding: 0 2px 0 4px; }
#linkweave-setup combobox arrow { min-width: 12px; min-height: 12px; }
#linkweave-setup entry { min-height: 0; padding: 0 3px; }
#linkweave-setup checkbutton { min-height: 0; min-width: 0; padding: 0; }
#linkweave-setup checkbutton check { min-width: 11px; min-height: 11px; margin: 0; }
#linkweave-setup frame > label { padding: 0 2px; }
/* The default button, pressed by Enter, wears a dark outline. */
#linkweave-setup button.default { box-shadow: inset 0 0 0 1px #303030; }
)css";

GdkPixbuf* pixbufFrom(const PaletteImage& image) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, image.size, image.size);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < image.size; ++y) {
        for (int x = 0; x < image.size; ++x) {
            uint32_t rgb = kArtPalette[static_cast<size_t>(paletteIndexAt(image, x, y))];
            guchar* p = pixels + y * stride + x * 3;
            p[0] = static_cast<guchar>(rgb >> 16);
            p[1] = static_cast<guchar>(rgb >> 8);
            p[2] = static_cast<guchar>(rgb);
        }
    }
    return pixbuf;
}

// '&' marks the mnemonic in the template; GTK marks it with '_'.
std::string mnemonicText(const char* text) {
    std::string out;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '&') {
            out += '_';
        } else if (*c == '_') {
            out += "__";
        } else {
            out += *c;
        }
    }
    return out;
}

// The error icon of the message boxes, drawn here so it looks the same with any icon
// theme: a white cross on a red disc.
GtkWidget* errorIcon() {
    constexpr int size = 32;  // pixels
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    cairo_arc(cr, size / 2.0, size / 2.0, size / 2.0 - 1, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 0.8, 0.0, 0.0);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.5, 0.0, 0.0);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 4);
    cairo_move_to(cr, 10, 10);
    cairo_line_to(cr, 22, 22);
    cairo_move_to(cr, 22, 10);
    cairo_line_to(cr, 10, 22);
    cairo_stroke(cr);
    cairo_destroy(cr);
    GtkWidget* image = gtk_image_new_from_surface(surface);
    cairo_surface_destroy(surface);
    return image;
}

void showMessageBox(GtkWidget* parent, const char* caption, const char* text, GtkMessageType type) {
    GtkWidget* box = gtk_message_dialog_new(parent != nullptr ? GTK_WINDOW(parent) : nullptr,
                                            GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), type,
                                            GTK_BUTTONS_OK, "%s", text);
    gtk_window_set_title(GTK_WINDOW(box), caption);
    gtk_window_set_position(GTK_WINDOW(box), parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT
                                                               : GTK_WIN_POS_CENTER);
    if (type == GTK_MESSAGE_ERROR) {
        GtkWidget* icon = errorIcon();
        gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(box), icon);
        gtk_widget_show(icon);
    }
    // The text can be selected and copied (an error message is worth pasting), while OK
    // keeps the focus so Enter still dismisses the box.
    GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box))));
    for (GList* c = children; c != nullptr; c = c->next) {
        if (GTK_IS_LABEL(c->data)) gtk_label_set_selectable(GTK_LABEL(c->data), TRUE);
    }
    g_list_free(children);
    GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    if (ok != nullptr) gtk_widget_grab_focus(ok);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

constexpr const char* kControlIdKey = "linkweave-control-id";

void onButtonClicked(GtkButton* button, gpointer data) {
    int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), kControlIdKey));
    setupDialogProc(*static_cast<SetupDialog*>(data), SetupMessage::Command, id);
}

// A window manager's close request counts as Cancel.
gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
    setupDialogProc(*static_cast<SetupDialog*>(data), SetupMessage::Command, IdCancel);
    return TRUE;
}

void endDialog(SetupDialog& dialog, int result) {
    dialog.result = result;
    gtk_widget_hide(dialog.window);
    if (gtk_main_level() > 0) gtk_main_quit();
}

GtkWidget* createControl(SetupDialog& dialog, const ControlSpec& spec) {
    GtkWidget* widget = nullptr;
    DialogRect px = dialogUnitsToPixels(spec.rect, kDialogFontBaseUnits);
    switch (spec.kind) {
        case ControlKind::Bitmap: {
            GdkPixbuf* logo = pixbufFrom(logoImage());
            widget = gtk_image_new_from_pixbuf(logo);
            g_object_unref(logo);
            px.width = px.height = kLogoSize;  // a bitmap control takes its bitmap's size
            break;
        }
        case ControlKind::Label:
            widget = gtk_label_new(spec.text);
            gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
            gtk_label_set_yalign(GTK_LABEL(widget), 0.0f);
            break;
        case ControlKind::GroupBox:
            widget = gtk_frame_new(spec.text);
            break;
        case ControlKind::DropDown:
            widget = gtk_combo_box_text_new();
            // A long device name is cut with an ellipsis rather than widening the box
            // (and with it the dialog).
            {
                GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(widget));
                for (GList* c = cells; c != nullptr; c = c->next) {
                    g_object_set(c->data, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
                }
                g_list_free(cells);
            }
            px.height = dialogUnitsToPixels({0, 0, 0, kClosedDropDownHeight}, kDialogFontBaseUnits).height;
            break;
        case ControlKind::CheckBox: {
            widget = gtk_check_button_new_with_label(spec.text);
            // The template's box is too small for its text, which is therefore never seen.
            GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
            gtk_widget_set_no_show_all(label, TRUE);
            gtk_widget_hide(label);
            break;
        }
        case ControlKind::Edit:
            widget = gtk_entry_new();
            // Enter in the URL box presses the default button, Cancel.
            gtk_entry_set_activates_default(GTK_ENTRY(widget), TRUE);
            break;
        case ControlKind::PushButton: {
            widget = gtk_button_new_with_mnemonic(mnemonicText(spec.text).c_str());
            GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
            if (GTK_IS_LABEL(label)) gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
            g_object_set_data(G_OBJECT(widget), kControlIdKey, GINT_TO_POINTER(spec.id));
            g_signal_connect(widget, "clicked", G_CALLBACK(onButtonClicked), &dialog);
            break;
        }
    }
    gtk_widget_set_size_request(widget, px.width, px.height);
    return widget;
}

// Enter presses the default button unless one of the push buttons has the focus, as in
// a classic dialog; Escape is Cancel.
gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
    SetupDialog& dialog = *static_cast<SetupDialog*>(data);
    switch (event->keyval) {
        case GDK_KEY_Escape:
            return setupDialogProc(dialog, SetupMessage::Command, IdCancel);
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter: {
            if ((event->state & gtk_accelerator_get_default_mod_mask()) != 0) return FALSE;
            GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(dialog.window));
            if (focus == dialog.cancel || focus == dialog.save || focus == dialog.help) return FALSE;
            return setupDialogProc(dialog, SetupMessage::Command, IdCancel);
        }
        default:
            return FALSE;
    }
}

void buildDialog(SetupDialog& dialog) {
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, kStyleSheet, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);

    dialog.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(dialog.window);
    gtk_widget_set_name(dialog.window, kWindowName);
    gtk_window_set_title(window, kDialogTitle);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_deletable(window, FALSE);  // no system menu, no close button
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);

    GtkWidget* fixed = gtk_fixed_new();
    DialogRect size = dialogUnitsToPixels(kDialogSize, kDialogFontBaseUnits);
    gtk_widget_set_size_request(fixed, size.width, size.height);
    gtk_container_add(GTK_CONTAINER(dialog.window), fixed);

    for (const ControlSpec& spec : setupDialogControls()) {
        GtkWidget* widget = createControl(dialog, spec);
        DialogRect px = dialogUnitsToPixels(spec.rect, kDialogFontBaseUnits);
        gtk_fixed_put(GTK_FIXED(fixed), widget, px.x, px.y);
        switch (spec.id) {
            case IdDisplayList: dialog.displayList = widget; break;
            case IdDeviceList: dialog.deviceList = widget; break;
            case IdResolutionList: dialog.resolutionList = widget; break;
            case IdPagesList: dialog.pagesList = widget; break;
            case IdFullScreen: dialog.fullScreen = widget; break;
            case IdUrl: dialog.url = widget; break;
            case IdCancel: dialog.cancel = widget; break;
            case IdSave: dialog.save = widget; break;
            case IdHelp: dialog.help = widget; break;
            default: break;
        }
    }

    gtk_widget_set_can_default(dialog.cancel, TRUE);
    gtk_window_set_default(window, dialog.cancel);

    g_signal_connect(dialog.window, "key-press-event", G_CALLBACK(onKeyPress), &dialog);
    g_signal_connect(dialog.window, "delete-event", G_CALLBACK(onDeleteEvent), &dialog);
}

void setComboItems(GtkWidget* combo, const std::vector<std::string>& items) {
    for (const std::string& item : items) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), item.c_str());
}

}  // namespace

int initSetupDialog(SetupDialog& dialog) {
    GList* icons = nullptr;
    icons = g_list_append(icons, pixbufFrom(iconImage(32)));
    icons = g_list_append(icons, pixbufFrom(iconImage(16)));
    gtk_window_set_icon_list(GTK_WINDOW(dialog.window), icons);
    g_list_free_full(icons, g_object_unref);

    if (!enumerateDevices(dialog.displays) || !devicesUsable(dialog.displays)) return -1;

    // A second display stands first in the list.
    GtkComboBoxText* displayList = GTK_COMBO_BOX_TEXT(dialog.displayList);
    gtk_combo_box_text_insert_text(displayList, 0, dialog.displays[0].description.c_str());
    if (dialog.displays.size() >= 2) {
        gtk_combo_box_text_insert_text(displayList, 0, dialog.displays[1].description.c_str());
    }

    const std::vector<Device3D>& devices = dialog.displays[0].devices3D;
    dialog.shownDevices = devices.size() >= 2 ? 2 : static_cast<int>(devices.size());
    for (int i = 0; i < dialog.shownDevices; ++i) {
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(dialog.deviceList), devices[static_cast<size_t>(i)].name.c_str());
    }
    dialog.h = hardwareIndex(devices);

    setComboItems(dialog.resolutionList, resolutionItems());
    setComboItems(dialog.pagesList, pagesItems());
    gtk_entry_set_text(GTK_ENTRY(dialog.url), kPlaceholderUrl);

    gtk_combo_box_set_active(GTK_COMBO_BOX(dialog.displayList), 0);
    gtk_combo_box_set_active(GTK_COMBO_BOX(dialog.resolutionList), kDefaultResolution);
    gtk_combo_box_set_active(GTK_COMBO_BOX(dialog.pagesList), kDefaultPages);
    gtk_combo_box_set_active(GTK_COMBO_BOX(dialog.deviceList), dialog.h);

    std::optional<std::string> text = readWholeFile(kSettingsFileName);
    if (text) {
        SettingsReadBack back = readBackSettings(*text, dialog.shownDevices, dialog.h);
        if (back.url) {
            // The entry holds UTF-8; a hand-edited file may not.
            gchar* valid = g_utf8_make_valid(back.url->c_str(), static_cast<gssize>(back.url->size()));
            gtk_entry_set_text(GTK_ENTRY(dialog.url), valid);
            g_free(valid);
        }
        if (back.device3D) gtk_combo_box_set_active(GTK_COMBO_BOX(dialog.deviceList), *back.device3D);
        if (back.resolution) gtk_combo_box_set_active(GTK_COMBO_BOX(dialog.resolutionList), *back.resolution);
        if (back.pages) gtk_combo_box_set_active(GTK_COMBO_BOX(dialog.pagesList), *back.pages);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(dialog.fullScreen), back.fullScreen);
    }
    return 0;
}

std::string saveSettings(SetupDialog& dialog) {
    const std::vector<Device3D>& devices = dialog.displays[0].devices3D;
    int selected = gtk_combo_box_get_active(GTK_COMBO_BOX(dialog.deviceList));
    // Only the hardware flag of the chosen device reaches Linkweave. With no valid
    // selection the default device's flag is written: an empty field would shift the
    // fields after it.
    int device = selected >= 0 && selected < dialog.shownDevices ? selected : dialog.h;

    SettingsLine line;
    line.url = cleanUrl(gtk_entry_get_text(GTK_ENTRY(dialog.url)));
    line.hardwareDevice = devices[static_cast<size_t>(device)].hardware;
    line.resolution = gtk_combo_box_get_active(GTK_COMBO_BOX(dialog.resolutionList));
    line.pages = gtk_combo_box_get_active(GTK_COMBO_BOX(dialog.pagesList));
    line.fullScreen = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(dialog.fullScreen));
    return writeSettingsFile(formatSettingsLine(line));
}

bool setupDialogProc(SetupDialog& dialog, SetupMessage message, int controlId) {
    if (message == SetupMessage::InitDialog) {
        if (initSetupDialog(dialog) < 0) {
            showMessageBox(nullptr, kEnumerationErrorCaption, kEnumerationErrorText, GTK_MESSAGE_ERROR);
            endDialog(dialog, kResultNoDevices);
        }
        return true;
    }
    switch (controlId) {
        case IdCancel:
            endDialog(dialog, kResultDone);
            return true;
        case IdSave: {
            // A URL Linkweave cannot start from is refused before anything is written, and
            // the user is taken back to it.
            UrlCheck url = checkInitialUrl(gtk_entry_get_text(GTK_ENTRY(dialog.url)));
            if (url.problem != UrlProblem::None) {
                showMessageBox(dialog.window, kUrlRefusalCaption, urlRefusalText(url).c_str(), GTK_MESSAGE_ERROR);
                gtk_widget_grab_focus(dialog.url);
                return true;
            }
            std::string error = saveSettings(dialog);
            if (!error.empty()) {
                // Announcing saved settings that were not saved would start Linkweave on
                // stale ones; the dialog stays open so the user can retry or cancel.
                showMessageBox(dialog.window, kDialogTitle, ("Settings could not be saved.\n" + error).c_str(),
                               GTK_MESSAGE_ERROR);
                return true;
            }
            // The button already says "and Run": Linkweave starts at once, with no box
            // to dismiss first. settings.txt is whole and closed by now.
            std::string startError = startLinkweave();
            if (!startError.empty()) {
                showMessageBox(dialog.window, kDialogTitle, ("Linkweave could not be started.\n" + startError).c_str(),
                               GTK_MESSAGE_ERROR);
            }
            endDialog(dialog, kResultDone);
            return true;
        }
        case IdHelp:
            showMessageBox(dialog.window, kHelpCaption, kHelpText, GTK_MESSAGE_OTHER);
            return true;
        default:
            return false;
    }
}

int runSetupDialog() {
    SetupDialog dialog;
    buildDialog(dialog);
    setupDialogProc(dialog, SetupMessage::InitDialog);
    if (dialog.result >= 0) return dialog.result;  // ended before it was shown

    gtk_widget_show_all(dialog.window);
    // The first list has the focus at the start, so Enter goes to Cancel.
    gtk_widget_grab_focus(dialog.displayList);
    gtk_main();
    return dialog.result;
}
