#pragma once
// The terminal under `orvane watch`: curses in and out, and the terminal
// given back even when the process dies on a crash signal.

#include <curses.h>

#include <string_view>

#include "watch_view.h"

namespace orvane::cli {

// Starts curses on standard output, arming the crash handlers that give the
// terminal back; null when the terminal is unknown.
SCREEN* OpenScreen();
void CloseScreen(SCREEN* screen);

// Without SA_RESTART: an interrupt ends the wait for a key.
void HandleSignal(int sig, void (*handler)(int));

class CursesCanvas final : public Canvas {
 public:
  int rows() const override { return LINES; }
  int cols() const override { return COLS; }
  void Put(int row, int col, std::string_view text, Style style) override;
};

}  // namespace orvane::cli
