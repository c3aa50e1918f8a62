// CPictureEx: a static control that shows one of the program's pictures and,
// when it is an animated GIF, plays it on a thread of its own.
//
// Loading splits the GIF into one stand-alone GIF per frame (GifBlocks) and
// decodes each frame once. Playing composes the frames into an off-screen
// image by their delays and disposal methods; painting only copies that image.
// One mutex covers the off-screen image, so a paint never shows a frame half
// drawn. Pictures that are not GIF (PNG and the like) and GIFs of one frame are
// still pictures, drawn once without a thread.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vcx {

class CPictureEx : public QWidget {
    Q_OBJECT
public:
    struct Frame {
        QImage picture;         // the frame's own area; null when it shows nothing
        QSize size;             // the frame's size and
        QPoint offset;          // its offset on the logical screen
        uint32_t delay = 0;     // in 1/100 s; kGifNoDelay without a graphic control extension
        uint32_t disposal = 0;  // 2: back to the background, 3: back to what was there
    };

    explicit CPictureEx(QWidget* parent = nullptr);
    ~CPictureEx() override;

    // Loads the program's picture of that number and type ("Gif", "PNG") from
    // the pictures resource; false when there is none or it does not load.
    bool Load(int id, const QString& type = QStringLiteral("Gif"));
    bool Load(const QString& name, const QString& type);
    // Loads a picture from memory (a GIF is parsed, anything else is decoded
    // as a still picture) and prepares the off-screen image at its size.
    bool LoadFromMemory(const void* data, size_t size);
    // Resizes the control to the picture and makes the off-screen image of
    // that size, filled with the background colour (the button face).
    bool PrepareDC(int width, int height);
    // Shows the picture: a still one is drawn once; an animated GIF starts
    // playing. False before a picture is loaded.
    bool Draw();
    // Ends the animation and waits for its thread.
    void Stop();
    // Stop, then forgets the picture.
    void UnLoad();

    // The area painted (the whole picture from its top-left corner when empty).
    void SetPaintRect(const QRect& rect) { paintRect_ = rect; }

    QSize GetSize() const { return {width_, height_}; }
    QColor GetBkColor() const { return background_; }
    bool IsGIF() const { return isGif_; }
    bool IsAnimatedGIF() const { return isGif_ && frames_.size() > 1; }
    bool IsPlaying() const { return playing_; }
    // Whether the animation thread has yet to end (false again once Stop returns).
    bool IsThreadRunning() const { return threadRunning_; }
    int GetFrameCount() const { return int(frames_.size()); }
    const Frame& GetFrame(int index) const { return frames_.at(size_t(index)); }
    int GetCurrentFrame() const { return currentFrame_; }
    // A copy of the off-screen image as it stands.
    QImage GetOffscreenImage() const;

    // One frame of the animation, as the thread plays it: RenderCurrentFrame
    // saves the frame's area when its disposal is 3, draws the frame into the
    // off-screen image and returns how long it stays; DisposeCurrentFrame then
    // disposes of it and moves to the next frame (after the last, back to the
    // first on a background filled anew).
    std::chrono::milliseconds RenderCurrentFrame();
    void DisposeCurrentFrame();
    // How long a frame of that delay (1/100 s) stays: below 5, and without a
    // graphic control extension, 100 ms.
    static std::chrono::milliseconds FrameWait(uint32_t delay);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void AnimationThread();
    bool LoadStill(const QImage& picture);
    bool LoadGif(const uint8_t* data, size_t size);
    // Waits on the exit event for `wait`; true when it was signalled.
    bool WaitForExit(std::chrono::milliseconds wait);
    void RequestRepaint();

    QRect paintRect_;
    int width_ = 0, height_ = 0;
    QColor background_ = Qt::white;
    int currentFrame_ = 0;
    bool isGif_ = false;
    std::atomic<bool> playing_{false};
    std::atomic<bool> exiting_{false};
    bool prepared_ = false;

    // The off-screen image and the area a disposal-3 frame covered, drawn by
    // the animation thread and copied by the paint.
    mutable std::mutex imageMutex_;
    QImage offscreen_;
    QImage saved_;

    std::thread thread_;
    std::atomic<bool> threadRunning_{false};
    // The exit event: set by Stop, reset once the thread has ended.
    std::mutex exitMutex_;
    std::condition_variable exitEvent_;
    bool exitSignalled_ = false;

    QImage still_;
    std::vector<Frame> frames_;
};

}  // namespace vcx
