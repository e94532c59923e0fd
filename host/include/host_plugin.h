// Plug-in base classes, registration, string resources and the module entry.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "host_scene.h"

class BaseDraw;
class BaseDrawHelp;
class Description;
struct HandleInfo;

// Every plug-in node's data. Allocated zero-filled from the host's memory,
// as the host's allocator does for all plug-in objects.
class NodeData {
 public:
  NodeData() = default;
  virtual ~NodeData();

  // Null (not an exception) when the host is out of memory.
  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* p);

  virtual Bool Init(GeListNode* node);
  virtual void Free(GeListNode* node);
  virtual Bool Message(GeListNode* node, LONG type, void* data);
  virtual Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, LONG flags, AliasTrans* trn);
  virtual Bool GetDDescription(GeListNode* node, Description* description, LONG& flags);
  virtual Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, LONG flags,
                            const BaseContainer* itemdesc);
};

enum DRAWRESULT : LONG { DRAWRESULT_ERROR = 0, DRAWRESULT_OK = 1, DRAWRESULT_SKIP = 2 };
enum : LONG { DRAWPASS_OBJECT = 0, DRAWPASS_BOX = 1, DRAWPASS_HANDLES = 2, DRAWPASS_HIGHLIGHTS = 3 };

class ObjectData : public NodeData {
 public:
  virtual Bool AddToExecution(BaseObject* op, PriorityList* list);
  virtual EXECUTIONRESULT Execute(BaseObject* op, BaseDocument* doc, BaseThread* bt, LONG priority, LONG flags);
  virtual DRAWRESULT Draw(BaseObject* op, LONG drawpass, BaseDraw* bd, BaseDrawHelp* bh);
  virtual LONG GetHandleCount(BaseObject* op);
  virtual void GetHandle(BaseObject* op, LONG i, HandleInfo& info);
  virtual void SetHandle(BaseObject* op, LONG i, Vector p, const HandleInfo& info);
  virtual LONG DetectHandle(BaseObject* op, BaseDraw* bd, LONG x, LONG y, LONG qualifier);
  virtual Bool MoveHandle(BaseObject* op, BaseObject* undo, const Vector& mouse_pos, LONG hit_id,
                          LONG qualifier, BaseDraw* bd);
};

class TagData : public NodeData {
 public:
  // The default answer false lets the host run an expression tag at the
  // expression priority.
  virtual Bool AddToExecution(BaseTag* tag, PriorityList* list);
  virtual EXECUTIONRESULT Execute(BaseTag* tag, BaseDocument* doc, BaseObject* op, BaseThread* bt, LONG priority,
                                  LONG flags);
  virtual Bool Draw(BaseTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp* bh);
};

class CommandData {
 public:
  virtual ~CommandData();
  virtual Bool Execute(BaseDocument* doc);
  // The host restores the command's dialog into a saved layout.
  virtual Bool RestoreLayout(void* secret);
};

using DataAllocator = NodeData*();

// Registration info flags.
enum : LONG {
  TAG_VISIBLE = 1,
  TAG_EXPRESSION = 8,
  OBJECT_CALL_ADDEXECUTION = 0x8000,
  PLUGINFLAG_HIDEPLUGINMENU = 0x8000000,
};
enum : LONG { PLUGINTYPE_ANY = 0, PLUGINTYPE_OBJECT = 5, PLUGINTYPE_TAG = 6, PLUGINTYPE_COMMAND = 7 };

// An icon: the file it is read from (no pixels are needed headless).
class BaseBitmap {
 public:
  BaseBitmap() = default;
  explicit BaseBitmap(const Filename& f) : file_(f) {}
  const Filename& GetFile() const { return file_; }
  Bool IsLoaded() const;

 private:
  Filename file_;
};

