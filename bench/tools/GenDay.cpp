// gen_day FILE LINES: writes a day file of LINES stored frames.
#include "DayFileGen.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: gen_day FILE LINES\n";
        return 2;
    }
    glowkite::bench::WriteDayFile(argv[1], std::atoll(argv[2]));
    return 0;
}
