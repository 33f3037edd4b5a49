/* The host interface of the QuviLiveViewer control (libQuviLiveViewer.so).
 *
 * A host program creates controls, sets their properties, calls their methods and receives
 * their events through these C functions; nothing else of the library is visible.
 *
 * Threads. A control belongs to the thread that creates it: the host's user-interface thread.
 * Call every function taking a QuviControl on that thread (others get QUVI_E_WRONG_THREAD),
 * and pump that thread's messages (QuviPumpMessages) so the control's windows work and its
 * events arrive: events raised by the control's connection and play threads are queued and
 * delivered to the sink on the user-interface thread while it pumps. Undelivered
 * OnReceiveData events are bounded: beyond 64 the oldest is dropped and counted
 * (QuviGetDroppedDataEvents). Events exist only while a sink is connected.
 *
 * Results. Every call returns a result code: QUVI_S_OK (0) or another non-negative value for
 * success, a negative QUVI_E_* code for failure. After a failure QuviGetErrorText tells why
 * (for a member that raised, the member's own message).
 *
 * Values. QuviVariant carries arguments, results and event arguments. Texts are UTF-8.
 * Strings, byte arrays and fonts live in memory from malloc: build them with the
 * QuviVariantSet* helpers and free every variant the library filled in (results, and out
 * arguments it replaced) with QuviVariantClear. Booleans are -1 (true) and 0 (false).
 *
 * Registration. DllRegisterServer records the control class in the per-user registry file
 * ($QUVI_REGISTRY_FILE, else $XDG_CONFIG_HOME/quvi/registry.ini, else
 * $HOME/.config/quvi/registry.ini): its class identifier and name, this library's path, the
 * threading model "Apartment" and the status bits 0x12000. QuviCreateControl then finds the
 * class's library by class identifier or name: whichever copy of the library a host calls, the
 * registered copy makes the control and serves it.
 */
#ifndef QUVI_HOST_H
#define QUVI_HOST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUVI_HOST_API __attribute__((visibility("default")))

typedef int32_t QUVI_HRESULT;

#define QUVI_S_OK ((QUVI_HRESULT)0)
#define QUVI_S_FALSE ((QUVI_HRESULT)1)
#define QUVI_E_NOTIMPL ((QUVI_HRESULT)0x80004001u)
#define QUVI_E_POINTER ((QUVI_HRESULT)0x80004003u)
#define QUVI_E_FAIL ((QUVI_HRESULT)0x80004005u)
#define QUVI_E_OUTOFMEMORY ((QUVI_HRESULT)0x8007000Eu)
#define QUVI_E_INVALIDARG ((QUVI_HRESULT)0x80070057u)
#define QUVI_E_WRONG_THREAD ((QUVI_HRESULT)0x8001010Eu)
#define QUVI_E_MEMBERNOTFOUND ((QUVI_HRESULT)0x80020003u)
#define QUVI_E_TYPEMISMATCH ((QUVI_HRESULT)0x80020005u)
#define QUVI_E_UNKNOWNNAME ((QUVI_HRESULT)0x80020006u)
#define QUVI_E_BADVARTYPE ((QUVI_HRESULT)0x80020008u)
#define QUVI_E_EXCEPTION ((QUVI_HRESULT)0x80020009u)
#define QUVI_E_OVERFLOW ((QUVI_HRESULT)0x8002000Au)
#define QUVI_E_BADPARAMCOUNT ((QUVI_HRESULT)0x8002000Eu)
#define QUVI_E_CLASSNOTAVAILABLE ((QUVI_HRESULT)0x80040111u)
#define QUVI_E_CLASSNOTREG ((QUVI_HRESULT)0x80040154u)
#define QUVI_E_NOCONNECTION ((QUVI_HRESULT)0x80040200u)
#define QUVI_E_SELFREG_CLASS ((QUVI_HRESULT)0x80040201u)

/* Text of the calling thread's last failure ("" after a success); valid until its next call. */
QUVI_HOST_API const char* QuviGetErrorText(void);

/* ---- Values ---- */

#define QUVI_VT_EMPTY 0
#define QUVI_VT_I4 3     /* 32-bit integer; also enumerations and window handles */
#define QUVI_VT_R4 4     /* single */
#define QUVI_VT_R8 5     /* double */
#define QUVI_VT_DATE 7   /* days since 1899-12-30, time of day as the fraction */
#define QUVI_VT_STRING 8 /* UTF-8 text */
#define QUVI_VT_FONT 9
#define QUVI_VT_BOOL 11      /* -1 true, 0 false */
#define QUVI_VT_COLOR 19     /* 0x00BBGGRR, or a system colour with the top bit set */
#define QUVI_VT_BYTES 0x2011 /* one-dimensional byte array with a lower bound */

