// The program the launching tests start. It records how it was started and
// ends as told, all through its environment so that its arguments stay
// exactly what the starter passed:
//   PGX_HELPER_RECORD    file to write: the process id, the current
//                        directory, the nice value, then every argument,
//                        one per line
//   PGX_HELPER_DELAY_MS  milliseconds to wait before writing the record
//   PGX_HELPER_EXIT      the exit code (default 0)
// The record is written under a temporary name and renamed, so a reader
// never sees half of it.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

int Number(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::atoi(text) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int delay = Number("PGX_HELPER_DELAY_MS", 0);
    if (delay > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    }
    if (const char* record = std::getenv("PGX_HELPER_RECORD")) {
        const std::string temporary = std::string(record) + ".part";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            char cwd[4096] = {};
            out << getpid() << '\n' << (getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?") << '\n';
            out << getpriority(PRIO_PROCESS, 0) << '\n';
            for (int i = 0; i < argc; ++i) {
                out << argv[i] << '\n';
            }
        }
        std::rename(temporary.c_str(), record);
    }
    return Number("PGX_HELPER_EXIT", 0);
}
