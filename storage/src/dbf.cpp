#include "db/dbf.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "db/numeric.h"
#include "rt/launcher.h"

namespace db {
namespace {

constexpr std::uint32_t kHeaderSize = 32, kDescriptorSize = 32;
constexpr unsigned char kTerminator = 0x0D, kEndMark = 0x1A;
// Gathered record writes go to the OS in pieces of about this size.
constexpr std::size_t kWriteBehindBytes = 256 * 1024;
// Records read in order are fetched in blocks of about this size.
constexpr std::size_t kReadAheadBytes = 64 * 1024;

bool knownVersion(unsigned char v) {
  static constexpr unsigned char kVersions[] = {0x02, 0x03, 0x04, 0x06, 0x30, 0x31, 0x7B,
                                                0x83, 0x86, 0x8B, 0xE5, 0xE6, 0xF5, 0xF6};
  return std::find(std::begin(kVersions), std::end(kVersions), v) != std::end(kVersions);
}

void putLe16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
void putLe32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

// A descriptor's name: bytes 0..9 up to the first 0x00, leading white space skipped, upper-cased,
// trailing blanks removed.
std::string descriptorName(const unsigned char* d) {
  std::size_t len = 0;
  while (len < 10 && d[len] != 0) ++len;
  std::string_view raw(reinterpret_cast<const char*>(d), len);
  std::size_t start = raw.find_first_not_of(" \t\r\n");
  raw = start == std::string_view::npos ? std::string_view() : raw.substr(start);
  std::size_t end = raw.find_last_not_of(' ');
  raw = end == std::string_view::npos ? std::string_view() : raw.substr(0, end + 1);
  std::string name(raw);
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return name;
}

// Closes the file on every way out of close(), including rt::Break.
struct CloseGuard {
  std::function<void()> release;
  ~CloseGuard() { release(); }
};

}  // namespace

std::string withDefaultExtension(std::string_view name, std::string_view ext) {
  std::size_t slash = name.find_last_of("/\\");
  std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  std::string out(name);
  if (base.find('.') == std::string_view::npos) out += ext;
  return out;
}

DbfTable::DbfTable() = default;
DbfTable::~DbfTable() { releaseFile(); }

rt::Answer DbfTable::raiseFileError(rt::ErrorObj& e, bool withOs) {
  e.filename = fileName_;
  if (withOs && file_ && e.oscode == 0) e.oscode = file_->lastError();
  return rt::raise(e);
}

bool DbfTable::openFile(const std::string& name, const rt::os::OpenMode& mode, int gencode,
                        int subcode) {
  fileName_ = name;
  rt::ErrorObj e;
  bool made = false;
  for (;;) {
    int code = 0;
    file_ = rt::os::os().open(name, mode, &code);
    if (file_) return true;
    if (!made) {
      e = makeError(gencode, subcode);
      e.canRetry = e.canDefault = true;
      made = true;
    }
    e.oscode = code;
    if (raiseFileError(e, false) != rt::Answer::Retry) return false;
  }
}

void DbfTable::releaseFile() {
  // Records gathered for writing still go to the file when a close was cut short (Quit, or an
  // error in the write back): they are the table's data, and the count comes from the size.
  if (file_ && pendingCount_ > 0) {
    file_->writeAt(headerLen_ + static_cast<std::uint64_t>(pendingFirst_ - 1) * recordLen_,
                   pending_.data(), static_cast<std::size_t>(pendingCount_) * recordLen_);
  }
  file_.reset();
  pendingCount_ = raCount_ = 0;
  pending_.clear();
  pending_.shrink_to_fit();
  readAhead_.clear();
  readAhead_.shrink_to_fit();
  positioned_ = valid_ = changed_ = appended_ = false;
  bof_ = eof_ = true;
}

void DbfTable::setBlank() {
  std::memset(buffer_.data(), ' ', buffer_.size());
  deleted_ = false;
}

bool DbfTable::create(const std::string& fileName, const std::vector<FieldDef>& fields) {
  const std::string name = withDefaultExtension(fileName, kTableExtension);
  const std::uint64_t n = fields.size();
  std::uint64_t recordLen = 1;
  for (const FieldDef& f : fields) recordLen += static_cast<std::uint64_t>(std::max(f.width, 0));
  if (kHeaderSize + kDescriptorSize * n + 2 > 0xFFFF || recordLen > 0xFFFF) {
    fileName_ = name;
    rt::ErrorObj e = makeError(rt::gen::kCreate, 1021);
    raiseFileError(e, false);
    return false;
  }
  rt::os::OpenMode mode;
  mode.create = mode.truncate = true;
  if (!openFile(name, mode, rt::gen::kCreate, 1004)) return false;

  fields_.clear();
  std::uint32_t offset = 1;
  for (const FieldDef& f : fields) {
    FieldInfo info;
    static_cast<FieldDef&>(info) = f;
    info.offset = offset;
    offset += static_cast<std::uint32_t>(f.width);
    fields_.push_back(std::move(info));
  }
  headerLen_ = static_cast<std::uint32_t>(kHeaderSize + kDescriptorSize * n + 2);
  recordLen_ = static_cast<std::uint32_t>(recordLen);
  count_ = 0;
  header_.fill(0);
  shared_ = readOnly_ = false;
  buffer_.assign(recordLen_, ' ');
  pendingCap_ =
      static_cast<std::uint32_t>(std::max<std::size_t>(1, kWriteBehindBytes / recordLen_));

  // The header write puts 0x1A at H; the descriptor block then ends with a blank over it, so a
  // new table is H + 1 bytes ending in 0x20.
  std::string block(kDescriptorSize * n + 3, '\0');
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const FieldInfo& f = fields_[i];
    char* d = block.data() + kDescriptorSize * i;
    std::memcpy(d, f.name.data(), std::min<std::size_t>(f.name.size(), 10));
    d[11] = f.type;
    d[16] = static_cast<char>(f.width & 0xFF);
    d[17] = static_cast<char>(f.type == 'C' ? (f.width >> 8) & 0xFF : f.decimals & 0xFF);
  }
  block[block.size() - 3] = static_cast<char>(kTerminator);
  block[block.size() - 1] = ' ';
  if (!writeHeader() || !writeAll(kHeaderSize, block.data(), block.size())) {
    releaseFile();
    return false;
  }
  return goTo(1);
}

