/*
 * The plugin boundary: every record that the plugin host and this plugin
 * exchange. Plain C11; also compiles as C++20.
 *
 * Conventions, stated once:
 *  - Records are little-endian. In the 32-bit build (the shipping layout)
 *    pointers are 32 bits and every size and offset below is checked byte for
 *    byte. Elsewhere the same field order holds with native pointer widths.
 *  - Records marked "packed" have one-byte alignment.
 *  - Every function of a table is cdecl. Every host function receives the
 *    table's own address first ("self first"); every entry-table function
 *    receives the plugin object (the load record's `context`) first.
 *  - Tables are append-only: a slot never changes meaning.
 *
 * Ownership across the boundary:
 *  - A value passed *into* a call (request records and their arguments,
 *    event records and their payloads, the host context) is borrowed for the
 *    duration of that call and stays the caller's. The callee copies what it
 *    wants to keep. A publisher releases its event payload after the host has
 *    returned from every publication of it.
 *  - An `InvokeResponse` is filled by the callee and released by whoever
 *    received it, through the record's own `release` function.
 *  - No side frees memory that the other side allocated except through a
 *    release function that the allocating side supplied.
 *  - A scheduled or subscription callback must be given back exactly the
 *    context that was registered with it; the plugin cannot tell a stale or
 *    foreign context from a live one.
 *  - The host must not call into one plugin object from two threads at once
 *    (entry table, invoke entries, event and scheduled callbacks alike).
 */
#ifndef KELP_SDK_PLUGIN_ABI_H_
#define KELP_SDK_PLUGIN_ABI_H_

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <assert.h>
#endif

#if defined(_MSC_VER)
#define KELP_CDECL __cdecl
#elif defined(__i386__)
#define KELP_CDECL __attribute__((cdecl))
#else
#define KELP_CDECL
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
#define KELP_ABI_32BIT 1
#else
#define KELP_ABI_32BIT 0
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Binding values --------------------------------------------------- */

/* Tags of BindingValue.kind. */
enum {
  BINDING_VALUE_EMPTY = 0,
  BINDING_VALUE_BOOL = 1,
  BINDING_VALUE_SIGNED = 2,
  BINDING_VALUE_UNSIGNED = 3,
  BINDING_VALUE_FLOAT = 4,
  BINDING_VALUE_STRING_BORROWED = 5,
  BINDING_VALUE_STRING_OWNED = 6,
  BINDING_VALUE_BLOB_BORROWED = 7,
  BINDING_VALUE_BLOB_OWNED = 8,
  BINDING_VALUE_COLLECTION = 9,
  BINDING_VALUE_STRUCTURE = 10
};

struct BindingStructEntry;

/* A tagged value, 12 bytes with 4-byte alignment. Owned payloads (tags 6, 8,
 * 9, 10) come from the plugin's memory functions and are released by the
 * destruction rule: strings and blobs free their bytes; collections destroy
 * each element and free the array; structures free each key whose `ownsKey`
 * is set, destroy each value and free the array. */
#pragma pack(push, 4)
typedef struct BindingValue {
  uint32_t kind;
  union {
    uint8_t boolean;
    int64_t i64;
    uint64_t u64;
    double f64;
    struct {
      const char* text; /* NUL-terminated UTF-8 */
      uint32_t length;  /* bytes without the NUL */
    } string;
    struct {
      const uint8_t* bytes;
      uint32_t count;
    } blob;
    struct {
      struct BindingValue* elements;
      uint32_t count;
    } collection;
    struct {
      struct BindingStructEntry* entries;
      uint32_t count;
    } structure;
  } payload;
} BindingValue;
#pragma pack(pop)

#pragma pack(push, 1)
/* One field of a structure value (packed). */
typedef struct BindingStructEntry {
  const char* key;
  BindingValue value;
  uint8_t ownsKey; /* non-zero: `key` is freed with the entry */
} BindingStructEntry;

