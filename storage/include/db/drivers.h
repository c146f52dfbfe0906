// The registry of table drivers by name. "DBF", "DBFFPT" and "DBFNTX" are always present; other
// layers (the text import's "SDF") register themselves before first use.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "db/table.h"

namespace db {

// Full: the file carries its own structure. Transfer: the file has none and is opened with the
// structure of the table it is copied into (OpenRequest::structure).
enum class DriverKind { Full, Transfer };

using TableFactory = std::function<std::unique_ptr<Table>()>;

struct DriverInfo {
  std::string name;  // upper case
  DriverKind kind = DriverKind::Full;
  TableFactory make;
};

// Registers (or replaces) a driver under `name` (stored upper case).
void registerDriver(std::string_view name, DriverKind kind, TableFactory make);
// The driver of that name in any letter case, or nullptr.
const DriverInfo* findDriver(std::string_view name);
// The default driver's name: the first registered of "DBFNTX", "DBFCDX", "DBFFPT", "DBF".
std::string_view defaultDriver();

}  // namespace db
