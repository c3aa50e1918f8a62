#include "core/picture_ex.h"

#include "core/gif_blocks.h"
#include "core/gif_frames.h"

#include <QFile>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <climits>
#include <cstring>

namespace vcx {

CPictureEx::CPictureEx(QWidget* parent) : QWidget(parent) {}

CPictureEx::~CPictureEx() { UnLoad(); }

bool CPictureEx::Load(int id, const QString& type) { return Load(QString::number(id), type); }

bool CPictureEx::Load(const QString& name, const QString& type) {
    QFile file(QStringLiteral(":/pictures/%1.%2").arg(name, type.toLower()));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray data = file.readAll();
    return LoadFromMemory(data.constData(), size_t(data.size()));
}

bool CPictureEx::LoadFromMemory(const void* data, size_t size) {
    // A picture loaded before is stopped and forgotten: its thread must not
    // outlive the frames it draws.
    UnLoad();
    if (!data || size == 0 || size > size_t(INT_MAX)) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    const bool loaded = size >= 3 && std::memcmp(bytes, "GIF", 3) == 0
                            ? LoadGif(bytes, size)
                            : LoadStill(QImage::fromData(bytes, int(size)));
    if (!loaded) {
        UnLoad();
        return false;
    }
    return PrepareDC(width_, height_);
}

bool CPictureEx::LoadStill(const QImage& picture) {
    if (picture.isNull()) return false;
    still_ = picture;
    width_ = picture.width();
    height_ = picture.height();
    return true;
}

bool CPictureEx::LoadGif(const uint8_t* data, size_t size) {
    isGif_ = true;
    GifBlocks blocks;
    if (!blocks.Open(data, size)) return false;
    width_ = blocks.Width();
    height_ = blocks.Height();
    uint32_t rgb = 0;
    if (blocks.Background(&rgb)) background_ = QColor::fromRgb(rgb);

    const int count = blocks.CountFrames();
    if (count == 0) return false;
    if (count == 1) return LoadStill(QImage::fromData(data, int(size), "GIF"));

    GifFrameBlock block;
    while (blocks.GetNextGraphicBlock(&block)) {
        Frame frame;
        if (!DecodeGifFrame(block, &frame.picture, &frame.offset)) continue;
        frame.size = frame.picture.size();
        frame.delay = block.delay;
        frame.disposal = block.disposal;
        frames_.push_back(std::move(frame));
    }
    return !frames_.empty();
}

bool CPictureEx::PrepareDC(int width, int height) {
    resize(width, height);
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return false;
    background_ = palette().color(QPalette::Button);
    image.fill(background_);
    std::lock_guard lock(imageMutex_);
    offscreen_ = std::move(image);
    prepared_ = true;
    return true;
}

bool CPictureEx::Draw() {
    if (!prepared_) return false;
    if (!IsAnimatedGIF()) {
        {
            std::lock_guard lock(imageMutex_);
            QPainter painter(&offscreen_);
            if (!still_.isNull()) painter.drawImage(QRect(0, 0, width_, height_), still_);
            else if (!frames_.empty() && !frames_[0].picture.isNull())
                painter.drawImage(frames_[0].offset, frames_[0].picture);
        }
        update();
        return true;
    }
    if (thread_.joinable()) return true;  // playing already: one thread per control
    playing_ = true;
    threadRunning_ = true;
    thread_ = std::thread([this] { AnimationThread(); });
    return true;
}

void CPictureEx::Stop() {
    playing_ = false;
    exiting_ = true;
    {
        std::lock_guard lock(exitMutex_);
        exitSignalled_ = true;
    }
    exitEvent_.notify_all();
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard lock(exitMutex_);
        exitSignalled_ = false;
    }
    exiting_ = false;
}

void CPictureEx::UnLoad() {
    Stop();
    still_ = QImage();
    frames_.clear();
    {
        std::lock_guard lock(imageMutex_);
        offscreen_ = QImage();
        saved_ = QImage();
    }
    paintRect_ = QRect();
    width_ = height_ = 0;
    currentFrame_ = 0;
    isGif_ = false;
    prepared_ = false;
    background_ = Qt::white;
}

QImage CPictureEx::GetOffscreenImage() const {
    std::lock_guard lock(imageMutex_);
    return offscreen_.copy();
}

std::chrono::milliseconds CPictureEx::FrameWait(uint32_t delay) {
    if (delay < 5 || delay == kGifNoDelay) return std::chrono::milliseconds(100);
    return std::chrono::milliseconds(int64_t(delay) * 10);
}

std::chrono::milliseconds CPictureEx::RenderCurrentFrame() {
    if (frames_.empty()) return FrameWait(0);
    const Frame& frame = frames_[size_t(currentFrame_)];
    if (!frame.picture.isNull()) {
        std::lock_guard lock(imageMutex_);
        const QRect area(frame.offset, frame.size);
        if (frame.disposal == 3) saved_ = offscreen_.copy(area);
        QPainter painter(&offscreen_);
        painter.drawImage(frame.offset, frame.picture);  // its transparent pixels keep what is under them
    }
    return FrameWait(frame.delay);
}

void CPictureEx::DisposeCurrentFrame() {
    if (frames_.empty()) return;
    const Frame& frame = frames_[size_t(currentFrame_)];
    std::lock_guard lock(imageMutex_);
    if (!frame.picture.isNull()) {
        const QRect area(frame.offset, frame.size);
        QPainter painter(&offscreen_);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        if (frame.disposal == 2) {
            painter.fillRect(area, background_);
        } else if (frame.disposal == 3 && !saved_.isNull()) {
            painter.drawImage(area.topLeft(), saved_);
            saved_ = QImage();
        }
    }
    if (++currentFrame_ >= int(frames_.size())) {
        currentFrame_ = 0;
        offscreen_.fill(background_);
    }
}

void CPictureEx::AnimationThread() {
    playing_ = true;
    while (!exiting_) {
        const auto wait = RenderCurrentFrame();
        RequestRepaint();
        if (WaitForExit(wait) || exiting_) break;
        DisposeCurrentFrame();
    }
    playing_ = false;
    threadRunning_ = false;
}

bool CPictureEx::WaitForExit(std::chrono::milliseconds wait) {
    std::unique_lock lock(exitMutex_);
    return exitEvent_.wait_for(lock, wait, [this] { return exitSignalled_; });
}

void CPictureEx::RequestRepaint() {
    // Widgets are painted on the GUI thread only; a call still queued when the
    // control is destroyed is dropped with it. The call is queued by the slot's
    // name: it carries nothing this thread made for the GUI thread to read.
    QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
}

void CPictureEx::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    std::lock_guard lock(imageMutex_);
    if (offscreen_.isNull()) return;
    if (paintRect_.isEmpty()) painter.drawImage(0, 0, offscreen_);
    else painter.drawImage(paintRect_.topLeft(), offscreen_, paintRect_);
}

}  // namespace vcx
