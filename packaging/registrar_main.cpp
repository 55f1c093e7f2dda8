// tarn-port-registrar: run by the udev rule with ACTION and DEVNAME in its
// environment (or given as arguments: add|remove /dev/ttyACM<k>).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "packaging/port_registrar.h"

namespace {

std::string Arg(int argc, char** argv, int i, const char* env) {
  if (argc > i) return argv[i];
  const char* value = std::getenv(env);
  return value != nullptr ? value : "";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string action = Arg(argc, argv, 1, "ACTION");
  const std::string devName = Arg(argc, argv, 2, "DEVNAME");
  if (action == "add") {
    const int com = tarn::packaging::AddPhonePort(devName);
    if (com <= 0) {
      std::fprintf(stderr, "tarn-port-registrar: cannot register %s\n", devName.c_str());
      return 1;
    }
    return 0;
  }
  if (action == "remove") return tarn::packaging::RemovePhonePort(devName) ? 0 : 1;
  std::fprintf(stderr, "usage: tarn-port-registrar add|remove /dev/ttyACM<k> (or ACTION and DEVNAME set)\n");
  return 2;
}
