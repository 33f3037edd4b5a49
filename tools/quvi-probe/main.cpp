// quvi-probe: talks to what the live viewer control talks to and prints what comes back.
// See ProbeHelpText for the options.
#include <cstdio>
#include <iostream>

#include "tools/quvi-probe/center_probe.h"
#include "tools/quvi-probe/members_listing.h"
#include "tools/quvi-probe/probe_options.h"
#include "tools/quvi-probe/view_probe.h"

int main(int argc, char** argv) {
  using namespace probe;
  const std::vector<std::string> args(argv + 1, argv + argc);
  TProbeCommandLine cl;
  try {
    cl = ParseProbeArgs(args);
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "quvi-probe: %s\nTry 'quvi-probe --help' for the options.\n", e.what());
    return 2;
  }
  if (cl.Mode == TProbeCommandLine::EMode::Help) {
    std::fputs(ProbeHelpText().c_str(), stdout);
    return 0;
  }
  if (cl.Mode == TProbeCommandLine::EMode::Members) {
    PrintMembers(std::cout);
    return 0;
  }
  if (cl.Mode == TProbeCommandLine::EMode::Version) {
    std::puts("quvi-probe 1.0");
    return 0;
  }
  int exit_code = 0;
  if (cl.Center) {
    viewer::TEmbeddedAuthorizationServer client;
    client.Configure(cl.Center->Settings);
    exit_code = RunCenterProbe(*cl.Center, client, std::cout);
  } else if (cl.View) {
    exit_code = RunViewProbe(*cl.View, std::cout);
  }
  return exit_code;
}
