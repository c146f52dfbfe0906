// Working variables: created by assignment inside an action, gone when its click handler returns.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "rt/value.h"

namespace rt {

// Opens an action's variable scope; the destructor drops every working variable, also when the
// action is left by Break.
class ActionScope {
 public:
  ActionScope();
  ~ActionScope();
  ActionScope(const ActionScope&) = delete;
  ActionScope& operator=(const ActionScope&) = delete;
};

// Assigning a bare name always sets the working variable (names match in any letter case).
void assignVar(std::string_view name, Value v);
// The working variable, or nullptr when it does not exist.
const Value* findVar(std::string_view name);
std::size_t varCount();

// The field side of a bare-name read: the current table's field of that name, if any.
using FieldReader = std::function<std::optional<Value>(std::string_view name)>;
void setFieldReader(FieldReader reader);

// Reads a bare name: field of the current table first, then the working variable, else
// "Variable does not exist" (BASE/1003, retry allowed; a retry looks again, field first). After
// Default the result is nothing.
Value readName(std::string_view name);

}  // namespace rt
