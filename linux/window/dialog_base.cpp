#include "platform/dialog.h"

#include "platform/control.h"
#include "platform/dialog_template.h"
#include "platform/dialog_window.h"

namespace {

ControlKind ToControlKind(LayoutControlKind kind) {
    switch (kind) {
        case LayoutControlKind::Bitmap:
            return ControlKind::Bitmap;
        case LayoutControlKind::BlackFrame:
            return ControlKind::BlackFrame;
        case LayoutControlKind::Text:
            break;
    }
    return ControlKind::Text;
}

// Dialog units to client pixels, edge by edge, as the desktop maps a dialog rectangle.
Rect ToPixels(const LayoutControl& control) {
    return Rect{DialogUnitsToPixelsX(control.x), DialogUnitsToPixelsY(control.y),
                DialogUnitsToPixelsX(control.x + control.width),
                DialogUnitsToPixelsY(control.y + control.height)};
}

}  // namespace

DialogBase::DialogBase(const DialogLayout& layout, PlatformServices& services)
    : m_layout(layout), m_services(services) {}

DialogBase::~DialogBase() = default;

int DialogBase::DoModal() {
    // A dialog already on screen cannot be run a second time, as the desktop's -1 says.
    if (m_window != nullptr) {
        return -1;
    }
    // OnInitDialog's answer only concerns the keyboard focus; a failed start-up that must
    // close the window ends the dialog itself.
    CreateAndInitialise();
    if (!m_ended) {
        m_services.modalLoop.Run(*this);
    }
    DestroyWindow();
    return m_result;
}

void DialogBase::OnCancel() {
    EndDialog(IDCANCEL);
}

void DialogBase::EndDialog(int result) {
    m_ended = true;
    m_result = result;
    m_services.modalLoop.Quit();
}

bool DialogBase::CreateAndInitialise() {
    if (m_window != nullptr) {
        return false;
    }
    m_ended = false;
    m_result = 0;
    CreateWindowFromLayout();
    m_services.modalLoop.Prepare(*this);
    return OnInitDialog();
}

void DialogBase::DestroyWindow() {
    if (m_window == nullptr) {
        return;
    }
    OnDestroy();
    m_services.modalLoop.Dismiss(*this);
    m_window.reset();
    m_layoutBitmaps.clear();
}

void DialogBase::CreateWindowFromLayout() {
    m_window =
        std::make_unique<DialogWindow>(*this, m_services.timers, kClientWidth, kClientHeight);
    m_window->SetTitle(m_layout.caption != nullptr ? m_layout.caption : "");
    for (int i = 0; i < m_layout.controlCount; ++i) {
        const LayoutControl& item = m_layout.controls[i];
        const Rect rect = ToPixels(item);
        Control& control =
            m_window->AddControl(item.id, ToControlKind(item.kind), rect, item.visible);
        if (item.kind == LayoutControlKind::Text) {
            control.SetText(item.text != nullptr ? item.text : "");
        }
        if (item.kind != LayoutControlKind::Bitmap || item.bitmapId == 0) {
            continue;
        }
        // A static picture control takes the size of its picture; one whose picture is
        // missing keeps its layout rectangle and shows nothing.
        std::unique_ptr<Bitmap> picture = Bitmap::LoadResource(item.bitmapId);
        if (picture == nullptr) {
            continue;
        }
        control.MoveAndSize(rect.left, rect.top, picture->Width(), picture->Height());
        control.SetImage(picture.get());
        m_layoutBitmaps.push_back(std::move(picture));
    }
}
