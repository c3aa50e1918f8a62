#include "ui/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QtDebug>

namespace qvui {

namespace {

QMessageBox::StandardButtons standardButtons(MessageButtons b) {
    switch (b) {
    case MessageButtons::Ok: return QMessageBox::Ok;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon boxIcon(MessageIcon i) {
    switch (i) {
    case MessageIcon::None: return QMessageBox::NoIcon;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton buttonOf(MessageAnswer a) {
    switch (a) {
    case MessageAnswer::Ok: return QMessageBox::Ok;
    case MessageAnswer::Cancel: return QMessageBox::Cancel;
    case MessageAnswer::Yes: return QMessageBox::Yes;
    case MessageAnswer::No: return QMessageBox::No;
    case MessageAnswer::Retry: return QMessageBox::Retry;
    }
    return QMessageBox::NoButton;
}

MessageAnswer answerOf(int button, MessageButtons buttons) {
    switch (button) {
    case QMessageBox::Ok: return MessageAnswer::Ok;
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    case QMessageBox::Retry: return MessageAnswer::Retry;
    default: return escapeAnswer(buttons);
    }
}

} // namespace

MessageAnswer escapeAnswer(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok: return MessageAnswer::Ok;
    case MessageButtons::YesNo: return MessageAnswer::No;
    default: return MessageAnswer::Cancel;
    }
}

MessageAnswer firstAnswer(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel: return MessageAnswer::Yes;
    case MessageButtons::RetryCancel: return MessageAnswer::Retry;
    default: return MessageAnswer::Ok;
    }
}

bool offersAnswer(MessageButtons buttons, MessageAnswer a) {
    switch (buttons) {
    case MessageButtons::Ok: return a == MessageAnswer::Ok;
    case MessageButtons::OkCancel: return a == MessageAnswer::Ok || a == MessageAnswer::Cancel;
    case MessageButtons::YesNo: return a == MessageAnswer::Yes || a == MessageAnswer::No;
    case MessageButtons::YesNoCancel: return a == MessageAnswer::Yes || a == MessageAnswer::No || a == MessageAnswer::Cancel;
    case MessageButtons::RetryCancel: return a == MessageAnswer::Retry || a == MessageAnswer::Cancel;
    }
    return false;
}

MessageAnswer showMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon,
                             MessageButtons buttons, std::optional<MessageAnswer> defaultAnswer) {
    if (defaultAnswer && !offersAnswer(buttons, *defaultAnswer)) {
        qWarning().noquote() << "message box default answer not on the box, none taken:" << caption;
        defaultAnswer.reset();
    }
    const MessageBoxRequest request{owner, text, caption, icon, buttons, defaultAnswer};
    if (const auto responder = MessageBoxResponder::current()) {
        const MessageAnswer a = responder(request);
        return offersAnswer(buttons, a) ? a : escapeAnswer(buttons);
    }
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        const MessageAnswer a = defaultAnswer.value_or(escapeAnswer(buttons));
        qWarning().noquote() << "message box without a responder on the offscreen platform, closed"
                             << (defaultAnswer ? "with its default answer:" : ":") << caption << "-" << text;
        return a;
    }
    QMessageBox box(boxIcon(icon), caption, text, standardButtons(buttons), owner);
    box.setDefaultButton(buttonOf(defaultAnswer.value_or(firstAnswer(buttons))));
    if (owner) box.setWindowModality(Qt::WindowModal); // as execDialog: other top-level windows keep their input
    return answerOf(box.exec(), buttons);
}

} // namespace qvui
