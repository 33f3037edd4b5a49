// Static type descriptions of the automation layer: a library with its enumerations, its
// interfaces (each a list of functions with DISPIDs, invoke kinds, parameters and result
// types) and its class. Descriptions are built once and read by any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/automation_variant.h"

namespace plat {

// Invoke kinds; a function has exactly one, a call asks for one (a method call may also
// read a property, as hosts do).
constexpr uint16_t DISPATCH_METHOD = 1;
constexpr uint16_t DISPATCH_PROPERTYGET = 2;
constexpr uint16_t DISPATCH_PROPERTYPUT = 4;
constexpr uint16_t DISPATCH_PROPERTYPUTREF = 8;

// Parameter flags.
constexpr uint8_t PARAMFLAG_IN = 1;
constexpr uint8_t PARAMFLAG_OUT = 2;

struct TParamDesc {
  std::string Name;
  TVarType Type = TVarType::Empty;
  std::string TypeName;  // the enumeration's name, or empty for the plain type
  uint8_t Flags = PARAMFLAG_IN;
};

struct TFuncDesc {
  int32_t DispId = 0;
  std::string Name;
  uint16_t Kind = DISPATCH_METHOD;
  // Arguments the caller passes, in declaration order (a put's value is its only one).
  std::vector<TParamDesc> Params;
  // The returned value (a get's value, a method's out result); Empty for none.
  TVarType Result = TVarType::Empty;
  std::string ResultTypeName;
};

constexpr uint16_t TYPEFLAG_FDUAL = 0x40;
constexpr uint16_t TYPEFLAG_FDISPATCHABLE = 0x1000;

struct TInterfaceDesc {
  std::string Name;
  std::string Guid;  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
  std::string HelpString;
  uint16_t Flags = TYPEFLAG_FDISPATCHABLE;
  std::vector<TFuncDesc> Funcs;
};

struct TEnumValue {
  std::string Name;
  int32_t Value = 0;
};

struct TEnumDesc {
  std::string Name;
  std::string Guid;
  std::vector<TEnumValue> Values;
};

struct TClassDesc {
  std::string Name;
  std::string Guid;
  std::string HelpString;
  std::string DefaultInterface;
  std::string DefaultSource;
};

struct TLibraryDesc {
  std::string Name;
  std::string Guid;
  uint16_t MajorVersion = 1;
  uint16_t MinorVersion = 0;
  std::string HelpString;
  std::vector<TEnumDesc> Enums;
  TInterfaceDesc Dispatch;  // the class's default interface
  TInterfaceDesc Events;    // its default source interface
  TClassDesc Class;
};

}  // namespace plat
