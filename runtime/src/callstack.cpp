#include "rt/callstack.h"

namespace rt {
namespace {
thread_local CallFrame* tHead = nullptr;
}

CallFrame::CallFrame(std::string_view proc, int line, std::string_view module)
    : proc_(proc), module_(module), line_(line), outer_(tHead) {
  tHead = this;
}

CallFrame::~CallFrame() { tHead = outer_; }

const CallFrame* innermostFrame() { return tHead; }

std::vector<CallLevel> activeLevels() {
  std::vector<CallLevel> out;
  for (const CallFrame* f = tHead; f; f = f->outer())
    out.push_back({std::string(f->module()), std::string(f->proc()), f->line()});
  return out;
}

}  // namespace rt
