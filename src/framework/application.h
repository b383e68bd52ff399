// The application object of the run-time framework: the title, the quit
// request, message pumping and the default handling of an exception that
// leaves an event handler. The GUI backend in use does the host's part.
#pragma once

#include <string>

namespace pagorix {

class TApplication {
public:
    const std::string& Title() const { return m_title; }
    void SetTitle(std::string title);

    // Handles every pending message once, without waiting.
    void ProcessMessages();

    // Posts the quit request. The caller goes on; the main loop ends when it
    // takes the request, and from then on every dialog closes at once with
    // the result Cancel.
    void Terminate();
    bool Terminated() const { return m_terminated; }

private:
    std::string m_title;
    bool m_terminated = false;
};

// The one application of the process.
TApplication& Application();

}  // namespace pagorix
