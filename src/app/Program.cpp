#include "app/Program.h"

#include "about/About.h"
#include "app/GuiSupport.h"
#include "app/UGlowKite.h"
#include "logging/UProgres.h"
#include "settings/UOption.h"

#include <QTimer>

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

void TProgram::OpenAtStart(const std::string &dayFile)
{
    TForm_GlowKite *w = Form_GlowKite.get();
    QTimer::singleShot(0, w, [w, dayFile] { Guarded(w, [w, &dayFile] { w->OpenDayFile(dayFile); }); });
}

} // namespace glowkite
