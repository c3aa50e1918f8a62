// The animated picture control: still pictures and the program's two
// animations, the frames composed step by step by their disposal methods, the
// frame waits, and the animation thread's start, stop and end with the control.
#include "core/gif_blocks.h"
#include "core/picture_ex.h"

#include "gif_support.h"
#include "qt_support.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPalette>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace std::chrono_literals;
using vcx::CPictureEx;

constexpr QRgb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

// 8 x 8: a red screen, a green square that is put back (3), a blue one that
// goes back to the background (2), a white one with a transparent corner (1);
// to be played once, which the control does not heed (it plays on).
giftest::File composedFile() {
    giftest::File file;
    file.width = 8, file.height = 8;
    file.extensions = giftest::loopExtension(1);
    file.globalTable = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000};
    giftest::Frame white = giftest::solid(4, 4, 2, 2, 3, 1, 20);
    white.transparent = 4;
    white.pixels[0] = 4;
    file.frames = {giftest::solid(0, 0, 8, 8, 0, 1, 5), giftest::solid(2, 2, 3, 3, 1, 3, 0),
                   giftest::solid(1, 1, 2, 2, 2, 2, 4), white};
    return file;
}

bool loadBytes(CPictureEx& picture, const giftest::Bytes& data) {
    return picture.LoadFromMemory(data.data(), data.size());
}

QByteArray bytesOf(const giftest::Bytes& data) {
    return QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
}

QByteArray pngOf(const QImage& image) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

TEST(PictureEx, ProgramAnimationsLoadFromTheResources) {
    for (int id : {2098, 2099}) {
        SCOPED_TRACE(id);
        CPictureEx picture;
        ASSERT_TRUE(picture.Load(id, QStringLiteral("Gif")));
        EXPECT_TRUE(picture.IsAnimatedGIF());
        EXPECT_GT(picture.GetFrameCount(), 1);
        EXPECT_EQ(picture.GetSize(), QSize(50, 50));
        EXPECT_EQ(picture.size(), QSize(50, 50));
        bool backToBackground = false;
        for (int i = 0; i < picture.GetFrameCount(); ++i) {
            EXPECT_FALSE(picture.GetFrame(i).picture.isNull());
            backToBackground |= picture.GetFrame(i).disposal == 2;
        }
        EXPECT_TRUE(backToBackground);

        // Each frame as drawn here is the frame Qt's own reader composes from
        // the whole file (both start on a whole-screen frame, and a disposal
        // to the background is always followed by one).
        QImageReader reader(QStringLiteral(":/pictures/%1.gif").arg(id));
        for (int i = 0; i < picture.GetFrameCount(); ++i) {
            SCOPED_TRACE(i);
            const QImage expected = reader.read();
            ASSERT_FALSE(expected.isNull());
            EXPECT_EQ(picture.RenderCurrentFrame(), std::chrono::milliseconds(reader.nextImageDelay()));
            EXPECT_EQ(picture.GetOffscreenImage().convertToFormat(QImage::Format_ARGB32),
                      expected.convertToFormat(QImage::Format_ARGB32));
            picture.DisposeCurrentFrame();
        }
    }
    CPictureEx picture;
    EXPECT_FALSE(picture.Load(9999, QStringLiteral("Gif")));
    EXPECT_FALSE(picture.Draw());
    EXPECT_TRUE(picture.Load(217, QStringLiteral("PNG")));
    EXPECT_FALSE(picture.IsGIF());
}

