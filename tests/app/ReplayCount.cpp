// Not a test: replays one day file in the real main window, through a double
// click on its day in the calendar, and prints what the window then holds.
// The Windows end-to-end check runs it as the Linux and as the Windows
// program on the same file and compares the two outputs.
//
//   replay_count DAYFILE     (DAYFILE named glowkite_yymmdd.glow)
//
// The file is copied into a temporary data folder first: the window's own
// files are never touched.
#include "app/Program.h"
#include "app/UGlowKite.h"
#include "app/ui/ChartAdapter.h"
#include "app/ui/TextLinesModel.h"
#include "support/QtHelpers.h"

#include <QApplication>
#include <QLabel>

#include <cstdio>
#include <filesystem>
#include <regex>

using namespace glowkite;
using namespace glowkite::test;

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: replay_count DAYFILE\n");
        return 2;
    }
    const std::filesystem::path source(argv[1]);
    std::smatch m;
    const std::string name = source.filename().string();
    if (!std::regex_match(name, m, std::regex(R"(glowkite_(\d\d)(\d\d)(\d\d)\.glow)"))) {
        std::fprintf(stderr, "replay_count: %s is not named glowkite_yymmdd.glow\n", argv[1]);
        return 2;
    }
    const QDate day(2000 + std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]));

    TempDir dir;
    std::filesystem::create_directories(dir / "LOG");
    std::error_code error;
    std::filesystem::copy_file(source, std::filesystem::path(dir / "LOG") / name, error);
    if (error) {
        std::fprintf(stderr, "replay_count: cannot copy %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }
    int result = 0;
    {
        TProgram program(PathsIn(dir));
        TForm_GlowKite &w = *program.Form_GlowKite;
        w.show();
        ProcessEvents(50);
        if (!DoubleClickCalendarDay(w.MonthCalendar(), day)) {
            std::fprintf(stderr, "replay_count: the calendar shows no cell for the day\n");
            result = 1;
        }
        // The count label follows at the display rate.
        ProcessEvents(3 * TTextLinesModel::PublishIntervalMs);
        std::printf("points %d, status points %d, hex lines %d, status lines %d, %s\n",
                    w.Chart().Count(TSeries::AQ), w.Chart().Count(TSeries::Status),
                    static_cast<int>(w.mem_HEX().Lines().Count()),
                    static_cast<int>(w.mem_Status().Lines().Count()),
                    w.findChild<QLabel *>("lbl_WerteAnz")->text().toUtf8().constData());
    }
    return result;
}
