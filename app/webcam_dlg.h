#pragma once

// CWebcamDlg: the application's only window and the record of the whole running state. The
// record is made of the parts its modules own (the camera's CaptureState, the pictures'
// PictureList, the skinned interface's SkinState) and the few members of the window itself.
// Every handler is defined in app/ and hands its work to the module that owns it:
//
// clang-format off
//   handlers                                         defined in                 work done in
//   construction, OnDestroy                          app/webcam_dlg.cpp
//   OnInitDialog and its start-up steps              app/dialog_start.cpp       ui/window_layout,
//                                                                               ui/button_faces
//   ChooseLanguage, ShowUserMessage                  app/language.cpp           platform/locale
//   InitStillGraph, ReleaseStillGraph,               app/capture_handlers.cpp   capture/
//     GetDefaultCapDevice, ShowDeviceProperties,
//     the resolution change
//   OnCameraStreamEnd, LookForLostCamera (a camera   app/lost_camera.cpp        capture/
//     unplugged and plugged in again)                                           camera_return
//   WindowProc (power broadcasts), the sleep watch   app/power_broadcast.cpp    platform/
//                                                                               power_notices
//   FindFileInDocument, SweepMissingPictures,        app/picture_handlers.cpp   pictures/
//     UpdateThumbScroll, RemoveThumbnail,
//     TakeSnapshot, PicturePath, OnHScroll,
//     DeleteSelectedPictures, OnLButtonDblClk,
//     the thumbnails loaded in the background
//   OnMouseMove, OnLButtonUp, OnLButtonDown,         app/pointer_handlers.cpp   ui/pointer,
//     OnCaptureChanged, the commands                                            ui/strip_selection
//   keyboard filter, OnKeyDown, OnSetFocus,          app/keyboard_handlers.cpp  ui/keyboard
//     OnKillFocus
//   the description for assistive technology,        app/accessibility.cpp      ui/accessible_skin
//     its press actions
//   OnPaint, OnTimer, OnMove, OnShowWindow,          app/paint_handlers.cpp     ui/strip_painting,
//     DrawThumbnailStrip, RefreshResolutionButton,                              ui/resolution_menu,
//     ShowResolutionMenu, SetButtonFace                                         ui/window_painting,
//                                                                               ui/window_layout
// clang-format on

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture_state.h"
#include "capture/still_graph.h"
#include "pictures/picture_list.h"
#include "platform/accessibility.h"
#include "platform/dialog.h"
#include "platform/gdi.h"
#include "platform/geometry.h"
#include "platform/result_codes.h"
#include "resources/dialog_layout.h"
#include "ui/skin_state.h"
#include "ui/window_timers.h"

class DeviceArrivals;
class MediaFramework;
struct StreamEnd;
class PowerNotices;
class PowerWatch;
class Shell;
class SingleInstance;
class ThumbnailPool;
struct KeyCommand;

// What the dialog needs of the world besides its window: the capture system, the machine's
// sleep notices, the desktop's "open", the process environment (locale, home, XDG folders) and
// the command-line override of the Pictures folder.
struct WebcamEnvironment {
    PlatformServices& platform;
    MediaFramework& media;
    PowerNotices& power;
    Shell& shell;
    std::function<const char*(const char*)> getenv;
    std::optional<std::string> picturesDirOverride;
    // Allocates the thumbnail pool; tests replace it to make the allocation fail.
    std::function<std::unique_ptr<ThumbnailPool>()> allocatePool;
    // The session's one-copy claim; null where there is no session bus to claim it on.
    SingleInstance* singleInstance = nullptr;
    // The notices of video devices added to the machine; null where there are none.
    DeviceArrivals* deviceArrivals = nullptr;
    // The capture node the user chose (--device); empty: the maker's camera is searched for.
    std::string captureDevice;
};

