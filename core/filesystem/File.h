// File.h — one file named by its absolute path, with whole-file operations.
//
// A File is a name, not an open file: each operation opens and closes what
// it needs. It is made absolute against the working directory at
// construction and changes only through a successful rename(). Writing to a
// file whose directories are missing creates them first.
//
// Bytes travel as ByteBuffer / ByteBufferView, text as lines: readText()
// splits at '\n' (a final line end adds no empty line), writeText() ends
// every line, the last included, with '\n' in text mode ("\r\n" on Windows).
//
// Example:
//   File f("/var/tmp/app/notes.txt");
//   f.writeText({"first", "second"});   // creates /var/tmp/app if needed
//   f.appendText({"third"});
//   f.readText();                       // {"first", "second", "third"}
//   f.name();                           // "notes.txt"
//
// Errors: every failure is reported at level Error under the category
// "Filesystem::File" and shows in the result as false, 0, -1 or an empty
// value. Only what Path lets through (a working directory that cannot be
// read, on Windows names that are not valid UTF-8) leaves an operation as an
// exception. openForReading/openForWriting report nothing: check the stream.
//
// Safety: no locking; concurrent users of one file are not coordinated.
#pragma once

#include "core/Export.h"
#include "core/buffer/ByteBuffer.h"
#include "core/buffer/ByteBufferView.h"
#include "core/filesystem/Path.h"

#include <fstream>
#include <string>
#include <vector>

namespace Orvantis::Filesystem {

class ORVANTIS_API File {
public:
    explicit File(const std::string& path);
    explicit File(const Path& path);
    File(const File&) = default;
    File& operator=(const File&) = default;
    ~File();

    const Path& path() const { return absolute; }
    // Whether any entry exists at the path.
    bool exists() const;
    // The file name: base name plus "." and the full extension, if any.
    std::string name() const;
    Path parentDirectory() const;

    // Creates an empty file; refuses an existing one. The parent must exist.
    bool create();
    // Creates every missing parent directory, then the file.
    bool createRecursive();
    // Removes the file; true when it does not exist.
    bool remove();
    // Renames or moves the file; a relative name is taken below the file's
    // directory. Refuses to replace an existing entry.
    bool rename(const std::string& newName);

    // Size in bytes; 0 for a missing file (without a report).
    unsigned long long size() const;
    // Last write time in seconds since 1970-01-01 UTC; 0 for a missing file,
    // -1 (with a report) when it cannot be read.
    long long lastModified() const;

    // The whole content; empty (with a report) on failure.
    ByteBuffer readBinary() const;
    // The content as lines without their '\n'; empty (with a report) on
    // failure.
    std::vector<std::string> readText() const;

    // Replace or extend the content. False (with a report) when the file
    // cannot be opened or not every byte reached it.
    bool writeBinary(const ByteBufferView& data);
    bool appendBinary(const ByteBufferView& data);
    bool writeText(const std::vector<std::string>& lines);
    bool appendText(const std::vector<std::string>& lines);

    // Streams on the file, opened with `mode` (std::ios_base::openmode bits)
    // plus in / out. A stream that failed to open comes back failed.
    std::ifstream openForReading(int mode) const;
    std::ofstream openForWriting(int mode);

private:
    bool writeAppendBinaryImpl(const ByteBufferView& data, int mode);
    bool writeAppendTextImpl(const std::vector<std::string>& lines, int mode);

    Path absolute;
};

}  // namespace Orvantis::Filesystem
