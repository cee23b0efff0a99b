// Entry point of the tests that need a QApplication: widgets can only be
// made once it exists, and it must outlive every test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

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
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Qt warns at every start without a private runtime folder.
    std::string runtime;
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        runtime = (std::filesystem::temp_directory_path() / "gk-qt-runtime-XXXXXX").string();
        if (::mkdtemp(runtime.data()))
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        else
            runtime.clear();
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (!runtime.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(runtime, ignored);
    }
    return result;
}
