// Readable names of TWAIN numbers, for diagnostics, the extended image
// information text and the data source manager's trace.
//
// Names are the TWAIN identifiers themselves (ICAP_XRESOLUTION, TWPT_RGB,
// TWEI_PAGESIDE, ...). Numbers without a known name print through the
// fallback text of each function. Every function returns its own string, so
// any number of names can be used in one log statement.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "twain/Twain.h"

// The application layer's log sink: formats the message (C formatting, cut
// to 199 characters) and writes it as an INFO line through CLogger.
void logAppMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "ICAP_XRESOLUTION"; 0x8000 gives "CAP_CUSTOMBASE", other unknown ids
// "Custom CAP 0x:XXXX" above 0x8000 and "Unknown CAP 0x:XXXX" below.
std::string capabilityName(TW_UINT16 capability);
// "TWEI_PAGESIDE"; unknown ids "ExtImageInfo ID 0x:XXXX".
std::string extImageInfoName(TW_UINT16 id);
// The name of `value` for `capability`: "TWPT_RGB" for (ICAP_PIXELTYPE, 2),
// a capability name for CAP_SUPPORTEDCAPS and CAP_EXTENDEDCAPS, a TWEI name
// for ICAP_SUPPORTEDEXTIMAGEINFO, the number for ICAP_BITDEPTH; "0xXXXX" for
// a value without a name and "Un-recognized Capability 0xXXXX" for a
// capability without value names.
std::string capabilityValueName(TW_UINT16 capability, TW_UINT32 value);
// The text capabilities (CAP_AUTHOR, CAP_CAPTION, CAP_TIMEDATE,
// CAP_CUSTOMINTERFACEGUID): the value is the text itself (at most 1023
// characters of it). Any other capability gives "Un-recognized Capability
// 0xXXXX".
std::string capabilityValueName(TW_UINT16 capability, const char* text);
// The name of a value of an extended-image-information entry, or none when
// the entry's values have no names (the caller prints the number).
std::optional<std::string> extImageInfoValueName(TW_UINT16 id, TW_UINT32 value);
// The text of one extended-image-information entry: its values, or the
// reason it has none. Values held in the entry's handle are read through the
// handle layer and never past the end of the handle's block.
std::string infoItemText(const TW_INFO& entry);

// Reverse look-ups of the tables above (for tools and tests).
std::optional<TW_UINT16> capabilityIdByName(std::string_view name);
std::optional<TW_UINT16> extImageInfoIdByName(std::string_view name);
std::optional<TW_UINT32> capabilityValueByName(TW_UINT16 capability, std::string_view name);

// Names for the manager's trace. Unknown values print as "DG_0x%04lx",
// "DAT_0x%04x", "MSG_0x%04x", "CAP_0x%04x", "TWRC_0x%04x", "TWCC_0x%04x".
std::string twainDgName(TW_UINT32 dg);
std::string twainDatName(TW_UINT16 dat);
std::string twainMsgName(TW_UINT16 msg);
std::string twainCapName(TW_UINT16 capability);
std::string twainRcName(TW_UINT16 rc);
std::string twainCcName(TW_UINT16 cc);
// " TWON_ARRAY", " TWON_ENUMERATION", " TWON_ONEVALUE  ", " TWON_RANGE",
// " TWON_DONTCARE16", else " TWON_0x%04x" (with the leading blank).
std::string twainConTypeName(TW_UINT16 conType);
