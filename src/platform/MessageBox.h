#pragma once

#include <deque>
#include <functional>
#include <string>

class QWidget;

namespace lotfinch::platform {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class MsgAnswer { OK, Cancel, Yes, No };

// One question put to the user. Text and title are 8-bit program text.
struct MsgQuestion
{
    QWidget *owner = nullptr;
    std::string text;
    std::string title;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::OK;
    // Text and title are UTF-8 rather than 8-bit program text.
    bool unicode = false;
};

// Every message box of the program goes through here, so tests can answer
// questions in advance instead of blocking on a modal window.
class MessageBoxService
{
public:
    // Shows the box modally (or takes a prepared answer) and returns the answer.
    // Closing the box without a button gives Cancel, or No where there is no Cancel.
    static MsgAnswer ask(const MsgQuestion &question);
    static MsgAnswer ask(QWidget *owner, const std::string &text, const std::string &title, MsgIcon icon,
                         MsgButtons buttons);

    // Test seam: the next questions get these answers, in order, without a window.
    static void preAnswer(MsgAnswer answer);
    // Test seam: every question answered from the prepared answers, oldest first.
    static std::deque<MsgQuestion> &answeredQuestions();
    static void reset();
};

} // namespace lotfinch::platform