bool DbfTable::open(const OpenRequest& def) {
  rt::os::OpenMode mode;
  mode.write = !def.readOnly;
  mode.share = def.shared ? rt::os::Share::Shared : rt::os::Share::Exclusive;
  if (!openFile(withDefaultExtension(def.fileName, kTableExtension), mode, rt::gen::kOpen, 1001))
    return false;
  shared_ = def.shared;
  readOnly_ = def.readOnly;
  if (!readStructure()) {
    releaseFile();
    return false;
  }
  return goTo(1);
}

// Reads the header and the descriptors, and counts the records from the file size.
bool DbfTable::readStructure() {
  rt::ErrorObj e;
  bool made = false;
  // A short read or a bad byte: "Corruption detected", retry reads again.
  auto corrupt = [&](std::int64_t got) {
    if (!made) {
      e = makeError(rt::gen::kCorruption, 1012);
      e.canRetry = e.canDefault = true;
      made = true;
    }
    e.oscode = got < 0 ? file_->lastError() : 0;
    return raiseFileError(e, false) == rt::Answer::Retry;
  };

  for (;;) {
    std::int64_t got = file_->readAt(0, header_.data(), kHeaderSize);
    if (got == kHeaderSize && knownVersion(header_[0])) break;
    if (!corrupt(got)) return false;
  }
  headerLen_ = header_[8] | (static_cast<std::uint32_t>(header_[9]) << 8);
  const std::uint32_t slots = headerLen_ >= kHeaderSize ? (headerLen_ - kHeaderSize) / 32 : 0;
  std::string desc(static_cast<std::size_t>(slots) * kDescriptorSize, '\0');
  for (;;) {
    std::int64_t got = file_->readAt(kHeaderSize, desc.data(), desc.size());
    if (got == static_cast<std::int64_t>(desc.size())) break;
    if (!corrupt(got)) return false;
  }

  // A field type this driver does not handle, or a structure no record can have: the open fails
  // whatever the handler answers.
  auto badStructure = [&] {
    rt::ErrorObj bad = makeError(rt::gen::kCorruption, 1012);
    bad.canDefault = true;
    raiseFileError(bad, false);
    return false;
  };
  fields_.clear();
  std::uint64_t offset = 1;
  for (std::uint32_t i = 0; i < slots; ++i) {
    const auto* d = reinterpret_cast<const unsigned char*>(desc.data()) + kDescriptorSize * i;
    if (d[0] == kTerminator) break;
    FieldInfo f;
    f.name = descriptorName(d);
    f.type = static_cast<char>(d[11]);
    if (f.type == 'C') {
      f.width = d[16] + 256 * d[17];
    } else if (f.type == 'N') {
      f.width = d[16];
      f.decimals = d[17];
    } else {
      return badStructure();
    }
    f.offset = static_cast<std::uint32_t>(offset);
    offset += static_cast<std::uint64_t>(f.width);
    fields_.push_back(std::move(f));
  }
  if (fields_.empty() || offset > 0xFFFF) return badStructure();
  recordLen_ = static_cast<std::uint32_t>(offset);

  std::int64_t size = 0;
  while ((size = file_->size()) < 0)
    if (!corrupt(size)) return false;
  std::uint64_t records = static_cast<std::uint64_t>(size) > headerLen_
                              ? (static_cast<std::uint64_t>(size) - headerLen_) / recordLen_
                              : 0;
  count_ = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(records, std::numeric_limits<std::uint32_t>::max() - 1));
  buffer_.assign(recordLen_, ' ');
  pendingCap_ =
      static_cast<std::uint32_t>(std::max<std::size_t>(1, kWriteBehindBytes / recordLen_));
  return true;
}

