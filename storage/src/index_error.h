// Raising the key index's file errors. Every failure goes to the runtime's handler; when the
// handler gives the step up, Failed unwinds to the public entry point, which reports failure.
#pragma once

#include <string>

#include "rt/launcher.h"

namespace db::ntx {

inline constexpr const char* kDriver = "DBFNTX";

// Subcodes of the index's own failures.
namespace sub {
inline constexpr int kCreate = 1006, kRead = 1010, kWrite = 1011, kCorrupt = 1012,
                     kTempCreate = 1060, kTempWrite = 1061, kTempRead = 1062;
}

struct Failed {};

// Raises a file error with the given codes; returns the handler's answer.
rt::Answer raiseFileError(int gencode, int subcode, const std::string& file, int osCode,
                          bool canRetry = false, bool canDefault = false);

// Raises a file error that allows neither retry nor default and unwinds with Failed.
[[noreturn]] void fail(int gencode, int subcode, const std::string& file, int osCode = 0);

}  // namespace db::ntx
