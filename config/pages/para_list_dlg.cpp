#include "pages/para_list_dlg.h"

#include "core/controller_api.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "params/parameter_ini.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/window_message.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>
#include <functional>

namespace vcx {

// ---- The grid's arithmetic --------------------------------------------------

ParaListLengths ParaLengthsOf(const ParameterList& lists) {
    return {lists.touchLength, lists.bootLength, lists.debugLength, lists.slaveLength};
}

std::optional<ParaCellByte> ParaValueCellByte(int cell, const ParaListLengths& l, int page) {
    if (cell < 0 || cell >= kParaValueCells) return std::nullopt;
    const int master = l.tp + l.bt + l.db;
    if (page > 0) {
        if (page > kParaMaxSlaves || cell < master || cell - master >= l.slave) return std::nullopt;
        return ParaCellByte{uint8_t(kParaListSlave + page), cell - master};
    }
    if (cell < l.tp) return ParaCellByte{kParaListTP, cell};
    if (cell < l.tp + l.bt) return ParaCellByte{kParaListBT, cell - l.tp};
    if (cell < master) return ParaCellByte{kParaListDB, cell - l.tp - l.bt};
    return std::nullopt;
}

namespace {
ParaSection section(uint8_t listId, int firstCell, int length) {
    // Only the cells below 500 exist: the bytes past them have no cell.
    const int shown = std::clamp(std::min(length, kParaValueCells - firstCell), 0, std::max(length, 0));
    return {listId, firstCell, length, shown, (shown + kParaBytesPerRow - 1) / kParaBytesPerRow};
}
} // namespace

std::vector<ParaSection> ParaPageSections(const ParaListLengths& l, int page, bool slaveListPresent) {
    if (page == 0)
        return {section(kParaListTP, 0, l.tp), section(kParaListBT, l.tp, l.bt),
                section(kParaListDB, l.tp + l.bt, l.db)};
    if (page < 0 || page > kParaMaxSlaves || !slaveListPresent) return {};
    return {section(uint8_t(kParaListSlave + page), l.tp + l.bt + l.db, l.slave)};
}

namespace {
int scaled(int v, int s) { return v * s / 100; }
int scaleOf(int scale) { return scale > 0 ? scale : 100; }

QString sectionName(uint8_t listId) {
    switch (listId) {
    case kParaListTP: return QStringLiteral("TP");
    case kParaListBT: return QStringLiteral("BT");
    case kParaListDB: return QStringLiteral("DB");
    default: return QStringLiteral("SLV%1").arg(int(listId) - kParaListSlave);
    }
}
} // namespace

QRect ParaButtonRect(int button, int scale) {
    const int s = scaleOf(scale);
    const int w = scaled(72, s), gap = scaled(6, s);
    return {scaled(4, s) + button * (w + gap), scaled(kParaToolHeight - 28, s), w, scaled(24, s)};
}

QRect ParaStateRect(int word, int scale) {
    const int s = scaleOf(scale);
    const int w = scaled(140, s), gap = scaled(8, s);
    return {scaled(4, s) + word * (w + gap), scaled(kParaToolHeight - 54, s), w, scaled(20, s)};
}

ParaPageLayout LayoutParaPage(const ParaListLengths& lengths, int page, bool slaveListPresent, int scale) {
    const int s = scaleOf(scale);
    ParaPageLayout out;
    out.sections = ParaPageSections(lengths, page, slaveListPresent);
    // TP (or the slave list) in column 0, BT and DB stacked in column 1.
    const auto column = [](const ParaSection& sec) { return sec.listId == kParaListBT || sec.listId == kParaListDB; };
    // Lines of the tallest column: a heading line and the rows of each section,
    // half a line between two sections.
    int halfLines = 0;
    for (int col = 0; col < 2; ++col) {
        int n = 0, count = 0;
        for (const ParaSection& sec : out.sections)
            if (column(sec) == bool(col)) n += 2 * (1 + sec.rows), ++count;
        halfLines = std::max(halfLines, n + std::max(count - 1, 0));
    }
    const int top = scaled(4, s), left = scaled(4, s);
    const int available = ParaStateRect(0, s).top() - scaled(4, s) - top;
    out.cellWidth = std::max(scaled(16, s), 1);
    out.cellHeight = std::max(1, std::min(scaled(16, s), halfLines ? 2 * available / halfLines : scaled(16, s)));
    // The name and row labels ("0x1F0" at most) take a wider first cell.
    const int cw = out.cellWidth, ch = out.cellHeight, lw = std::max(scaled(30, s), 1);
    const int columnX[2] = {left, left + lw + kParaBytesPerRow * cw + scaled(8, s)};
    int y[2] = {top, top};
    const auto header = [&](const QRect& r, const QString& text, uint8_t listId) {
        if (int(out.headers.size()) < kParaHeaderCells) out.headers.push_back({r, text, listId});
    };
    for (const ParaSection& sec : out.sections) {
        const int col = column(sec) ? 1 : 0;
        const int x = columnX[col];
        int& y0 = y[col];
        header(QRect(x, y0, lw, ch), sectionName(sec.listId), sec.listId);
        for (int c = 0; c < kParaBytesPerRow; ++c)
            header(QRect(x + lw + c * cw, y0, cw, ch), QString::number(c, 16).toUpper(), sec.listId);
        for (int r = 0; r < sec.rows; ++r) {
            const int rowY = y0 + (r + 1) * ch;
            header(QRect(x, rowY, lw, ch), QStringLiteral("0x%1").arg(QString::number(r, 16).toUpper() + u'0'),
                   sec.listId);
            for (int c = 0; c < kParaBytesPerRow; ++c) {
                const int byte = r * kParaBytesPerRow + c;
                if (byte >= sec.shownBytes) break;
                out.values.push_back({sec.firstCell + byte, QRect(x + lw + c * cw, rowY, cw, ch)});
            }
        }
        y0 += (sec.rows + 1) * ch + ch / 2;
    }
    return out;
}

QColor ParaSectionColour(uint8_t listId) {
    switch (listId) {
    case kParaListTP: return QColor(179, 217, 217);
    case kParaListBT: return QColor(216, 216, 235);
    case kParaListDB: return QColor(218, 177, 213);
    default: return QColor(255, 218, 200);
    }
}

ParaCellColours ParaHeaderColours(uint8_t listId) { return {ParaSectionColour(listId), QColor(0, 0, 0)}; }

ParaCellColours ParaValueColours(const std::optional<ParaCellByte>& byte, uint8_t value) {
    // The light-grey stock brush for a cell of no section.
    if (!byte) return {QColor(192, 192, 192), QColor(0, 0, 0)};
    return {ParaSectionColour(byte->listId), value ? QColor(60, 60, 60) : QColor(160, 160, 160)};
}

std::optional<ParaByteCommand> ParaByteWriteCommand(uint8_t listId, uint8_t index, bool banked) {
    switch (listId) {
    case kParaListTP: return banked ? ParaByteCommand{0x80, index} : ParaByteCommand{0x00, index};
    case kParaListBT: return banked ? ParaByteCommand{0x90, index} : ParaByteCommand{0x00, uint8_t(index + 0x40)};
    case kParaListDB: return banked ? ParaByteCommand{0xA0, index} : ParaByteCommand{0x00, uint8_t(index + 0x80)};
    default: return std::nullopt;
    }
}

QString ByteEditorTitle(uint8_t listId, uint8_t index) {
    const QString at = QString::asprintf("%02X", unsigned(index));
    switch (listId) {
    case kParaListTP: return QStringLiteral("TP Index: 0x") + at;
    case kParaListBT: return QStringLiteral("BT Index: 0x") + at;
    case kParaListDB: return QStringLiteral("DB Index: 0x") + at;
    default: return QStringLiteral("Slv%1 Index: 0x").arg(int(listId) - kParaListSlave) + at;
    }
}

// ---- The tool ---------------------------------------------------------------

namespace {

// A sunken, centred cell that reports clicks and double clicks (SS_NOTIFY).
class ParaCell : public QLabel {
public:
    ParaCell(QWidget* parent, int id, std::function<void(int)> clicked) : QLabel(parent), clicked_(std::move(clicked)) {
        qvui::setControlId(this, id);
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setAlignment(Qt::AlignCenter);
        setAutoFillBackground(true);
        hide();
    }
    void setColours(const ParaCellColours& colours) {
        QPalette p = palette();
        p.setColor(QPalette::Window, colours.background);
        p.setColor(QPalette::WindowText, colours.text);
        setPalette(p);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) clicked_(qvui::controlId(this));
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) clicked_(qvui::controlId(this));
    }

private:
    std::function<void(int)> clicked_;
};

