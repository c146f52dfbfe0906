// File helpers: FILE answers true or false, FERASE 0 or -1; neither raises errors.
#pragma once

#include <string_view>

namespace rt {

// True when a matching entry that is not a directory exists (wildcards * and ?; names of 264
// bytes or more give false). Resets the last file error code to 0.
bool FILE(std::string_view name);
// Deletes exactly that file: 0, or -1 with the last file error code set (2, 3, 5, 32; 183 as 5).
int FERASE(std::string_view name);
// The last file error code (FERROR).
int FERROR();

}  // namespace rt
