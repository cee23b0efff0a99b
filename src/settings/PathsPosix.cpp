// Where the program's files go on POSIX systems.
#include "settings/Paths.h"
#include "settings/PathsPlatform.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glowkite {

const TPathConventions kPathConventions{'/', "/", "/.config", "/.local/share", false};

bool IsAbsolutePath(const std::string &path)
{
    return !path.empty() && path.front() == '/';
}

bool IsFile(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string OwnProgramPath()
{
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool FolderWritable(const std::string &folder)
{
    // AT_EACCESS: the rights this process really has, not those of its real user.
    return ::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) ==
           0;
}

PathEnvironment SystemPathEnvironment()
{
    auto value = [](const char *name) {
        const char *v = std::getenv(name);
        return std::string(v ? v : "");
    };
    PathEnvironment environment{value("XDG_CONFIG_HOME"), value("XDG_DATA_HOME"), value("HOME")};
    if (environment.Home.empty()) {
        if (const passwd *user = ::getpwuid(::geteuid()))
            environment.Home = user->pw_dir ? user->pw_dir : "";
    }
    return environment;
}

void CreateFolders(const std::vector<std::string> &folders)
{
    for (const std::string &folder : folders) {
        for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
            if (pos == folder.size() || folder[pos] == '/')
                ::mkdir(folder.substr(0, pos).c_str(), 0777);
        }
    }
}

} // namespace glowkite
