#include "linux/window/window_presenter.h"

#include <QBackingStore>
#include <QCloseEvent>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTransform>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "linux/window/device_pixels.h"
#include "linux/window/window_accessibility.h"
#include "platform/dialog.h"
#include "platform/preview_surface.h"
#include "platform/scroll_bar.h"

namespace {

// The presenters on screen, by window; user-interface thread only.
std::map<const DialogWindow*, WindowPresenter*>& Presenters() {
    static std::map<const DialogWindow*, WindowPresenter*> presenters;
    return presenters;
}

unsigned KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    unsigned flags = 0;
    if (buttons & Qt::LeftButton) {
        flags |= MK_LBUTTON;
    }
    if (modifiers & Qt::ShiftModifier) {
        flags |= MK_SHIFT;
    }
    if (modifiers & Qt::ControlModifier) {
        flags |= MK_CONTROL;
    }
    return flags;
}

// The desktop's virtual-key code of a Qt key; 0 for keys the dialog has no use for.
int VirtualKey(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return key;  // the same codes
    }
    switch (key) {
        case Qt::Key_Escape:
            return VK_ESCAPE;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VK_RETURN;
        case Qt::Key_Backspace:
            return 0x08;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:  // Shift+Tab, with the Shift modifier
            return VK_TAB;
        case Qt::Key_Space:
            return VK_SPACE;
        case Qt::Key_End:
            return VK_END;
        case Qt::Key_Home:
            return VK_HOME;
        case Qt::Key_Left:
            return VK_LEFT;
        case Qt::Key_Up:
            return VK_UP;
        case Qt::Key_Right:
            return VK_RIGHT;
        case Qt::Key_Down:
            return VK_DOWN;
        case Qt::Key_Delete:
            return VK_DELETE;
        default:
            return 0;
    }
}

QRect ToQRect(const Rect& rect) {
    return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

// The parts of a rectangle outside another: up to four bands round the hole.
std::vector<Rect> Outside(const Rect& whole, const Rect& hole) {
    Rect inside;
    if (!IntersectRect(&inside, whole, hole)) {
        return IsRectEmpty(whole) ? std::vector<Rect>{} : std::vector<Rect>{whole};
    }
    std::vector<Rect> parts{
        Rect{whole.left, whole.top, whole.right, inside.top},
        Rect{whole.left, inside.bottom, whole.right, whole.bottom},
        Rect{whole.left, inside.top, inside.left, inside.bottom},
        Rect{inside.right, inside.top, whole.right, inside.bottom},
    };
    std::erase_if(parts, [](const Rect& part) { return IsRectEmpty(part); });
    return parts;
}

// Copies device pixels of an image onto the widget one for one: `device` in the client image's
// device pixels, `origin` where the image's top-left pixel lies among them. The painter works in
// device pixels (see InDevicePixels), so the copy is a plain one even at a fractional scale.
void Blit(QPainter& painter, const QImage& image, const Rect& device, Point origin) {
    painter.drawImage(
        QRectF(device.left, device.top, device.Width(), device.Height()), image,
        QRectF(device.left - origin.x, device.top - origin.y, device.Width(), device.Height()));
}

// Undoes the painter's device pixel ratio: its coordinates become the screen's device pixels.
void InDevicePixels(QPainter& painter, double scale) {
    painter.setWorldTransform(QTransform::fromScale(1.0 / scale, 1.0 / scale));
}

// The device pixels of the client image that show any part of a rectangle of the widget: its
// edges scaled and rounded outwards, as the toolkit repaints the screen's pixels.
Rect DevicePixelsOf(const QRect& rect, double scale, const QImage& image) {
    const Rect device{static_cast<int>(std::floor(rect.left() * scale)),
                      static_cast<int>(std::floor(rect.top() * scale)),
                      static_cast<int>(std::ceil((rect.left() + rect.width()) * scale)),
                      static_cast<int>(std::ceil((rect.top() + rect.height()) * scale))};
    Rect area;
    IntersectRect(&area, device, Rect{0, 0, image.width(), image.height()});
    return area;
}

}  // namespace