// What the registry keeps of one registration.
struct BasePlugin {
  LONG id = 0;
  LONG type = PLUGINTYPE_ANY;
  String name;
  LONG info = 0;
  DataAllocator* alloc = nullptr;
  String description;
  Filename icon;
  LONG disklevel = 0;
  String help;
  CommandData* command = nullptr;  // owned by the registry once accepted
  String module;                   // the module that registered it
};

Bool RegisterObjectPlugin(LONG id, const String& name, LONG info, DataAllocator* alloc, const String& description,
                          BaseBitmap* icon, LONG disklevel);
Bool RegisterTagPlugin(LONG id, const String& name, LONG info, DataAllocator* alloc, const String& description,
                       BaseBitmap* icon, LONG disklevel);
// On success the registry owns dat; on failure the caller still does.
Bool RegisterCommandPlugin(LONG id, const String& name, LONG info, BaseBitmap* icon, const String& help,
                           CommandData* dat);
BasePlugin* FindPlugin(LONG id, LONG type);

// One plug-in's string table, read from <plugin folder>/res/strings_<lang>/c4d_strings.str.
// Lines of the form
//   IDS_NAME  <number>  "text";
// give the strings; "\u00xx" escapes are decoded, '#' lines and others are skipped.
class GeResource {
 public:
  Bool Init(const Filename& plugin_folder);
  Bool Init(const Filename& plugin_folder, const String& language_folder);
  Bool IsInitialised() const { return initialised_; }
  // The text of that number, or an empty string.
  String LoadString(LONG id) const;
  const std::vector<std::pair<LONG, String>>& Table() const { return table_; }

  static Bool ParseFile(const Filename& file, std::vector<std::pair<LONG, String>>& out);

 private:
  Bool initialised_ = false;
  std::vector<std::pair<LONG, String>> table_;
};

// The module's own string resources and folder (the module's entry glue).
String GeLoadString(LONG id);
// "#1" .. "#4" in the text are replaced by the arguments.
String GeLoadString(LONG id, const String& p1, const String& p2 = String(), const String& p3 = String(),
                    const String& p4 = String());
Filename GeGetPluginPath();
GeResource& GetPluginResource();
// The host version number handed over at action 1 (13000 for release 13).
LONG GetHostVersion();
// The start-up gate: the version number in whole hundreds (130 for 13000
// to 13099) is at least release.
Bool HostVersionAtLeast(LONG release);
// Reads the module's string resources from its folder (host message 1).
Bool InitPluginResources();

// Reads a bitmap from the module's "res" folder.
class AutoBitmap {
 public:
  explicit AutoBitmap(const String& name);
  operator BaseBitmap*() { return &bmp_; }

 private:
  BaseBitmap bmp_;
};

// The registration pattern of every object and tag of the modules: the
// name from the string resources (an empty name skips the plug-in and
// counts as success), the icon from "res", the prefix in front of the name.
Bool RegisterNodePlugin(LONG plugin_type, LONG id, const char* prefix, LONG name_string, LONG info,
                        DataAllocator* alloc, const char* description, const char* icon);
// The host messages every module answers: 0 (accepted) and the request to
// read the string resources; false for any other.
Bool StandardPluginMessage(LONG id);

// What the plug-in code itself provides to its entry glue.
Bool PluginStart();
Bool PluginMessage(LONG id, void* data);
void PluginEnd();

// The table the host hands over with action 1 of c4d_main (host_tables.h).
struct HostTable;

enum : LONG {
  PLUGINACTION_HANDOVER = 1,
  PLUGINACTION_START = 2,
  PLUGINACTION_END = 3,
  PLUGINACTION_VERSION = 4,
  PLUGINACTION_MESSAGE = 6,
};
enum : LONG { PLUGINMSG_RESOURCES = 1 };
constexpr LONG kPluginInterfaceVersion = 5;

extern "C" {
typedef LONG C4DMainFn(LONG action, void* p1, void* p2, void* p3);
}

// The host's interface language folder ("strings_us" or "strings_de").
String HostGetLanguageFolder();
void HostSetLanguageFolder(const String& folder);
