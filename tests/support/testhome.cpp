// Linked into every test program as an object of its own, so that it runs before main()
// and before anything reads HOME: the tests remove and rewrite settings, autostart entries
// and pictures, and a test started straight from a developer's shell must never touch
// the developer's own. Under tests/support/isolated-run the home is already a temporary
// one (it says so in PELICROW_TEST_HOME); anywhere else the program moves HOME, the XDG
// folders and TMPDIR into a fresh folder of its own and removes it when it ends.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void refuse(const char* reason)
{
    std::fprintf(stderr, "%s: refusing to run: %s\n", program_invocation_short_name, reason);
    std::_Exit(2);
}

class TemporaryHome
{
public:
    TemporaryHome()
    {
        const char* home = std::getenv("HOME");
        const char* marker = std::getenv("PELICROW_TEST_HOME");
        if (home && marker && *home && std::strcmp(home, marker) == 0)
            return;
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pelicrow-home.XXXXXX";
        if (!mkdtemp(pattern.data()))
            refuse(std::strerror(errno));
        m_root = pattern;
        // X clients find their cookie in the old home unless told where it is.
        if (home && !std::getenv("XAUTHORITY")) {
            const std::string cookie = std::string(home) + "/.Xauthority";
            if (access(cookie.c_str(), R_OK) == 0)
                setenv("XAUTHORITY", cookie.c_str(), 1);
        }
        const std::string newHome = m_root + "/home";
        const struct
        {
            const char* variable;
            std::string path;
        } folders[] = {
            {"HOME", newHome},
            {"XDG_CONFIG_HOME", newHome + "/.config"},
            {"XDG_DATA_HOME", newHome + "/.local/share"},
            {"XDG_CACHE_HOME", newHome + "/.cache"},
            {"XDG_STATE_HOME", newHome + "/.local/state"},
            {"XDG_RUNTIME_DIR", m_root + "/runtime"},
            {"TMPDIR", m_root + "/tmp"},
            {nullptr, newHome + "/Desktop"},
            {nullptr, newHome + "/Downloads"},
        };
        for (const auto& folder : folders) {
            std::error_code error;
            std::filesystem::create_directories(folder.path, error);
            if (error)
                refuse(error.message().c_str());
            if (folder.variable)
                setenv(folder.variable, folder.path.c_str(), 1);
        }
        chmod((m_root + "/runtime").c_str(), 0700);
        setenv("PELICROW_TEST_HOME", newHome.c_str(), 1);
        std::fprintf(stderr, "%s: not under tests/support/isolated-run; home moved to %s\n",
            program_invocation_short_name, newHome.c_str());
    }

    ~TemporaryHome()
    {
        std::error_code ignored;
        if (!m_root.empty())
            std::filesystem::remove_all(m_root, ignored);
    }

private:
    std::string m_root;
};

const TemporaryHome temporaryHome;

} // namespace
