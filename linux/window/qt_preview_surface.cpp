// The live-video child: a triple buffer between the streaming thread and the user-interface
// thread. The streaming thread always owns one slot to write into, the user-interface thread one
// slot to draw from, and the third slot is the newest published frame. Handing a slot over is a
// single atomic exchange on each side, so neither thread ever waits for the other, frames never
// queue up (a newer frame replaces an untaken one) and no lock is held while converting or
// drawing.
#include "platform/preview_surface.h"

#include <libyuv/convert_argb.h>
#include <libyuv/scale_argb.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <vector>

#include "linux/window/device_pixels.h"

namespace {

constexpr unsigned kSlotMask = 0x3;
constexpr unsigned kFresh = 0x4;  // the published slot holds a frame not yet taken

std::uint64_t PackSize(int width, int height) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(width)) << 32) |
           static_cast<std::uint32_t>(height);
}
int PackedWidth(std::uint64_t packed) {
    return static_cast<int>(packed >> 32);
}
int PackedHeight(std::uint64_t packed) {
    return static_cast<int>(packed & 0xffffffffu);
}

// A notice's picture keeps three eighths of the frame's brightness: dark enough for white text
// to stand out anywhere, light enough that the last picture can still be recognised.
std::uint32_t Darkened(std::uint32_t pixel) {
    return 0xff000000u | (((pixel >> 2) & 0x3f3f3fu) + ((pixel >> 3) & 0x1f1f1fu));
}

constexpr int kNoticeTextPixels = 22;

// How many device pixels each camera pixel becomes along both axes, when the placement's device
// size is the frame's enlarged by a whole number (a 640 x 480 camera on a screen at 2x); 1
// otherwise. Such a frame is kept at the camera's size and enlarged only where it is drawn: each
// camera pixel becomes a block of device pixels of exactly its colour, the camera's own picture
// as a screen at 1x shows it and at the same size, written once, straight into the window.
// Every other size is filtered to the device size as the frame arrives.
int WholeEnlargement(int width, int height, int targetWidth, int targetHeight) {
    const bool whole = targetWidth > width && targetWidth % width == 0 &&
                       targetHeight * width == height * targetWidth;
    return whole ? targetWidth / width : 1;
}

// A converted frame, as the streaming thread stores it for the user-interface thread.
struct Frame {
    std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, as QImage::Format_RGB32 stores it
    int width = 0;
    int height = 0;
    int enlargement = 1;  // device pixels per stored pixel along each axis

    int ShownWidth() const { return width * enlargement; }
    int ShownHeight() const { return height * enlargement; }
    std::uint32_t ShownPixel(int x, int y) const {
        return pixels[static_cast<std::size_t>(y / enlargement) * width + x / enlargement];
    }
};

}  // namespace

struct PreviewSurface::Slots {
    std::array<Frame, 3> frames;

    // The index of the newest published slot, plus kFresh until the user-interface thread takes
    // it. Guards the hand-over of whole slots: the streaming thread's exchange releases the
    // pixels it wrote, the user-interface thread's exchange acquires them; in the other
    // direction the user-interface thread's exchange releases the slot it has finished reading
    // and the streaming thread's exchange acquires it before writing into it again. Both
    // exchanges are therefore acq_rel.
    std::atomic<unsigned> published{1};
    int writeSlot = 0;  // streaming thread only
    int readSlot = 2;   // user-interface thread only

    // The placement's size in device pixels, the only placement data the streaming thread
    // reads. Packed into one word so that a width and a height of two different placements are
    // never mixed. Relaxed: the size is self-contained, and a frame converted for an older size
    // is simply not drawn.
    std::atomic<std::uint64_t> targetSize{0};

    std::vector<std::uint32_t> scratch;  // streaming thread only: the frame before scaling

    std::mutex callbackMutex;  // protects frameReady, and keeps it alive while it runs
    std::function<void()> frameReady;

    Rect placement;       // user-interface thread only
    DeviceGrid grid;      // user-interface thread only: what the frames are converted for
    bool visible = true;  // user-interface thread only
    std::string notice;   // user-interface thread only

    // User-interface thread: tells the streaming thread the placement's device size.
    void PublishTargetSize() {
        const Rect device = grid.ToDevice(placement);
        targetSize.store(PackSize(std::max(device.Width(), 0), std::max(device.Height(), 0)),
                         std::memory_order_relaxed);
    }
};