ParaCell* asCell(QLabel* l) { return static_cast<ParaCell*>(l); }

void stopBox(QWidget* owner, const QString& text, const QString& caption) {
    qvui::showMessageBox(owner, text, caption, qvui::MessageIcon::Error);
}

} // namespace

CQVParaListDlg::CQVParaListDlg(Controller& c, QWidget* parent) : QWidget(parent), c_(c) {
    qvui::setControlScope(this);
    scale_ = std::max(programState().screenScale, 1);
    resize(scaled(kParaToolWidth, scale_), scaled(kParaToolHeight, scale_));
    const auto clicked = [this](int id) { OnCellClicked(id); };
    for (int i = 0; i < kParaHeaderCells; ++i) headers_[size_t(i)] = new ParaCell(this, kIdFirstHeaderCell + i, clicked);
    for (int i = 0; i < kParaValueCells; ++i) values_[size_t(i)] = new ParaCell(this, kIdFirstValueCell + i, clicked);
    for (int i = 0; i < 4; ++i) {
        state_[size_t(i)] = new QLabel(this);
        state_[size_t(i)]->setGeometry(ParaStateRect(i, scale_));
    }
    const char* const texts[] = {"<<", ">>", "0xE1", "FLUSH", "SAVE", "LOAD"};
    for (int i = 0; i < 6; ++i) {
        auto* b = new QPushButton(QLatin1String(texts[i]), this);
        qvui::setControlId(b, kIdPrevPage + i);
        b->setGeometry(ParaButtonRect(i, scale_));
        buttons_[size_t(i)] = b;
    }
    connect(buttons_[0], &QPushButton::clicked, this, [this] {
        hideEditor();
        ShowPage(page_ - 1);
    });
    connect(buttons_[1], &QPushButton::clicked, this, [this] {
        hideEditor();
        ShowPage(page_ + 1);
    });
    connect(buttons_[2], &QPushButton::clicked, this, &CQVParaListDlg::SendE1);
    connect(buttons_[3], &QPushButton::clicked, this, &CQVParaListDlg::Flush);
    connect(buttons_[4], &QPushButton::clicked, this, &CQVParaListDlg::Save);
    connect(buttons_[5], &QPushButton::clicked, this, &CQVParaListDlg::Load);

    // The program's one editor; the main window finds it through the hook.
    if (!CQVParaEditDlg::instance()) {
        editor_ = new CQVParaEditDlg(this);
        programHooks().byteEditor = [] { return static_cast<QWidget*>(CQVParaEditDlg::instance()); };
    }
}