/* A value with an owned error text, for conversions that can fail (packed). */
typedef struct BindingResult {
  BindingValue value;
  char* error; /* owned, NUL-terminated, or null */
  uint8_t failed;
} BindingResult;
#pragma pack(pop)

/* ---- Memory statistics -------------------------------------------------- */

typedef struct MemoryStats {
  uint64_t peakBytesInUse;
  uint64_t allocationsAtPeak;
  uint64_t bytesAllocated;
  uint64_t allocationCount;
  uint64_t bytesFreed;
  uint64_t freeCount;
  uint64_t reserved; /* always 0 */
} MemoryStats;

/* ---- Events ------------------------------------------------------------- */

/* An event in either direction. On receipt `context` is the context given
 * at subscription; when publishing it is null and `reserved` is 0. */
typedef struct EventRecord {
  const char* name;
  BindingValue payload;
  uint32_t reserved;
  void* context;
} EventRecord;

typedef void(KELP_CDECL* EventCallback)(EventRecord* event);
typedef void(KELP_CDECL* ScheduledCallback)(void* context);

/* ---- Requests and responses -------------------------------------------- */

/* HTTP method codes of InvokeRequest.method. */
enum {
  HTTP_METHOD_NONE = 0,
  HTTP_METHOD_DELETE = 1,
  HTTP_METHOD_GET = 2,
  HTTP_METHOD_HEAD = 3,
  HTTP_METHOD_OPTIONS = 4,
  HTTP_METHOD_PATCH = 5,
  HTTP_METHOD_POST = 6,
  HTTP_METHOD_PUT = 7,
  HTTP_METHOD_NAMED = 8 /* the name travels in `methodName` */
};

typedef struct TextPair {
  const char* name;
  const char* value;
} TextPair;

/* A request argument: a name (may be null for a positional argument) and a
 * value. */
typedef struct InvokeArgument {
  const char* name;
  BindingValue value;
} InvokeArgument;

/* The part of a function record through which the plugin finds the invoked
 * function: the host passes its address in InvokeRequest.function. */
#pragma pack(push, 1)
typedef struct FunctionContextBlock {
  uint32_t reserved;
  void* context;
} FunctionContextBlock;
#pragma pack(pop)

typedef struct InvokeRequest {
  uint32_t method;
  const char* path; /* resource path without query */
  const InvokeArgument* arguments;
  uint32_t argumentCount;
  const FunctionContextBlock* function; /* inbound requests only */
  const TextPair* textPairs;
  uint32_t textPairCount;
  const char* contentType; /* of the body */
  const uint8_t* body;     /* null: no body */
  uint32_t bodyLength;
  uint32_t senderHandle; /* the sending plugin's hostHandle */
  const char* methodName; /* read only when method is HTTP_METHOD_NAMED */
} InvokeRequest;

struct InvokeResponse;
typedef void(KELP_CDECL* InvokeResponseRelease)(struct InvokeResponse* response);
/* Reads up to *count bytes into buffer; on return *count holds the bytes
 * delivered and *more whether more data follows. Returns 0 on failure. */
typedef uint8_t(KELP_CDECL* StreamRead)(void* context, uint8_t* buffer, uint32_t* count,
                                        uint8_t* more);
typedef void(KELP_CDECL* StreamClose)(void* context);

#pragma pack(push, 1)
/* Filled by the callee (packed, 62 bytes in the 32-bit build). The receiver
 * releases it with `release`, which frees every owned part and zeroes the
 * record. `contentType` is owned unless it points to an empty text. */
typedef struct InvokeResponse {
  BindingResult result;
  uint8_t flags;
  uint32_t code;
  uint32_t status;
  const char* contentType;
  TextPair* headers; /* owned array of owned texts */
  uint32_t headerCount;
  StreamRead streamRead; /* set only for a streamed response */
  StreamClose streamClose;
  uint32_t streamExpectedSize;
  uint32_t streamReserved;
  void* streamContext;
  InvokeResponseRelease release;
} InvokeResponse;
#pragma pack(pop)

typedef void(KELP_CDECL* InvokeEntry)(InvokeResponse* response, const InvokeRequest* request);

