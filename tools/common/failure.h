// How a step that a q9x command calls fails: one shape for the libraries below the commands
// (inspection, runner, the whole-file reader, ...). The kind decides the exit status, in the one
// table tools/q9x/exit_status.h keeps; the reason is one message for a person, naming the file,
// field or offset and what was expected, ready to follow "q9x COMMAND: ".
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace q9x {

enum class FailureKind {
  File,             // a file could not be read, written or understood
  RendererMissing,  // a run's start-up load found no renderer
  NothingToShow,    // the scene holds nothing that can be drawn or exported
  Refused,          // a bundle was made and not kept: beyond its size limit, or a name left
  Unsafe,           // a bundle from outside was refused before anything of it was kept: an
                    // unsafe name, a size beyond the archive or a limit, damage
};

struct Failure {
  FailureKind kind = FailureKind::File;
  std::string reason;
};

// What a step that gives nothing but success gives.
struct Done {};

// A step's value, or the failure that stopped it. Dereference it only when it converts to true;
// ask for failure() only when it converts to false.
template <typename T = Done>
class [[nodiscard]] Outcome {
 public:
  Outcome(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Outcome(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  explicit operator bool() const { return state_.index() == 0; }
  T& operator*() & { return std::get<0>(state_); }
  const T& operator*() const& { return std::get<0>(state_); }
  T&& operator*() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  const Failure& failure() const { return std::get<1>(state_); }

 private:
  std::variant<T, Failure> state_;
};

}  // namespace q9x
