#include "pictures/picture_numbering.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::string_view kPrefix = "Picture";
constexpr std::string_view kSuffix = ".jpg";
constexpr int kStripFrames = 6;

// A record's picture goes to another place: its pixels are copied into that place's own block.
void CopyRecord(const ThumbnailRecord& from, ThumbnailRecord& to) {
    to.nNumber = from.nNumber;
    std::memcpy(to.pPixels, from.pPixels, kThumbBlockBytes);
    to.bSelected = from.bSelected;
    to.pixelsReady = from.pixelsReady;
}

}  // namespace

std::optional<int> ParsePictureNumber(std::string_view name) {
    if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix)) {
        return std::nullopt;
    }
    const std::string_view digits =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    long long number = 0;
    for (const char digit : digits) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        number = number * 10 + (digit - '0');
        if (number > INT_MAX) {
            return std::nullopt;
        }
    }
    if (number == 0) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

std::string PictureFileName(int number) {
    char name[32];
    std::snprintf(name, sizeof name, "Picture%04d.jpg", number);
    return name;
}

bool FormatPicturePath(char* out, std::size_t size, std::string_view folder, int number) {
    // The root folder already ends with the separator.
    const char* separator = folder.ends_with('/') ? "" : "/";
    const int length =
        std::snprintf(out, size, "%.*s%sPicture%04d.jpg", static_cast<int>(folder.size()),
                      folder.data(), separator, number);
    return length >= 0 && static_cast<std::size_t>(length) < size;
}

int NextPictureNumber(std::span<const ThumbnailRecord> list) {
    int highest = 0;
    for (const ThumbnailRecord& record : list) {
        highest = std::max(highest, record.nNumber);
    }
    return highest == INT_MAX ? 0 : highest + 1;
}

ThumbScroll ComputeThumbScroll(int count, const ThumbScroll& current) {
    ThumbScroll scroll = current;
    if (count <= kStripFrames) {
        scroll.enabled = false;
        scroll.firstThumb = 0;
        return scroll;
    }
    scroll.enabled = true;
    scroll.firstThumb = count - kStripFrames;
    scroll.scrollMax = count / kStripFrames;
    scroll.scrollPos = scroll.scrollMax;
    return scroll;
}

void RemoveRecord(std::span<ThumbnailRecord> records, int& count, int index) {
    if (index < 0 || index >= count) {
        return;
    }
    for (int j = index; j < count - 1; ++j) {
        CopyRecord(records[j + 1], records[j]);
    }
    records[count - 1].nNumber = 0;
    records[count - 1].pixelsReady = false;
    --count;
}

void InsertRecord(std::span<ThumbnailRecord> records, int& count, int index, int number) {
    if (index < 0 || index > count || static_cast<std::size_t>(count) >= records.size()) {
        return;
    }
    for (int j = count; j > index; --j) {
        CopyRecord(records[j - 1], records[j]);
    }
    records[index].nNumber = number;
    records[index].bSelected = false;
    records[index].pixelsReady = false;
    ++count;
}
