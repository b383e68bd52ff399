// Makes the splash components known to stored form descriptions by their
// class names: TAnimation, TResolutionFix, THideAppBtn.
#pragma once

namespace pagorix {

void RegisterSplashComponents();

}  // namespace pagorix
