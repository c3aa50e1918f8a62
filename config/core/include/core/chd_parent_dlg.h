// The base of every page the main window shows in its page area, and the small
// routines pages of every kind share (folder picker, path cutting, string-table
// texts into controls, one firmware-identity test).
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

struct FirmwareInformationW;

namespace vcx {

// A page: a child widget of the main window with its own control ids. The main
// window drives it through the four operations; the base versions do nothing.
class CQVChdParentDlg : public QWidget {
    Q_OBJECT
public:
    // `templateId` names the page in the window messages it sends (WM_PAGE_STATE).
    CQVChdParentDlg(int templateId, QWidget* parent);

    int templateId() const { return templateId_; }

    // Called once, at the end of the page's construction by its creator.
    void initDialog();

    virtual void InitDlgItem() {}
    virtual void ExitDlg() {}
    virtual void ClearDlgItem() {}
    virtual void UpdateDlgItem() {}

    // Whether the page can work with the connected controller; pages that
    // need a device read-out of their own report it here. The base page has none.
    virtual bool isUsable() const { return false; }

    // The main window's key and mouse filter, asked before every message of
    // every page; true when it consumed the message.
    using MessageFilter = std::function<bool(QWidget* page, QEvent* event)>;
    static void setMessageFilter(MessageFilter filter);
    // The filter set (empty when none); the parameter pages apply it too.
    static const MessageFilter& messageFilter();

protected:
    bool event(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    int templateId_;
};

// The folder picker: true and the folder in `folder` when one was picked; on
// cancel `folder` stays as it was. Starts at the folder's current value.
bool BrowseForFolder(const QString& title, QWidget* owner, QString& folder);

// The text up to its last path separator, the separator removed ("/a/b.csv" ->
// "/a", "/a/" -> "/a"); a text without one gives an empty text. Both '/' and
// '\' count. At most 260 characters of the source are looked at.
QString StripLastPathComponent(const QString& source);

// The string-table text into the control with that id (a label, button, line edit).
void SetDlgItemTextFromResource(QWidget* dialog, int itemId, uint32_t stringId);
// The text used as a format with one number ("%d", "%x", "%X", "%u") or one text ("%s").
void SetDlgItemTextFromResourceFmt(QWidget* dialog, int itemId, uint32_t stringId, int number);
void SetDlgItemTextFromResourceFmt2(QWidget* dialog, int itemId, uint32_t stringId, const QString& text);
// The first free "<folder>/<base><extension>", then "<base>(1)<extension>", "(2)", ...;
// empty when no free name fits 259 characters or 9999 are taken.
QString freeNumberedPath(const QString& folder, const QString& base, const QString& extension);

// Sets a control's text whatever kind it is; false when the id names no control.
bool SetDlgItemText(QWidget* dialog, int itemId, const QString& text);
QString GetDlgItemText(QWidget* dialog, int itemId);

// Replaces the first printf conversion of `format` ("%d", "%s", "%X", "%04X", ...) with `value`.
QString formatOne(const QString& format, const QString& text);
QString formatOne(const QString& format, long long number);

// Product 1711 in its first release: fields 1 and 0, then 0, 0, 0, 2.
bool IsFirmwareId1711(const FirmwareInformationW& info);

} // namespace vcx