// Wakes the user-interface thread when the streaming thread announces a video frame. It is
// asked by the name of its slot, so the queued call carries nothing of ours from one thread to
// the other: the frame itself travels through the preview surface's own atomics. A child of
// the view, it takes the calls still queued for it along when the view goes.
class VideoFrameWaker : public QObject {
    Q_OBJECT
public:
    VideoFrameWaker(QObject* parent, std::function<void()> paint)
        : QObject(parent), m_paint(std::move(paint)) {}

    void Wake() { QMetaObject::invokeMethod(this, "Paint", Qt::QueuedConnection); }

public slots:
    void Paint() { m_paint(); }

private:
    const std::function<void()> m_paint;
};

// Shows the client image and turns the pointer, keys and focus into the dialog's messages.
class WindowPresenter::View : public QWidget {
public:
    View(DialogWindow& window, QWidget* parent) : QWidget(parent), m_window(window) {
        setFixedSize(window.ClientWidth(), window.ClientHeight());
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    // A changed rectangle of the client image needs blitting; while a paint is already
    // blitting that rectangle there is nothing more to ask for.
    void Changed(const Rect& rect) {
        const QRect area = ToQRect(rect);
        if (m_painting && m_paintRegion.contains(area)) {
            return;
        }
        update(area);
    }

    // Shows the newest video frame (queued here from the streaming thread's announcement):
    // straight from the frame when it is shown as it is, else (a notice, a frame of an earlier
    // size) through the client image.
    void PaintVideo() {
        PreviewSurface& video = m_window.Preview();
        video.TakeNewestFrame();
        if (video.ShowsLiveFrame(m_window.Grid().Scale())) {
            update(ToQRect(video.Placement()));
            return;
        }
        m_window.PaintPreview();
    }

    // Gives the window the device pixel ratio of the screen the widget is on now; a new ratio
    // has the whole window drawn again at it.
    void FollowDevicePixelRatio() {
        const double ratio = devicePixelRatioF();
        if (DeviceGrid(ratio).Scale() != m_window.Grid().Scale()) {
            m_window.SetDeviceScale(ratio);
            update();
        }
    }

    // Listens to the pointer events of the native window the view is shown in: they carry the
    // exact (fractional) logical position of the device pixel under the pointer, which the
    // toolkit rounds to a whole logical pixel before it hands the event to the view. At a
    // fractional scale that rounding can name the neighbour of the logical pixel drawn there.
    void WatchNativeWindow() {
        QWindow* native = window()->windowHandle();
        if (native != nullptr && native != m_watched) {
            if (m_watched != nullptr) {
                m_watched->removeEventFilter(this);
            }
            native->installEventFilter(this);
            m_watched = native;
        }
    }

    // What assistive technology is told; set by the presenter for the view's life on screen.
    void SetAccessibility(WindowAccessibility* accessibility) { m_accessibility = accessibility; }
    void TellAccessibility() {
        if (m_accessibility != nullptr) {
            m_accessibility->Update();
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseMove:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
                if (watched == m_watched) {
                    m_exactPosition =
                        mapFrom(window(), static_cast<QMouseEvent*>(event)->position());
                }
                break;
            default:
                break;
        }
        return QWidget::eventFilter(watched, event);
    }

    bool event(QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange) {
            WatchNativeWindow();
        }
        // Moved to a screen of another scale, or the screen's scale changed.
        const bool newRatio = event->type() == QEvent::ScreenChangeInternal
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
                              || event->type() == QEvent::DevicePixelRatioChange
#endif
            ;
        if (newRatio) {
            FollowDevicePixelRatio();
        }
        return QWidget::event(event);
    }

    void paintEvent(QPaintEvent* event) override {
        // The paint comes at the ratio the toolkit paints at now, whatever announced it.
        FollowDevicePixelRatio();
        if (m_window.HasDirtyArea()) {
            m_painting = true;
            m_paintRegion = event->region();
            m_window.UpdateWindow();  // repaints the dirty area, then runs the dialog's OnPaint
            m_painting = false;
        }
        // The client image holds the screen's device pixels: each is copied onto its own. The
        // live picture, on top of everything, comes straight from its newest frame, which
        // spares copying every frame into the client image first.
        const QImage& image = m_window.ClientImage();
        const double scale = m_window.Grid().Scale();
        PreviewSurface& preview = m_window.Preview();
        const Rect video =
            preview.ShowsLiveFrame(scale) ? m_window.Grid().ToDevice(preview.Placement()) : Rect{};
        QPainter painter(this);
        InDevicePixels(painter, scale);
        for (const QRect& rect : event->region()) {
            const Rect device = DevicePixelsOf(rect, scale, image);
            Rect overVideo;
            if (IntersectRect(&overVideo, device, video)) {
                PaintLive(painter, overVideo, video);
            }
            for (const Rect& part : Outside(device, video)) {
                Blit(painter, image, part, Point{0, 0});
            }
        }
        TellAccessibility();
    }

