#pragma once

#include <QStringList>
#include <cstdio>
#include <string>

// What the program says about itself on the command line.
namespace lotfinch::core {

enum class InfoRequest { None, Version, Help };

// The first of "--version" and "--help" among the arguments after the
// program's own name; None when neither is there.
InfoRequest InformationRequest(const QStringList &arguments);

// "Lotfinch 2.0.1.28": the file version of programFile's version block.
// Throws VersionInfoError when it cannot be read.
std::string VersionLine(const QString &programFile);

extern const char *const UsageText;

// Answers a --version or --help request on out (errors on err) without any
// window, and returns the exit code; -1 when the command line asks neither.
int AnswerInformationRequest(int argc, char **argv, std::FILE *out, std::FILE *err);

} // namespace lotfinch::core
