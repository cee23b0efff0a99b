#include "portcfg/PortList.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace glowkite;
using glowkite::test::TempDir;
using glowkite::test::WriteFile;

namespace fs = std::filesystem;

TEST(PortList, ListsTtysWithARealDeviceInNaturalOrder)
{
    TempDir sys;
    auto tty = [&](const std::string &name, bool device, const char *type = nullptr) {
        fs::create_directories(sys.path() / name);
        if (device)
            fs::create_directories(sys.path() / name / "device");
        if (type)
            WriteFile((sys.path() / name / "type").string(), type);
    };
    tty("tty0", false);            // a virtual terminal
    tty("ttyS0", true, "4\n");     // a UART
    tty("ttyS1", true, "0\n");     // an empty legacy slot
    tty("ttyS10", true, "4\n");
    tty("ttyS2", true, "4\n");
    tty("ttyUSB0", true);          // USB adapters publish no type
    tty("ttyACM1", true);
    tty("ptmx", false);
    EXPECT_EQ(ListSerialPorts(sys.path().string()),
              (std::vector<std::string>{"/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0"}));
}

TEST(PortList, AMissingFolderGivesAnEmptyList)
{
    EXPECT_TRUE(ListSerialPorts("/nonexistent/sys/class/tty").empty());
}

TEST(PortList, TheMachinesOwnListHoldsDevicePathsOnly)
{
    // Lists, never opens, the real devices.
    for (const auto &p : ListSerialPorts())
        EXPECT_EQ(p.rfind("/dev/tty", 0), 0u) << p;
}

TEST(PortList, NaturalOrder)
{
    EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(NaturalLess("ttyACM0", "ttyS0"));
    EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
    EXPECT_FALSE(NaturalLess("ttyS1", "ttyS1"));
}
