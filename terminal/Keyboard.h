// The three keys of the show, polled once per frame.
#pragma once

#include <array>

enum class TKey { Right, Left, Escape };

class IKeyboard {
 public:
  virtual ~IKeyboard() = default;
  // True when the key is down or was pressed since the previous query of that key.
  virtual bool KeyState(TKey Key) = 0;
};

// Test double: keys are pressed by hand and reported once.
class TScriptedKeyboard final : public IKeyboard {
 public:
  void Press(TKey Key) { Pending[int(Key)] = true; }
  bool KeyState(TKey Key) override {
    bool Down = Pending[int(Key)];
    Pending[int(Key)] = false;
    return Down;
  }

 private:
  std::array<bool, 3> Pending{};
};
