#pragma once

#include <string>
#include <vector>

namespace lotfinch::platform {

// Opens an address (a web page, a mail form, a document) with the program
// the desktop associates with it. Never goes through a command line.
class Shell
{
public:
    virtual ~Shell() = default;
    // target is 8-bit program text; false when it could not be handed over.
    virtual bool open(const std::string &target) = 0;

    // The desktop's shell, or the one a test put in its place.
    static Shell &current();
};

// The real one: QDesktopServices::openUrl.
class DesktopShell : public Shell
{
public:
    bool open(const std::string &target) override;
};

// For tests: records what it was asked to open and answers as told. It takes
// the desktop shell's place while it lives.
class FakeShell : public Shell
{
public:
    FakeShell();
    ~FakeShell() override;
    FakeShell(const FakeShell &) = delete;
    FakeShell &operator=(const FakeShell &) = delete;

    bool open(const std::string &target) override;

    std::vector<std::string> opened;
    bool succeed = true;

private:
    Shell *previous_;
};

} // namespace lotfinch::platform