typedef struct QuviFont {
  char* name;  /* malloc'd UTF-8 */
  double size; /* points */
  int16_t weight;
  int16_t charset;
  uint8_t bold, italic, underline, strikethrough;
} QuviFont;

typedef struct QuviVariant {
  uint16_t vt;
  union {
    int32_t i4;
    float r4;
    double r8;
    double date;
    int16_t boolean;
    uint32_t color;
    struct {
      char* data;      /* malloc'd, NUL-terminated */
      uint32_t length; /* bytes without the NUL */
    } str;
    struct {
      uint8_t* data;  /* malloc'd */
      uint32_t count; /* elements: indexes lower_bound .. lower_bound + count - 1 */
      int32_t lower_bound;
    } bytes;
    QuviFont* font; /* malloc'd, name included */
  } u;
} QuviVariant;

QUVI_HOST_API void QuviVariantInit(QuviVariant* v);
/* Frees what the variant holds and leaves it empty. */
QUVI_HOST_API void QuviVariantClear(QuviVariant* v);
/* Each replaces the variant's value (clearing the old one) with a copy of the data. */
QUVI_HOST_API QUVI_HRESULT QuviVariantSetString(QuviVariant* v, const char* utf8);
QUVI_HOST_API QUVI_HRESULT QuviVariantSetBytes(QuviVariant* v, const uint8_t* data, uint32_t count,
                                               int32_t lower_bound);
QUVI_HOST_API QUVI_HRESULT QuviVariantSetFont(QuviVariant* v, const QuviFont* font);

/* ---- Type description ---- */

#define QUVI_INVOKE_METHOD 1
#define QUVI_INVOKE_GET 2
#define QUVI_INVOKE_PUT 4
#define QUVI_INVOKE_PUTREF 8

#define QUVI_PARAM_IN 1
#define QUVI_PARAM_OUT 2

/* Which interface of the class. */
#define QUVI_DISPATCH_INTERFACE 0 /* IPmOstraNvPreviewWindowX: properties and methods */
#define QUVI_EVENT_INTERFACE 1    /* IPmOstraNvPreviewWindowXEvents: events */

typedef struct QuviParamInfo {
  const char* name;
  uint16_t type;         /* QUVI_VT_* */
  const char* type_name; /* the enumeration's name for enumerated values, else "" */
  uint8_t flags;         /* QUVI_PARAM_IN, QUVI_PARAM_OUT */
} QuviParamInfo;

/* One function of an interface: a method, a property read or a property write. A property
 * has one function per invoke kind, the read before the writes. */
typedef struct QuviFunctionInfo {
  int32_t dispid;
  const char* name;
  uint16_t kind;        /* QUVI_INVOKE_* */
  uint16_t result_type; /* QUVI_VT_*; QUVI_VT_EMPTY when nothing is returned */
  const char* result_type_name;
  uint32_t param_count; /* arguments the caller passes, in declaration order */
  const QuviParamInfo* params;
} QuviFunctionInfo;

typedef struct QuviEnumValue {
  const char* name;
  int32_t value;
} QuviEnumValue;

typedef struct QuviEnumInfo {
  const char* name;
  const char* guid;
  uint32_t value_count;
  const QuviEnumValue* values;
} QuviEnumInfo;

typedef struct QuviLibraryInfo {
  const char *name, *guid, *help_string;
  uint16_t major_version, minor_version;
  const char *class_name, *class_guid, *class_help_string, *prog_id;
  const char *dispatch_name, *dispatch_guid, *dispatch_help_string;
  uint16_t dispatch_flags; /* 0x40 dual, 0x1000 dispatchable */
  const char *events_name, *events_guid, *events_help_string;
} QuviLibraryInfo;

/* All texts and arrays handed out stay valid while the library is loaded. */
QUVI_HOST_API QUVI_HRESULT QuviGetLibraryInfo(QuviLibraryInfo* info);
QUVI_HOST_API uint32_t QuviGetFunctionCount(int32_t which_interface);
QUVI_HOST_API QUVI_HRESULT QuviGetFunction(int32_t which_interface, uint32_t index,
                                           QuviFunctionInfo* info);
QUVI_HOST_API uint32_t QuviGetEnumCount(void);
QUVI_HOST_API QUVI_HRESULT QuviGetEnum(uint32_t index, QuviEnumInfo* info);