namespace {

// The notice over the frame the user-interface thread holds: that frame darkened where it fits
// the placement (black elsewhere), then the text centred in the whole placement. `device` is the
// placement and `area` the part to paint, both in the client image's device pixels.
void PaintNotice(QImage& client, const Rect& placement, const Rect& device, const Rect& area,
                 const Frame& frame, const std::string& text) {
    const bool fits = !frame.pixels.empty() && frame.ShownWidth() == device.Width() &&
                      frame.ShownHeight() == device.Height();
    for (int y = area.top; y < area.bottom; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(client.scanLine(y));
        for (int x = area.left; x < area.right; ++x) {
            row[x] =
                fits ? Darkened(frame.ShownPixel(x - device.left, y - device.top)) : 0xff000000u;
        }
    }
    // Text needs the font machinery of a running GUI application.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return;
    }
    // The painter works in logical pixels (the image's device pixel ratio is the screen's) and
    // draws the glyphs at the device resolution.
    const double scale = client.devicePixelRatio();
    QPainter painter(&client);
    painter.setClipRect(
        QRectF(area.left / scale, area.top / scale, area.Width() / scale, area.Height() / scale));
    QFont font = QGuiApplication::font();
    font.setPixelSize(kNoticeTextPixels);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(placement.left, placement.top, placement.Width(), placement.Height()),
                     Qt::AlignCenter, QString::fromStdString(text));
}

// Writes the part `area` of a frame as shown (at its device size) into an image of 32-bit pixels,
// the frame's first pixel at `origin`; `area` is in the image's pixels and lies within both, so
// `origin` lies within the image too.
void CopyShown(const Frame& frame, QImage& target, const Rect& area, Point origin) {
    if (frame.enlargement == 1) {
        const std::size_t rowBytes = static_cast<std::size_t>(area.Width()) * 4;
        for (int y = area.top; y < area.bottom; ++y) {
            std::memcpy(Row(target, y) + area.left,
                        frame.pixels.data() + static_cast<std::size_t>(y - origin.y) * frame.width +
                            (area.left - origin.x),
                        rowBytes);
        }
        return;
    }
    auto* first = reinterpret_cast<std::uint8_t*>(Row(target, origin.y) + origin.x);
    libyuv::ARGBScaleClip(reinterpret_cast<const std::uint8_t*>(frame.pixels.data()),
                          frame.width * 4, frame.width, frame.height, first,
                          static_cast<int>(target.bytesPerLine()), frame.ShownWidth(),
                          frame.ShownHeight(), area.left - origin.x, area.top - origin.y,
                          area.Width(), area.Height(), libyuv::kFilterNone);
}

}  // namespace

PreviewSurface::PreviewSurface() : m_slots(std::make_unique<Slots>()) {}
PreviewSurface::~PreviewSurface() = default;

void PreviewSurface::Place(const Rect& rect) {
    m_slots->placement = rect;
    m_slots->PublishTargetSize();
}

void PreviewSurface::SetDeviceScale(double scale) {
    m_slots->grid = DeviceGrid(scale);
    m_slots->PublishTargetSize();
}

void PreviewSurface::SetVisible(bool visible) {
    m_slots->visible = visible;
}
Rect PreviewSurface::Placement() const {
    return m_slots->placement;
}
bool PreviewSurface::IsVisible() const {
    return m_slots->visible;
}
void PreviewSurface::SetNotice(const std::string& text) {
    m_slots->notice = text;
}
const std::string& PreviewSurface::Notice() const {
    return m_slots->notice;
}
bool PreviewSurface::IsShown() const {
    return m_slots->visible || !m_slots->notice.empty();
}

void PreviewSurface::SetFrameReadyCallback(std::function<void()> callback) {
    const std::lock_guard lock(m_slots->callbackMutex);
    m_slots->frameReady = std::move(callback);
}

