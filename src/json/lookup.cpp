#include "json/lookup.h"

namespace orvix::json {

const Value* find_member(const Value* value, std::string_view key) {
  if (value == nullptr) return nullptr;
  const Object* object = value->if_object();
  if (object == nullptr) return nullptr;
  return object->if_contains(key);
}

const Value* find_path(const Value* value, std::initializer_list<std::string_view> keys) {
  for (std::string_view key : keys) value = find_member(value, key);
  return value;
}

std::optional<std::string_view> as_string(const Value* value) {
  if (value == nullptr || !value->is_string()) return std::nullopt;
  const String& text = value->get_string();
  return std::string_view(text.data(), text.size());
}

std::optional<std::string_view> string_at(const Value& value, std::initializer_list<std::string_view> keys) {
  return as_string(find_path(&value, keys));
}

}  // namespace orvix::json
