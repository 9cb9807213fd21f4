#pragma once

// The start-up scan of the picture folder. The folder's pictures are listed by their names at
// once, in number order, and the window shows them straight away; each listed picture is then
// checked and its thumbnail loaded in the background, the frames the strip shows first. A
// picture found unreadable then leaves the list as a vanished one does, and the next picture the
// list had no room for takes its place. FileList.txt is written when every listed picture has
// been checked.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pictures/picture_list.h"
#include "pictures/thumbnail_loader.h"

class TaskPoster;

struct PictureName {
    int number = 0;
    std::string name;  // the file name as found in the folder
};

// The regular files of `folder` named "Picture<digits>.jpg" (case-sensitive) with a number
// from 1 up, ordered by number; one name per number, the one "Picture%04d.jpg" names when it
// is among them. Empty when the folder cannot be read.
std::vector<PictureName> ListPictureFiles(const std::string& folder);

// What a delivery of loaded thumbnails changed.
struct ScanDelivery {
    bool listChanged = false;  // records left (or joined) the list
    std::vector<int> arrived;  // records whose thumbnail arrived, by index
    bool finished = false;     // every listed picture has been checked
};

class PictureScan {
public:
    // Lists `names` (up to `room` of them) as the list's records, thumbnails to come, and starts
    // loading them, the list's end (where the strip stands) first. `thumbnailsWaiting` runs on
    // the user-interface thread whenever loaded thumbnails wait for Deliver.
    PictureScan(PictureList& list, std::vector<PictureName> names, TaskPoster& tasks,
                std::function<void()> thumbnailsWaiting, int room = kThumbnailCapacity);
    ~PictureScan();
    PictureScan(const PictureScan&) = delete;
    PictureScan& operator=(const PictureScan&) = delete;

    // Places the thumbnails that arrived into their pictures' records (the records may have
    // moved, or gone, meanwhile); logs and removes the pictures that could not be loaded.
    // When every listed picture has been checked, writes FileList.txt (while the log is on).
    ScanDelivery Deliver(PictureList& list);
    // The strip moved: the pictures of the frames it shows are loaded before the others.
    void ShowFirst(const PictureList& list);
    // A record left the list (removed by any path): the scan's own records follow.
    void RecordRemoved(int index);
    bool Finished() const { return m_unchecked == 0; }

private:
    int WaitingRecord(const PictureList& list, int number) const;
    void TakePlaceOfFailed(PictureList& list);
    void WriteFileList(const PictureList& list) const;

    std::vector<PictureName> m_names;  // every picture of the folder, in number order
    int m_room;                        // the most pictures the scan lists
    std::size_t m_listed = 0;          // m_names[0, m_listed) were listed
    int m_scanRecords = 0;             // the list's first records came from the scan
    int m_unchecked = 0;               // listed pictures not checked yet
    int m_loaded = 0;                  // listed pictures whose thumbnail arrived
    // Declared last: its workers stop before the rest of the scan goes.
    ThumbnailLoader m_loader;
};
