#include "ui/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QtDebug>

namespace qvui {

namespace {

MessageBoxResponder::Function& currentResponder() {
    static MessageBoxResponder::Function f;
    return f;
}

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
                             MessageButtons buttons) {
    const MessageBoxRequest request{owner, text, caption, icon, buttons};
    if (const auto& responder = currentResponder()) {
        const MessageAnswer a = responder(request);
        return offersAnswer(buttons, a) ? a : escapeAnswer(buttons);
    }
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        qWarning().noquote() << "message box without a responder on the offscreen platform, closed:" << caption << "-"
                             << text;
        return escapeAnswer(buttons);
    }
    QMessageBox box(boxIcon(icon), caption, text, standardButtons(buttons), owner);
    return answerOf(box.exec(), buttons);
}

MessageBoxResponder::MessageBoxResponder(Function responder) : previous_(std::move(currentResponder())) {
    currentResponder() = std::move(responder);
}

MessageBoxResponder::~MessageBoxResponder() { currentResponder() = std::move(previous_); }

} // namespace qvui
