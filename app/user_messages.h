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

// What assistive technology (a screen reader) is told about the window's parts: the live
// picture, the four buttons, the strip of pictures (and its scroll bar) and the resolution menu.
// The resolution button's name ends in the chosen resolution's label ("Resolution: 640x480").
inline constexpr const char* kLivePictureEnglish = "Live picture";
inline constexpr const char* kLivePictureChinese = "即時影像";
inline constexpr const char* kTakePictureEnglish = "Take a picture";
inline constexpr const char* kTakePictureChinese = "拍照";
inline constexpr const char* kDeletePicturesEnglish = "Delete the selected pictures";
inline constexpr const char* kDeletePicturesChinese = "刪除選取的相片";
inline constexpr const char* kResolutionEnglish = "Resolution";
inline constexpr const char* kResolutionChinese = "解析度";
inline constexpr const char* kCameraSettingsEnglish = "Camera settings";
inline constexpr const char* kCameraSettingsChinese = "網路攝影機設定";
inline constexpr const char* kPictureStripEnglish = "Pictures";
inline constexpr const char* kPictureStripChinese = "相片";
// Announced when a picture has been taken; %s stands for its file name ("Picture0004.jpg").
inline constexpr const char* kPictureTakenEnglish = "%s taken";
inline constexpr const char* kPictureTakenChinese = "已拍攝 %s";

// The caption of the program's message boxes: the program's name, as the desktop derives it
// from the executable.
inline constexpr const char* kMessageBoxCaption = "lumisight-webcam";

// The resolution labels are drawn by the skin: kResolutionLabels in ui/resolution_menu.h.
