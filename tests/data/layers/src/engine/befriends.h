// Planted: the engine opening its insides to the control.
#pragma once

class EngineState {
  friend class ControlReader;
  friend struct testing::EnginePeer;  // defined by the tests: not a layer's
  int value_ = 0;
};