bool DbfTable::close() {
  if (!file_) return true;
  CloseGuard guard{[this] { releaseFile(); }};
  return DbfTable::flush();
}

// --- positioning -------------------------------------------------------------------------------

bool DbfTable::goTo(std::uint32_t n) {
  if (!goCold()) return false;
  // Gathered writes wait only while the area moves straight on past them (a scan or a run of
  // appends); any other movement hands them to the OS first.
  if (pendingCount_ > 0 && n != pendingFirst_ + pendingCount_ && !writePending()) return false;
  found_ = false;
  if (n >= 1 && n <= count_) {
    recNo_ = n;
    positioned_ = true;
    bof_ = eof_ = false;
    valid_ = false;
  } else {
    recNo_ = count_ + 1;
    positioned_ = false;
    bof_ = eof_ = true;
    setBlank();
    valid_ = true;
  }
  return true;
}

bool DbfTable::goTop() { return goTo(1) && skipFilter(1); }

bool DbfTable::skipRaw(std::int64_t n) {
  std::int64_t target = static_cast<std::int64_t>(recNo_) + n;
  if (target < 1) {
    if (!goTo(1)) return false;
    bof_ = true;
    return true;
  }
  std::int64_t past = static_cast<std::int64_t>(count_) + 1;
  return goTo(static_cast<std::uint32_t>(std::min(target, past)));
}

bool DbfTable::skip(std::int64_t n) {
  if (n == 0) {
    if (!goCold()) return false;
    if (positioned_) valid_ = false;  // read the record again on next use
    return true;
  }
  if (!skipRaw(n)) return false;
  if (n < 0) {
    eof_ = false;
  } else {
    bof_ = false;
  }
  return true;
}

// --- record I/O --------------------------------------------------------------------------------

