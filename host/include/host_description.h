// Parameter descriptions: what the host shows of a node's parameters (names,
// types, ranges, groups, hidden entries), loaded per plug-in from description
// resources, completed by the plug-in's GetDDescription and by the node's
// user data.
//
// Description resource format. A plug-in's description named NAME (the
// resource name it registered, "Osim", "Ocar", "Trotelix" ...) is the JSON file
//   <plug-in folder>/res/description/NAME.json
// holding one object:
//   { "name": "Osim",
//     "entries": [
//       { "id": 5000, "type": "group", "name": "Simulation", "columns": 2 },
//       { "id": 1001, "type": "bool", "parent": 5000, "name": "Enabled" },
//       { "id": 1002, "type": "real", "parent": 5000, "name": "Gravity",
//         "min": 0, "max": 100, "step": 0.01, "unit": "meter", "default": 9.81 },
//       { "id": 1003, "type": "long", "cycle": { "0": "Off", "1": "On" } },
//       { "id": 0, "type": "separator", "parent": 5000 } ] }
// Entries keep the order of the file. Keys of an entry:
//   id       parameter id (required; 0 only for separators and static text)
//   type     "group", "button", "separator", "static", "bool", "long", "real",
//            "time", "vector", "matrix", "string", "filename", "link", or
//            "dtype" with a number for any other data type
//   dtype    the data type number (with type "dtype")
//   parent   id of the group the entry sits in (default: none)
//   name, short          label and short label (short defaults to name)
//   min, max, step       numeric range and step
//   unit     "real", "percent", "degree", "meter", "long" or "time"
//   default  default value: number, [x, y, z] or text
//   hide, animate, open, scaleh   true / false
//   columns, gui                  numbers (group columns, custom interface id)
//   cycle    { "value": "label", ... } choices of a long
//   accept   [ type, ... ] accepted node types of a link
// Anything else in an entry is an error, so that a misspelt key shows.
#pragma once

#include <string>
#include <vector>

#include "host_container.h"
#include "host_scene.h"

// Description settings of one entry (keys of its BaseContainer).
enum : LONG {
  DESC_NAME = 1,
  DESC_SHORT_NAME = 2,
  DESC_MIN = 5,
  DESC_MAX = 6,
  DESC_STEP = 9,
  DESC_ANIMATE = 10,
  DESC_UNIT = 12,
  DESC_PARENTGROUP = 13,
  DESC_CYCLE = 14,
  DESC_HIDE = 15,
  DESC_DEFAULT = 16,
  DESC_ACCEPT = 17,
  DESC_CUSTOMGUI = 21,
  DESC_COLUMNS = 22,
  DESC_GUIOPEN = 25,
  DESC_SCALEH = 30,
  // The entry's data type, as the host keeps it.
  DESC_DATATYPE = 100,
};
enum : LONG { DESC_ANIMATE_OFF = 0, DESC_ANIMATE_ON = 1 };

// Units (four-character codes).
enum : LONG {
  DESC_UNIT_REAL = 0x66726561,     // 'frea'
  DESC_UNIT_PERCENT = 0x66706374,  // 'fpct'
  DESC_UNIT_DEGREE = 0x66646772,   // 'fdgr'
  DESC_UNIT_METER = 0x666d6574,    // 'fmet'
  DESC_UNIT_LONG = 0x666c6e67,     // 'flng'
  DESC_UNIT_TIME = 0x6674696d,     // 'ftim'
};

// Data types of description entries besides the value types of GeData.
enum : LONG {
  DTYPE_GROUP = 1,
  DTYPE_BUTTON = 8,
  DTYPE_STATICTEXT = 12,
  DTYPE_SUBCONTAINER = 1,
  DTYPE_BOOL = 400006001,
};

// GetDDescription flags.
enum : LONG { DESCFLAGS_DESC_NONE = 0, DESCFLAGS_DESC_LOADED = 2 };

// The default settings of an entry of that data type: name empty, animatable,
// and for numeric types no range. DESC_DATATYPE holds the type.
BaseContainer GetCustomDataTypeDefault(LONG type);

class AtomArray;

struct DescEntry {
  DescID id;
  LONG dtype = 0;
  BaseContainer settings;
  DescID parent;
};

