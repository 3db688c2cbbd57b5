// The one result type of the project: a value, or why there is none.
//
// Result<T> holds a T or a Failure: a kind that says what sort of thing went
// wrong and a text for people, shown as it stands at the program's edge.
// Where callers branch on more than that (the runtime error's eleven codes,
// the descriptor failures, a file or socket failure with its OS code, a JSON
// fault with its position), the failure type is named as the second argument:
// Result<Value, RuntimeError>. Failures are values: nothing throws across a
// module boundary.
#pragma once

#include <string>
#include <utility>

#include <boost/system/result.hpp>

namespace orvix {

struct Failure {
  enum class Kind {
    kInvalidInput,  // text or bytes that break their format: JSON, a URL, a domain, a frame, a command line
    kSystem,        // an OS call failed; the text ends in " (os error N)"
    kPeer,          // the other end broke its contract or went away: a host, a runtime, a child process
  };

  // Not an aggregate, so that a Result<int> never takes a number for its failure.
  // Default-constructible because boost::system::result::error() returns a
  // default-constructed error when there is none.
  Failure() = default;
  Failure(Kind failure_kind, std::string failure_text) : kind(failure_kind), text(std::move(failure_text)) {}

  Kind kind = Kind::kInvalidInput;
  std::string text;
};

template <class T, class E = Failure>
using Result = boost::system::result<T, E>;

}  // namespace orvix
