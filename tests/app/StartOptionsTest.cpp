#include "app/StartOptions.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace glowkite;

namespace {

std::optional<TStartOptions> Parse(QStringList args, QString &error)
{
    args.prepend(QStringLiteral("glowkite"));
    return ParseStartOptions(args, error);
}

TEST(StartOptions, NoOptionsLeaveThePlacesToTheProgram)
{
    QString error;
    const auto o = Parse({}, error);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->Paths.IniFile.empty());
    EXPECT_TRUE(o->Paths.LogDir.empty());
}

TEST(StartOptions, IniAndLogDirOverride)
{
    QString error;
    const auto o = Parse({"--ini", "/tmp/a b/x.INI", "--log-dir=/tmp/logs"}, error);
    ASSERT_TRUE(o) << error.toStdString();
    EXPECT_EQ(o->Paths.IniFile, "/tmp/a b/x.INI");
    EXPECT_EQ(o->Paths.LogDir, "/tmp/logs");
}

TEST(StartOptions, ADayFileToReplayAtStartIsTakenAsAnAbsolutePath)
{
    QString error;
    // An absolute path of this system ("/data/..." here, "C:/data/..." on Windows).
    const QString absolute = QDir::rootPath() + QStringLiteral("data/LOG/glowkite_120305.glow");
    auto o = Parse({"--log-dir", "/tmp/logs", absolute}, error);
    ASSERT_TRUE(o) << error.toStdString();
    EXPECT_EQ(o->DayFile, absolute.toStdString());
    EXPECT_EQ(o->Paths.LogDir, "/tmp/logs");

    o = Parse({"glowkite_120305.glow"}, error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->DayFile, QDir::current().absoluteFilePath("glowkite_120305.glow").toStdString());
    EXPECT_TRUE(Parse({}, error)->DayFile.empty());
}

TEST(StartOptions, BadCommandLinesSayWhy)
{
    QString error;
    EXPECT_FALSE(Parse({"--nonsense"}, error));
    EXPECT_TRUE(error.contains("nonsense")) << error.toStdString();
    EXPECT_TRUE(error.contains("--log-dir"));
    EXPECT_FALSE(Parse({"--ini"}, error)) << "a missing value";
    EXPECT_FALSE(Parse({"one.glow", "two.glow"}, error)) << "one day file at most";
    EXPECT_FALSE(Parse({"--help"}, error));
    EXPECT_TRUE(error.contains("--ini"));
    // Where the files go: an absolute folder of this system.
    const qsizetype at = error.indexOf("data, logs  ");
    ASSERT_GE(at, 0) << error.toStdString();
    const QString folder = error.mid(at + 12).section('\n', 0, 0);
    EXPECT_TRUE(QDir::isAbsolutePath(folder)) << folder.toStdString();
    // An empty value was silently "not given": no recording, or the default folder.
    for (const QStringList &args : {QStringList{"--port", ""}, QStringList{"--port="}, QStringList{"--log-dir", ""}}) {
        EXPECT_FALSE(Parse(args, error)) << args.join(' ').toStdString();
        EXPECT_TRUE(error.contains("needs a value, not an empty text")) << error.toStdString();
    }
}

TEST(StartOptions, PortOrDemoStartARecording)
{
    QString error;
    const auto port = Parse({"--port", "/dev/ttyUSB0"}, error);
    ASSERT_TRUE(port);
    EXPECT_EQ(port->Port, "/dev/ttyUSB0");
    EXPECT_FALSE(port->Demo);
    const auto demo = Parse({"--demo"}, error);
    ASSERT_TRUE(demo);
    EXPECT_TRUE(demo->Demo);
    EXPECT_FALSE(Parse({"--demo", "--port", "/dev/ttyS1"}, error));
    EXPECT_TRUE(error.contains("exclude")) << error.toStdString();
}

TEST(StartOptions, ADemoWritesBesideTheRealLogFolder)
{
    EXPECT_EQ(DemoLogDir("/opt/glowkite/LOG/"), "/opt/glowkite/LOG-demo/");
    EXPECT_EQ(DemoLogDir("/home/u/.local/share/glowkite/LOG"), "/home/u/.local/share/glowkite/LOG-demo/");
#ifdef _WIN32
    EXPECT_EQ(DemoLogDir("C:\\Users\\u\\AppData\\Local\\glowkite\\LOG\\"),
              "C:\\Users\\u\\AppData\\Local\\glowkite\\LOG-demo\\");
    EXPECT_EQ(DemoLogDir("D:\\Messung"), "D:\\Messung-demo\\");
#else
    EXPECT_EQ(DemoLogDir("/data/a\\b"), "/data/a\\b-demo/") << "a backslash is part of a name here";
#endif
}

} // namespace
