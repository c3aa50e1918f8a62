#include "diag/show3d_dlg.h"

#include "core/controller_api.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QOpenGLContext>
#include <QPainter>
#include <QScreen>
#include <QSurfaceFormat>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

namespace vcx {
namespace {

constexpr double kFieldOfView = 45.0, kAspect = 1.0, kNear = 1.0, kFar = 10.0;

QString caption(int mode) { return QString::asprintf("Diagnostic Tessaly [ FH Mode %d ]", mode); }

// The matrices and viewport in force, to place texts where GL drew their points.
struct Projection {
    GLdouble model[16], projection[16];
    GLint viewport[4];
    void capture() {
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
    }
    // Widget coordinates (logical pixels) of a model point.
    QPointF project(float x, float y, float z, qreal ratio) const {
        GLdouble wx = 0, wy = 0, wz = 0;
        gluProject(x, y, z, model, projection, viewport, &wx, &wy, &wz);
        return {wx / ratio, (viewport[3] - wy) / ratio};
    }
};

struct PlacedText {
    QPointF at;
    QString text;
    Rgb colour;
};

void colour(Rgb c) { glColor3f(c.r, c.g, c.b); }
void vertex(const Vertex& v) {
    colour(BandColour(v.band));
    glVertex3f(v.x, v.y, v.z);
}

}  // namespace

CVCXShowDlg::CVCXShowDlg(Controller& c, DiagState& s, bool& started, QWidget* parent)
    : QOpenGLWidget(parent, Qt::Window), c_(c), s_(s), started_(started) {
    setProperty("templateId", kTemplate);
    setWindowTitle(QStringLiteral("Diagnostic Tessaly"));
    setFocusPolicy(Qt::StrongFocus);
    QSurfaceFormat f = format();
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setVersion(2, 1);
    f.setDepthBufferSize(24);
    setFormat(f);
    timers_ = new qvui::WindowTimers(this);
}

CVCXShowDlg::~CVCXShowDlg() = default;

QObject* CVCXShowDlg::mainWindow() const {
    if (main_) return main_.data();
    return parentWidget() ? parentWidget()->window() : nullptr;
}

void CVCXShowDlg::Start() {
    started_ = true;
    camera_ = Camera{};
    setGeometry(screen() ? screen()->geometry() : geometry());
    showFullScreen();

    rows_ = c_.records.diagInfo.rows;
    columns_ = c_.records.diagInfo.columns;
    const size_t n = size_t(rows_) * size_t(columns_);
    CurFrame_.assign(n, 0);
    BaseFrame3D_.assign(n, 0);
    T_ = c_.records.finger.info[0];
    nShowMode_ = 0;
    nModeCount_ = FrequencyModeCount(c_.dev.featureFlags, s_.g_nFreqModeCount);

    s_.g_nFHMode = uint32_t(SendCmdReadF5(c_, 0x0F));
    uint8_t select[5] = {0xF5, 0x00, 0xF0, 0x00, 0x00};
    if (c_.dev.featureFlags[0] & 0x02) select[2] = 0xFF;  // frequency hopping
    SendCmdPacket(c_, select);
    setWindowTitle(caption(0));

    if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(c_.dev.device, 1);
    readMutual(true, BaseFrame3D_);
    rebuildSurface();
    running_ = true;
    timers_->start(kTimerFrame, kFrameMs);
    if (s_.UseTabletPC != 0) timers_->start(kTimerAutoExit, kAutoExitMs);
    // The keys go to the view: it takes the input focus from the main window.
    raise();
    activateWindow();
    setFocus();
}

void CVCXShowDlg::Close() {
    timers_->stop(kTimerFrame);
    timers_->stop(kTimerAutoExit);
    if (!running_) return;
    running_ = false;
    // A mode that could not be read at the start is not "restored": the
    // controller keeps the mode 0 the start selected.
    if (s_.g_nFHMode != kModeUnread) {
        const uint8_t v = uint8_t(s_.g_nFHMode & 0xFF);
        uint8_t restore[5] = {0xF5, 0x00, uint8_t(v - 0x10), 0x00, 0x00};
        if (c_.dev.featureFlags[0] & 0x02) {
            restore[2] = 0xFF;
            restore[4] = v;
        }
        SendCmdPacket(c_, restore);
    }
    if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(c_.dev.device, 0);
    if (QObject* w = mainWindow()) qvui::sendMessage(w, qvui::WM_PAGE_STATE, 0, 105);
    CurFrame_.clear();
    BaseFrame3D_.clear();
    surface_ = Surface{};
    hide();
}

bool CVCXShowDlg::readMutual(bool diagData, Frame& into) {
    NewRawArray& frame = c_.records.newRawArray;
    NewDiagRequest& request = c_.records.newDiagRequest;
    request.cbSize = sizeof request;
    request.scanArgument = request.loadArgument = request.dataKind = 0;
    request.reserved = 0;
    const auto read = diagData ? c_.api.GetNewDiagData : c_.api.GetNewRawCount;
    if (!read || read(c_.dev.device, &frame, &request) != 1) return false;
    // The last frame stays when the read left fewer values than the grid has.
    if (!frame.mutual || frame.mutualCount < 0 || size_t(frame.mutualCount) < into.size()) return false;
    std::copy(frame.mutual, frame.mutual + into.size(), into.begin());
    return true;
}

void CVCXShowDlg::rebuildSurface() {
    BuildSurface(CurFrame_.data(), BaseFrame3D_.data(), rows_, columns_, s_.g_PanelFlags, T_, nShowMode_, surface_);
}

void CVCXShowDlg::onFrameTimer() {
    timers_->stop(kTimerFrame);
    if (!running_) return;
    readMutual(false, CurFrame_);
    rebuildSurface();
    update();
    timers_->start(kTimerFrame, kFrameMs);
}

void CVCXShowDlg::selectMode(int mode) {
    if (mode >= nModeCount_) return;
    SendCmdF5(c_, uint8_t(mode));
    setWindowTitle(caption(mode));
}

void CVCXShowDlg::keyReleaseEvent(QKeyEvent* e) {
    if (e->isAutoRepeat() || !running_) {
        QOpenGLWidget::keyReleaseEvent(e);
        return;
    }
    const bool keypad = e->modifiers() & Qt::KeypadModifier;
    const int key = e->key();
    if (key == Qt::Key_Escape) {
        Close();
    } else if (key >= Qt::Key_1 && key <= Qt::Key_6 && !keypad) {
        selectMode(key - Qt::Key_1);
    } else if (key == Qt::Key_B) {
        BaseFrame3D_ = CurFrame_;
    } else if (key == Qt::Key_C) {
        nShowMode_ = nShowMode_ == 0 ? 1 : 0;
    } else if (key == Qt::Key_O) {
        camera_ = Camera{};
    } else if (key == Qt::Key_Up) {
        camera_.rotateX -= 5;
    } else if (key == Qt::Key_Down) {
        camera_.rotateX += 5;
    } else if (key == Qt::Key_Left) {
        camera_.rotateZ -= 5;
    } else if (key == Qt::Key_Right) {
        camera_.rotateZ += 5;
    } else if (key == Qt::Key_Minus && keypad) {
        camera_.distance += 0.5f;
    } else if (key == Qt::Key_Plus && keypad) {
        camera_.distance -= 0.5f;
    } else {
        QOpenGLWidget::keyReleaseEvent(e);
        return;
    }
    if (running_) {
        rebuildSurface();
        update();
    }
    e->accept();
}

void CVCXShowDlg::closeEvent(QCloseEvent* e) {
    // The window's close box ends the view the way Esc does.
    Close();
    e->accept();
}

bool CVCXShowDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_TIMER) {
            if (m->wParam() == kTimerFrame) onFrameTimer();
            else if (m->wParam() == kTimerAutoExit) Close();
            return true;
        }
    }
    return QOpenGLWidget::event(e);
}

