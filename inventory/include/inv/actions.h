// The two actions of the main window, driven alike by the window, the batch command and tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace inv {

// Where an action reports: the status label of the window, or standard output.
class StatusSink {
 public:
  virtual ~StatusSink() = default;
  virtual void setStatus(const std::string& text) = 0;
};

// Optional progress of a long load (rows done, rows in all); the window passes none.
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void rows(std::uint64_t done, std::uint64_t total) = 0;
};

// The product load (TFORM1:BUTTON1CLICK). `eraseInventory` is the check box.
// Runs in the current working directory. Errors go to the installed error handler; a Quit
// answer throws rt::Break out of this call.
void productLoad(bool eraseInventory, StatusSink& status, Progress* progress = nullptr);

// The folio clearing (TFORM1:BUTTON2CLICK) with the texts of the two edit boxes.
void folioClearing(std::string_view first, std::string_view last, StatusSink& status);

}  // namespace inv
