// DllRegisterServer, DllUnregisterServer, DllGetClassObject, DllCanUnloadNow and the
// creation of a control by class identifier or name through the registry file.
#include "viewer/control/registration.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cstdlib>

#include "platform/registry_file.h"
#include "viewer/control/host_control.h"
#include "viewer/control/host_variants.h"
#include "viewer/control/type_library.h"

namespace viewer {

namespace {

std::string ProgIDKey() {
  return kControlProgID;
}

std::string InprocKey() {
  return ClassKey() + "\\InprocServer32";
}

std::string TypeLibKey() {
  return std::string("TypeLib\\") + kLibraryGuid + "\\1.0";
}

std::string InterfaceKey(const char* guid) {
  return std::string("Interface\\") + guid;
}

// Every key the registration writes, sub-keys first.
std::vector<std::string> AllKeys() {
  return {InprocKey(),
          ClassKey() + "\\ProgID",
          ClassKey() + "\\TypeLib",
          ClassKey() + "\\Version",
          ClassKey() + "\\Control",
          ClassKey() + "\\MiscStatus",
          ClassKey() + "\\ToolboxBitmap32",
          ClassKey(),
          ProgIDKey() + "\\CLSID",
          ProgIDKey(),
          TypeLibKey(),
          InterfaceKey(kDispatchInterfaceGuid),
          InterfaceKey(kEventInterfaceGuid)};
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

QUVI_HRESULT LockServer(int32_t lock) {
  if (lock != 0) {
    ++ServerReferences();
  } else {
    --ServerReferences();
  }
  return Succeed();
}

const QuviClassFactory kFactory = {CreateControlHere, LockServer};

}  // namespace

std::string NormaliseGuid(const std::string& text) {
  std::string s = text;
  if (s.size() == 36) s = "{" + s + "}";
  if (s.size() != 38 || s.front() != '{' || s.back() != '}') return "";
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return "";
    s[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
  }
  return s;
}

std::string ClassKey() {
  return std::string("CLSID\\") + kControlClassGuid;
}

std::string ThisLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ThisLibraryPath), &info) == 0 || info.dli_fname == nullptr) {
    return "";
  }
  char resolved[PATH_MAX];
  return realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
}

}  // namespace viewer

using viewer::Fail;
using viewer::Succeed;