class CWebcamDlg : public DialogBase,
                   public CaptureState,
                   public PictureList,
                   public SkinState,
                   public AccessibleContent {
public:
    explicit CWebcamDlg(WebcamEnvironment& environment);
    // Leaves nothing pointing at the dialog, even when its window was never destroyed: the
    // graph stops, the frame callback lets go of the frame gate and the sleep watch ends.
    ~CWebcamDlg() override;

    // ---- Start-up and end ----
    bool OnInitDialog() override;
    void OnDestroy() override;
    bool PreTranslateMessage(const KeyMessage& message) override;
    int ShowUserMessage(const char* english, const char* chinese, unsigned style);
    void ChooseLanguage();

    // ---- Camera ----
    HResult InitStillGraph();
    void ReleaseStillGraph();
    void GetDefaultCapDevice(std::shared_ptr<CaptureFilter>* result);
    void ShowDeviceProperties();
    // The camera's stream ended by itself: the camera is lost until LookForLostCamera finds it.
    void OnCameraStreamEnd(const StreamEnd& end);
    void LookForLostCamera();
    std::intptr_t WindowProc(unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam) override;

    // ---- Pictures ----
    void FindFileInDocument();
    bool SweepMissingPictures();
    void UpdateThumbScroll();
    void RemoveThumbnail(int index);
    void TakeSnapshot();
    void OnHScroll(int code, int position) override;
    void DeleteSelectedPictures();
    void OnLButtonDblClk(unsigned flags, Point point) override;
    std::string PicturePath(int number) const;

    // ---- Skin, pointer, painting ----
    void ShowResolutionMenu();
    void SetButtonFace(int button, const Bitmap* face);
    void OnMouseMove(unsigned flags, Point point) override;
    void OnLButtonUp(unsigned flags, Point point) override;
    void OnLButtonDown(unsigned flags, Point point) override;
    void OnCaptureChanged() override;

    // ---- Keyboard ----
    void OnKeyDown(unsigned flags, int key) override;
    void OnSetFocus() override;
    void OnKillFocus() override;

    // ---- Assistive technology (AccessibleContent) ----
    int PartCount() const override;
    AccessibleNode Part(int part) const override;
    int ItemCount(int part) const override;
    AccessibleNode Item(int part, int item) const override;
    int ItemIndexOfKey(int part, int key) const override;
    void ItemStates(int part, std::vector<AccessibleItemState>& states) const override;
    AccessibleFocus Focus() const override;
    std::string ScrollBarName() const override;
    void Press(int part, int item) override;
    void OnPaint() override;
    void DrawThumbnailStrip();
    void RefreshResolutionButton();
    void OnTimer(int id) override;
    void OnMove(int x, int y) override;
    void OnShowWindow(bool show, int status) override;

    WebcamEnvironment& Environment() { return m_env; }

    // ---- The window's own members; every member of the record starts zeroed ----
    std::string m_strStatic;  // the hidden text control's text
    const Bitmap* m_hIcon = nullptr;
    bool m_bChinese = false;  // the user texts are in Traditional Chinese

private:
    // The camera, its callbacks and the sleep watch let go of the dialog (app/webcam_dlg.cpp).
    void LetGoOfTheCamera();
    // Start-up steps (app/dialog_start.cpp).
    void ExchangeDialogData();
    void ResetWorkingState();
    bool StartCamera();
    // The commands of the four buttons and of the resolution menu (app/pointer_handlers.cpp,
    // app/capture_handlers.cpp).
    void RunButtonCommand(int button);
    void ChangeResolution(int resolution);
    // The commands of the keys, which run as the pointer's (app/keyboard_handlers.cpp).
    void RunKeyCommand(const KeyCommand& command);
    // Tells assistive technology of the picture just taken (app/accessibility.cpp).
    void AnnounceTakenPicture(int number);
    // The picture area's state while the camera is away, in the window's language; an empty
    // text shows the live picture again (app/lost_camera.cpp).
    void ShowCameraState(const std::string& text);
    // Closes the camera's settings dialog when it is open: before a sleep, and when the camera
    // has gone (app/capture_handlers.cpp).
    void CloseDeviceProperties();
    // Where the camera's graph is built: the window's picture area, the chosen device and the
    // report of a stream that ends by itself (app/capture_handlers.cpp).
    GraphHost GraphHostForCamera();
    // The sleep notices reach WindowProc from the window's creation to its destruction
    // (app/power_broadcast.cpp).
    void WatchPower();
    // Thumbnails the start-up scan loaded in the background (app/picture_handlers.cpp).
    void TakeLoadedThumbnails();
    // The interface's parts as its functions take them.
    SkinnedWindow Skin() { return SkinnedWindow{*this, *this, Window()}; }
    const char* Text(const char* english, const char* chinese) const {
        return m_bChinese ? chinese : english;
    }
    DialogWindow* WindowIfAny() { return HasWindow() ? &Window() : nullptr; }

    WebcamEnvironment& m_env;
    std::unique_ptr<Bitmap> m_iconBitmap;  // owns what m_hIcon shows
    std::unique_ptr<PowerWatch> m_powerWatch;
};
