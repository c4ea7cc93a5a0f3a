// q9x doctor: one screen for support on whether this machine can run the system.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace q9x {

struct DoctorOptions {
  std::optional<std::string> folder;  // the exchange folder; else the system's own lookup
  std::string link;                   // the link library to check
};

// The checks, in order: {"ok": all ok, "checks": [{"check", "ok", "detail", "remedy"}...]}.
// "remedy" is empty for a check that is ok.
nlohmann::json Diagnose(const DoctorOptions& options);
// The diagnosis as `q9x doctor --json` prints it, line end included.
std::string DiagnosisJson(const nlohmann::json& diagnosis);

}  // namespace q9x
