#include "framework/application.h"

#include "framework/backend.h"

namespace pagorix {

namespace {
Backend* g_backend = nullptr;
}  // namespace

void SetBackend(Backend* backend) { g_backend = backend; }

Backend& CurrentBackend() {
    static Backend none;
    return g_backend != nullptr ? *g_backend : none;
}

TApplication& Application() {
    static TApplication application;
    return application;
}

void TApplication::SetTitle(std::string title) {
    m_title = std::move(title);
    CurrentBackend().TitleChanged(m_title);
}

void TApplication::ProcessMessages() { CurrentBackend().ProcessMessages(); }

void TApplication::Terminate() {
    m_terminated = true;
    CurrentBackend().Terminate();
}

}  // namespace pagorix
