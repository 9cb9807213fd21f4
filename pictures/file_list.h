#pragma once

// "FileList.txt" in the current directory: the listing of the start-up scan, written only while
// the diagnostic log is on. A header naming the folder, one line per picture name examined, and,
// when the names ran out, a summary with the number of pictures listed and no line end.

#include <cstdio>
#include <memory>
#include <string_view>

class FileListWriter {
public:
    // Creates (or truncates) the file and writes the header; when `enabled` is false or the
    // file cannot be created, every write is silently skipped.
    FileListWriter(bool enabled, std::string_view folder);

    void Name(std::string_view name);
    void Summary(int count);

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
};
