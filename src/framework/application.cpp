#include "framework/application.h"

#include <new>

#include "framework/exceptions.h"
#include "framework/form.h"

namespace pagorix {

namespace {
Backend* g_backend = nullptr;
}  // namespace

void SetBackend(Backend* backend) {
    g_backend = backend;
}

Backend& CurrentBackend() {
    static Backend none;
    return g_backend != nullptr ? *g_backend : none;
}

TApplication& Application() {
    static TApplication application;
    return application;
}

TScreen& Screen() {
    static TScreen screen;
    return screen;
}

void TScreen::SetCursor(TCursor cursor) {
    if (cursor == m_cursor) return;
    m_cursor = cursor;
    CurrentBackend().SetCursor(cursor);
}

TApplication::TApplication() = default;
TApplication::~TApplication() = default;

void TApplication::SetTitle(std::string title) {
    m_title = std::move(title);
    CurrentBackend().TitleChanged(m_title);
}

void TApplication::TakeQuit() {
    if (m_terminated) m_quitTaken = true;
}

void TApplication::ProcessMessages() {
    CurrentBackend().ProcessMessages();
    TakeQuit();
}

void TApplication::Terminate() {
    m_terminated = true;
    CurrentBackend().Terminate();
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form) {
    if (m_mainForm == nullptr) m_mainForm = form.get();
    m_forms.push_back(std::move(form));
}

void TApplication::Run() {
    try {
        if (m_mainForm != nullptr && !m_terminated) m_mainForm->Show();
        for (;;) {
            TakeQuit();
            if (m_quitTaken) break;
            if (!CurrentBackend().WaitMessage()) break;
            CurrentBackend().ProcessMessages();
        }
    } catch (const THaltSignal&) {
        // Halt: the program ends here.
    }
    DestroyForms();
}

void TApplication::DestroyForms() {
    m_mainForm = nullptr;
    while (!m_forms.empty())
        m_forms.pop_back();
}

void TApplication::HandleException(const std::exception& error) {
    ShowException(error);
}

void TApplication::ShowException(const std::exception& error) {
    std::string text;
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        text = messages::SOutOfMemory;
    } else {
        text = error.what();
    }
    // A message that already ends its sentence gets no second full stop.
    if (!text.empty() && text.back() != '.') text += '.';
    MessageBoxRequest request;
    request.kind = DialogKind::Exception;
    request.caption = m_title;
    request.text = text;
    request.icon = DialogIcon::Stop;
    request.buttons = {"OK"};
    request.results = {1};
    request.escapeResult = 1;
    request.closeResult = 1;
    CurrentBackend().ShowMessageBox(request);
}

void TApplication::Halt() {
    m_terminated = true;
    m_quitTaken = true;
    m_halted = true;
    throw THaltSignal{};
}

void TApplication::ResetState() {
    DestroyForms();
    m_title.clear();
    m_terminated = false;
    m_quitTaken = false;
    m_halted = false;
}

}  // namespace pagorix
