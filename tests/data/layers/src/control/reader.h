// Planted: a control type, and a friend pointing down (allowed).
#pragma once

#include "engine/befriends.h"

class ControlReader {
 public:
  int Read(const EngineState& s);
};

class ControlState {
  friend class EngineState;
  int value_ = 0;
};