/* ---- API description ---------------------------------------------------- */

#pragma pack(push, 1)
typedef struct ApiArgumentRecord {
  struct ApiArgumentRecord* next;
  const char* name;
  const char* description;
  uint32_t type;
  uint32_t elementType;
  const char* typeName;
  uint8_t optional;
} ApiArgumentRecord;

typedef struct ApiFunctionRecord {
  struct ApiFunctionRecord* next;
  FunctionContextBlock invoke; /* zero in the registry's own description */
  const char* name;
  const char* nameSpace;
  ApiArgumentRecord* arguments;
  uint32_t argumentCount;
  uint32_t returnType;
  uint32_t returnElementType;
  const char* returnTypeName;
  const char* description;
  const char* help;
  uint8_t threadSafe;
  const char* async;
  const char* const* tags;
  uint32_t tagCount;
} ApiFunctionRecord;

typedef struct ApiFieldRecord {
  struct ApiFieldRecord* next;
  const char* name;
  const char* description;
  uint32_t offset;
  uint32_t type;
  uint32_t elementType;
  const char* typeName;
  uint8_t optional;
} ApiFieldRecord;

typedef struct ApiEnumValueRecord {
  struct ApiEnumValueRecord* next;
  const char* name;
  const char* description;
  int32_t value;
} ApiEnumValueRecord;

typedef struct ApiTypeRecord {
  struct ApiTypeRecord* next;
  const char* name;
  const char* nameSpace;
  uint32_t size;
  const char* description;
  const char* const* tags;
  uint32_t tagCount;
  ApiFieldRecord* fields;     /* set when the type has fields */
  ApiEnumValueRecord* values; /* set when it has none */
  uint32_t count;
} ApiTypeRecord;

typedef struct ApiEventRecord {
  struct ApiEventRecord* next;
  const char* name;
  const char* nameSpace;
  const char* typeName;
  const char* description;
  const char* const* tags;
  uint32_t tagCount;
} ApiEventRecord;

typedef struct ApiDescription {
  ApiFunctionRecord* functions;
  uint32_t functionCount;
  ApiTypeRecord* types;
  uint32_t typeCount;
  ApiEventRecord* events;
  uint32_t eventCount;
} ApiDescription;

typedef struct ParameterLocationRecord {
  struct ParameterLocationRecord* next;
  uint32_t location; /* 1 to 5; 0 for anything else */
} ParameterLocationRecord;

typedef struct TextListRecord {
  struct TextListRecord* next;
  const char* const* texts;
  uint32_t count;
} TextListRecord;

/* One endpoint function. `description.next` points to the next record of
 * this array; `description.invoke` is the block the host hands back in
 * InvokeRequest.function. */
typedef struct EndpointFunctionRecord {
  ApiFunctionRecord description;
  InvokeEntry invoke;
  ParameterLocationRecord* parameters;
  const char* path;
  uint32_t method;
  uint8_t flags;
  TextListRecord* textLists;
  uint32_t textListCount;
  const char* methodName;
} EndpointFunctionRecord;
#pragma pack(pop)

typedef struct PluginApiDescriptor {
  EndpointFunctionRecord* functions;
  uint32_t functionCount;
  ApiTypeRecord* types;
  uint32_t typeCount;
  ApiEventRecord* events;
  uint32_t eventCount;
} PluginApiDescriptor;

/* ---- Host side ------------------------------------------------------------ */

struct HostFunctionTable;
typedef struct HostFunctionTable HostFunctionTable;

