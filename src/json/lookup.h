// Plain member lookups: a missing member, or a container that is not an
// object, yields nothing (never an exception).
#pragma once

#include <initializer_list>
#include <optional>
#include <string_view>

#include "json/value.h"

namespace orvix::json {

// The member `key` of `value` when `value` is an object that has it.
const Value* find_member(const Value* value, std::string_view key);

// Follows `keys` member by member from `value` (a fixed JSON Pointer).
const Value* find_path(const Value* value, std::initializer_list<std::string_view> keys);

// The text of `value` when it is a string.
std::optional<std::string_view> as_string(const Value* value);

// The string at `keys` when there is one.
std::optional<std::string_view> string_at(const Value& value, std::initializer_list<std::string_view> keys);

}  // namespace orvix::json