CQVParaListDlg::~CQVParaListDlg() {
    if (editor_) {
        delete editor_;
        programHooks().byteEditor = nullptr;
    }
}

QObject* CQVParaListDlg::mainWindow() const {
    if (main_) return main_;
    QWidget* top = window();
    return top != this ? top : nullptr;
}

void CQVParaListDlg::sendMain(quint32 message, quint64 wParam, qint64 lParam) {
    if (QObject* w = mainWindow()) qvui::sendMessage(w, message, wParam, lParam);
}

int CQVParaListDlg::slaveCount() const { return std::clamp(int(c_.records.fwVersion.slaveCount), 0, kParaMaxSlaves); }

bool CQVParaListDlg::banked() const { return c_.dev.newFirmware && c_.dev.featureFlags[2] >= 0x80; }

const uint8_t* CQVParaListDlg::listBytes(uint8_t listId) const {
    const ParameterList& l = c_.records.paraList;
    switch (listId) {
    case kParaListTP: return l.touchList;
    case kParaListBT: return l.bootList;
    case kParaListDB: return l.debugList;
    default: {
        const int n = int(listId) - kParaListSlave;
        return n >= 1 && n <= kParaMaxSlaves ? l.slaveList[n - 1] : nullptr;
    }
    }
}

uint8_t* CQVParaListDlg::listBytes(uint8_t listId) {
    return const_cast<uint8_t*>(std::as_const(*this).listBytes(listId));
}

