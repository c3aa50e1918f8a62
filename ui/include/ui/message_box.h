// The program's one way to show a message box. Tests install a responder that
// sees each request and gives the answer a user would click; without one the
// box is a QMessageBox. On the headless "offscreen" platform, where nobody can
// click, an unanswered box is logged and closed instead of blocking the program
// forever: with its default answer when the caller named one, else with its
// escape answer.
//
// The default answer is the button the box focuses (the one Enter presses).
// A caller that names none gets the box's first button focused on screen (Ok,
// Ok, Yes, Yes, Retry: firstAnswer()) and the escape answer headless. A default
// the box does not offer counts as none named.
#pragma once

#include "ui/responder.h"

#include <QString>

#include <optional>

class QWidget;

namespace qvui {

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MessageIcon { None, Error, Warning, Information, Question };
enum class MessageAnswer { Ok, Cancel, Yes, No, Retry };

struct MessageBoxRequest {
    QWidget* owner = nullptr;
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    // The default answer the caller named; unset when it named none (or one the
    // box does not offer).
    std::optional<MessageAnswer> defaultAnswer;
};

MessageAnswer showMessageBox(QWidget* owner, const QString& text, const QString& caption,
                             MessageIcon icon = MessageIcon::None, MessageButtons buttons = MessageButtons::Ok,
                             std::optional<MessageAnswer> defaultAnswer = std::nullopt);

// The answer the box gives when closed without a choice (Escape, the close button).
MessageAnswer escapeAnswer(MessageButtons buttons);
// The box's first button, focused when the caller names no default.
MessageAnswer firstAnswer(MessageButtons buttons);
bool offersAnswer(MessageButtons buttons, MessageAnswer answer);

// While it lives, every box goes to the responder instead of the screen. An
// answer the box does not offer is replaced by its escape answer.
using MessageBoxResponder = ScopedResponder<MessageAnswer(const MessageBoxRequest&), MessageBoxRequest>;

} // namespace qvui