/* Slots in order; offset = slot * pointer size. */
struct HostFunctionTable {
  /* Fills *response before returning; the caller zeroes it first. */
  void(KELP_CDECL* sendRequest)(const HostFunctionTable* self, InvokeResponse* response,
                                const InvokeRequest* request);
  /* No caller in this library. */
  void(KELP_CDECL* slot1)(const HostFunctionTable* self, uint32_t first, uint32_t second);
  void(KELP_CDECL* publishEvent)(const HostFunctionTable* self, const EventRecord* event);
  /* flags: 0 ordinary events, 1 service-proxy events. */
  void(KELP_CDECL* subscribe)(const HostFunctionTable* self, const char* name,
                              uint32_t hostHandle, EventCallback callback, void* context,
                              uint32_t flags);
  void(KELP_CDECL* unsubscribe)(const HostFunctionTable* self, const char* name,
                                uint32_t hostHandle);
  /* delaySeconds is never negative; reserved is 0. */
  void(KELP_CDECL* schedule)(const HostFunctionTable* self, const char* name,
                             ScheduledCallback callback, void* context, double delaySeconds,
                             uint32_t reserved);
  void(KELP_CDECL* yield)(const HostFunctionTable* self);
  void(KELP_CDECL* enterWait)(const HostFunctionTable* self, const char* name,
                              uint32_t reserved);
  uint64_t(KELP_CDECL* leaveWait)(const HostFunctionTable* self);
  /* level: 0 OKAY, 1 WARN, 2 ERROR, 3 ALWAYS. */
  void(KELP_CDECL* log)(const HostFunctionTable* self, int32_t level, const char* message);
};

typedef struct HostContext {
  const HostFunctionTable* functions;
  uint32_t hostHandle;
} HostContext;

/* ---- Plugin side ---------------------------------------------------------- */

typedef struct PluginEntryTable {
  /* Connects and starts the plugin; returns the plugin's start result. */
  uint8_t(KELP_CDECL* init)(void* plugin, const HostContext* context);
  /* Stops the plugin and destroys it: `plugin` is gone when this returns. */
  void(KELP_CDECL* shutdown)(void* plugin);
  void(KELP_CDECL* getMemoryStats)(void* plugin, MemoryStats* stats);
} PluginEntryTable;

/* Words 0 to 2 are written by the host before the call; the plugin writes all
 * seven before it returns. An incompatible host gets nothing written. */
typedef struct PluginLoadRecord {
  uint32_t major;
  uint32_t minor;
  uint32_t patch;
  const PluginEntryTable* entryTable;
  void* context;
  const char* name;
  const PluginApiDescriptor* apiDescriptor;
} PluginLoadRecord;

typedef void(KELP_CDECL* PluginLoadFunction)(PluginLoadRecord* record);

#define KELP_PLUGIN_ENTRY_NAME "load_tav_premade_voice"

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- Layout checks ---------------------------------------------------------- */