    // Shows the device pixels `area` of the live picture placed at `video`. They are written
    // straight into the window's own pixels where the toolkit paints into an image that takes
    // them: a frame enlarged by a whole number is then enlarged and written in one pass. Else
    // through an image of the placement's size.
    void PaintLive(QPainter& painter, const Rect& area, const Rect& video) {
        const double scale = m_window.Grid().Scale();
        Point offset;
        if (QImage* pixels = WindowPixels(painter, scale, &offset); pixels != nullptr) {
            if (m_window.Preview().DrawLiveFrame(*pixels, Offset(area, offset.x, offset.y),
                                                 Point{video.left + offset.x, video.top + offset.y},
                                                 scale)) {
                return;
            }
        }
        if (m_liveImage.width() != video.Width() || m_liveImage.height() != video.Height()) {
            m_liveImage = QImage(video.Width(), video.Height(), QImage::Format_RGB32);
        }
        if (m_window.Preview().DrawLiveFrame(m_liveImage, Offset(area, -video.left, -video.top),
                                             Point{0, 0}, scale)) {
            Blit(painter, m_liveImage, area, Point{video.left, video.top});
        }
    }

    // The window's pixels when the painter paints into them (not when the view is grabbed into
    // a picture), and where the view's first device pixel is in them; null unless they are an
    // image at the window's scale, of 32-bit pixels, that writing into does not copy, with the
    // view on whole device pixels.
    QImage* WindowPixels(QPainter& painter, double scale, Point* offset) {
        QBackingStore* store = backingStore();
        QPaintDevice* device = store != nullptr ? store->paintDevice() : nullptr;
        const QPaintEngine* engine = painter.paintEngine();
        if (device == nullptr || engine == nullptr || engine->paintDevice() != device ||
            device->devType() != QInternal::Image) {
            return nullptr;
        }
        auto* pixels = static_cast<QImage*>(device);
        const QPoint logical = mapTo(window(), QPoint(0, 0));
        const double x = logical.x() * scale;
        const double y = logical.y() * scale;
        if (pixels->depth() != 32 || !pixels->isDetached() || pixels->devicePixelRatio() != scale ||
            x != std::floor(x) || y != std::floor(y)) {
            return nullptr;
        }
        *offset = Point{static_cast<int>(x), static_cast<int>(y)};
        return pixels;
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        Point point;
        if (Forwarded(event, &point)) {
            m_window.Handler().OnMouseMove(KeyFlags(event->buttons(), event->modifiers()), point);
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        setFocus(Qt::MouseFocusReason);
        Point point;
        if (event->button() == Qt::LeftButton && Forwarded(event, &point)) {
            m_window.Handler().OnLButtonDown(KeyFlags(event->buttons(), event->modifiers()), point);
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        Point point;
        if (event->button() == Qt::LeftButton && Forwarded(event, &point)) {
            m_window.Handler().OnLButtonUp(KeyFlags(event->buttons(), event->modifiers()), point);
            TellAccessibility();  // a click may move the keyboard focus
        }
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        Point point;
        if (event->button() == Qt::LeftButton && Forwarded(event, &point)) {
            m_window.Handler().OnLButtonDblClk(KeyFlags(event->buttons(), event->modifiers()),
                                               point);
        }
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (!Key(event, WM_KEYDOWN)) {
            QWidget::keyPressEvent(event);
        }
        TellAccessibility();  // a key may move the keyboard focus without drawing anything
    }
    void keyReleaseEvent(QKeyEvent* event) override {
        // The desktop repeats only the key-down message.
        if (event->isAutoRepeat() || !Key(event, WM_KEYUP)) {
            QWidget::keyReleaseEvent(event);
        }
    }
    void focusInEvent(QFocusEvent* /*event*/) override {
        m_window.Handler().OnSetFocus();
        if (m_accessibility != nullptr) {
            m_accessibility->FocusGained();
        }
    }
    void focusOutEvent(QFocusEvent* /*event*/) override {
        m_window.Handler().OnKillFocus();
    }
    // The dialog moves the focus among its own controls: Tab and Shift+Tab are its keys.
    bool focusNextPrevChild(bool /*next*/) override {
        return false;
    }

private:
    // Whether a pointer event reaches the dialog, and where in client coordinates: the logical
    // pixel drawn in the device pixel under the pointer, so that a click hits what it is on.
    bool Forwarded(const QMouseEvent* event, Point* point) {
        // The native window's exact position when it is the one this event was rounded from
        // (an event sent to the view directly has none).
        QPointF position = event->position();
        if (m_exactPosition && std::abs(m_exactPosition->x() - position.x()) <= 0.5 &&
            std::abs(m_exactPosition->y() - position.y()) <= 0.5) {
            position = *m_exactPosition;
        }
        m_exactPosition.reset();
        *point = m_window.Grid().PixelAt(position.x(), position.y());
        const Rect client{0, 0, m_window.ClientWidth(), m_window.ClientHeight()};
        PreviewSurface& video = m_window.Preview();
        const bool overVideo = video.IsVisible() && PtInRect(video.Placement(), *point);
        return PtInRect(client, *point) && !overVideo;
    }

    // Passes a key through the dialog's keyboard filter and, when the filter lets a key down
    // through, to the dialog's key handler; false for keys without a code.
    bool Key(const QKeyEvent* event, unsigned message) {
        const int key = VirtualKey(event->key());
        if (key == 0) {
            return false;
        }
        WindowHandler& handler = m_window.Handler();
        const bool handled = handler.PreTranslateMessage(KeyMessage{message, key});
        if (handled || message != WM_KEYDOWN) {
            return true;
        }
        // The desktop's dialog default: Escape is the close command.
        if (key == VK_ESCAPE) {
            handler.OnCancel();
        } else {
            handler.OnKeyDown(KeyFlags(Qt::NoButton, event->modifiers()), key);
        }
        return true;
    }

    DialogWindow& m_window;
    bool m_painting = false;
    QRegion m_paintRegion;
    QImage m_liveImage;  // the live picture on its way to the window, when it cannot go straight
    WindowAccessibility* m_accessibility = nullptr;
    QPointer<QWindow> m_watched;             // the native window whose pointer events are watched
    std::optional<QPointF> m_exactPosition;  // of the pointer event being delivered
};

WindowPresenter::WindowPresenter(DialogWindow& window)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      m_window(window) {
    setWindowTitle(QString::fromStdString(window.Title()));
    setWindowIcon(QIcon(QStringLiteral(":/icons/128.png")));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed-size window, never resized
    m_view = new View(window, this);
    m_scrollBar = new QScrollBar(Qt::Horizontal, this);
    m_scrollBar->setFocusPolicy(Qt::NoFocus);
    m_scrollBar->setPageStep(1);
    m_scrollBar->setFixedWidth(window.ClientWidth());
    layout->addWidget(m_view);
    layout->addWidget(m_scrollBar);
    setFocusProxy(m_view);

    connect(m_scrollBar, &QScrollBar::actionTriggered, this,
            [this](int action) { OnScrollAction(action); });
    connect(m_scrollBar, &QScrollBar::sliderReleased, this, [this] { OnSliderReleased(); });
    ApplyScrollBarState(window.ScrollBar());

    View* view = m_view;
    window.SetPixelsChangedListener([view](const Rect& rect) { view->Changed(rect); });
    window.SetInvalidatedListener([view, &window] { view->Changed(window.DirtyBounds()); });
    window.SetScrollBarListener(
        [this](const ScrollBarState& state) { ApplyScrollBarState(state); });
    // Called on the streaming thread: the view repaints the video's rectangle alone, never the
    // dialog, once the user-interface thread takes the wake-up.
    auto* waker = new VideoFrameWaker(view, [view] { view->PaintVideo(); });
    window.Preview().SetFrameReadyCallback([waker] { waker->Wake(); });
    view->FollowDevicePixelRatio();  // the screen it will open on
    window.PaintPreview();           // takes a frame announced before there was a presenter
    m_accessibility = std::make_unique<WindowAccessibility>(view, m_scrollBar, window);
    view->SetAccessibility(m_accessibility.get());
    window.SetAnnouncementListener(
        [this](const std::string& text) { m_accessibility->Announce(text); });
    Presenters()[&window] = this;
}

WindowPresenter::~WindowPresenter() {
    Presenters().erase(&m_window);
    // Once this returns no announcement is running or will run; queued calls die with the view.
    m_window.Preview().SetFrameReadyCallback({});
    m_window.SetPixelsChangedListener({});
    m_window.SetInvalidatedListener({});
    m_window.SetScrollBarListener({});
    m_window.SetAnnouncementListener({});
    m_view->SetAccessibility(nullptr);
    m_accessibility.reset();  // before the view it describes
}

QWidget* WindowPresenter::ClientView() const {
    return m_view;
}

WindowPresenter* WindowPresenter::Of(const DialogWindow& window) {
    const auto found = Presenters().find(&window);
    return found == Presenters().end() ? nullptr : found->second;
}

void WindowPresenter::ApplyScrollBarState(const ScrollBarState& state) {
    m_applyingScrollState = true;
    m_scrollBar->setEnabled(state.enabled);
    m_scrollBar->setRange(std::min(state.minimum, state.maximum),
                          std::max(state.minimum, state.maximum));
    m_scrollBar->setValue(state.position);
    m_applyingScrollState = false;
}

void WindowPresenter::SendScroll(int code, int position) {
    m_window.Handler().OnHScroll(code, position);
}

void WindowPresenter::OnScrollAction(int action) {
    if (m_applyingScrollState) {
        return;
    }
    int code = 0;
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            code = SB_LINERIGHT;
            break;
        case QAbstractSlider::SliderSingleStepSub:
            code = SB_LINELEFT;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = SB_PAGERIGHT;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = SB_PAGELEFT;
            break;
        case QAbstractSlider::SliderToMinimum:
            code = SB_LEFT;
            break;
        case QAbstractSlider::SliderToMaximum:
            code = SB_RIGHT;
            break;
        case QAbstractSlider::SliderMove:
            // The thumb follows the pointer while dragged; the dialog hears where it is.
            SendScroll(SB_THUMBTRACK, m_scrollBar->sliderPosition());
            return;
        default:
            return;
    }
    SendScroll(code, 0);
    SendScroll(SB_ENDSCROLL, 0);
    // The desktop's scroll bar does not move by itself: it shows the position the dialog set.
    // (Inside this signal the bar takes the adjusted slider position as its new value.)
    m_applyingScrollState = true;
    m_scrollBar->setSliderPosition(m_window.ScrollBar().position);
    m_applyingScrollState = false;
}

void WindowPresenter::OnSliderReleased() {
    SendScroll(SB_THUMBPOSITION, m_scrollBar->sliderPosition());
    SendScroll(SB_ENDSCROLL, 0);
    ApplyScrollBarState(m_window.ScrollBar());
}

void WindowPresenter::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    const QPoint origin = m_view->mapToGlobal(QPoint(0, 0));
    m_window.Handler().OnMove(origin.x(), origin.y());
}

void WindowPresenter::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) {
        return;
    }
    const bool iconic = isMinimized();
    if (iconic != m_window.IsIconic()) {
        m_window.SetIconic(iconic);
        m_window.InvalidateRect(nullptr);  // restored or minimised: everything is painted anew
    }
}

// The close button is the close command; only the dialog's own end closes the window.
void WindowPresenter::closeEvent(QCloseEvent* event) {
    event->ignore();
    m_window.Handler().OnCancel();
}

void WindowPresenter::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        m_window.Handler().OnShowWindow(true, 0);
    }
}

void WindowPresenter::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) {
        m_window.Handler().OnShowWindow(false, 0);
    }
}

#include "window_presenter.moc"
