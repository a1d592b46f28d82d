// What the settings manager needs of the application's forms, and of the application
// that owns them. The form toolkit's form and application classes implement these; tests
// use small stand-ins.
#pragma once

#include <cstdint>
#include <string>

namespace vm {

enum class TWindowState : std::uint8_t { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

// A form's outer rectangle in screen pixels.
struct TFormBounds {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const TFormBounds&) const = default;
};

class IConfigForm {
public:
  virtual ~IConfigForm() = default;

  // The component name that names the form's key ("formVeilmark").
  virtual std::string ComponentName() const = 0;
  // The normal (restored) bounds: what the form has, or would get back, in the normal state,
  // also while it is minimised or maximised.
  virtual TFormBounds NormalBounds() const = 0;
  // Sets the normal bounds; a form that is not in the normal state keeps its state and
  // takes these bounds when restored. The form's own minimum size still holds.
  virtual void SetNormalBounds(const TFormBounds& bounds) = 0;
  virtual TWindowState WindowState() const = 0;
  virtual void SetWindowState(TWindowState state) = 0;
};

class IConfigApplication {
public:
  virtual ~IConfigApplication() = default;

  // The application's forms in the order of their creation.
  virtual int FormCount() const = 0;
  virtual IConfigForm& Form(int index) = 0;
};

}  // namespace vm