int CQVParaListDlg::listLength(uint8_t listId) const {
    const ParameterList& l = c_.records.paraList;
    switch (listId) {
    case kParaListTP: return l.touchLength;
    case kParaListBT: return l.bootLength;
    case kParaListDB: return l.debugLength;
    default: return l.slaveLength;
    }
}

void CQVParaListDlg::ShowPage(int page) {
    page_ = std::clamp(page, 0, slaveCount());
    RefreshPage();
}

void CQVParaListDlg::RefreshPage() {
    hideEditor();
    page_ = std::clamp(page_, 0, slaveCount());
    const ParaListLengths lengths = ParaLengthsOf(c_.records.paraList);
    const bool slavePresent = page_ > 0 && listBytes(uint8_t(kParaListSlave + page_));
    const ParaPageLayout layout = LayoutParaPage(lengths, page_, slavePresent, scale_);
    QFont font = this->font();
    font.setPixelSize(std::max(6, layout.cellHeight - 5));
    for (size_t i = 0; i < headers_.size(); ++i) {
        ParaCell* cell = asCell(headers_[i]);
        if (i >= layout.headers.size()) {
            cell->hide();
            continue;
        }
        const ParaHeaderCell& h = layout.headers[i];
        cell->setGeometry(h.rect);
        cell->setFont(font);
        cell->setText(h.text);
        cell->setColours(ParaHeaderColours(h.listId));
        cell->show();
    }
    for (QLabel* v : values_) v->hide();
    for (const ParaValuePlace& place : layout.values) {
        QLabel* cell = values_[size_t(place.cell)];
        cell->setGeometry(place.rect);
        cell->setFont(font);
        showCellByte(place.cell);
    }
    const StateFlagEx& st = c_.records.stateFlagEx;
    const uint16_t words[] = {st.flag, st.status, st.status2, st.diagnostic};
    const char* const names[] = {"Flag", "Stat", "Stat2", "Diag"};
    for (int i = 0; i < 4; ++i)
        state_[size_t(i)]->setText(QString::asprintf("%s: 0x%04X", names[i], unsigned(words[i])));
    buttons_[0]->setEnabled(page_ > 0);
    buttons_[1]->setEnabled(page_ == 0 || page_ < slaveCount());
    if (page_ == 0) buttons_[1]->setFocus();
    else if (page_ == slaveCount()) buttons_[0]->setFocus();
}

void CQVParaListDlg::showCellByte(int cell) {
    const auto byte = ParaValueCellByte(cell, ParaLengthsOf(c_.records.paraList), page_);
    const uint8_t* bytes = byte ? listBytes(byte->listId) : nullptr;
    ParaCell* label = asCell(values_[size_t(cell)]);
    if (!bytes || byte->index >= listLength(byte->listId)) {
        label->hide();
        return;
    }
    const uint8_t value = bytes[byte->index];
    label->setText(QString::asprintf("%02X", unsigned(value)));
    label->setColours(ParaValueColours(byte, value));
    label->show();
}

int CQVParaListDlg::cellOf(uint8_t listId, int index) const {
    const ParaListLengths lengths = ParaLengthsOf(c_.records.paraList);
    for (const ParaSection& sec : ParaPageSections(lengths, page_, true))
        if (sec.listId == listId && index >= 0 && index < sec.shownBytes) return sec.firstCell + index;
    return -1;
}

void CQVParaListDlg::HideCells() {
    hideEditor();
    for (QLabel* h : headers_) h->hide();
    for (QLabel* v : values_) v->hide();
}

QString CQVParaListDlg::stateText(int word) const {
    return word >= 0 && word < 4 ? state_[size_t(word)]->text() : QString();
}

void CQVParaListDlg::hideEditor() {
    if (CQVParaEditDlg* editor = CQVParaEditDlg::instance()) qvui::sendMessage(editor, qvui::WM_TRAY_NOTIFY, 0, 0);
}