bool DbfTable::readRecordAt(std::uint32_t k, char* out) {
  ++counters_.recordReads;
  const std::uint32_t previous = lastRead_;
  lastRead_ = k;
  if (pendingCount_ > 0 && k >= pendingFirst_ && k - pendingFirst_ < pendingCount_) {
    std::memcpy(out, pending_.data() + static_cast<std::size_t>(k - pendingFirst_) * recordLen_,
                recordLen_);
    return true;
  }
  if (raCount_ > 0 && k >= raFirst_ && k - raFirst_ < raCount_) {
    std::memcpy(out, readAhead_.data() + static_cast<std::size_t>(k - raFirst_) * recordLen_,
                recordLen_);
    return true;
  }
  const std::uint64_t at = headerLen_ + static_cast<std::uint64_t>(k - 1) * recordLen_;
  // Reading in record order (and nobody else writing the file): fetch a block.
  if (!shared_ && k == previous + 1 && k < count_) {
    const std::uint32_t n = std::min<std::uint32_t>(
        count_ - k + 1,
        static_cast<std::uint32_t>(std::max<std::size_t>(1, kReadAheadBytes / recordLen_)));
    readAhead_.resize(static_cast<std::size_t>(n) * recordLen_);
    std::int64_t got = file_->readAt(at, readAhead_.data(), readAhead_.size());
    if (got == static_cast<std::int64_t>(readAhead_.size())) {
      raFirst_ = k;
      raCount_ = n;
      std::memcpy(out, readAhead_.data(), recordLen_);
      return true;
    }
    raCount_ = 0;  // the file is shorter than counted: read the one record and report that
  }
  std::int64_t got = file_->readAt(at, out, recordLen_);
  if (got == static_cast<std::int64_t>(recordLen_)) return true;
  rt::ErrorObj e = makeError(rt::gen::kRead, 1010);
  e.oscode = got < 0 ? file_->lastError() : 0;
  raiseFileError(e, false);
  return false;
}

bool DbfTable::writeAll(std::uint64_t offset, const void* data, std::size_t n) {
  std::int64_t put = file_->writeAt(offset, data, n);
  if (put == static_cast<std::int64_t>(n)) {
    dataWritten_ = true;
    return true;
  }
  rt::ErrorObj e = makeError(rt::gen::kWrite, 1011);
  e.oscode = put < 0 ? file_->lastError() : 0;
  raiseFileError(e, false);
  return false;
}

bool DbfTable::writePending() {
  if (pendingCount_ == 0) return true;
  const std::size_t n = static_cast<std::size_t>(pendingCount_) * recordLen_;
  const std::uint64_t at = headerLen_ + static_cast<std::uint64_t>(pendingFirst_ - 1) * recordLen_;
  pendingCount_ = 0;
  return writeAll(at, pending_.data(), n);
}

bool DbfTable::writeRecordAt(std::uint32_t k, const char* data) {
  ++counters_.recordWrites;
  if (raCount_ > 0 && k >= raFirst_ && k - raFirst_ < raCount_) {
    std::memcpy(readAhead_.data() + static_cast<std::size_t>(k - raFirst_) * recordLen_, data,
                recordLen_);
  }
  if (shared_) {  // other programs may read the file: no gathering
    return writeAll(headerLen_ + static_cast<std::uint64_t>(k - 1) * recordLen_, data, recordLen_);
  }
  if (pendingCount_ > 0 && k >= pendingFirst_ && k - pendingFirst_ < pendingCount_) {
    std::memcpy(pending_.data() + static_cast<std::size_t>(k - pendingFirst_) * recordLen_, data,
                recordLen_);
    return true;
  }
  if (pendingCount_ == 0 || k != pendingFirst_ + pendingCount_) {
    if (!writePending()) return false;
    pendingFirst_ = k;
  }
  if (pending_.size() < static_cast<std::size_t>(pendingCap_) * recordLen_)
    pending_.resize(static_cast<std::size_t>(pendingCap_) * recordLen_);
  std::memcpy(pending_.data() + static_cast<std::size_t>(pendingCount_) * recordLen_, data,
              recordLen_);
  ++pendingCount_;
  return pendingCount_ < pendingCap_ || writePending();
}

