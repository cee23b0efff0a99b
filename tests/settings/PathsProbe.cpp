// Prints where this program, under whatever name and in whatever folder it
// is started, keeps its settings file and its LOG folder.
#include "settings/Paths.h"

#include <cstdio>

int main()
{
    const glowkite::ProgramPaths paths = glowkite::SystemProgramPaths({});
    std::printf("%s\n%s\n", paths.IniFile.c_str(), paths.LogDir.c_str());
    return 0;
}
