// The main window of VCXMSet. So far it binds the controller library, loads the
// settings, finds the first controller and names its model; the device pages
// come with a later version of the program.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace vcx {

struct FoundController {
    QString path;
    QString model;
    QString key;
};

// The first controller the library reports: HID controllers first, then those
// behind the driver (every kind). Empty when there is none or nothing is bound.
FoundController findFirstController();

class CVCXUtilityDlg : public QDialog {
public:
    explicit CVCXUtilityDlg(QWidget* parent = nullptr);
    ~CVCXUtilityDlg() override;

    // Binds the library and loads the settings; false when the program must end
    // (no loadable library, or one that is too old), with the reason in error().
    bool initDialog();
    QString error() const { return error_; }
    QString controllerText() const;

protected:
    bool event(QEvent* e) override;
    void done(int result) override;

private:
    QLabel* controller_ = nullptr;
    QString error_;
    bool bound_ = false;
};

} // namespace vcx
