#pragma once

// Picture names and numbers, and the list rules that follow from them. A picture is known only
// by its number: its file is "Picture%04d.jpg" in the picture folder (at least four digits,
// so 10000 gives Picture10000.jpg). Numbers start at 1; 0 marks an empty record.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pictures/thumbnail_record.h"

// The number of a name that is exactly "Picture", decimal digits and ".jpg", when it lies in
// 1 to 2147483647; nothing for any other name (so no name can stand for picture 0 or repeat
// the number of another).
std::optional<int> ParsePictureNumber(std::string_view name);

// "Picture%04d.jpg".
std::string PictureFileName(int number);

// Writes folder + "/" + "Picture%04d.jpg" into `out`; false when it does not fit.
bool FormatPicturePath(char* out, std::size_t size, std::string_view folder, int number);

// The number the next snapshot gets: one more than the highest number of the list, 1 for an
// empty list, and 0 when the highest number leaves no number above it.
int NextPictureNumber(std::span<const ThumbnailRecord> list);

// Where the strip and its scroll bar stand after a change of the list: the last six pictures
// are shown; up to six pictures need no scroll bar.
struct ThumbScroll {
    bool enabled = false;
    int firstThumb = 0;
    int scrollMax = 0;
    int scrollPos = 0;
};
// `current` supplies the range and position, which stay as they are while the bar is off.
ThumbScroll ComputeThumbScroll(int count, const ThumbScroll& current);

// Closes the gap of record `index` of the list records[0, count): later records move down one
// place, their pixels copied into the blocks of their new places, and the last one is emptied.
void RemoveRecord(std::span<ThumbnailRecord> records, int& count, int index);

// Opens a gap at `index` of the list records[0, count) (0 <= index <= count < records.size()):
// records from `index` on move up one place, their pixels copied, and record `index` becomes
// picture `number`, not selected, its thumbnail still to come.
void InsertRecord(std::span<ThumbnailRecord> records, int& count, int index, int number);
