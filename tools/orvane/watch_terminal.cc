#include "watch_terminal.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

namespace orvane::cli {
namespace {

// What a crash signal needs to give the terminal back, prepared while the
// screen starts: its handler may only make async-signal-safe calls.
struct CrashRestore {
  termios saved{};
  bool have_saved = false;
  char sequence[256] = {};
  std::size_t length = 0;
};
CrashRestore g_restore;
volatile std::sig_atomic_t g_screen_on = 0;

void OnCrash(int sig) {
  if (g_screen_on != 0) {
    if (g_restore.length > 0) {
      [[maybe_unused]] const ssize_t n =
          ::write(STDOUT_FILENO, g_restore.sequence, g_restore.length);
    }
    if (g_restore.have_saved) ::tcsetattr(STDOUT_FILENO, TCSANOW, &g_restore.saved);
  }
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void AddCapability(const char* name) {
  const char* s = tigetstr(const_cast<char*>(name));
  if (s == nullptr || s == reinterpret_cast<char*>(-1)) return;
  const std::size_t n = std::strlen(s);
  if (g_restore.length + n >= sizeof g_restore.sequence) return;
  std::memcpy(g_restore.sequence + g_restore.length, s, n);
  g_restore.length += n;
}

}  // namespace

void HandleSignal(int sig, void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: an interrupt ends the wait for a key
  ::sigaction(sig, &sa, nullptr);
}

SCREEN* OpenScreen() {
  g_restore.have_saved = ::tcgetattr(STDOUT_FILENO, &g_restore.saved) == 0;
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) HandleSignal(sig, OnCrash);
  // newterm rather than initscr, which would exit on a terminal it does not
  // know and leave the source open.
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen == nullptr) return nullptr;
  set_escdelay(25);  // a lone Esc should not hold the keys up
  cbreak();
  noecho();
  keypad(stdscr, TRUE);
  curs_set(0);
  g_restore.length = 0;
  for (const char* cap : {"sgr0", "cnorm", "rmkx", "rmcup"}) AddCapability(cap);
  g_screen_on = 1;
  return screen;
}

void CloseScreen(SCREEN* screen) {
  g_screen_on = 0;
  endwin();
  delscreen(screen);
}

void CursesCanvas::Put(int row, int col, std::string_view text, Style style) {
  if (row < 0 || row >= LINES || col >= COLS || text.empty()) return;
  if (col < 0) {
    if (static_cast<std::size_t>(-col) >= text.size()) return;
    text.remove_prefix(static_cast<std::size_t>(-col));
    col = 0;
  }
  const attr_t attr = style == Style::kBold      ? A_BOLD
                      : style == Style::kDim     ? A_DIM
                      : style == Style::kReverse ? A_REVERSE
                                                 : A_NORMAL;
  attrset(attr);
  // The last cell of the last row would scroll some terminals.
  int room = COLS - col;
  if (row == LINES - 1) --room;
  if (room > 0) mvaddnstr(row, col, text.data(), std::min(static_cast<int>(text.size()), room));
  attrset(A_NORMAL);
}

}  // namespace orvane::cli
