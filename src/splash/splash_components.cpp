#include "splash/splash_components.h"

#include "framework/stored_form.h"
#include "splash/animation.h"
#include "splash/hide_app_btn.h"
#include "splash/resolution_fix.h"

namespace pagorix {

void RegisterSplashComponents() {
    RegisterComponentClass<TAnimation>("TAnimation");
    RegisterComponentClass<TResolutionFix>("TResolutionFix");
    RegisterComponentClass<THideAppBtn>("THideAppBtn");
}

}  // namespace pagorix