rt::os::File& DbfTable::file() {
  writePending();
  return *file_;
}

bool DbfTable::ensureRecord() {
  if (valid_) return true;
  if (!readRecordAt(recNo_, buffer_.data())) return false;
  valid_ = true;
  deleted_ = buffer_[0] == '*';
  return true;
}

// --- changes -----------------------------------------------------------------------------------

bool DbfTable::goHot() {
  if (changed_) return true;
  if (refusedReadOnly()) return false;
  if (shared_ && recNo_ != lockedRecord_) {
    rt::ErrorObj e = makeError(rt::gen::kLockRequired, 1022);
    rt::raise(e);
    return false;
  }
  changed_ = true;
  return true;
}

bool DbfTable::goCold() {
  if (!changed_) return true;
  if (!writeRecordAt(recNo_, buffer_.data())) return false;
  changed_ = false;
  dataWritten_ = true;
  if (appended_) {
    appended_ = false;
    headerDue_ = true;
  }
  return true;
}

bool DbfTable::append(bool) {
  if (!goCold()) return false;
  if (refusedReadOnly()) return false;
  if (shared_) {  // another program may have appended since: count again
    std::int64_t size = file_->size();
    if (size > static_cast<std::int64_t>(headerLen_))
      count_ =
          static_cast<std::uint32_t>((static_cast<std::uint64_t>(size) - headerLen_) / recordLen_);
  }
  if (count_ >= std::numeric_limits<std::uint32_t>::max() - 1) {
    rt::ErrorObj e = makeError(rt::gen::kWrite, 1011);
    raiseFileError(e, false);
    return false;
  }
  ++count_;
  recNo_ = count_;
  setBlank();
  positioned_ = valid_ = changed_ = appended_ = headerDue_ = true;
  bof_ = eof_ = found_ = false;
  if (shared_) {
    lockedRecord_ = recNo_;
    return goCold();
  }
  return true;
}

bool DbfTable::deleteRecord() {
  if (!positioned_) return true;
  if (!ensureRecord() || !goHot()) return false;
  buffer_[0] = '*';
  deleted_ = true;
  return true;
}

bool DbfTable::recall() {
  if (!positioned_) return true;
  if (!ensureRecord() || !goHot()) return false;
  buffer_[0] = ' ';
  deleted_ = false;
  return true;
}

bool DbfTable::deleted(bool& out) {
  if (positioned_ && !ensureRecord()) return false;
  out = deleted_;
  return true;
}

bool DbfTable::getValue(std::size_t index, rt::Value& out) {
  if (index >= fields_.size()) return false;
  if (positioned_ && !ensureRecord()) return false;
  const FieldInfo& f = fields_[index];
  std::string_view bytes(buffer_.data() + f.offset, static_cast<std::size_t>(f.width));
  if (f.type == 'N') {
    out = decodeNumber(bytes, f.decimals);
  } else {
    out = rt::Value(std::string(bytes));
  }
  return true;
}

bool DbfTable::putValue(std::size_t index, const rt::Value& v) {
  if (index >= fields_.size()) return false;
  if (!positioned_) return true;
  if (!ensureRecord() || !goHot()) return false;
  const FieldInfo& f = fields_[index];
  char* at = buffer_.data() + f.offset;
  const std::size_t width = static_cast<std::size_t>(f.width);
  int failure = 0;
  if (f.type == 'C') {
    if (v.isText()) {
      const std::string& s = v.text();
      const std::size_t n = std::min(s.size(), width);
      std::memcpy(at, s.data(), n);
      std::memset(at + n, ' ', width - n);
    } else {
      failure = 1020;
    }
  } else if (!v.isNumber()) {
    failure = 1020;
  } else if (!encodeNumber(v, f.width, f.decimals, at)) {
    std::memset(at, '*', width);  // the stored value of a number that does not fit
    failure = 1021;
  }
  if (failure == 0) return true;
  rt::ErrorObj e = makeError(failure == 1020 ? rt::gen::kDataType : rt::gen::kDataWidth, failure);
  e.operation = f.name;
  e.canDefault = true;
  rt::raise(e);
  return true;  // after default the assignment counts as done
}

