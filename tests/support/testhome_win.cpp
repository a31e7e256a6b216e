// Linked into every Windows test program as an object of its own, so that it runs before
// main(). Under Wine the profile's Desktop, Downloads and other shell folders are links into
// the Unix home that Wine was started with, and the tests remove and rewrite files there: a
// test run by hand with the developer's home reaches the developer's own files. So a test
// runs only inside a Wine prefix that tests/windows/run-wine-units made in the temporary home
// of tests/support/isolated-run (named in PELICROW_TEST_HOME), with Wine's Unix home being
// that very folder. Anywhere else, on real Windows included, it refuses before doing anything.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void refuse(const std::string& reason)
{
    std::fprintf(
        stderr, "refusing to run: %s (run the Windows tests through ctest)\n", reason.c_str());
    std::fflush(stderr);
    std::_Exit(2);
}

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The Unix path of a Wine NT path such as \??\Z:\tmp\home (Z: is Wine's root folder);
// empty for any other form.
std::string unixPathOf(const std::string& ntPath)
{
    for (const char* prefix : {"\\??\\Z:", "\\??\\z:", "\\??\\unix"}) {
        const std::string start(prefix);
        if (ntPath.compare(0, start.size(), start) != 0)
            continue;
        std::string path = ntPath.substr(start.size());
        for (char& c : path) {
            if (c == '\\')
                c = '/';
        }
        return path;
    }
    return {};
}

bool hasParentStep(const std::string& path)
{
    return (path + "/").find("/../") != std::string::npos;
}

// isolated-run's homes are ".../pelicrow-test.XXXXXX/home".
bool isTemporaryHome(const std::string& home)
{
    const std::string::size_type slash = home.rfind('/');
    if (home.empty() || home[0] != '/' || hasParentStep(home) || slash == std::string::npos
        || home.substr(slash) != "/home")
        return false;
    const std::string parent = home.substr(0, slash);
    const std::string::size_type parentSlash = parent.rfind('/');
    return parentSlash != std::string::npos
        && parent.compare(parentSlash, 15, "/pelicrow-test.") == 0;
}

class WineHomeGuard
{
public:
    WineHomeGuard()
    {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (!ntdll || !GetProcAddress(ntdll, "wine_get_version"))
            refuse("not under Wine; these tests change the profile's folders");
        const std::string home = variable("PELICROW_TEST_HOME");
        if (!isTemporaryHome(home))
            refuse("PELICROW_TEST_HOME \"" + home + "\" is no home of tests/support/isolated-run");
        const std::string prefix = variable("WINEPREFIX");
        if (prefix.compare(0, home.size() + 1, home + "/") != 0 || hasParentStep(prefix))
            refuse("WINEPREFIX \"" + prefix + "\" lies outside " + home);
        const std::string wineHome = unixPathOf(variable("WINEHOMEDIR"));
        if (wineHome != home && wineHome != home + "/")
            refuse("Wine links the shell folders to \"" + variable("WINEHOMEDIR") + "\", not to "
                + home);
    }
};

const WineHomeGuard wineHomeGuard;

} // namespace
