// Entry point of the tests that need a QApplication: widgets can only be
// made once it exists, and it must outlive every test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

#include "support/TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform says for every fixed-size window that it cannot
// pass size hints on; that says nothing about the program.
void QuietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char **argv)
{
    defaultHandler = qInstallMessageHandler(QuietHandler);
    // The Windows run picks the windows platform under Xvfb through a variable
    // of its own: CTest sets QT_QPA_PLATFORM for every test, and Qt's
    // offscreen platform finds no fonts on Windows.
    if (qEnvironmentVariableIsSet("GLOWKITE_TEST_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qgetenv("GLOWKITE_TEST_QPA_PLATFORM"));
    else if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt warns at every start without a private runtime folder (not on Windows).
    std::filesystem::path runtime;
#ifndef _WIN32
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        runtime = glowkite::test::MakeTempFolder("gk-qt-runtime-");
        qputenv("XDG_RUNTIME_DIR", QByteArray(runtime.c_str()));
    }
#endif
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (!runtime.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(runtime, ignored);
    }
    return result;
}
