#include <algorithm>
#include <cstring>

#include "db/index_file.h"
#include "index_error.h"
#include "rt/error.h"
#include "rt/os.h"

namespace db {

namespace {
constexpr std::uint32_t kBlockBytes = 64 * 1024;
}

TableKeySource::TableKeySource(rt::os::File& table, std::string tableName, const Layout& layout,
                               unsigned keyLength)
    : table_(table),
      name_(std::move(tableName)),
      layout_(layout),
      keyLength_(keyLength),
      perBlock_(std::max<std::uint32_t>(
          kBlockBytes / std::max<std::uint32_t>(layout.recordLength, 1), 1)) {
  block_.resize(std::size_t{perBlock_} * layout_.recordLength);
}

void TableKeySource::next(char* key) {
  if (used_ == inBlock_) {
    const std::uint32_t m = std::min(perBlock_, layout_.count - done_);
    const std::size_t bytes = std::size_t{m} * layout_.recordLength;
    const std::uint64_t at = layout_.headerLength + std::uint64_t{done_} * layout_.recordLength;
    const std::int64_t got = table_.readAt(at, block_.data(), bytes);
    if (got != static_cast<std::int64_t>(bytes))
      ntx::fail(rt::gen::kRead, ntx::sub::kRead, name_, got < 0 ? table_.lastError() : 0);
    done_ += m;
    inBlock_ = m;
    used_ = 0;
  }
  const char* field =
      block_.data() + std::size_t{used_++} * layout_.recordLength + layout_.keyOffset;
  const unsigned take = std::min(keyLength_, layout_.keyWidth);
  std::memcpy(key, field, take);
  std::memset(key + take, ' ', keyLength_ - take);
}

}  // namespace db
