// The player library's process-wide settings, read once from "OrnConfig.ini" beside the host
// program when the library loads (LoadPlayerSettings), read-only afterwards by every thread.
// Until they are loaded the fields hold their defaults.
#pragma once

#include <cstdint>
#include <string>

namespace zrplay {

struct TPlayerSettings {
  bool EnableBufferOnLive = true;
  bool EnableOSD = true;
  bool EnableOSDColor = false;
  uint32_t OSDColor = 0xFFFFFF;    // red in the low byte
  uint32_t AlarmColor = 0x00FFFF;  // yellow
  uint32_t SetupColor = 0x0000FF;  // red
  bool ShowAlarmZone = true;
  int32_t PenWidth = 3;
  int32_t DropDraw = 0;
  int32_t OSDFontSize = 0;
  int32_t MaxFPS = 60;
  std::string FontName;
  bool OutputFileSortInfo = false;
  uint32_t WatermarkColor = 0xC0C0C0;
  bool DrawBySDK = false;
  bool UseKV = false;
  int32_t DecodeType = 5;
  int32_t RenderType = 5;
  bool AntiAliasEnable = false;
};

extern TPlayerSettings PlayerSettings;

// "OrnConfig.ini" in the host program's folder.
std::string PlayerSettingsPath();
// Reads every setting from `file_name`, writing missing keys back with their defaults, and
// logs the font name. A key that cannot be written back keeps its default (logged once per
// call); the result is always complete.
TPlayerSettings ReadPlayerSettings(const std::string& file_name);
// Fills PlayerSettings from PlayerSettingsPath(); called once by the library's load hook,
// after the log has started. Never throws: on any failure the defaults stay.
void LoadPlayerSettings();

}  // namespace zrplay
