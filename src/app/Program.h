#pragma once
// The windows of the program, created in the order of the program start:
// the main window first (its creation reads the settings and clears the
// display), then the dialogs, which live hidden until the program ends.

#include "settings/Paths.h"

#include <memory>
#include <string>

namespace glowkite {

class TForm_GlowKite;
class TFOption;
class TForm_pgb;
class TAboutBox;

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
    // The port dialog TFComCfg is created here, between the main window and
    // the options dialog, once it is built.
    std::unique_ptr<TFOption> FOption;
    std::unique_ptr<TForm_pgb> Form_pgb;
    std::unique_ptr<TAboutBox> AboutBox;
};

} // namespace glowkite
