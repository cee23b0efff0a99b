#pragma once
// The windows of the program, created in the order of the program start:
// the main window first (its creation reads the settings and clears the
// display), then the dialogs, which live hidden until the program ends.

#include "settings/Paths.h"

#include <memory>
#include <string>

namespace glowkite {

class TForm_GlowKite;
class TFComCfg;
class TFOption;
class TForm_pgb;
class TAboutBox;
class TSimulatorPort;
struct TStartOptions;

class TProgram {
public:
    explicit TProgram(const ProgramPaths &paths);
    ~TProgram();
    TProgram(const TProgram &) = delete;
    TProgram &operator=(const TProgram &) = delete;

    // Replays a day file named on the command line once the event loop runs
    // (the main window shown, the progress dialog placed over it).
    void OpenAtStart(const std::string &dayFile);

    std::unique_ptr<TForm_GlowKite> Form_GlowKite;
    // Its creation creates the serial component and loads the section
    // "Interface" into it.
    std::unique_ptr<TFComCfg> FComCfg;
    std::unique_ptr<TFOption> FOption;
    std::unique_ptr<TForm_pgb> Form_pgb;
    std::unique_ptr<TAboutBox> AboutBox;

    // What the command line asks for once the windows exist: replaying a
    // stored day (DAYFILE), recording from a port (--port) or from the
    // built-in simulated detector (--demo).
    void Begin(const TStartOptions &options);
    TSimulatorPort *Demo() { return demo_.get(); }

private:
    std::unique_ptr<TSimulatorPort> demo_;
};

} // namespace glowkite
