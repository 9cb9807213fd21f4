#include "pictures/file_list.h"

FileListWriter::FileListWriter(bool enabled, std::string_view folder) {
    if (!enabled) {
        return;
    }
    m_file.reset(std::fopen("FileList.txt", "w"));
    if (m_file) {
        std::fprintf(m_file.get(), "檢查在目錄 %.*s\n", static_cast<int>(folder.size()),
                     folder.data());
    }
}

void FileListWriter::Name(std::string_view name) {
    if (m_file) {
        std::fprintf(m_file.get(), "%.*s\n", static_cast<int>(name.size()), name.data());
    }
}

void FileListWriter::Summary(int count) {
    if (m_file) {
        std::fprintf(m_file.get(), "    總共有 %d個圖檔", count);
    }
}
