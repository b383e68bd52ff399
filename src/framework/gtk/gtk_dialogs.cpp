// The framework's modal dialogs on GTK: message boxes, the input box and the
// file and folder choosers.
//
// Each dialog runs a message loop of its own until it is answered, as a
// modal dialog does on every desktop: timers and animations go on, the other
// windows take no input. Message boxes answer with the request's results:
// a button gives its own, Enter the default button's, Escape the request's
// Escape answer and the title bar's close box its close answer. A failure
// that a callback let out during the loop (the framework's halt) closes the
// dialog and is thrown again once the dialog is gone.

#include "framework/gtk/gtk_host.h"

namespace pagorix::gtk {

namespace {

constexpr int kInputMaxLength = 255;

// The outcome of a dialog's loop: not yet, or an answer.
struct DialogRun {
    bool done = false;
    int answer = 0;
};

// Destroys a dialog however its function is left.
struct DialogGuard {
    GtkWidget* dialog;
    ~DialogGuard() { gtk_widget_destroy(dialog); }
};

void RunUntilAnswered(GtkState& state, GtkWidget* dialog, DialogRun& run) {
    gtk_window_present(GTK_WINDOW(dialog));
    while (!run.done && !state.pending) {
        g_main_context_iteration(nullptr, TRUE);
    }
}

GtkWidget* NewDialog(GtkState& state, const std::string& caption) {
    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), ToUtf8(caption).c_str());
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    if (GtkWindow* parent = state.DialogParent()) {
        gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    }
    return dialog;
}

const char* IconName(DialogIcon icon) {
    switch (icon) {
        case DialogIcon::Stop:
            return "dialog-error";
        case DialogIcon::Warning:
            return "dialog-warning";
        case DialogIcon::Information:
            return "dialog-information";
        case DialogIcon::Question:
            return "dialog-question";
        case DialogIcon::None:
            break;
    }
    return nullptr;
}

// The button's text with its access key; the cancel button gets one too.
std::string ButtonLabel(const std::string& text) {
    const std::string label = Mnemonic(text);
    return label == "Annuler" ? "_Annuler" : label;
}

// Answers of a message box: what the dialog's signals map to.
struct BoxAnswers {
    const MessageBoxRequest* request;
    DialogRun run;
};

void OnBoxResponse(GtkDialog*, gint response, gpointer data) {
    auto* box = static_cast<BoxAnswers*>(data);
    const auto& results = box->request->results;
    if (response >= 0 && static_cast<size_t>(response) < results.size()) {
        box->run.answer = results[static_cast<size_t>(response)];
        box->run.done = true;
    }
}

gboolean OnBoxKey(GtkWidget*, GdkEventKey* event, gpointer data) {
    auto* box = static_cast<BoxAnswers*>(data);
    if (event->keyval != GDK_KEY_Escape) return FALSE;
    box->run.answer = box->request->escapeResult;
    box->run.done = true;
    return TRUE;
}

gboolean OnBoxDelete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* box = static_cast<BoxAnswers*>(data);
    box->run.answer = box->request->closeResult;
    box->run.done = true;
    return TRUE;
}

// The chooser dialogs and the input box: confirmed or not.
gboolean OnCancelKey(GtkWidget* dialog, GdkEventKey* event, gpointer) {
    if (event->keyval != GDK_KEY_Escape) return FALSE;
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    return TRUE;
}

void OnConfirmResponse(GtkDialog*, gint response, gpointer data) {
    auto* run = static_cast<DialogRun*>(data);
    run->answer = response == GTK_RESPONSE_ACCEPT || response == GTK_RESPONSE_OK;
    run->done = true;
}

gboolean OnConfirmDelete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* run = static_cast<DialogRun*>(data);
    run->answer = 0;
    run->done = true;
    return TRUE;
}

void ConnectConfirm(GtkWidget* dialog, DialogRun& run) {
    g_signal_connect(dialog, "response", G_CALLBACK(OnConfirmResponse), &run);
    g_signal_connect(dialog, "delete-event", G_CALLBACK(OnConfirmDelete), &run);
    g_signal_connect(dialog, "key-press-event", G_CALLBACK(OnCancelKey), nullptr);
}

// "Text (*.txt)|*.txt|All|*.*": pairs of a name and patterns split by ";".
void AddFilters(GtkFileChooser* chooser, const std::string& filter) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= filter.size() && !filter.empty()) {
        const size_t bar = filter.find('|', start);
        parts.push_back(
            filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        GtkFileFilter* one = gtk_file_filter_new();
        gtk_file_filter_set_name(one, ToUtf8(parts[i]).c_str());
        size_t from = 0;
        const std::string& patterns = parts[i + 1];
        while (from <= patterns.size()) {
            const size_t semi = patterns.find(';', from);
            std::string pattern =
                patterns.substr(from, semi == std::string::npos ? std::string::npos : semi - from);
            if (pattern == "*.*") pattern = "*";
            if (!pattern.empty()) gtk_file_filter_add_pattern(one, ToUtf8(pattern).c_str());
            if (semi == std::string::npos) break;
            from = semi + 1;
        }
        gtk_file_chooser_add_filter(chooser, one);  // takes the floating reference
    }
}