// ---- drawing ---------------------------------------------------------------------------------

void CVCXShowDlg::initializeGL() {
    glReady_ = context() && context()->isValid();
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, kAspect, kNear, kFar);
    glMatrixMode(GL_MODELVIEW);
}

void CVCXShowDlg::resizeGL(int w, int h) {
    if (!started_ || h <= 0) return;
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, GLsizei(w * ratio), GLsizei(h * ratio));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, kAspect, kNear, kFar);
    glMatrixMode(GL_MODELVIEW);
}

void CVCXShowDlg::paintGL() {
    const qreal ratio = devicePixelRatioF();
    std::vector<PlacedText> texts;
    QPainter painter(this);
    painter.beginNativePainting();

    glViewport(0, 0, GLsizei(width() * ratio), GLsizei(height() * ratio));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, kAspect, kNear, kFar);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPointSize(5);
    glLineWidth(15);
    glLoadIdentity();
    glTranslatef(0, 0, -camera_.distance);

    // The legend, beside the panel and not turned with it.
    const auto legend = Legend(T_);
    glBegin(GL_LINE_STRIP);
    for (const LegendPoint& p : legend) {
        colour(BandColour(p.band));
        glVertex3f(kLegendX, p.y, 0);
    }
    glEnd();
    Projection at;
    at.capture();
    for (const LegendPoint& p : legend)
        texts.push_back({at.project(kLegendX + 0.15f, p.y, 0, ratio), QString::fromStdString(p.text), {1, 1, 1}});

    glRotatef(camera_.rotateX, 1, 0, 0);
    glRotatef(camera_.rotateY, 0, 1, 0);
    glRotatef(camera_.rotateZ, 0, 0, 1);
    glLineWidth(1);

    // A small yellow cross near the corner (-1.1, 1.1), the white square and
    // the magenta point at the panel's origin corner.
    colour({1, 1, 0});
    glBegin(GL_LINES);
    glVertex3f(-1.15f, 1.1f, 0);
    glVertex3f(-1.05f, 1.1f, 0);
    glVertex3f(-1.1f, 1.05f, 0);
    glVertex3f(-1.1f, 1.15f, 0);
    glEnd();
    colour({1, 1, 1});
    glBegin(GL_LINE_LOOP);
    glVertex3f(-1, -1, 0);
    glVertex3f(1, -1, 0);
    glVertex3f(1, 1, 0);
    glVertex3f(-1, 1, 0);
    glEnd();
    const uint16_t flags = s_.g_PanelFlags;
    colour({1, 0, 1});
    glBegin(GL_POINTS);
    glVertex3f((flags & kPanelMirror1) ? -1.0f : 1.0f, (flags & kPanelMirror0) ? 1.0f : -1.0f, 0);
    glEnd();

    // The surface: each line from one edge of the square through its nodes to
    // the other, then the strips across the lines; every fifth line (5, 10, ...)
    // gets a white point at its start.
    const int n = surface_.lines, m = surface_.nodes;
    const auto node = [&](int i, int j) -> const Vertex& {
        return surface_.vertices[size_t(i) * size_t(m) + size_t(j)];
    };
    if (n > 0 && m > 0 && surface_.vertices.size() == size_t(n) * size_t(m)) {
        const float yStart = NodeY(-1, m, flags), yEnd = NodeY(m, m, flags);
        const float xStart = LineX(-1, n, flags), xEnd = LineX(n, n, flags);
        for (int i = 0; i < n; ++i) {
            glBegin(GL_LINE_STRIP);
            colour(BandColour(node(i, 0).band));
            glVertex3f(node(i, 0).x, yStart, 0);
            for (int j = 0; j < m; ++j) vertex(node(i, j));
            glVertex3f(node(i, m - 1).x, yEnd, 0);
            glEnd();
        }
        for (int j = 0; j < m; ++j) {
            glBegin(GL_LINE_STRIP);
            colour(BandColour(node(0, j).band));
            glVertex3f(xStart, node(0, j).y, 0);
            for (int i = 0; i < n; ++i) vertex(node(i, j));
            glVertex3f(xEnd, node(n - 1, j).y, 0);
            glEnd();
        }
        colour({1, 1, 1});
        glBegin(GL_POINTS);
        for (int i = 4; i < n; i += 5) glVertex3f(node(i, 0).x, yStart, 0);
        for (int j = 4; j < m; j += 5) glVertex3f(xStart, node(0, j).y, 0);
        glEnd();

        at.capture();
        for (const Label3D& v : surface_.values)
            texts.push_back({at.project(v.x, v.y, v.z, ratio), QString::fromStdString(v.text), v.colour});
        // The line numbers outside the square's edges, counted from 1 as the
        // scan view counts them: the first line and the marked ones.
        const float yOut = yStart + (yStart - yEnd) * 0.04f, xOut = xStart + (xStart - xEnd) * 0.04f;
        const auto numbered = [](int k) { return k == 0 || (k + 1) % 5 == 0; };
        for (int i = 0; i < n; ++i)
            if (numbered(i))
                texts.push_back({at.project(node(i, 0).x, yOut, 0, ratio), QString::number(i + 1), {1, 1, 1}});
        for (int j = 0; j < m; ++j)
            if (numbered(j))
                texts.push_back({at.project(xOut, node(0, j).y, 0, ratio), QString::number(j + 1), {1, 1, 1}});
    }
    glFlush();
    // The painter keeps the depth test as it finds it: its first texts would
    // be tested against the surface's depths and lost.
    glDisable(GL_DEPTH_TEST);
    painter.endNativePainting();

    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(std::max(12, height() / 50));
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    for (const PlacedText& t : texts) {
        painter.setPen(QColor::fromRgbF(t.colour.r, t.colour.g, t.colour.b));
        const QRectF box(t.at.x() - metrics.horizontalAdvance(t.text) / 2.0, t.at.y() - metrics.height() / 2.0,
                         metrics.horizontalAdvance(t.text), metrics.height());
        painter.drawText(box, Qt::AlignCenter, t.text);
    }
}

}  // namespace vcx
