// The port list from the registry: a key of the test's own, and the
// system's key with the port that scripts/test-windows maps under Wine.
#include "portcfg/PortList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <windows.h>

using namespace glowkite;

namespace {

class PortListWin32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(h_);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, parent_.c_str());
    }
    void Text(const char *name, const std::string &data)
    {
        RegSetValueExA(h_, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    }

    std::string parent_ = "Software\\GlowKiteTest" + std::to_string(GetCurrentProcessId());
    std::string key_ = parent_ + "\\SERIALCOMM";
    HKEY h_ = nullptr;
};

TEST_F(PortListWin32Test, TextsWithComInRegistryOrder)
{
    // Names in the same order whether the registry keeps them as written
    // (Windows) or sorted by name (Wine); the port names are not sorted.
    Text("\\Device\\A", "COM9");
    Text("\\Device\\B", "LPT1");
    Text("\\Device\\C", "COM2");
    Text("\\Device\\D", "com7"); // letter case counts
    const DWORD number = 5;
    RegSetValueExA(h_, "\\Device\\E", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number), sizeof number);
    Text("\\Device\\F", "USB-COM12");
    EXPECT_EQ(ListSerialPorts(key_), (std::vector<std::string>{"COM9", "COM2", "USB-COM12"}));
}

TEST_F(PortListWin32Test, EmptyOrMissingKeyGivesNoPorts)
{
    EXPECT_TRUE(ListSerialPorts(key_).empty());
    EXPECT_TRUE(ListSerialPorts(parent_ + "\\NoSuchKey").empty());
}

TEST(PortListWin32SystemTest, SystemListHoldsTheMappedPort)
{
    const char *port = std::getenv("GLOWKITE_TEST_PORT");
    if (port == nullptr)
        GTEST_SKIP() << "GLOWKITE_TEST_PORT is not set (scripts/test-windows maps one under Wine)";
    const auto ports = ListSerialPorts();
    EXPECT_NE(std::find(ports.begin(), ports.end(), port), ports.end());
}

} // namespace
