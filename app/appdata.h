// The application data holder: one per process, reachable through `AppData`.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "gui/component.h"
#include "rt/value.h"

namespace app {

class XAppData : public gui::TComponent {
 public:
  ~XAppData() override;

  // Stores this object in AppData unless one is there already; returns the one in AppData.
  XAppData* Initialize();
  XAppData* Create() { return Initialize(); }
  // Raises OnClose; nothing else.
  void Destroy() override;
  // Adds a property and records it in the property list. The program itself adds none.
  void AddData(std::string cName, rt::Value xValue);
  const std::vector<std::pair<std::string, rt::Value>>& properties() const { return properties_; }

  std::function<void(XAppData* oSender)> OnClose;

 private:
  std::vector<std::pair<std::string, rt::Value>> properties_;
};

// The platform's holder class: the program's XAppData with nothing added.
class TAppData : public XAppData {};

extern XAppData* AppData;

}  // namespace app
