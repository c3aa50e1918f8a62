#include "ui/input_injector.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

namespace qvui {

namespace {

class QtInjector final : public InputInjector {
public:
    bool middleClick(std::string* error) override {
        const QPoint global = QCursor::pos();
        QPointer<QWidget> target = QApplication::widgetAt(global);
        if (!target) {
            if (error) *error = "no window of this program under the pointer";
            return false;
        }
        const QPointF local = target->mapFromGlobal(QPointF(global));
        QMouseEvent press(QEvent::MouseButtonPress, local, QPointF(global), Qt::MiddleButton, Qt::MiddleButton,
                          QApplication::keyboardModifiers());
        QCoreApplication::sendEvent(target, &press);
        if (!target) return true; // the press closed it
        QMouseEvent release(QEvent::MouseButtonRelease, local, QPointF(global), Qt::MiddleButton, Qt::NoButton,
                            QApplication::keyboardModifiers());
        QCoreApplication::sendEvent(target, &release);
        return true;
    }

    bool keyPress(int key, std::string* error) override { return keyEvent(QEvent::KeyPress, key, error); }
    bool keyRelease(int key, std::string* error) override { return keyEvent(QEvent::KeyRelease, key, error); }

private:
    // The focus widget at the moment of the event, as the keyboard's own
    // events go: a press that moves the focus sends its release to the new one.
    static bool keyEvent(QEvent::Type type, int key, std::string* error) {
        QWidget* target = QApplication::focusWidget();
        if (!target) {
            if (error) *error = "no widget of this program has the keyboard focus";
            return false;
        }
        QKeyEvent e(type, key, Qt::NoModifier, textOf(key));
        QCoreApplication::sendEvent(target, &e);
        return true;
    }

    static QString textOf(int key) {
        switch (key) {
        case Qt::Key_Tab: return QStringLiteral("\t");
        case Qt::Key_Return: return QStringLiteral("\r");
        case Qt::Key_Escape: return QString(QChar(0x1B));
        case Qt::Key_Space: return QStringLiteral(" ");
        default: return {};
        }
    }
};

} // namespace

std::unique_ptr<InputInjector> makeQtInjector() { return std::make_unique<QtInjector>(); }

} // namespace qvui