TEST(PictureEx, StillPicturesAreDrawnWithoutAThread) {
    QImage png(6, 5, QImage::Format_ARGB32);
    png.fill(kBlue);
    giftest::File one;
    one.width = 6, one.height = 5;
    one.globalTable = {0xFF0000, 0x00FF00};
    one.frames = {giftest::solid(0, 0, 6, 5, 1)};
    struct Case {
        const char* name;
        QByteArray data;
        bool gif;
        QRgb colour;
    } cases[] = {
        {"PNG", pngOf(png), false, kBlue},
        {"GIF of one frame", bytesOf(giftest::write(one)), true, kGreen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPictureEx picture;
        ASSERT_TRUE(picture.LoadFromMemory(c.data.constData(), size_t(c.data.size())));
        EXPECT_EQ(picture.IsGIF(), c.gif);
        EXPECT_FALSE(picture.IsAnimatedGIF());
        EXPECT_EQ(picture.GetSize(), QSize(6, 5));
        ASSERT_TRUE(picture.Draw());
        EXPECT_FALSE(picture.IsPlaying());
        EXPECT_EQ(picture.GetOffscreenImage().pixel(5, 4), c.colour);
        picture.Stop();  // nothing to wait for
        EXPECT_FALSE(picture.IsPlaying());
        EXPECT_EQ(picture.GetOffscreenImage().pixel(0, 0), c.colour);
    }
}

TEST(PictureEx, DataThatIsNoPictureFailsToLoad) {
    giftest::File empty;
    empty.globalTable = {0, 0};
    const giftest::Bytes noFrame = giftest::write(empty);
    const giftest::File file = composedFile();
    giftest::Bytes cut = giftest::write(file);
    cut.resize(giftest::head(file).size() + file.extensions.size() + 12);  // inside the first frame
    const std::string text = "not a picture";
    CPictureEx picture;
    EXPECT_FALSE(picture.LoadFromMemory(text.data(), text.size()));
    EXPECT_FALSE(loadBytes(picture, noFrame));
    EXPECT_FALSE(loadBytes(picture, cut));
    EXPECT_FALSE(picture.LoadFromMemory(nullptr, 0));
    EXPECT_FALSE(picture.Draw());
}

TEST(PictureEx, ATruncatedGifKeepsItsWholeFrames) {
    const giftest::File file = composedFile();
    const giftest::Bytes whole = giftest::write(file);
    size_t end = giftest::head(file).size() + file.extensions.size();
    std::vector<size_t> ends;
    for (const giftest::Frame& f : file.frames) ends.push_back(end += giftest::frameBlocks(f).size());
    // Cut inside the third frame: two frames play; inside the second: the first stands still.
    CPictureEx picture;
    ASSERT_TRUE(loadBytes(picture, giftest::Bytes(whole.begin(), whole.begin() + long(ends[2] - 3))));
    EXPECT_TRUE(picture.IsAnimatedGIF());
    EXPECT_EQ(picture.GetFrameCount(), 2);
    ASSERT_TRUE(loadBytes(picture, giftest::Bytes(whole.begin(), whole.begin() + long(ends[1] - 3))));
    EXPECT_FALSE(picture.IsAnimatedGIF());
    ASSERT_TRUE(picture.Draw());
    EXPECT_FALSE(picture.IsPlaying());
    EXPECT_EQ(picture.GetOffscreenImage().pixel(7, 7), kRed);
}

TEST(PictureEx, FramesAreComposedByTheirDisposalMethods) {
    CPictureEx picture;
    ASSERT_TRUE(loadBytes(picture, giftest::write(composedFile())));
    ASSERT_EQ(picture.GetFrameCount(), 4);
    EXPECT_EQ(picture.GetFrame(1).offset, QPoint(2, 2));
    EXPECT_EQ(picture.GetFrame(1).size, QSize(3, 3));
    // The off-screen image starts as the background: the button face.
    const QRgb background = picture.GetBkColor().rgb();
    EXPECT_EQ(picture.GetBkColor(), picture.palette().color(QPalette::Button));
    const QImage first = picture.GetOffscreenImage();
    for (QPoint p : {QPoint(0, 0), QPoint(7, 7), QPoint(3, 4)}) EXPECT_EQ(first.pixel(p), background);

    const auto at = [&](int x, int y) { return picture.GetOffscreenImage().pixel(x, y); };
    EXPECT_EQ(picture.RenderCurrentFrame(), 50ms);
    EXPECT_EQ(at(0, 0), kRed);
    EXPECT_EQ(at(7, 7), kRed);
    picture.DisposeCurrentFrame();  // 1: left as it is
    EXPECT_EQ(picture.GetCurrentFrame(), 1);
    EXPECT_EQ(at(7, 7), kRed);

    EXPECT_EQ(picture.RenderCurrentFrame(), 100ms);
    EXPECT_EQ(at(2, 2), kGreen);
    EXPECT_EQ(at(4, 4), kGreen);
    EXPECT_EQ(at(5, 5), kRed);
    picture.DisposeCurrentFrame();  // 3: what was there comes back
    EXPECT_EQ(at(2, 2), kRed);
    EXPECT_EQ(at(4, 4), kRed);

    EXPECT_EQ(picture.RenderCurrentFrame(), 100ms);
    EXPECT_EQ(at(1, 1), kBlue);
    EXPECT_EQ(at(2, 2), kBlue);
    picture.DisposeCurrentFrame();  // 2: the frame's area back to the background
    EXPECT_EQ(at(1, 1), background);
    EXPECT_EQ(at(2, 2), background);
    EXPECT_EQ(at(3, 3), kRed);

    EXPECT_EQ(picture.RenderCurrentFrame(), 200ms);
    EXPECT_EQ(at(4, 4), kRed);  // its transparent pixel
    EXPECT_EQ(at(5, 4), kWhite);
    EXPECT_EQ(at(5, 5), kWhite);
    EXPECT_EQ(at(6, 6), kRed);  // outside the frame
    picture.DisposeCurrentFrame();  // the last: back to the first on a new background
    EXPECT_EQ(picture.GetCurrentFrame(), 0);
    const QImage wrapped = picture.GetOffscreenImage();
    for (QPoint p : {QPoint(0, 0), QPoint(5, 5), QPoint(7, 7)}) EXPECT_EQ(wrapped.pixel(p), background);
    picture.RenderCurrentFrame();
    EXPECT_EQ(at(5, 5), kRed);
}

TEST(PictureEx, FrameWaits) {
    struct Case {
        uint32_t delay;
        std::chrono::milliseconds wait;
    } cases[] = {{0, 100ms}, {1, 100ms}, {4, 100ms}, {5, 50ms}, {20, 200ms}, {65535, 655350ms},
                 {vcx::kGifNoDelay, 100ms}};
    for (const Case& c : cases) EXPECT_EQ(CPictureEx::FrameWait(c.delay), c.wait) << c.delay;

    // A frame without a graphic control extension stays 100 ms.
    giftest::File file = composedFile();
    file.frames[1].control = false;
    CPictureEx picture;
    ASSERT_TRUE(loadBytes(picture, giftest::write(file)));
    EXPECT_EQ(picture.GetFrame(1).delay, vcx::kGifNoDelay);
    picture.RenderCurrentFrame();
    picture.DisposeCurrentFrame();
    EXPECT_EQ(picture.RenderCurrentFrame(), 100ms);
}

TEST(PictureEx, PaintCopiesTheOffscreenImage) {
    QImage png(8, 8, QImage::Format_ARGB32);
    png.fill(kBlue);
    const QByteArray data = pngOf(png);
    CPictureEx picture;
    ASSERT_TRUE(picture.LoadFromMemory(data.constData(), size_t(data.size())));
    ASSERT_TRUE(picture.Draw());
    EXPECT_EQ(picture.grab().toImage().pixel(6, 6), kBlue);
    // With a paint rectangle only its area is copied.
    picture.SetPaintRect(QRect(0, 0, 3, 3));
    const QImage painted = picture.grab().toImage();
    EXPECT_EQ(painted.pixel(1, 1), kBlue);
    EXPECT_NE(painted.pixel(6, 6), kBlue);
}

// The thread's first frame is drawn as soon as it starts; nothing here waits
// for a frame's delay.
bool showsFirstFrame(const CPictureEx& picture) {
    return processUntil([&] { return picture.GetOffscreenImage().pixel(7, 7) == kRed; });
}

TEST(PictureEx, AnimationThreadStartsStopsAndEndsWithTheControl) {
    const giftest::Bytes data = giftest::write(composedFile());
    auto picture = std::make_unique<CPictureEx>();
    ASSERT_TRUE(loadBytes(*picture, data));
    ASSERT_TRUE(picture->Draw());
    EXPECT_TRUE(picture->IsPlaying());
    ASSERT_TRUE(showsFirstFrame(*picture));
    // Painting while the thread draws (one lock over the off-screen image).
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(picture->grab().isNull());
    EXPECT_TRUE(picture->IsThreadRunning());
    picture->Stop();
    EXPECT_FALSE(picture->IsPlaying());
    EXPECT_FALSE(picture->IsThreadRunning());  // ended, not left running

    // Playing again, then a new picture: the old thread ends before its frames go.
    ASSERT_TRUE(picture->Draw());
    EXPECT_TRUE(picture->IsPlaying());
    ASSERT_TRUE(loadBytes(*picture, data));
    EXPECT_FALSE(picture->IsPlaying());
    EXPECT_FALSE(picture->IsThreadRunning());
    EXPECT_EQ(picture->GetOffscreenImage().pixel(7, 7), picture->GetBkColor().rgb());

    // Destroyed while playing: the thread is joined before the control goes.
    ASSERT_TRUE(picture->Draw());
    ASSERT_TRUE(showsFirstFrame(*picture));
    picture.reset();
    QCoreApplication::processEvents();  // a repaint still queued is dropped with the control
}

}  // namespace
