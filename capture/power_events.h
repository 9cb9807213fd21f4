#pragma once

class CWebcamDlg;

// Follows the machine's sleep notifications for as long as the camera may be running: a coming
// sleep arrives at the dialog as the suspend power broadcast (4), a wake-up as the resume
// broadcast (7), and the machine's sleep waits until the watch ends, so that the camera is
// closed first. Starting an already running watch does nothing.
void WatchPowerWhileCameraRuns(CWebcamDlg& dialog);

// Ends the watch and lets the machine sleep.
void StopWatchingPower(CWebcamDlg& dialog);
