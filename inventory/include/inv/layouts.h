// The two table layouts: the inventory table and the scratch template table.
#pragma once

#include "rt/value.h"

namespace inv {

// Structure lists as table creation takes them: rows of (name, type letter, width, decimals),
// names and type letters in lower case. Record lengths: 257 and 425 bytes.
rt::List inventoryFields();
rt::List templateFields();

}  // namespace inv
