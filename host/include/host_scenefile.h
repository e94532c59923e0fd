// Scene files: a document and its object tree as JSON.
#pragma once

#include <functional>
#include <string>

#include "host_scene.h"

namespace scenefile {

// Null on failure, with one message naming the place in error; nothing is
// half loaded. After loading every node gets MSG_MULTI_DOCUMENTIMPORTED (13).
BaseDocument* Load(const Filename& file, String* error);
BaseDocument* LoadFromString(const std::string& json, String* error);
Bool Save(const BaseDocument* doc, const Filename& file, String* error);
std::string SaveToString(const BaseDocument* doc);

// How a custom data type is written: to and from a JSON text.
struct CustomDataIO {
  LONG type_id;
  String name;
  std::function<std::string(const CustomDataType&)> to_json;
  // Null (with a message in error) when the text does not describe a value.
  std::function<std::unique_ptr<CustomDataType>(const std::string&, String* error)> from_json;
};
void RegisterCustomDataIO(const CustomDataIO& io);

}  // namespace scenefile
