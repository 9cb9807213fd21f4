#pragma once

// The skinned window as assistive technology sees it: the live picture, the four buttons as push
// buttons, the strip as a list of pictures named by their files, and the resolution menu while
// it is open. The window supplies the names in the user's language and what only it knows of
// the camera; the places and states come from the interface's own state.

#include <string>

#include "platform/accessibility.h"
#include "ui/skin_state.h"

// The parts in the order assistive technology gets them.
constexpr int kPartLivePicture = 0;
constexpr int kPartFirstButton = 1;  // buttons 0 to 3 are parts 1 to 4
constexpr int kPartStrip = 5;
constexpr int kPartMenu = 6;
constexpr int kPartCount = 7;

// Button 0 to 3 of a part, or -1 for a part that is no button.
int ButtonOfPart(int part);

AccessibleNode DescribeButton(const SkinState& skin, int button, std::string name, bool enabled);
AccessibleNode DescribeStrip(const SkinState& skin, const PictureList& pictures, std::string name);
// Record `index` of the list, named by its file.
AccessibleNode DescribePicture(const SkinState& skin, const PictureList& pictures, int index);
int PictureIndexOfNumber(const PictureList& pictures, int number);

// The resolution menu and its rows: shown only while open; the chosen resolution's row is
// checked and the keys' row has the focus.
AccessibleNode DescribeMenu(const SkinState& skin, std::string name, bool highResRefused);
int MenuItemCount(const SkinState& skin, bool highResRefused);
AccessibleNode DescribeMenuRow(const SkinState& skin, int row, int resolution, bool highResRefused);

// Where the keyboard focus is: the keys' row of an open menu, a button, or the strip with its
// current picture.
AccessibleFocus KeyboardFocus(const SkinState& skin, const PictureList& pictures);