/* ---- Controls ---- */

typedef struct QuviControl QuviControl;

/* Creates a control of the registered class `clsid` ("{0E1B418E-...}", any letter case) as a
 * child of `parent` (a window handle, 0 for none), sized width x height. The class's library
 * is found through the registry file. QUVI_E_CLASSNOTREG when the class is not registered. */
QUVI_HOST_API QUVI_HRESULT QuviCreateControl(const char* clsid, intptr_t parent, int32_t width,
                                             int32_t height, QuviControl** control);
/* The same by the class's registered name, "QuviLiveViewer.PmOstraNvPreviewWindowX". */
QUVI_HOST_API QUVI_HRESULT QuviCreateControlByName(const char* prog_id, intptr_t parent,
                                                   int32_t width, int32_t height,
                                                   QuviControl** control);
/* Stops what the control does and frees it; its sinks get nothing more. NULL, and a call from
 * another thread than the control's, free nothing (QuviGetErrorText tells). */
QUVI_HOST_API void QuviReleaseControl(QuviControl* control);
/* The control's own window handle. */
QUVI_HOST_API intptr_t QuviGetControlWindow(QuviControl* control);

/* The DISPID of a member by name, letter case ignored; QUVI_E_UNKNOWNNAME when none. */
QUVI_HOST_API QUVI_HRESULT QuviFindMember(QuviControl* control, const char* name, int32_t* dispid);
/* Calls a member: kind is QUVI_INVOKE_METHOD, _GET, _PUT or _PUTREF (METHOD | GET reads a
 * property or calls a method, as scripting hosts do). `args` are the arguments in
 * declaration order (a write's value is its only argument); they are converted to the
 * declared types, and out arguments are replaced by their new values. `result` (may be NULL)
 * receives the returned value. Wrong counts or types fail with QUVI_E_BADPARAMCOUNT,
 * QUVI_E_TYPEMISMATCH or QUVI_E_OVERFLOW and change nothing; a member that raised fails with
 * QUVI_E_EXCEPTION. */
QUVI_HOST_API QUVI_HRESULT QuviInvoke(QuviControl* control, int32_t dispid, uint16_t kind,
                                      QuviVariant* args, uint32_t arg_count, QuviVariant* result);

/* Receives events on the control's thread: the event's DISPID (OnConnected 0xC9 ...
 * OnVideoInfoRead 0xCF) and its arguments in declaration order. OnReceiveData's `databuf` is
 * a byte array 0 .. Framesize: the media bytes and a closing 0. The arguments belong to the
 * library and are only valid during the call. */
typedef void (*QuviEventSink)(void* user, int32_t dispid, const QuviVariant* args,
                              uint32_t arg_count);
QUVI_HOST_API QUVI_HRESULT QuviConnectEvents(QuviControl* control, QuviEventSink sink, void* user,
                                             uint32_t* cookie);
QUVI_HOST_API QUVI_HRESULT QuviDisconnectEvents(QuviControl* control, uint32_t cookie);
/* OnReceiveData events dropped so far because the host fell behind. */
QUVI_HOST_API QUVI_HRESULT QuviGetDroppedDataEvents(QuviControl* control, uint64_t* count);

/* Runs the calling thread's message loop for timeout_ms, delivering window messages and
 * queued events; returns how many messages were handled. */
QUVI_HOST_API int32_t QuviPumpMessages(uint32_t timeout_ms);

/* ---- Self-registration and the class object ---- */

typedef struct QuviClassFactory {
  /* As QuviCreateControl, without the registry. */
  QUVI_HRESULT (*CreateInstance)
  (intptr_t parent, int32_t width, int32_t height, QuviControl** control);
  /* Non-zero keeps the library from unloading (DllCanUnloadNow), zero gives that back. */
  QUVI_HRESULT (*LockServer)(int32_t lock);
} QuviClassFactory;

QUVI_HOST_API QUVI_HRESULT DllRegisterServer(void);
QUVI_HOST_API QUVI_HRESULT DllUnregisterServer(void);
/* The class object of `clsid`; QUVI_E_CLASSNOTAVAILABLE for any other class. */
QUVI_HOST_API QUVI_HRESULT DllGetClassObject(const char* clsid, const QuviClassFactory** factory);
/* QUVI_S_OK when no control lives and no lock is held, else QUVI_S_FALSE. */
QUVI_HOST_API QUVI_HRESULT DllCanUnloadNow(void);

#ifdef __cplusplus
}
#endif

#endif /* QUVI_HOST_H */
