// The base of every component of the class library: forms, controls and the data holder.
#pragma once

namespace gui {

class TComponent {
 public:
  virtual ~TComponent() = default;
  // Ends the component; a component with an OnClose event raises it here.
  virtual void Destroy() {}
};

}  // namespace gui
