#include "app/Program.h"

#include "about/About.h"
#include "app/UGlowKite.h"
#include "logging/UProgres.h"
#include "settings/UOption.h"

namespace glowkite {

TProgram::TProgram(const ProgramPaths &paths)
{
    Form_GlowKite = std::make_unique<TForm_GlowKite>(paths);
    // Port dialog TFComCfg: created here; its creation creates the serial
    // component and loads the section "Interface" into it.
    FOption = std::make_unique<TFOption>(Form_GlowKite.get());
    Form_pgb = std::make_unique<TForm_pgb>(Form_GlowKite.get());
    AboutBox = std::make_unique<TAboutBox>(Form_GlowKite.get());
    Form_GlowKite->SetDialogs({FOption.get(), Form_pgb.get(), AboutBox.get()});
}

TProgram::~TProgram() = default;

} // namespace glowkite
