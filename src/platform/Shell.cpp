#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>

#include "text/AnsiText.h"

namespace lotfinch::platform {

namespace {

Shell *&installed()
{
    static Shell *shell = nullptr;
    return shell;
}

} // namespace

Shell &Shell::current()
{
    static DesktopShell desktop;
    return installed() ? *installed() : desktop;
}

bool DesktopShell::open(const std::string &target)
{
    QUrl url(text::fromAnsi(target), QUrl::TolerantMode);
    // Without a scheme Qt would guess a local file; that is not what was asked.
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}

FakeShell::FakeShell() : previous_(installed())
{
    installed() = this;
}

FakeShell::~FakeShell()
{
    installed() = previous_;
}

bool FakeShell::open(const std::string &target)
{
    opened.push_back(target);
    return succeed;
}

} // namespace lotfinch::platform