void PreviewSurface::Present(const std::uint8_t* yuyv, int width, int height, int stride) {
    Slots& buffers = *m_slots;
    const std::uint64_t target = buffers.targetSize.load(std::memory_order_relaxed);
    const int targetWidth = PackedWidth(target);
    const int targetHeight = PackedHeight(target);
    if (yuyv == nullptr || width <= 0 || height <= 0 || stride < width * 2 || targetWidth <= 0 ||
        targetHeight <= 0) {
        return;
    }
    Frame& frame = buffers.frames[buffers.writeSlot];
    frame.enlargement = WholeEnlargement(width, height, targetWidth, targetHeight);
    const bool scaled = frame.enlargement == 1 && (width != targetWidth || height != targetHeight);
    frame.width = scaled ? targetWidth : width;
    frame.height = scaled ? targetHeight : height;
    frame.pixels.resize(static_cast<std::size_t>(frame.width) * frame.height);
    auto* destination = reinterpret_cast<std::uint8_t*>(frame.pixels.data());
    if (!scaled) {
        libyuv::YUY2ToARGB(yuyv, stride, destination, width * 4, width, height);
    } else {
        buffers.scratch.resize(static_cast<std::size_t>(width) * height);
        auto* full = reinterpret_cast<std::uint8_t*>(buffers.scratch.data());
        libyuv::YUY2ToARGB(yuyv, stride, full, width * 4, width, height);
        libyuv::ARGBScale(full, width * 4, width, height, destination, targetWidth * 4, targetWidth,
                          targetHeight, libyuv::kFilterBilinear);
    }
    const unsigned previous = buffers.published.exchange(
        static_cast<unsigned>(buffers.writeSlot) | kFresh, std::memory_order_acq_rel);
    buffers.writeSlot = static_cast<int>(previous & kSlotMask);
    // Announce only the first of a run of frames the user-interface thread has not taken yet:
    // one pending repaint shows whichever frame is newest when it runs.
    if ((previous & kFresh) == 0) {
        const std::lock_guard lock(buffers.callbackMutex);
        if (buffers.frameReady) {
            buffers.frameReady();
        }
    }
}

void PreviewSurface::PaintInto(QImage& client) {
    PaintInto(client, Rect{0, 0, client.width(), client.height()});
}

void PreviewSurface::TakeNewestFrame() {
    Slots& buffers = *m_slots;
    // The relaxed look only saves an exchange when nothing new has arrived; the exchange itself
    // does the synchronising.
    if ((buffers.published.load(std::memory_order_relaxed) & kFresh) != 0) {
        const unsigned previous = buffers.published.exchange(
            static_cast<unsigned>(buffers.readSlot), std::memory_order_acq_rel);
        buffers.readSlot = static_cast<int>(previous & kSlotMask);
    }
}

bool PreviewSurface::ShowsLiveFrame(double scale) const {
    const Slots& buffers = *m_slots;
    const Frame& frame = buffers.frames[buffers.readSlot];
    const Rect device = DeviceGrid(scale).ToDevice(buffers.placement);
    return buffers.visible && buffers.notice.empty() && !frame.pixels.empty() &&
           frame.ShownWidth() == device.Width() && frame.ShownHeight() == device.Height();
}

bool PreviewSurface::DrawLiveFrame(QImage& target, const Rect& area, Point origin,
                                   double scale) const {
    if (!ShowsLiveFrame(scale) || target.depth() != 32 || origin.x < 0 || origin.y < 0) {
        return false;
    }
    const Frame& frame = m_slots->frames[m_slots->readSlot];
    const Rect shown =
        Offset(Rect{0, 0, frame.ShownWidth(), frame.ShownHeight()}, origin.x, origin.y);
    const Rect part = Overlap(Overlap(area, shown), DeviceBounds(target));
    if (!IsRectEmpty(part)) {
        CopyShown(frame, target, part, origin);
    }
    return true;
}

void PreviewSurface::PaintInto(QImage& client, const Rect& clip) {
    Slots& buffers = *m_slots;
    TakeNewestFrame();
    const Rect& placement = buffers.placement;
    Rect logicalArea;
    if (!IsShown() || !IntersectRect(&logicalArea, placement, clip)) {
        return;
    }
    // The client image's own ratio says where the placement's device pixels are.
    const double scale = client.devicePixelRatio();
    const DeviceGrid grid(scale);
    const Rect device = grid.ToDevice(placement);
    const Rect area = Overlap(grid.ToDevice(logicalArea), DeviceBounds(client));
    if (IsRectEmpty(area)) {
        return;
    }
    if (!buffers.notice.empty()) {
        PaintNotice(client, placement, device, area, buffers.frames[buffers.readSlot],
                    buffers.notice);
        return;
    }
    DrawLiveFrame(client, area, Point{device.left, device.top}, scale);
}
