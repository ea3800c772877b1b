// The command's entry: members, or a session, or the watch screen.
#include "host.h"

#include "control/member_table.h"
#include "session.h"
#include "watch.h"
#include "write_check.h"

namespace orvane::cli {
namespace {

// The automation members: DISPID, kind, name, parameters.
void PrintMembers(std::FILE* out) {
  for (const auto& m : AllMembers()) {
    if (&m == &AllMembers()[Members().size()]) std::fprintf(out, "IOrvane2:\n");
    std::string params;
    for (std::size_t k = 0; k < m.param_count; ++k) {
      if (k) params += ", ";
      if (m.params[k].out) params += "[out] ";
      if (m.params[k].optional) params += "[optional] ";
      params += m.params[k].name;
    }
    if (m.kind == MemberKind::kGet) params = "[out, retval] pVal";
    std::fprintf(out, "%3d  %-6.*s  %-32.*s (%s)\n", m.dispid,
                 static_cast<int>(KindName(m.kind).size()), KindName(m.kind).data(),
                 static_cast<int>(m.name.size()), m.name.data(), params.c_str());
  }
  std::fprintf(out, "events:\n");
  for (const auto& e : Events()) {
    std::string params;
    for (std::size_t k = 0; k < e.param_count; ++k) {
      if (k) params += ", ";
      params += e.params[k];
    }
    std::fprintf(out, "%3d  event   %-32.*s (%s)\n", e.dispid, static_cast<int>(e.name.size()),
                 e.name.data(), params.c_str());
  }
}

}  // namespace

int EndOfOutput(std::FILE* out, std::FILE* err) {
  WriteCheck check(out, "standard output", err, true);
  check.Flush();
  return check.reader_gone() ? kExitReaderGone : check.failed() ? kExitSourceFailed : kExitOk;
}

int Run(const Options& options, std::FILE* out, std::FILE* err) {
  if (options.mode == Options::Mode::kMembers) {
    PrintMembers(out);
    return EndOfOutput(out, err);
  }
  if (options.mode == Options::Mode::kWatch) return RunWatch(options, err);
  Session session(options, out, err);
  return session.Run();
}

}  // namespace orvane::cli