std::string ChosenName(GtkFileChooser* chooser) {
    gchar* name = gtk_file_chooser_get_filename(chooser);
    std::string chosen = name != nullptr ? name : "";
    g_free(name);
    return chosen;
}

}  // namespace

int RunMessageBox(GtkState& state, const MessageBoxRequest& request) {
    BoxAnswers box{&request, {}};
    GtkWidget* dialog = NewDialog(state, request.caption);
    DialogGuard guard{dialog};
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(row), 12);
    if (const char* icon = IconName(request.icon)) {
        GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
        gtk_widget_set_valign(image, GTK_ALIGN_START);
        gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
    }
    GtkWidget* text = gtk_label_new(ToUtf8(request.text).c_str());
    gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(text), 60);
    gtk_label_set_xalign(GTK_LABEL(text), 0.0f);
    gtk_box_pack_start(GTK_BOX(row), text, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row, TRUE, TRUE,
                       0);
    GtkWidget* defaultButton = nullptr;
    for (size_t i = 0; i < request.buttons.size() && i < request.results.size(); ++i) {
        GtkWidget* button = gtk_dialog_add_button(
            GTK_DIALOG(dialog), ButtonLabel(request.buttons[i]).c_str(), static_cast<gint>(i));
        if (static_cast<int>(i) == request.defaultIndex) defaultButton = button;
    }
    if (defaultButton != nullptr) {
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), request.defaultIndex);
        gtk_widget_grab_focus(defaultButton);
    }
    g_signal_connect(dialog, "response", G_CALLBACK(OnBoxResponse), &box);
    g_signal_connect(dialog, "key-press-event", G_CALLBACK(OnBoxKey), &box);
    g_signal_connect(dialog, "delete-event", G_CALLBACK(OnBoxDelete), &box);
    gtk_widget_show_all(dialog);
    if (defaultButton != nullptr) gtk_widget_grab_focus(defaultButton);
    RunUntilAnswered(state, dialog, box.run);
    return box.run.done ? box.run.answer : request.escapeResult;
}

bool RunInputBox(GtkState& state, const std::string& caption, const std::string& prompt,
                 std::string& value) {
    DialogRun run;
    GtkWidget* dialog = NewDialog(state, caption);
    DialogGuard guard{dialog};
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(column), 12);
    GtkWidget* label = gtk_label_new(ToUtf8(prompt).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_max_length(GTK_ENTRY(entry), kInputMaxLength);
    gtk_entry_set_visibility(GTK_ENTRY(entry), TRUE);  // what is typed is shown
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_entry_set_width_chars(GTK_ENTRY(entry), 40);
    gtk_entry_set_text(GTK_ENTRY(entry), ToUtf8(value).c_str());
    gtk_box_pack_start(GTK_BOX(column), label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), entry, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), column, TRUE, TRUE,
                       0);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "_Annuler", GTK_RESPONSE_CANCEL);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    ConnectConfirm(dialog, run);
    gtk_widget_show_all(dialog);
    gtk_widget_grab_focus(entry);
    RunUntilAnswered(state, dialog, run);
    if (!run.done || run.answer == 0) return false;
    value = FromUtf8(gtk_entry_get_text(GTK_ENTRY(entry))).substr(0, kInputMaxLength);
    return true;
}

bool RunOpenFile(GtkState& state, const std::string& title, const std::string& filter,
                 const std::string& initialDir, std::string& fileName) {
    DialogRun run;
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        ToUtf8(title).c_str(), state.DialogParent(), GTK_FILE_CHOOSER_ACTION_OPEN, "_Annuler",
        GTK_RESPONSE_CANCEL, "_Ouvrir", GTK_RESPONSE_ACCEPT, nullptr);
    DialogGuard guard{dialog};
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    auto* chooser = GTK_FILE_CHOOSER(dialog);
    AddFilters(chooser, filter);
    // Names on this host are bytes: they go to the chooser as they are.
    if (!initialDir.empty()) gtk_file_chooser_set_current_folder(chooser, initialDir.c_str());
    if (!fileName.empty() && fileName.find('/') != std::string::npos) {
        gtk_file_chooser_set_filename(chooser, fileName.c_str());
    }
    ConnectConfirm(dialog, run);
    gtk_widget_show_all(dialog);
    RunUntilAnswered(state, dialog, run);
    if (!run.done || run.answer == 0) return false;
    const std::string chosen = ChosenName(chooser);
    if (chosen.empty()) return false;
    fileName = chosen;
    return true;
}

bool RunSelectDirectory(GtkState& state, std::string& directory, bool allowCreate) {
    DialogRun run;
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        nullptr, state.DialogParent(), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Annuler",
        GTK_RESPONSE_CANCEL, "_Choisir", GTK_RESPONSE_ACCEPT, nullptr);
    DialogGuard guard{dialog};
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    auto* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_create_folders(chooser, allowCreate);
    if (!directory.empty()) gtk_file_chooser_set_current_folder(chooser, directory.c_str());
    ConnectConfirm(dialog, run);
    gtk_widget_show_all(dialog);
    RunUntilAnswered(state, dialog, run);
    if (!run.done || run.answer == 0) return false;
    const std::string chosen = ChosenName(chooser);
    if (chosen.empty()) return false;
    directory = chosen;
    return true;
}

}  // namespace pagorix::gtk
