#include "tools/quvi-web/message_handler.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ctime>
#include <optional>
#include <stdexcept>

#include "platform/cursor.h"
#include "platform/gdi.h"
#include "platform/window.h"
#include "tools/quvi-web/member_table.h"
#include "tools/quvi-web/picture_encoder.h"
#include "tools/quvi-web/variant_json.h"

namespace quvi_web {

using nlohmann::json;

namespace {

constexpr int32_t kOnReceiveData = 0xCD;
constexpr int32_t kAudioFrame = 5;
constexpr int32_t kDataFrame = 6;
constexpr int32_t kStreamHead = 128;
constexpr double kSummaryIntervalMs = 500;
constexpr int32_t kMaxWindowSide = 4096;
constexpr plat::UINT kMouseWheel = 0x020A;
// Nesting deeper than any request needs is refused before parsing.
constexpr int kMaxNesting = 32;

// Numbers the server gives controls: unique in the process, so pictures never mix.
std::atomic<uint32_t> g_next_control{1};

// A request that cannot be read; nothing of it has been done.
class TMalformed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool NestedTooDeep(std::string_view text) {
  int depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[') {
      if (++depth > kMaxNesting) return true;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return false;
}

const json* Field(const json& request, const char* name) {
  auto it = request.find(name);
  return it == request.end() ? nullptr : &*it;
}

int64_t WholeField(const json& request, const char* name, int64_t lo, int64_t hi,
                   std::optional<int64_t> fallback = std::nullopt) {
  const json* f = Field(request, name);
  if (f == nullptr) {
    if (fallback) return *fallback;
    throw TMalformed(std::string("no ") + name);
  }
  if (f->is_number_integer()) {
    const bool big = f->is_number_unsigned() && f->get<uint64_t>() > uint64_t(INT64_MAX);
    const int64_t n = big ? INT64_MAX : f->get<int64_t>();
    if (n >= lo && n <= hi) return n;
  } else if (f->is_number_float()) {
    const double d = f->get<double>();
    if (std::isfinite(d) && std::floor(d) == d && d >= double(lo) && d <= double(hi))
      return static_cast<int64_t>(d);
  }
  throw TMalformed(std::string(name) + " must be a whole number from " + std::to_string(lo) +
                   " to " + std::to_string(hi));
}

double NumberField(const json& request, const char* name, double lo, double hi,
                   std::optional<double> fallback = std::nullopt) {
  const json* f = Field(request, name);
  if (f == nullptr) {
    if (fallback) return *fallback;
    throw TMalformed(std::string("no ") + name);
  }
  if (f->is_number()) {
    const double d = f->get<double>();
    if (std::isfinite(d) && d >= lo && d <= hi) return d;
  }
  throw TMalformed(std::string(name) + " must be a number from " + std::to_string(int64_t(lo)) +
                   " to " + std::to_string(int64_t(hi)));
}

bool BoolField(const json& request, const char* name, std::optional<bool> fallback) {
  const json* f = Field(request, name);
  if (f == nullptr) {
    if (fallback) return *fallback;
    throw TMalformed(std::string("no ") + name);
  }
  if (!f->is_boolean()) throw TMalformed(std::string(name) + " must be true or false");
  return f->get<bool>();
}

std::string TextField(const json& request, const char* name) {
  const json* f = Field(request, name);
  if (f == nullptr) throw TMalformed(std::string("no ") + name);
  if (!f->is_string()) throw TMalformed(std::string(name) + " must be a string");
  return f->get<std::string>();
}

std::string ErrorText() {
  const char* text = QuviGetErrorText();
  return text != nullptr && *text != 0 ? text : "the control refused";
}

// Calls a member by name through the host interface; on failure `error` and `code` tell why.
QUVI_HRESULT CallByName(QuviControl* control, const std::string& name, uint16_t kind,
                        QuviVariant* args, uint32_t count, QuviVariant* result,
                        std::string* error) {
  int32_t dispid = 0;
  QUVI_HRESULT hr = QuviFindMember(control, name.c_str(), &dispid);
  if (hr >= 0) hr = QuviInvoke(control, dispid, kind, args, count, result);
  if (hr < 0) *error = ErrorText();
  return hr;
}

std::string Stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

// ---- TDownloads ----

void TDownloads::Add(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  names_.push_back(name);
}

bool TDownloads::Contains(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

// ---- TMessageHandler ----

struct TMessageHandler::TControl {
  TMessageHandler* Handler = nullptr;
  uint32_t Id = 0;
  QuviControl* Control = nullptr;
  plat::HWND Window = 0;
  uint32_t Cookie = 0;
  plat::WPARAM Buttons = 0;  // mouse buttons the page holds down on it
  bool DataBytes = false;
  int64_t DataCount = 0;
  int64_t DataSize = 0;
  uint64_t DroppedSeen = 0;  // data events the control dropped, as of the last summary
  double LastSummaryMs = 0;
  std::shared_ptr<TArrivalLog> Arrivals = std::make_shared<TArrivalLog>();
  std::filesystem::path RecordPath;  // while recording
  uint32_t Files = 0;
  plat::TCursor CursorSent = plat::crDefault;  // the pointer's look the page was told last
};

TMessageHandler::TMessageHandler(const THostSettings& settings, std::shared_ptr<TPageOutbox> outbox,
                                 TPictureFeed* pictures, TDownloads* downloads)
    : settings_(settings), outbox_(std::move(outbox)), pictures_(pictures), downloads_(downloads) {}

TMessageHandler::~TMessageHandler() {
  for (auto& [id, control] : controls_) Destroy(*control);
}

std::string TMessageHandler::OversizedReply(size_t size, size_t limit) {
  return DumpJson({{"ok", false},
                   {"error", "message too large: " + std::to_string(size) + " bytes, at most " +
                                 std::to_string(limit)},
                   {"code", 0}});
}

void TMessageHandler::Handle(std::string_view text) {
  json id;  // null: none read
  try {
    if (text.size() > settings_.MaxMessageBytes) {
      outbox_->SendText(OversizedReply(text.size(), settings_.MaxMessageBytes));
      return;
    }
    if (NestedTooDeep(text)) throw TMalformed("nested too deeply");
    const json request = json::parse(text, nullptr, false);
    if (request.is_discarded()) throw TMalformed("not JSON");
    if (!request.is_object()) throw TMalformed("not a JSON object");
    if (const json* f = Field(request, "id")) {
      if (!f->is_number() && !f->is_string()) throw TMalformed("id must be a number or a string");
      id = *f;
    }
    Dispatch(TextField(request, "op"), request, id);
  } catch (const TMalformed& e) {
    json reply = {
        {"ok", false}, {"error", std::string("malformed message: ") + e.what()}, {"code", 0}};
    if (!id.is_null()) reply["id"] = id;
    Send(reply);
  } catch (const std::exception& e) {
    // Nothing of the library throws through here; this keeps a fault from ending the thread.
    Fail(id, std::string("server error: ") + e.what());
  }
}

void TMessageHandler::Dispatch(const std::string& op, const json& request, const json& id) {
  if (op == "hello") {
    Reply(
        id,
        {{"version", "1"},
         {"limits",
          {{"maxControls", settings_.MaxControls}, {"maxMessageBytes", settings_.MaxMessageBytes}}},
         {"defaults", settings_.Defaults},
         {"channels", settings_.Channels}});
    return;
  }
  if (op == "create") return Create(request, id);
  if (op == "list") {
    Reply(id, {{"members", TMemberTable::Instance().Listing()}});
    return;
  }
  static const char* const kControlOps[] = {"release", "get",      "put",    "invoke", "mouse",
                                            "resize",  "snapshot", "record", "data"};
  if (std::none_of(std::begin(kControlOps), std::end(kControlOps),
                   [&](const char* known) { return op == known; })) {
    throw TMalformed("unknown op '" + op + "'");
  }
  const uint32_t number = static_cast<uint32_t>(WholeField(request, "control", 0, UINT32_MAX));
  auto it = controls_.find(number);
  if (it == controls_.end()) {
    return Fail(id, "no control " + std::to_string(number) + " on this page");
  }
  TControl& control = *it->second;
  if (op == "release") return Release(control, id);
  if (op == "get") return Get(control, request, id);
  if (op == "put") return Put(control, request, id);
  if (op == "invoke") return Invoke(control, request, id);
  if (op == "mouse") return Mouse(control, request, id);
  if (op == "resize") return Resize(control, request, id);
  if (op == "snapshot") return Snapshot(control, id);
  if (op == "record") return Record(control, request, id);
  control.DataBytes = BoolField(request, "bytes", std::nullopt);
  Reply(id, json::object());
}

void TMessageHandler::Create(const json& request, const json& id) {
  const int32_t width = static_cast<int32_t>(WholeField(request, "width", 1, kMaxWindowSide, 704));
  const int32_t height =
      static_cast<int32_t>(WholeField(request, "height", 1, kMaxWindowSide, 576));
  if (static_cast<int32_t>(controls_.size()) >= settings_.MaxControls) {
    return Fail(
        id, "too many controls: a page may have at most " + std::to_string(settings_.MaxControls));
  }
  QuviControl* made = nullptr;
  QUVI_HRESULT hr = QuviCreateControl(kControlClassId, 0, width, height, &made);
  if (hr == QUVI_E_CLASSNOTREG && DllRegisterServer() == QUVI_S_OK) {
    // Not registered yet (a first run): this library registers itself, as its installer would.
    hr = QuviCreateControl(kControlClassId, 0, width, height, &made);
  }
  if (hr < 0 || made == nullptr) return Fail(id, "cannot create the control: " + ErrorText(), hr);
  auto control = std::make_unique<TControl>();
  control->Handler = this;
  control->Id = g_next_control++;
  control->Control = made;
  control->Window = QuviGetControlWindow(made);
  hr = QuviConnectEvents(made, &TMessageHandler::EventSink, control.get(), &control->Cookie);
  if (hr < 0) {
    const std::string error = ErrorText();
    QuviReleaseControl(made);
    return Fail(id, "cannot receive the control's events: " + error, hr);
  }
  const uint32_t number = control->Id;
  // Controls that share a player port draw into each other's windows, and zoom and snapshots
  // address the player by it: each gets its own, the control's number (unique in the server),
  // unless the page puts another.
  const int32_t port = static_cast<int32_t>(number % uint32_t(INT32_MAX));
  TOwnedVariant port_value;
  std::string error;
  JsonToVariant(json(port), port_value.get(), &error);
  hr = CallByName(made, "PortNo", QUVI_INVOKE_PUT, port_value.get(), 1, nullptr, &error);
  if (hr < 0) {
    QuviDisconnectEvents(made, control->Cookie);
    QuviReleaseControl(made);
    return Fail(id, "cannot give the control its player port: " + error, hr);
  }
  if (pictures_ != nullptr) pictures_->Add(number, control->Window, outbox_, control->Arrivals);
  controls_.emplace(number, std::move(control));
  Reply(id, {{"control", number}, {"port", port}});
}

void TMessageHandler::Destroy(TControl& control) {
  if (pictures_ != nullptr) pictures_->Remove(control.Id);
  outbox_->DropPicture(control.Id);
  if (!control.RecordPath.empty()) {
    std::string error;
    CallByName(control.Control, "StopRecord", QUVI_INVOKE_METHOD, nullptr, 0, nullptr, &error);
  }
  QuviDisconnectEvents(control.Control, control.Cookie);
  QuviReleaseControl(control.Control);
  control.Control = nullptr;
}

void TMessageHandler::Release(TControl& control, const json& id) {
  const uint32_t number = control.Id;
  Destroy(control);
  controls_.erase(number);
  Reply(id, json::object());
}

void TMessageHandler::Get(TControl& control, const json& request, const json& id) {
  const std::string name = TextField(request, "name");
  if (TMemberTable::NamesServerFiles(name)) {
    return Fail(id, name + " names files on the server; a page may not use it",
                QUVI_E_MEMBERNOTFOUND);
  }
  TOwnedVariant result;
  std::string error;
  const QUVI_HRESULT hr =
      CallByName(control.Control, name, QUVI_INVOKE_GET, nullptr, 0, result.get(), &error);
  if (hr < 0) return Fail(id, error, hr);
  Reply(id, {{"value", VariantToJson(*result)}});
}

void TMessageHandler::Put(TControl& control, const json& request, const json& id) {
  const std::string name = TextField(request, "name");
  const json* value = Field(request, "value");
  if (value == nullptr) throw TMalformed("no value");
  TOwnedVariant arg;
  std::string error;
  if (!JsonToVariant(*value, arg.get(), &error)) throw TMalformed("value: " + error);
  if (TMemberTable::NamesServerFiles(name)) {
    return Fail(id, name + " names files on the server; a page may not use it",
                QUVI_E_MEMBERNOTFOUND);
  }
  const QUVI_HRESULT hr =
      CallByName(control.Control, name, QUVI_INVOKE_PUT, arg.get(), 1, nullptr, &error);
  if (hr < 0) return Fail(id, error, hr);
  Reply(id, json::object());
}

void TMessageHandler::Invoke(TControl& control, const json& request, const json& id) {
  const std::string name = TextField(request, "name");
  // The host interface takes the arguments side by side and replaces out arguments in place.
  std::vector<QuviVariant> args;
  struct TClear {
    std::vector<QuviVariant>& Args;
    ~TClear() {
      for (QuviVariant& v : Args) QuviVariantClear(&v);
    }
  } clear{args};
  if (const json* list = Field(request, "args")) {
    if (!list->is_array()) throw TMalformed("args must be an array");
    if (list->size() > 16) throw TMalformed("more than 16 args");
    args.reserve(list->size());
    for (const json& value : *list) {
      std::string error;
      args.emplace_back();
      QuviVariantInit(&args.back());
      if (!JsonToVariant(value, &args.back(), &error)) throw TMalformed("args: " + error);
    }
  }
  if (TMemberTable::NamesServerFiles(name)) {
    return Fail(id, name + " names files on the server; a page may not use it",
                QUVI_E_MEMBERNOTFOUND);
  }
  TOwnedVariant result;
  std::string error;
  const QUVI_HRESULT hr = CallByName(control.Control, name, QUVI_INVOKE_METHOD, args.data(),
                                     static_cast<uint32_t>(args.size()), result.get(), &error);
  if (hr < 0) return Fail(id, error, hr);
  json out = json::array();
  for (const QuviVariant& arg : args) out.push_back(VariantToJson(arg));
  Reply(id, {{"value", VariantToJson(*result)}, {"out", out}});
}

void TMessageHandler::Mouse(TControl& control, const json& request, const json& id) {
  const std::string type = TextField(request, "type");
  std::string button = "left";
  if (Field(request, "button") != nullptr) button = TextField(request, "button");
  const int32_t x = static_cast<int32_t>(NumberField(request, "x", -32768, 32767));
  const int32_t y = static_cast<int32_t>(NumberField(request, "y", -32768, 32767));
  const double delta = NumberField(request, "delta", -32768, 32767, 0.0);
  const bool ctrl = BoolField(request, "ctrl", false);
  const bool shift = BoolField(request, "shift", false);
  plat::TMouseButtonId which = plat::TMouseButtonId::Left;
  plat::WPARAM bit = plat::MK_LBUTTON;
  plat::UINT dblclick = plat::WM_LBUTTONDBLCLK;
  if (button == "right") {
    which = plat::TMouseButtonId::Right;
    bit = plat::MK_RBUTTON;
    dblclick = plat::WM_RBUTTONDBLCLK;
  } else if (button == "middle") {
    which = plat::TMouseButtonId::Middle;
    bit = plat::MK_MBUTTON;
    dblclick = plat::WM_MBUTTONDBLCLK;
  } else if (button != "left") {
    throw TMalformed("button must be left, middle or right");
  }
  if (type != "down" && type != "up" && type != "move" && type != "dblclick" && type != "wheel") {
    throw TMalformed("type must be down, up, move, dblclick or wheel");
  }
  const plat::WPARAM keys = (ctrl ? plat::MK_CONTROL : 0) | (shift ? plat::MK_SHIFT : 0);
  // Posted to the control's window as the desktop posts them: the buttons held ride along.
  bool posted = false;
  if (type == "move") {
    posted = plat::InjectMouseMove(control.Window, x, y, keys | control.Buttons);
  } else if (type == "down" || type == "up") {
    const bool down = type == "down";
    control.Buttons = down ? (control.Buttons | bit) : (control.Buttons & ~bit);
    posted = plat::InjectMouseButton(control.Window, which, down, x, y, keys | control.Buttons);
  } else if (type == "dblclick") {
    // What the desktop sends in place of the second press.
    control.Buttons |= bit;
    posted =
        plat::PostMessage(control.Window, dblclick, keys | control.Buttons, plat::MAKELPARAM(x, y));
  } else {
    const auto notches = static_cast<int16_t>(std::clamp(delta, -32768.0, 32767.0));
    posted = plat::PostMessage(control.Window, kMouseWheel,
                               (keys | control.Buttons) | (plat::WPARAM(uint16_t(notches)) << 16),
                               plat::MAKELPARAM(x, y));
  }
  if (posted) pointer_control_ = control.Id;
  // Mouse input is answered only when it fails: a drag sends many.
  if (!posted) Fail(id, "the control's window takes no mouse input now");
}

void TMessageHandler::Resize(TControl& control, const json& request, const json& id) {
  const int32_t width = static_cast<int32_t>(WholeField(request, "width", 1, kMaxWindowSide));
  const int32_t height = static_cast<int32_t>(WholeField(request, "height", 1, kMaxWindowSide));
  plat::RECT place;
  plat::GetWindowRect(control.Window, &place);
  if (!plat::MoveWindow(control.Window, place.left, place.top, width, height)) {
    return Fail(id, "cannot resize the control's window");
  }
  Reply(id, json::object());
}

std::string TMessageHandler::NewFileName(const TControl& control, const char* kind,
                                         const char* extension) {
  return std::string(kind) + "-" + Stamp() + "-" + std::to_string(control.Id) + "-" +
         std::to_string(const_cast<TControl&>(control).Files++) + extension;
}

void TMessageHandler::Snapshot(TControl& control, const json& id) {
  const std::string name = NewFileName(control, "snapshot", ".jpg");
  const std::filesystem::path path = settings_.OutDir / name;
  TOwnedVariant arg;
  TOwnedVariant ok;
  QuviVariantSetString(arg.get(), path.c_str());
  std::string error;
  const QUVI_HRESULT hr = CallByName(control.Control, "CaptureBMPResultFilename",
                                     QUVI_INVOKE_METHOD, arg.get(), 1, ok.get(), &error);
  if (hr < 0) return Fail(id, error, hr);
  std::error_code missing;
  if ((*ok).vt != QUVI_VT_BOOL || (*ok).u.boolean == 0 ||
      !std::filesystem::is_regular_file(path, missing)) {
    return Fail(id, "no snapshot: the view shows no picture");
  }
  downloads_->Add(name);
  Reply(id, {{"file", name}, {"url", "/files/" + name}});
}

void TMessageHandler::Record(TControl& control, const json& request, const json& id) {
  const bool on = BoolField(request, "on", std::nullopt);
  std::string error;
  if (!on) {
    if (control.RecordPath.empty()) return Fail(id, "not recording");
    const QUVI_HRESULT hr =
        CallByName(control.Control, "StopRecord", QUVI_INVOKE_METHOD, nullptr, 0, nullptr, &error);
    const std::filesystem::path path = std::exchange(control.RecordPath, {});
    if (hr < 0) return Fail(id, error, hr);
    std::error_code missing;
    const auto bytes = std::filesystem::file_size(path, missing);
    Reply(id, {{"bytes", missing ? 0 : bytes}});
    return;
  }
  if (!control.RecordPath.empty()) return Fail(id, "already recording");
  const std::string name = NewFileName(control, "record", ".rec");
  const std::filesystem::path path = settings_.OutDir / name;
  TOwnedVariant file;
  QuviVariantSetString(file.get(), path.c_str());
  QUVI_HRESULT hr =
      CallByName(control.Control, "RecordFile", QUVI_INVOKE_PUT, file.get(), 1, nullptr, &error);
  if (hr >= 0) {
    hr =
        CallByName(control.Control, "StartRecord", QUVI_INVOKE_METHOD, nullptr, 0, nullptr, &error);
  }
  if (hr < 0) return Fail(id, error, hr);
  std::error_code missing;
  if (!std::filesystem::is_regular_file(path, missing)) {
    return Fail(id, "no recording: the view is not playing");
  }
  control.RecordPath = path;
  downloads_->Add(name);
  Reply(id, {{"file", name}, {"url", "/files/" + name}});
}

void TMessageHandler::EventSink(void* user, int32_t dispid, const QuviVariant* args,
                                uint32_t count) {
  auto& control = *static_cast<TControl*>(user);
  control.Handler->OnEvent(control, dispid, args, count);
}

void TMessageHandler::OnEvent(TControl& control, int32_t dispid, const QuviVariant* args,
                              uint32_t count) {
  if (dispid == kOnReceiveData && count >= 3) {
    const int32_t type = args[2].vt == QUVI_VT_I4 ? args[2].u.i4 : -1;
    if (type != kAudioFrame && type != kDataFrame && type != kStreamHead) {
      // The package reached the player just now: the time its picture is stamped with.
      control.Arrivals->Add(NowMs());
    }
    if (!control.DataBytes) {
      ++control.DataCount;
      control.DataSize += args[1].vt == QUVI_VT_I4 ? std::max(args[1].u.i4, 0) : 0;
      return;
    }
  }
  const TEventDescription* event = TMemberTable::Instance().Event(dispid);
  json values = json::object();
  for (uint32_t i = 0; i < count; ++i) {
    const std::string name =
        event != nullptr && i < event->ArgNames.size() ? event->ArgNames[i] : std::to_string(i);
    values[name] = VariantToJson(args[i]);
  }
  Send({{"event", event != nullptr ? event->Name : std::to_string(dispid)},
        {"control", control.Id},
        {"args", values}});
}

void TMessageHandler::Flush(double now_ms) {
  SendCursor();
  for (auto& [number, control] : controls_) {
    if (now_ms - control->LastSummaryMs < kSummaryIntervalMs) continue;
    uint64_t dropped = 0;
    QuviGetDroppedDataEvents(control->Control, &dropped);
    const uint64_t newly_dropped = dropped - control->DroppedSeen;
    if (control->DataCount == 0 && newly_dropped == 0) continue;
    Send({{"event", "OnReceiveData"},
          {"control", number},
          {"count", control->DataCount},
          {"bytes", control->DataSize},
          {"dropped", newly_dropped}});
    control->DataCount = 0;
    control->DataSize = 0;
    control->DroppedSeen = dropped;
    control->LastSummaryMs = now_ms;
  }
}

void TMessageHandler::SendCursor() {
  auto it = controls_.find(pointer_control_);
  if (it == controls_.end()) return;
  TControl& control = *it->second;
  // The control shows its direction cursors as the screen cursor (one in the process): the
  // page of the control the pointer was last over is told when its look changes.
  plat::TCursor cursor = plat::GetScreenCursor();
  if (cursor < 0 || cursor > 16) cursor = plat::crDefault;
  if (cursor == control.CursorSent) return;
  control.CursorSent = cursor;
  Send({{"event", "cursor"},
        {"control", control.Id},
        {"direction", cursor > 0 ? (cursor + 1) / 2 : 0},
        {"pressed", cursor > 0 && cursor % 2 == 0}});
}

void TMessageHandler::Reply(const json& id, json fields) {
  json reply = {{"ok", true}};
  if (!id.is_null()) reply["id"] = id;
  for (auto& [key, value] : fields.items()) reply[key] = value;
  Send(reply);
}

void TMessageHandler::Fail(const json& id, const std::string& error, int32_t code) {
  json reply = {{"ok", false}, {"error", error}, {"code", code}};
  if (!id.is_null()) reply["id"] = id;
  Send(reply);
}

void TMessageHandler::Send(const json& message) {
  outbox_->SendText(DumpJson(message));
}

}  // namespace quvi_web
