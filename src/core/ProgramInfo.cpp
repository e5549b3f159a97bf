#include "core/ProgramInfo.h"

#include <QCoreApplication>

#include "core/VersionInfo.h"

namespace lotfinch::core {

const char *const UsageText = "Usage: lotfinch [--version | --help]\n"
                              "\n"
                              "Lotfinch watches auction sites for a search phrase from the system tray.\n"
                              "Start it without arguments, pick a site, type a phrase and press Start.\n"
                              "\n"
                              "  --version  print the program's version and end\n"
                              "  --help     print this text and end\n";

InfoRequest InformationRequest(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--version")
            return InfoRequest::Version;
        if (arguments[i] == "--help")
            return InfoRequest::Help;
    }
    return InfoRequest::None;
}

std::string VersionLine(const QString &programFile)
{
    core::VersionInfo info;
    info.SetFileName(programFile);
    return "Lotfinch " + info.FileVersion();
}

int AnswerInformationRequest(int argc, char **argv, std::FILE *out, std::FILE *err)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const InfoRequest request = InformationRequest(arguments);
    if (request == InfoRequest::None)
        return -1;
    if (request == InfoRequest::Help) {
        std::fputs(UsageText, out);
        return 0;
    }
    // No display is needed: the version comes from the program's own file.
    QCoreApplication app(argc, argv);
    try {
        std::fprintf(out, "%s\n", VersionLine(QCoreApplication::applicationFilePath()).c_str());
        return 0;
    } catch (const core::VersionInfoException &error) {
        std::fprintf(err, "lotfinch: %s\n", error.what());
        return 1;
    }
}

} // namespace lotfinch::core
