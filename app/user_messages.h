#pragma once

// Every text the user can see besides the skin, in UTF-8. A message with no Chinese form is
// shown in English in both languages, and one with no English form in Chinese.

inline constexpr const char* kWindowTitle = "Vantor Lumisight webcam";
inline constexpr const char* kAmcapTitle = "Amcap";
inline constexpr const char* kCloseAmcap = "Please Close Amcap then try again!";

inline constexpr const char* kCameraNotFoundEnglish = "Camera not found!";
inline constexpr const char* kCameraNotFoundChinese = "找不到網路攝影機!";
inline constexpr const char* kCameraBusyEnglish = "Camera is busy!";
inline constexpr const char* kCameraBusyChinese = "網路攝影機忙碌!";
inline constexpr const char* kDeleteQuestionEnglish = "Delete the selected file?";
inline constexpr const char* kDeleteQuestionChinese = "刪除所選擇的檔案!";
inline constexpr const char* kPictureNotFound = "找不到 ";  // titled with the picture's path
// Shown over the darkened last picture while the camera is away.
inline constexpr const char* kCameraDisconnectedEnglish = "Camera disconnected";
inline constexpr const char* kCameraDisconnectedChinese = "網路攝影機已中斷連線";
// Shown the same way while the camera's stream stays open but no frame comes.
inline constexpr const char* kCameraNotRespondingEnglish = "Camera not responding";
inline constexpr const char* kCameraNotRespondingChinese = "網路攝影機沒有回應";

// The caption of the program's message boxes: the program's name, as the desktop derives it
// from the executable.
inline constexpr const char* kMessageBoxCaption = "lumisight-webcam";

// The resolution labels are drawn by the skin: kResolutionLabels in ui/resolution_menu.h.