class Description {
 public:
  // Loads the static description a plug-in registered (replacing what was
  // loaded). False when the plug-in is unknown or its resource is missing or
  // malformed (the reason is kept, see GetError).
  Bool LoadDescription(LONG plugin_id);
  // Loads the resource of that name from the registered resource folders.
  Bool LoadDescriptionByName(const String& name);
  // Parses a resource text; on failure nothing changes and error says why.
  Bool LoadFromText(const std::string& json, String* error);

  // Adds an entry, or replaces the settings of the entry with that id (id 0
  // entries, separators, are always added). The data type is the id's last
  // level type when given, else the settings' DESC_DATATYPE. False for an
  // empty id.
  Bool SetParameter(const DescID& id, const BaseContainer& settings, const DescID& parent);
  // The settings of an entry, writable; null when there is none.
  BaseContainer* GetParameterI(const DescID& id, AtomArray* ar = nullptr);
  const BaseContainer* GetParameter(const DescID& id) const;
  const DescEntry* Find(const DescID& id) const;
  Bool IsHidden(const DescID& id) const;

  const std::vector<DescEntry>& Entries() const { return entries_; }
  LONG GetCount() const { return static_cast<LONG>(entries_.size()); }
  Bool IsLoaded() const { return loaded_; }
  const String& GetResourceName() const { return name_; }
  const String& GetError() const { return error_; }
  void Clear();

 private:
  std::vector<DescEntry> entries_;
  Bool loaded_ = false;
  String name_;
  String error_;
};

// A node's user data: entries with DescIDs (ID_USERDATA, i). They live in the
// node's container under ID_USERDATA, so they are copied and saved with it:
// that entry is a container whose sub-container 1 holds the entries'
// settings by index and whose sub-container 2 holds their values.
class DynamicDescription {
 public:
  explicit DynamicDescription(BaseList2D* owner) : owner_(owner) {}

  // Adds an entry from these settings (start from GetCustomDataTypeDefault);
  // its value starts at DESC_DEFAULT or the type's zero. Returns its id, or
  // an empty DescID when the settings name no data type.
  DescID Alloc(const BaseContainer& settings);
  // Replaces an existing entry's settings (the value stays).
  Bool Set(const DescID& id, const BaseContainer& settings, BaseList2D* bl = nullptr);
  const BaseContainer* Find(const DescID& id) const;
  Bool Remove(const DescID& id);
  LONG GetCount() const;

  // Walks the entries in index order. The settings handed out stay valid
  // until BrowseFree, whatever happens to the node meanwhile.
  void* BrowseInit();
  Bool BrowseGetNext(void* handle, DescID* id, const BaseContainer** settings);
  void BrowseFree(void*& handle);

 private:
  BaseList2D* owner_;
};

namespace hostdesc {
// What the host does to show a node's parameters: asks the plug-in
// (GetDDescription with flags 0); when the plug-in did not report
// DESCFLAGS_DESC_LOADED, loads the registered static description itself;
// then appends the user data under the group ID_USERDATA. False when neither
// gave any entry.
Bool GetNodeDescription(BaseList2D* node, Description* out);
// GetDEnabling as the host calls it: with the parameter's current value and
// its description entry (null when desc is null or lacks it). Nodes without
// plug-in data are always enabled.
Bool IsEnabled(BaseList2D* node, const DescID& id, const Description* desc = nullptr);
// How often the host's default NodeData::GetDDescription has run.
LONG DefaultDescriptionCalls();

// Extra folders searched for NAME.json after the registering module's
// res/description folder (tests and tools).
void AddResourceFolder(const Filename& folder);
void ClearResourceFolders();
// Makes the n-th Description::SetParameter from now refuse (1 = the next);
// 0 switches it off.
void FailSetParameterAfter(long n);

// User-data parameter access (BaseList2D::Get/SetParameter route ids of
// ID_USERDATA here). A value must fit the entry's type (numbers convert into
// each other); depth 3 addresses a vector component.
Bool GetUserData(BaseList2D* node, const DescID& id, GeData& out);
Bool SetUserData(BaseList2D* node, const DescID& id, const GeData& value);
}  // namespace hostdesc