extern "C" {

QUVI_HRESULT DllRegisterServer(void) {
  using plat::RegSetValue;
  const std::string path = viewer::ThisLibraryPath();
  if (path.empty()) return Fail(QUVI_E_SELFREG_CLASS, "the library cannot find its own path");
  const std::string cls = viewer::ClassKey();
  const auto& lib = viewer::QuviLiveViewerTypeLibrary();
  const bool ok =
      RegSetValue(cls, "@", lib.Class.HelpString) &&
      RegSetValue(cls + "\\InprocServer32", "@", path) &&
      RegSetValue(cls + "\\InprocServer32", "ThreadingModel", "Apartment") &&
      RegSetValue(cls + "\\ProgID", "@", viewer::kControlProgID) &&
      RegSetValue(cls + "\\TypeLib", "@", viewer::kLibraryGuid) &&
      RegSetValue(cls + "\\Version", "@", "1.0") && RegSetValue(cls + "\\Control", "@", "") &&
      RegSetValue(cls + "\\MiscStatus", "@",
                  std::to_string(viewer::kDefaultMiscStatus | viewer::kControlMiscStatus)) &&
      RegSetValue(cls + "\\ToolboxBitmap32", "@", path + ",1") &&
      RegSetValue(viewer::kControlProgID, "@", lib.Class.HelpString) &&
      RegSetValue(std::string(viewer::kControlProgID) + "\\CLSID", "@",
                  viewer::kControlClassGuid) &&
      RegSetValue(viewer::TypeLibKey(), "@", lib.HelpString) &&
      RegSetValue(viewer::TypeLibKey(), "Path", path) &&
      RegSetValue(viewer::InterfaceKey(viewer::kDispatchInterfaceGuid), "@", lib.Dispatch.Name) &&
      RegSetValue(viewer::InterfaceKey(viewer::kEventInterfaceGuid), "@", lib.Events.Name);
  if (!ok) {
    return Fail(QUVI_E_SELFREG_CLASS, "cannot write the registry file " + plat::RegistryFileName());
  }
  return Succeed();
}

QUVI_HRESULT DllUnregisterServer(void) {
  bool ok = true;
  for (const std::string& key : viewer::AllKeys()) ok = plat::RegDeleteKey(key) && ok;
  if (!ok) {
    return Fail(QUVI_E_SELFREG_CLASS, "cannot write the registry file " + plat::RegistryFileName());
  }
  return Succeed();
}

QUVI_HRESULT DllGetClassObject(const char* clsid, const QuviClassFactory** factory) {
  if (clsid == nullptr || factory == nullptr) return Fail(QUVI_E_POINTER, "no class or factory");
  *factory = nullptr;
  if (viewer::NormaliseGuid(clsid) != viewer::kControlClassGuid) {
    return Fail(QUVI_E_CLASSNOTAVAILABLE, std::string("this library has no class ") + clsid);
  }
  *factory = &viewer::kFactory;
  return Succeed();
}

QUVI_HRESULT DllCanUnloadNow(void) {
  return viewer::ServerReferences() == 0 ? QUVI_S_OK : QUVI_S_FALSE;
}

QUVI_HRESULT QuviCreateControl(const char* clsid, intptr_t parent, int32_t width, int32_t height,
                               QuviControl** control) {
  if (control == nullptr) return Fail(QUVI_E_POINTER, "no place for the control");
  *control = nullptr;
  const std::string id = viewer::NormaliseGuid(clsid ? clsid : "");
  if (id.empty()) return Fail(QUVI_E_INVALIDARG, "no class identifier");
  const std::string path = plat::RegQueryValue("CLSID\\" + id + "\\InprocServer32", "@");
  if (path.empty()) return Fail(QUVI_E_CLASSNOTREG, "class " + id + " is not registered");
  if (viewer::SameFile(path, viewer::ThisLibraryPath())) {
    const QuviClassFactory* factory = nullptr;
    if (QUVI_HRESULT hr = DllGetClassObject(id.c_str(), &factory); hr != QUVI_S_OK) return hr;
    return factory->CreateInstance(parent, width, height, control);
  }
  // Another library serves the class: load it (it stays loaded) and ask its class object.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    return Fail(QUVI_E_CLASSNOTAVAILABLE, "cannot load " + path + ": " + (why ? why : ""));
  }
  using TGetClassObject = QUVI_HRESULT (*)(const char*, const QuviClassFactory**);
  auto get = reinterpret_cast<TGetClassObject>(dlsym(module, "DllGetClassObject"));
  const QuviClassFactory* factory = nullptr;
  if (get == nullptr || get(id.c_str(), &factory) != QUVI_S_OK || factory == nullptr) {
    return Fail(QUVI_E_CLASSNOTAVAILABLE, path + " does not serve class " + id);
  }
  const QUVI_HRESULT hr = factory->CreateInstance(parent, width, height, control);
  if (hr < 0) return Fail(hr, "the class object of " + path + " made no control");
  return Succeed(hr);
}

QUVI_HRESULT QuviCreateControlByName(const char* prog_id, intptr_t parent, int32_t width,
                                     int32_t height, QuviControl** control) {
  if (prog_id == nullptr || *prog_id == '\0') return Fail(QUVI_E_INVALIDARG, "no class name");
  if (control != nullptr) *control = nullptr;
  const std::string id = plat::RegQueryValue(std::string(prog_id) + "\\CLSID", "@");
  if (id.empty()) return Fail(QUVI_E_CLASSNOTREG, std::string("no class named ") + prog_id);
  return QuviCreateControl(id.c_str(), parent, width, height, control);
}

}  // extern "C"
