#include "player/config/player_settings.h"

#include <exception>

#include "platform/process.h"
#include "player/config/ini_file.h"
#include "player/player_log.h"

namespace zrplay {

// Initialised ahead of the unprioritised initialisers, among them the library's load hook,
// which fills it: where the text member needs a dynamic initialiser, that must not run after
// the load and put the defaults back.
TPlayerSettings PlayerSettings __attribute__((init_priority(101)));

namespace {

constexpr char kView[] = "View";
constexpr char kDecoder[] = "Decoder";

// Colours are stored as six hexadecimal digits written blue-green-red, so the value has red
// in its low byte. Text that does not convert is black.
uint32_t ReadColor(TKVIniFile& ini, const char* key, const char* def) {
  int value = 0;
  if (!TryStrToInt("$" + ini.ReadString(kView, key, def), value)) return 0;
  return static_cast<uint32_t>(value) & 0xFFFFFFu;
}

}  // namespace

std::string PlayerSettingsPath() {
  return plat::HostExeDir() + "/OrnConfig.ini";
}

TPlayerSettings ReadPlayerSettings(const std::string& file_name) {
  TPlayerSettings s;
  TKVIniFile ini(file_name);
  // The order of the reads is the order a new file gets its keys in.
  s.EnableBufferOnLive = ini.ReadBool(kView, "EnableBufferOnLive", true);
  s.EnableOSD = ini.ReadBool(kView, "EnableOSD", true);
  s.EnableOSDColor = ini.ReadBool(kView, "EnableOSDColor", false);
  s.OSDColor = ReadColor(ini, "OSDColor", "FFFFFF");
  s.AlarmColor = ReadColor(ini, "AlarmColor", "00FFFF");
  s.SetupColor = ReadColor(ini, "SetupColor", "0000FF");
  s.ShowAlarmZone = ini.ReadBool(kView, "ShowAlarmZone", true);
  s.PenWidth = ini.ReadInteger(kView, "PenWidth", 3);
  s.DropDraw = ini.ReadInteger(kView, "DropDraw", 0);
  s.OSDFontSize = ini.ReadInteger(kView, "OSDFontSize", 0);
  s.MaxFPS = ini.ReadInteger(kView, "MaxFPS", 60);
  s.FontName = ini.ReadString(kView, "FontName", "");
  s.OutputFileSortInfo = ini.ReadInteger(kView, "OutputFileSortInfo", 0) != 0;
  s.WatermarkColor = ReadColor(ini, "WatermarkColor", "C0C0C0");
  s.DrawBySDK = ini.ReadBool(kView, "DrawBySDK", false);
  s.UseKV = ini.ReadBool(kView, "UseKV", false);
  s.DecodeType = ini.ReadInteger(kDecoder, "DecodeType", 5);
  s.RenderType = ini.ReadInteger(kDecoder, "RenderType", 5);
  s.AntiAliasEnable = ini.ReadInteger(kDecoder, "AntiAliasEnable", 0) != 0;

  if (ini.FailedWriteBacks() > 0) {
    WriteLog("cannot write " + std::to_string(ini.FailedWriteBacks()) + " missing key(s) to " +
             file_name + ", their defaults are used");
  }
  WriteLog("font name = " + s.FontName);
  return s;
}

void LoadPlayerSettings() {
  try {
    PlayerSettings = ReadPlayerSettings(PlayerSettingsPath());
  } catch (const std::exception& e) {
    // A load hook must not throw into the host; the defaults stay in force.
    WriteLog(std::string("player settings not read, defaults used: ") + e.what());
  } catch (...) {
    WriteLog("player settings not read, defaults used");
  }
}

}  // namespace zrplay
