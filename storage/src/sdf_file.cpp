#include "db/sdf_file.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "db/dbf.h"
#include "rt/error.h"
#include "rt/launcher.h"

namespace db {
namespace {

constexpr int kOpenSubcode = 1001, kReadSubcode = 1010;

// Index of the first CR that is followed by LF within p[0..n), or n.
std::size_t findTerminator(const char* p, std::size_t n) {
  const char* end = p + n;
  for (const char* s = p; s < end;) {
    const void* cr = std::memchr(s, SdfFile::kCr, static_cast<std::size_t>(end - s));
    if (!cr) break;
    const char* c = static_cast<const char*>(cr);
    if (c + 1 < end && c[1] == SdfFile::kLf) return static_cast<std::size_t>(c - p);
    s = c + 1;
  }
  return n;
}

}  // namespace

std::unique_ptr<SdfFile> SdfFile::open(std::string_view name, std::size_t recordLength,
                                       SdfOptions options) {
  std::string fileName = withDefaultExtension(name, kTextExtension);
  const rt::os::OpenMode mode{.write = false, .share = rt::os::Share::Shared};
  std::optional<rt::ErrorObj> err;
  for (;;) {
    int code = 0;
    std::unique_ptr<rt::os::File> f = rt::os::os().open(fileName, mode, &code);
    if (f) {
      std::unique_ptr<SdfFile> sdf(
          new SdfFile(std::move(f), std::move(fileName), recordLength, options));
      sdf->goTop();
      return sdf;
    }
    if (!err) {
      err = rt::makeError("SDF", rt::gen::kOpen, kOpenSubcode);
      err->filename = fileName;
      err->canRetry = true;
      err->canDefault = true;
    }
    err->oscode = code;
    if (rt::raise(*err) != rt::Answer::Retry) return nullptr;
  }
}

SdfFile::SdfFile(std::unique_ptr<rt::os::File> file, std::string name, std::size_t recordLength,
                 SdfOptions options)
    : file_(std::move(file)),
      name_(std::move(name)),
      recLen_(recordLength),
      window_(recordLength + kTermLen + 2),
      buf_(new char[1 + window_]) {
  buf_[0] = ' ';
  std::memset(buf_.get() + 1, ' ', recLen_);
  if (options.readAhead > 0) {
    aheadSize_ = std::max(options.readAhead, window_);
    ahead_.reset(new char[aheadSize_]);
  }
}

void SdfFile::goTop() {
  aheadLen_ = 0;  // read the file again, not a block fetched earlier
  aheadEof_ = false;
  readFailed_ = false;
  recNo_ = 1;
  readLine(0);
}

void SdfFile::skip() {
  if (!positioned_) {
    setEnd();
    return;
  }
  std::int64_t next = nextLine_ == kLongLine ? scanPastLongLine(lineStart_) : nextLine_;
  ++recNo_;
  if (next == kNoLine)
    setEnd();
  else
    readLine(static_cast<std::uint64_t>(next));
}

void SdfFile::setEnd() {
  eof_ = true;
  positioned_ = false;
  std::memset(buf_.get() + 1, ' ', recLen_);
}

void SdfFile::readLine(std::uint64_t start) {
  char* img = buf_.get() + 1;
  std::size_t n = readWindow(start, img, window_);
  if (n > 0 && n < window_ && img[n - 1] == kEofMark) --n;
  if (n == 0) {
    setEnd();
    return;
  }
  positioned_ = true;
  eof_ = false;
  lineStart_ = start;
  std::size_t p = findTerminator(img, n);
  if (p < n) {
    nextLine_ = static_cast<std::int64_t>(start + p + kTermLen);
  } else if (n < window_) {
    nextLine_ = kNoLine;  // the last line, running to the end of the file
  } else {
    nextLine_ = kLongLine;  // its end lies beyond this window
    return;
  }
  if (p < recLen_) std::memset(img + p, ' ', recLen_ - p);
}

std::int64_t SdfFile::scanPastLongLine(std::uint64_t start) {
  // The buffer still holds the line's first window (full, without a terminator), so the search
  // goes on from its end. Each following window starts with the previous one's last
  // kTermLen - 1 bytes, so that a CR LF split between two windows is still found.
  constexpr std::size_t kCarry = kTermLen - 1;
  char* win = buf_.get() + 1;
  std::uint64_t offset = start + window_;  // first byte not searched yet
  for (;;) {
    std::memmove(win, win + window_ - kCarry, kCarry);
    std::size_t got = readWindow(offset, win + kCarry, window_ - kCarry);
    if (got == 0) return kNoLine;
    std::size_t n = kCarry + got;
    if (n < window_ && win[n - 1] == kEofMark) --n;
    std::size_t p = findTerminator(win, n);
    if (p < n) return static_cast<std::int64_t>(offset - kCarry + p + kTermLen);
    if (n < window_) return kNoLine;
    offset += window_ - kCarry;
  }
}

std::size_t SdfFile::readWindow(std::uint64_t offset, char* dst, std::size_t n) {
  if (!ahead_) return readFile(offset, dst, n);
  std::uint64_t end = aheadOff_ + aheadLen_;
  bool inBlock = offset >= aheadOff_ && (offset + n <= end || (aheadEof_ && offset <= end));
  if (!inBlock) {
    aheadOff_ = offset;
    aheadLen_ = readFile(offset, ahead_.get(), aheadSize_);
    aheadEof_ = aheadLen_ < aheadSize_;
    end = aheadOff_ + aheadLen_;
  }
  std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(n, end - offset));
  std::memcpy(dst, ahead_.get() + (offset - aheadOff_), got);
  return got;
}

std::size_t SdfFile::readFile(std::uint64_t offset, char* dst, std::size_t n) {
  std::optional<rt::ErrorObj> err;
  for (;;) {
    std::int64_t got = file_->readAt(offset, dst, n);
    if (got >= 0) return static_cast<std::size_t>(got);
    // A failing read is not the end of the file: saying so would pass a cut import off as
    // complete. The handler may retry it; given up, the reader stops as at the end.
    if (!err) {
      err = rt::makeError("SDF", rt::gen::kRead, kReadSubcode);
      err->filename = name_;
      err->canRetry = true;
      err->canDefault = true;
    }
    err->oscode = file_->lastError();
    if (rt::raise(*err) != rt::Answer::Retry) {
      readFailed_ = true;
      return 0;
    }
  }
}

}  // namespace db
