// The GTK library, loaded when the backend opens rather than when the
// program starts.
//
// The runtime links GLib and GIO, which it needs on every run, but not GTK:
// a book started without a display, or on a machine without GTK, never maps
// GTK, GDK, cairo, Pango and their thirty-odd dependencies (about 6 MB
// resident and the dynamic linker's time for each of them). LoadGtkLibrary
// opens libgtk-3 and looks up every function the backend calls; the backend's
// sources include this header instead of <gtk/gtk.h>, and each name in
// PAGORIX_GTK_FUNCTIONS then stands for the entry found at run time. A
// function missing from the list is a link error in the runtime, which does
// not link GTK.
//
// Invariant: nothing calls a listed function before LoadGtkLibrary has
// returned true.
#pragma once

#include <gtk/gtk.h>

namespace pagorix::gtk {

// clang-format off
#define PAGORIX_GTK_FUNCTIONS(X) \
    X(cairo_clip) \
    X(cairo_format_stride_for_width) \
    X(cairo_image_surface_create_for_data) \
    X(cairo_paint) \
    X(cairo_rectangle) \
    X(cairo_restore) \
    X(cairo_save) \
    X(cairo_set_source_surface) \
    X(cairo_surface_destroy) \
    X(gdk_cursor_new_from_name) \
    X(gdk_display_flush) \
    X(gdk_display_get_default) \
    X(gdk_display_get_monitor) \
    X(gdk_display_get_primary_monitor) \
    X(gdk_display_sync) \
    X(gdk_monitor_get_geometry) \
    X(gdk_screen_get_default) \
    X(gdk_screen_get_resolution) \
    X(gdk_window_get_display) \
    X(gdk_window_set_cursor) \
    X(gdk_window_set_decorations) \
    X(gdk_window_set_functions) \
    X(gtk_bin_get_child) \
    X(gtk_bin_get_type) \
    X(gtk_box_get_type) \
    X(gtk_box_new) \
    X(gtk_box_pack_start) \
    X(gtk_button_get_type) \
    X(gtk_button_new_with_mnemonic) \
    X(gtk_button_set_label) \
    X(gtk_button_set_use_underline) \
    X(gtk_container_add) \
    X(gtk_container_get_type) \
    X(gtk_container_set_border_width) \
    X(gtk_css_provider_load_from_data) \
    X(gtk_css_provider_new) \
    X(gtk_dialog_add_button) \
    X(gtk_dialog_get_content_area) \
    X(gtk_dialog_get_type) \
    X(gtk_dialog_new) \
    X(gtk_dialog_response) \
    X(gtk_dialog_set_default_response) \
    X(gtk_drawing_area_new) \
    X(gtk_entry_get_text) \
    X(gtk_entry_get_type) \
    X(gtk_entry_new) \
    X(gtk_entry_set_activates_default) \
    X(gtk_entry_set_max_length) \
    X(gtk_entry_set_text) \
    X(gtk_entry_set_visibility) \
    X(gtk_entry_set_width_chars) \
    X(gtk_file_chooser_add_filter) \
    X(gtk_file_chooser_dialog_new) \
    X(gtk_file_chooser_get_filename) \
    X(gtk_file_chooser_get_type) \
    X(gtk_file_chooser_set_create_folders) \
    X(gtk_file_chooser_set_current_folder) \
    X(gtk_file_chooser_set_filename) \
    X(gtk_file_filter_add_pattern) \
    X(gtk_file_filter_new) \
    X(gtk_file_filter_set_name) \
    X(gtk_fixed_get_type) \
    X(gtk_fixed_move) \
    X(gtk_fixed_new) \
    X(gtk_fixed_put) \
    X(gtk_image_new_from_icon_name) \
    X(gtk_init_check) \
    X(gtk_label_get_type) \
    X(gtk_label_new) \
    X(gtk_label_set_line_wrap) \
    X(gtk_label_set_line_wrap_mode) \
    X(gtk_label_set_max_width_chars) \
    X(gtk_label_set_text_with_mnemonic) \
    X(gtk_label_set_xalign) \
    X(gtk_label_set_yalign) \
    X(gtk_progress_bar_get_type) \
    X(gtk_progress_bar_new) \
    X(gtk_progress_bar_set_fraction) \
    X(gtk_render_background) \
    X(gtk_scrolled_window_get_type) \
    X(gtk_scrolled_window_new) \
    X(gtk_scrolled_window_set_policy) \
    X(gtk_scrolled_window_set_shadow_type) \
    X(gtk_style_context_add_class) \
    X(gtk_style_context_add_provider_for_screen) \
    X(gtk_style_provider_get_type) \
    X(gtk_text_buffer_set_text) \
    X(gtk_text_view_get_buffer) \
    X(gtk_text_view_get_type) \
    X(gtk_text_view_new) \
    X(gtk_text_view_set_editable) \
    X(gtk_text_view_set_wrap_mode) \
    X(gtk_viewport_get_type) \
    X(gtk_viewport_set_shadow_type) \
    X(gtk_widget_destroy) \
    X(gtk_widget_get_allocated_height) \
    X(gtk_widget_get_allocated_width) \
    X(gtk_widget_get_display) \
    X(gtk_widget_get_parent) \
    X(gtk_widget_get_style_context) \
    X(gtk_widget_get_toplevel) \
    X(gtk_widget_get_type) \
    X(gtk_widget_get_visible) \
    X(gtk_widget_get_window) \
    X(gtk_widget_grab_focus) \
    X(gtk_widget_hide) \
    X(gtk_widget_is_focus) \
    X(gtk_widget_queue_draw) \
    X(gtk_widget_set_sensitive) \
    X(gtk_widget_set_size_request) \
    X(gtk_widget_set_valign) \
    X(gtk_widget_set_visible) \
    X(gtk_widget_show) \
    X(gtk_widget_show_all) \
    X(gtk_widget_translate_coordinates) \
    X(gtk_window_get_type) \
    X(gtk_window_move) \
    X(gtk_window_new) \
    X(gtk_window_present) \
    X(gtk_window_resize) \
    X(gtk_window_set_decorated) \
    X(gtk_window_set_modal) \
    X(gtk_window_set_position) \
    X(gtk_window_set_resizable) \
    X(gtk_window_set_skip_pager_hint) \
    X(gtk_window_set_skip_taskbar_hint) \
    X(gtk_window_set_title) \
    X(gtk_window_set_transient_for)
// clang-format on

enum GtkFunctionIndex {
#define PAGORIX_GTK_INDEX(name) kGtkIndex_##name,
    PAGORIX_GTK_FUNCTIONS(PAGORIX_GTK_INDEX)
#undef PAGORIX_GTK_INDEX
    kGtkFunctionCount
};

// The entries found, in the order of the list.
extern void* g_gtkFunctions[kGtkFunctionCount];

// Opens GTK and finds every listed function; false, with nothing usable,
// when the library or one of its functions is missing. Later calls return
// the first call's answer.
bool LoadGtkLibrary();

}  // namespace pagorix::gtk

