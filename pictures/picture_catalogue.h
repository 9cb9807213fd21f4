#pragma once

// The picture list of the main window: the start-up scan of the picture folder, the sweep of
// pictures whose file has gone, removing records, and the pictures' paths. After each of these
// the window shows the strip's new state (UpdateThumbScroll, pictures/strip_navigation.h).

#include <functional>
#include <optional>
#include <string>

#include "pictures/picture_list.h"
#include "platform/pictures_folder.h"

class TaskPoster;

// Lists the pictures of `folder` (null: no Pictures folder could be determined, which is
// logged as "Error in FindFileInDocument") in number order and starts loading their thumbnails
// in the background (pictures/picture_scan.h), from the folder's thumbnail cache where it can
// (its place follows from `getenv`); `thumbnailsWaiting` runs on the user-interface thread when
// loaded thumbnails wait to be delivered. False when nothing was listed because of such an
// error.
bool FindFileInDocument(PictureList& list, const std::optional<std::string>& folder,
                        const EnvironmentLookup& getenv, TaskPoster& tasks,
                        std::function<void()> thumbnailsWaiting);

// Drops the records whose file can no longer be opened; true when at least one went.
bool SweepMissingPictures(PictureList& list);

// Closes the gap that removing record `index` leaves; the order of the others stays, and the
// selection's anchor and last click keep pointing at their pictures (or at none).
void RemoveThumbnail(PictureList& list, int index);

// Removes the selected records and deletes their files. A file that cannot be deleted stays in
// the folder and comes back at the next start; the snapshot never writes over it meanwhile.
void RemoveSelectedPictures(PictureList& list);

// The path of picture `number` in the list's folder; empty when it cannot be formed.
std::string PicturePath(const PictureList& list, int number);
