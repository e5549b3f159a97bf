#include "desktop/LaunchFile.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "platform/Shell.h"
#include "text/AnsiText.h"

namespace lotfinch::desktop {

intptr_t LaunchFile(const std::string &fileName, const std::string &params, const std::string &defaultDir, int showCmd)
{
    (void)params;
    (void)showCmd;
    const QString name = text::fromAnsi(fileName);
    const QString path = QDir(text::fromAnsi(defaultDir)).absoluteFilePath(name);
    if (name.isEmpty() || !QFileInfo::exists(path))
        return 2;
    // A file: address, fully percent-encoded, so the shell sees plain ASCII.
    const QByteArray url = QUrl::fromLocalFile(path).toEncoded();
    return platform::Shell::current().open(url.toStdString()) ? 42 : 31;
}

} // namespace lotfinch::desktop
