// The runtime error object and its code tables.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rt/callstack.h"
#include "rt/value.h"

namespace rt {

// Generic codes used by the system.
namespace gen {
inline constexpr int kArgument = 1, kZeroDivisor = 5, kNoVariable = 14, kNoAlias = 15,
                     kAliasIllegal = 17, kAliasInUse = 18, kCreate = 20, kOpen = 21, kClose = 22,
                     kRead = 23, kWrite = 24, kUnsupported = 30, kCorruption = 32, kDataType = 33,
                     kDataWidth = 34, kNoWorkarea = 35, kNotIndexed = 36, kExclusive = 37,
                     kLockRequired = 38, kReadOnly = 39, kAppendLock = 40;
}

// Class ERROR. A new object holds the defaults; makeError() fills the call levels.
struct ErrorObj {
  int severity = 0;
  int gencode = 0;
  int subcode = 0;
  std::string subsystem;
  std::string description;
  std::string operation;
  std::string filename;
  int oscode = 0;
  bool canRetry = false;
  bool canDefault = false;
  bool canSubstitute = false;
  int tries = 0;
  List args;
  std::string procName;
  int procLine = 0;
  std::string moduleName;
  std::vector<CallLevel> aaStack;
  Value cargo;
};

// The fixed English text of a generic code; empty for codes without one.
std::string_view genCodeText(int gencode);
// A table driver's subcode mapped to its generic code (30 for unknown subcodes).
int driverGenCode(int subcode);

// A new object with severity 2, the given subsystem, codes and description from the table, and
// the call levels active now (PROCNAME / PROCLINE / MODULENAME / AASTACK).
ErrorObj makeError(std::string_view subsystem, int gencode, int subcode);

// Fills PROCNAME, PROCLINE, MODULENAME and AASTACK from the active frames.
void captureCallLevels(ErrorObj& e);

}  // namespace rt
