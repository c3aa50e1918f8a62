// "Golden Sample Setting" (template 193): the process configuration page's
// small view of the connected product's average golden sample, with the
// button that takes a new sample. While it lives it is the program's
// golden-sample caption (WM_DEBUG_COMMAND 13 value 0 refreshes it).
#pragma once

#include "diag/golden_sample.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QPushButton;

namespace vcx {

struct DiagState;

class CGSSetDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplate = 193;
    static constexpr int kIdVersion = 320, kIdCrc = 321, kIdCount = 322;
    static constexpr int kIdTake = 420, kIdExit = 421;
    static constexpr const char* kTitle = "Golden Sample Setting";
    static constexpr const char* kTextUpdate = "&Update Golden Sample";
    static constexpr const char* kTextCreate = "&Create Golden Sample";

    // `device`: the product whose golden sample is shown (unset: the connected
    // controller's). Starts hidden.
    explicit CGSSetDlg(DiagState& s, QWidget* parent = nullptr, std::function<GoldenSampleDevice()> device = {});
    ~CGSSetDlg() override;

    // When forced or not on show yet: the average golden sample read again
    // (button 420 "&Update Golden Sample", 320 its firmware version, 321 its
    // CRC "x%04X", 322 its count), or, when there is none for the product,
    // "&Create Golden Sample" with 320..322 empty; then shown.
    void UpdateCaption(bool force);
    // Where button 420's request goes (unset: this widget's window).
    void setMainWindow(QObject* w) { main_ = w; }
    bool captionShown() const { return visible_; }

private:
    void onTake();
    void onExit();

    DiagState& s_;
    std::function<GoldenSampleDevice()> device_;
    QPointer<QObject> main_;
    QPushButton* take_ = nullptr;
    bool visible_ = false;
};

}  // namespace vcx