void CQVParaListDlg::OnCellClicked(int id) {
    // 5700 is inside the range the clicks are taken from, but no cell has it.
    if (id < kIdFirstHeaderCell || id >= kIdFirstValueCell + kParaValueCells) return;
    CQVParaEditDlg* editor = CQVParaEditDlg::instance();
    if (id < kIdFirstValueCell || !editor) {
        hideEditor();
        return;
    }
    const int cell = id - kIdFirstValueCell;
    if (CQVParaEditDlg::currentCell() == cell) {
        hideEditor();
        return;
    }
    const auto byte = ParaValueCellByte(cell, ParaLengthsOf(c_.records.paraList), page_);
    const uint8_t* bytes = byte ? listBytes(byte->listId) : nullptr;
    if (!bytes || byte->index >= listLength(byte->listId)) return;
    CQVParaEditDlg::currentCell() = cell;
    editor->ShowByteEditor(byte->listId, uint8_t(byte->index), bytes[byte->index]);
    QLabel* label = values_[size_t(cell)];
    editor->move(label->mapToGlobal(QPoint(label->width() + 2, 0)));
    editor->show();
    editor->raise();
    editor->activateWindow();
    // The main window closes a visible editor on every press outside it; this
    // filter, installed (again) last, runs before the main window's, so a press
    // on the editor's own cell still closes it instead of opening it anew.
    qApp->installEventFilter(this);
}

bool CQVParaListDlg::eventFilter(QObject* watched, QEvent* e) {
    const bool press = e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick;
    if (press && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        const int cell = CQVParaEditDlg::currentCell();
        CQVParaEditDlg* editor = CQVParaEditDlg::instance();
        if (editor && editor->isVisible() && cell >= 0 && cell < kParaValueCells && watched == values_[size_t(cell)]) {
            hideEditor();
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void CQVParaListDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) hideEditor();
    QWidget::mousePressEvent(e);
}

void CQVParaListDlg::WriteListByte(uint8_t listId, uint8_t index, uint8_t value) {
    changedMark_ = true;
    uint8_t* bytes = listBytes(listId);
    if (!bytes || index >= listLength(listId)) return;
    if (const auto command = ParaByteWriteCommand(listId, index, banked()))
        SendCmdWriteE1(c_, command->address, value, command->bank);
    bytes[index] = value;
    if (const int cell = cellOf(listId, index); cell >= 0 && values_[size_t(cell)]->isVisibleTo(this))
        showCellByte(cell);
}

void CQVParaListDlg::lock() {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    if (t.ParameterUpdateLock) t.ParameterUpdateLock(c_.dev.device, 1);
}

void CQVParaListDlg::SendE1() {
    const bool written = c_.api.SetParameterList && c_.api.SetParameterList(c_.dev.device, &c_.records.paraList);
    // The list write ends with the update lock off; the tool keeps it on.
    lock();
    if (!written) stopBox(this, QStringLiteral("Send 0xE1 command failed!!"), QStringLiteral("Warning"));
}

void CQVParaListDlg::Flush() {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    uint8_t result = 0;
    const bool flushed = t.FlushParameter && t.FlushParameter(c_.dev.device, &result);
    if (!flushed || result == 0)
        stopBox(this, QStringLiteral("Flush parameters to device failed!!"), QStringLiteral("Warning"));
    // The main window reads every parameter and the CRC again.
    sendMain(qvui::WM_DEBUG_COMMAND, 9, 0);
}

void CQVParaListDlg::Save() {
    if (ExportParameterFile(c_, this) == 1) {
        const QString text = QStringLiteral("Save Parameters File Failed.");
        stopBox(this, text, text);
    }
}

void CQVParaListDlg::Load() {
    const int result = ImportParameterFile(c_, this);
    if (result == 2) {
        const QString text = QStringLiteral("Load Parameters File Failed.");
        stopBox(this, text, text);
        return;
    }
    if (result != 0 && result != 3) return;
    lock();
    // The file's bytes are in the lists now, whether or not the controller took them.
    RefreshPage();
    if (result == 3) {
        stopBox(this, QStringLiteral("Send 0xE1 command failed !!"), QStringLiteral("Warning"));
        return;
    }
    changedMark_ = true;
    sendMain(qvui::WM_DEBUG_COMMAND, 6, 0);
}

} // namespace vcx
