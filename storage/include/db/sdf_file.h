// A fixed-width text file read as records: one record per CR LF line, the line's bytes laid over
// a record image of a fixed length. The byte rules and their arithmetic are in
// docs/text-import.md.
//
// Reads go through one buffer allocated at open (flag byte + image + room for a terminator + 2);
// no line allocates. Without read-ahead every line costs one positioned read of at most one window
// (record length + 4 bytes); a line longer than record length + 2 bytes costs extra window reads
// when the reader moves past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "rt/os.h"

namespace db {

// The default extension of text files.
inline constexpr std::string_view kTextExtension = ".txt";

struct SdfOptions {
  // Bytes fetched per system call and served window by window under the same line rules; the
  // records come out identical. 0 reads each window straight from the file.
  std::size_t readAhead = 0;
};

class SdfFile {
 public:
  static constexpr char kCr = '\r', kLf = '\n', kEofMark = 0x1A;
  static constexpr std::size_t kTermLen = 2;  // CR LF

  // Opens `name` (kTextExtension added when its last path component has no '.') read-only and
  // shared, allocates the record buffer and goes to the first line. `recordLength` must be at
  // least 1.
  //
  // Failure: raises "Open error" (subsystem "SDF", 21/1001) with the OS code and the file name as
  // opened, retry and default allowed. Each retry tries the open again and, should it fail again,
  // raises the same error object (its TRIES counting). Default gives nullptr; a break propagates
  // (nothing is left open).
  static std::unique_ptr<SdfFile> open(std::string_view name, std::size_t recordLength,
                                       SdfOptions options = {});

  // Line 1, read again from offset 0.
  void goTop();
  // Forward by one line. At the last line (or at the end) the reader is at its end afterwards,
  // with a blank image; the record number goes up by one only when a line was current.
  void skip();

  bool eof() const { return eof_; }
  // The current line number, 1-based (lines + 1 once skipped past the last line).
  std::uint64_t recNo() const { return recNo_; }
  // The deletion-flag byte (always a blank) followed by the image: 1 + recordLength bytes.
  std::string_view record() const { return {buf_.get(), 1 + recLen_}; }
  std::string_view image() const { return {buf_.get() + 1, recLen_}; }

  const std::string& fileName() const { return name_; }
  std::size_t recordLength() const { return recLen_; }
  std::size_t window() const { return window_; }
  // True once a failing read was given up by the error handler since the last go top; the reader
  // was then put at its end, so an import that stops there must not report success.
  bool readFailed() const { return readFailed_; }

 private:
  SdfFile(std::unique_ptr<rt::os::File> file, std::string name, std::size_t recordLength,
          SdfOptions options);

  void readLine(std::uint64_t start);
  void setEnd();
  // The start of the line after the one at `start`, which fills a whole window without a
  // terminator; kNoLine when the file ends first.
  std::int64_t scanPastLongLine(std::uint64_t start);
  // Up to `n` bytes at `offset` into `dst`: fewer only at the end of the file.
  std::size_t readWindow(std::uint64_t offset, char* dst, std::size_t n);
  std::size_t readFile(std::uint64_t offset, char* dst, std::size_t n);

  // Next-line offset: a real offset, or one of these (a real next line never starts at 0).
  static constexpr std::int64_t kLongLine = 0, kNoLine = -1;

  std::unique_ptr<rt::os::File> file_;
  std::string name_;
  std::size_t recLen_;
  std::size_t window_;           // recLen_ + kTermLen + 2
  std::unique_ptr<char[]> buf_;  // 1 + window_ bytes: flag byte, then the window at the image
  std::uint64_t lineStart_ = 0;
  std::int64_t nextLine_ = kNoLine;
  std::uint64_t recNo_ = 1;
  bool eof_ = true;
  bool positioned_ = false;
  bool readFailed_ = false;

  // Read-ahead block: file bytes [aheadOff_, aheadOff_ + aheadLen_); aheadEof_ when the block
  // came up short, so nothing lies beyond it.
  std::unique_ptr<char[]> ahead_;
  std::size_t aheadSize_ = 0;
  std::uint64_t aheadOff_ = 0;
  std::size_t aheadLen_ = 0;
  bool aheadEof_ = false;
};

}  // namespace db
