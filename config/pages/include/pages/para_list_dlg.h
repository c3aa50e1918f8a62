// The Debug page's raw parameter table: the controller's touch (TP), boot (BT)
// and debug (DB) register lists as hexadecimal grids on the first page and one
// slave list per further page, and the program's one byte editor that changes
// a single byte with one E1 command. The buttons write every changed byte,
// flush the parameters to flash, and save or load the lists as a parameter INI
// file.
//
// The grid's arithmetic (which list byte a cell shows, the rows of a section,
// where each cell goes, its colours, the E1 form of a byte write) is apart from
// the widgets below, so it is tested without a display.
#pragma once

#include "QV_Standard.h"

#include <QColor>
#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vcx {

struct Controller;
class CQVMyHexTipEdit;

// ---- The grid's arithmetic --------------------------------------------------

// Cells: 200 header cells (ids 5000..5199) and 500 value cells (ids 5200..5699).
constexpr int kParaHeaderCells = 200;
constexpr int kParaValueCells = 500;
constexpr int kIdFirstHeaderCell = 5000;
constexpr int kIdFirstValueCell = 5200;
constexpr int kIdLastCell = 5700; // clicks are taken up to here; 5700 itself has no cell
constexpr int kParaBytesPerRow = 16;

// List ids: 0 TP, 1 BT, 2 DB, 3 + n slave n (n = 1..4, the page that shows it).
constexpr uint8_t kParaListTP = 0;
constexpr uint8_t kParaListBT = 1;
constexpr uint8_t kParaListDB = 2;
constexpr uint8_t kParaListSlave = 3;
constexpr int kParaMaxSlaves = 4;

// The list lengths of a ParameterList record.
struct ParaListLengths {
    int tp = 0, bt = 0, db = 0, slave = 0;
};
ParaListLengths ParaLengthsOf(const ParameterList& lists);

// The list byte a value cell shows.
struct ParaCellByte {
    uint8_t listId = 0;
    int index = 0;
    bool operator==(const ParaCellByte&) const = default;
};

// Value cell `cell` (0..499) on `page` (0 the master's lists, k slave k): TP
// byte i for i below the TP length, then BT, then DB; on a slave page the cells
// after the three master lists show the slave's bytes. Nothing for a cell no
// list reaches, or one at or past 500.
std::optional<ParaCellByte> ParaValueCellByte(int cell, const ParaListLengths& lengths, int page);

// One section of a page: a list, its first value cell, and how many of its
// bytes have cells. The cells are shared by the sections in list order and end
// at 500: bytes that would need a cell past 500 are not shown (three lists of
// 255 bytes show TP whole, BT up to its 245th byte and no DB).
struct ParaSection {
    uint8_t listId = 0;
    int firstCell = 0;
    int length = 0;
    int shownBytes = 0;
    int rows = 0; // shownBytes / 16 rounded up: a short last row is shown too
    bool operator==(const ParaSection&) const = default;
};
// The sections of `page`: TP, BT and DB on page 0; slave `page`'s list on a
// slave page (no section when the library returned no list for it).
std::vector<ParaSection> ParaPageSections(const ParaListLengths& lengths, int page, bool slaveListPresent);

// Where the cells go, for display scale `scale` (percent): header cells (a
// section's name at its top-left, the column labels "0".."F" beside it, one
// row label "0x%X0" per row) and value cells. The master's TP list fills the
// left column, BT and DB are stacked in the right one; a slave list takes the
// left column. The cell height shrinks when a column would not fit the tool.
struct ParaHeaderCell {
    QRect rect;
    QString text;
    uint8_t listId = 0;
};
struct ParaValuePlace {
    int cell = 0;
    QRect rect;
};
struct ParaPageLayout {
    std::vector<ParaSection> sections;
    std::vector<ParaHeaderCell> headers; // at most 200
    std::vector<ParaValuePlace> values;  // cells below 500 only
    int cellWidth = 0, cellHeight = 0;
};
ParaPageLayout LayoutParaPage(const ParaListLengths& lengths, int page, bool slaveListPresent, int scale);

// The tool's size and the places of its buttons and state texts, at `scale`.
constexpr int kParaToolWidth = 608, kParaToolHeight = 390;
QRect ParaButtonRect(int button, int scale); // button 0..5: "<<", ">>", "0xE1", "FLUSH", "SAVE", "LOAD"
QRect ParaStateRect(int word, int scale);    // word 0..3: Flag, Stat, Stat2, Diag

// Cell colours: a header cell has black text on its section's colour; a value
// cell dark grey text (RGB 60, 60, 60) for a non-zero byte, light grey (160,
// 160, 160) for zero; a cell outside every section the light-grey stock colour.
struct ParaCellColours {
    QColor background;
    QColor text;
    bool operator==(const ParaCellColours&) const = default;
};
QColor ParaSectionColour(uint8_t listId);
ParaCellColours ParaHeaderColours(uint8_t listId);
ParaCellColours ParaValueColours(const std::optional<ParaCellByte>& byte, uint8_t value);

// The E1 command that writes one byte of a master list, E1 <bank> <address>
// 00 <value>: with banked addressing the lists are banks 0x80 (TP), 0x90 (BT)
// and 0xA0 (DB) from address 0; without, all three are in bank 0 from 0x00,
// 0x40 and 0x80 (the address wraps within the byte, as the lists are read).
// Nothing for a slave list: its bytes go out with the whole-list write.
struct ParaByteCommand {
    uint8_t bank = 0;
    uint8_t address = 0;
    bool operator==(const ParaByteCommand&) const = default;
};
std::optional<ParaByteCommand> ParaByteWriteCommand(uint8_t listId, uint8_t index, bool banked);

