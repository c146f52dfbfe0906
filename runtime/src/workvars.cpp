#include "rt/workvars.h"

#include <string>
#include <vector>

#include "rt/error.h"
#include "rt/launcher.h"

namespace rt {
namespace {

struct Var {
  std::string name;  // upper case
  Value value;
};

// A handful of variables per action: a flat vector beats a map here.
std::vector<Var>& vars() {
  static std::vector<Var> v;
  return v;
}

FieldReader& fieldReader() {
  static FieldReader r;
  return r;
}

bool sameName(std::string_view upper, std::string_view name) {
  if (upper.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c != upper[i]) return false;
  }
  return true;
}

}  // namespace

ActionScope::ActionScope() { vars().clear(); }
ActionScope::~ActionScope() { vars().clear(); }

void assignVar(std::string_view name, Value v) {
  for (Var& var : vars()) {
    if (sameName(var.name, name)) {
      var.value = std::move(v);
      return;
    }
  }
  std::string upper(name);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  vars().push_back({std::move(upper), std::move(v)});
}

const Value* findVar(std::string_view name) {
  for (const Var& var : vars())
    if (sameName(var.name, name)) return &var.value;
  return nullptr;
}

std::size_t varCount() { return vars().size(); }

void setFieldReader(FieldReader reader) { fieldReader() = std::move(reader); }

Value readName(std::string_view name) {
  // One error object for all tries, so that TRIES counts the retries of this lookup.
  std::optional<ErrorObj> error;
  for (;;) {
    if (fieldReader()) {
      if (std::optional<Value> field = fieldReader()(name)) return std::move(*field);
    }
    if (const Value* v = findVar(name)) return *v;
    if (!error) {
      error = makeError("BASE", gen::kNoVariable, 1003);
      error->operation = name;
      error->canRetry = true;
    }
    if (raise(*error) != Answer::Retry) return Value();
  }
}

}  // namespace rt
