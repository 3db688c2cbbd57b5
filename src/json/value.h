// The JSON value the host works with: Boost.JSON's dynamic value.
//
// Numbers are held as uint64 when the text allows, else int64 (negative
// values only), else double. Objects may hold members in any order in memory;
// every object the host writes is serialised in ascending byte order of its
// member names (serialize.h), so callers never depend on the stored order.
#pragma once

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/string.hpp>
#include <boost/json/value.hpp>

namespace orvix::json {

using Value = boost::json::value;
using Object = boost::json::object;
using Array = boost::json::array;
using String = boost::json::string;

}  // namespace orvix::json
