#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sources/device.h"
#include "sources/posix_read.h"

namespace orvane::detail {
namespace {

int AsFd(NativeHandle h) { return static_cast<int>(h); }

void SetCause(std::string* cause, const char* text) {
  if (cause != nullptr) *cause = text;
}

}  // namespace

std::size_t MaxPathBytes() { return PATH_MAX - 1; }

NativeHandle OpenPort(const std::string& path, std::string* cause) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetCause(cause, std::strerror(errno));
    return kNoHandle;
  }
  if (!isatty(fd)) {
    SetCause(cause, "not a serial device");
    close(fd);
    return kNoHandle;
  }
  // flock also keeps out a second opener running as root, whom TIOCEXCL lets
  // through.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    SetCause(cause, "in use by another program");
    close(fd);
    return kNoHandle;
  }
  ioctl(fd, TIOCEXCL);
  return fd;
}

HRESULT ConfigurePort(NativeHandle port) {
  termios tio{};
  if (tcgetattr(AsFd(port), &tio) != 0) return kGetCommStateFailed;
  cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
#ifdef CRTSCTS
  tio.c_cflag &= ~CRTSCTS;
#endif
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  // Reads return what is there at once, like zero comm time-outs.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, B4800);
  cfsetospeed(&tio, B4800);
  const bool set = tcsetattr(AsFd(port), TCSANOW, &tio) == 0;
  // Whatever the line settings gave; a pty refuses these, which is harmless.
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  ioctl(AsFd(port), TIOCMBIS, &dtr);
  ioctl(AsFd(port), TIOCMBIC, &rts);
  ioctl(AsFd(port), TIOCCBRK);
  return set ? S_OK : kSetCommStateFailed;
}

void ClosePort(NativeHandle port) {
  ioctl(AsFd(port), TIOCNXCL);
  close(AsFd(port));
}

PortWait WaitForPort(NativeHandle port, const StopEvent& stop, int timeout_ms, bool device) {
  pollfd fds[2] = {{stop.fd(), POLLIN, 0}, {AsFd(port), POLLIN, 0}};
  const int rc = poll(fds, device ? 2 : 1, timeout_ms);
  if (rc < 0) return errno == EINTR ? PortWait::kTimeout : PortWait::kWaitFailed;
  if (fds[0].revents != 0 || stop.IsSet()) return PortWait::kStop;
  if (rc == 0 || !device) return PortWait::kTimeout;
  if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return PortWait::kDeviceFailed;
  return (fds[1].revents & POLLIN) != 0 ? PortWait::kReadable : PortWait::kTimeout;
}

bool ReadAvailable(NativeHandle port, std::string& pending) {
  int waiting = 0;
  if (ioctl(AsFd(port), FIONREAD, &waiting) != 0) return false;
  if (waiting <= 0) return true;
  const ssize_t got =
      AppendRead(pending, static_cast<std::size_t>(waiting),
                 [&](char* into, std::size_t n) { return read(AsFd(port), into, n); });
  // Zero bytes after FIONREAD promised some is a hang-up.
  if (got <= 0) return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  return true;
}

NativeHandle OpenLogFile(const std::string& path, std::string* cause) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    SetCause(cause, std::strerror(errno));
    return kNoHandle;
  }
  // Directories, pipes and devices never give a clean end of file.
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    SetCause(cause, S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file");
    close(fd);
    return kNoHandle;
  }
  return fd;
}

ReadAtResult ReadAt(NativeHandle file, std::uint64_t offset, std::size_t count, std::string& out) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return ReadAtResult::kEndOfFile;
  const ssize_t got = AppendRead(out, count, [&](char* into, std::size_t n) {
    return pread(AsFd(file), into, n, static_cast<off_t>(offset));
  });
  if (got < 0) return ReadAtResult::kFailed;
  return got == 0 ? ReadAtResult::kEndOfFile : ReadAtResult::kData;
}

bool AtOrPastEnd(NativeHandle file, std::uint64_t offset) {
  struct stat st {};
  if (fstat(AsFd(file), &st) != 0) return true;
  return offset >= static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t FileSize(NativeHandle file) {
  struct stat st {};
  return fstat(AsFd(file), &st) == 0 && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

void CloseLogFile(NativeHandle file) { close(AsFd(file)); }

// The duplicate stays blocking: O_NONBLOCK would be shared with the
// caller's descriptor (a shell's standard input); reads wait on poll first.
NativeHandle DuplicateStream(NativeHandle stream, std::string* cause) {
  const int fd = stream < 0 || stream > INT_MAX ? -1 : fcntl(AsFd(stream), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    SetCause(cause, std::strerror(stream < 0 || stream > INT_MAX ? EBADF : errno));
    return kNoHandle;
  }
  return fd;
}

StreamWait WaitForStream(NativeHandle stream, const StopEvent& stop, int timeout_ms) {
  pollfd fds[2] = {{stop.fd(), POLLIN, 0}, {AsFd(stream), POLLIN, 0}};
  const int rc = poll(fds, 2, timeout_ms);
  if (fds[0].revents != 0 || stop.IsSet()) return StreamWait::kStop;
  // A hang-up or an error shows as readable: the read then reports it.
  return rc > 0 && fds[1].revents != 0 ? StreamWait::kReadable : StreamWait::kTimeout;
}

ReadAtResult ReadStream(NativeHandle stream, std::size_t count, std::string& out) {
  const ssize_t got = AppendRead(
      out, count, [&](char* into, std::size_t n) { return read(AsFd(stream), into, n); });
  if (got < 0)
    return errno == EAGAIN || errno == EWOULDBLOCK ? ReadAtResult::kData : ReadAtResult::kFailed;
  return got == 0 ? ReadAtResult::kEndOfFile : ReadAtResult::kData;
}

void CloseStream(NativeHandle stream) { close(AsFd(stream)); }

ReaderThreadScope::ReaderThreadScope() { (void)entered_; }
ReaderThreadScope::~ReaderThreadScope() = default;

}  // namespace orvane::detail
