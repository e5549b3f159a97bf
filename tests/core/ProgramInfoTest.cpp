#include <QProcess>
#include <gtest/gtest.h>

#include "core/ProgramInfo.h"
#include "core/TextUtils.h"
#include "core/VersionInfo.h"

using namespace lotfinch::core;

TEST(ProgramInfo, TheFirstOfVersionAndHelpAnswersAndOtherArgumentsAreLeftAlone)
{
    const struct
    {
        QStringList arguments;
        InfoRequest request;
    } cases[] = {
        {{"lotfinch"}, InfoRequest::None},
        {{"--version"}, InfoRequest::None}, // the program's own name is not an argument
        {{"lotfinch", "--version"}, InfoRequest::Version},
        {{"lotfinch", "/tmp/x.txt", "--help", "--version"}, InfoRequest::Help},
        {{"lotfinch", "-version", "--Help", "--help=1"}, InfoRequest::None},
    };
    for (const auto &c : cases)
        EXPECT_EQ(InformationRequest(c.arguments), c.request) << c.arguments.join(' ').toStdString();
    EXPECT_THROW(VersionLine("/bin/true"), lotfinch::core::VersionInfoError);
}

TEST(ProgramInfo, TheProgramAnswersVersionAndHelpAtOnceWithoutADisplay)
{
    const struct
    {
        const char *argument;
        QString output;
    } cases[] = {
        {"--version", "Lotfinch 2.0.1.28\n"},
        {"--help", QString::fromLatin1(UsageText)},
    };
    for (const auto &c : cases) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.insert("QT_QPA_PLATFORM", "xcb"); // would fail without a display, were one opened
        program.setProcessEnvironment(environment);
        program.start(ProgramFolderFile("lotfinch"), {c.argument});
        ASSERT_TRUE(program.waitForFinished(30000)) << c.argument;
        EXPECT_EQ(program.exitCode(), 0) << c.argument << program.readAllStandardError().toStdString();
        EXPECT_EQ(QString::fromLatin1(program.readAllStandardOutput()), c.output) << c.argument;
    }
}
