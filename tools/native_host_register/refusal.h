// Why a command refuses to go on: one sentence for people.
#pragma once

#include <string>

#include <boost/system/result.hpp>

namespace orvix::register_tool {

struct Refusal {
  std::string text;
};

template <class T>
using Checked = boost::system::result<T, Refusal>;

}  // namespace orvix::register_tool
