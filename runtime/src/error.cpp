#include "rt/error.h"

#include <array>

namespace rt {

std::string_view genCodeText(int gencode) {
  static constexpr std::array<std::string_view, 42> kTexts = {"Unknown error",
                                                              "Argument error",
                                                              "Bound error",
                                                              "String overflow",
                                                              "Numeric overflow",
                                                              "Zero divisor",
                                                              "Numeric error",
                                                              "Syntax error",
                                                              "Operation too complex",
                                                              "",
                                                              "",
                                                              "Memory low",
                                                              "Undefined function",
                                                              "No exported method",
                                                              "Variable does not exist",
                                                              "Alias does not exist",
                                                              "No exported variable",
                                                              "Illegal characters in alias",
                                                              "Alias already in use",
                                                              "",
                                                              "Create error",
                                                              "Open error",
                                                              "Close error",
                                                              "Read error",
                                                              "Write error",
                                                              "Print error",
                                                              "",
                                                              "",
                                                              "",
                                                              "",
                                                              "Operation not supported",
                                                              "Limit exceeded",
                                                              "Corruption detected",
                                                              "Data type error",
                                                              "Data width error",
                                                              "Workarea not in use",
                                                              "Workarea not indexed",
                                                              "Exclusive required",
                                                              "Lock required",
                                                              "Write not allowed",
                                                              "Append lock failed",
                                                              "Lock Failure"};
  if (gencode < 0 || gencode >= static_cast<int>(kTexts.size())) return {};
  return kTexts[static_cast<std::size_t>(gencode)];
}

int driverGenCode(int subcode) {
  switch (subcode) {
    case 1001: return gen::kOpen;
    case 1004: return gen::kCreate;
    case 1010: return gen::kRead;
    case 1011: return gen::kWrite;
    case 1012: return gen::kCorruption;
    case 1020: return gen::kDataType;
    case 1021: return gen::kDataWidth;
    case 1022: return gen::kLockRequired;
    case 1023: return gen::kExclusive;
    case 1024: return gen::kAppendLock;
    case 1025: return gen::kReadOnly;
    case 1038: return 41;
    default: return gen::kUnsupported;
  }
}

void captureCallLevels(ErrorObj& e) {
  e.aaStack = activeLevels();
  if (!e.aaStack.empty()) {
    e.procName = e.aaStack.front().proc;
    e.procLine = e.aaStack.front().line;
    e.moduleName = e.aaStack.front().module;
  }
}

ErrorObj makeError(std::string_view subsystem, int gencode, int subcode) {
  ErrorObj e;
  e.severity = 2;
  e.subsystem = subsystem;
  e.gencode = gencode;
  e.subcode = subcode;
  e.description = genCodeText(gencode);
  captureCallLevels(e);
  return e;
}

}  // namespace rt
