// Shared setup of the table tests: a temporary working folder, a scripted error handler, the
// inventory layout, and closing every work area afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "db/workarea.h"
#include "inv/layouts.h"
#include "rt/launcher.h"
#include "testing.h"

namespace storage_test {

// The inventory layout as the actions pass it (lower-case names and type letters).
inline rt::Value invenStructure() { return rt::Value(inv::inventoryFields()); }

// A small two-field layout: NAME C 10, QTY N 5.
inline rt::Value smallStructure() {
  return rt::List{rt::Value(rt::List{"name", "c", 10, 0}), rt::Value(rt::List{"qty", "n", 5, 0})};
}

inline std::uint32_t le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
inline unsigned byteAt(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]);
}

// Every test starts in a fresh folder with area 1 current and nothing open, and leaves it so.
class TablesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (HasFailure()) {
      for (const rt::ErrorObj& e : handler.presenter.shown)
        std::printf("shown: %s/%d %s op=%s file=%s os=%d in %s\n", e.subsystem.c_str(), e.subcode,
                    e.description.c_str(), e.operation.c_str(), e.filename.c_str(), e.oscode,
                    e.procName.c_str());
    }
    rt::resetBreak();
    db::DBCLOSEALL();
    db::selectArea(1);
  }
  testing_support::TempDir dir;
  testing_support::HandlerScope handler;
  testing_support::ScriptedPresenter& shown() { return handler.presenter; }
};

}  // namespace storage_test
