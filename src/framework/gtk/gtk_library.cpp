#include "framework/gtk/gtk_library.h"

#include <dlfcn.h>

namespace pagorix::gtk {

void* g_gtkFunctions[kGtkFunctionCount];

namespace {

constexpr const char* kGtkLibraryName = "libgtk-3.so.0";

// The names, in the order of the list (stringised before the names become
// macros below their declarations).
constexpr const char* kGtkFunctionNames[] = {
#define PAGORIX_GTK_NAME(name) #name,
    PAGORIX_GTK_FUNCTIONS(PAGORIX_GTK_NAME)
#undef PAGORIX_GTK_NAME
};

bool Load() {
    // Global, so that the modules GTK loads itself (input methods, themes)
    // find its symbols; never closed: GTK cannot be unloaded.
    void* library = dlopen(kGtkLibraryName, RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) return false;
    for (int i = 0; i < kGtkFunctionCount; ++i) {
        // GDK and cairo are among the library's dependencies, which dlsym
        // searches too.
        g_gtkFunctions[i] = dlsym(library, kGtkFunctionNames[i]);
        if (g_gtkFunctions[i] == nullptr) return false;
    }
    return true;
}

}  // namespace

bool LoadGtkLibrary() {
    static const bool loaded = Load();
    return loaded;
}

}  // namespace pagorix::gtk
