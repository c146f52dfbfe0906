// The build's sort: (key, record number) pairs by key, stable, so equal keys keep the order in
// which they were added (record-number order).
//
// Pairs are sorted in memory in runs. When the count given up front exceeds one run, each sorted
// run goes to a temporary file and the runs are merged at the end, the earlier run first on equal
// keys; the temporary file is removed when the sorter is destroyed. Temporary-file failures raise
// "DBFNTX" errors 1060 (create), 1061 (write), 1062 (read) and unwind with Failed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rt::os {
class File;
}

namespace db::ntx {

class PairSink {
 public:
  virtual ~PairSink() = default;
  virtual void put(const char* key, std::uint32_t recno) = 0;
};

class KeySorter {
 public:
  // The run size for n pairs of keys of this length: 128 x ceil(sqrt(n / e)) with e = key
  // length + 4, doubled until it reaches 1 MB / e, and at most n.
  static std::size_t runSizeFor(std::uint64_t n, unsigned keyLength);

  // `runSize` 0 applies the rule above; tests force small runs to exercise the merge.
  KeySorter(unsigned keyLength, std::uint64_t count, std::size_t runSize = 0);
  ~KeySorter();
  KeySorter(const KeySorter&) = delete;
  KeySorter& operator=(const KeySorter&) = delete;

  std::size_t runSize() const { return runSize_; }
  bool spills() const { return count_ > runSize_; }

  void add(const char* key, std::uint32_t recno);
  // Hands every pair to `sink` in order.
  void finish(PairSink& sink);

 private:
  struct Ref {
    std::uint64_t prefix;  // first 8 key bytes, big-endian: most comparisons end here
    std::uint32_t index;
  };
  bool less(const Ref& a, const Ref& b) const;
  void sortRun();
  void spillRun();
  void mergeRuns(PairSink& sink);
  void openTemp();

  unsigned keyLength_;
  unsigned entrySize_;
  std::uint64_t count_;
  std::size_t runSize_;
  std::vector<char> entries_;  // the current run: key + record number per pair
  std::vector<Ref> refs_;      // first half sorted, second half the merge's work space
  std::size_t inRun_ = 0;

  std::string tempName_;
  std::unique_ptr<rt::os::File> temp_;
  std::uint64_t tempEnd_ = 0;
  std::vector<std::uint64_t> runStarts_;  // in entries; plus the end
};

}  // namespace db::ntx