#define KELP_SLOT(type, field, slot)                                     \
  static_assert(offsetof(type, field) == (slot) * sizeof(void (*)(void)), \
                #type ": " #field " is slot " #slot)

KELP_SLOT(HostFunctionTable, sendRequest, 0);
KELP_SLOT(HostFunctionTable, slot1, 1);
KELP_SLOT(HostFunctionTable, publishEvent, 2);
KELP_SLOT(HostFunctionTable, subscribe, 3);
KELP_SLOT(HostFunctionTable, unsubscribe, 4);
KELP_SLOT(HostFunctionTable, schedule, 5);
KELP_SLOT(HostFunctionTable, yield, 6);
KELP_SLOT(HostFunctionTable, enterWait, 7);
KELP_SLOT(HostFunctionTable, leaveWait, 8);
KELP_SLOT(HostFunctionTable, log, 9);
static_assert(sizeof(HostFunctionTable) == 10 * sizeof(void (*)(void)),
              "HostFunctionTable: ten slots");
KELP_SLOT(PluginEntryTable, init, 0);
KELP_SLOT(PluginEntryTable, shutdown, 1);
KELP_SLOT(PluginEntryTable, getMemoryStats, 2);
static_assert(sizeof(PluginEntryTable) == 3 * sizeof(void (*)(void)),
              "PluginEntryTable: three slots");
#undef KELP_SLOT

static_assert(sizeof(MemoryStats) == 56, "MemoryStats: seven 64-bit words");

#define KELP_AT(type, field, offset) \
  static_assert(offsetof(type, field) == (offset), #type "." #field " at " #offset)
#define KELP_SIZE(type, size) static_assert(sizeof(type) == (size), #type " is " #size " bytes")

#if KELP_ABI_32BIT
KELP_SIZE(BindingValue, 12);
KELP_AT(BindingValue, payload, 4);
KELP_AT(BindingValue, payload.string.length, 8);
KELP_AT(BindingValue, payload.collection.count, 8);
#ifdef __cplusplus
static_assert(alignof(BindingValue) == 4, "BindingValue: 4-byte alignment");
#else
static_assert(_Alignof(BindingValue) == 4, "BindingValue: 4-byte alignment");
#endif
KELP_SIZE(BindingStructEntry, 17);
KELP_AT(BindingStructEntry, value, 4);
KELP_AT(BindingStructEntry, ownsKey, 16);
KELP_SIZE(BindingResult, 17);
KELP_AT(BindingResult, error, 12);
KELP_AT(BindingResult, failed, 16);

KELP_SIZE(EventRecord, 24);
KELP_AT(EventRecord, payload, 4);
KELP_AT(EventRecord, reserved, 16);
KELP_AT(EventRecord, context, 20);

KELP_SIZE(HostContext, 8);
KELP_AT(HostContext, hostHandle, 4);

KELP_SIZE(PluginLoadRecord, 28);
KELP_AT(PluginLoadRecord, entryTable, 12);
KELP_AT(PluginLoadRecord, context, 16);
KELP_AT(PluginLoadRecord, name, 20);
KELP_AT(PluginLoadRecord, apiDescriptor, 24);

KELP_SIZE(PluginApiDescriptor, 24);
KELP_AT(PluginApiDescriptor, functionCount, 4);
KELP_AT(PluginApiDescriptor, types, 8);
KELP_AT(PluginApiDescriptor, typeCount, 12);
KELP_AT(PluginApiDescriptor, events, 16);
KELP_AT(PluginApiDescriptor, eventCount, 20);
KELP_SIZE(ApiDescription, 24);

KELP_SIZE(TextPair, 8);
KELP_SIZE(InvokeArgument, 16);
KELP_AT(InvokeArgument, value, 4);
KELP_SIZE(FunctionContextBlock, 8);
KELP_AT(FunctionContextBlock, context, 4);

KELP_SIZE(InvokeRequest, 48);
KELP_AT(InvokeRequest, path, 4);
KELP_AT(InvokeRequest, arguments, 8);
KELP_AT(InvokeRequest, argumentCount, 12);
KELP_AT(InvokeRequest, function, 16);
KELP_AT(InvokeRequest, textPairs, 20);
KELP_AT(InvokeRequest, textPairCount, 24);
KELP_AT(InvokeRequest, contentType, 28);
KELP_AT(InvokeRequest, body, 32);
KELP_AT(InvokeRequest, bodyLength, 36);
KELP_AT(InvokeRequest, senderHandle, 40);
KELP_AT(InvokeRequest, methodName, 44);

KELP_SIZE(InvokeResponse, 62);
KELP_AT(InvokeResponse, flags, 17);
KELP_AT(InvokeResponse, code, 18);
KELP_AT(InvokeResponse, status, 22);
KELP_AT(InvokeResponse, contentType, 26);
KELP_AT(InvokeResponse, headers, 30);
KELP_AT(InvokeResponse, headerCount, 34);
KELP_AT(InvokeResponse, streamRead, 38);
KELP_AT(InvokeResponse, streamClose, 42);
KELP_AT(InvokeResponse, streamExpectedSize, 46);
KELP_AT(InvokeResponse, streamContext, 54);
KELP_AT(InvokeResponse, release, 58);

KELP_SIZE(ApiFunctionRecord, 61);
KELP_AT(ApiFunctionRecord, invoke, 4);
KELP_AT(ApiFunctionRecord, invoke.context, 8);
KELP_AT(ApiFunctionRecord, name, 12);
KELP_AT(ApiFunctionRecord, nameSpace, 16);
KELP_AT(ApiFunctionRecord, arguments, 20);
KELP_AT(ApiFunctionRecord, argumentCount, 24);
KELP_AT(ApiFunctionRecord, returnType, 28);
KELP_AT(ApiFunctionRecord, returnElementType, 32);
KELP_AT(ApiFunctionRecord, returnTypeName, 36);
KELP_AT(ApiFunctionRecord, description, 40);
KELP_AT(ApiFunctionRecord, help, 44);
KELP_AT(ApiFunctionRecord, threadSafe, 48);
KELP_AT(ApiFunctionRecord, async, 49);
KELP_AT(ApiFunctionRecord, tags, 53);
KELP_AT(ApiFunctionRecord, tagCount, 57);

KELP_SIZE(ApiArgumentRecord, 25);
KELP_AT(ApiArgumentRecord, name, 4);
KELP_AT(ApiArgumentRecord, description, 8);
KELP_AT(ApiArgumentRecord, type, 12);
KELP_AT(ApiArgumentRecord, elementType, 16);
KELP_AT(ApiArgumentRecord, typeName, 20);
KELP_AT(ApiArgumentRecord, optional, 24);

KELP_SIZE(ApiTypeRecord, 40);
KELP_AT(ApiTypeRecord, name, 4);
KELP_AT(ApiTypeRecord, nameSpace, 8);
KELP_AT(ApiTypeRecord, size, 12);
KELP_AT(ApiTypeRecord, description, 16);
KELP_AT(ApiTypeRecord, tags, 20);
KELP_AT(ApiTypeRecord, tagCount, 24);
KELP_AT(ApiTypeRecord, fields, 28);
KELP_AT(ApiTypeRecord, values, 32);
KELP_AT(ApiTypeRecord, count, 36);

KELP_SIZE(ApiFieldRecord, 29);
KELP_AT(ApiFieldRecord, name, 4);
KELP_AT(ApiFieldRecord, description, 8);
KELP_AT(ApiFieldRecord, offset, 12);
KELP_AT(ApiFieldRecord, type, 16);
KELP_AT(ApiFieldRecord, elementType, 20);
KELP_AT(ApiFieldRecord, typeName, 24);
KELP_AT(ApiFieldRecord, optional, 28);

KELP_SIZE(ApiEnumValueRecord, 16);
KELP_AT(ApiEnumValueRecord, name, 4);
KELP_AT(ApiEnumValueRecord, description, 8);
KELP_AT(ApiEnumValueRecord, value, 12);

KELP_SIZE(ApiEventRecord, 28);
KELP_AT(ApiEventRecord, name, 4);
KELP_AT(ApiEventRecord, nameSpace, 8);
KELP_AT(ApiEventRecord, typeName, 12);
KELP_AT(ApiEventRecord, description, 16);
KELP_AT(ApiEventRecord, tags, 20);
KELP_AT(ApiEventRecord, tagCount, 24);

KELP_SIZE(ParameterLocationRecord, 8);
KELP_AT(ParameterLocationRecord, location, 4);
KELP_SIZE(TextListRecord, 12);
KELP_AT(TextListRecord, texts, 4);
KELP_AT(TextListRecord, count, 8);

KELP_SIZE(EndpointFunctionRecord, 90);
KELP_AT(EndpointFunctionRecord, invoke, 61);
KELP_AT(EndpointFunctionRecord, parameters, 65);
KELP_AT(EndpointFunctionRecord, path, 69);
KELP_AT(EndpointFunctionRecord, method, 73);
KELP_AT(EndpointFunctionRecord, flags, 77);
KELP_AT(EndpointFunctionRecord, textLists, 78);
KELP_AT(EndpointFunctionRecord, textListCount, 82);
KELP_AT(EndpointFunctionRecord, methodName, 86);
#endif /* KELP_ABI_32BIT */

#undef KELP_AT
#undef KELP_SIZE

#endif /* KELP_SDK_PLUGIN_ABI_H_ */