bool DbfTable::getRecord(std::string_view& out) {
  if (positioned_ && !ensureRecord()) return false;
  out = buffer_;
  return true;
}

bool DbfTable::refusedReadOnly() {
  if (!readOnly_) return false;
  rt::ErrorObj e = makeError(rt::gen::kReadOnly, 1025);
  rt::raise(e);
  return true;
}

bool DbfTable::putRecord(std::string_view bytes) {
  if (!positioned_) return true;
  if (!ensureRecord() || !goHot()) return false;
  const std::size_t n = std::min(bytes.size(), buffer_.size());
  std::memcpy(buffer_.data(), bytes.data(), n);
  std::memset(buffer_.data() + n, ' ', buffer_.size() - n);
  deleted_ = buffer_[0] == '*';
  return true;
}

// --- header, flush, pack -----------------------------------------------------------------------

bool DbfTable::writeHeader() {
  if (refusedReadOnly()) return false;
  if (!writePending()) return false;
  raCount_ = 0;       // the file may be cut below records read ahead
  header_[0] = 0x03;  // no memo fields
  header_[28] = 0;    // no structural index
  std::tm today = rt::os::os().localTime();
  header_[1] = static_cast<unsigned char>(((today.tm_year % 256) + 256) % 256);
  header_[2] = static_cast<unsigned char>(today.tm_mon + 1);
  header_[3] = static_cast<unsigned char>(today.tm_mday);
  if (!shared_) {
    const std::uint64_t end = headerLen_ + static_cast<std::uint64_t>(count_) * recordLen_;
    const unsigned char mark = kEndMark;
    if (!writeAll(end, &mark, 1)) return false;
    if (!file_->truncate(end + 1)) {
      rt::ErrorObj e = makeError(rt::gen::kWrite, 1011);
      raiseFileError(e, true);
      return false;
    }
  } else {
    std::int64_t size = file_->size();
    if (size > static_cast<std::int64_t>(headerLen_))
      count_ =
          static_cast<std::uint32_t>((static_cast<std::uint64_t>(size) - headerLen_) / recordLen_);
  }
  putLe32(&header_[4], count_);
  putLe16(&header_[8], headerLen_);
  putLe16(&header_[10], recordLen_);
  if (!writeAll(0, header_.data(), kHeaderSize)) return false;
  headerDue_ = false;
  ++counters_.headerWrites;
  return true;
}

bool DbfTable::flush() {
  if (!file_) return true;
  if (!goCold()) return false;
  if (headerDue_ && !writeHeader()) return false;
  if (!writePending()) return false;
  if (dataWritten_) {
    if (!file_->commit()) {
      rt::ErrorObj e = makeError(rt::gen::kWrite, 1011);
      raiseFileError(e, true);
      return false;
    }
    dataWritten_ = false;
  }
  return true;
}

bool DbfTable::pack() {
  if (refusedReadOnly()) return false;
  if (shared_) {
    rt::ErrorObj e = makeError(rt::gen::kExclusive, 1023);
    rt::raise(e);
    return false;
  }
  if (!goCold()) return false;
  std::uint32_t kept = 0;
  for (std::uint32_t i = 1; i <= count_; ++i) {
    recNo_ = i;
    positioned_ = true;
    valid_ = false;
    if (!ensureRecord()) return false;
    if (packProgress && packInterval > 0 && i % packInterval == 0) {
      packProgress();
      if (!file_) return false;  // the callback closed the table
    }
    if (deleted_) continue;
    ++kept;
    if (kept != i && !writeRecordAt(kept, buffer_.data())) return false;
  }
  if (kept != count_) {
    count_ = kept;
    headerDue_ = true;
    if (!writeHeader()) return false;
  }
  return goTo(1);
}

}  // namespace db
