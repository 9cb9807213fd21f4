#pragma once

// CWebcamDlg: the application's only window and the record of the whole running state. Its
// handlers live with the module that owns them: start-up here in app/, the capture graph in
// capture/, the picture list in pictures/, painting and the pointer in ui/.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "pictures/thumbnail_record.h"
#include "platform/dialog.h"
#include "platform/gdi.h"
#include "platform/geometry.h"

class MediaFramework;
class MediaGraph;
class CaptureFilter;
class SampleGrabber;
class PropertyPages;
class PowerNotices;
class PowerWatch;
class Shell;
class SingleInstance;
class ThumbnailPool;
struct PictureWorkBuffers;

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
};

// Control identifiers of the main window's layout.
constexpr int IDC_SKIN = 1012;
constexpr int IDC_BUTTON_FIRST = 1007;  // 1007 to 1010: take picture, delete, resolution, props
constexpr int IDC_STATIC_TEXT = 1013;
constexpr int IDC_THUMB_FRAME_FIRST = 1014;  // 1014 to 1019: the six thumbnail frames

// Window timers.
constexpr int TIMER_DRAW_STRIP = 99;
constexpr int TIMER_RESOLUTION_BUTTON = 100;
constexpr int TIMER_SWEEP = 500;

class CWebcamDlg : public DialogBase {
public:
    explicit CWebcamDlg(WebcamEnvironment& environment);
    ~CWebcamDlg() override;

    // ---- Start-up (app/) ----
    bool OnInitDialog() override;
    bool PreTranslateMessage(const KeyMessage& message) override;
    int ShowUserMessage(const char* english, const char* chinese, unsigned style);
    void ChooseLanguage();

    // ---- Capture (capture/) ----
    std::int32_t InitStillGraph();
    void ReleaseStillGraph();
    void GetDefaultCapDevice(std::shared_ptr<CaptureFilter>* result);
    void OnDestroy() override;
    void ShowDeviceProperties();
    std::intptr_t WindowProc(unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam) override;

    // ---- Pictures (pictures/) ----
    void FindFileInDocument();
    bool SweepMissingPictures();
    void UpdateThumbScroll();
    void RemoveThumbnail(int index);
    bool ReadInSmallPic(int index, int number);
    void TakeSnapshot();
    void OnHScroll(int code, int position) override;
    void DeleteSelectedPictures();
    void OnLButtonDblClk(unsigned flags, Point point) override;
    std::string PicturePath(int number) const;

    // ---- Skin, pointer, painting (ui/) ----
    void ShowResolutionMenu();
    void SetButtonFace(int button, const Bitmap* face);
    void OnMouseMove(unsigned flags, Point point) override;
    void OnLButtonUp(unsigned flags, Point point) override;
    void OnLButtonDown(unsigned flags, Point point) override;
    void OnKillFocus() override;
    void OnCaptureChanged() override;
    void OnPaint() override;
    void DrawThumbnailStrip();
    void RefreshResolutionButton();
    void OnTimer(int id) override;
    void OnMove(int x, int y) override;
    void OnShowWindow(bool show, int status) override;

    WebcamEnvironment& Environment() { return m_env; }

    // ---- The record, in the declaration order of the design; every member starts zeroed ----
    int m_nResolution = 0;
    std::atomic<bool> m_bAcceptFrames{false};  // the frame gate, read on the streaming thread
    std::string m_strStatic;
    const Bitmap* m_hIcon = nullptr;
    bool m_bChinese = false;
    bool m_bYuy2Frames = false;
    bool m_bHighResRefused = false;
    bool m_bResMenuOpen = false;
    bool m_bAnySelected = false;
    int m_nClickedThumb = 0;
    std::array<ThumbnailRecord, kThumbnailCapacity> m_thumbs{};
    int m_nScrollMax = 0;
    int m_nScrollPos = 0;
    int m_nFirstThumb = 0;
    Rect m_rcStrip;
    Point m_ptDragStart;
    Point m_ptDragCur;
    Rect m_rcDragNorm;
    Rect m_rcDrag;
    Rect m_rcBand;
    Rect m_rcBandPrev;
    Rect m_rcBandDirty;
    BitmapInfo m_bmiThumb{};
    int m_nNextPictureNumber = 0;
    int m_nThumbCount = 0;
    std::string m_szPictureDir;  // empty when no Pictures folder could be determined
    int m_nHoverButton = 0;
    std::array<Rect, 4> m_rcButton{};
    std::array<Rect, 6> m_rcThumbFrame{};
    std::array<Control*, 4> m_hwndButton{};
    int m_nAnchorThumb = 0;
    std::unique_ptr<Bitmap> m_hbmButton[5][2];
    std::unique_ptr<MediaGraph> m_pGraph;
    std::shared_ptr<CaptureFilter> m_pCapture;
    std::unique_ptr<SampleGrabber> m_pGrabber;
    PropertyPages* m_pSpecifyPages = nullptr;  // non-null exactly while the properties are open

    // ---- Our own members ----
    std::unique_ptr<Bitmap> m_iconBitmap;               // owns what m_hIcon shows
    std::unique_ptr<ThumbnailPool> m_thumbPool;         // the pixel blocks of m_thumbs
    std::unique_ptr<PictureWorkBuffers> m_workBuffers;  // snapshot and loading buffers
    int m_nLastStripLength = 0;  // list length at the last strip repaint request
    // The machine's sleep notices and its sleep delay, held from the first camera start until
    // the window is destroyed (capture/).
    std::unique_ptr<PowerWatch> m_powerEvents;

private:
    // The start-up steps of OnInitDialog.
    void ExchangeDialogData();
    void ResetWorkingState();
    void LayOutThumbnailFrames();
    void LayOutButtons();
    void FillThumbnailHeader();
    bool PrepareThumbnailPool();
    bool LoadButtonFaces();
    bool StartCamera();

    WebcamEnvironment& m_env;
};
