#include "app/Program.h"

#include "about/About.h"
#include "about/fileUtil.h"
#include "app/UGlowKite.h"
#include "logging/UProgres.h"
#include "settings/UOption.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QLabel>

using namespace glowkite;
using namespace glowkite::test;

namespace {

class ProgramTest : public ::testing::Test {
protected:
    ProgramPaths Paths() const { return PathsIn(dir); }
    RuntimeDirOverride runtime;
    TempDir dir;
};

TEST_F(ProgramTest, TheDialogsLiveHiddenBesideTheMainWindow)
{
    TProgram program(Paths());
    ASSERT_TRUE(program.Form_GlowKite && program.FOption && program.Form_pgb && program.AboutBox);
    for (QWidget *dialog : std::initializer_list<QWidget *>{program.FOption.get(), program.Form_pgb.get(),
                                                             program.AboutBox.get()}) {
        EXPECT_FALSE(dialog->isVisible()) << dialog->objectName().toStdString();
        EXPECT_EQ(dialog->parentWidget(), program.Form_GlowKite.get());
    }
    EXPECT_FALSE(program.Form_GlowKite->isVisible()) << "shown by the program block, after all are created";
}

TEST_F(ProgramTest, InfoOpensTheAboutBoxWithTheProgramsVersion)
{
    InitProgramInfo(QCoreApplication::applicationFilePath().toStdString());
    TProgram program(Paths());
    program.Form_GlowKite->show();
    QString version, folder;
    OnNextModal([&](QWidget *w) {
        if (auto *box = qobject_cast<TAboutBox *>(w)) {
            version = box->Version->text();
            folder = box->DataFolder ? box->DataFolder->toolTip() : QString();
            box->accept();
        } else {
            w->close();
        }
    });
    program.Form_GlowKite->findChild<QAction *>("act_About")->trigger();
    EXPECT_EQ(version, "Version : 1.0.2.4");
    EXPECT_EQ(folder, QString::fromStdString(dir / "LOG/")) << "where the recordings go";
}

TEST_F(ProgramTest, OptionenOpensTheOptionsDialog)
{
    TProgram program(Paths());
    program.Form_GlowKite->show();
    bool opened = false;
    OnNextModal([&](QWidget *w) {
        opened = w == program.FOption.get();
        program.FOption->cb_Version->setChecked(true);
        program.FOption->btn_OK->click();
    });
    program.Form_GlowKite->findChild<QAction *>("act_Option")->trigger();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(program.Form_GlowKite->Decoder().GlowkiteVersion);
}

} // namespace
