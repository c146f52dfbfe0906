#include "index_error.h"

namespace db::ntx {

rt::Answer raiseFileError(int gencode, int subcode, const std::string& file, int osCode,
                          bool canRetry, bool canDefault) {
  rt::ErrorObj e = rt::makeError(kDriver, gencode, subcode);
  e.filename = file;
  e.oscode = osCode;
  e.canRetry = canRetry;
  e.canDefault = canDefault;
  return rt::raise(e);
}

void fail(int gencode, int subcode, const std::string& file, int osCode) {
  raiseFileError(gencode, subcode, file, osCode);
  throw Failed{};
}

}  // namespace db::ntx