// The editor's title: "TP Index: 0x%02X", "BT Index: 0x%02X", "DB Index:
// 0x%02X" or "Slv%d Index: 0x%02X".
QString ByteEditorTitle(uint8_t listId, uint8_t index);

// ---- The tool ---------------------------------------------------------------

class CQVParaEditDlg;

// The parameter-list tool, a child of the Debug page. The page reads the lists
// (GetParameterList into the controller's ParameterList record) and the state
// words (GetStateFlagEx) and then calls RefreshPage.
class CQVParaListDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplate = 121;
    static constexpr int kIdPrevPage = 450;
    static constexpr int kIdNextPage = 451;
    static constexpr int kIdSendE1 = 452;
    static constexpr int kIdFlush = 453;
    static constexpr int kIdSave = 454;
    static constexpr int kIdLoad = 455;

    CQVParaListDlg(Controller& c, QWidget* parent);
    ~CQVParaListDlg() override;

    // Where WM_DEBUG_COMMAND goes; unset, the top-level window the tool lives in.
    void setMainWindow(QObject* window) { main_ = window; }

    // Shows the current page again from the controller's records.
    void RefreshPage();
    // Page 0 the master's lists, k slave k (bounded by the slave count).
    void ShowPage(int page);
    int page() const { return page_; }
    int slaveCount() const;
    // Hides every cell and the editor (the page has no device).
    void HideCells();

    // Banked addressing: the controller keeps its lists in the item-protocol
    // banks (feature byte 3 bit 7 on a controller with the item protocol).
    bool banked() const;

    // STN_CLICKED / STN_DBLCLK of a cell (ids 5000..5700).
    void OnCellClicked(int id);
    // The editor's APPLY: sets the changed mark, writes a master list byte with
    // one E1 command (a slave byte only in the list), and keeps the byte in the
    // list whatever the command's result.
    void WriteListByte(uint8_t listId, uint8_t index, uint8_t value);

    // The Debug page's mark that this tool changed the controller's parameters
    // (the page reads the device again when it leaves the tool).
    bool changedMark() const { return changedMark_; }
    void setChangedMark(bool on) { changedMark_ = on; }

    // The state words' texts, for the page's checks.
    QString stateText(int word) const;

    // The buttons.
    void SendE1();
    void Flush();
    void Save();
    void Load();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QObject* mainWindow() const;
    void sendMain(quint32 message, quint64 wParam, qint64 lParam);
    void showCellByte(int cell);
    int cellOf(uint8_t listId, int index) const;
    const uint8_t* listBytes(uint8_t listId) const;
    uint8_t* listBytes(uint8_t listId);
    int listLength(uint8_t listId) const;
    void hideEditor();
    void lock();

    Controller& c_;
    QPointer<QObject> main_;
    int page_ = 0;
    int scale_ = 100;
    bool changedMark_ = false;
    std::array<QLabel*, kParaHeaderCells> headers_{};
    std::array<QLabel*, kParaValueCells> values_{};
    std::array<QLabel*, 4> state_{};
    std::array<QPushButton*, 6> buttons_{};
    CQVParaEditDlg* editor_ = nullptr;
};

// The byte editor: one modeless instance for the whole program, owned by the
// list tool that made it. The main window closes it (WM_TRAY_NOTIFY (0, 0))
// when the user clicks elsewhere; it finds it through programHooks().byteEditor.
class CQVParaEditDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 195;
    static constexpr int kIdHex = 520;
    static constexpr int kIdDec = 521;
    static constexpr int kIdFirstBit = 470; // 470..477: bits 0..7
    static constexpr int kIdApply = 1;
    static constexpr int kIdTitle = 320;

    explicit CQVParaEditDlg(CQVParaListDlg* owner);
    ~CQVParaEditDlg() override;

    // The program's editor, nullptr while no list tool made one.
    static CQVParaEditDlg* instance();
    // The value cell the editor belongs to (its index, 0..499), -1 for none.
    static int& currentCell();

    void ShowByteEditor(uint8_t listId, uint8_t index, uint8_t value);
    // Hides the editor and clears the current cell.
    void Release();

    uint8_t listId() const { return listId_; }
    uint8_t index() const { return index_; }
    uint8_t value() const { return value_; }
    bool changed() const { return changed_; }
    bool focusOnHex() const { return focusOnHex_; }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void onHexChanged();
    void onDecChanged();
    void onBitClicked();
    void onApply();
    void takeValue(uint8_t value, bool fromHex);
    void showValue(bool hex, bool dec, bool bits);
    void focusEdit(bool hex);

    CQVParaListDlg* owner_;
    QLabel* title_ = nullptr;
    CQVMyHexTipEdit* hex_ = nullptr;
    QLineEdit* dec_ = nullptr;
    std::array<QCheckBox*, 8> bits_{};
    QPushButton* apply_ = nullptr;
    uint8_t listId_ = 0;
    uint8_t index_ = 0;
    uint8_t value_ = 0;
    bool changed_ = false;
    bool focusOnHex_ = true;
    // Set while the editor writes its own edits, so that their change handlers
    // do not answer the editor's own updates.
    bool updating_ = false;
};

} // namespace vcx
