// A push button: a caption and a place on its form. The generator's form has one that nothing
// uses; it has no click handler.
#pragma once

#include <string>

#include "cairn/access/Component.h"

namespace kalvora {

class TButton : public cairn::TComponent {
 public:
  explicit TButton(cairn::TComponent* owner = nullptr) : cairn::TComponent(owner) {}

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& value) { FCaption = value; }
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetBounds(int left, int top, int width, int height) {
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
  }

 private:
  std::string FCaption;
  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
};

}  // namespace kalvora
