#include "appdata.h"

namespace app {

XAppData* AppData = nullptr;

XAppData::~XAppData() {
  if (AppData == this) AppData = nullptr;
}

XAppData* XAppData::Initialize() {
  if (!AppData) AppData = this;
  return AppData;
}

void XAppData::Destroy() {
  if (OnClose) OnClose(this);
}

void XAppData::AddData(std::string cName, rt::Value xValue) {
  properties_.emplace_back(std::move(cName), std::move(xValue));
}

}  // namespace app
