/* A host of the control, written against quvi_host.h alone: loads the library with dlopen,
 * registers the class, creates controls by class identifier and name, calls every member,
 * and receives events on its own thread. Each case is a command-line argument. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "quvi_host.h"

static int g_failures = 0;

#define CHECK(cond, ...)                                                       \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s: ", __FILE__, __LINE__, #cond); \
      fprintf(stderr, __VA_ARGS__);                                            \
      fprintf(stderr, "\n");                                                   \
      ++g_failures;                                                            \
    }                                                                          \
  } while (0)

/* Evaluates cond once; ends the case's process when it fails. */
#define REQUIRE(cond, ...)                                                           \
  do {                                                                               \
    if (!(cond)) {                                                                   \
      fprintf(stderr, "%s:%d: requirement failed: %s: ", __FILE__, __LINE__, #cond); \
      fprintf(stderr, __VA_ARGS__);                                                  \
      fprintf(stderr, "\n");                                                         \
      exit(1);                                                                       \
    }                                                                                \
  } while (0)

/* The library's functions, looked up by name. */
/* Waits for what the control does end after this long only in a broken build; sanitizers and a
 * busy machine make a healthy run many times slower. */
#define HANG_GUARD_MS 60000

#define QUVI_FN(name) __typeof__(name)* name
static struct {
  void* module;
  QUVI_FN(QuviGetErrorText);
  QUVI_FN(QuviVariantInit);
  QUVI_FN(QuviVariantClear);
  QUVI_FN(QuviVariantSetString);
  QUVI_FN(QuviVariantSetBytes);
  QUVI_FN(QuviVariantSetFont);
  QUVI_FN(QuviGetLibraryInfo);
  QUVI_FN(QuviGetFunctionCount);
  QUVI_FN(QuviGetFunction);
  QUVI_FN(QuviGetEnumCount);
  QUVI_FN(QuviGetEnum);
  QUVI_FN(QuviCreateControl);
  QUVI_FN(QuviCreateControlByName);
  QUVI_FN(QuviReleaseControl);
  QUVI_FN(QuviGetControlWindow);
  QUVI_FN(QuviFindMember);
  QUVI_FN(QuviInvoke);
  QUVI_FN(QuviConnectEvents);
  QUVI_FN(QuviDisconnectEvents);
  QUVI_FN(QuviGetDroppedDataEvents);
  QUVI_FN(QuviPumpMessages);
  QUVI_FN(DllRegisterServer);
  QUVI_FN(DllUnregisterServer);
  QUVI_FN(DllGetClassObject);
  QUVI_FN(DllCanUnloadNow);
} q;

#define LOAD(name)                                     \
  do {                                                 \
    *(void**)&q.name = dlsym(q.module, #name);         \
    REQUIRE(q.name != NULL, "%s not exported", #name); \
  } while (0)

static const char* kClassId = "{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}";
static char g_registry[256];

static void LoadLibrary(const char* path) {
  q.module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  REQUIRE(q.module != NULL, "dlopen %s: %s", path, dlerror());
  LOAD(QuviGetErrorText);
  LOAD(QuviVariantInit);
  LOAD(QuviVariantClear);
  LOAD(QuviVariantSetString);
  LOAD(QuviVariantSetBytes);
  LOAD(QuviVariantSetFont);
  LOAD(QuviGetLibraryInfo);
  LOAD(QuviGetFunctionCount);
  LOAD(QuviGetFunction);
  LOAD(QuviGetEnumCount);
  LOAD(QuviGetEnum);
  LOAD(QuviCreateControl);
  LOAD(QuviCreateControlByName);
  LOAD(QuviReleaseControl);
  LOAD(QuviGetControlWindow);
  LOAD(QuviFindMember);
  LOAD(QuviInvoke);
  LOAD(QuviConnectEvents);
  LOAD(QuviDisconnectEvents);
  LOAD(QuviGetDroppedDataEvents);
  LOAD(QuviPumpMessages);
  LOAD(DllRegisterServer);
  LOAD(DllUnregisterServer);
  LOAD(DllGetClassObject);
  LOAD(DllCanUnloadNow);
}

/* A registry file of this process's own, so tests never touch the user's. */
static void UsePrivateRegistry(void) {
  snprintf(g_registry, sizeof g_registry, "/tmp/quvi_host_api_test_%d/registry.ini", (int)getpid());
  setenv("QUVI_REGISTRY_FILE", g_registry, 1);
  unlink(g_registry);
}

static void RemovePrivateRegistry(void) {
  unlink(g_registry);
  char dir[256];
  snprintf(dir, sizeof dir, "/tmp/quvi_host_api_test_%d", (int)getpid());
  rmdir(dir);
}

static QuviControl* RegisterAndCreate(void) {
  UsePrivateRegistry();
  REQUIRE(q.DllRegisterServer() == QUVI_S_OK, "register: %s", q.QuviGetErrorText());
  QuviControl* c = NULL;
  const QUVI_HRESULT hr = q.QuviCreateControl(kClassId, 0, 352, 288, &c);
  REQUIRE(hr == QUVI_S_OK && c != NULL, "create: 0x%08x %s", (unsigned)hr, q.QuviGetErrorText());
  return c;
}

static QUVI_HRESULT InvokeByName(QuviControl* c, const char* name, uint16_t kind, QuviVariant* args,
                                 uint32_t n, QuviVariant* result) {
  int32_t id = 0;
  QUVI_HRESULT hr = q.QuviFindMember(c, name, &id);
  if (hr != QUVI_S_OK) return hr;
  return q.QuviInvoke(c, id, kind, args, n, result);
}

static int32_t GetI4(QuviControl* c, const char* name) {
  QuviVariant r;
  q.QuviVariantInit(&r);
  CHECK(InvokeByName(c, name, QUVI_INVOKE_GET, NULL, 0, &r) == QUVI_S_OK, "%s", name);
  CHECK(r.vt == QUVI_VT_I4, "%s type %d", name, r.vt);
  return r.u.i4;
}

static void CallMethod(QuviControl* c, const char* name) {
  QuviVariant r;
  q.QuviVariantInit(&r);
  const QUVI_HRESULT hr = InvokeByName(c, name, QUVI_INVOKE_METHOD, NULL, 0, &r);
  CHECK(hr == QUVI_S_OK, "%s: 0x%08x %s", name, (unsigned)hr, q.QuviGetErrorText());
  q.QuviVariantClear(&r);
}

/* Pumps until *counter reaches target. */
static void PumpUntil(const int* counter, int target) {
  for (int i = 0; i < HANG_GUARD_MS / 20 && *counter < target; ++i) q.QuviPumpMessages(20);
}

static char* ReadFile(const char* path) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return NULL;
  static char buf[65536];
  const size_t n = fread(buf, 1, sizeof buf - 1, f);
  buf[n] = '\0';
  fclose(f);
  return buf;
}

/* The value "@=" of a section of the registry file. */
static const char* DefaultValue(const char* file, const char* section, char* out, size_t size) {
  char head[256];
  snprintf(head, sizeof head, "[%s]\r\n@=", section);
  const char* p = strstr(file, head);
  if (p == NULL) return NULL;
  p += strlen(head);
  size_t n = strcspn(p, "\r\n");
  if (n >= size) n = size - 1;
  memcpy(out, p, n);
  out[n] = '\0';
  return out;
}

static void CaseRegistration(void) {
  UsePrivateRegistry();
  QuviControl* c = NULL;
  CHECK(q.QuviCreateControl(kClassId, 0, 100, 100, &c) == QUVI_E_CLASSNOTREG, "unregistered");
  CHECK(c == NULL, "no control");
  CHECK(strstr(q.QuviGetErrorText(), "not registered") != NULL, "%s", q.QuviGetErrorText());

  REQUIRE(q.DllRegisterServer() == QUVI_S_OK, "%s", q.QuviGetErrorText());
  const char* file = ReadFile(g_registry);
  REQUIRE(file != NULL, "no registry file %s", g_registry);
  char value[1024], lib[4096];
  REQUIRE(realpath(QUVI_TESTING_LIBRARY, lib) != NULL, "realpath");
  const char* path = DefaultValue(
      file, "CLSID\\{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}\\InprocServer32", value, sizeof value);
  CHECK(path != NULL && strcmp(path, lib) == 0, "library path %s", path ? path : "(none)");
  CHECK(strstr(file, "ThreadingModel=Apartment") != NULL, "threading model");
  const char* misc = DefaultValue(file, "CLSID\\{0E1B418E-FC82-4B9A-B8E8-A17CDA2F03BA}\\MiscStatus",
                                  value, sizeof value);
  CHECK(misc != NULL && (strtoul(misc, NULL, 10) & 0x12000) == 0x12000, "status bits %s",
        misc ? misc : "(none)");
  const char* prog =
      DefaultValue(file, "QuviLiveViewer.PmOstraNvPreviewWindowX\\CLSID", value, sizeof value);
  CHECK(prog != NULL && strcmp(prog, kClassId) == 0, "name to class");

  /* By identifier in any letter case, and by name. */
  QuviControl* a = NULL;
  QuviControl* b = NULL;
  CHECK(q.QuviCreateControl("{0e1b418e-fc82-4b9a-b8e8-a17cda2f03ba}", 0, 352, 288, &a) == QUVI_S_OK,
        "by identifier: %s", q.QuviGetErrorText());
  CHECK(q.QuviCreateControlByName("QuviLiveViewer.PmOstraNvPreviewWindowX", 0, 352, 288, &b) ==
            QUVI_S_OK,
        "by name: %s", q.QuviGetErrorText());
  CHECK(a != NULL && b != NULL && a != b, "two controls");
  CHECK(q.QuviGetControlWindow(a) != 0 && q.QuviGetControlWindow(a) != q.QuviGetControlWindow(b),
        "each has its window");
  CHECK(q.QuviCreateControlByName("QuviLiveViewer.NoSuchClass", 0, 1, 1, &c) == QUVI_E_CLASSNOTREG,
        "unknown name");
  CHECK(q.QuviCreateControl("not a class", 0, 1, 1, &c) == QUVI_E_INVALIDARG, "bad identifier");
  CHECK(q.DllCanUnloadNow() == QUVI_S_FALSE, "controls alive");
  q.QuviReleaseControl(a);
  q.QuviReleaseControl(b);
  CHECK(q.DllCanUnloadNow() == QUVI_S_OK, "all released");

  const QuviClassFactory* factory = NULL;
  CHECK(q.DllGetClassObject("{6D31F58B-F778-4947-8560-108670D6111D}", &factory) ==
            QUVI_E_CLASSNOTAVAILABLE,
        "an interface is no class");
  CHECK(q.DllGetClassObject(kClassId, &factory) == QUVI_S_OK && factory != NULL, "factory");
  factory->LockServer(1);
  CHECK(q.DllCanUnloadNow() == QUVI_S_FALSE, "locked");
  factory->LockServer(0);
  CHECK(q.DllCanUnloadNow() == QUVI_S_OK, "unlocked");

  CHECK(q.DllUnregisterServer() == QUVI_S_OK, "%s", q.QuviGetErrorText());
  CHECK(q.QuviCreateControl(kClassId, 0, 100, 100, &c) == QUVI_E_CLASSNOTREG, "after unregister");
  CHECK(q.QuviCreateControlByName("QuviLiveViewer.PmOstraNvPreviewWindowX", 0, 1, 1, &c) ==
            QUVI_E_CLASSNOTREG,
        "name after unregister");
  RemovePrivateRegistry();
}

/* A value of the declared type. */
static void Sample(uint16_t type, QuviVariant* v) {
  q.QuviVariantInit(v);
  switch (type) {
    case QUVI_VT_I4:
      v->vt = QUVI_VT_I4;
      v->u.i4 = 1;
      break;
    case QUVI_VT_BOOL:
      v->vt = QUVI_VT_BOOL;
      v->u.boolean = -1;
      break;
    case QUVI_VT_COLOR:
      v->vt = QUVI_VT_COLOR;
      v->u.color = 0x00345678;
      break;
    case QUVI_VT_STRING:
      q.QuviVariantSetString(v, "6789");
      break;
    case QUVI_VT_FONT: {
      QuviFont f = {(char*)"Noto Sans CJK SC", 11, 700, 134, 1, 0, 0, 0};
      q.QuviVariantSetFont(v, &f);
      break;
    }
    default:
      break;
  }
}

static int SameValue(const QuviVariant* a, const QuviVariant* b) {
  if (a->vt != b->vt) return 0;
  switch (a->vt) {
    case QUVI_VT_I4:
      return a->u.i4 == b->u.i4;
    case QUVI_VT_BOOL:
      return a->u.boolean == b->u.boolean;
    case QUVI_VT_COLOR:
      return a->u.color == b->u.color;
    case QUVI_VT_STRING:
      return strcmp(a->u.str.data, b->u.str.data) == 0;
    case QUVI_VT_FONT:
      return strcmp(a->u.font->name, b->u.font->name) == 0 && a->u.font->size == b->u.font->size &&
             a->u.font->weight == b->u.font->weight && a->u.font->bold == b->u.font->bold;
    default:
      return 1;
  }
}

static int HasGet(int32_t dispid) {
  const uint32_t n = q.QuviGetFunctionCount(QUVI_DISPATCH_INTERFACE);
  for (uint32_t i = 0; i < n; ++i) {
    QuviFunctionInfo f;
    q.QuviGetFunction(QUVI_DISPATCH_INTERFACE, i, &f);
    if (f.dispid == dispid && f.kind == QUVI_INVOKE_GET) return 1;
  }
  return 0;
}

static void CaseEveryMember(void) {
  QuviControl* c = RegisterAndCreate();
  const uint32_t n = q.QuviGetFunctionCount(QUVI_DISPATCH_INTERFACE);
  int members = 0;
  int32_t last = 0x7fffffff;
  for (uint32_t i = 0; i < n; ++i) {
    QuviFunctionInfo f;
    REQUIRE(q.QuviGetFunction(QUVI_DISPATCH_INTERFACE, i, &f) == QUVI_S_OK, "function %u", i);
    if (f.dispid != last) ++members;
    last = f.dispid;
    /* Once by name ... */
    int32_t id = 0;
    CHECK(q.QuviFindMember(c, f.name, &id) == QUVI_S_OK && id == f.dispid, "%s by name", f.name);
    QuviVariant args[4], result;
    for (uint32_t a = 0; a < f.param_count; ++a) Sample(f.params[a].type, &args[a]);
    q.QuviVariantInit(&result);
    QUVI_HRESULT hr = InvokeByName(c, f.name, f.kind, args, f.param_count, &result);
    CHECK(hr == QUVI_S_OK, "%s kind %u by name: 0x%08x %s", f.name, f.kind, (unsigned)hr,
          q.QuviGetErrorText());
    CHECK(result.vt == f.result_type, "%s result type %u, declared %u", f.name, result.vt,
          f.result_type);
    q.QuviVariantClear(&result);
    /* ... and once by DISPID; a written value reads back (RatioMode reads false). */
    hr = q.QuviInvoke(c, f.dispid, f.kind, args, f.param_count, &result);
    CHECK(hr == QUVI_S_OK, "%s by DISPID: %s", f.name, q.QuviGetErrorText());
    if (f.kind == QUVI_INVOKE_PUT && HasGet(f.dispid)) {
      QuviVariant back;
      q.QuviVariantInit(&back);
      CHECK(q.QuviInvoke(c, f.dispid, QUVI_INVOKE_GET, NULL, 0, &back) == QUVI_S_OK, "%s", f.name);
      if (strcmp(f.name, "RatioMode") == 0) {
        CHECK(back.vt == QUVI_VT_BOOL && back.u.boolean == 0, "RatioMode reads false");
      } else {
        CHECK(SameValue(&args[0], &back), "%s reads back what was written", f.name);
      }
      q.QuviVariantClear(&back);
    }
    q.QuviVariantClear(&result);
    for (uint32_t a = 0; a < f.param_count; ++a) q.QuviVariantClear(&args[a]);
  }
  CHECK(members == 98, "members: %d", members);

  QuviVariant v;
  q.QuviVariantInit(&v);
  CHECK(InvokeByName(c, "version", QUVI_INVOKE_GET, NULL, 0, &v) == QUVI_S_OK, "Version");
  CHECK(v.vt == QUVI_VT_STRING && strcmp(v.u.str.data, "2022062401") == 0, "version text");
  q.QuviVariantClear(&v);
  /* A script host reads properties as method calls. */
  CHECK(
      InvokeByName(c, "Version", QUVI_INVOKE_METHOD | QUVI_INVOKE_GET, NULL, 0, &v) == QUVI_S_OK &&
          v.vt == QUVI_VT_STRING,
      "version as a call");
  q.QuviVariantClear(&v);
  CHECK(InvokeByName(c, "PlayWnd", QUVI_INVOKE_GET, NULL, 0, &v) == QUVI_E_MEMBERNOTFOUND,
        "PlayWnd is write-only");

  QuviLibraryInfo lib;
  CHECK(q.QuviGetLibraryInfo(&lib) == QUVI_S_OK && strcmp(lib.name, "QuviLiveViewer") == 0 &&
            strcmp(lib.class_guid, kClassId) == 0,
        "library information");
  CHECK(q.QuviGetEnumCount() == 5, "enumerations");
  QuviEnumInfo e;
  CHECK(q.QuviGetEnum(2, &e) == QUVI_S_OK && strcmp(e.name, "TxPlayType") == 0 &&
            e.value_count == 2 && strcmp(e.values[1].name, "ptReplay") == 0,
        "TxPlayType");
  CHECK(q.QuviGetEnum(5, &e) == QUVI_E_INVALIDARG, "no sixth enumeration");
  CHECK(q.QuviGetFunctionCount(QUVI_EVENT_INTERFACE) == 7, "events");
  q.QuviReleaseControl(c);
  q.DllUnregisterServer();
  RemovePrivateRegistry();
}

static QuviControl* g_control;
static QUVI_HRESULT g_other_thread_result;
static void* InvokeFromOtherThread(void* unused) {
  (void)unused;
  QuviVariant r;
  q.QuviVariantInit(&r);
  g_other_thread_result = InvokeByName(g_control, "Version", QUVI_INVOKE_GET, NULL, 0, &r);
  q.QuviReleaseControl(g_control); /* frees nothing: not this thread's control */
  return NULL;
}

static void CaseWrongArguments(void) {
  QuviControl* c = RegisterAndCreate();
  const uint32_t n = q.QuviGetFunctionCount(QUVI_DISPATCH_INTERFACE);
  for (uint32_t i = 0; i < n; ++i) {
    QuviFunctionInfo f;
    q.QuviGetFunction(QUVI_DISPATCH_INTERFACE, i, &f);
    QuviVariant args[5], result;
    q.QuviVariantInit(&result);
    /* One argument too many. */
    for (uint32_t a = 0; a < f.param_count + 1; ++a)
      Sample(a < f.param_count ? f.params[a].type : QUVI_VT_I4, &args[a]);
    QUVI_HRESULT hr = q.QuviInvoke(c, f.dispid, f.kind, args, f.param_count + 1, &result);
    CHECK(hr == QUVI_E_BADPARAMCOUNT, "%s with too many: 0x%08x", f.name, (unsigned)hr);
    CHECK(strstr(q.QuviGetErrorText(), "argument") != NULL, "%s: %s", f.name, q.QuviGetErrorText());
    if (f.param_count > 0) {
      hr = q.QuviInvoke(c, f.dispid, f.kind, args, f.param_count - 1, &result);
      CHECK(hr == QUVI_E_BADPARAMCOUNT, "%s with too few: 0x%08x", f.name, (unsigned)hr);
    }
    for (uint32_t a = 0; a < f.param_count + 1; ++a) q.QuviVariantClear(&args[a]);
    /* Each argument in turn of a type that does not convert. */
    for (uint32_t bad = 0; bad < f.param_count; ++bad) {
      for (uint32_t a = 0; a < f.param_count; ++a) Sample(f.params[a].type, &args[a]);
      q.QuviVariantClear(&args[bad]);
      if (f.params[bad].type == QUVI_VT_STRING || f.params[bad].type == QUVI_VT_FONT) {
        const uint8_t bytes[3] = {1, 2, 3};
        q.QuviVariantSetBytes(&args[bad], bytes, 3, 0);
      } else {
        q.QuviVariantSetString(&args[bad], "not a number");
      }
      hr = q.QuviInvoke(c, f.dispid, f.kind, args, f.param_count, &result);
      CHECK(hr == QUVI_E_TYPEMISMATCH, "%s argument %u: 0x%08x", f.name, bad, (unsigned)hr);
      CHECK(strstr(q.QuviGetErrorText(), f.params[bad].name) != NULL, "%s: %s", f.name,
            q.QuviGetErrorText());
      args[bad].vt = 999; /* no variant type at all */
      hr = q.QuviInvoke(c, f.dispid, f.kind, args, f.param_count, &result);
      CHECK(hr == QUVI_E_BADVARTYPE, "%s bad tag: 0x%08x", f.name, (unsigned)hr);
      args[bad].vt = f.params[bad].type == QUVI_VT_STRING || f.params[bad].type == QUVI_VT_FONT
                         ? QUVI_VT_BYTES
                         : QUVI_VT_STRING; /* its own tag again, so the clear frees it */
      for (uint32_t a = 0; a < f.param_count; ++a) q.QuviVariantClear(&args[a]);
    }
    CHECK(result.vt == QUVI_VT_EMPTY, "%s: no result on failure", f.name);
  }
  QuviVariant r;
  q.QuviVariantInit(&r);
  CHECK(q.QuviInvoke(c, 0x7777, QUVI_INVOKE_METHOD, NULL, 0, &r) == QUVI_E_MEMBERNOTFOUND,
        "unknown DISPID");
  CHECK(q.QuviInvoke(c, 0xD8, 0, NULL, 0, &r) == QUVI_E_MEMBERNOTFOUND, "no kind");
  CHECK(q.QuviInvoke(c, 0xD8, QUVI_INVOKE_METHOD, NULL, 2, &r) == QUVI_E_POINTER, "no args");
  QuviVariant one;
  q.QuviVariantInit(&one);
  CHECK(q.QuviInvoke(c, 0xD8, QUVI_INVOKE_METHOD, &one, 0x40000000u, &r) == QUVI_E_BADPARAMCOUNT,
        "a count no member takes is refused before the arguments are read");
  int32_t id;
  CHECK(q.QuviFindMember(c, "NoSuchMember", &id) == QUVI_E_UNKNOWNNAME, "unknown name");
  CHECK(q.QuviFindMember(c, NULL, &id) == QUVI_E_POINTER, "null name");
  CHECK(q.QuviInvoke(NULL, 0xD8, QUVI_INVOKE_METHOD, NULL, 0, &r) == QUVI_E_POINTER, "null");
  QuviVariant dvr;
  q.QuviVariantInit(&dvr);
  q.QuviVariantSetString(&dvr, "12a");
  CHECK(InvokeByName(c, "DVRID", QUVI_INVOKE_PUT, &dvr, 1, NULL) == QUVI_E_EXCEPTION, "DVRID");
  CHECK(strstr(q.QuviGetErrorText(), "12a") != NULL, "the member's text: %s", q.QuviGetErrorText());
  q.QuviVariantClear(&dvr);
  /* A control belongs to its thread. */
  g_control = c;
  pthread_t t;
  pthread_create(&t, NULL, InvokeFromOtherThread, NULL);
  pthread_join(t, NULL);
  CHECK(g_other_thread_result == QUVI_E_WRONG_THREAD, "other thread: 0x%08x",
        (unsigned)g_other_thread_result);
  /* Still in working order. */
  CHECK(InvokeByName(c, "Version", QUVI_INVOKE_GET, NULL, 0, &r) == QUVI_S_OK, "after all that");
  CHECK(strcmp(q.QuviGetErrorText(), "") == 0, "success clears the error text");
  q.QuviVariantClear(&r);
  q.QuviReleaseControl(c);
  q.DllUnregisterServer();
  RemovePrivateRegistry();
}

/* What a sink saw. */
typedef struct {
  int calls;
  int connected, disconnected, data, frames, heads, bad_arrays, video_info_ok, others;
  int status[8];
  int status_count;
  pthread_t host;
  int foreign_thread;
} Seen;

static void Sink(void* user, int32_t dispid, const QuviVariant* args, uint32_t n) {
  Seen* s = (Seen*)user;
  ++s->calls;
  if (!pthread_equal(pthread_self(), s->host)) ++s->foreign_thread;
  switch (dispid) {
    case 0xC9:
      ++s->connected;
      break;
    case 0xCA:
      ++s->disconnected;
      break;
    case 0xCD: {
      ++s->data;
      if (n != 3 || args[0].vt != QUVI_VT_BYTES || args[1].vt != QUVI_VT_I4) {
        ++s->bad_arrays;
        break;
      }
      const int32_t size = args[1].u.i4;
      if (args[0].u.bytes.count != (uint32_t)size + 1 || args[0].u.bytes.lower_bound != 0 ||
          args[0].u.bytes.data[size] != 0) {
        ++s->bad_arrays;
      }
      if (args[2].u.i4 == 128) ++s->heads;
      if (args[2].u.i4 == 1) {
        ++s->frames;
        if (size != 1000 || (uint8_t)(args[0].u.bytes.data[1] - args[0].u.bytes.data[0]) != 1) {
          ++s->bad_arrays;
        }
      }
      break;
    }
    case 0xCE:
      if (s->status_count < 8) s->status[s->status_count++] = args[0].u.i4;
      break;
    case 0xCF:
      s->video_info_ok = n == 3 && args[0].u.i4 == 4 && args[1].u.i4 == 704 && args[2].u.i4 == 576;
      break;
    default:
      ++s->others;
      break;
  }
}

static void WaitForScript(QuviControl* c) {
  for (int i = 0; i < HANG_GUARD_MS / 10 && GetI4(c, "CurFrameNumReceived") < 300; ++i) {
    usleep(10000);
  }
}

static void CaseNoSink(void) {
  QuviControl* c = RegisterAndCreate();
  CallMethod(c, "StartPlay");
  /* Pump while the whole view runs: nothing is queued for nobody. */
  for (int i = 0; i < HANG_GUARD_MS / 20 && GetI4(c, "CurFrameNumReceived") < 300; ++i) {
    q.QuviPumpMessages(20);
  }
  CHECK(GetI4(c, "CurFrameNumReceived") == 300, "the script ran");
  Seen seen;
  memset(&seen, 0, sizeof seen);
  seen.host = pthread_self();
  uint32_t cookie = 0;
  CHECK(q.QuviConnectEvents(c, Sink, &seen, &cookie) == QUVI_S_OK, "connect");
  q.QuviPumpMessages(100);
  CHECK(seen.calls == 0, "%d events without a sink", seen.calls);
  uint64_t dropped = 99;
  CHECK(q.QuviGetDroppedDataEvents(c, &dropped) == QUVI_S_OK && dropped == 0, "dropped %llu",
        (unsigned long long)dropped);
  CHECK(q.QuviDisconnectEvents(c, cookie) == QUVI_S_OK, "disconnect");
  CHECK(q.QuviDisconnectEvents(c, cookie) == QUVI_E_NOCONNECTION, "twice");
  CallMethod(c, "StopPlay");
  q.QuviReleaseControl(c);
  q.DllUnregisterServer();
  RemovePrivateRegistry();
}

static void CaseEventsOnHostThread(void) {
  QuviControl* c = RegisterAndCreate();
  Seen seen;
  memset(&seen, 0, sizeof seen);
  seen.host = pthread_self();
  uint32_t cookie = 0;
  REQUIRE(q.QuviConnectEvents(c, Sink, &seen, &cookie) == QUVI_S_OK, "connect");
  QuviVariant v;
  q.QuviVariantInit(&v);
  q.QuviVariantSetString(&v, "127.0.0.1");
  CHECK(InvokeByName(c, "HostIP", QUVI_INVOKE_PUT, &v, 1, NULL) == QUVI_S_OK, "HostIP");
  q.QuviVariantClear(&v);
  v.vt = QUVI_VT_I4;
  v.u.i4 = 3;
  CHECK(InvokeByName(c, "ChannelNo", QUVI_INVOKE_PUT, &v, 1, NULL) == QUVI_S_OK, "ChannelNo");
  CallMethod(c, "StartPlay");
  uint64_t dropped = 0;
  for (int i = 0; i < HANG_GUARD_MS / 20; ++i) {
    q.QuviPumpMessages(20);
    q.QuviGetDroppedDataEvents(c, &dropped);
    if (seen.data + (int)dropped == 301) break;
  }
  CHECK(seen.data + (int)dropped == 301, "data %d + dropped %d", seen.data, (int)dropped);
  CHECK(seen.connected == 1, "OnConnected %d", seen.connected);
  CHECK(seen.status_count == 3 && seen.status[0] == -1 && seen.status[1] == -5 &&
            seen.status[2] == -6,
        "status codes");
  CHECK(seen.video_info_ok, "OnVideoInfoRead (4, 704, 576)");
  CHECK(seen.frames > 0 && seen.bad_arrays == 0, "frames %d, bad %d", seen.frames, seen.bad_arrays);
  CHECK(seen.foreign_thread == 0, "%d events on another thread", seen.foreign_thread);

  /* A capture while the view runs gives its generated name back. */
  QuviVariant name, ok;
  q.QuviVariantInit(&name);
  q.QuviVariantInit(&ok);
  q.QuviVariantSetString(&name, "");
  CHECK(InvokeByName(c, "CaptureBMPResultFilename", QUVI_INVOKE_METHOD, &name, 1, &ok) == QUVI_S_OK,
        "capture");
  CHECK(ok.vt == QUVI_VT_BOOL && ok.u.boolean == -1, "captured");
  CHECK(name.vt == QUVI_VT_STRING && strstr(name.u.str.data, "3-2-") != NULL, "name %s",
        name.vt == QUVI_VT_STRING ? name.u.str.data : "?");
  q.QuviVariantClear(&name);

  CallMethod(c, "StopPlay");
  PumpUntil(&seen.disconnected, 1);
  CHECK(seen.disconnected == 1, "OnDisConnected");
  CHECK(q.QuviDisconnectEvents(c, cookie) == QUVI_S_OK, "disconnect");
  const int before = seen.calls;
  CallMethod(c, "StartPlay");
  WaitForScript(c);
  q.QuviPumpMessages(50);
  CHECK(seen.calls == before, "no events after disconnecting");
  q.QuviReleaseControl(c);
  q.DllUnregisterServer();
  RemovePrivateRegistry();
}

static void CaseBoundedDataEvents(void) {
  QuviControl* c = RegisterAndCreate();
  Seen seen;
  memset(&seen, 0, sizeof seen);
  seen.host = pthread_self();
  uint32_t cookie = 0;
  REQUIRE(q.QuviConnectEvents(c, Sink, &seen, &cookie) == QUVI_S_OK, "connect");
  CallMethod(c, "StartPlay");
  WaitForScript(c); /* the host falls behind: it does not pump meanwhile */
  uint64_t dropped = 0;
  q.QuviGetDroppedDataEvents(c, &dropped);
  CHECK(dropped == 301 - 64, "dropped %llu", (unsigned long long)dropped);
  for (int i = 0; i < HANG_GUARD_MS / 20 && seen.data < 64; ++i) q.QuviPumpMessages(20);
  q.QuviPumpMessages(20);
  CHECK(seen.data == 64, "delivered %d", seen.data);
  CHECK(seen.connected == 1 && seen.status_count == 3 && seen.video_info_ok,
        "other events are kept");
  q.QuviReleaseControl(c); /* while the view runs */
  q.DllUnregisterServer();
  RemovePrivateRegistry();
}

/* The deliverable shows exactly the documented names (its window comes with the preview
 * window; until then it makes no control). */
static void CaseExports(void) {
  FILE* p = popen("nm -D --defined-only " QUVI_LIBRARY " | awk '{print $3}'", "r");
  REQUIRE(p != NULL, "nm");
  char line[512];
  int names = 0;
  while (fgets(line, sizeof line, p)) {
    line[strcspn(line, "\n")] = '\0';
    CHECK(strncmp(line, "Quvi", 4) == 0 || strncmp(line, "Dll", 3) == 0, "exported: %s", line);
    ++names;
  }
  pclose(p);
  CHECK(names == 25, "%d names", names);
}

/* A host that loaded one copy of the library creates the control the registry names: here the
 * registry names the copy with the stand-in window, and the host speaks to the deliverable,
 * whose own class object makes its preview window. The control is then served by the
 * registered copy. */
static void CaseCreatedByTheRegisteredLibrary(void) {
  UsePrivateRegistry();
  REQUIRE(q.DllRegisterServer() == QUVI_S_OK, "%s", q.QuviGetErrorText());
  void* deliverable = dlopen(QUVI_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  REQUIRE(deliverable != NULL, "dlopen %s: %s", QUVI_LIBRARY, dlerror());
  __typeof__(QuviCreateControl)* create;
  __typeof__(QuviInvoke)* invoke;
  __typeof__(QuviReleaseControl)* release;
  __typeof__(DllGetClassObject)* get_class;
  *(void**)&create = dlsym(deliverable, "QuviCreateControl");
  *(void**)&invoke = dlsym(deliverable, "QuviInvoke");
  *(void**)&release = dlsym(deliverable, "QuviReleaseControl");
  *(void**)&get_class = dlsym(deliverable, "DllGetClassObject");
  REQUIRE(create && invoke && release && get_class, "deliverable exports");

  /* The deliverable's own class object makes a control with its preview window. */
  const QuviClassFactory* factory = NULL;
  QuviControl* c = NULL;
  CHECK(get_class(kClassId, &factory) == QUVI_S_OK, "class object");
  CHECK(factory->CreateInstance(0, 10, 10, &c) == QUVI_S_OK && c != NULL,
        "the deliverable's preview window");
  if (c != NULL) release(c);
  c = NULL;

  CHECK(create(kClassId, 0, 352, 288, &c) == QUVI_S_OK && c != NULL, "through the registry");
  QuviVariant v;
  q.QuviVariantInit(&v);
  v.vt = QUVI_VT_I4;
  v.u.i4 = 7;
  CHECK(invoke(c, 0xF1, QUVI_INVOKE_PUT, &v, 1, NULL) == QUVI_S_OK, "ChannelNo put");
  CHECK(q.QuviInvoke(c, 0xF1, QUVI_INVOKE_GET, NULL, 0, &v) == QUVI_S_OK && v.u.i4 == 7,
        "either copy's entry serves the control");
  CHECK(q.DllCanUnloadNow() == QUVI_S_FALSE, "the registered copy holds the control");
  release(c);
  CHECK(q.DllCanUnloadNow() == QUVI_S_OK, "released");
  q.DllUnregisterServer();
  RemovePrivateRegistry();
}

/* ---- The deliverable against the stream server simulator ---- */

static pid_t g_sim_pid;

/* Starts streamsim serving `record` and returns the port it printed. */
static int StartStreamSim(const char* record) {
  int out[2];
  REQUIRE(pipe(out) == 0, "pipe");
  g_sim_pid = fork();
  REQUIRE(g_sim_pid >= 0, "fork");
  if (g_sim_pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execl(QUVI_STREAMSIM, QUVI_STREAMSIM, "--port", "0", "--file", record, "--log", "/dev/null",
          (char*)NULL);
    _exit(127);
  }
  close(out[1]);
  char line[32];
  size_t n = 0;
  while (n + 1 < sizeof line && read(out[0], line + n, 1) == 1 && line[n] != '\n') ++n;
  line[n] = '\0';
  close(out[0]);
  const int port = atoi(line);
  REQUIRE(port > 0, "streamsim printed no port: '%s'", line);
  return port;
}

static void StopStreamSim(void) {
  kill(g_sim_pid, SIGTERM);
  waitpid(g_sim_pid, NULL, 0);
}

typedef struct {
  int calls, connected, disconnected, data, bad_arrays, foreign_thread;
  int status[16];
  int status_count;
  int codec, width, height;
  pthread_t host;
} LiveSeen;

static void LiveSink(void* user, int32_t dispid, const QuviVariant* args, uint32_t n) {
  LiveSeen* s = (LiveSeen*)user;
  ++s->calls;
  if (!pthread_equal(pthread_self(), s->host)) ++s->foreign_thread;
  if (dispid == 0xC9) ++s->connected;
  if (dispid == 0xCA) ++s->disconnected;
  if (dispid == 0xCE && n == 1 && s->status_count < 16) s->status[s->status_count++] = args[0].u.i4;
  if (dispid == 0xCF && n == 3) {
    s->codec = args[0].u.i4;
    s->width = args[1].u.i4;
    s->height = args[2].u.i4;
  }
  if (dispid == 0xCD) {
    ++s->data;
    if (n != 3 || args[0].vt != QUVI_VT_BYTES || args[1].vt != QUVI_VT_I4 || args[1].u.i4 <= 0 ||
        args[0].u.bytes.count != (uint32_t)args[1].u.i4 + 1 ||
        args[0].u.bytes.data[args[1].u.i4] != 0) {
      ++s->bad_arrays;
    }
  }
}

static void PutString(QuviControl* c, const char* name, const char* value) {
  QuviVariant v;
  q.QuviVariantInit(&v);
  q.QuviVariantSetString(&v, value);
  CHECK(InvokeByName(c, name, QUVI_INVOKE_PUT, &v, 1, NULL) == QUVI_S_OK, "%s: %s", name,
        q.QuviGetErrorText());
  q.QuviVariantClear(&v);
}

static void PutI4(QuviControl* c, const char* name, int32_t value) {
  QuviVariant v;
  q.QuviVariantInit(&v);
  v.vt = QUVI_VT_I4;
  v.u.i4 = value;
  CHECK(InvokeByName(c, name, QUVI_INVOKE_PUT, &v, 1, NULL) == QUVI_S_OK, "%s: %s", name,
        q.QuviGetErrorText());
}

/* What a real host does: the deliverable, registered and created by class identifier, views
 * the simulator's stream; events come on the host's thread while it pumps. */
static void CaseLiveView(void) {
  /* The proxy module of this build, not one installed beside the library. */
  setenv("QUVI_PLAYER_PROXY", ZRPLAYPROXY_PATH, 1);
  const int port = StartStreamSim(QUVI_DATA_DIR "/h264_704x576_g711u.rec");
  QuviControl* c = RegisterAndCreate();
  LiveSeen seen;
  memset(&seen, 0, sizeof seen);
  seen.host = pthread_self();
  uint32_t cookie = 0;
  REQUIRE(q.QuviConnectEvents(c, LiveSink, &seen, &cookie) == QUVI_S_OK, "connect");
  char dir[256];
  snprintf(dir, sizeof dir, "/tmp/quvi_host_api_test_%d", (int)getpid());
  PutString(c, "HostIP", "127.0.0.1");
  PutI4(c, "HostPort", port);
  PutI4(c, "ChannelNo", 1);
  PutString(c, "LoginUser", "admin");
  PutString(c, "Password", "admin");
  PutString(c, "CaptureBMPPath", dir);
  CallMethod(c, "StartPlay");
  for (int i = 0; i < HANG_GUARD_MS / 20 && (seen.data < 25 || seen.width == 0); ++i) {
    q.QuviPumpMessages(20);
  }
  CHECK(seen.connected == 1, "OnConnected %d", seen.connected);
  CHECK(seen.status_count >= 3 && seen.status[0] == -1 && seen.status[1] == -5 &&
            seen.status[2] == -6,
        "status codes (%d): %d %d %d", seen.status_count, seen.status[0], seen.status[1],
        seen.status[2]);
  CHECK(seen.codec == 4 && seen.width == 704 && seen.height == 576, "video info %d %dx%d",
        seen.codec, seen.width, seen.height);
  CHECK(seen.data >= 25 && seen.bad_arrays == 0, "data %d, bad %d", seen.data, seen.bad_arrays);
  CHECK(seen.foreign_thread == 0, "%d events on another thread", seen.foreign_thread);

  QuviVariant name, ok;
  q.QuviVariantInit(&name);
  q.QuviVariantInit(&ok);
  q.QuviVariantSetString(&name, "");
  CHECK(InvokeByName(c, "CaptureBMPResultFilename", QUVI_INVOKE_METHOD, &name, 1, &ok) == QUVI_S_OK,
        "capture: %s", q.QuviGetErrorText());
  CHECK(ok.vt == QUVI_VT_BOOL && ok.u.boolean == -1, "captured");
  if (name.vt == QUVI_VT_STRING && name.u.str.data[0] != '\0') {
    FILE* f = fopen(name.u.str.data, "rb");
    CHECK(f != NULL, "snapshot %s missing", name.u.str.data);
    if (f != NULL) {
      unsigned char head[54];
      const size_t got = fread(head, 1, sizeof head, f);
      fseek(f, 0, SEEK_END);
      const long size = ftell(f);
      fclose(f);
      /* A bitmap of the whole picture: its header says 704 x 576 and the file holds it. */
      const int32_t w = head[18] | head[19] << 8 | head[20] << 16 | head[21] << 24;
      const int32_t h = head[22] | head[23] << 8 | head[24] << 16 | head[25] << 24;
      CHECK(got == sizeof head && head[0] == 'B' && head[1] == 'M', "not a bitmap");
      CHECK(w == 704 && (h == 576 || h == -576), "snapshot %dx%d", w, h);
      CHECK(size >= 704L * 576 * 3, "snapshot holds %ld bytes", size);
      /* The decoded picture, not a blank one: the fixture's frames have light and dark. */
      f = fopen(name.u.str.data, "rb");
      int lo = 255, hi = 0, b;
      fseek(f, 54, SEEK_SET);
      while ((b = fgetc(f)) != EOF) {
        if (b < lo) lo = b;
        if (b > hi) hi = b;
      }
      fclose(f);
      CHECK(hi - lo > 64, "snapshot is flat (%d .. %d)", lo, hi);
    }
    unlink(name.u.str.data);
  } else {
    CHECK(0, "no snapshot name");
  }
  q.QuviVariantClear(&name);

  CallMethod(c, "StopPlay");
  PumpUntil(&seen.disconnected, 1);
  CHECK(seen.disconnected == 1, "OnDisConnected %d", seen.disconnected);
  CHECK(q.QuviDisconnectEvents(c, cookie) == QUVI_S_OK, "disconnect");
  q.QuviReleaseControl(c);
  CHECK(q.DllUnregisterServer() == QUVI_S_OK, "unregister");
  const char* file = ReadFile(g_registry);
  CHECK(file == NULL || strstr(file, "0E1B418E") == NULL, "still registered");
  RemovePrivateRegistry();
  StopStreamSim();
}

int main(int argc, char** argv) {
  static const struct {
    const char* name;
    void (*run)(void);
    const char* library;
  } cases[] = {
      {"registration", CaseRegistration, NULL},
      {"every_member", CaseEveryMember, NULL},
      {"wrong_arguments", CaseWrongArguments, NULL},
      {"no_sink", CaseNoSink, NULL},
      {"events_on_host_thread", CaseEventsOnHostThread, NULL},
      {"bounded_data_events", CaseBoundedDataEvents, NULL},
      {"exports", CaseExports, NULL},
      {"created_by_the_registered_library", CaseCreatedByTheRegisteredLibrary, NULL},
      {"live_view", CaseLiveView, QUVI_LIBRARY},
  };
  int ran = 0;
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    if (argc > 1 && strcmp(argv[1], cases[i].name) != 0) continue;
    /* A case on the deliverable runs only by name: one library per process. */
    if (argc <= 1 && cases[i].library != NULL) continue;
    if (q.module == NULL) LoadLibrary(cases[i].library ? cases[i].library : QUVI_TESTING_LIBRARY);
    fprintf(stderr, "[ RUN  ] %s\n", cases[i].name);
    const int before = g_failures;
    cases[i].run();
    fprintf(stderr, "[ %s ] %s\n", g_failures == before ? " OK " : "FAIL", cases[i].name);
    ++ran;
  }
  if (ran == 0) {
    fprintf(stderr, "no case named %s\n", argv[1]);
    return 2;
  }
  return g_failures == 0 ? 0 : 1;
}