// Each listed name stands for its loaded entry, with the declared type (the
// name is not expanded again inside its own replacement).
#define PAGORIX_GTK_ENTRY(name) \
    (reinterpret_cast<decltype(&::name)>(::pagorix::gtk::g_gtkFunctions[::pagorix::gtk::kGtkIndex_##name]))
// clang-format off
#define cairo_clip PAGORIX_GTK_ENTRY(cairo_clip)
#define cairo_format_stride_for_width PAGORIX_GTK_ENTRY(cairo_format_stride_for_width)
#define cairo_image_surface_create_for_data PAGORIX_GTK_ENTRY(cairo_image_surface_create_for_data)
#define cairo_paint PAGORIX_GTK_ENTRY(cairo_paint)
#define cairo_rectangle PAGORIX_GTK_ENTRY(cairo_rectangle)
#define cairo_restore PAGORIX_GTK_ENTRY(cairo_restore)
#define cairo_save PAGORIX_GTK_ENTRY(cairo_save)
#define cairo_set_source_surface PAGORIX_GTK_ENTRY(cairo_set_source_surface)
#define cairo_surface_destroy PAGORIX_GTK_ENTRY(cairo_surface_destroy)
#define gdk_cursor_new_from_name PAGORIX_GTK_ENTRY(gdk_cursor_new_from_name)
#define gdk_display_flush PAGORIX_GTK_ENTRY(gdk_display_flush)
#define gdk_display_get_default PAGORIX_GTK_ENTRY(gdk_display_get_default)
#define gdk_display_get_monitor PAGORIX_GTK_ENTRY(gdk_display_get_monitor)
#define gdk_display_get_primary_monitor PAGORIX_GTK_ENTRY(gdk_display_get_primary_monitor)
#define gdk_display_sync PAGORIX_GTK_ENTRY(gdk_display_sync)
#define gdk_monitor_get_geometry PAGORIX_GTK_ENTRY(gdk_monitor_get_geometry)
#define gdk_screen_get_default PAGORIX_GTK_ENTRY(gdk_screen_get_default)
#define gdk_screen_get_resolution PAGORIX_GTK_ENTRY(gdk_screen_get_resolution)
#define gdk_window_get_display PAGORIX_GTK_ENTRY(gdk_window_get_display)
#define gdk_window_set_cursor PAGORIX_GTK_ENTRY(gdk_window_set_cursor)
#define gdk_window_set_decorations PAGORIX_GTK_ENTRY(gdk_window_set_decorations)
#define gdk_window_set_functions PAGORIX_GTK_ENTRY(gdk_window_set_functions)
#define gtk_bin_get_child PAGORIX_GTK_ENTRY(gtk_bin_get_child)
#define gtk_bin_get_type PAGORIX_GTK_ENTRY(gtk_bin_get_type)
#define gtk_box_get_type PAGORIX_GTK_ENTRY(gtk_box_get_type)
#define gtk_box_new PAGORIX_GTK_ENTRY(gtk_box_new)
#define gtk_box_pack_start PAGORIX_GTK_ENTRY(gtk_box_pack_start)
#define gtk_button_get_type PAGORIX_GTK_ENTRY(gtk_button_get_type)
#define gtk_button_new_with_mnemonic PAGORIX_GTK_ENTRY(gtk_button_new_with_mnemonic)
#define gtk_button_set_label PAGORIX_GTK_ENTRY(gtk_button_set_label)
#define gtk_button_set_use_underline PAGORIX_GTK_ENTRY(gtk_button_set_use_underline)
#define gtk_container_add PAGORIX_GTK_ENTRY(gtk_container_add)
#define gtk_container_get_type PAGORIX_GTK_ENTRY(gtk_container_get_type)
#define gtk_container_set_border_width PAGORIX_GTK_ENTRY(gtk_container_set_border_width)
#define gtk_css_provider_load_from_data PAGORIX_GTK_ENTRY(gtk_css_provider_load_from_data)
#define gtk_css_provider_new PAGORIX_GTK_ENTRY(gtk_css_provider_new)
#define gtk_dialog_add_button PAGORIX_GTK_ENTRY(gtk_dialog_add_button)
#define gtk_dialog_get_content_area PAGORIX_GTK_ENTRY(gtk_dialog_get_content_area)
#define gtk_dialog_get_type PAGORIX_GTK_ENTRY(gtk_dialog_get_type)
#define gtk_dialog_new PAGORIX_GTK_ENTRY(gtk_dialog_new)
#define gtk_dialog_response PAGORIX_GTK_ENTRY(gtk_dialog_response)
#define gtk_dialog_set_default_response PAGORIX_GTK_ENTRY(gtk_dialog_set_default_response)
#define gtk_drawing_area_new PAGORIX_GTK_ENTRY(gtk_drawing_area_new)
#define gtk_entry_get_text PAGORIX_GTK_ENTRY(gtk_entry_get_text)
#define gtk_entry_get_type PAGORIX_GTK_ENTRY(gtk_entry_get_type)
#define gtk_entry_new PAGORIX_GTK_ENTRY(gtk_entry_new)
#define gtk_entry_set_activates_default PAGORIX_GTK_ENTRY(gtk_entry_set_activates_default)
#define gtk_entry_set_max_length PAGORIX_GTK_ENTRY(gtk_entry_set_max_length)
#define gtk_entry_set_text PAGORIX_GTK_ENTRY(gtk_entry_set_text)
#define gtk_entry_set_visibility PAGORIX_GTK_ENTRY(gtk_entry_set_visibility)
#define gtk_entry_set_width_chars PAGORIX_GTK_ENTRY(gtk_entry_set_width_chars)
#define gtk_file_chooser_add_filter PAGORIX_GTK_ENTRY(gtk_file_chooser_add_filter)
#define gtk_file_chooser_dialog_new PAGORIX_GTK_ENTRY(gtk_file_chooser_dialog_new)
#define gtk_file_chooser_get_filename PAGORIX_GTK_ENTRY(gtk_file_chooser_get_filename)
#define gtk_file_chooser_get_type PAGORIX_GTK_ENTRY(gtk_file_chooser_get_type)
#define gtk_file_chooser_set_create_folders PAGORIX_GTK_ENTRY(gtk_file_chooser_set_create_folders)
#define gtk_file_chooser_set_current_folder PAGORIX_GTK_ENTRY(gtk_file_chooser_set_current_folder)
#define gtk_file_chooser_set_filename PAGORIX_GTK_ENTRY(gtk_file_chooser_set_filename)
#define gtk_file_filter_add_pattern PAGORIX_GTK_ENTRY(gtk_file_filter_add_pattern)
#define gtk_file_filter_new PAGORIX_GTK_ENTRY(gtk_file_filter_new)
#define gtk_file_filter_set_name PAGORIX_GTK_ENTRY(gtk_file_filter_set_name)
#define gtk_fixed_get_type PAGORIX_GTK_ENTRY(gtk_fixed_get_type)
#define gtk_fixed_move PAGORIX_GTK_ENTRY(gtk_fixed_move)
#define gtk_fixed_new PAGORIX_GTK_ENTRY(gtk_fixed_new)
#define gtk_fixed_put PAGORIX_GTK_ENTRY(gtk_fixed_put)
#define gtk_image_new_from_icon_name PAGORIX_GTK_ENTRY(gtk_image_new_from_icon_name)
#define gtk_init_check PAGORIX_GTK_ENTRY(gtk_init_check)
#define gtk_label_get_type PAGORIX_GTK_ENTRY(gtk_label_get_type)
#define gtk_label_new PAGORIX_GTK_ENTRY(gtk_label_new)
#define gtk_label_set_line_wrap PAGORIX_GTK_ENTRY(gtk_label_set_line_wrap)
#define gtk_label_set_line_wrap_mode PAGORIX_GTK_ENTRY(gtk_label_set_line_wrap_mode)
#define gtk_label_set_max_width_chars PAGORIX_GTK_ENTRY(gtk_label_set_max_width_chars)
#define gtk_label_set_text_with_mnemonic PAGORIX_GTK_ENTRY(gtk_label_set_text_with_mnemonic)
#define gtk_label_set_xalign PAGORIX_GTK_ENTRY(gtk_label_set_xalign)
#define gtk_label_set_yalign PAGORIX_GTK_ENTRY(gtk_label_set_yalign)
#define gtk_progress_bar_get_type PAGORIX_GTK_ENTRY(gtk_progress_bar_get_type)
#define gtk_progress_bar_new PAGORIX_GTK_ENTRY(gtk_progress_bar_new)
#define gtk_progress_bar_set_fraction PAGORIX_GTK_ENTRY(gtk_progress_bar_set_fraction)
#define gtk_render_background PAGORIX_GTK_ENTRY(gtk_render_background)
#define gtk_scrolled_window_get_type PAGORIX_GTK_ENTRY(gtk_scrolled_window_get_type)
#define gtk_scrolled_window_new PAGORIX_GTK_ENTRY(gtk_scrolled_window_new)
#define gtk_scrolled_window_set_policy PAGORIX_GTK_ENTRY(gtk_scrolled_window_set_policy)
#define gtk_scrolled_window_set_shadow_type PAGORIX_GTK_ENTRY(gtk_scrolled_window_set_shadow_type)
#define gtk_style_context_add_class PAGORIX_GTK_ENTRY(gtk_style_context_add_class)
#define gtk_style_context_add_provider_for_screen PAGORIX_GTK_ENTRY(gtk_style_context_add_provider_for_screen)
#define gtk_style_provider_get_type PAGORIX_GTK_ENTRY(gtk_style_provider_get_type)
#define gtk_text_buffer_set_text PAGORIX_GTK_ENTRY(gtk_text_buffer_set_text)
#define gtk_text_view_get_buffer PAGORIX_GTK_ENTRY(gtk_text_view_get_buffer)
#define gtk_text_view_get_type PAGORIX_GTK_ENTRY(gtk_text_view_get_type)
#define gtk_text_view_new PAGORIX_GTK_ENTRY(gtk_text_view_new)
#define gtk_text_view_set_editable PAGORIX_GTK_ENTRY(gtk_text_view_set_editable)
#define gtk_text_view_set_wrap_mode PAGORIX_GTK_ENTRY(gtk_text_view_set_wrap_mode)
#define gtk_viewport_get_type PAGORIX_GTK_ENTRY(gtk_viewport_get_type)
#define gtk_viewport_set_shadow_type PAGORIX_GTK_ENTRY(gtk_viewport_set_shadow_type)
#define gtk_widget_destroy PAGORIX_GTK_ENTRY(gtk_widget_destroy)
#define gtk_widget_get_allocated_height PAGORIX_GTK_ENTRY(gtk_widget_get_allocated_height)
#define gtk_widget_get_allocated_width PAGORIX_GTK_ENTRY(gtk_widget_get_allocated_width)
#define gtk_widget_get_display PAGORIX_GTK_ENTRY(gtk_widget_get_display)
#define gtk_widget_get_parent PAGORIX_GTK_ENTRY(gtk_widget_get_parent)
#define gtk_widget_get_style_context PAGORIX_GTK_ENTRY(gtk_widget_get_style_context)
#define gtk_widget_get_toplevel PAGORIX_GTK_ENTRY(gtk_widget_get_toplevel)
#define gtk_widget_get_type PAGORIX_GTK_ENTRY(gtk_widget_get_type)
#define gtk_widget_get_visible PAGORIX_GTK_ENTRY(gtk_widget_get_visible)
#define gtk_widget_get_window PAGORIX_GTK_ENTRY(gtk_widget_get_window)
#define gtk_widget_grab_focus PAGORIX_GTK_ENTRY(gtk_widget_grab_focus)
#define gtk_widget_hide PAGORIX_GTK_ENTRY(gtk_widget_hide)
#define gtk_widget_is_focus PAGORIX_GTK_ENTRY(gtk_widget_is_focus)
#define gtk_widget_queue_draw PAGORIX_GTK_ENTRY(gtk_widget_queue_draw)
#define gtk_widget_set_sensitive PAGORIX_GTK_ENTRY(gtk_widget_set_sensitive)
#define gtk_widget_set_size_request PAGORIX_GTK_ENTRY(gtk_widget_set_size_request)
#define gtk_widget_set_valign PAGORIX_GTK_ENTRY(gtk_widget_set_valign)
#define gtk_widget_set_visible PAGORIX_GTK_ENTRY(gtk_widget_set_visible)
#define gtk_widget_show PAGORIX_GTK_ENTRY(gtk_widget_show)
#define gtk_widget_show_all PAGORIX_GTK_ENTRY(gtk_widget_show_all)
#define gtk_widget_translate_coordinates PAGORIX_GTK_ENTRY(gtk_widget_translate_coordinates)
#define gtk_window_get_type PAGORIX_GTK_ENTRY(gtk_window_get_type)
#define gtk_window_move PAGORIX_GTK_ENTRY(gtk_window_move)
#define gtk_window_new PAGORIX_GTK_ENTRY(gtk_window_new)
#define gtk_window_present PAGORIX_GTK_ENTRY(gtk_window_present)
#define gtk_window_resize PAGORIX_GTK_ENTRY(gtk_window_resize)
#define gtk_window_set_decorated PAGORIX_GTK_ENTRY(gtk_window_set_decorated)
#define gtk_window_set_modal PAGORIX_GTK_ENTRY(gtk_window_set_modal)
#define gtk_window_set_position PAGORIX_GTK_ENTRY(gtk_window_set_position)
#define gtk_window_set_resizable PAGORIX_GTK_ENTRY(gtk_window_set_resizable)
#define gtk_window_set_skip_pager_hint PAGORIX_GTK_ENTRY(gtk_window_set_skip_pager_hint)
#define gtk_window_set_skip_taskbar_hint PAGORIX_GTK_ENTRY(gtk_window_set_skip_taskbar_hint)
#define gtk_window_set_title PAGORIX_GTK_ENTRY(gtk_window_set_title)
#define gtk_window_set_transient_for PAGORIX_GTK_ENTRY(gtk_window_set_transient_for)
// clang-format on
