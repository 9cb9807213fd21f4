#pragma once

// Shared by the picture benchmarks: folders of test pictures (made once and kept in the temporary
// folder, since encoding thousands of JPEG files takes longer than the measurement), and a
// count of heap allocations made while a flag is raised.

#include <FreeImage.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace picture_bench {

// A folder of `count` pictures of width x height named Picture0001.jpg on, with a moving
// colour pattern so that every file decodes with real work.
inline std::string PictureFolder(int count, int width, int height) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("lumisight-bench-pictures-" + std::to_string(width) + "x" + std::to_string(height) + "-" +
         std::to_string(count));
    const std::filesystem::path done = folder / ".complete";
    if (std::filesystem::exists(done)) {
        return folder.string();
    }
    std::filesystem::create_directories(folder);
    FIBITMAP* image = FreeImage_Allocate(width, height, 24);
    for (int number = 1; number <= count; ++number) {
        for (int y = 0; y < height; ++y) {
            BYTE* line = FreeImage_GetScanLine(image, y);
            for (int x = 0; x < width; ++x) {
                line[3 * x + 0] = static_cast<BYTE>(x + number);
                line[3 * x + 1] = static_cast<BYTE>(y * 2 + number * 3);
                line[3 * x + 2] = static_cast<BYTE>((x ^ y) + number * 7);
            }
        }
        char name[32];
        std::snprintf(name, sizeof name, "Picture%04d.jpg", number);
        FreeImage_Save(FIF_JPEG, image, (folder / name).c_str(), JPEG_DEFAULT);
    }
    FreeImage_Unload(image);
    std::FILE* marker = std::fopen(done.c_str(), "w");
    if (marker != nullptr) {
        std::fclose(marker);
    }
    return folder.string();
}

// A YUY2 frame with a pattern over the whole value range.
inline std::vector<std::uint8_t> PatternFrame(int width, int height) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 2);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 37 + (i >> 9));
    }
    return frame;
}

}  // namespace picture_bench
