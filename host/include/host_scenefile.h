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
// The file is written to a uniquely named temporary next to its destination
// and then renamed over it, so a failed save leaves an existing file as it
// was; a destination that exists and is not a regular file is refused.
Bool Save(const BaseDocument* doc, const Filename& file, String* error);
// Empty when the document cannot be written (see the overload for why).
std::string SaveToString(const BaseDocument* doc);
Bool SaveToString(const BaseDocument* doc, std::string* out, String* error);

// How a custom data type is written: to and from a JSON text.
struct CustomDataIO {
  LONG type_id;
  String name;
  std::function<std::string(const CustomDataType&)> to_json;
  // Null (with a message in error) when the text does not describe a value.
  std::function<std::unique_ptr<CustomDataType>(const std::string&, String* error)> from_json;
};
void RegisterCustomDataIO(const CustomDataIO& io);
void UnregisterCustomDataIO(LONG type_id);

// State of a node class beyond its container (points of a polygon object, the
// arrays of a tag), kept under the key "data" of the node in the file.
// The writer gives a JSON text, or an empty string when there is nothing to
// keep. The reader runs after the node's container, tracks and every link of
// the document are in place; it answers false with a message in error when
// the text does not fit.
using NodeWriter = std::function<std::string(const BaseList2D* node)>;
using NodeReader = std::function<Bool(BaseList2D* node, const std::string& json, String* error)>;
void RegisterNodeIO(LONG type, NodeWriter writer, NodeReader reader);
void UnregisterNodeIO(LONG type);

}  // namespace scenefile
